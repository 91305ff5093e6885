"""Reader of NAME-centreline.csv: every analysed frame's centreline.

One row per analysed frame (ignored frames have none):

    frame,source,fit_error,x0,y0,...,x48,y48,stage_x,stage_y

`source` is "chain" (the frame's consistent skeleton chain), "fitted" (the
body model fitted where the chain failed: loops, coils, inconsistent or
rejected chains) or "none"; `fit_error` the fit's mismatch (share of the
worm's pixels the fitted body and the worm disagree on), empty for chains
and where no fit was made; the 49 points are equally spaced by arc length,
head first, in world pixels, empty for "none"; `stage_x`, `stage_y` the
frame's stage location in pixels (a world point less it lies in the movie's
frame). Runs made before the analysis wrote this file have none.

Format: docs/formats/centreline.md.
"""

import math
from collections import namedtuple

import numpy as np
import pandas as pd

from .errors import ResultFileError

N_POINTS = 49
SOURCES = ("chain", "fitted", "none")
POINT_COLUMNS = tuple(f"{a}{k}" for k in range(N_POINTS) for a in "xy")
COLUMNS = ("frame", "source", "fit_error") + POINT_COLUMNS + ("stage_x", "stage_y")
HEADER = ",".join(COLUMNS)

# One row: xs and ys are lists of 49 floats (world pixels, head first),
# empty for "none"; fit_error is NaN where the file leaves it empty.
Centreline = namedtuple("Centreline", "frame source fit_error xs ys stage_x stage_y")


def _float(text, path, no, what):
    try:
        return float(text) if text != "" else math.nan
    except ValueError:
        raise ResultFileError(path, no, f"{what} is not a number: {text!r}") from None


def iter_centrelines(path):
    """Yields a Centreline for every row of `path` in file order, one row at
    a time. Raises FileNotFoundError for a missing file and ResultFileError naming
    the file and line for a malformed one."""
    path = str(path)
    with open(path, encoding="latin-1", newline="") as f:
        header = f.readline().rstrip("\r\n")
        if header != HEADER:
            raise ResultFileError(path, 1, "not a centreline file (unexpected header)")
        last = None
        for no, line in enumerate(f, start=2):
            if not line.endswith("\n"):
                raise ResultFileError(path, no, "last line has no line end (file truncated?)")
            cells = line.rstrip("\r\n").split(",")
            if len(cells) != len(COLUMNS):
                raise ResultFileError(path, no, f"expected {len(COLUMNS)} columns, "
                                                f"found {len(cells)}")
            try:
                frame = int(cells[0])
            except ValueError:
                raise ResultFileError(path, no, f"bad frame number {cells[0]!r}") from None
            if last is not None and frame <= last:
                raise ResultFileError(path, no, f"frame {frame} after frame {last}")
            last = frame
            source = cells[1]
            if source not in SOURCES:
                raise ResultFileError(path, no, f"unknown source {source!r}")
            error = _float(cells[2], path, no, "fit_error")
            points = [] if source == "none" else \
                [_float(c, path, no, "a point") for c in cells[3:3 + 2 * N_POINTS]]
            if any(math.isnan(p) for p in points):
                raise ResultFileError(path, no, f"a {source} row without all its points")
            stage = [_float(c, path, no, "the stage location") for c in cells[-2:]]
            yield Centreline(frame, source, error, points[0::2], points[1::2], *stage)


def read_centrelines(path):
    """The whole file as a DataFrame with the file's columns (points NaN for
    "none"), units in attrs["units"]. Use iter_centrelines for long
    movies: this holds every point."""
    rows = []
    for c in iter_centrelines(path):
        pts = np.full(2 * N_POINTS, np.nan)
        if c.xs:
            pts[0::2], pts[1::2] = c.xs, c.ys
        rows.append([c.frame, c.source, c.fit_error, *pts, c.stage_x, c.stage_y])
    df = pd.DataFrame(rows, columns=list(COLUMNS))
    df["frame"] = df["frame"].astype(int)
    df.attrs["units"] = {"fit_error": "share", "stage_x": "px", "stage_y": "px",
                         **{c: "px" for c in POINT_COLUMNS}}
    return df
