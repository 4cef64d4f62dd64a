"""Signals that reach kammelsim before its run loop: held back by whoever started it, they arrive
as the run begins; the run stops with a checkpoint and goes on to what a whole run gives."""
import os
import signal
import subprocess

import pytest

KAMMELSIM = os.environ["KAMMELSIM"]
RUN = ["profile", "--width", "300", "--steps", "40", "--every", "10", "--seed", "3"]
OUTPUTS = ["--stats", "s.csv", "--netcdf", "d.nc", "--checkpoint", "run.ck"]


def data_rows(path):
    with open(path) as f:
        return [line for line in f if not line.startswith("#")]


def started_with(held, ignored, folder):
    """Runs kammelsim with the signals `held` blocked and already sent, `ignored` ignored."""

    def before_exec():
        for s in ignored:
            signal.signal(s, signal.SIG_IGN)
        signal.pthread_sigmask(signal.SIG_BLOCK, set(held))
        for s in held:
            os.kill(os.getpid(), s)

    return subprocess.run([KAMMELSIM, *RUN, *OUTPUTS], cwd=folder, preexec_fn=before_exec,
                          capture_output=True, text=True, timeout=120)


@pytest.mark.parametrize(
    "held, ignored, status",
    [
        ([signal.SIGTERM], [], 143),
        ([signal.SIGINT], [], 130),
        ([signal.SIGHUP], [], 129),
        # Under nohup a hangup is not the user's stop: the next signal is.
        ([signal.SIGHUP, signal.SIGTERM], [signal.SIGHUP], 143),
    ],
)
def test_a_signal_before_the_loop_stops_the_run_to_go_on(tmp_path, held, ignored, status):
    whole = tmp_path / "whole"
    whole.mkdir()
    heights = subprocess.run([KAMMELSIM, *RUN, *OUTPUTS], cwd=whole, check=True,
                             capture_output=True, text=True).stdout
    stopped = tmp_path / "stopped"
    stopped.mkdir()
    ran = started_with(held, ignored, stopped)
    assert ran.returncode == status, ran.stderr
    assert "stopped after 0 of 40 steps; continue with" in ran.stderr
    assert len(data_rows(stopped / "s.csv")) == 2  # the header row and step 0
    resumed = subprocess.run([KAMMELSIM, "resume", "run.ck"], cwd=stopped, capture_output=True,
                             text=True, timeout=120)
    assert resumed.returncode == 0, resumed.stderr
    assert resumed.stdout == heights
    assert data_rows(stopped / "s.csv") == data_rows(whole / "s.csv")
