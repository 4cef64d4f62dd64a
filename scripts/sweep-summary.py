#!/usr/bin/env python3
"""Summarises a sweep: one row per parameter set, the mean and standard error over seeds of
the last snapshot's wavelength_centroid, crest_spacing, rms and mean_jump, and of the speed
averaged over the second half of the snapshots.   usage: sweep-summary.py OUT [AXIS...]"""
import csv
import math
import pathlib
import re
import sys

MEASURES = ["wavelength_centroid", "crest_spacing", "rms", "mean_jump"]


def read_stats(path):
    with open(path, newline="") as f:
        rows = list(csv.DictReader(line for line in f if not line.startswith("#")))
    return [{k: float(v) for k, v in row.items()} for row in rows]


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


def main():
    out, axes = pathlib.Path(sys.argv[1]), sys.argv[2:]
    groups = {}
    for stats in sorted(out.glob("*/stats.csv")):
        key = re.sub(r"seed[^/]*$", "", stats.parent.name)
        groups.setdefault(key, []).append(run_values(read_stats(stats)))
    writer = csv.writer(sys.stdout, lineterminator="\n")
    columns = MEASURES + ["speed"]
    writer.writerow(axes + ["seeds"] + [f"{c}_{s}" for c in columns for s in ("mean", "stderr")])
    def values_of(key):
        return [re.search(rf"(?:^|_){re.escape(a)}(.*?)_", key).group(1) for a in axes]

    def order(key):
        return [float(v) if re.fullmatch(r"[-+0-9.eE]+", v) else math.inf for v in values_of(key)]

    for key in sorted(groups, key=order):
        runs, values = groups[key], values_of(key)
        row = values + [len(runs)]
        for c in columns:
            row += [repr(v) if not math.isnan(v) else "nan" for v in mean_and_error([r[c] for r in runs])]
        writer.writerow(row)


if __name__ == "__main__":
    main()
