#!/usr/bin/env python3
"""Summarises a sweep into OUT/summary.csv: per parameter set, how many runs are complete,
stopped, missing or damaged, and over the complete runs alone the mean and standard error of
the last snapshot's wavelength_centroid, crest_spacing, rms and mean_jump, and of the speed
averaged over the second half of the snapshots. Names every incomplete run on stderr and exits
with status 1 when there is one, 0 when all are complete, 2 when OUT is no sweep.

usage: sweep-summary.py OUT             write OUT/summary.csv
       sweep-summary.py --pending OUT   print the lines of OUT/jobs.txt still to run"""
import csv
import math
import os
import pathlib
import re
import sys
import tempfile

MEASURES = ["wavelength_centroid", "crest_spacing", "rms", "mean_jump"]
COLUMNS = MEASURES + ["speed"]
KINDS = ["complete", "stopped", "missing", "damaged"]
HISTORY_TOTAL = re.compile(r"\(\d+ to (\d+) (?:steps|batches)\)\s*$")


class NoSweep(Exception):
    pass


class Run:
    def __init__(self, folder, values, line):
        self.folder, self.values, self.line = folder, values, line
        self.kind, self.detail, self.rows = "missing", "missing: never started", []


def read_plan(out):
    """The runs as planned: plan.csv gives each one's folder and values, jobs.txt its line."""
    try:
        with open(out / "plan.csv", newline="") as f:
            plan = list(csv.reader(f))
        lines = (out / "jobs.txt").read_text().splitlines()
    except (OSError, UnicodeDecodeError, csv.Error) as error:
        raise NoSweep(f"{out} holds no readable plan ({error}); is it a sweep's folder?")
    if not plan or plan[0][:1] != ["folder"] or len(plan) - 1 != len(lines):
        raise NoSweep(f"{out}/plan.csv does not match {out}/jobs.txt; plan the sweep again")
    header, runs = plan[0], []
    for row, line in zip(plan[1:], lines):
        if len(row) != len(header) or not row[0] or "/" in row[0]:
            raise NoSweep(f"{out}/plan.csv: a row does not match its header: {row}")
        runs.append(Run(row[0], row[1:], line))
    return header[1:], runs


def parse_stats(path):
    """The rows of a statistics file as numbers, and the total its last history line names.
    A last line without its newline is a row being written (or cut off by a kill): left out."""
    text = path.read_text(encoding="utf-8")
    lines = text.split("\n")
    lines.pop()  # what follows the last newline: nothing, or a row cut off
    total, data, made = None, [], {}
    for number, line in enumerate(lines, 1):
        if line.startswith("#"):
            found = HISTORY_TOTAL.search(line) if line.startswith("# History:") else None
            if found:
                total = int(found.group(1))
            if line.startswith("# Seed: "):
                made["seed"] = line[len("# Seed: "):]
            if line.startswith("# Parameters: "):
                made.update(pair.split("=", 1) for pair in line.split()[2:] if "=" in pair)
        else:
            data.append((number, line))
    if not data:
        return None, [], total, made
    (_, head), rows = data[0], []
    header = head.split(",")
    if header[0] not in ("step", "batch") or not set(COLUMNS) <= set(header):
        raise ValueError(f"line {data[0][0]}: no statistics header")
    for number, line in data[1:]:
        fields = line.split(",")
        if len(fields) != len(header):
            raise ValueError(f"line {number}: {len(fields)} fields, the header has {len(header)}")
        try:
            row = dict(zip(header, map(float, fields)))
        except ValueError:
            raise ValueError(f"line {number}: a field that is no number")
        at = row[header[0]]
        if not (math.isfinite(at) and at >= 0 and at == int(at)):
            raise ValueError(f"line {number}: {header[0]} {fields[0]} is no count")
        rows.append(row)
    return header, rows, total, made


def same_value(planned, recorded):
    try:
        return float(planned) == float(recorded)
    except ValueError:
        return planned == recorded


def another_run(names, values, made):
    """What the file says of the run that made it, where that is not the planned run."""
    differ = [(name, value) for name, value in zip(names, values)
              if name in made and not same_value(value, made[name])]
    if not differ:
        return None
    return ", ".join(f"{name} {made[name]} where {value} was planned" for name, value in differ)


def examine(out, run, names):
    folder = out / run.folder
    stats = folder / "stats.csv"
    if not stats.exists():
        if folder.exists():
            run.detail = f"missing: began but wrote no statistics (see {folder / 'log.txt'})"
        return
    try:
        if not stats.is_file():
            raise ValueError("not a regular file")
        header, rows, total, made = parse_stats(stats)
    except (OSError, UnicodeDecodeError, ValueError) as error:
        run.kind, run.detail = "damaged", f"damaged: {stats}: {error}"
        return
    # A file copied from another run's folder must not be averaged in as this one's.
    other = another_run(names, run.values, made)
    if other:
        run.kind, run.detail = "damaged", f"damaged: {stats} is another run's statistics ({other})"
        return
    run.kind = "stopped"
    if header is None:
        run.detail = f"stopped before it began ({stats} is empty)"
    elif not rows:
        run.detail = f"stopped before its first snapshot ({stats} holds only its header)"
    else:
        done, unit = int(rows[-1][header[0]]), "steps" if header[0] == "step" else "batches"
        heights = (folder / "heights.txt").is_file()
        if heights and total in (None, done):
            run.kind, run.rows = "complete", rows
        elif done == total:
            run.detail = f"stopped at its end, before {folder / 'heights.txt'} was written"
        else:
            run.detail = f"stopped at {done} of {total if total is not None else '?'} {unit}"


def run_values(rows):
    last = rows[-1]
    values = {m: last[m] for m in MEASURES}
    half = [r["speed"] for r in rows[len(rows) // 2:] if not math.isnan(r["speed"])]
    values["speed"] = sum(half) / len(half) if half else math.nan
    return values


def mean_and_error(samples):
    samples = [s for s in samples if not math.isnan(s)]
    if not samples:
        return math.nan, math.nan
    mean = sum(samples) / len(samples)
    if len(samples) < 2:
        return mean, math.nan
    variance = sum((s - mean) ** 2 for s in samples) / (len(samples) - 1)
    return mean, math.sqrt(variance / len(samples))


def summary_rows(axes, runs):
    """One row per parameter set, in the order the plan first names it."""
    groups = {}
    for run in runs:
        groups.setdefault(tuple(run.values[:len(axes)]), []).append(run)
    yield axes + KINDS + [f"{c}_{s}" for c in COLUMNS for s in ("mean", "stderr")]
    for values, members in groups.items():
        row = list(values) + [sum(r.kind == k for r in members) for k in KINDS]
        complete = [run_values(r.rows) for r in members if r.kind == "complete"]
        for c in COLUMNS:
            row += ["nan" if math.isnan(v) else repr(v)
                    for v in mean_and_error([v[c] for v in complete])]
        yield row


def write_summary(out, axes, runs):
    """Replaces OUT/summary.csv whole, so a reader never sees half of one."""
    with tempfile.NamedTemporaryFile("w", dir=out, prefix=".summary.", delete=False,
                                     newline="") as f:
        try:
            csv.writer(f, lineterminator="\n").writerows(summary_rows(axes, runs))
            f.flush()
            os.fsync(f.fileno())
            os.replace(f.name, out / "summary.csv")
        except BaseException:
            os.unlink(f.name)
            raise


def main(argv):
    pending = argv[:1] == ["--pending"]
    if pending:
        argv = argv[1:]
    if len(argv) != 1:
        print(__doc__.split("\n\n")[-1], file=sys.stderr)
        return 2
    out = pathlib.Path(argv[0])
    try:
        names, runs = read_plan(out)
    except NoSweep as error:
        print(f"sweep-summary: {error}", file=sys.stderr)
        return 2
    for run in runs:
        examine(out, run, names)
    incomplete = [r for r in runs if r.kind != "complete"]
    if pending:
        sys.stdout.writelines(r.line + "\n" for r in incomplete)
        return 0
    try:
        write_summary(out, names[:-1], runs)
    except OSError as error:
        print(f"sweep-summary: cannot write {out}/summary.csv: {error}", file=sys.stderr)
        return 2
    for run in incomplete:
        print(f"sweep-summary: {out / run.folder}: {run.detail}", file=sys.stderr)
    if incomplete:
        print(f"sweep-summary: {len(incomplete)} of {len(runs)} runs are not complete; the "
              "summary averages the complete ones; run the sweep's command again to finish "
              "the others", file=sys.stderr)
    return 1 if incomplete else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
