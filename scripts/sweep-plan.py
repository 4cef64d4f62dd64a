#!/usr/bin/env python3
"""Plans a sweep for scripts/sweep: OUT/sweep.json (the grid), OUT/plan.csv (each run's folder
and values) and OUT/jobs.txt (each run's command line, in absolute paths). A folder that holds
a sweep already is continued, or grown: more seeds, more values of an axis, a longer total;
finished runs keep their folders and lines. Anything else that differs is refused (status 2),
naming what differs. Options in any order name the same grid.

usage: sweep-plan.py OUT MODEL SEEDS KAMMELSIM SWEEP_RUN NAXES [NAME=V1,V2,...]... [--NAME VALUE]...
(the axes as scripts/sweep found them, then every other option; --batches or --steps is the
total, which may grow)"""
import json
import math
import os
import pathlib
import shlex
import sys

FORMAT = 1


class Refused(Exception):
    pass


def new_grid(model, seeds, axes, words):
    """The grid a command line names; options keyed by name, so their order does not count."""
    total_name = "--batches" if model == "bed" else "--steps"
    grid = {"format": FORMAT, "model": model, "seeds": seeds.split(","), "axes": [],
            "total": None, "options": {}, "paths": {}}
    for axis in axes:
        name, values = axis.split("=", 1)
        values = values.split(",")
        grid["axes"].append([name, values])
        if name == "config":
            grid["paths"] = {v: os.path.abspath(v) for v in values}
    for name, value in zip(words[::2], words[1::2]):
        if name == total_name:
            grid["total"] = value
        else:
            grid["options"][name] = value
    grid["options"] = dict(sorted(grid["options"].items()))
    return grid


def migrate(text):
    """The grid of a sweep planned before sweep.json: its sweep.txt, one shell word a line."""
    words = [shlex.split(line)[0] if line else "" for line in text.split("\n") if line != ""]
    if len(words) < 2 or words[0] not in ("bed", "profile") or not words[1].startswith("seeds="):
        raise Refused("its sweep.txt is no sweep's grid")
    axes = [w[len("axis "):] for w in words[2:] if w.startswith("axis ")]
    rest = [w for w in words[2:] if not w.startswith("axis ")]
    grid = new_grid(words[0], words[1][len("seeds="):], axes, rest)
    grid["paths"] = {}  # the old plan made them absolute from wherever it ran
    return grid


def stored_grid(out):
    """The grid OUT holds, None for a new, empty folder."""
    path = out / "sweep.json"
    if path.exists():
        try:
            grid = json.loads(path.read_text(encoding="utf-8"))
            if grid.get("format") != FORMAT:
                raise ValueError(f"format {grid.get('format')!r}")
            missing = {"model", "seeds", "axes", "total", "options"} - set(grid)
            if missing:
                raise ValueError(f"no {', '.join(sorted(missing))}")
            return grid
        except (OSError, UnicodeDecodeError, ValueError, AttributeError) as error:
            raise Refused(f"'{out}' holds a sweep.json that cannot be read ({error})")
    if (out / "sweep.txt").exists():
        return migrate((out / "sweep.txt").read_text(encoding="utf-8"))
    if any(out.iterdir()):
        raise Refused(f"'{out}' holds files that are no sweep's")
    return None


def listed(values):
    return ",".join(values)


def differences(old, new):
    """What keeps the new command from naming old's grid, grown or not."""
    unit = "batches" if old["model"] == "bed" else "steps"
    if old["model"] != new["model"]:
        return [f"{old['model']} runs there, {new['model']} here"]
    found = []
    old_axes, new_axes = dict(old["axes"]), dict(new["axes"])
    if set(old_axes) != set(new_axes):
        def names(axes):
            return " and ".join(f"--{n}" for n in axes) or "nothing"
        found.append(f"it sweeps {names(old_axes)}, this command {names(new_axes)}")
    else:
        for name, values in old_axes.items():
            left = [v for v in values if v not in new_axes[name]]
            if left:
                found.append(f"--{name} {listed(left)} there, not here "
                             f"(name every value it has: {listed(values)})")
    left = [s for s in old["seeds"] if s not in new["seeds"]]
    if left:
        found.append(f"seeds {listed(left)} there, not here "
                     f"(name every seed it has: {listed(old['seeds'])})")
    swept = {f"--{n}" for n in old_axes} | {f"--{n}" for n in new_axes}
    for name in sorted((set(old["options"]) | set(new["options"])) - swept):
        there, here = old["options"].get(name), new["options"].get(name)
        if there != here:
            found.append(f"{name} {there or '(none)'} there, {here or '(none)'} here")
    there, here = old["total"], new["total"]
    if there != here:
        total = "--batches" if unit == "batches" else "--steps"
        if there is None or here is None or not (there.isdigit() and here.isdigit()):
            found.append(f"{total} {there or '(none)'} there, {here or '(none)'} here")
        elif int(here) < int(there):
            found.append(f"{total} {there} there, {here} here (a sweep's runs grow, they are "
                         "not cut back)")
    return found


def growth(old, new):
    """What the new command adds to old's grid, in words; empty when it adds nothing."""
    unit = "batches" if old["model"] == "bed" else "steps"
    added = []
    seeds = [s for s in new["seeds"] if s not in old["seeds"]]
    if seeds:
        added.append(f"seeds {listed(seeds)}")
    old_axes = dict(old["axes"])
    for name, values in new["axes"]:
        more = [v for v in values if v not in old_axes[name]]
        if more:
            added.append(f"--{name} {listed(more)}")
    if old["total"] != new["total"]:
        added.append(f"{old['total']} to {new['total']} {unit}")
    return added


def merged(old, new):
    """New's values, in old's order of axes: the folder names are old's."""
    grid = dict(new)
    new_axes = dict(new["axes"])
    grid["axes"] = [[name, new_axes[name]] for name, _ in old["axes"]]
    grid["paths"] = {**new["paths"], **old.get("paths", {})}
    return grid


def on_schedule(every, total):
    """Whether total is a snapshot of --every E or log:N (None: neither)."""
    if every.isdigit():
        return total % int(every) == 0
    if not (every.startswith("log:") and every[4:].isdigit()) or int(every[4:]) < 1:
        return None
    n, k = int(every[4:]), 0
    while (point := math.floor(10 ** (k / n) + 0.5)) < total:
        k += 1
    return point == total


def end_kept(old, new):
    """A warning when a longer total keeps an end snapshot off the statistics' schedule."""
    options, total = old["options"], old["total"]
    name = "--stats-every" if "--stats-every" in options else "--every"
    every = options.get(name)
    if (old["total"] == new["total"] or not (every and total and total.isdigit())
            or on_schedule(every, int(total)) in (None, True)):
        return None
    return (f"the runs end at {total}, not a multiple of {name} {every}: that snapshot stays "
            "in their statistics, so they differ from runs made this long at once")


def plan(grid, out, kammelsim, sweep_run):
    """plan.csv's rows and jobs.txt's lines, run by run."""
    combos = [[]]
    for name, values in grid["axes"]:
        combos = [combo + [(name, v)] for combo in combos for v in values]
    names = [name for name, _ in grid["axes"]]
    rows, lines = [["folder"] + names + ["seed"]], []
    options = dict(grid["options"])
    if grid["total"] is not None:
        options["--batches" if grid["model"] == "bed" else "--steps"] = grid["total"]
    fixed = [word for name in sorted(options) for word in (name, options[name])]
    for combo in combos:
        tag = "".join(f"{name}{v}_" for name, v in combo)
        args = [w for name, v in combo
                for w in (f"--{name}", grid["paths"].get(v, v) if name == "config" else v)]
        for seed in grid["seeds"]:
            folder = f"{tag}seed{seed}"
            rows.append([folder] + [v for _, v in combo] + [seed])
            words = [sweep_run, str(out / folder), grid["model"]] + args + fixed + ["--seed", seed]
            lines.append(f"KAMMELSIM={shlex.quote(kammelsim)} " + " ".join(map(shlex.quote, words)))
    return rows, lines


def replace(path, text):
    """Written beside and renamed over: a summary job may be reading the old one."""
    part = path.with_name(f".{path.name}.new")
    part.write_text(text, encoding="utf-8")
    os.replace(part, path)


def main(argv):
    if len(argv) < 6 or not argv[5].isdigit():
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    out, model, seeds, kammelsim, sweep_run = argv[:5]
    count = int(argv[5])
    axes, words = argv[6:6 + count], argv[6 + count:]
    out = pathlib.Path(out).resolve()
    new = new_grid(model, seeds, axes, words)
    try:
        old = stored_grid(out)
        if old is not None:
            found = differences(old, new)
            if found:
                raise Refused(f"'{out}' holds another sweep (its grid is in sweep.json): "
                              + "; ".join(found) + "; choose another folder")
    except Refused as error:
        print(f"sweep: {error}", file=sys.stderr)
        return 2
    grid = new if old is None else merged(old, new)
    if old is not None:
        added = growth(old, new)
        print(f"sweep: growing the sweep in {out}: " + "; ".join(added) if added
              else f"sweep: continuing the sweep in {out}", file=sys.stderr)
        warning = end_kept(old, new)
        if warning:
            print(f"sweep: {warning}", file=sys.stderr)
    rows, lines = plan(grid, out, kammelsim, sweep_run)
    replace(out / "plan.csv", "".join(",".join(row) + "\n" for row in rows))
    replace(out / "jobs.txt", "".join(line + "\n" for line in lines))
    fields = (f" {json.dumps(key)}: {json.dumps(value)}" for key, value in grid.items())
    replace(out / "sweep.json", "{\n" + ",\n".join(fields) + "\n}\n")
    if (out / "sweep.txt").exists():
        (out / "sweep.txt").unlink()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
