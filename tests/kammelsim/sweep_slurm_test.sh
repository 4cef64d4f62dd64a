#!/usr/bin/env bash
# A sweep on a real single-node Slurm, as a cluster treats one: two runs per array task, arrays
# split at MaxArraySize (1 here, so each task is an array of its own), one task stopped by
# SIGTERM as at its time limit, the sweep run again. Its summary must equal GNU parallel's for
# the same grid, every run's data that of the run never stopped, and nothing complete rerun;
# grown by a seed and a longer total, it must equal GNU parallel's larger sweep run whole.
# Needs root for slurmd; skipped otherwise.
set -u
kammelsim=$1 root=$2
if ((EUID != 0)); then
  echo "SKIP: a single-node Slurm needs root (slurmd runs jobs as their users)"
  exit 77
fi
for tool in munged slurmctld slurmd sbatch; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing; scripts/setup installs it"; exit 1; }
done
export KAMMELSIM=$kammelsim
source "$root/tests/kammelsim/slurm_node.sh"
source "$root/tests/kammelsim/signal_run.sh"
work=$(mktemp -d)
chmod 755 "$work"
cleanup() {
  slurm_node_stop || echo "FAIL: the test's Slurm left processes behind"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
fail() { echo "FAIL: $*"; exit 1; }
say() { echo "$((SECONDS - started)) s: $*"; }

data() { grep -v '^#' "$1"; }
lines_of() { grep -c '' "$1" 2>/dev/null || echo 0; }

grid=(profile --width 1000,1500 --seeds 1,2 --steps 10000 --every 500)

started=$SECONDS
slurm_node_start "$work/slurm" 1 || fail "the single-node Slurm did not start"
say "Slurm is up"

timeout 300 "$root/scripts/sweep" "$work/parallel" "${grid[@]}" --jobs 2 2>"$work/parallel.err" ||
  fail "the GNU parallel sweep failed: $(cat "$work/parallel.err")"
say "GNU parallel's sweep ended"

# Planned from one folder with a relative name, run again from another: the lines are absolute.
# The first time it returns once submitted, and a summary job follows the arrays.
out=$work/slurm-sweep
(cd "$work" && slurm_node_env timeout 120 "$root/scripts/sweep" slurm-sweep "${grid[@]}" \
   --slurm --runs-per-task 2 --time 10 --sbatch --job-name=kammel-test) 2>"$work/first.err" ||
  fail "the sweep was not submitted: $(cat "$work/first.err")"
say "submitted"
first_run=$out/width1000_seed1
stop_task0() { scancel --signal=TERM --full "$(head -n 1 "$out/slurm/1/jobids")"; }
# What Slurm sends every process of a task at its time limit.
signal_run "$first_run" "$kammelsim" stop_task0 || fail "the first task could not be stopped"
task0=$(head -n 1 "$out/slurm/1/jobids")
say "task 0 signalled"
slurm_node_await 300 'queued=$(squeue -h -o %i) && [ -z "$queued" ]' || fail "the jobs did not end"
say "first submission ended"
[ "$(lines_of "$out/slurm/1/jobids")" -eq 3 ] || fail "expected two arrays and a summary job"
log=$(cat "$out"/slurm/1/summary-*.out)
grep -q "width1000_seed1: stopped at [0-9]* of 10000 steps" <<<"$log" ||
  fail "the summary job does not name the stopped run: $log"
grep -q "width1000_seed2: missing" <<<"$log" || fail "the summary job does not name the run never started: $log"
grep -q "kammelsim: stopped after [0-9]* of 10000 steps; continue with" "$first_run/log.txt" &&
  grep -q "stopped (status 143); run this line again" "$first_run/log.txt" ||
  fail "the stopped run's log: $(cat "$first_run/log.txt")"
grep -q '^1000,0,1,1,0,' "$out/summary.csv" || fail "first summary: $(cat "$out/summary.csv")"
grep -q '^1500,2,0,0,0,' "$out/summary.csv" || fail "first summary: $(cat "$out/summary.csv")"
scontrol show job "$task0" | grep -qw 'JobName=kammel-test' &&
  scontrol show job "$task0" | grep -qw 'TimeLimit=00:10:00' || fail "sbatch options were not passed on"
untouched=$(cat "$out"/width1500_seed*/{log.txt,stats.csv,heights.txt} | md5sum)

(cd / && slurm_node_env timeout 300 "$root/scripts/sweep" "$out" "${grid[@]}" \
   --slurm --runs-per-task 2 --wait --time 10 --sbatch --job-name=kammel-test) 2>"$work/second.err" ||
  fail "the sweep run again did not finish: $(cat "$work/second.err")"
say "second submission ended"
[ "$(lines_of "$out/slurm/2/lines.txt")" -eq 2 ] || fail "the rerun ran other than the two runs left"
grep -q "continuing from $first_run/run.ck" "$first_run/log.txt" || fail "the stopped run was not resumed"
[ "$(cat "$out"/width1500_seed*/{log.txt,stats.csv,heights.txt} | md5sum)" = "$untouched" ] ||
  fail "complete runs were run again"
cmp "$work/parallel/summary.csv" "$out/summary.csv" || fail "the summaries differ"
for run in width1000_seed1 width1000_seed2 width1500_seed1 width1500_seed2; do
  cmp -s <(data "$work/parallel/$run/stats.csv") <(data "$out/$run/stats.csv") || fail "$run: other statistics"
  cmp -s "$work/parallel/$run/heights.txt" "$out/$run/heights.txt" || fail "$run: other heights"
done

# Complete: nothing is submitted, and the sweep says so.
(cd / && slurm_node_env timeout 120 "$root/scripts/sweep" "$out" "${grid[@]}" --slurm --runs-per-task 2 --wait) \
  2>"$work/third.err" || fail "a complete sweep run again failed: $(cat "$work/third.err")"
grep -q "every run is complete" "$work/third.err" && [ ! -e "$out/slurm/3" ] ||
  fail "a complete sweep was submitted again"

# Grown on Slurm by a seed and a longer total: it ends as GNU parallel's larger sweep run whole.
bigger=(profile --width 1000,1500 --seeds 1,2,3 --steps 12000 --every 500)
(cd / && slurm_node_env timeout 300 "$root/scripts/sweep" "$out" "${bigger[@]}" --slurm --runs-per-task 2 --wait) \
  2>"$work/grown.err" || fail "the grown sweep did not finish: $(cat "$work/grown.err")"
grep -q "growing the sweep in $out: seeds 3; 10000 to 12000 steps" "$work/grown.err" &&
  [ "$(lines_of "$out/slurm/3/lines.txt")" -eq 6 ] || fail "growing on Slurm: $(cat "$work/grown.err")"
timeout 300 "$root/scripts/sweep" "$work/bigger" "${bigger[@]}" --jobs 2 2>/dev/null || fail "the larger sweep failed"
cmp "$work/bigger/summary.csv" "$out/summary.csv" && cmp "$work/bigger/timeseries.csv" "$out/timeseries.csv" ||
  fail "the sweep grown on Slurm differs from the larger one run whole"
say "ok"
