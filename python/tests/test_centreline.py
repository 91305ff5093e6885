"""The reader of centreline.csv on a real run, and its complaints."""

import re
import shutil

import numpy as np
import pytest

from dukon_results import load_run
from dukon_results.centreline import N_POINTS, iter_centrelines, read_centrelines
from dukon_results.errors import ResultFileError
from dukon_results.tables import read_wxd


def test_one_row_per_analysed_frame_with_its_source(coil_run):
    run = load_run(coil_run)
    table = read_centrelines(run.path("centreline.csv"))
    frames = read_wxd(run.path("wxd.txt"))
    assert table["frame"].tolist() == frames.loc[~frames["ignored"], "frame"].tolist()
    assert set(table["source"]) <= {"chain", "fitted", "none"}
    assert ((table["source"] == "chain").to_numpy() == frames["ok"].to_numpy()).all()
    points = table[[f"x{k}" for k in range(N_POINTS)]]
    assert (points.notna().all(axis=1) == (table["source"] != "none")).all()
    assert table.loc[table["source"] == "chain", "fit_error"].isna().all()
    assert (table.loc[table["source"] == "fitted", "fit_error"] >= 0).all()
    # Point 0 of a chain is the table's head, in world pixels.
    chain = table["source"] == "chain"
    assert np.array_equal(table.loc[chain, "x0"].to_numpy(),
                          frames.loc[frames["ok"], "head_x"].to_numpy(dtype=float))
    assert table.attrs["units"]["x0"] == "px"


@pytest.mark.parametrize("damage,message", [
    (lambda t: t.replace("frame,source", "frame,kind", 1), r":1: not a centreline file"),
    (lambda t: re.sub(r"\n(\d+),chain,", r"\n\1,guess,", t, count=1), r":2: unknown source"),
    (lambda t: re.sub(r"\n(\d+),chain,,[^,]*,", r"\n\1,chain,,x,", t, count=1),
     r":2: a point is not a number"),
    (lambda t: t[:-1], r":\d+: last line has no line end"),
    (lambda t: t + "7,none\n", r":\d+: expected 103 columns, found 2"),
])
def test_a_damaged_file_is_named_by_line(coil_run, tmp_path, damage, message):
    path = tmp_path / "coil-centreline.csv"
    shutil.copy(load_run(coil_run).path("centreline.csv"), path)
    path.write_text(damage(path.read_text()))
    with pytest.raises(ResultFileError, match=re.escape(str(path)) + message):
        list(iter_centrelines(path))
