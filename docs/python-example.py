#!/usr/bin/python3
"""The README's example, which makes docs/python-example.png. From the repository's root, after a
build: cd docs && PYTHONPATH=../build/python ./python-example.py && rm ripples.nc"""
import kammel, matplotlib.pyplot as plt, xarray as xr

bed = kammel.Bed("map", seed=1)                 # as kammelsim bed --settings map --seed 1
rows = [bed.statistics()]                       # the rows kammelsim's --stats would write
for _ in range(40):
    bed.run(5)                                  # five batches; other threads run meanwhile
    rows.append(bed.statistics())
run = xr.Dataset({k: ("time", [r[k] for r in rows]) for k in rows[0] if k != "batch"},
                 coords={"time": [r["batch"] for r in rows]})
run = run.merge(bed.to_xarray().drop_vars("time"))  # height(y, x), as the runner's file
fig, (top, bottom) = plt.subplots(2, 1, figsize=(8, 7), layout="constrained")
top.imshow(run.height, origin="lower"); run.wavelength_centroid.plot(ax=bottom)
fig.savefig("python-example.png", dpi=80); run.to_netcdf("ripples.nc")
