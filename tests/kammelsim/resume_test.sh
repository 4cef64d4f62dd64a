#!/usr/bin/env bash
# A run stopped by SIGTERM, or killed outright, and then resumed ends exactly as the run that
# never stopped: the same heights, statistics, frames, pictures and data file. The data file
# reads back with ncdump and Python's netCDF4.
set -u
kammelsim=$1
python=/usr/bin/python3  # Debian's, which has netCDF4
work=$(mktemp -d)
trap 'kill %% 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $label: $*"; exit 1; }

outputs=(--stats s.csv --netcdf d.nc --frames frames --spacetime st.png --png final.png
         --checkpoint run.ck)

# Waits up to a minute for a test to hold.
await() {
  for _ in $(seq 6000); do eval "$1" && return 0; sleep 0.01; done
  return 1
}

rows() { grep -vc '^#' s.csv 2>/dev/null || echo 0; }

# A PNG's chunks but its texts: the pixels and how they are stored, without the provenance,
# which names each run apart.
png_data() {
  "$python" - "$1" <<'PY'
import struct, sys, hashlib
data, digest = open(sys.argv[1], "rb").read(), hashlib.sha256()
at = 8
while at < len(data):
    length, kind = struct.unpack(">I4s", data[at:at + 8])
    if kind not in (b"tEXt", b"iTXt", b"zTXt"):
        digest.update(data[at:at + 12 + length])
    at += 12 + length
print(digest.hexdigest())
PY
}

# The data file as ncdump prints it, but the attributes that tell one run from another.
nc_data() { ncdump "$1" | grep -v -e ':history = ' -e ':run = ' -e ':run_id = ' -e '^\s*"'; }

same_outputs() {
  local a=$1 b=$2
  cmp -s "$a/out.txt" "$b/out.txt" || fail "$b: other heights"
  cmp -s <(grep -v '^#' "$a/s.csv") <(grep -v '^#' "$b/s.csv") || fail "$b: s.csv differs"
  for f in st.png final.png $(cd "$a" && ls frames/*.png); do
    [ "$(png_data "$a/$f")" = "$(png_data "$b/$f")" ] || fail "$b: $f differs"
  done
  diff <(ls "$a/frames") <(ls "$b/frames") >/dev/null || fail "$b: other frames"
  diff <(nc_data "$a/d.nc") <(nc_data "$b/d.nc") >/dev/null || fail "$b: data files differ"
  # One run: every output carries the checkpoint's run id.
  local id
  id=$(grep -m1 '^# Run: ' "$b/s.csv" | cut -d' ' -f3)
  [ ${#id} -eq 32 ] || fail "$b: no run id in s.csv"
  grep -q "$id" "$b/final.png" || fail "$b: final.png lacks the run id"
  [ "$(grep -c '^# History: ' "$b/s.csv")" -ge 2 ] || fail "$b: the resume is not in the history"
}

# The data file's last snapshot is the heights printed at the end.
last_snapshot_is_output() {
  "$python" - "$1/d.nc" "$1/out.txt" <<'PY' || fail "$1: last snapshot is not the output"
import sys, netCDF4, numpy
data = netCDF4.Dataset(sys.argv[1])
heights = numpy.loadtxt(sys.argv[2], dtype=int, ndmin=2)
last = numpy.asarray(data["height"][-1])  # (y, x) for a bed, x along the wind: a printed line's
last = last.T if last.ndim == 2 else last.reshape(1, -1)
assert last.shape == heights.shape and (last == heights).all(), (last.shape, heights.shape)
assert str(data.seed) == "5" and "kammelsim" in data.source and "--checkpoint" in data.command
assert list(data["time"][:])[-1] > 0 and len(data["sand"][:]) == len(data["time"][:])
PY
}

run_case() {
  label=$1 signal=$2 stopped=$3
  shift 3
  mkdir -p "$work/$label"/{whole,term,kill}
  cd "$work/$label/whole" || exit 1
  "$kammelsim" "$@" "${outputs[@]}" >out.txt 2>err.txt || fail "the whole run failed: $(cat err.txt)"
  last_snapshot_is_output "$PWD"
  ncdump -h d.nc | grep -q 'height:units = "1"' || fail "no units on height"

  # SIGTERM (a cluster's wall time) or SIGHUP (a dropped ssh session) while a batch or step
  # runs: it finishes, checkpoints, says how to go on.
  cd "$work/$label/term" || exit 1
  "$kammelsim" "$@" "${outputs[@]}" >stopped.txt 2>err.txt &
  await '[ -s run.ck ]' || fail "no checkpoint"
  kill -"$signal" $!
  wait $!
  status=$?
  # A run that ended before the signal came has printed all its heights.
  if ! cmp -s stopped.txt ../whole/out.txt; then
    [ "$status" -eq "$stopped" ] || fail "stopped run gave status $status: $(cat err.txt)"
    grep -q "continue with: kammelsim resume" err.txt || fail "no resume line: $(cat err.txt)"
  fi
  "$kammelsim" resume run.ck >out.txt 2>>err.txt || fail "resume failed: $(cat err.txt)"
  same_outputs ../whole .

  # SIGKILL after a few snapshots: resume starts from the last checkpoint.
  cd "$work/$label/kill" || exit 1
  "$kammelsim" "$@" "${outputs[@]}" >/dev/null 2>err.txt &
  await '[ "$(rows)" -ge 4 ] || ! kill -0 $! 2>/dev/null' || fail "no snapshots"
  kill -KILL $! 2>/dev/null
  wait $!
  "$kammelsim" resume run.ck >out.txt 2>>err.txt || fail "resume after kill failed: $(cat err.txt)"
  same_outputs ../whole .
}

run_case profile TERM 143 profile --seed 5 --width 1000 --steps 3000 --every 200
run_case relief HUP 129 bed --seed 5 --length 100 --width 40 --batches 400 --every 20
run_case map TERM 143 bed --settings map --seed 5 --length 100 --width 40 --batches 600 --every 30
echo ok
