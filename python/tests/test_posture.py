"""Eigenworm projections: chains built from the basis, synthetic movies of a
body shaped like mode 1 and of a forward crawl, and the eigen columns of
run.frames."""

import shutil
import subprocess

import numpy as np
import pytest

from conftest import analyse, render
from dukon_results import load_run
from dukon_results.posture import (EIGEN_COLUMNS, chain_from_angles, load_basis, project,
                                   resample_chain, tangent_angles)


def pixel_chain(chain):
    """The chain as a skeletoniser gives it: integer pixels about one apart."""
    steps = np.hypot(*np.diff(chain, axis=0).T)
    dense = resample_chain(chain, int(steps.sum()) + 1)
    pixels = np.rint(dense).astype(int)
    keep = np.r_[True, np.any(np.diff(pixels, axis=0) != 0, axis=1)]
    return pixels[keep]


@pytest.mark.parametrize("mode", range(7))
def test_a_chain_shaped_like_one_mode_projects_onto_that_mode_alone(mode):
    basis = load_basis()
    amplitude = 3.0 if mode % 2 else -2.5
    expected = np.zeros(7)
    expected[mode] = amplitude
    # Any heading (here across the +-pi cut, where unwrapping matters),
    # size and position: only the shape counts.
    for heading in (0.0, 2.9, -3.0):
        chain = chain_from_angles(amplitude * basis[:, mode] + heading, 280.0, (310.0, -40.0))
        np.testing.assert_allclose(project(tangent_angles(chain)), expected, atol=1e-9)
        # On the pixel grid of a 280-pixel worm the projections stay close.
        got = project(tangent_angles(pixel_chain(chain)))
        assert np.abs(got - expected).max() < 0.3, got
    # A mirror image flips every sign.
    mirrored = chain_from_angles(amplitude * basis[:, mode], 280.0) * [1, -1]
    np.testing.assert_allclose(project(tangent_angles(mirrored)), -expected, atol=1e-9)


def test_resampling_spaces_points_equally_along_the_chain():
    # Repeated points are dropped; the corner at (3, 4) lies 5 of 11 along.
    chain = np.array([[0, 0], [0, 0], [3, 4], [3, 4], [3, 10]], dtype=float)
    points = resample_chain(chain, 12)
    np.testing.assert_allclose(points[[0, 5, 11]], [[0, 0], [3, 4], [3, 10]], atol=1e-12)
    np.testing.assert_allclose(np.hypot(*np.diff(points, axis=0).T), 1.0)
    for bad in ([[1, 2]], [[1, 2], [1, 2], [1, 2]], np.zeros((0, 2))):
        with pytest.raises(ValueError):
            tangent_angles(np.array(bad, dtype=float))


def test_eigen_columns_for_every_frame_with_a_centreline(coil_run, tmp_path):
    frames = load_run(coil_run).frames
    eigen = frames[list(EIGEN_COLUMNS)]
    source = frames["centreline"]
    assert frames["loop"].any() and frames["ok"].any()  # the fixture has both kinds
    assert ((source == "chain") == frames["ok"]).all()
    assert (source == "fitted").sum() > 10  # its loop frames
    assert (eigen.notna().all(axis=1) == source.isin(["chain", "fitted"])).all()
    assert (eigen.isna().all(axis=1) == ~source.isin(["chain", "fitted"])).all()
    assert all(frames.attrs["units"][c] == "rad" for c in EIGEN_COLUMNS)
    # Sums of 48 angles each within +-4 rad: a coil turns by more than 2 pi.
    assert eigen.abs().max().max() < 4 * np.sqrt(48)
    assert "posture_error" not in frames.attrs

    # A run without centreline.csv has the posture of its consistent frames,
    # from skel.csv; without that file too, or with a damaged one, the table
    # is still there and says why the posture is missing.
    folder = tmp_path / "coil"
    shutil.copytree(coil_run, folder)
    (folder / "coil-centreline.csv").unlink()
    chains = load_run(folder).frames
    assert (chains[list(EIGEN_COLUMNS)].notna().all(axis=1) == frames["ok"]).all()
    assert ((chains["centreline"] == "chain") == frames["ok"]).all()
    # The centreline smooths the chain's staircase a little.
    ok = frames["ok"]
    assert (chains.loc[ok, "eigen1"] - frames.loc[ok, "eigen1"]).abs().median() < 0.05
    skel = folder / "coil-skel.csv"
    skel.write_text("Frame number: 1\n3,4\nnot a point\n")
    damaged = load_run(folder).frames
    assert damaged[list(EIGEN_COLUMNS)].isna().all().all()
    assert "coil-skel.csv:3:" in damaged.attrs["posture_error"]
    assert damaged["len"].equals(frames["len"])
    skel.unlink()
    missing = load_run(folder).frames
    assert missing[list(EIGEN_COLUMNS)].isna().all().all()
    assert "coil-skel.csv" in missing.attrs["posture_error"]


def posture_movie(binaries, folder, angles, seed):
    """A still worm holding `angles` (48 tangent angles), analysed."""
    dukon, synth = binaries
    folder.mkdir()
    angle_file = folder / "angles.txt"
    np.savetxt(angle_file, angles)
    movie = folder / "movie"
    subprocess.run([str(synth), "--scenario", "posture", "--posture-angles", str(angle_file),
                    "--seconds", "0.5", "--seed", str(seed), "--out", str(movie)], check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    return load_run(analyse(dukon, movie, folder / "out"))


# Two headings at which the analyser's brightness test finds the head (at
# some headings of a still, strongly bent body it takes the tail instead).
@pytest.mark.parametrize("amplitude,seed", [(4.0, 3), (-3.0, 2)])
def test_a_still_worm_shaped_like_mode_one_projects_onto_mode_one(binaries, tmp_path,
                                                                  amplitude, seed):
    run = posture_movie(binaries, tmp_path / "m1", amplitude * load_basis()[:, 0], seed)
    frames = run.frames
    assert frames["ok"].mean() > 0.9
    eigen = frames.loc[frames["ok"], list(EIGEN_COLUMNS)].to_numpy()
    mean = eigen.mean(axis=0)
    assert mean[0] == pytest.approx(amplitude, rel=0.12), mean
    assert np.abs(mean[1:]).max() < 0.12 * abs(amplitude), mean
    assert eigen.std(axis=0).max() < 0.5  # the same shape in every frame


def test_a_forward_crawl_runs_round_a_ring_in_modes_one_and_two(binaries, tmp_path):
    dukon, synth = binaries
    movie = render(synth, "forward", tmp_path / "movie", 6)
    run = load_run(analyse(dukon, movie, tmp_path / "out"))
    ok = run.frames[run.frames["ok"]]
    assert len(ok) > 150
    e1, e2 = ok["eigen1"] - ok["eigen1"].mean(), ok["eigen2"] - ok["eigen2"].mean()
    radius = np.hypot(e1, e2)
    phase = np.unwrap(np.arctan2(e2, e1))
    turns = abs(phase[-1] - phase[0]) / (2 * np.pi)
    steps = np.sign(np.diff(phase))
    # A travelling wave: the phase winds one way, once per wave period (the
    # generator's 0.4 Hz over 6 s), at a steady distance from the centre.
    assert turns == pytest.approx(0.4 * 6, rel=0.25)
    assert max((steps > 0).mean(), (steps < 0).mean()) > 0.75
    assert radius.std() / radius.mean() < 0.35
    assert radius.mean() > 1.5
