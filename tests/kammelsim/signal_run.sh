# Signals a sweep's run while it runs, with no race against it finishing first, however fast the
# machine. Source it, then:
#
#   signal_run FOLDER KAMMELSIM COMMAND...
#
# waits (up to 5 minutes) until the kammelsim KAMMELSIM running the run in FOLDER has written
# two snapshots after the first, holds it with SIGSTOP, runs COMMAND (which is to send it SIGTERM
# or SIGINT, however indirectly; its PID is in signal_run_target), waits until the signal is
# pending, and lets it go on.
# Status 1, saying why, when the run could not be caught running.

# The PID of the process whose command line is KAMMELSIM ... FOLDER/run.ck ... (read with
# builtins alone: a scan must be quick next to a run of a few seconds).
signal_run_pid() {
  local cmdline pid args
  for cmdline in /proc/[0-9]*/cmdline; do
    mapfile -d '' -t args 2>/dev/null <"$cmdline" || continue
    [[ ${args[0]:-} == "$2" && " ${args[*]} " == *" $1/run.ck "* ]] || continue
    pid=${cmdline#/proc/}
    echo "${pid%/cmdline}"
    return 0
  done
  return 1
}

# Whether process $1 has SIGINT or SIGTERM pending, is no longer stopped, or is gone.
signal_run_arrived() {
  local key value
  while read -r key value; do
    case $key in
      State:) [ "$value" != "T (stopped)" ] && return 0 ;;
      SigPnd:|ShdPnd:) (((16#$value >> 1) & 1 || (16#$value >> 14) & 1)) && return 0 ;;
    esac
  done 2>/dev/null <"/proc/$1/status" || return 0
  return 1
}

signal_run_rows() {
  local rows
  rows=$(grep -cv '^#' "$1" 2>/dev/null)
  echo "${rows:-0}"
}

signal_run_await() {
  local until=$((SECONDS + $1))
  until eval "$2"; do
    ((SECONDS < until)) || return 1
    sleep 0.05
  done
}

signal_run() {
  local folder=$1 kammelsim=$2 pid
  shift 2
  signal_run_target=""
  signal_run_await 300 \
    "[ -e '$folder/heights.txt' ] || { [ \"\$(signal_run_rows '$folder/stats.csv')\" -ge 3 ] &&
      pid=\$(signal_run_pid '$folder' '$kammelsim'); }" ||
    { echo "signal_run: no run began in $folder" >&2; return 1; }
  kill -STOP "$pid" 2>/dev/null && [ ! -e "$folder/heights.txt" ] ||
    { echo "signal_run: the run in $folder ended before it could be held" >&2; return 1; }
  signal_run_target=$pid
  "$@"
  signal_run_await 60 "signal_run_arrived $pid"
  kill -CONT "$pid" 2>/dev/null
  return 0
}
