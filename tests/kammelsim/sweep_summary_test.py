"""The sweep's summary, time series and fits over a hand-made sweep folder whose rows are known,
and the fits on synthetic data with a known slope and exponent."""
import csv
import importlib.machinery
import importlib.util
import json
import math
import pathlib
import subprocess
import sys

import numpy as np
import pytest

SCRIPTS = pathlib.Path(__file__).resolve().parents[2] / "scripts"
HEADER = ["batch", "wavelength_centroid", "crest_spacing", "rms", "mean_jump", "speed",
          "speed_correlation"]
UNITS = "batches,cells,cells,grains,cells,cells per batch,1"


def load_plot_sweep():
    loader = importlib.machinery.SourceFileLoader("plot_sweep", str(SCRIPTS / "plot-sweep"))
    found = importlib.util.spec_from_loader("plot_sweep", loader)
    module = importlib.util.module_from_spec(found)
    loader.exec_module(module)
    return module


def stats_text(wind, seed, rows, total):
    head = [f"# Seed: {seed}",
            f"# Parameters: settings=map length=300 b=2 wind={wind} batches={total} every=2",
            "# Software: kammelsim test",
            f"# History: kammelsim bed (0 to {total} batches)",
            f"# Units: {UNITS}", ",".join(HEADER)]
    return "\n".join(head + [",".join(map(repr, r)) for r in rows]) + "\n"


def run_rows(wind, seed, total=10):
    """Snapshots every 2 batches: wavelength = batch + wind + 2 (seed - 1), so each run's window
    mean is known; speed = seed, its correlation 0.9 at even batches of 4 and 0.2 between."""
    return [[float(t), t + wind + 2.0 * (seed - 1), 2.0 * wind, 1.0, 3.0 * wind,
             math.nan if t == 0 else float(seed), math.nan if t == 0 else (0.9 if t % 4 == 0 else 0.2)]
            for t in range(0, total + 1, 2)]


@pytest.fixture
def sweep(tmp_path):
    """Winds 1 and 3, seeds 1..3: wind 1 complete; wind 3 seed 3 stopped at batch 6."""
    grid = {"format": 1, "model": "bed", "seeds": ["1", "2", "3"], "axes": [["wind", ["1", "3"]]],
            "total": "10", "options": {"--every": "2", "--settings": "map"}, "paths": {}}
    (tmp_path / "sweep.json").write_text(json.dumps(grid))
    plan, jobs = ["folder,wind,seed"], []
    for wind in (1, 3):
        for seed in (1, 2, 3):
            folder = tmp_path / f"wind{wind}_seed{seed}"
            folder.mkdir()
            rows = run_rows(wind, seed)
            if (wind, seed) == (3, 3):
                rows = rows[:4]
            else:
                (folder / "heights.txt").write_text("0\n")
            (folder / "stats.csv").write_text(stats_text(wind, seed, rows, 10))
            plan.append(f"{folder.name},{wind},{seed}")
            jobs.append(f"true {folder.name}")
    (tmp_path / "plan.csv").write_text("\n".join(plan) + "\n")
    (tmp_path / "jobs.txt").write_text("\n".join(jobs) + "\n")
    return tmp_path


def summarise(out, *options):
    done = subprocess.run([sys.executable, SCRIPTS / "sweep-summary.py", *options, out],
                          capture_output=True, text=True)
    return done.returncode, done.stderr


def table(path):
    lines = path.read_text().splitlines()
    return ([l for l in lines if l.startswith("#")],
            list(csv.DictReader(l for l in lines if not l.startswith("#"))))


# window, min-correlation -> wind 1's wavelength mean and error, speed, snapshots used, median
CASES = [
    # batches 6, 8, 10: wavelength 9 + 2 (seed - 1) per run; speed used at 8 alone per run
    ("0.5", "0.5", 11.0, 2 / math.sqrt(3), math.nan, 3, 0.2),
    # batches 0..10: means 6, 8, 10; at 0.2 every snapshot with a speed counts: 1, 2, 3
    ("1", "0.2", 8.0, 2 / math.sqrt(3), 2.0, 15, 0.2),
    # batch 10 alone: the last snapshot
    ("0", "0.1", 13.0, 2 / math.sqrt(3), 2.0, 3, 0.2),
    # batches 8 and 10: used at 8 of them, half the window: enough
    ("0.2", "0.5", 11.0 + 1, 2 / math.sqrt(3), 2.0, 3, 0.55),
]


@pytest.mark.parametrize("window, least, wavelength, error, speed, used, median", CASES)
def test_summary_over_a_late_window(sweep, window, least, wavelength, error, speed, used, median):
    status, err = summarise(sweep, "--window", window, "--min-correlation", least)
    assert status == 1  # one run is not complete
    assert f"{sweep}/wind3_seed3: stopped at 6 of 10 batches" in err
    notes, rows = table(sweep / "summary.csv")
    one, three = rows
    assert (one["wind"], one["complete"], one["stopped"], one["missing"], one["damaged"]) == \
        ("1", "3", "0", "0", "0")
    assert (three["complete"], three["stopped"]) == ("2", "1")
    assert float(one["wavelength_centroid_mean"]) == pytest.approx(wavelength)
    assert float(one["wavelength_centroid_stderr"]) == pytest.approx(error)
    assert float(one["mean_jump_mean"]) == 3.0 and float(three["mean_jump_mean"]) == 9.0
    assert float(one["last_wavelength_centroid_mean"]) == pytest.approx(13.0)
    assert int(one["speed_snapshots"]) == used
    assert float(one["speed_correlation_median"]) == pytest.approx(median)
    if math.isnan(speed):
        assert one["speed_mean"] == "nan" and one["speed_stderr"] == "nan"
        assert "wind=1: speed is nan: 3 of 9 snapshots in the window reach --min-correlation 0.5" in err
    else:
        assert float(one["speed_mean"]) == pytest.approx(speed)
        assert float(one["speed_stderr"]) == pytest.approx(1 / math.sqrt(3))
        assert "speed is nan" not in err
    assert "# Sweep: bed --wind 1,3 --seeds 1,2,3 --batches 10 --every 2 --settings map" in notes
    # wind is swept and the seed is each run's: neither is a fixed parameter
    assert "# Parameters: settings=map length=300 b=2 batches=10 every=2" in notes
    assert any(n.startswith(f"# Summary: window={float(window)} min_correlation={float(least)}")
               for n in notes)


def test_timeseries_over_the_complete_seeds(sweep):
    summarise(sweep)
    _, rows = table(sweep / "timeseries.csv")
    assert [(r["wind"], r["batch"]) for r in rows] == \
        [("1", str(t)) for t in range(0, 11, 2)] + [("3", str(t)) for t in range(0, 11, 2)]
    at = {(r["wind"], r["batch"]): r for r in rows}
    # wind 3 at batch 4: its two complete seeds only, the stopped one left out
    four = at[("3", "4")]
    assert (four["runs"], four["wavelength_centroid_count"]) == ("2", "2")
    assert float(four["wavelength_centroid_mean"]) == pytest.approx(4 + 3 + 1)
    assert float(four["wavelength_centroid_stderr"]) == pytest.approx(1.0)
    # speed where its correlation reaches 0.5 only: at batch 4, not at 6; none at batch 0
    assert float(four["speed_mean"]) == pytest.approx(1.5) and four["speed_count"] == "2"
    assert at[("3", "6")]["speed_count"] == "0" and at[("3", "6")]["speed_mean"] == "nan"
    assert at[("1", "0")]["speed_count"] == "0" and at[("1", "0")]["rms_count"] == "3"


def test_bad_options_and_no_sweep(sweep, tmp_path_factory):
    for option in (["--window", "1.5"], ["--window", "x"], ["--min-correlation", "-2"], ["--window"]):
        status, err = summarise(sweep, *option)
        assert status == 2 and "sweep-summary:" in err, option
    status, err = summarise(tmp_path_factory.mktemp("empty"))
    assert status == 2 and "holds no readable plan" in err


def test_linear_fit_against_an_independent_least_squares():
    fit = load_plot_sweep().linear_fit
    x = np.array([1.0, 2, 3, 5, 8])
    y = 0.5 + 2.0 * x + np.array([0.3, -0.2, 0.1, -0.4, 0.2])
    slope, slope_error, intercept, intercept_error, r2, n = fit(x, y)
    (b, a), cov = np.polyfit(x, y, 1, cov=True)
    assert (slope, intercept) == pytest.approx((b, a))
    assert (slope_error, intercept_error) == pytest.approx(np.sqrt(np.diag(cov)))
    assert r2 == pytest.approx(np.corrcoef(x, y)[0, 1] ** 2) and n == 5
    # nan stays out; two points give a line without errors; equal x give none
    assert fit([1, 2, math.nan, 3], [2, 4, 9, 6])[:2] == pytest.approx((2.0, 0.0))
    assert math.isnan(fit([1, 2], [1, 3])[1]) and fit([1, 2], [1, 3])[0] == 2.0
    assert math.isnan(fit([2, 2, 2], [1, 2, 3])[0])


def test_power_fit_finds_the_exponent():
    fit = load_plot_sweep().power_fit
    t = np.array([0, 10, 20, 40, 80, 160.0])
    exponent, error, log_prefactor, _, r2, n = fit(t, 3.0 * t ** 0.25)
    assert exponent == pytest.approx(0.25) and error == pytest.approx(0, abs=1e-12)
    assert math.exp(log_prefactor) == pytest.approx(3.0) and r2 == pytest.approx(1.0)
    assert n == 5  # t = 0 has no logarithm


def test_plot_sweep_draws_and_fits(sweep):
    """Wavelength = batch + wind + 2 (seed - 1): its window mean grows with wind by exactly 1."""
    (sweep / "wind3_seed3" / "heights.txt").write_text("0\n")
    (sweep / "wind3_seed3" / "stats.csv").write_text(stats_text(3, 3, run_rows(3, 3), 10))
    assert summarise(sweep)[0] == 0
    done = subprocess.run([SCRIPTS / "plot-sweep", sweep], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    _, fits = table(sweep / "fits.csv")
    line = next(f for f in fits if (f["fit"], f["y"], f["x"]) == ("linear", "wavelength_centroid", "wind"))
    assert float(line["slope"]) == pytest.approx(1.0) and line["points"] == "2"
    power = [f for f in fits if f["fit"] == "power"]
    assert [f["wind"] for f in power] == ["1", "3"] and power[0]["points"] == "3"
    for name in ("wavelength_centroid-wind.png", "wind.png", "wavelength-time.png"):
        assert (sweep / "plots" / name).read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def load_sweep_plan():
    loader = importlib.machinery.SourceFileLoader("sweep_plan", str(SCRIPTS / "sweep-plan.py"))
    found = importlib.util.spec_from_loader("sweep_plan", loader)
    module = importlib.util.module_from_spec(found)
    loader.exec_module(module)
    return module


@pytest.mark.parametrize("options, total, warned", [
    ({"--every": "10"}, "25", True),
    ({"--every": "5"}, "25", False),
    ({"--every": "5", "--stats-every": "10"}, "25", True),  # the statistics' own schedule counts
    ({"--every": "10", "--stats-every": "5"}, "25", False),
    ({"--every": "log:10"}, "25", False),  # 10^(14/10) rounds to 25
    ({"--every": "log:10"}, "24", True),
])
def test_a_longer_total_warns_where_the_end_is_off_the_statistics_schedule(options, total, warned):
    old = {"options": options, "total": total}
    warning = load_sweep_plan().end_kept(old, {"total": "50"})
    assert (warning is not None) == warned, warning
