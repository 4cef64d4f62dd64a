# Draws the programs' icons: each program's own picture from a seeded kammelsim run, trimmed to
# what is drawn and fitted into each size by ImageMagick. Run by the `icons` target and by the
# installation, never by an ordinary build, so only packaging needs ImageMagick.
#   cmake -DKAMMELSIM=<program> -DDIR=<folder> [-DCONVERT=<convert>] -P DrawIcons.cmake
# Leaves DIR/<size>/<program>.png; an icon newer than kammelsim and this script is kept.

set(sizes 48 128 256)
set(runs
  "kammel3|bed --seed 7 --batches 3 --length 60 --width 30"
  "kammel3map|bed --settings map --seed 7 --batches 10 --length 200 --width 200 --canvas 300x300"
  "kammel|profile --seed 7 --steps 300 --width 100")

if(NOT EXISTS "${KAMMELSIM}")
  message(FATAL_ERROR "icons: no kammelsim at '${KAMMELSIM}': build it first")
endif()

foreach(run IN LISTS runs)
  string(REPLACE "|" ";" parts "${run}")
  list(GET parts 0 program)
  list(GET parts 1 arguments)
  separate_arguments(arguments UNIX_COMMAND "${arguments}")

  set(stale FALSE)
  foreach(size IN LISTS sizes)
    set(icon "${DIR}/${size}/${program}.png")
    if(NOT EXISTS "${icon}" OR "${KAMMELSIM}" IS_NEWER_THAN "${icon}"
       OR "${CMAKE_CURRENT_LIST_FILE}" IS_NEWER_THAN "${icon}")
      set(stale TRUE)
    endif()
  endforeach()
  if(NOT stale)
    continue()
  endif()

  if(NOT CONVERT)
    find_program(CONVERT convert)
  endif()
  if(NOT CONVERT)
    message(FATAL_ERROR "icons: drawing the icons needs ImageMagick's convert, which was not "
                        "found: install it (Debian: apt-get install imagemagick)")
  endif()

  message(STATUS "icons: drawing ${program}")
  set(canvas "${DIR}/${program}-canvas.png")
  file(MAKE_DIRECTORY "${DIR}")
  execute_process(COMMAND "${KAMMELSIM}" ${arguments} --force --png "${canvas}"
                  OUTPUT_FILE "${DIR}/${program}.txt"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "icons: kammelsim ${arguments} failed: ${status}")
  endif()
  foreach(size IN LISTS sizes)
    file(MAKE_DIRECTORY "${DIR}/${size}")
    execute_process(COMMAND "${CONVERT}" "${canvas}" -trim +repage -resize ${size}x${size}
                            -background black -gravity center -extent ${size}x${size} -strip
                            "${DIR}/${size}/${program}.png"
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "icons: ${CONVERT} failed for ${program} at ${size}: ${status}")
    endif()
  endforeach()
endforeach()
