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
for args in "--settings map --schedule relief" "--settings open --png $dir/x.png" \
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
# A profile of a million cells runs with its statistics; it is not drawn.
"$kammelsim" profile --width 1000000 --seed 3 --stats "$dir/w.csv" >"$dir/w.txt" 2>/dev/null ||
  fail "a million-cell profile failed"
[ "$(wc -w <"$dir/w.txt")" -eq 1000001 ] || fail "not a million and one heights"
awk -F, '$1 == 1 { exit ($2 + $3 == 50000050) ? 0 : 1 }' "$dir/w.csv" ||
  fail "the wide profile lost sand: $(tail -1 "$dir/w.csv")"
"$kammelsim" profile --width 20000 --spacetime "$dir/s.png" >/dev/null 2>&1
[ $? -eq 2 ] || fail "a wide profile was drawn"
echo ok
