"""Shared fixtures: short synthetic movies analysed by the real program.

The build directory holding `dukon` and `tools/synth/dukon-synth` comes from
DUKON_BUILD_DIR (scripts/pytests sets it), default build/ of the repository.
"""

import os
import subprocess
from pathlib import Path

import pytest

PYTHON_DIR = Path(__file__).resolve().parents[1]
REPO = PYTHON_DIR.parent


@pytest.fixture(scope="session")
def binaries():
    build = Path(os.environ.get("DUKON_BUILD_DIR", REPO / "build"))
    dukon, synth = build / "dukon", build / "tools" / "synth" / "dukon-synth"
    missing = [str(p) for p in (dukon, synth) if not os.access(p, os.X_OK)]
    if missing:
        pytest.fail(f"not built: {', '.join(missing)} (set DUKON_BUILD_DIR)")
    return dukon, synth


def render(synth, scenario, folder, seconds, name=None, seed=1):
    """Renders a synthetic movie into `folder`; returns the folder."""
    cmd = [str(synth), "--scenario", scenario, "--out", str(folder), "--seconds", str(seconds),
           "--seed", str(seed)]
    if name:
        cmd += ["--name", name]
    subprocess.run(cmd, check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    return Path(folder)


def analyse(dukon, moviedir, outdir, extra=""):
    """Runs the analyser on the movie rendered in `moviedir`, with outdir
    set and `extra` parameter lines appended; returns the run's folder."""
    params = moviedir / "params.txt"
    params.write_text(params.read_text() + f"outdir = {outdir}\n{extra}")
    proc = subprocess.run([str(dukon)], cwd=moviedir, stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=300)
    assert proc.returncode == 0, proc.stderr[-2000:]
    name = next(line.split("=", 1)[1].strip() for line in params.read_text().splitlines()
                if line.startswith("moviename"))
    return Path(outdir) / name


@pytest.fixture(scope="session")
def coil_run(binaries, tmp_path_factory):
    """A coiling worm with backward bouts: loop rows, reversals, decile form."""
    dukon, synth = binaries
    base = tmp_path_factory.mktemp("coil")
    movie = render(synth, "coil", base / "movie", 8)
    return analyse(dukon, movie, base / "out")


@pytest.fixture(scope="session")
def eggs_run(binaries, tmp_path_factory):
    """Eggs laid, three ignored frames, box-plot form with empty class rows,
    turning angles over 2 s."""
    dukon, synth = binaries
    base = tmp_path_factory.mktemp("eggs")
    movie = render(synth, "eggs", base / "movie", 8)
    return analyse(dukon, movie, base / "out",
                   "ignorefrm = 30-32\ndistbox = 1\nemptyrows = 1\nanglen = 2\n")


@pytest.fixture(scope="session", params=["coil", "eggs"])
def any_run(request):
    """Each of the analysed runs in turn."""
    return request.getfixturevalue(f"{request.param}_run")
