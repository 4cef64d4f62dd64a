#!/usr/bin/python3
"""The README's example, which makes docs/python-example.png. From the repository's root, after a
build: cd docs && PYTHONPATH=../build/python ./python-example.py && rm ripples.nc"""
import kammel, matplotlib.pyplot as plt, xarray as xr

bed = kammel.Bed("map", seed=1)                 # as kammelsim bed --settings map --seed 1
rows = [bed.statistics()]                       # the rows kammelsim's --stats would write
for _ in range(40):
    bed.run(5)                                  # five batches; other threads run meanwhile
    rows.append(bed.statistics())
run = xr.Dataset({k: ("batch", [r[k] for r in rows]) for k in rows[0]})
run = run.assign(height=(("x", "y"), bed.heights)).assign_attrs(seed=bed.seed, **bed.params)
fig, (top, bottom) = plt.subplots(2, 1, figsize=(8, 7), layout="constrained")
top.imshow(run.height.T, origin="lower"); run.wavelength_centroid.plot(ax=bottom)
fig.savefig("python-example.png", dpi=80); run.to_netcdf("ripples.nc")
