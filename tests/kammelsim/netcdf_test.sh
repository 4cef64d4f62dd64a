#!/usr/bin/env bash
# The data file as researchers' tools see it: ncdump, Python's netCDF4 and xarray open it while
# the run writes it (no environment variable), each time with whole snapshots that the finished
# file holds too; and on a disk that fills up at several points the run stops with one line,
# the file still opens, and resume ends with the file of the run that had space.
set -u
kammelsim=$1
python=/usr/bin/python3  # Debian's, with netCDF4 and xarray
unset HDF5_USE_FILE_LOCKING
work=$(mktemp -d)
disk=$work/disk
writer=
cleanup() {
  [ -n "$writer" ] && kill -CONT "$writer" 2>/dev/null && kill "$writer" 2>/dev/null
  mountpoint -q "$disk" && umount "$disk"
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $label: $*"; exit 1; }

# Waits up to a minute for a test to hold.
await() {
  for _ in $(seq 6000); do eval "$1" && return 0; sleep 0.01; done
  return 1
}

records() { ncdump -h "$1" 2>/dev/null | sed -n 's|.*UNLIMITED ; // (\([0-9]*\) currently).*|\1|p'; }

# ncdump's text without the attributes that differ between two runs: history and run_id.
dump() {
  ncdump "$1" | awk '/^\t\t:(history|run_id) = /{skip=1} skip{if (/ ;$/) skip=0; next} {print}'
}

# Opens the file as a reader would, checks the last snapshot against its sand, and keeps it.
look() {
  "$python" - "$1" "$2" <<'PY' || fail "a reader could not use the file"
import sys, numpy, netCDF4, xarray
path, keep = sys.argv[1:3]
with netCDF4.Dataset(path) as data:
    n = len(data.dimensions["time"])
    assert n > 0
    last = numpy.asarray(data["height"][n - 1])
    assert last.sum() == data["sand"][n - 1], "a snapshot that is not whole"
with xarray.open_dataset(path) as data:
    assert data.height.dims == ("time", "y", "x"), data.height.dims
    assert (data.height.isel(time=n - 1).values == last).all()
numpy.save(f"{keep}/look-{n}.npy", last)
PY
}

label="reader while the run writes"
mkdir -p "$work/live/looks"
cd "$work/live" || exit 1
"$kammelsim" bed --settings map --seed 3 --batches 600 --every 1 --stats s.csv --netcdf d.nc \
  >/dev/null 2>err.txt &
writer=$!
for target in 2 40 150 400; do
  await "[ \"\$(records d.nc)\" -ge $target ] 2>/dev/null || ! kill -0 $writer 2>/dev/null" ||
    fail "the file does not grow"
  # Stopped anywhere between two system calls: between a record and its count too.
  kill -STOP "$writer" 2>/dev/null
  ncdump -h d.nc >/dev/null || fail "ncdump cannot open it"
  look d.nc looks
  kill -CONT "$writer" 2>/dev/null
done
wait "$writer" || fail "the run failed: $(cat err.txt)"
writer=
"$python" - d.nc looks <<'PY' || fail "a snapshot seen while the run wrote it changed"
import glob, sys, numpy, netCDF4
with netCDF4.Dataset(sys.argv[1]) as data:
    for name in glob.glob(sys.argv[2] + "/look-*.npy"):
        n = int(name.rsplit("-", 1)[1].split(".")[0])
        assert (numpy.load(name) == numpy.asarray(data["height"][n - 1])).all(), name
PY

label="full disk"
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: full disk: mounting a small tmpfs needs root"
  echo ok
  exit 0
fi
# Records and checkpoints of about the same size (40 KB), so that either may meet the full disk.
run=(profile --seed 4 --width 10000 --steps 12 --every 1 --netcdf d.nc --checkpoint run.ck)
mkdir -p "$work/whole" "$disk"
cd "$work/whole" || exit 1
"$kammelsim" "${run[@]}" >out.txt 2>err.txt || fail "the run with space failed: $(cat err.txt)"
if ! mount -t tmpfs -o size=1M tmpfs "$disk" 2>"$work/mount.txt"; then
  echo "SKIP: full disk: cannot mount a tmpfs: $(cat "$work/mount.txt")"
  echo ok
  exit 0
fi
umount "$disk"
for free in 60 150 300 500; do
  label="full disk with ${free} KiB free"
  mount -t tmpfs -o size=1M tmpfs "$disk" || fail "cannot mount"
  cd "$disk" || exit 1
  head -c $(((1024 - free) * 1024)) /dev/zero >filler 2>/dev/null
  "$kammelsim" "${run[@]}" >"$work/out.txt" 2>"$work/err.txt"
  status=$?
  said=$(cat "$work/err.txt")
  [ "$status" -eq 1 ] || fail "status $status: $said"
  [ "$(wc -l <"$work/err.txt")" -eq 1 ] || fail "not one line: $said"
  [[ "$said" == *"No space left on device"* ]] || fail "no reason: $said"
  [ ! -e d.nc ] || ncdump d.nc >/dev/null || fail "the data file does not open"
  rm filler
  echo "$label: $said$([ -e run.ck ] || echo '; no checkpoint yet')"
  if [ -e run.ck ]; then
    "$kammelsim" resume run.ck >"$work/out.txt" 2>"$work/err.txt" ||
      fail "resume failed: $(cat "$work/err.txt")"
    cmp -s "$work/out.txt" "$work/whole/out.txt" || fail "other heights after resume"
    diff <(dump d.nc) <(dump "$work/whole/d.nc") >/dev/null || fail "another data file"
  fi
  cd "$work" || exit 1
  umount "$disk"
done
echo ok
