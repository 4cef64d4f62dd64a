"""What a notebook shows of a bed or a profile, a long run's progress, and runs with the
runner's outputs."""

import base64
import html
import operator
import os
import sys
import time
import warnings

# The canvas of a notebook's picture: small enough for a cell, large enough for the ripples.
CANVAS = (320, 240)
MAX_RUN = 1_000_000  # the most batches or steps one run takes


def _counter(obj):
    return "batch" if type(obj).__name__ == "Bed" else "step"


def repr_png(self):
    """The picture of the current state, as PNG bytes at a small canvas."""
    return self._png(CANVAS)


def repr_html(self):
    """The picture with the parameters, the seed and how far the run has got."""
    picture = base64.b64encode(self._png(CANVAS)).decode("ascii")
    counter = _counter(self)
    rows = [*self.params.items(), ("seed", self.seed), (counter, getattr(self, counter))]
    cells = "".join(f"<tr><th style='text-align:left'>{html.escape(str(name))}</th>"
                    f"<td style='text-align:left'>{html.escape(str(value))}</td></tr>"
                    for name, value in rows)
    return (f"<div style='display:flex;gap:1em;align-items:flex-start'>"
            f"<img src='data:image/png;base64,{picture}' alt='{html.escape(repr(self))}' "
            f"width='{CANVAS[0]}' height='{CANVAS[1]}'/>"
            f"<table><caption style='text-align:left'>kammel.{type(self).__name__}</caption>"
            f"{cells}</table></div>")


class _Line:
    """A progress line on stderr where tqdm is not installed."""

    def __init__(self, total, unit):
        self.total, self.unit, self.n = total, unit, 0

    def update(self, n):
        self.n += n
        sys.stderr.write(f"\r{self.unit} {self.n}/{self.total} ({100 * self.n // self.total}%)")
        sys.stderr.flush()

    def close(self):
        sys.stderr.write("\n")
        sys.stderr.flush()


def _bar(total, unit):
    try:
        with warnings.catch_warnings():
            # Without ipywidgets tqdm draws its text bar, which a notebook shows as well.
            warnings.simplefilter("ignore")
            from tqdm.auto import tqdm
    except ImportError:
        return _Line(total, unit)
    return tqdm(total=total, unit=f" {unit}", desc="kammel", leave=True)


def _count(unit, args, kwargs):
    """The count of a call run(count) or run(unit=count) that the compiled run would take;
    None for any other, which goes to it for its message."""
    if len(args) + len(kwargs) > 1 or kwargs.keys() - {unit}:
        return None
    count = args[0] if args else kwargs.get(unit, 1)
    if isinstance(count, bool):
        return None
    try:
        count = operator.index(count)
    except TypeError:
        return None
    return count if 0 <= count <= MAX_RUN else None


def output_path(path):
    """A path as the file system takes it: one with a NUL would be cut there, and another
    file replaced, so it is refused."""
    text = os.fsdecode(path)
    if "\0" in text:
        raise ValueError("embedded null byte")
    if os.path.isdir(text):
        raise ValueError(f"{text!r} is a folder; name a file in it")
    return text


# The runner's outputs run takes, and what it gives each: a path, or a number.
PATHS = ("stats", "netcdf", "checkpoint")
OUTPUTS = {"stats": output_path, "netcdf": output_path, "checkpoint": output_path,
           "every": lambda value: value, "checkpoint_interval": lambda value: value,
           "force": lambda value: value}


def run_with_progress(run, unit):
    """run with progress= and the runner's outputs: without outputs, batches or steps in pieces
    of about a tenth of a second, each counted on the bar as it ends (Ctrl+C still stops the
    run at the end of one); with them, kammelsim's own run loop."""

    def with_progress(self, *args, progress=False, overwrite=False, **kwargs):
        kwargs["force"] = True if overwrite else None  # the runner's --force
        outputs = {name: OUTPUTS[name](kwargs.pop(name)) for name in OUTPUTS
                   if kwargs.get(name) is not None}
        for name in OUTPUTS:
            kwargs.pop(name, None)
        if not outputs.keys() & set(PATHS) and outputs.keys() & {"every", "checkpoint_interval"}:
            raise ValueError("every= and checkpoint_interval= apply to the outputs only: "
                             "pass stats=, netcdf= or checkpoint= too")
        if outputs.keys() - {"force"}:
            if progress:
                raise ValueError("progress=True is for runs without outputs; kammelsim resume "
                                 "--batches or --steps shows a run's progress on a terminal")
            if len(args) + len(kwargs) > 1 or kwargs.keys() - {unit}:
                return run(self, *args, **kwargs)  # refused, in its words
            return self._run_recorded(args[0] if args else kwargs.get(unit, 1), outputs)
        count = _count(unit, args, kwargs) if progress else None
        if count is None:
            return run(self, *args, **kwargs)
        bar = _bar(count, unit)
        try:
            left, piece = count, 1
            while left > 0:
                began = time.monotonic()
                now = min(piece, left)
                run(self, now)
                bar.update(now)
                left -= now
                took = time.monotonic() - began
                piece = max(1, min(piece * 4, int(piece * 0.1 / took) if took > 0 else piece * 4))
        finally:
            bar.close()

    with_progress.__name__ = with_progress.__qualname__ = "run"
    return with_progress
