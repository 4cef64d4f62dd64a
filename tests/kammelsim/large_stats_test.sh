#!/usr/bin/env bash
# A bed wide enough to be measured where its array lies: the run's statistics are what
# kammelsim stats finds in the heights it printed, printed whole in pieces, and its data file
# holds those heights.
set -u
kammelsim=$1
fail() { echo "FAIL: $*"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

"$kammelsim" bed --settings open --length 400 --width 2100 --seed 3 --batches 2 --every 1 \
  --stats "$dir/s.csv" --netcdf "$dir/d.nc" >"$dir/h.txt" 2>"$dir/err" ||
  fail "the run failed: $(cat "$dir/err")"
[ "$(wc -l <"$dir/h.txt")" -eq 401 ] || fail "not 401 rows of heights"
[ -z "$(awk 'NF != 2101' "$dir/h.txt")" ] || fail "a row without 2101 heights"

# Of the last snapshot: all but sand_outside and speed, which heights alone do not tell, and
# the crest correlation to rounding (its transforms may take other paths on other arrays).
run=$(grep -v '^#' "$dir/s.csv" | tail -1 | cut -d, -f2,4-13,16-17,19)
alone=$("$kammelsim" stats "$dir/h.txt" | tail -1 | cut -d, -f1,3-12,15-16,18)
[ "$run" = "$alone" ] || fail "the run's statistics differ from stats': $run / $alone"
case "$run" in *nan*) fail "a measure of a rippled bed is nan: $run" ;; esac
correlations=$(grep -v '^#' "$dir/s.csv" | tail -1 | cut -d, -f18),$("$kammelsim" stats \
  "$dir/h.txt" | tail -1 | cut -d, -f17)
awk -F, '{ d = $1 - $2; exit !($1 > 0 && (d < 0 ? -d : d) < 1e-9 * $1) }' <<<"$correlations" ||
  fail "the crest correlation lengths differ: $correlations"

# The data file's last record, x fastest, is the printed heights, rows along the wind.
ncdump -v height "$dir/d.nc" | tr -d ' \t;}' | sed -n '/^height=/,$p' | tail -n +2 |
  tr ',' '\n' | sed '/^$/d' | tail -n $((401 * 2101)) >"$dir/record"
awk '{ for (i = 1; i <= NF; ++i) h[i, NR] = $i } END {
  for (j = 1; j <= NF; ++j) for (i = 1; i <= NR; ++i) print h[j, i] }' "$dir/h.txt" >"$dir/printed"
cmp -s "$dir/record" "$dir/printed" || fail "the data file's last record is not the heights"
