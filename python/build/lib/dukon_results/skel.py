"""Reader of NAME-skel.csv: every frame's skeleton chain."""

import re

import pandas as pd

from .textio import Lines

_FRAME = re.compile(r"^Frame number: (-?\d+)$")
_POINT = re.compile(r"^(-?\d+),(-?\d+)$")


def read_skeletons(path, last_run_only=True):
    """The skeleton chains, one row per chain point.

    Columns: run (0 for the first run in the file: the file is appended to
    by every run of the same movie, and a run starts where the frame number
    does not grow), frame, point (index along the chain, from the head once
    the head is known), x, y (frame pixels, not world positions). Frames
    without a chain have no rows. With `last_run_only` only the most recent
    run is returned.
    """
    lines = Lines(path)
    lines.require_final_newline()
    rows = []
    run, frame, prev, point = 0, None, None, 0
    for no, text in lines.numbered():
        m = _FRAME.match(text)
        if m:
            frame = int(m.group(1))
            if prev is not None and frame <= prev:
                run += 1
            prev, point = frame, 0
            continue
        p = _POINT.match(text)
        if not p:
            raise lines.error(no, f"expected 'Frame number: N' or 'x,y', found {text[:40]!r}")
        if frame is None:
            raise lines.error(no, "point before the first 'Frame number:' line")
        rows.append((run, frame, point, int(p.group(1)), int(p.group(2))))
        point += 1
    df = pd.DataFrame(rows, columns=["run", "frame", "point", "x", "y"]).astype("int64")
    if last_run_only and len(df):
        df = df[df["run"] == run].reset_index(drop=True)
    df.attrs["units"] = {"x": "px", "y": "px", "frame": "frame number"}
    return df
