"""Posture as projections onto the standard N2 eigenworms.

The basis (data/n2_eigenworms.csv, see data/README.md) holds 7 unit-norm
modes of 48 tangent angles each. A frame's posture is its centreline from
head to tail, resampled to 49 points equally spaced by arc length; the 48
tangent angles between successive points (radians, measured in pixels with
x to the right and y downward) are unwrapped and their mean is subtracted;
the projection on mode m is their dot product with mode m, in radians.

Every frame with a centreline in centreline.csv has a posture, the fitted
ones (coils, omega turns, touching bodies) included. A run without that file
(made before the analysis wrote it) has a posture in its consistent frames
only, from their chains in skel.csv, which run from head to tail.
"""

import functools
from pathlib import Path

import numpy as np
import pandas as pd

BASIS_FILE = Path(__file__).resolve().parent / "data" / "n2_eigenworms.csv"
N_POINTS = 49
N_ANGLES = N_POINTS - 1
N_MODES = 7
EIGEN_COLUMNS = tuple(f"eigen{m}" for m in range(1, N_MODES + 1))
UNIT = "rad"


@functools.lru_cache(maxsize=None)
def load_basis(path=BASIS_FILE):
    """The eigenworm basis as a read-only (48, 7) array, modes as columns.

    Raises ValueError when the file does not hold 48 rows of mode1..mode7.
    """
    table = pd.read_csv(path)
    modes = [f"mode{m}" for m in range(1, N_MODES + 1)]
    missing = [m for m in modes if m not in table.columns]
    if missing or len(table) != N_ANGLES:
        raise ValueError(f"{path}: expected {N_ANGLES} rows with columns {', '.join(modes)}")
    basis = table[modes].to_numpy(dtype=float)
    basis.setflags(write=False)
    return basis


def resample_chain(points, n=N_POINTS):
    """`n` points equally spaced by arc length along the polyline `points`
    ((k, 2) array, k >= 2), from its first point to its last.

    Repeated points are dropped first. Raises ValueError for a chain of
    fewer than two distinct points.
    """
    pts = np.asarray(points, dtype=float)
    if pts.ndim != 2 or pts.shape[1] != 2:
        raise ValueError("a chain is a (k, 2) array of points")
    if len(pts) > 1:
        keep = np.concatenate(([True], np.any(np.diff(pts, axis=0) != 0, axis=1)))
        pts = pts[keep]
    if len(pts) < 2:
        raise ValueError("a chain needs two distinct points")
    arc = np.concatenate(([0.0], np.cumsum(np.hypot(*np.diff(pts, axis=0).T))))
    at = np.linspace(0.0, arc[-1], n)
    return np.column_stack((np.interp(at, arc, pts[:, 0]), np.interp(at, arc, pts[:, 1])))


def tangent_angles(points):
    """The 48 mean-free, unwrapped tangent angles (radians) of a chain
    given head first."""
    steps = np.diff(resample_chain(points), axis=0)
    angles = np.unwrap(np.arctan2(steps[:, 1], steps[:, 0]))
    return angles - angles.mean()


def project(angles, basis=None):
    """Projections of 48 tangent angles on the 7 modes (radians)."""
    basis = load_basis() if basis is None else basis
    return np.asarray(angles, dtype=float) @ basis


def chain_from_angles(angles, length=1.0, start=(0.0, 0.0)):
    """The 49-point chain of total `length` whose successive steps have the
    given 48 tangent angles: the inverse of tangent_angles up to position,
    size and heading. Used to build postures of known projection."""
    angles = np.asarray(angles, dtype=float)
    step = length / len(angles)
    moves = np.column_stack((np.cos(angles), np.sin(angles))) * step
    return np.vstack(([start], np.asarray(start) + np.cumsum(moves, axis=0)))


def eigen_projections(chains, frames):
    """A DataFrame of eigen1..eigen7 (radians), one row per entry of
    `frames` (the frame table of a run, with columns frame and ok) in its
    order and index; NaN where the frame is not consistent or has no chain
    in `chains`, an iterable of (frame, xs, ys) as skel.iter_chains yields
    them. The chains are taken one at a time, so a long run never needs all
    its points in memory."""
    basis = load_basis()
    out = np.full((len(frames), N_MODES), np.nan)
    wanted = set(frames["frame"].to_numpy()[frames["ok"].to_numpy(dtype=bool)].tolist())
    position = {f: i for i, f in enumerate(frames["frame"].to_numpy().tolist())}
    for frame, xs, ys in chains:
        if frame not in wanted or len(xs) < 2:
            continue  # a chain of one point has no posture
        try:
            out[position[frame]] = tangent_angles(np.column_stack([xs, ys]).astype(float)) @ basis
        except ValueError:
            pass
    return pd.DataFrame(out, columns=list(EIGEN_COLUMNS), index=frames.index)


def centreline_projections(centrelines, frames):
    """A DataFrame of eigen1..eigen7 (radians) and `centreline`, the source
    of the frame's centreline ("chain", "fitted" or "none"; None for a frame
    the file does not list), one row per entry of `frames` in its order and
    index, from `centrelines`, an iterable of rows as
    centreline.iter_centrelines yields them, taken one at a time. The
    projections are NaN where the frame has no centreline."""
    basis = load_basis()
    out = np.full((len(frames), N_MODES), np.nan)
    source = np.full(len(frames), None, dtype=object)
    position = {f: i for i, f in enumerate(frames["frame"].to_numpy().tolist())}
    for c in centrelines:
        i = position.get(c.frame)
        if i is None:
            continue
        source[i] = c.source
        if len(c.xs) >= 2:
            try:
                out[i] = tangent_angles(np.column_stack([c.xs, c.ys])) @ basis
            except ValueError:
                pass  # a centreline without length has no posture
    result = pd.DataFrame(out, columns=list(EIGEN_COLUMNS), index=frames.index)
    result["centreline"] = source
    return result


def with_eigen_columns(frames, chains, centrelines=None):
    """`frames` with eigen1..eigen7 and `centreline` appended, the units of
    the projections recorded in attrs["units"]: from `centrelines` (rows of
    centreline.csv) when given, else from the consistent frames' `chains`
    (skel.csv; their `centreline` is "chain", the others' None), else all
    NaN."""
    if centrelines is not None:
        eigen = centreline_projections(centrelines, frames)
    else:
        if chains is None:
            eigen = pd.DataFrame(np.nan, columns=list(EIGEN_COLUMNS), index=frames.index)
        else:
            eigen = eigen_projections(chains, frames)
        eigen["centreline"] = np.where(eigen["eigen1"].notna(), "chain", None)
    attrs = dict(frames.attrs)
    result = pd.concat([frames, eigen], axis=1)
    result.attrs = attrs
    result.attrs["units"] = dict(attrs.get("units", {}), **{c: UNIT for c in EIGEN_COLUMNS})
    return result
