"""NAME-frames.csv: the per-frame table at full precision, against the
generator's truth, against the two-digit shape table it must agree with,
and its reader's complaints; run.frames from older folders without it."""

import math
import shutil

import numpy as np
import pandas as pd
import pytest

from conftest import analyse, render
from dukon_results import ResultFileError, load_run, read_frames_csv, read_wxd
from dukon_results.frames import FRAMES_COLUMNS

SECONDS = 20  # 600 frames at 30 fps
# Significant digits of the shape table's columns (two unless listed).
WXD_DIGITS = {"Navgamp": 4, "NmaxampL": 4, "NmaxampR": 4, "Nwavelen": 3, "freq": 3}


@pytest.fixture(scope="module")
def forward(binaries, tmp_path_factory):
    """A 600-frame forward crawl: (its run folder, the generator's truth)."""
    dukon, synth = binaries
    base = tmp_path_factory.mktemp("forward")
    movie = render(synth, "forward", base / "movie", SECONDS)
    truth = pd.read_csv(movie / "forward.truth.csv").set_index("frame")
    return analyse(dukon, movie, base / "out"), truth


def test_lengths_take_hundreds_of_values(forward):
    run = load_run(forward[0])
    frames, coarse = run.frames, read_wxd(run.path("wxd.txt"))
    assert frames.attrs["source"] == "frames.csv" and len(frames) == SECONDS * 30
    assert frames["len"].nunique() > 300
    assert coarse["len"].nunique() < 10
    # The centre of mass is sub-pixel, not the table's whole pixels.
    assert (frames["cmass_x"].dropna() % 1 != 0).mean() > 0.9


def test_centre_of_mass_speed_follows_the_truth(forward):
    folder, truth = forward
    frames = load_run(folder).frames.set_index("frame")
    # The truth's own centre of mass over the same window as cmass_speed.
    half = 8  # frames each way: a quarter second at 30 fps
    x, y = truth["cmass_x"] / 280, truth["cmass_y"] / 280
    true = np.hypot(x.shift(-half) - x.shift(half),
                    y.shift(-half) - y.shift(half)) / (2 * half / 30)
    ratio = (frames["cmass_speed"] / true).dropna()
    assert len(ratio) > 200
    assert abs(ratio.median() - 1) < 0.05
    assert (ratio - 1).abs().median() < 0.05


def _half_unit(value, digits):
    """Half a unit of the last digit printed with `digits` digits."""
    if value == 0 or math.isnan(value):
        return 0.0
    return 0.5 * 10 ** (math.floor(math.log10(abs(value))) - digits + 1) * (1 + 1e-9)


def test_every_value_is_the_shape_tables_value_unrounded(any_run):
    run = load_run(any_run)
    fine, coarse = run.frames, read_wxd(run.path("wxd.txt"))
    assert list(fine["frame"]) == list(coarse["frame"])
    for flag in ("ok", "ignored", "loop", "reversal", "label"):
        assert (fine[flag] == coarse[flag]).all(), flag
    assert fine["movement"].astype(object).fillna("").tolist() == \
        coarse["movement"].astype(object).fillna("").tolist()
    ok = fine["ok"].to_numpy()
    f, c = fine[ok], coarse[ok]
    points = ["head_x", "head_y", "mid_x", "mid_y", "tail_x", "tail_y", "numsklpts", "cutpnums"]
    pd.testing.assert_frame_equal(f[points], c[points], check_dtype=False)
    # The table's centre of mass is the mean index plus one, truncated.
    for axis in ("cmass_x", "cmass_y"):
        gap = f[axis] - (c[axis] - 1)
        assert ((gap >= 0) & (gap < 1)).all(), axis
    for column in ("len", "thickness", "area", "avgamp", "ampsym", "maxampL", "maxampR",
                   "Navgamp", "NmaxampL", "NmaxampR", "avgangle", "anglesym", "maxangL",
                   "maxangR", "wavelen", "Nwavelen", "freq", "straightfs", "sinusfs", "disp"):
        digits = WXD_DIGITS.get(column, 2)
        for a, b in zip(f[column], c[column]):
            assert math.isnan(a) == math.isnan(b), column
            assert math.isnan(a) or abs(a - b) <= _half_unit(b, digits) + 1e-9, (column, a, b)


def test_older_folders_fall_back_to_the_shape_table(coil_run, tmp_path):
    folder = tmp_path / "coil"
    shutil.copytree(coil_run, folder)
    (folder / "coil-frames.csv").unlink()
    old, new = load_run(folder).frames, load_run(coil_run).frames
    assert old.attrs["source"] == "wxd.txt"
    assert list(old.columns) == list(new.columns)
    assert old["located"].isna().all() and old["cmass_speed"].notna().any()


GOOD = "# units: " + ",".join(["x"] * len(FRAMES_COLUMNS)) + "\n" + ",".join(FRAMES_COLUMNS) + "\n"
ROW = "1,0.1,consistent,1,forward,0" + ",1" * (len(FRAMES_COLUMNS) - 6) + "\n"


@pytest.mark.parametrize("text,where,message", [
    ("frame,time\n", 1, "expected the units line"),
    (GOOD.replace(",state,", ",status,"), 2, "unexpected table header"),
    (GOOD + ROW.replace("consistent", "fine"), 3, "state: expected one of"),
    (GOOD + ROW.replace(",forward,", ",sideways,"), 3, "movement: unknown class 'sideways'"),
    (GOOD + ROW.replace(",1,forward,0", ",1,forward,2"), 3, "reversal: expected 0 or 1"),
    (GOOD + ROW[:-3] + "\n", 3, f"expected {len(FRAMES_COLUMNS)} comma-separated fields"),
    (GOOD + ROW.replace(",1\n", ",x\n"), 3, "disp: expected a number"),
    (GOOD + ROW[:-1], 3, "no line end"),
])
def test_a_damaged_table_is_named_with_its_line(tmp_path, text, where, message):
    path = tmp_path / "w-frames.csv"
    path.write_text(text)
    with pytest.raises(ResultFileError) as e:
        read_frames_csv(path)
    assert e.value.line == where and message in str(e.value), str(e.value)
    # The same table undamaged reads.
    path.write_text(GOOD + ROW)
    assert read_frames_csv(path).loc[0, "len"] == 1.0
