"""The module kammel against kammelsim: the same runs give the same heights, statistics, pictures
and checkpoints; threads, Ctrl+C and bad arguments behave as a Python library's should."""

import ast
import csv
import errno
import gc
import math
import os
import pathlib
import re
import signal
import subprocess
import sys
import threading
import time
import zlib

import numpy as np
import pytest
from PIL import Image

import kammel

KAMMELSIM = os.environ["KAMMELSIM"]

# Each model on two seeds: (constructor arguments, kammelsim's words for them, batches or steps).
RUNS = [
    pytest.param({"settings": "relief", "seed": 1}, ["bed", "--seed", "1"], 2, id="relief-1"),
    pytest.param({"settings": "relief", "seed": 7, "length": 120, "width": 41, "b": 1.5},
                 ["bed", "--seed", "7", "--length", "120", "--width", "41", "--b", "1.5"], 3,
                 id="relief-7"),
    pytest.param({"settings": "map", "seed": 1}, ["bed", "--settings", "map", "--seed", "1"], 2,
                 id="map-1"),
    pytest.param({"settings": "map", "seed": 9, "length": 200, "width": 90, "height": 8, "q": 2},
                 ["bed", "--settings", "map", "--seed", "9", "--length", "200", "--width", "90",
                  "--height", "8", "--q", "2"], 3, id="map-9"),
    pytest.param({"seed": 1}, ["profile", "--seed", "1"], 40, id="profile-1"),
    pytest.param({"seed": 4, "width": 300, "thickness": 20, "wind": 3.25},
                 ["profile", "--seed", "4", "--width", "300", "--thickness", "20", "--wind",
                  "3.25"], 60, id="profile-4"),
    pytest.param({"settings": "open", "schedule": "relief", "seed": 3, "length": 80, "width": 30,
                  "height": 8},
                 ["bed", "--settings", "open", "--schedule", "relief", "--seed", "3", "--length",
                  "80", "--width", "30", "--height", "8"], 2, id="open-relief-3"),
    pytest.param({"settings": "open", "seed": 2, "length": 1100, "width": 61},
                 ["bed", "--settings", "open", "--seed", "2", "--length", "1100", "--width", "61"],
                 2, id="open-map-2"),
]


def make(kwargs):
    return kammel.Bed(**kwargs) if "settings" in kwargs else kammel.Profile(**kwargs)


def sim(words, cwd, *more):
    """kammelsim's heights for a command line, as the array .heights gives."""
    done = subprocess.run([KAMMELSIM, *words, *more], cwd=cwd, capture_output=True, text=True,
                          check=True)
    heights = np.loadtxt(done.stdout.splitlines(), dtype=np.int64, ndmin=2)
    return heights[0] if len(heights) == 1 else heights  # one line: a profile


def unit(words):
    return "--batches" if words[0] == "bed" else "--steps"


def csv_rows(path):
    with open(path) as file:
        return list(csv.DictReader(line for line in file if not line.startswith("#")))


def same_row(mine, theirs):
    assert list(mine) == list(theirs), "the CSV's columns, in order"
    for name, value in mine.items():
        expected = float(theirs[name])
        assert value == expected or (math.isnan(value) and math.isnan(expected)), name


def png_pixels(path):
    return np.asarray(Image.open(path).convert("RGB"))


@pytest.mark.parametrize("kwargs, words, count", RUNS)
def test_a_run_is_kammelsims_bit_for_bit(tmp_path, kwargs, words, count):
    every = count // 2  # a divisor of count: the snapshots are 0, every, ..., count
    # statistics() measures against the state of the call before, as --speed-lag every does.
    expected = sim(words, tmp_path, unit(words), str(count), "--every", str(every), "--stats",
                   "s.csv", "--speed-lag", "every", "--png", "p.png", "--canvas", "320x240")
    model = make(kwargs)
    rows = [model.statistics()]
    for _ in range(count // every):
        model.run(every)
        rows.append(model.statistics())

    assert model.heights.dtype == np.int32
    np.testing.assert_array_equal(model.heights, expected)
    for mine, theirs in zip(rows, csv_rows(tmp_path / "s.csv"), strict=True):
        same_row(mine, theirs)
    np.testing.assert_array_equal(model.picture(canvas=(320, 240)), png_pixels(tmp_path / "p.png"))
    assert model.seed == kwargs["seed"]
    assert model.params.items() >= {k: v for k, v in kwargs.items() if k != "seed"}.items()


@pytest.mark.parametrize("kwargs, words, count", [RUNS[0], RUNS[2], RUNS[5]])
def test_statistics_of_heights_are_kammelsim_stats(tmp_path, kwargs, words, count):
    model = make(kwargs)
    model.run(1)
    before = model.heights
    model.run(2)
    np.savetxt(tmp_path / "a.txt", np.atleast_2d(before), fmt="%d")
    np.savetxt(tmp_path / "b.txt", np.atleast_2d(model.heights), fmt="%d")
    factors = {"b": kwargs.get("b", 2.0), "wind": kwargs.get("wind", 5.0), "q": kwargs.get("q", 1)}
    row = subprocess.run([KAMMELSIM, "stats", "b.txt", "--previous", "a.txt", "--interval", "2"] +
                         [f"--{name}={value}" for name, value in factors.items()],
                         cwd=tmp_path, capture_output=True, text=True, check=True).stdout
    theirs = next(csv.DictReader(row.splitlines()))
    same_row(kammel.statistics(model.heights, before, interval=2, **factors), theirs)


@pytest.mark.parametrize("kwargs, words, count", [RUNS[1], RUNS[3], RUNS[4], RUNS[7]])
def test_checkpoints_go_both_ways(tmp_path, kwargs, words, count):
    whole = sim(words, tmp_path, unit(words), str(2 * count), "--png", "whole.png")

    saved = make(kwargs)
    saved.run(count)
    saved.save(tmp_path / "py.ck")
    resumed = sim(["resume", "py.ck", unit(words), str(2 * count)], tmp_path)
    np.testing.assert_array_equal(resumed, whole)

    sim(words, tmp_path, unit(words), str(count), "--checkpoint", "sim.ck", "--stats", "s.csv",
        "--every", str(count), "--speed-lag", "every")
    loaded = kammel.load(tmp_path / "sim.ck")
    assert type(loaded) is type(saved) and repr(loaded) == repr(saved)
    loaded.run(count)
    np.testing.assert_array_equal(loaded.heights, whole)
    np.testing.assert_array_equal(loaded.picture(), png_pixels(tmp_path / "whole.png"))

    # Statistics go on from the runner's last row, as its resumed file would.
    sim(["resume", "sim.ck", unit(words), str(2 * count)], tmp_path)
    same_row(loaded.statistics(), csv_rows(tmp_path / "s.csv")[-1])

    # The runner went on writing the checkpoint Python saved.
    again = kammel.load(tmp_path / "py.ck")
    assert (again.batch if isinstance(again, kammel.Bed) else again.step) == 2 * count
    np.testing.assert_array_equal(again.heights, whole)


def test_objects_in_threads_are_as_alone():
    kinds = [{"settings": "map", "seed": 3, "length": 150}, {"settings": "relief", "seed": 4},
             {"seed": 5, "width": 2000}, {"settings": "map", "seed": 6, "width": 60}]

    def work(kwargs):
        model = make(kwargs)
        model.run(3)
        return model.heights, model.picture(canvas=(200, 150)), model.statistics()

    alone = [work(kwargs) for kwargs in kinds]
    together = [None] * len(kinds)

    def worker(n):
        together[n] = work(kinds[n])

    threads = [threading.Thread(target=worker, args=(n,)) for n in range(len(kinds))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for (heights, picture, row), result in zip(alone, together, strict=True):
        assert result is not None, "a thread failed"
        np.testing.assert_array_equal(result[0], heights)
        np.testing.assert_array_equal(result[1], picture)
        assert result[2].keys() == row.keys()
        np.testing.assert_array_equal(list(result[2].values()), list(row.values()))


# Ctrl+C from outside, once the run has surely begun: it ends at a batch, with the object whole;
# a handler of the script's own may use the object.
INTERRUPTED = """
import signal, sys, threading, time, kammel
bed = kammel.Bed("map", seed=2, length=200, width=100)
if sys.argv[1] == "own":
    def stop(number, frame):
        raise RuntimeError(int(bed.heights.sum()))
    signal.signal(signal.SIGINT, stop)
def tell():
    while bed.batch < 1:
        time.sleep(0.001)
    print("running", flush=True)
threading.Thread(target=tell, daemon=True).start()
try:
    bed.run(100000, progress=sys.argv[2] == "progress")
    print("not interrupted")
except (KeyboardInterrupt, RuntimeError) as stopped:
    done = bed.batch
    alone = kammel.Bed("map", seed=2, length=200, width=100)
    alone.run(done)
    bed.run(1)
    alone.run(1)
    print(type(stopped).__name__, done, bool((bed.heights == alone.heights).all()))
"""


@pytest.mark.parametrize("handler, raised, bar", [("python", "KeyboardInterrupt", "plain"),
                                                  ("own", "RuntimeError", "plain"),
                                                  ("python", "KeyboardInterrupt", "progress")])
def test_ctrl_c_stops_a_run_at_a_batch(handler, raised, bar):
    child = subprocess.Popen([sys.executable, "-c", INTERRUPTED, handler, bar],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    assert child.stdout.readline() == "running\n"
    child.send_signal(signal.SIGINT)
    out, err = child.communicate(timeout=300)
    words = out.split()
    assert ("100000" in err) == (bar == "progress"), err
    assert child.returncode == 0 and words[0] == raised, out
    assert 1 <= int(words[1]) < 100000 and words[2] == "True", out


@pytest.mark.parametrize("call, error, message", [
    (lambda: kammel.Bed(length=0), ValueError, "length takes an integer in 1..999, not 0"),
    (lambda: kammel.Bed("map", width=501), ValueError, "width takes an integer in 1..500, not 501"),
    (lambda: kammel.Bed(height=1001), ValueError, "height takes an integer in 0..1000"),
    (lambda: kammel.Bed(b=float("nan")), ValueError, "b takes a finite real number, not nan"),
    (lambda: kammel.Bed(wind=10**400), ValueError, "wind takes a finite real number"),
    (lambda: kammel.Bed("sand"), ValueError, "settings takes relief or map or open, not 'sand'"),
    (lambda: kammel.Bed("open", length=2097152), ValueError, "length takes an integer in 1..2097151"),
    (lambda: kammel.Bed("open", length=2097151, width=2097151), MemoryError,
     "no memory for a bed of 2097151 x 2097151"),
    (lambda: kammel.Bed("open", schedule="wind"), ValueError, "schedule takes relief or map"),
    (lambda: kammel.Bed(seed=2**32), ValueError, "seed takes an integer in 0..4294967295"),
    (lambda: kammel.Bed(length=3.0), TypeError, "length takes an integer, not float"),
    (lambda: kammel.Bed(q=True), TypeError, "q takes an integer, not bool"),
    (lambda: kammel.Bed(b="2"), TypeError, "b takes a real number, not str"),
    (lambda: kammel.Bed(settings=None), TypeError, "settings takes a str, not NoneType"),
    (lambda: kammel.Bed(colour=1), TypeError, ""),
    (lambda: kammel.Profile(width=2097152), ValueError, "width takes an integer in 1..2097151"),
    (lambda: kammel.Profile(thickness=-1), ValueError, "thickness takes an integer in 0..100000"),
    (lambda: kammel.Profile().run(-1), ValueError, "steps takes an integer in 0..1000000000000000, not -1"),
    (lambda: kammel.Bed().run(10**15 + 1), ValueError,
     "batches takes an integer in 0..1000000000000000"),
    (lambda: kammel.Bed().picture(threshold=3), ValueError, "threshold is for settings map"),
    (lambda: kammel.Bed().picture(canvas=(15, 600)), ValueError,
     "canvas takes WIDTHxHEIGHT, each 16..8192, not (15, 600)"),
    (lambda: kammel.Bed().picture(canvas=800), TypeError, "canvas takes (width, height)"),
    (lambda: kammel.Profile().picture(threshold=3), TypeError, ""),
    (lambda: kammel.statistics([[1, 2], [3, 4]], [1, 2, 3]), ValueError,
     "previous holds 3 x 1 heights, not 2 x 2"),
    (lambda: kammel.statistics([1.5, 2.5]), TypeError, "heights takes integer heights, not float64"),
    (lambda: kammel.statistics([]), ValueError, "heights holds no heights"),
    (lambda: kammel.statistics(np.zeros((2, 2, 2), int)), ValueError, "not a 3-D array"),
    (lambda: kammel.statistics([1, 2**31]), ValueError, "heights holds 2147483648, not a height"),
    (lambda: kammel.statistics([1, 2], interval=0), ValueError,
     "interval takes a real number above 0"),
    (lambda: kammel.load("/nonexistent/run.ck"), FileNotFoundError, "/nonexistent/run.ck"),
    (lambda: kammel.load(__file__), ValueError, "is not a kammelsim checkpoint"),
    (lambda: kammel.Bed().save("/nonexistent/run.ck"), FileNotFoundError,
     "cannot write '/nonexistent/run.ck': No such file or directory"),
    (lambda: kammel.load(b"/"), OSError, "cannot read '/': "),
    # A NUL ends no file name: refused as open() refuses it, never cut there.
    (lambda: kammel.load("run.ck\0../../etc/passwd"), ValueError, "embedded null byte"),
    (lambda: kammel.Bed().save(b"run.ck\0x"), ValueError, "embedded null byte"),
    # Beyond what kammelsim stats reads, refused at once rather than measured for hours.
    (lambda: kammel.statistics(np.zeros((2, 2**21 + 1), np.int8)), ValueError,
     "heights holds more heights than a bed holds (2097152 rows of 2097152, 2147483647 in all,"
     " at most)"),
    (lambda: kammel.statistics(np.zeros(2**21 + 1, np.int8)), ValueError,
     "more heights than a profile holds (2097152)"),
    (lambda: kammel.statistics(np.zeros((2**21 + 1, 2), np.int8)), ValueError,
     "more heights than a bed holds"),
    (lambda: repr(kammel.Bed.__new__(kammel.Bed)), TypeError, "made without __init__"),
    (lambda: kammel.Profile.__new__(kammel.Profile).step, TypeError, "made without __init__"),
])
def test_bad_arguments_are_refused_with_kammelsims_words(call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert message in str(raised.value)


def test_a_checkpoint_in_use_is_not_saved_over(tmp_path):
    checkpoint = tmp_path / "run.ck"
    run = subprocess.Popen([KAMMELSIM, "bed", "--settings", "map", "--length", "1000",
                            "--width", "500", "--batches", "100000", "--seed", "1",
                            "--checkpoint", str(checkpoint)], stdout=subprocess.DEVNULL)
    try:
        for _ in range(600):  # the run holds its lock from before its first checkpoint
            if checkpoint.exists():
                break
            time.sleep(0.05)
        # Not even when told to overwrite: the run would go on writing over the saved state.
        for overwrite in (False, True):
            with pytest.raises(BlockingIOError) as raised:
                kammel.Bed(seed=1).save(checkpoint, overwrite=overwrite)
            assert str(raised.value).endswith(
                f"'{checkpoint}' is in use by another kammelsim run or resume")
    finally:
        run.kill()
        run.wait()
    kammel.Bed(seed=1).save(checkpoint, overwrite=True)


def test_a_stopped_runs_checkpoint_is_replaced_only_when_asked(tmp_path):
    """The checkpoint alone ties a stopped run to its CSV and data file: save keeps it, as the
    runner does without --force, unless told to replace it."""
    subprocess.run([KAMMELSIM, "profile", "--width", "50", "--seed", "1", "--steps", "4",
                    "--stats", "s.csv", "--checkpoint", "run.ck"], cwd=tmp_path, check=True,
                   capture_output=True)
    kept = (tmp_path / "run.ck").read_bytes()
    profile = kammel.Profile(width=50, seed=2)
    for path in [tmp_path / "run.ck", tmp_path / "link.ck"]:
        if path.name == "link.ck":
            path.symlink_to(tmp_path / "nowhere.ck")
        with pytest.raises(FileExistsError, match="exists already; pass overwrite=True"):
            profile.save(path)
    assert (tmp_path / "run.ck").read_bytes() == kept and not (tmp_path / "nowhere.ck").exists()
    profile.save(tmp_path / "run.ck", overwrite=True)
    assert kammel.load(tmp_path / "run.ck").params == profile.params


@pytest.fixture
def full_disk(tmp_path):
    """A folder on a file system of 64 KiB: room for one small profile's checkpoint alone."""
    folder = tmp_path / "small"
    folder.mkdir()
    plain = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}  # no sanitizer for mount
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", str(folder)],
                             capture_output=True, text=True, env=plain)
    if mounted.returncode != 0:
        pytest.skip(f"no small file system to fill (mount: {mounted.stderr.strip()})")
    yield folder
    subprocess.run(["umount", "-l", str(folder)], check=True, env=plain)


def test_a_save_or_run_on_a_full_disk_leaves_what_was_there_alone(full_disk):
    def listed():
        return sorted(os.listdir(full_disk))

    profile = kammel.Profile(width=50, seed=1)
    profile.save(full_disk / "p.ck")
    kept, held = (full_disk / "p.ck").read_bytes(), listed()
    for save in [lambda: kammel.Bed(seed=1).save(full_disk / "b.ck"),
                 lambda: profile.save(full_disk / "p.ck", overwrite=True)]:
        with pytest.raises(OSError) as raised:
            save()
        assert raised.value.errno == errno.ENOSPC
        assert listed() == held
    # The runner's new run and its resume alike: a clear line, status 1, nothing half written.
    for words, name in [(["bed", "--batches", "1", "--seed", "1", "--checkpoint", "b.ck"], "b.ck"),
                        (["resume", "p.ck", "--steps", "3"], "p.ck")]:
        done = subprocess.run([KAMMELSIM, *words], cwd=full_disk, capture_output=True, text=True)
        assert done.returncode == 1
        assert f"kammelsim: cannot write '{name}': No space left on device" in done.stderr
        assert listed() == sorted(set(held) | {".kammelsim.lock"})
    assert (full_disk / "p.ck").read_bytes() == kept


# A checkpoint's texts as the runner writes them before its numbers: each with its length in 8
# bytes, a list of them with its count first: version, command, command line, options, run id,
# history, the six outputs and the parameters.
TEXTS = ["text", "text", "text", "texts", "text", "texts"] + ["text"] * 7
OPTIONS = 3


def opened(data):
    """A checkpoint's texts, and the numbers after them (seed, done, total, ... the cells)."""
    at, texts = 8 + 4 + 8, []  # magic, format, payload length

    def text(at):
        length = int.from_bytes(data[at:at + 8], "little")
        return data[at + 8:at + 8 + length], at + 8 + length

    for kind in TEXTS:
        if kind == "text":
            value, at = text(at)
        else:
            count, at, value = int.from_bytes(data[at:at + 8], "little"), at + 8, []
            for _ in range(count):
                item, at = text(at)
                value.append(item)
        texts.append(value)
    return texts, bytearray(data[at:-4])


def sealed(data, texts, numbers):
    """The checkpoint of these texts and numbers, with its header and CRC-32."""
    def text(value):
        return len(value).to_bytes(8, "little") + value

    payload = b"".join(text(v) if isinstance(v, bytes) else
                       len(v).to_bytes(8, "little") + b"".join(map(text, v)) for v in texts)
    payload += bytes(numbers)
    body = data[:12] + len(payload).to_bytes(8, "little") + payload
    return body + zlib.crc32(body).to_bytes(4, "little")


CELLS = 4 + 8 + 8 + 4 + 4 + 8  # seed, done, total, both generators, then the cells' count


def with_option(word):
    def change(texts, numbers):
        texts[OPTIONS].append(word)
    return change


def with_cell(height):
    def change(texts, numbers):
        numbers[CELLS + 4 * 40:CELLS + 4 * 41] = height.to_bytes(4, "little", signed=True)
    return change


def with_total(total):
    def change(texts, numbers):
        numbers[12:20] = total.to_bytes(8, "little")
    return change


def with_cells(count):
    def change(texts, numbers):
        numbers[CELLS - 8:CELLS] = count.to_bytes(8, "little")
    return change


# Checkpoints whose checksums hold, refused by resume before it touches anything; load refuses
# each with resume's very reason.
CRAFTED = [
    ("sand made from nothing", with_cell(2**30), "does not fit the run it records: its array"),
    ("a height below zero", with_cell(-5), "its array holds a height below 0"),
    ("a config file", with_option(b"--config=/etc/passwd"), "which a resume does not take"),
    ("an output option", with_option(b"--stats=x.csv"), "records '--stats=x.csv', which"),
    ("a huge total", with_total(10**15 + 1), "records a total of 1000000000000001 steps, beyond"),
    ("a canvas that cannot be", with_option(b"--canvas=1x1"),
     "records options that cannot be: --canvas takes WIDTHxHEIGHT"),
    ("no snapshots", with_option(b"--every=0"), "records options that cannot be: --every"),
    ("a bed's option", with_option(b"--settings=map"), "records options that cannot be: unknown"),
    ("a width of its own", with_option(b"--width=49"), "does not fit the run it records"),
    ("more cells than it holds", with_cells(54), "is damaged"),
]


@pytest.mark.parametrize("name, change, reason", CRAFTED, ids=[c[0] for c in CRAFTED])
def test_load_refuses_what_resume_refuses_with_its_reason(tmp_path, name, change, reason):
    subprocess.run([KAMMELSIM, "profile", "--width", "50", "--seed", "1", "--steps", "6",
                    "--every", "3", "--checkpoint", "run.ck"], cwd=tmp_path, check=True,
                   capture_output=True)
    whole = (tmp_path / "run.ck").read_bytes()
    assert sealed(whole, *opened(whole)) == whole
    texts, numbers = opened(whole)
    change(texts, numbers)
    crafted = tmp_path / "crafted.ck"
    crafted.write_bytes(sealed(whole, texts, numbers))
    resumed = subprocess.run([KAMMELSIM, "resume", str(crafted), "--steps", "9"],
                             capture_output=True, text=True)
    assert resumed.returncode == 1 and reason in resumed.stderr, resumed.stderr
    with pytest.raises(ValueError) as refused:
        kammel.load(crafted)
    assert "kammelsim: resume: " + str(refused.value) + "\n" == resumed.stderr
    assert kammel.load(tmp_path / "run.ck").step == 6


def test_damaged_checkpoints_are_refused(tmp_path):
    kammel.Profile(width=50, seed=1).save(tmp_path / "p.ck")
    whole = (tmp_path / "p.ck").read_bytes()
    cases = {"cut.ck": whole[:-9], "flipped.ck": whole[:40] + bytes([whole[40] ^ 1]) + whole[41:]}
    for name, data in cases.items():
        (tmp_path / name).write_bytes(data)
        with pytest.raises(ValueError, match="is (truncated|damaged)"):
            kammel.load(tmp_path / name)


def test_heights_are_a_read_only_copy():
    bed = kammel.Bed(seed=1, length=20, width=5)
    first = bed.heights
    with pytest.raises(ValueError):
        first[0, 0] = 99
    bed.run(3)
    assert (first == 20).all() and not (bed.heights == 20).all()
    assert first.shape == (21, 6) and kammel.Profile(width=9).heights.shape == (10,)


def test_a_bed_too_large_to_copy_is_a_view_measured_in_place(tmp_path):
    # More than 2048 columns: measured where it lies, and .heights a view onto the bed's array.
    kwargs = {"settings": "open", "seed": 5, "length": 3, "width": 2100, "height": 6}
    words = ["bed", "--settings", "open", "--seed", "5", "--length", "3", "--width", "2100",
             "--height", "6"]
    expected = sim(words, tmp_path, "--batches", "2", "--every", "1", "--stats", "s.csv",
                   "--speed-lag", "every")
    bed = make(kwargs)
    view = bed.heights
    rows = [bed.statistics()]
    for _ in range(2):
        bed.run(1)
        rows.append(bed.statistics())
    np.testing.assert_array_equal(view, expected)
    for mine, theirs in zip(rows, csv_rows(tmp_path / "s.csv"), strict=True):
        same_row(mine, theirs)
    for write in (lambda: view.__setitem__((0, 0), 1), lambda: view.setflags(write=True)):
        with pytest.raises(ValueError):
            write()
    del bed, rows
    gc.collect()
    np.testing.assert_array_equal(view, expected)  # the view holds the bed


def test_a_large_beds_view_stays_on_its_array_through_change_and_recorded_runs(tmp_path):
    # What replaces the model (a change, a run with outputs taking up its checkpoint) keeps
    # the array the view lies on: the view shows the bed as it goes on, never freed memory.
    words = ["bed", "--settings", "open", "--seed", "4", "--length", "2", "--width", "2050",
             "--height", "5"]
    kwargs = {"settings": "open", "seed": 4, "length": 2, "width": 2050, "height": 5}
    bed = make(kwargs)
    view = bed.heights
    bed.run(1, checkpoint=tmp_path / "r.ck")
    bed.change(wind=7)
    bed.run(1)
    subprocess.run([KAMMELSIM, *words, "--batches", "1", "--checkpoint", "c.ck"], cwd=tmp_path,
                   check=True, capture_output=True)
    done = subprocess.run([KAMMELSIM, "resume", "c.ck", "--batches", "2", "--wind", "7"],
                          cwd=tmp_path, check=True, capture_output=True, text=True)
    expected = np.loadtxt(done.stdout.splitlines(), dtype=np.int64, ndmin=2)
    del bed
    gc.collect()
    np.testing.assert_array_equal(view, expected)


def test_a_clock_seed_is_told_and_repeats():
    bed = kammel.Bed(length=30, width=4)
    bed.run(2)
    again = kammel.Bed(length=30, width=4, seed=bed.seed)
    again.run(2)
    np.testing.assert_array_equal(bed.heights, again.heights)
    assert f"seed={bed.seed} batch=2>" in repr(bed)


def test_version_and_stub_match_the_module(tmp_path):
    # Each tells its own build's version, and one build tree may hold the two from different
    # commits: the module's is what its outputs record, of the project version kammelsim has.
    version = subprocess.run([KAMMELSIM, "--version"], capture_output=True, text=True,
                             check=True).stdout.split()[1]
    kammel.Profile(width=9).save(tmp_path / "p.ck")
    assert kammel._kammel._checkpoint(tmp_path / "p.ck")["version"] == kammel.__version__
    assert re.fullmatch(r"\d+\.\d+(-\S+)?", kammel.__version__)
    assert kammel.__version__.split("-")[0] == version.split("-")[0]
    stub = ast.parse(pathlib.Path(kammel.__file__).with_suffix(".pyi").read_text())
    names = {node.name for node in stub.body if isinstance(node, (ast.ClassDef, ast.FunctionDef))}
    assert names == {name for name in kammel.__all__ if name != "__version__"}
    for node in stub.body:
        if isinstance(node, ast.ClassDef):
            members = {item.name for item in node.body if isinstance(item, ast.FunctionDef)}
            public = {name for name in dir(getattr(kammel, node.name)) if not name.startswith("_")}
            assert members - {"__init__"} == public, node.name
            for name in public:
                assert getattr(kammel, node.name).__dict__[name].__doc__, f"{node.name}.{name}"


def _stub_section(stub, name):
    start = stub.index(f"\nclass {name}:" if name[0].isupper() else f"\ndef {name}(")
    ends = [stub.find(mark, start + 1) for mark in ("\nclass ", "\ndef ")]
    return stub[start:min([end for end in ends if end > 0], default=len(stub))]


@pytest.mark.parametrize("name", ["Bed", "Profile", "statistics"])
def test_every_option_of_the_table_is_in_the_signature_docstring_and_stub(name):
    # The runner's table of options is the one description; each entry Python takes must
    # show in what a user reads: the signature, the docstring and the type stub.
    target = getattr(kammel, name)
    calls = [target] if name == "statistics" else [target.__init__, target.run, target.picture]
    signatures = " ".join(call.__doc__.split("\n", 1)[0] for call in calls)
    bodies = " ".join([target.__doc__] + [call.__doc__.split("\n", 1)[-1] for call in calls])
    stub = _stub_section(pathlib.Path(kammel.__file__).with_name("__init__.pyi").read_text(), name)
    for entry in kammel._kammel._options[name]:
        option = entry["name"]
        assert re.search(rf"\b{option}: ", signatures), (name, option)
        assert re.search(rf"\b{option}\b", bodies), (name, option)
        assert re.search(rf"\b{option}: ", stub), (name, option)


def test_the_beds_options_are_those_of_the_widest_bed():
    bed = {entry["name"]: entry for entry in kammel._kammel._options["Bed"]}
    assert bed["schedule"]["meaning"] and bed["length"]["max"] == bed["width"]["max"] == 2097151


def _heights_text(heights):
    rows = np.atleast_2d(heights)
    return "".join(" ".join(str(h) for h in row) + "\n" for row in rows)


def _without_depth(kwargs, words):
    """The arguments of a run that starts from heights: no flat start's depth."""
    kwargs = {k: v for k, v in kwargs.items() if k not in ("height", "thickness")}
    kept = []
    for word in words:
        if kept and kept[-1] in ("--height", "--thickness"):
            kept.pop()
        else:
            kept.append(word)
    return kwargs, kept


# kammelsim's --initial text takes at most the map's 1001 rows: not the last, longer, open bed.
@pytest.mark.parametrize("kwargs, words, count", RUNS[:-1])
def test_heights_start_a_run_as_kammelsim_initial_does(kwargs, words, count, tmp_path):
    start = sim(words, tmp_path, unit(words), str(count))
    kwargs, words = _without_depth(kwargs, words)
    (tmp_path / "start.txt").write_text(_heights_text(start))
    thing = make({**kwargs, "heights": start})
    np.testing.assert_array_equal(thing.heights, start)
    thing.run(count)
    np.testing.assert_array_equal(
        thing.heights, sim(words, tmp_path, unit(words), str(count), "--initial", "start.txt"))
    # Its checkpoint holds the heights: kammelsim resumes it with no file to start from.
    thing.save(tmp_path / "saved.ck")
    again = kammel.load(tmp_path / "saved.ck")
    again.run(1)
    thing.run(1)
    np.testing.assert_array_equal(again.heights, thing.heights)
    resumed = sim(["resume", "saved.ck"], tmp_path, unit(words), str(count + 1))
    np.testing.assert_array_equal(resumed, thing.heights)


@pytest.mark.parametrize("kwargs, words, count", RUNS)
def test_a_change_of_wind_is_kammelsim_resume_with_that_wind(kwargs, words, count, tmp_path):
    thing = make(kwargs)
    thing.run(count)
    thing.change(wind=7)
    assert thing.params["wind"] == 7
    thing.run(count)
    subprocess.run([KAMMELSIM, *words, unit(words), str(count), "--checkpoint", "c.ck"],
                   cwd=tmp_path, capture_output=True, check=True)
    resumed = sim(["resume", "c.ck", "--wind", "7"], tmp_path, unit(words), str(2 * count))
    np.testing.assert_array_equal(thing.heights, resumed)
    # Saved and loaded, or resumed by kammelsim, it goes on with the new wind.
    thing.save(tmp_path / "changed.ck")
    loaded = kammel.load(tmp_path / "changed.ck")
    assert loaded.params["wind"] == 7
    np.testing.assert_array_equal(
        sim(["resume", "changed.ck"], tmp_path, unit(words), str(3 * count)),
        sim(["resume", "c.ck"], tmp_path, unit(words), str(3 * count)))


BAD_HEIGHTS = [
    pytest.param(np.zeros((4, 3)), "integers", id="floats"),
    pytest.param(np.zeros((4, 3), dtype=bool), "integers", id="bools"),
    pytest.param("1 2 3", "integers", id="text"),
    pytest.param(np.zeros((3, 3), dtype=np.int32), r"shape \(4, 3\)", id="a row short"),
    pytest.param(np.zeros(12, dtype=np.int32), r"shape \(4, 3\)", id="flat"),
    pytest.param(np.full((4, 3), -1), "below 0", id="below 0"),
    pytest.param(np.full((4, 3), 2**62), "more than", id="too much sand"),
    pytest.param(np.full((4, 3), 2**64 - 1, dtype=np.uint64), "more than", id="beyond 63 bits"),
]


@pytest.mark.parametrize("heights, message", BAD_HEIGHTS)
def test_heights_that_are_no_bed_are_refused(heights, message):
    with pytest.raises(ValueError, match=message):
        kammel.Bed(length=3, width=2, heights=heights)


def test_a_height_beyond_32_bits_is_refused_where_the_sand_allows_it():
    # 50,001 cells may hold 5 * 10^9 grains, more than one cell holds.
    heights = np.zeros(50_001, dtype=np.int64)
    heights[7] = 2**32 + 3
    with pytest.raises(ValueError, match=r"height 4294967299 at cell 7, more than a cell holds"):
        kammel.Profile(width=50_000, heights=heights)
    heights[7] = 2**31 - 1
    assert kammel.Profile(width=50_000, heights=heights).heights[7] == 2**31 - 1


def test_heights_of_a_profile_and_what_a_change_refuses():
    profile = kammel.Profile(width=3, heights=[1, 2, 3, 4], seed=2)
    np.testing.assert_array_equal(profile.heights, [1, 2, 3, 4])
    with pytest.raises(ValueError, match=r"shape \(4,\)"):
        kammel.Profile(width=3, heights=[[1, 2, 3, 4]])
    with pytest.raises(ValueError, match="thickness is for a flat start"):
        kammel.Profile(width=3, thickness=2, heights=[1, 2, 3, 4])
    with pytest.raises(ValueError, match="q takes"):
        profile.change(q=-1)
    with pytest.raises(TypeError):
        profile.change(wind="7")
    assert profile.params["wind"] == 5.0 and profile.params["q"] == 1
