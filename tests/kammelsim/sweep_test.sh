#!/usr/bin/env bash
# A small sweep end to end: GNU parallel runs the grid, the summary has a row per value.
set -euo pipefail
kammelsim=$1 root=$2
export KAMMELSIM=$kammelsim
out=$(mktemp -d)/sweep
trap 'rm -rf "$(dirname "$out")"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$root/scripts/sweep" "$out" profile --width 200,300 --seeds 1,2 \
  --steps 30 --every 10 --jobs 2 2>/dev/null || fail "the sweep failed"
[ "$(wc -l <"$out/jobs.txt")" -eq 4 ] || fail "expected 4 runs"
[ "$(ls -d "$out"/*/ | wc -l)" -eq 4 ] || fail "expected a folder per run"
summary="$out/summary.csv"
[ "$(wc -l <"$summary")" -eq 3 ] || fail "expected a header and 2 rows"
head -n 1 "$summary" | grep -q '^width,seeds,wavelength_centroid_mean,wavelength_centroid_stderr' || fail "header"
cut -d, -f1,2 "$summary" | sort | tr '\n' ' ' | grep -q '200,2 300,2 width,seeds' || fail "rows: $(cat "$summary")"
# The same run again prints the same statistics: runs are repeatable by their command line.
again=$(mktemp)
eval "$(sed -n 1p "$out/jobs.txt" | sed "s|$out/[^ ]*|$(dirname "$again")/again|")"
cmp -s <(grep -v '^#' "$out/width200_seed1/stats.csv") <(grep -v '^#' "$(dirname "$again")/again/stats.csv") ||
  fail "a run's line does not repeat it"
rm -rf "$(dirname "$again")/again" "$again"
"$root/scripts/sweep" "$out" profile --b 1,2 2>/dev/null && fail "an existing folder was not refused"
# The plot of a run's statistics is a PNG.
"$root/scripts/plot-stats" "$out/width200_seed1/stats.csv" "$out/plot.png" 2>/dev/null || fail "plot-stats failed"
[ "$(head -c 8 "$out/plot.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "the plot is not a PNG"
"$root/scripts/plot-stats" "$out/jobs.txt" "$out/x.png" 2>/dev/null && fail "a file that is no statistics was plotted"
echo ok
