"""What the module hands to the rest of Python: copies, pickles and processes that continue as
the original would, Datasets in the runner's layout, runs read back whole, notebook displays."""

import concurrent.futures
import copy
import io
import os
import pickle
import pickletools
import shutil
import signal
import subprocess
import sys
import time

import numpy as np
import pytest
import xarray as xr
from PIL import Image

import kammel

KAMMELSIM = os.environ["KAMMELSIM"]

KINDS = [
    pytest.param(lambda: kammel.Bed("map", seed=3, length=80, width=40), 4, id="map"),
    pytest.param(lambda: kammel.Bed(seed=4, length=60, width=12), 2, id="relief"),
    pytest.param(lambda: kammel.Profile(seed=5, width=400), 30, id="profile"),
]


def counter(model):
    return model.batch if isinstance(model, kammel.Bed) else model.step


def state(model):
    """Everything a continued run shows: heights, statistics (speed against the last row),
    picture."""
    row = model.statistics()
    return model.heights, np.array(list(row.values())), model.picture(canvas=(160, 120))


def same(a, b):
    for mine, theirs in zip(a, b, strict=True):
        np.testing.assert_array_equal(mine, theirs)


@pytest.mark.parametrize("make, count", KINDS)
def test_copies_and_pickles_continue_as_the_original(make, count):
    original = make()
    original.run(count)
    original.statistics()  # the copies carry the row speed is measured against
    copies = [copy.copy(original), copy.deepcopy(original),
              pickle.loads(pickle.dumps(original, protocol=pickle.HIGHEST_PROTOCOL))]
    for other in copies:
        assert type(other) is type(original) and repr(other) == repr(original)
    # Each is independent: running one leaves the others where they were.
    copies[0].run(count)
    assert counter(copies[1]) == count
    whole = make()
    whole.run(count)
    whole.statistics()
    whole.run(count)
    expected = state(whole)
    original.run(count)
    same(state(original), expected)
    for other in copies[1:]:
        other.run(count)
        same(state(other), expected)
    same(state(copies[0]), expected)


def grown(seed):
    bed = kammel.Bed("map", seed=seed, length=60, width=30)
    bed.run(5)
    return bed


def test_a_process_pool_gives_what_one_process_gives():
    seeds = [1, 2, 3]
    with concurrent.futures.ProcessPoolExecutor(max_workers=2) as pool:
        beds = list(pool.map(grown, seeds))
    for seed, bed in zip(seeds, beds, strict=True):
        here = grown(seed)
        np.testing.assert_array_equal(bed.heights, here.heights)
        bed.run(2)
        here.run(2)
        np.testing.assert_array_equal(bed.heights, here.heights)
    # A damaged state is refused as a damaged checkpoint is, never taken up. The state is taken
    # from the very pickle it is damaged in: it records the time it was made.
    data = pickle.dumps(beds[0])
    state = max((arg for _, arg, _ in pickletools.genops(data) if isinstance(arg, bytes)), key=len)
    damaged = state[:100] + bytes([state[100] ^ 1]) + state[101:]
    with pytest.raises(ValueError, match="the pickled state is damaged"):
        pickle.loads(data.replace(state, damaged))


# Attributes that say which run and when: never equal between two runs; and which build made
# the file, which one build tree may hold from two commits for the module and kammelsim.
OWN = ["history", "run_id", "command", "source"]


def made_by_their_builds(mine, theirs):
    version = subprocess.run([KAMMELSIM, "--version"], capture_output=True, text=True,
                             check=True).stdout.split()[1]
    assert mine.attrs["source"] == f"kammelsim {kammel.__version__}"
    assert theirs.attrs["source"] == f"kammelsim {version}"


@pytest.mark.parametrize("kwargs, words, count", [
    ({"settings": "map", "seed": 2, "length": 70, "width": 30},
     ["bed", "--settings", "map", "--seed", "2", "--length", "70", "--width", "30"], 3),
    ({"settings": "relief", "seed": 6, "length": 50, "width": 9, "b": 1.5},
     ["bed", "--seed", "6", "--length", "50", "--width", "9", "--b", "1.5"], 2),
    ({"seed": 8, "width": 300}, ["profile", "--seed", "8", "--width", "300"], 20),
], ids=["map", "relief", "profile"])
def test_to_xarray_is_a_record_of_the_runners_data_file(tmp_path, kwargs, words, count):
    unit = "--batches" if words[0] == "bed" else "--steps"
    subprocess.run([KAMMELSIM, *words, unit, str(count), "--netcdf", "run.nc"], cwd=tmp_path,
                   check=True, capture_output=True)
    model = kammel.Bed(**kwargs) if "settings" in kwargs else kammel.Profile(**kwargs)
    model.run(count)
    mine = model.to_xarray()
    with xr.open_dataset(tmp_path / "run.nc") as opened:
        theirs = opened.isel(time=-1).load()
    assert all(mine.attrs[name] and theirs.attrs[name] for name in OWN)
    made_by_their_builds(mine, theirs)
    xr.testing.assert_identical(mine.assign_attrs({n: 0 for n in OWN}),
                                theirs.assign_attrs({n: 0 for n in OWN}))
    # assert_identical lets an int32 time equal the file's int64.
    assert {n: v.dtype for n, v in mine.variables.items()} == \
        {n: v.dtype for n, v in theirs.variables.items()}
    heights = mine.height.values
    np.testing.assert_array_equal(heights.T if heights.ndim == 2 else heights, model.heights)


def stopped_run(folder):
    """A bed stopped by SIGTERM as a cluster stops it, once its loop has written a snapshot
    (when it surely takes the signal as a request to stop)."""
    run = subprocess.Popen([KAMMELSIM, "bed", "--settings", "map", "--length", "60", "--width",
                            "30", "--seed", "1", "--batches", "1000000", "--every", "20",
                            "--stats", "s.csv", "--netcdf", "r.nc", "--checkpoint", "r.ck",
                            "--checkpoint-interval", "1"],
                           cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        for _ in range(1200):
            if (folder / "s.csv").exists() and "\n20," in (folder / "s.csv").read_text():
                break
            time.sleep(0.05)
        run.send_signal(signal.SIGTERM)
        assert b"stopped after" in run.communicate(timeout=120)[1]
    finally:
        run.kill()
        run.wait()


def test_open_run_reads_a_stopped_and_a_finished_run(tmp_path):
    stopped = tmp_path / "stopped"
    stopped.mkdir()
    stopped_run(stopped)
    run = kammel.open_run(stopped)
    xr.testing.assert_identical(kammel.open_run(stopped / "r.ck"), run)
    assert run.attrs["done"] < run.attrs["total"] == 1000000
    assert run.height.dims == ("time", "y", "x") and run.time.values[-1] <= run.attrs["done"]
    with xr.open_dataset(stopped / "r.nc") as opened:
        xr.testing.assert_identical(run.drop_vars(["sand"]).assign_attrs(done=0, total=0),
                                    opened.drop_vars(["sand"]).assign_attrs(done=0, total=0))

    # A finished profile with statistics alone: the CSV on time, with its units and provenance.
    subprocess.run([KAMMELSIM, "profile", "--width", "200", "--seed", "3", "--steps", "30",
                    "--every", "10", "--stats", "s.csv", "--checkpoint", "p.ck"], cwd=tmp_path,
                   check=True, capture_output=True)
    run = kammel.open_run(tmp_path / "p.ck")
    assert run.time.values.tolist() == [0, 10, 20, 30] and run.attrs["done"] == 30
    assert run.time.dtype == np.int64  # as the data file's
    assert run.attrs["seed"] == 3 and run.attrs["parameter_width"] == 200
    assert run.wavelength_centroid.attrs["units"] == "cells" and "height" not in run
    profile = kammel.Profile(width=200, seed=3)
    profile.statistics()
    profile.run(30)
    assert profile.statistics()["sand"] == run.sand.values[-1]

    # Two runs in one folder: which is meant is not guessed.
    (tmp_path / "two").mkdir()
    for name in ("a.ck", "b.ck"):
        kammel.Profile(width=20, seed=1).save(tmp_path / "two" / name)
    with pytest.raises(ValueError, match="holds more than one checkpoint"):
        kammel.open_run(tmp_path / "two")
    with pytest.raises(FileNotFoundError):
        kammel.open_run(tmp_path / "nothing")


def profile_run(folder, seed, *outputs):
    folder.mkdir()
    subprocess.run([KAMMELSIM, "profile", "--width", "50", "--seed", str(seed), "--steps", "20",
                    "--every", "10", "--stats", "s.csv", "--netcdf", "r.nc", *outputs],
                   cwd=folder, check=True, capture_output=True)


def mixed(folder, other):
    (folder / "s.csv").unlink()
    shutil.copy(other / "s.csv", folder)


@pytest.mark.parametrize("outputs, change, message", [
    ([], mixed, r"not one run's: '.*r\.nc' of run [0-9a-f]{32}, '.*s\.csv' of run"),
    (["--checkpoint", "r.ck"], mixed, r"not one run's: '.*r\.ck' of run"),
    ([], lambda folder, _: (folder / "mem").symlink_to("/proc/self/mem"),
     r"mem' is a symbolic link: a run is read from regular files only"),
    ([], lambda folder, _: ((folder / "s.csv").unlink(), os.mkfifo(folder / "s.csv")),
     r"s\.csv' is a FIFO"),
    (["--checkpoint", "r.ck"], lambda folder, _: (
        (folder / "r.nc").unlink(), (folder / "r.nc").symlink_to(folder / "s.csv")),
     r"r\.nc' is a symbolic link"),
], ids=["mixed", "mixed-checkpoint", "link", "fifo", "recorded-link"])
def test_open_run_refuses_what_is_not_one_runs_files(tmp_path, outputs, change, message):
    other = tmp_path / "other"
    profile_run(other, 2)
    profile_run(tmp_path / "run", 1, *outputs)
    change(tmp_path / "run", other)
    with pytest.raises(ValueError, match=message):
        kammel.open_run(tmp_path / "run")
    assert kammel.open_run(other).attrs["seed"] == 2


def test_notebooks_show_the_picture_and_a_progress_bar(capfd, monkeypatch):
    bed = kammel.Bed("map", seed=1, length=50, width=20)
    alone = kammel.Bed("map", seed=1, length=50, width=20)
    bed.run(batches=7, progress=True)
    alone.run(7)
    np.testing.assert_array_equal(bed.heights, alone.heights)
    assert "7/7" in capfd.readouterr().err
    # Without tqdm, a line of its own.
    monkeypatch.setitem(sys.modules, "tqdm.auto", None)
    bed.run(3, progress=True)
    alone.run(3)
    np.testing.assert_array_equal(bed.heights, alone.heights)
    assert capfd.readouterr().err.endswith("\rbatches 3/3 (100%)\n")
    png = Image.open(io.BytesIO(bed._repr_png_()))
    np.testing.assert_array_equal(np.asarray(png.convert("RGB")),
                                  bed.picture(canvas=(320, 240)))
    page = bed._repr_html_()
    assert "data:image/png;base64," in page and "<td style='text-align:left'>map</td>" in page
    assert "<th style='text-align:left'>batch</th><td style='text-align:left'>10</td>" in page
    # What the run itself refuses, it refuses with a bar too.
    for count, error in [(-1, ValueError), (2.0, TypeError), (True, TypeError)]:
        with pytest.raises(error, match="batches takes"):
            bed.run(count, progress=True)
    with pytest.raises(TypeError):
        kammel.Profile(width=20).run(batches=2, progress=True)
    assert bed.batch == 10


def data_rows(path):
    return [line for line in path.read_text().splitlines() if not line.startswith("#")]


def test_a_run_with_outputs_from_python_is_resumed_by_kammelsim_as_its_own(tmp_path):
    words = ["bed", "--settings", "map", "--seed", "5", "--length", "60", "--width", "30"]
    outputs = ["--every", "2", "--stats", "s.csv", "--netcdf", "r.nc", "--checkpoint", "r.ck"]
    alone, python = tmp_path / "alone", tmp_path / "python"
    alone.mkdir()
    python.mkdir()
    whole = subprocess.run([KAMMELSIM, *words, "--batches", "6", *outputs], cwd=alone, check=True,
                           capture_output=True, text=True).stdout

    bed = kammel.Bed("map", seed=5, length=60, width=30)
    bed.run(4, every=2, stats=python / "s.csv", netcdf=python / "r.nc",
            checkpoint=python / "r.ck")
    assert bed.batch == 4
    np.testing.assert_array_equal(kammel.load(python / "r.ck").heights, bed.heights)
    resumed = subprocess.run([KAMMELSIM, "resume", "r.ck", "--batches", "6"], cwd=python,
                             check=True, capture_output=True, text=True).stdout
    assert resumed == whole
    assert data_rows(python / "s.csv") == data_rows(alone / "s.csv")
    # A resume to a longer run names the run the file holds now (batches 6).
    own = {name: 0 for name in OWN}
    with xr.open_dataset(alone / "r.nc") as theirs, xr.open_dataset(python / "r.nc") as mine:
        made_by_their_builds(mine, theirs)
        xr.testing.assert_identical(mine.assign_attrs(own), theirs.assign_attrs(own))
        assert mine.attrs["parameter_batches"] == 6
    # The object holds the run its checkpoint holds: saved, it is the same run.
    bed.run(2)
    np.testing.assert_array_equal(bed.heights, kammel.load(python / "r.ck").heights)

    for call, error, message in [
        (lambda: bed.run(1, stats=python / "t.csv"), ValueError, "starts at 0 batches"),
        (lambda: kammel.Profile(width=200).run(1, stats=python / "s.csv"), ValueError,
         r"s\.csv' exists already; pass overwrite=True to replace it"),
        (lambda: kammel.Profile(width=200).run(1, every=0, stats="x.csv"), ValueError,
         "every takes an integer in 1..1000000000000000 or log:N, N in 1..1000, not 0"),
        (lambda: kammel.Profile(width=200).run(1, stats="x.csv", progress=True), ValueError,
         "progress=True is for runs without outputs"),
    ]:
        with pytest.raises(error, match=message):
            call()
    kammel.Profile(width=200).run(1, stats=python / "s.csv", overwrite=True)
    assert "profile" in (python / "s.csv").read_text()


def recorded(path):
    return kammel._kammel._checkpoint(path)["parameters"]


def data_parameters(model):
    return {name: value for name, _, value in model._data_file()["attributes"]
            if name.startswith(b"parameter_".decode())}


@pytest.mark.parametrize("words, unit", [
    (["bed", "--length", "30", "--width", "4", "--every", "2"], "batches"),
    (["bed", "--settings", "map", "--length", "40", "--width", "20", "--stats-every", "log:5",
      "--netcdf-every", "3", "--speed-lag", "2"], "batches"),
    (["profile", "--width", "200", "--frames-every", "1", "--speed-lag", "every"], "steps"),
])
def test_a_loaded_run_records_its_schedule_as_kammelsim_resume_does(tmp_path, words, unit):
    subprocess.run([KAMMELSIM, *words, "--seed", "3", f"--{unit}", "4", "--checkpoint", "c.ck"],
                   cwd=tmp_path, check=True, capture_output=True)
    shutil.copy(tmp_path / "c.ck", tmp_path / "r.ck")
    subprocess.run([KAMMELSIM, "resume", "r.ck", f"--{unit}", "6"], cwd=tmp_path, check=True,
                   capture_output=True)
    model = kammel.load(tmp_path / "c.ck")
    model.run(2)
    model.save(tmp_path / "p.ck")
    assert recorded(tmp_path / "p.ck") == recorded(tmp_path / "r.ck")
    theirs = kammel.load(tmp_path / "r.ck")
    assert data_parameters(model) == data_parameters(theirs)
    # And the saved run goes on as the runner's own.
    for name in "p.ck", "r.ck":
        subprocess.run([KAMMELSIM, "resume", name, f"--{unit}", "8"], cwd=tmp_path, check=True,
                       capture_output=True)
    assert recorded(tmp_path / "p.ck") == recorded(tmp_path / "r.ck")


def test_a_run_with_outputs_keeps_its_schedule_in_what_it_saves(tmp_path):
    bed = kammel.Bed(seed=2, length=30, width=4)
    bed.run(4, every=2, stats=tmp_path / "s.csv", checkpoint=tmp_path / "r.ck")
    bed.save(tmp_path / "p.ck")
    assert "every=2" in recorded(tmp_path / "r.ck")
    assert recorded(tmp_path / "p.ck") == recorded(tmp_path / "r.ck")
