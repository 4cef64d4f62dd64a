# The version every output records: the project's version and, where the source is a git
# checkout, what `git describe` says of it. It is worked out at build time, not at configure
# time, so a commit shows in the next build; the header is rewritten only when the text
# changes, so an unchanged version recompiles nothing.
#
#   target_link_libraries(<target> PRIVATE kammel_version)   # then #include "kammel/Version.h"

if(CMAKE_SCRIPT_MODE_FILE)
  # Build step: -DSOURCE_DIR= -DGIT= -DPROJECT_VERSION= -DOUTPUT=
  set(version "${PROJECT_VERSION}")
  if(GIT)
    # Only the checkout whose top is this source: a source tree copied into some other
    # repository is not described by that repository's commits.
    execute_process(COMMAND "${GIT}" rev-parse --show-toplevel
                    WORKING_DIRECTORY "${SOURCE_DIR}"
                    OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE status ERROR_QUIET)
    if(status EQUAL 0)
      file(REAL_PATH "${top}" top)
      file(REAL_PATH "${SOURCE_DIR}" source)
    endif()
    if(status EQUAL 0 AND top STREQUAL source)
      execute_process(COMMAND "${GIT}" describe --tags --always --dirty
                      WORKING_DIRECTORY "${SOURCE_DIR}"
                      OUTPUT_VARIABLE described OUTPUT_STRIP_TRAILING_WHITESPACE
                      RESULT_VARIABLE status ERROR_QUIET)
      if(status EQUAL 0 AND described)
        set(version "${PROJECT_VERSION}-${described}")
      endif()
    endif()
  endif()
  string(REPLACE "\\" "\\\\" escaped "${version}")
  string(REPLACE "\"" "\\\"" escaped "${escaped}")
  set(text "// Written by the build from git describe; edits are overwritten.
#pragma once

namespace kammel {
inline constexpr char Version[] = \"${escaped}\";
}  // namespace kammel
")
  set(old "")
  if(EXISTS "${OUTPUT}")
    file(READ "${OUTPUT}" old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE "${OUTPUT}" "${text}")
    message(STATUS "version ${version}")
  endif()
  return()
endif()

find_package(Git QUIET)
set(kammel_version_file ${CMAKE_BINARY_DIR}/generated/kammel/Version.h)
# Runs at every build (git is asked each time); BYPRODUCTS lets Ninja see that an unchanged
# header needs nothing rebuilt.
add_custom_target(kammel_version_header
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DGIT=${GIT_EXECUTABLE}
          -DPROJECT_VERSION=${PROJECT_VERSION} -DOUTPUT=${kammel_version_file}
          -P ${CMAKE_CURRENT_LIST_FILE}
  BYPRODUCTS ${kammel_version_file}
  VERBATIM)
add_library(kammel_version INTERFACE)
target_include_directories(kammel_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
add_dependencies(kammel_version kammel_version_header)
