#!/usr/bin/env bash
# Sweeps: the grid, its plan and summary with GNU parallel; a run's line left alone when
# complete, stopped and continued to the very result of a run never stopped; the sweep run again
# (or interrupted and run again, its options in another order) finishing only what is missing;
# a sweep grown by seeds, values and a longer total ending as the larger sweep run whole; every
# way a run can be incomplete or damaged named in the summary; refused command lines; the Slurm
# submission's arrays, lines and options against stand-ins for sbatch, squeue and scontrol.
set -u
kammelsim=$1 root=$2
export KAMMELSIM=$kammelsim
source "$root/tests/kammelsim/signal_run.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
sweep() { timeout 300 "$root/scripts/sweep" "$@"; }
summary() { timeout 60 python3 "$root/scripts/sweep-summary.py" "$@"; }
data() { grep -v '^#' "$1"; }
# A summary's value by its row's first field and its column's name.
value() {
  python3 -c 'import csv, sys
rows = list(csv.DictReader(l for l in open(sys.argv[1]) if not l.startswith("#")))
print(next(r[sys.argv[3]] for r in rows if list(r.values())[0] == sys.argv[2]))' "$@"
}
digest() { cat "$@" | md5sum; }

# --- a grid end to end
out=$work/sweep
sweep "$out" profile --width 200,300 --seeds 1,2 --steps 30 --every 10 --jobs 2 2>/dev/null ||
  fail "the sweep failed"
[ "$(wc -l <"$out/jobs.txt")" -eq 4 ] || fail "expected 4 runs"
[ "$(ls -d "$out"/*/ | wc -l)" -eq 4 ] || fail "expected a folder per run"
data "$out/summary.csv" | head -n 1 | grep -q '^width,complete,stopped,missing,damaged,sand_mean,sand_stderr' ||
  fail "header: $(cat "$out/summary.csv")"
[ "$(data "$out/summary.csv" | cut -d, -f1-5 | tail -n +2 | tr '\n' ' ')" = "200,2,0,0,0 300,2,0,0,0 " ] ||
  fail "rows: $(cat "$out/summary.csv")"
grep -qx '# Sweep: profile --width 200,300 --seeds 1,2 --every 10 --steps 30' "$out/summary.csv" ||
  fail "the summary does not say what was swept: $(cat "$out/summary.csv")"
[ "$(data "$out/timeseries.csv" | cut -d, -f1-3 | tr '\n' ' ')" = \
  "width,step,runs 200,0,2 200,10,2 200,20,2 200,30,2 300,0,2 300,10,2 300,20,2 300,30,2 " ] ||
  fail "time series: $(cat "$out/timeseries.csv")"
# The plot of a run's statistics is a PNG.
"$root/scripts/plot-stats" "$out/width200_seed1/stats.csv" "$work/plot.png" 2>/dev/null || fail "plot-stats failed"
[ "$(head -c 8 "$work/plot.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "the plot is not a PNG"
"$root/scripts/plot-stats" "$out/jobs.txt" "$work/x.png" 2>/dev/null && fail "a file that is no statistics was plotted"

# A complete run's line, run again from elsewhere, leaves it as it was and says so.
before=$(digest "$out"/width200_seed1/{stats.csv,heights.txt,run.ck})
(cd / && eval "$(sed -n 1p "$out/jobs.txt")") || fail "a complete run's line failed"
tail -n 3 "$out/width200_seed1/log.txt" | grep -q "the run is complete (30 of 30 steps)" ||
  fail "a complete run's log: $(cat "$out/width200_seed1/log.txt")"
[ "$(digest "$out"/width200_seed1/{stats.csv,heights.txt,run.ck})" = "$before" ] || fail "a complete run was changed"
# The same command again, its options in another order, runs nothing and writes the same
# summary; so does a sweep planned before its grid was sweep.json.
logs=$(digest "$out"/*/log.txt) summary_before=$(digest "$out/summary.csv")
sweep "$out" profile --every 10 --seeds 1,2 --steps 30 --width 200,300 2>/dev/null || fail "the sweep again failed"
[ "$(digest "$out"/*/log.txt)" = "$logs" ] || fail "the sweep again ran complete runs"
[ "$(digest "$out/summary.csv")" = "$summary_before" ] || fail "the sweep again changed the summary"
rm "$out/sweep.json" && printf '%q\n' profile seeds=1,2 "axis width=200,300" --steps 30 --every 10 >"$out/sweep.txt"
sweep "$out" profile --width 200,300 --seeds 1,2 --steps 30 --every 10 2>/dev/null || fail "an older sweep did not continue"
[ "$(digest "$out"/*/log.txt)" = "$logs" ] && [ -e "$out/sweep.json" ] && [ ! -e "$out/sweep.txt" ] ||
  fail "an older sweep's grid was not taken over"

# --- a run stopped by SIGTERM, a run never started; the sweep again finishes both
# Seconds of work after its third snapshot, so that a loaded machine still catches it running.
long=(profile --width 1000 --seeds 1,2 --steps 40000 --every 2000)
SWEEP_PLAN_ONLY=1 sweep "$work/long" "${long[@]}" 2>/dev/null || fail "planning failed"
(eval "$(sed -n 1p "$work/long/jobs.txt")") &
line=$!
term() { kill -TERM "$signal_run_target"; }
signal_run "$work/long/seed1" "$kammelsim" term || fail "the run could not be stopped"
wait "$line"
[ $? -eq 143 ] || fail "a stopped run's line did not give 143"
grep -q "stopped (status 143); run this line again" "$work/long/seed1/log.txt" || fail "the stopped run's log"
status=0
summary "$work/long" 2>"$work/long.err" || status=$?
[ "$status" -eq 1 ] || fail "a sweep with incomplete runs gave status $status"
grep -q "$work/long/seed1: stopped at [0-9]* of 40000 steps" "$work/long.err" &&
  grep -q "$work/long/seed2: missing: never started" "$work/long.err" ||
  fail "incomplete runs not named: $(cat "$work/long.err")"
grep -q '^0,1,1,0,nan,nan,' "$work/long/summary.csv" || fail "an incomplete summary: $(cat "$work/long/summary.csv")"
sweep "$work/long" "${long[@]}" 2>/dev/null || fail "the sweep again did not finish"
grep -q "continuing from $work/long/seed1/run.ck" "$work/long/seed1/log.txt" || fail "the stopped run was not continued"
for seed in 1 2; do
  KAMMELSIM=$kammelsim "$root/scripts/sweep-run" "$work/whole$seed" profile --width 1000 --steps 40000 \
    --every 2000 --seed "$seed" || fail "a run never stopped failed"
  cmp -s <(data "$work/whole$seed/stats.csv") <(data "$work/long/seed$seed/stats.csv") &&
    cmp -s "$work/whole$seed/heights.txt" "$work/long/seed$seed/heights.txt" ||
    fail "seed $seed: other statistics or heights than the run never stopped"
done

# --- interrupted as from a terminal (SIGINT to the sweep's process group), then run again
set -m
"$root/scripts/sweep" "$work/int" "${long[@]}" --jobs 2 >/dev/null 2>"$work/int.err" &
group=$!
set +m
interrupt() { kill -INT -- "-$group"; }
signal_run "$work/int/seed1" "$kammelsim" interrupt || fail "the sweep could not be interrupted"
wait "$group" && fail "an interrupted sweep exited 0"
grep -q "stopped; run the same command again" "$work/int.err" || fail "interrupted: $(cat "$work/int.err")"
grep -q "kammelsim: stopped after" "$work/int/seed1/log.txt" ||
  fail "the run did not stop by itself: $(cat "$work/int/seed1/log.txt")"
sweep "$work/int" "${long[@]}" 2>/dev/null || fail "the interrupted sweep did not finish"
cmp "$work/long/summary.csv" "$work/int/summary.csv" || fail "the interrupted sweep's summary differs"

# --- grown by seeds and values, finished runs stay as they were; by a longer total they
# continue; the summary is then the larger sweep's, run whole
g=$work/grow
sweep "$g" profile --width 200,300 --seeds 1,2 --steps 40 --every 10 2>/dev/null || fail "the sweep to grow failed"
finished() { digest "$g"/width{200,300}_seed{1,2}/{stats.csv,heights.txt,run.ck,log.txt,command.txt}; }
before=$(finished)
sweep "$g" profile --seeds 1,2,3 --every 10 --width 200,300,400 --steps 40 2>"$work/grow.err" ||
  fail "growing by seeds and values failed: $(cat "$work/grow.err")"
grep -q "growing the sweep in $g: seeds 3; --width 400" "$work/grow.err" || fail "growing: $(cat "$work/grow.err")"
[ "$(finished)" = "$before" ] || fail "growing by seeds and values touched a finished run"
[ "$(data "$g/summary.csv" | cut -d, -f1-2 | tr '\n' ' ')" = "width,complete 200,3 300,3 400,3 " ] ||
  fail "the grown summary: $(cat "$g/summary.csv")"
sweep "$g" profile --width 200,300,400 --seeds 1,2,3 --steps 80 --every 10 2>"$work/grow.err" ||
  fail "growing the total failed: $(cat "$work/grow.err")"
grep -q "40 to 80 steps" "$work/grow.err" && grep -q "continuing from $g/width200_seed1/run.ck" "$g/width200_seed1/log.txt" ||
  fail "the longer total did not continue the runs: $(cat "$work/grow.err")"
sweep "$work/whole" profile --width 200,300,400 --seeds 1,2,3 --steps 80 --every 10 2>/dev/null || fail "the whole sweep failed"
cmp "$g/summary.csv" "$work/whole/summary.csv" && cmp "$g/timeseries.csv" "$work/whole/timeseries.csv" ||
  fail "the grown sweep's summary is not the whole one's"
for run in width200_seed1 width400_seed3; do
  cmp -s <(data "$g/$run/stats.csv") <(data "$work/whole/$run/stats.csv") &&
    cmp -s "$g/$run/heights.txt" "$work/whole/$run/heights.txt" || fail "$run: grown, other data than whole"
done

# --- every way a run's statistics can be incomplete or damaged: named, with its path
f=$work/faults
sweep "$f" profile --seeds 1,2,3,4,5,6,7,8,9,10,11 --steps 20 --every 10 2>/dev/null || fail "the fault sweep failed"
printf '%s\n' "$(grep -m1 -v '^#' "$f/seed1/stats.csv")" >"$f/seed1/stats.csv"
: >"$f/seed2/stats.csv"
sed -i '$ s/,[^,]*$/,x/' "$f/seed3/stats.csv"
sed -i '$ s/,[^,]*$//' "$f/seed4/stats.csv"
head -c -5 "$f/seed5/stats.csv" >"$work/cut" && cat "$work/cut" >"$f/seed5/stats.csv" && rm "$f/seed5/heights.txt"
rm "$f/seed6/stats.csv" && mkdir "$f/seed6/stats.csv"
printf '\377\376\n' >>"$f/seed7/stats.csv"
rm -r "$f/seed8"
rm "$f/seed9/heights.txt"
cp "$f/seed10/stats.csv" "$f/seed11/stats.csv"  # a copy mistake: another run's statistics
expected=(
  "seed1: stopped before its first snapshot ($f/seed1/stats.csv holds only its header)"
  "seed2: stopped before it began ($f/seed2/stats.csv is empty)"
  "seed3: damaged: $f/seed3/stats.csv: line 12: a field that is no number"
  "seed4: damaged: $f/seed4/stats.csv: line 12: 17 fields, the header has 18"
  "seed5: stopped at 10 of 20 steps"
  "seed6: damaged: $f/seed6/stats.csv: not a regular file"
  "seed7: damaged: $f/seed7/stats.csv: 'utf-8' codec can't decode"
  "seed8: missing: never started"
  "seed9: stopped at its end, before $f/seed9/heights.txt was written"
  "seed11: damaged: $f/seed11/stats.csv is another run's statistics (seed 10 where 11 was planned)"
)
status=0
summary "$f" 2>"$work/faults.err" || status=$?
[ "$status" -eq 1 ] || fail "damaged runs gave status $status: $(cat "$work/faults.err")"
grep -q Traceback "$work/faults.err" && fail "a traceback: $(cat "$work/faults.err")"
for e in "${expected[@]}"; do
  grep -qF "sweep-summary: $f/$e" "$work/faults.err" || fail "not reported: '$e' in $(cat "$work/faults.err")"
done
# Only the complete run is averaged: its own values, and no error from one sample.
last=$(data "$f/seed10/stats.csv" | tail -n 1 | cut -d, -f5)
last=$(python3 -c 'import math, sys; v = float(sys.argv[1]); print("nan" if math.isnan(v) else repr(v))' "$last")
data "$f/summary.csv" | grep -q "^1,4,1,5," && [ "$(value "$f/summary.csv" 1 last_rms_mean)" = "$last" ] &&
  [ "$(value "$f/summary.csv" 1 last_rms_stderr)" = nan ] ||
  fail "the summary of one complete run: $(cat "$f/summary.csv")"
[ "$(summary --pending "$f" | wc -l)" -eq 10 ] || fail "--pending does not list the ten runs to do"
summary "$work" 2>"$work/none.err"
[ $? -eq 2 ] && grep -q "holds no readable plan" "$work/none.err" || fail "a folder with no sweep: $(cat "$work/none.err")"

# --- command lines refused with status 2 before anything is written
mkdir "$work/foreign" && touch "$work/foreign/notes.txt"
refused=(
  "holds another sweep (its grid is in sweep.json): --every 10 there, 5 here|$out profile --width 200,300 --seeds 1,2 --steps 30 --every 5"
  "--width 300 there, not here (name every value it has: 200,300)|$out profile --width 200,400 --seeds 1,2 --steps 30 --every 10"
  "seeds 2 there, not here|$out profile --width 200,300 --seeds 1 --steps 30 --every 10"
  "--steps 30 there, 20 here (a sweep's runs grow|$out profile --width 200,300 --seeds 1,2 --steps 20 --every 10"
  "it sweeps --width, this command --b|$out profile --b 1,2 --seeds 1,2 --steps 30 --every 10"
  "--window takes a fraction of the run|$work/r1 profile --b 1,2 --window 1.5"
  "--min-correlation takes a correlation|$work/r1 profile --b 1,2 --min-correlation=2"
  "holds files that are no sweep's|$work/foreign profile --b 1,2"
  "names a seed twice|$work/r1 profile --b 1,2 --seeds 1,1"
  "names a value twice|$work/r1 profile --b 1,1"
  "is no plain value|$work/r1 profile --b 1,,2"
  "is no plain value|$work/r1 profile --config a/b.ini,c.ini"
  "is given twice|$work/r1 profile --b 1,2 --b=3"
  "is for a sweep on Slurm|$work/r1 profile --b 1,2 --time 10"
  "cannot read|$work/r1 profile --config missing.ini"
  "kammelsim refuses wind=2..4: profile: --wind takes a finite real number|$work/r1 profile --wind 2..4,3"
  "unknown option '--bogus'|$work/r1 profile --bogus 1,2"
)
for case in "${refused[@]}"; do
  # shellcheck disable=SC2086
  sweep ${case#*|} 2>"$work/refused.err"
  status=$?
  [ "$status" -eq 2 ] && grep -qF -- "${case%%|*}" "$work/refused.err" ||
    fail "'${case#*|}' gave $status: $(cat "$work/refused.err")"
done
[ ! -e "$work/r1" ] || fail "a refused sweep wrote its folder"

# --- Slurm: what is submitted, against stand-ins that record sbatch's arguments
bin=$work/bin
mkdir -p "$bin"
cat >"$bin/sbatch" <<EOF
#!/usr/bin/env bash
id=\$((\$(cat "$work/next-id" 2>/dev/null || echo 100) + 1))
echo "\$id" >"$work/next-id"
printf '%s\n' "\$@" "--" >>"$work/sbatch.log"
echo "\$id"
EOF
printf '#!/bin/sh\necho "MaxArraySize            = 3"\n' >"$bin/scontrol"
printf '#!/bin/sh\ncat %q 2>/dev/null\n' "$work/queue" >"$bin/squeue"
chmod +x "$bin"/*
slurm() { PATH=$bin:$PATH sweep "$work/sl" profile --width 200,300,400 --seeds 1,2,3 --steps 20 --every 10 --slurm "$@"; }
slurm --runs-per-task 2 --partition p1 --account=a1 --time 5 --sbatch --qos=long --window 0.25 2>"$work/sl.err" ||
  fail "submitting failed: $(cat "$work/sl.err")"
calls=$(grep -c '^--$' "$work/sbatch.log")
[ "$calls" -eq 3 ] || fail "expected two arrays and a summary job, got $calls sbatch calls"
# Nine runs, two per task: five tasks, split at MaxArraySize 3 into tasks 0-2 and 3-4.
submitted=$(tr '\n' ' ' <"$work/sbatch.log")
wanted=("--array=0-2 " "--array=0-1 " "$root/scripts/sweep-task $work/sl/slurm/1/lines.txt 2 0 --"
        "$root/scripts/sweep-task $work/sl/slurm/1/lines.txt 2 3 --" "--dependency=afterany:101:102 "
        "--output=$work/sl/slurm/1/task-%A_%a.out " "--chdir=$work/sl " "$root/scripts/sweep-summary.py --window 0.25 $work/sl --")
for want in "${wanted[@]}"; do
  [[ "$submitted" == *"$want"* ]] || fail "sbatch was not given '$want': $submitted"
done
[ "$(grep -c -e '^--partition=p1$' -e '^--account=a1$' -e '^--time=5$' -e '^--qos=long$' "$work/sbatch.log")" -eq 12 ] ||
  fail "options not passed to every sbatch: $submitted"
# Each array task as Slurm would start it: together they run every line once.
for first in 0 3; do
  for index in 0 1 2; do
    ((first + index < 5)) || continue
    SLURM_ARRAY_TASK_ID=$index "$root/scripts/sweep-task" "$work/sl/slurm/1/lines.txt" 2 "$first" >/dev/null ||
      fail "task $index of the array from $first failed"
  done
done
summary "$work/sl" 2>/dev/null || fail "the tasks left runs undone"
for log in "$work"/sl/*/log.txt; do
  [ "$(grep -c -e 'sweep-run on .*: starting' -e 'sweep-run on .*: continuing' "$log")" -eq 1 ] ||
    fail "$log: not run exactly once"
done
for bad in "--sbatch --array=0-3" "--sbatch --dependency=afterok:7"; do
  # shellcheck disable=SC2086
  slurm $bad 2>"$work/sl.err"
  [ $? -eq 2 ] || fail "'$bad' was not refused: $(cat "$work/sl.err")"
done
echo 101 >"$work/queue"
slurm --runs-per-task 2 2>"$work/sl.err" && fail "submitted while an earlier job is queued"
grep -q "jobs 101 of this sweep are queued or running" "$work/sl.err" || fail "busy: $(cat "$work/sl.err")"
: >"$work/queue"
slurm 2>"$work/sl.err" && grep -q "every run is complete" "$work/sl.err" && [ ! -e "$work/sl/slurm/2" ] ||
  fail "a complete sweep was submitted again: $(cat "$work/sl.err")"
# Without --runs-per-task, tasks of about ten minutes: all nine of these short runs in one.
rm -r "$work"/sl/width400_seed*
: >"$work/sbatch.log"
slurm 2>"$work/sl.err" || fail "submitting failed: $(cat "$work/sl.err")"
grep -q "so 3 runs per task make tasks of about" "$work/sl.err" || fail "no estimate: $(cat "$work/sl.err")"
grep -qx -- "--array=0-0" "$work/sbatch.log" && grep -q "sweep-task $work/sl/slurm/2/lines.txt 3 0" <(tr '\n' ' ' <"$work/sbatch.log") ||
  fail "the default runs per task: $(tr '\n' ' ' <"$work/sbatch.log")"
echo ok
