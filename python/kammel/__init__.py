"""Wind-blown sand ripples after Nishimori's cellular model, from Python.

The models, statistics, pictures and checkpoints of kammelsim, computed by the same code, so
that a run here and the same run of kammelsim agree bit for bit:

    import kammel
    bed = kammel.Bed(settings="map", seed=1)   # the defaults of kammelsim bed --settings map
    bed.run(10)                                 # ten batches, without the GIL
    bed.heights                                 # int32 array, rows 0..L by columns 0..W
    bed.statistics()                            # the row kammelsim's --stats would write
    bed.picture()                               # the pixels of kammelsim's --png
    bed.save("run.ck")                          # kammelsim resume run.ck --batches 20
"""

from ._kammel import Bed, Profile, __version__, load, statistics

__all__ = ["Bed", "Profile", "load", "statistics", "__version__"]
