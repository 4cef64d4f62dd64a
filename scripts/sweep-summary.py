#!/usr/bin/env python3
"""Summarises a sweep. OUT/summary.csv: per parameter set, how many runs are complete, stopped,
missing or damaged, and over the complete runs each statistic's mean and standard error over
the seeds of its mean over a late window of snapshots (--window, a fraction of the run, 0.5
unless given: the last half); speed only from snapshots whose speed_correlation reaches
--min-correlation (0.5 unless given), with the snapshots used and the median correlation beside
it, and nan, with a warning, where fewer than half the window's snapshots reach it; the last
snapshot's wavelength_centroid, crest_spacing, rms and mean_jump as last_*. OUT/timeseries.csv:
per parameter set and snapshot, each statistic's mean, standard error and count over the
complete runs (speed again only where its correlation reaches the threshold). Both say in '#'
lines how the sweep and they were made. Names every incomplete run on stderr and exits with
status 1 when there is one, 0 when all are complete, 2 when OUT is no sweep.

usage: sweep-summary.py [--window F] [--min-correlation C] OUT   write the summary
       sweep-summary.py --pending OUT   print the lines of OUT/jobs.txt still to run"""
import csv
import json
import math
import os
import pathlib
import re
import statistics
import sys
import tempfile

REQUIRED = ["wavelength_centroid", "crest_spacing", "rms", "mean_jump", "speed",
            "speed_correlation"]
LAST = ["wavelength_centroid", "crest_spacing", "rms", "mean_jump"]
KINDS = ["complete", "stopped", "missing", "damaged"]
HISTORY_TOTAL = re.compile(r"\(\d+ to (\d+) (?:steps|batches)\)\s*$")
NAN = float("nan")


class NoSweep(Exception):
    pass


class Run:
    def __init__(self, folder, values, line):
        self.folder, self.values, self.line = folder, values, line
        self.kind, self.detail, self.rows, self.header = "missing", "missing: never started", [], None
        self.made, self.software, self.units = {}, None, {}


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


def read_grid(out):
    """The sweep's grid as scripts/sweep wrote it; {} for a folder planned without one."""
    try:
        grid = json.loads((out / "sweep.json").read_text(encoding="utf-8"))
        return grid if isinstance(grid, dict) else {}
    except (OSError, UnicodeDecodeError, ValueError):
        return {}


def planned_total(grid):
    total = grid.get("total")
    return int(total) if isinstance(total, str) and total.isdigit() else None


def parse_stats(path):
    """The rows of a statistics file as numbers, the total its last history line names, and
    what its '#' lines say made it. A last line without its newline is a row being written (or
    cut off by a kill): left out."""
    text = path.read_text(encoding="utf-8")
    lines = text.split("\n")
    lines.pop()  # what follows the last newline: nothing, or a row cut off
    total, data, made, software, units = None, [], {}, None, None
    for number, line in enumerate(lines, 1):
        if line.startswith("#"):
            found = HISTORY_TOTAL.search(line) if line.startswith("# History:") else None
            if found:
                total = int(found.group(1))
            if line.startswith("# Seed: "):
                made["seed"] = line[len("# Seed: "):]
            if line.startswith("# Software: "):
                software = line[len("# Software: "):]
            if line.startswith("# Units: "):
                units = line[len("# Units: "):].split(",")
            if line.startswith("# Parameters: "):
                made.update(pair.split("=", 1) for pair in line.split()[2:] if "=" in pair)
        else:
            data.append((number, line))
    made["units"] = units
    if not data:
        return None, [], total, made, software
    (_, head), rows = data[0], []
    header = head.split(",")
    if header[0] not in ("step", "batch") or not set(REQUIRED) <= set(header):
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
    return header, rows, total, made, software


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


def examine(out, run, names, planned):
    folder = out / run.folder
    stats = folder / "stats.csv"
    if not stats.exists():
        if folder.exists():
            run.detail = f"missing: began but wrote no statistics (see {folder / 'log.txt'})"
        return
    try:
        if not stats.is_file():
            raise ValueError("not a regular file")
        header, rows, total, made, software = parse_stats(stats)
    except (OSError, UnicodeDecodeError, ValueError) as error:
        run.kind, run.detail = "damaged", f"damaged: {stats}: {error}"
        return
    # A file copied from another run's folder must not be averaged in as this one's.
    other = another_run(names, run.values, made)
    if other:
        run.kind, run.detail = "damaged", f"damaged: {stats} is another run's statistics ({other})"
        return
    units = made.pop("units")
    run.kind = "stopped"
    if header is None:
        run.detail = f"stopped before it began ({stats} is empty)"
        return
    if not rows:
        run.detail = f"stopped before its first snapshot ({stats} holds only its header)"
        return
    done, unit = int(rows[-1][header[0]]), "steps" if header[0] == "step" else "batches"
    heights = (folder / "heights.txt").is_file()
    end = planned if planned is not None else total
    if planned is not None and done > planned:
        run.kind, run.detail = "damaged", f"damaged: {stats} holds {done} {unit}, the sweep's runs {planned}"
    elif heights and end in (None, done) and total in (None, done):
        run.kind, run.rows, run.header, run.made, run.software = "complete", rows, header, made, software
        run.units = dict(zip(header, units)) if units and len(units) == len(header) else {}
    elif heights and total == done:
        run.detail = f"ended at {done} {unit}; the sweep's runs are now {end} long"
    elif done == end:
        run.detail = f"stopped at its end, before {folder / 'heights.txt'} was written"
    else:
        run.detail = f"stopped at {done} of {end if end is not None else '?'} {unit}"


def finite(samples):
    return [s for s in samples if not math.isnan(s)]


def average(samples):
    samples = finite(samples)
    return sum(samples) / len(samples) if samples else NAN


def mean_and_error(samples):
    samples = finite(samples)
    if not samples:
        return NAN, NAN
    mean = sum(samples) / len(samples)
    if len(samples) < 2:
        return mean, NAN
    variance = sum((s - mean) ** 2 for s in samples) / (len(samples) - 1)
    return mean, math.sqrt(variance / len(samples))


def window(rows, time, fraction):
    """The snapshots of the last fraction of a run: from (1 - fraction) of its end on."""
    end = rows[-1][time]
    start = end - fraction * end
    return [r for r in rows if r[time] >= start - 1e-9 * end]


def trusted(row, least):
    """A snapshot's speed where its correlation reaches the threshold, else nan."""
    correlation = row.get("speed_correlation", NAN)
    return row.get("speed", NAN) if correlation >= least else NAN


class Settings:
    def __init__(self, fraction=0.5, least=0.5):
        self.fraction, self.least = fraction, least


def run_values(run, names, settings):
    """A complete run's window means, and what its speed rests on."""
    late = window(run.rows, run.header[0], settings.fraction)
    values = {n: average([r.get(n, NAN) for r in late]) for n in names}
    speeds = finite([trusted(r, settings.least) for r in late])
    values["speed"] = average(speeds)
    measured = [r["speed_correlation"] for r in late
                if not math.isnan(r["speed"]) and not math.isnan(r["speed_correlation"])]
    last = run.rows[-1]
    values.update({f"last_{n}": last.get(n, NAN) for n in LAST})
    return values, len(speeds), measured


def groups(axes, runs):
    """The runs of each parameter set, in the order the plan first names it."""
    found = {}
    for run in runs:
        found.setdefault(tuple(run.values[:len(axes)]), []).append(run)
    return found


def text(value):
    if isinstance(value, int):
        return str(value)
    return "nan" if math.isnan(value) else repr(value)


def speed_warning(axes, values, used, measured, least):
    """None when enough of the window's snapshots reach the threshold to trust the speed."""
    if measured and 2 * used >= len(measured):
        return None
    where = " ".join(f"{a}={v}" for a, v in zip(axes, values)) or "the sweep"
    median = f"{statistics.median(measured):.2f}" if measured else "nan"
    return (f"{where}: speed is nan: {used} of {len(measured)} snapshots in the window reach "
            f"--min-correlation {least} (median speed_correlation {median}); heights closer "
            "together (a smaller --speed-lag) match better")


def summary_rows(axes, runs, names, settings, warnings):
    header = axes + KINDS
    for n in names:
        header += [f"{n}_mean", f"{n}_stderr"]
        if n == "speed":
            header += ["speed_snapshots", "speed_correlation_median"]
    header += [f"last_{n}_{s}" for n in LAST for s in ("mean", "stderr")]
    yield header
    for values, members in groups(axes, runs).items():
        row = list(values) + [sum(r.kind == k for r in members) for k in KINDS]
        complete = [run_values(r, names, settings) for r in members if r.kind == "complete"]
        used = sum(u for _, u, _ in complete)
        measured = [c for _, _, m in complete for c in m]
        warning = speed_warning(axes, values, used, measured, settings.least) if complete else None
        if warning:
            warnings.append(warning)
        for n in names:
            mean, error = mean_and_error([v[n] for v, _, _ in complete])
            if n == "speed":
                mean, error = (NAN, NAN) if warning else (mean, error)
                row += [mean, error, used, statistics.median(measured) if measured else NAN]
            else:
                row += [mean, error]
        for n in LAST:
            row += mean_and_error([v[f"last_{n}"] for v, _, _ in complete])
        yield [v if isinstance(v, str) else text(v) for v in row]


def timeseries_rows(axes, runs, names, settings, model):
    time = next((r.header[0] for r in runs if r.kind == "complete"),
                "step" if model == "profile" else "batch")
    yield axes + [time, "runs"] + [f"{n}_{s}" for n in names for s in ("mean", "stderr", "count")]
    for values, members in groups(axes, runs).items():
        at = {}
        for run in members:
            if run.kind == "complete":
                for r in run.rows:
                    at.setdefault(r[time], []).append(r)
        for t in sorted(at):
            row = list(values) + [text(int(t)), text(len(at[t]))]
            for n in names:
                samples = finite([trusted(r, settings.least) if n == "speed" else r.get(n, NAN)
                                  for r in at[t]])
                mean, error = mean_and_error(samples)
                row += [text(mean), text(error), text(len(samples))]
            yield row


def provenance(axes, runs, grid, settings):
    """The '#' lines: the sweep's command, the parameters every complete run shares, the
    software, how the summary was made."""
    complete = [r for r in runs if r.kind == "complete"]
    model = grid.get("model") or ("profile" if complete and complete[0].header[0] == "step" else "bed")
    unit = "steps" if model == "profile" else "batches"
    lines = []
    if grid:
        words = [grid["model"]] + [f"--{n} {','.join(v)}" for n, v in grid["axes"]]
        words += [f"--seeds {','.join(grid['seeds'])}"]
        options = dict(grid["options"], **({f"--{unit}": grid["total"]} if grid["total"] else {}))
        words += [f"{n} {options[n]}" for n in sorted(options)]
        lines.append("# Sweep: " + " ".join(words))
    total = planned_total(grid)
    if complete:
        first = complete[0].made
        ends = {int(r.rows[-1][r.header[0]]) for r in complete}
        end = total if total is not None else (ends.pop() if len(ends) == 1 else None)
        # A run continued to a longer total keeps its first total in its own line.
        shared = [k for k in first if k not in axes and k != "seed"
                  and (k == unit and end is not None
                       or all(r.made.get(k) == first[k] for r in complete))]
        pairs = [f"{k}={end if k == unit else first[k]}" for k in shared]
        lines.append("# Parameters: " + " ".join(pairs))
        software = sorted({r.software for r in complete if r.software})
        if software:
            lines.append("# Software: " + ", ".join(software))
        units = complete[0].units
        if units:
            lines.append("# Units: " + ", ".join(f"{k}={v}" for k, v in units.items()))
    span = ""
    if total is not None:
        span = f" ({unit} {total - settings.fraction * total:g} to {total})"
    lines.append(f"# Summary: window={settings.fraction} min_correlation={settings.least}: each "
                 f"statistic averaged over the snapshots of the last {settings.fraction} of each "
                 f"run{span}, then over the complete runs' seeds (mean, standard error); speed "
                 f"only from snapshots whose speed_correlation is {settings.least} or more")
    return [line + "\n" for line in lines]


def write_csv(out, name, head, rows):
    """Replaces OUT/NAME whole, so a reader never sees half of one."""
    with tempfile.NamedTemporaryFile("w", dir=out, prefix=f".{name}.", delete=False,
                                     newline="") as f:
        try:
            f.writelines(head)
            csv.writer(f, lineterminator="\n").writerows(rows)
            f.flush()
            os.fsync(f.fileno())
            os.replace(f.name, out / name)
        except BaseException:
            os.unlink(f.name)
            raise


def statistic_names(runs):
    """The statistics of the first complete run, in its file's order."""
    for run in runs:
        if run.kind == "complete":
            return run.header[1:]
    return REQUIRED


def parse_arguments(argv):
    options = {"--window": 0.5, "--min-correlation": 0.5}
    pending = False
    rest = []
    while argv:
        word, argv = argv[0], argv[1:]
        name, _, value = word.partition("=")
        if word == "--pending":
            pending = True
        elif name in options:
            if not value:
                if not argv:
                    raise ValueError(f"{name} takes a value")
                value, argv = argv[0], argv[1:]
            try:
                number = float(value) if re.fullmatch(r"-?[0-9.]+", value) else NAN
            except ValueError:
                number = NAN
            low = 0 if name == "--window" else -1
            if not low <= number <= 1:
                raise ValueError(f"{name} takes a number in {low}..1, not '{value}'")
            options[name] = number
        else:
            rest.append(word)
    if len(rest) != 1:
        raise ValueError("one sweep folder, please")
    return pending, pathlib.Path(rest[0]), Settings(options["--window"], options["--min-correlation"])


def main(argv):
    try:
        pending, out, settings = parse_arguments(argv)
    except ValueError as error:
        print(f"sweep-summary: {error}\n{__doc__.split(chr(10) * 2)[-1]}", file=sys.stderr)
        return 2
    try:
        names, runs = read_plan(out)
    except NoSweep as error:
        print(f"sweep-summary: {error}", file=sys.stderr)
        return 2
    grid = read_grid(out)
    for run in runs:
        examine(out, run, names, planned_total(grid))
    incomplete = [r for r in runs if r.kind != "complete"]
    if pending:
        sys.stdout.writelines(r.line + "\n" for r in incomplete)
        return 0
    axes, columns = names[:-1], statistic_names(runs)
    warnings = []
    head = provenance(axes, runs, grid, settings)
    try:
        write_csv(out, "summary.csv", head, summary_rows(axes, runs, columns, settings, warnings))
        write_csv(out, "timeseries.csv", head, timeseries_rows(axes, runs, columns, settings, grid.get("model")))
    except OSError as error:
        print(f"sweep-summary: cannot write in {out}: {error}", file=sys.stderr)
        return 2
    for warning in warnings:
        print(f"sweep-summary: {warning}", file=sys.stderr)
    for run in incomplete:
        print(f"sweep-summary: {out / run.folder}: {run.detail}", file=sys.stderr)
    if incomplete:
        print(f"sweep-summary: {len(incomplete)} of {len(runs)} runs are not complete; the "
              "summary averages the complete ones; run the sweep's command again to finish "
              "the others", file=sys.stderr)
    return 1 if incomplete else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
