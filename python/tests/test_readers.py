"""The readers on real outputs: every file is checked against the others
that carry the same facts, so a column read into the wrong place shows."""

import math
import re
import shutil
import subprocess

import numpy as np
import pandas as pd
import pytest

from conftest import render
from dukon_results import (FEATURES, MOVEMENTS, ResultFileError, load_run, read_params_copy,
                           read_skeletons, read_wxd)
from dukon_results.skel import EarlierRunsSkipped


def test_run_summary_counts_match_the_frame_table(any_run):
    run = load_run(any_run)
    s, frames = run.summary, run.frames
    assert s["real_frames"] == len(frames) == len(run.short_frames)
    assert s["consistent_frames"] == frames["ok"].sum()
    assert s["ignored_frames"] == frames["ignored"].sum()
    assert s["total_frames"] >= s["real_frames"] >= s["good_frames"] >= s["consistent_frames"]
    for kind in ("good", "consistent"):
        share = 100 * s[f"{kind}_frames"] / s["real_frames"]
        assert s[f"{kind}_percent"] == pytest.approx(share, rel=0.06)  # two digits


def test_short_and_full_tables_agree_column_by_column(any_run):
    run = load_run(any_run)
    short, full = run.short_frames, read_wxd(run.path("wxd.txt"))
    assert list(short["frame"]) == list(full["frame"])
    shared = [c for c in short.columns if c in full.columns and c != "label"]
    pd.testing.assert_frame_equal(short[shared], full[shared], check_dtype=False)
    consistent = full[full["ok"]]
    assert len(consistent) > 0
    assert consistent[["head_x", "mid_y", "numsklpts", "avgangle", "sinusfs"]].notna().all().all()
    others = full[~full["ok"]]
    assert others[["head_x", "len", "freq"]].isna().all().all()


def test_world_points_are_chain_points_shifted_by_one_stage_location(any_run):
    run = load_run(any_run)
    chains = {f: g for f, g in run.skeletons.groupby("frame")}
    consistent = run.frames[run.frames["ok"]]
    for _, row in consistent.iterrows():
        chain = chains[row["frame"]]
        n = len(chain)
        assert n == row["numsklpts"]
        head, tail = chain.iloc[0], chain.iloc[-1]
        shift = (row["head_x"] - head["x"], row["head_y"] - head["y"])
        assert (row["tail_x"] - tail["x"], row["tail_y"] - tail["y"]) == shift, row["frame"]
        # The mid point is taken before the chain is turned head first, so it
        # is the middle point counted from either end.
        mids = {(chain.iloc[k]["x"] + shift[0], chain.iloc[k]["y"] + shift[1])
                for k in (n // 2, n - 1 - n // 2)}
        assert (row["mid_x"], row["mid_y"]) in mids, row["frame"]


def test_centre_of_mass_lies_on_the_body(any_run):
    frames = load_run(any_run).frames
    ok = frames[frames["ok"]]
    gap = np.hypot(ok["cmass_x"] - ok["mid_x"], ok["cmass_y"] - ok["mid_y"])
    assert (gap < ok["len"] / 3).mean() > 0.9


def _signed_speed(frames, k, i, mmpix, fps):
    """Speed of the mid point from frame k to frame i, negative when it moved
    away from where the head was in frame k."""
    a, b = frames.loc[k], frames.loc[i]
    v = math.hypot(b["mid_x"] - a["mid_x"], b["mid_y"] - a["mid_y"]) / mmpix * fps / (i - k)
    if math.hypot(a["mid_x"] - a["head_x"], a["mid_y"] - a["head_y"]) < \
            math.hypot(b["mid_x"] - a["head_x"], b["mid_y"] - a["head_y"]):
        v = -v
    return v


def test_speed_table_agrees_with_mid_and_head_points(any_run):
    run = load_run(any_run)
    frames = run.frames.set_index("frame")
    mmpix, fps = run.params["mmpix"], run.fps
    spd = run.speeds
    seg = spd.attrs["segment_frames"]
    assert len(spd) > 0 and seg == int(fps * spd.attrs["segment_seconds"])
    assert frames.loc[spd["frame"], "ok"].all()
    pd.testing.assert_series_equal(
        spd["movement"].reset_index(drop=True),
        frames.loc[spd["frame"], "movement"].reset_index(drop=True), check_names=False)
    signs = set()
    for column, back in (("speed_frame", 1), ("speed_segment", seg)):
        measured = spd.dropna(subset=[column])
        assert len(measured) > 10
        for _, r in measured.iterrows():
            expected = _signed_speed(frames, r["frame"] - back, r["frame"], mmpix, fps)
            assert r[column] == pytest.approx(expected, rel=0.006, abs=1e-3), (column, r["frame"])
            signs.add(np.sign(r[column]))
    assert {-1, 1} <= signs


def test_displacements_are_the_disp_column_of_the_frame_table(any_run):
    run = load_run(any_run)
    dsp = run.displacements.dropna()
    assert len(dsp) > 0
    frames = run.frames.set_index("frame")
    np.testing.assert_allclose(frames.loc[dsp["frame"], "disp"], dsp["disp"], rtol=0.05)
    assert frames["disp"].notna().sum() == len(dsp)


def _heading(dx, dy):
    return math.degrees(math.atan2(dy, dx)) % 360


def test_turning_angles_follow_the_path(eggs_run):
    run = load_run(eggs_run)
    ang = run.turning_angles.dropna()
    step = int(run.fps * run.params["anglen"])
    frames = run.frames.set_index("frame")
    checked = 0
    for _, r in ang.iterrows():
        e, i, f = r["frame"] - step, r["frame"], r["frame"] + step
        if not all(k in frames.index and frames.loc[k, "ok"] for k in (e, f)):
            continue  # the ends were moved to the nearest usable frames
        p = {k: (frames.loc[k, "mid_x"], frames.loc[k, "mid_y"]) for k in (e, i, f)}
        t = _heading(p[f][0] - p[i][0], p[f][1] - p[i][1]) - \
            _heading(p[i][0] - p[e][0], p[i][1] - p[e][1])
        t = t - 360 if t > 180 else (t + 360 if t < -180 else t)
        assert r["angle"] == pytest.approx(t, abs=0.05), r["frame"]
        checked += 1
    assert checked >= 2


def test_segments_label_their_frames(any_run):
    run = load_run(any_run)
    frames = run.frames.set_index("frame")
    segs = run.segments
    assert len(segs) > 0
    for _, s in segs.iterrows():
        inside = frames.loc[s["start_frame"]:s["end_frame"] - 1]
        inside = inside[~inside["ignored"]]  # an ignored row carries no label
        if s["loop"]:
            continue  # loop frames are labelled by their own flag
        assert (inside["movement"] == s["movement"]).all(), s.to_dict()
        if s["start_frame"] in frames.index:
            assert frames.loc[s["start_frame"], "reversal"] == s["reversal"]
    assert frames["reversal"].sum() == segs["reversal"].sum()


def test_behaviour_summary_adds_up_over_the_segments(any_run):
    run = load_run(any_run)
    b, segs = run.behaviour, run.segments
    assert b["segments_after"] == len(segs) <= b["segments_before"]
    for kind in ("reversal", "pause", "omega", "loop"):
        assert b[f"{kind}_count"] == segs[kind].sum()
    moving = segs[~segs["pause"] & ~segs["omega"] & ~segs["loop"]]
    total = segs["frames"].sum()
    fwd = moving.loc[moving["direction"] == 1, "frames"].sum()
    assert b["forward_time_percent"] == pytest.approx(100 * fwd / total, rel=0.01)
    assert b["accumulated_distance"] == pytest.approx(moving["distance"].sum(), rel=0.01)
    minutes = (segs["end_frame"].iloc[-1] - segs["start_frame"].iloc[0]) / run.fps / 60
    assert b["reversal_rate"] == pytest.approx(b["reversal_count"] / minutes, rel=0.01)
    assert 0 <= b["roam_ratio"] <= 1


def test_coil_run_has_loop_rows_and_reversals(coil_run):
    run = load_run(coil_run)
    loops = run.frames[run.frames["loop"]]
    assert len(loops) > 0 and not loops["ok"].any()
    assert (loops["movement"] == "loop").all()
    assert run.frames["reversal"].any() and run.segments["loop"].any()


def test_feature_statistics_describe_the_consistent_frames(any_run):
    run = load_run(any_run)
    stats, frames = run.features, run.frames[run.frames["ok"]]
    assert list(dict.fromkeys(stats["feature"])) == list(FEATURES)
    quantiles = [c for c in stats.columns if c.startswith("q")]
    for _, row in stats.dropna(subset=["mean"]).iterrows():
        ordered = row[["min", *quantiles, "max"]].dropna().to_numpy(dtype=float)
        assert (np.diff(ordered) >= 0).all(), row.to_dict()
    # Features whose table columns carry 3 or more digits must match closely.
    for name in ("Navgamp", "Nwavelen", "straightfs", "numsklpts"):
        for cls in ("forward", "backward", "all"):
            values = frames[name] if cls == "all" else frames.loc[frames["movement"] == cls, name]
            values = values.dropna()
            row = stats[(stats["feature"] == name) & (stats["movement"] == cls)]
            if not len(values):
                continue
            assert len(row) == 1
            row = row.iloc[0]
            assert row["mean"] == pytest.approx(values.mean(), rel=0.02), (name, cls)
            assert row["min"] == pytest.approx(values.min(), rel=0.02), (name, cls)
            assert row["max"] == pytest.approx(values.max(), rel=0.02), (name, cls)


def test_box_form_and_empty_class_rows(eggs_run, coil_run):
    box = load_run(eggs_run).features
    assert set(box["form"].dropna()) == {"boxplot"}
    listed = box.dropna(subset=["mean"])
    assert listed[["q05", "q25", "q50", "q75", "q95"]].notna().all().all()
    assert listed[["q10", "q90"]].isna().all().all()
    # With empty rows on, every class is listed for every feature.
    assert len(box) == 5 * len(FEATURES)
    assert box.loc[box["movement"] == "pause", "mean"].isna().all()
    deciles = load_run(coil_run).features
    assert set(deciles["form"].dropna()) == {"dist"}
    assert deciles[["q10", "q90"]].notna().all().all()
    assert len(deciles) < 5 * len(FEATURES)


def test_ignored_frames_and_parameters_copy(eggs_run):
    run = load_run(eggs_run)
    ignored = run.frames[run.frames["ignored"]]
    assert list(ignored["frame"]) == [30, 31, 32]
    assert ignored["movement"].isna().all() and not ignored["ok"].any()
    p = read_params_copy(run.path("params.txt"))
    assert p["ignorefrm"] == [30, 31, 32]
    assert (p["moviename"], p["mmpix"], p["track"], p["distbox"]) == ("eggs", 280, "stage", 1)
    assert p["lframe"] == run.frames["frame"].max()


def test_eggs_table(eggs_run, coil_run):
    run = load_run(eggs_run)
    eggs = run.eggs
    assert len(eggs) >= 1
    assert (eggs["verified"] >= eggs["frame"]).all()
    # The time stamp is the laying frame's movie time.
    frame_ms = 1000 / run.fps
    assert ((eggs["ts"] - eggs["frame"] * frame_ms).abs() <= frame_ms * 1.01 + 0.001 *
            eggs["ts"]).all()
    path = run.frames[run.frames["ok"]]
    for _, e in eggs.iterrows():  # laid beside the body, within a body length of its middle
        near = path[(path["frame"] - e["frame"]).abs() <= 2]
        assert (np.hypot(near["mid_x"] - e["x"], near["mid_y"] - e["y"]) < near["len"]).any()
    assert load_run(coil_run).eggs is None


def test_skeleton_file_keeps_every_run(tmp_path, coil_run):
    src = load_run(coil_run).path("skel.csv")
    one = read_skeletons(src)
    both = tmp_path / "skel.csv"
    both.write_text(src.read_text() * 2)  # what a second run of the same movie leaves
    every = read_skeletons(both, last_run_only=False)
    assert list(every["run"].unique()) == [0, 1]
    assert len(every) == 2 * len(one)
    entries = load_run(coil_run).summary["real_frames"]  # one per analysed frame
    with pytest.warns(EarlierRunsSkipped, match=f"skipped {entries} entries of earlier runs"):
        latest = read_skeletons(both)
    pd.testing.assert_frame_equal(latest.drop(columns="run"), one.drop(columns="run"))


@pytest.fixture(scope="module")
def two_runs(binaries, tmp_path_factory):
    """One movie analysed twice into one folder: frames 1-40, then frames
    41 to the end, whose skel.csv entries follow on in ascending order."""
    dukon, synth = binaries
    base = tmp_path_factory.mktemp("two-runs")
    movie = render(synth, "forward", base / "movie", 3)
    params = (movie / "params.txt").read_text() + f"outdir = {base / 'out'}\n"
    for extra in ("lframe = 40\n", "fframe = 41\n"):
        (movie / "params.txt").write_text(params + extra)
        proc = subprocess.run([str(dukon)], cwd=movie, stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, timeout=300)
        assert proc.returncode == 0, proc.stderr[-2000:]
    return base / "out" / "forward"


def test_readers_take_the_last_of_two_runs_in_skel_csv(two_runs, binaries, tmp_path):
    run = load_run(two_runs)
    skipped = re.escape(f"{run.path('skel.csv')}: skipped 40 entries of earlier runs")
    with pytest.warns(EarlierRunsSkipped, match=skipped):
        chains = run.skeletons
    frames = run.frames  # posture from centreline.csv, which holds the latest run only
    assert frames["frame"].iloc[0] == 41 and "posture_error" not in frames.attrs
    assert set(frames.loc[frames["ok"], "frame"]) <= set(chains["frame"]) <= set(frames["frame"])
    assert frames.loc[frames["ok"], "eigen1"].notna().all()
    overlay = binaries[0].parent / "tools" / "overlay" / "dukon-overlay"
    proc = subprocess.run([str(overlay), str(two_runs), "--still", "41",
                           "--out", str(tmp_path / "still.png")],
                          capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=120)
    assert proc.returncode == 0 and "skipped 40 entries of earlier runs" in proc.stderr, \
        proc.stderr

    # The last run's block cut short: its first entry would be the earlier
    # run's frame 40, which the run summary's first row tells apart.
    cut = tmp_path / "forward"
    shutil.copytree(two_runs, cut)
    (cut / "forward-centreline.csv").unlink()  # the posture then comes from skel.csv
    skel = cut / "forward-skel.csv"
    text = skel.read_text()
    skel.write_text(text[:text.rindex("Frame number:")])
    with pytest.raises(ResultFileError, match="start at frame 40, that run at frame 41"):
        read_skeletons(skel)
    assert "forward-skel.csv" in load_run(cut).frames.attrs["posture_error"]


def test_time_column_and_units(coil_run):
    run = load_run(coil_run)
    frames = run.frames
    assert frames["time"].iloc[10] == pytest.approx(frames["frame"].iloc[10] / run.fps)
    assert frames.attrs["units"]["len"] == "frame px" and frames.attrs["units"]["disp"] == "mm"
    assert str(frames["movement"].dtype) == "category"
    assert list(frames["movement"].cat.categories) == list(MOVEMENTS)
    raw = read_wxd(run.path("wxd.txt"), disp_missing_as_nan=False)
    assert (raw["disp"] == -1).any()
