#!/usr/bin/env bash
# Open beds, wide profiles and the creep variants through the command line: a bed too large
# for the memory refused at once, an open bed of the map's size run as the map's, the variants
# recorded and resumed exactly.
set -u
kammelsim=$1
fail() { echo "FAIL: $*"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# 512 MB of heights under a limit of 300 MB: one line, status 2, nothing else. A sanitized
# build reserves far more address space than that before it starts, so only the others try.
if ! ldd "$kammelsim" | grep -q libasan; then
  (ulimit -v 300000; exec "$kammelsim" bed --settings open --length 16000 --width 8000 \
    --stats "$dir/big.csv" >"$dir/out" 2>"$dir/err"); status=$?
  [ "$status" -eq 2 ] || fail "a bed too large gave status $status"
  [ ! -s "$dir/out" ] || fail "a bed too large wrote to stdout"
  [ "$(wc -l <"$dir/err")" -eq 1 ] || fail "not one line: $(cat "$dir/err")"
  grep -q 'no memory for a bed of 16000 x 8000' "$dir/err" || fail "no message: $(cat "$dir/err")"
  [ ! -e "$dir/big.csv" ] || fail "an output was made for a bed that cannot run"
fi

open=$("$kammelsim" bed --settings open --length 300 --width 150 --schedule map --seed 5 \
  --batches 2 2>/dev/null)
map=$("$kammelsim" bed --settings map --seed 5 --batches 2 2>/dev/null)
[ "$open" = "$map" ] || fail "the open bed of the map's size ran otherwise"
relief=$("$kammelsim" bed --settings relief --seed 5 --length 40 --width 9 2>/dev/null)
open=$("$kammelsim" bed --settings open --schedule relief --seed 5 --length 40 --width 9 \
  --height 20 2>/dev/null)
[ "$relief" = "$open" ] || fail "the open bed with the relief's batches ran otherwise"

# Refused combinations, each with one line and status 2.
for args in "--settings map --schedule relief" "--settings open --threshold 3" \
  "--ties sideways" "--periodic maybe" "--settings open --length 3000000"; do
  # shellcheck disable=SC2086
  "$kammelsim" bed $args >/dev/null 2>"$dir/err"; status=$?
  [ "$status" -eq 2 ] || fail "$args gave status $status"
  [ "$(wc -l <"$dir/err")" -eq 1 ] || fail "$args: not one line"
done

# The variant in the provenance; the programs' creep recorded as it always was.
"$kammelsim" bed --settings map --length 60 --width 21 --ties random --periodic yes --seed 4 \
  --stats "$dir/v.csv" >/dev/null 2>&1 || fail "variant run failed"
grep -q '^# Parameters: .*ties=random periodic=yes' "$dir/v.csv" || fail "variant not recorded"
"$kammelsim" bed --settings map --length 60 --width 21 --seed 4 --stats "$dir/p.csv" \
  >/dev/null 2>&1 || fail "plain run failed"
! grep -q 'ties=\|periodic=' "$dir/p.csv" || fail "the programs' creep recorded as a variant"

# Alternating ties go by the creep sweeps since the start: 63 a batch here, an odd count, so a
# resume that lost them would swap the columns the other way round.
common="--settings map --length 60 --width 21 --ties alternating --seed 4"
# shellcheck disable=SC2086
"$kammelsim" bed $common --batches 3 >"$dir/straight" 2>/dev/null || fail "straight run failed"
# shellcheck disable=SC2086
"$kammelsim" bed $common --batches 1 --checkpoint "$dir/a.ck" >/dev/null 2>&1 || fail "no checkpoint"
"$kammelsim" resume "$dir/a.ck" --batches 3 >"$dir/resumed" 2>/dev/null || fail "resume failed"
cmp -s "$dir/straight" "$dir/resumed" || fail "a resumed alternating run differs"
# An open bed beyond the map's array is checkpointed, and continues as if never stopped.
big="--settings open --length 1100 --width 500 --schedule map --seed 6 --every 1"
# shellcheck disable=SC2086
"$kammelsim" bed $big --batches 3 --stats "$dir/b1.csv" >"$dir/b1" 2>/dev/null || fail "big run failed"
# shellcheck disable=SC2086
"$kammelsim" bed $big --batches 1 --stats "$dir/b2.csv" --checkpoint "$dir/b.ck" >/dev/null 2>&1 ||
  fail "a large open bed was not checkpointed"
"$kammelsim" resume "$dir/b.ck" --batches 3 >"$dir/b2" 2>/dev/null || fail "large resume failed"
cmp -s "$dir/b1" "$dir/b2" || fail "a resumed large open bed differs"
cmp -s <(grep -v '^#' "$dir/b1.csv") <(grep -v '^#' "$dir/b2.csv") || fail "its statistics differ"
# Cut short anywhere, its checkpoint is refused with one line, and nothing is run.
size=$(stat -c %s "$dir/b.ck")
for keep in 12 4000 $((size / 2)) $((size - 1)); do
  head -c "$keep" "$dir/b.ck" >"$dir/cut.ck"
  "$kammelsim" resume "$dir/cut.ck" --batches 3 >"$dir/out" 2>"$dir/err"; status=$?
  [ "$status" -eq 1 ] && [ ! -s "$dir/out" ] && [ "$(wc -l <"$dir/err")" -eq 1 ] ||
    fail "a checkpoint cut at $keep bytes gave status $status: $(cat "$dir/err")"
done

# An open bed of the map's size is drawn as the map draws it, pixel for pixel.
pixels() {
  python3 -c 'import sys, zlib
d = open(sys.argv[1], "rb").read(); i, idat = 8, b""
while i < len(d):
    n = int.from_bytes(d[i:i + 4], "big")
    idat += d[i + 8:i + 8 + n] if d[i + 4:i + 8] == b"IDAT" else b""
    i += 12 + n
sys.stdout.write(zlib.decompress(idat).hex())' "$1"
}
"$kammelsim" bed --settings open --length 300 --width 150 --schedule map --seed 5 --batches 2 \
  --png "$dir/open.png" >/dev/null 2>&1 || fail "an open bed was not drawn"
"$kammelsim" bed --settings map --seed 5 --batches 2 --png "$dir/map.png" >/dev/null 2>&1
[ "$(pixels "$dir/open.png")" = "$(pixels "$dir/map.png")" ] || fail "the open bed's map differs"

# A profile of a million cells runs with its statistics; it is not drawn.
"$kammelsim" profile --width 1000000 --seed 3 --stats "$dir/w.csv" >"$dir/w.txt" 2>/dev/null ||
  fail "a million-cell profile failed"
[ "$(wc -w <"$dir/w.txt")" -eq 1000001 ] || fail "not a million and one heights"
awk -F, '$1 == 1 { exit ($2 + $3 == 50000050) ? 0 : 1 }' "$dir/w.csv" ||
  fail "the wide profile lost sand: $(tail -1 "$dir/w.csv")"
"$kammelsim" profile --width 20000 --spacetime "$dir/s.png" >/dev/null 2>&1
[ $? -eq 2 ] || fail "a wide profile was drawn"
echo ok
