"""Wind-blown sand ripples after Nishimori's cellular model, from Python.

The models, statistics, pictures and checkpoints of kammelsim, computed by the same code, so
that a run here and the same run of kammelsim agree bit for bit:

    import kammel
    bed = kammel.Bed(settings="map", seed=1)   # the defaults of kammelsim bed --settings map
    bed.run(10, progress=True)                  # ten batches, without the GIL, with a bar
    bed.heights                                 # int32 array, rows 0..L by columns 0..W
    bed.to_xarray()                             # height(y, x), as kammelsim's --netcdf
    bed.statistics()                            # the row kammelsim's --stats would write
    bed.picture()                               # the pixels of kammelsim's --png
    bed.save("run.ck")                          # kammelsim resume run.ck --batches 20
    kammel.open_run("run-folder")               # a kammelsim run's files as one Dataset

Beds and profiles pickle and copy (their state is a checkpoint's bytes), so they go to other
processes whole; a notebook shows them with their picture and parameters.
"""

from . import _notebook, _xarray
from ._kammel import Bed, Profile, __version__, load, statistics
from ._xarray import open_run

_PROGRESS = """

With progress=True a progress bar (tqdm's where it is installed, else a line on stderr) counts
the {0} as they end.

stats=, netcdf= and checkpoint= (paths), every= and checkpoint_interval= run an object at 0
{0} through kammelsim's own run loop, which writes the files `kammelsim {1} ... --stats FILE
--netcdf FILE --checkpoint FILE` writes: `kammelsim resume FILE` continues them, and the
checkpoint becomes this object's. A file that exists is refused, as the runner refuses it,
unless overwrite=True.
ValueError for an object past 0 or a value the runner refuses, OSError when an output fails,
KeyboardInterrupt when a signal stops the run (its checkpoint written)."""

for _class, _unit, _command in ((Bed, "batches", "bed"), (Profile, "steps", "profile")):
    _compiled = _class.run
    _run = _notebook.run_with_progress(_compiled, _unit)
    _signature, _body = _compiled.__doc__.split("\n", 1)
    _run.__doc__ = (f"run(self, {_unit}: int = 1, *, progress: bool = False, stats=None, "
                    "netcdf=None, checkpoint=None, every=None, checkpoint_interval=None, "
                    "overwrite=False) -> None\n"
                    + _body + _PROGRESS.format(_unit, _command))
    _class.run = _run
    _class.to_xarray = _xarray.to_xarray
    _class._repr_png_ = _notebook.repr_png
    _class._repr_html_ = _notebook.repr_html
del _class, _unit, _command, _compiled, _run, _signature, _body

__all__ = ["Bed", "Profile", "load", "open_run", "statistics", "__version__"]
