"""The per-frame table of a run: NAME-frames.csv at full precision, or
wxd.txt (two significant digits) for folders written before frames.csv.

NAME-frames.csv has a units line ("# units: " and one unit per column), a
header line and one row per analysed frame: frame, time (s), state,
located, movement, reversal, world positions of head, mid, tail and the
sub-pixel centre of mass (mm), and the measures of wxd.txt in mm, mm^2,
degrees, Hz and ratios. Empty cells are missing values. docs/features.md
describes every column.

`frame_table(run)` gives run.frames in one layout whichever file it comes
from: the columns of read_wxd (positions in world pixels, lengths in frame
pixels, as the analyser's own tables), plus state, located and
cmass_speed.
"""

import math

import numpy as np
import pandas as pd

from .errors import READ_ERRORS
from .labels import MOVEMENTS
from .tables import UNITS, WXD_COLUMNS, WXD_VALUES, finish_frame_table, read_wxd
from .textio import Lines, integer, number

FRAMES_COLUMNS = ("frame", "time", "state", "located", "movement", "reversal",
                  "head_x", "head_y", "mid_x", "mid_y", "tail_x", "tail_y", "cmass_x", "cmass_y",
                  *WXD_VALUES)
STATES = ("consistent", "good", "loop", "rejected", "ignored")
_UNITS_PREFIX = "# units: "
_POSITIONS = ("head_x", "head_y", "mid_x", "mid_y", "tail_x", "tail_y", "cmass_x", "cmass_y")
# Measures the file gives in mm (or mm^2) and run.frames in frame pixels:
# column -> power of mmpix.
_LENGTHS = {"len": 1, "thickness": 1, "area": 2, "avgamp": 1, "ampsym": 1, "maxampL": 1,
            "maxampR": 1, "wavelen": 1}

# Speed of the centre of mass: the mean velocity over a window of this many
# seconds centred on the frame (half of it on each side, whole frames).
SPEED_WINDOW_S = 0.5


def _flag(text, lines, no, what):
    if text not in ("0", "1"):
        raise lines.error(no, f"{what}: expected 0 or 1, found {text!r}")
    return text == "1"


def _label(movement, reversal):
    """The label the shape tables write for a frame's class and reversal."""
    if movement == "loop":
        return "loop"
    words = {"forward": "fwd", "backward": "" if reversal else "bckwd", "pause": "pause",
             "omega": "omega"}
    word = words.get(movement, "")
    if movement in ("pause", "omega"):
        return ("reversal" if reversal else "") + word
    return word + ("reversal" if reversal else "")


def _frames_row(fields, lines, no):
    state, movement = fields[2], fields[4]
    if state not in STATES:
        raise lines.error(no, f"state: expected one of {', '.join(STATES)}, found {state!r}")
    if movement and movement not in MOVEMENTS:
        raise lines.error(no, f"movement: unknown class {movement!r}")
    reversal = _flag(fields[5], lines, no, "reversal")
    row = {"frame": integer(fields[0], lines, no, "frame"), "state": state,
           "ok": state == "consistent", "ignored": state == "ignored",
           "loop": movement == "loop", "located": _flag(fields[3], lines, no, "located"),
           "movement": movement or None, "reversal": reversal,
           "label": "IGNORED" if state == "ignored" else _label(movement, reversal)}
    row["time"] = number(fields[1], lines, no, "time")
    for name, text in zip(FRAMES_COLUMNS[6:], fields[6:]):
        row[name] = number(text, lines, no, name)
    return row


def read_frames_csv(path):
    """NAME-frames.csv as it is: one row per analysed frame, the file's
    columns (see FRAMES_COLUMNS) and units (attrs["units"]), plus ok,
    ignored, loop and label as read_wxd has them. Raises ResultFileError
    naming the file and line for anything malformed."""
    lines = Lines(path)
    lines.require_final_newline()
    if not len(lines) or not lines.line(1).startswith(_UNITS_PREFIX):
        raise lines.error(1, f"expected the units line '{_UNITS_PREFIX}...'")
    units = lines.line(1)[len(_UNITS_PREFIX):].split(",")
    if len(lines) < 2 or lines.line(2).split(",") != list(FRAMES_COLUMNS):
        raise lines.error(2, "unexpected table header")
    if len(units) != len(FRAMES_COLUMNS):
        raise lines.error(1, f"expected {len(FRAMES_COLUMNS)} units, found {len(units)}")
    rows = []
    for no, text in lines.numbered(3):
        fields = text.split(",")
        if len(fields) != len(FRAMES_COLUMNS):
            raise lines.error(no, f"expected {len(FRAMES_COLUMNS)} comma-separated fields, "
                                  f"found {len(fields)}")
        rows.append(_frames_row(fields, lines, no))
    columns = ["frame", "time", "ok", "ignored", "loop", "movement", "reversal", "label",
               "located"] + list(FRAMES_COLUMNS[6:])
    df = finish_frame_table(rows, columns)
    df["located"] = df["located"].astype(bool)
    df.insert(8, "state", pd.Series([r["state"] for r in rows], dtype=object))
    df.attrs["units"] = dict(zip(FRAMES_COLUMNS, units))
    return df


def in_pixels(frames, mmpix):
    """A frame table read from frames.csv in the layout of read_wxd:
    positions in world pixels and lengths in frame pixels at `mmpix`
    pixels per mm. (With mmpixstage unlike mmpix the world position is
    then the mm position in frame pixels, which is not the world-pixel sum
    wxd.txt prints.)"""
    df = frames.copy()
    for c in _POSITIONS:
        # Six decimals give whole pixels back exactly where they were whole.
        df[c] = (df[c] * mmpix).round(6)
    for c, power in _LENGTHS.items():
        df[c] = df[c] * mmpix ** power
    df = df[[c for c in WXD_COLUMNS if c != "time"] + ["state", "located"]]
    df.attrs["units"] = {c: UNITS[c] for c in df.columns if c in UNITS}
    return df


def _from_wxd(path):
    df = read_wxd(path)
    state = np.where(df["ignored"], "ignored",
                     np.where(df["loop"], "loop", np.where(df["ok"], "consistent", None)))
    df["state"] = state
    df["located"] = pd.array([pd.NA] * len(df), dtype="boolean")
    return df


def centroid_speed(frames, fps, mmpix, window_s=SPEED_WINDOW_S):
    """Speed of the centre of mass, mm/s, per frame (a numpy array): the
    distance from its position half a window before to half a window after
    the frame, over that time. NaN where either end is missing, not
    consistent, not located (when known), or the frames between are not
    all in the table (dropped frames)."""
    n = len(frames)
    speed = np.full(n, math.nan)
    if not (fps > 0 and mmpix > 0) or n == 0:
        return speed
    half = max(1, int(round(window_s * fps / 2)))
    # A table without the located flags (wxd.txt) counts every consistent
    # frame as located.
    located = frames["located"].astype("boolean").fillna(True).to_numpy(dtype=bool)
    usable = frames["ok"].to_numpy(dtype=bool) & located
    frame = frames["frame"].to_numpy()
    x = np.where(usable, frames["cmass_x"].to_numpy(dtype=float), math.nan) / mmpix
    y = np.where(usable, frames["cmass_y"].to_numpy(dtype=float), math.nan) / mmpix
    if n <= 2 * half:
        return speed
    a, b = np.arange(0, n - 2 * half), np.arange(2 * half, n)
    whole = frame[b] - frame[a] == 2 * half
    d = np.hypot(x[b] - x[a], y[b] - y[a]) / (2 * half / fps)
    speed[half:n - half] = np.where(whole, d, math.nan)
    return speed


def frame_table(run):
    """run.frames before the posture columns: from NAME-frames.csv when the
    folder has it (and the parameters copy gives mmpix), else from wxd.txt;
    attrs["source"] names the file. Adds `cmass_speed` (mm/s, centroid_speed)."""
    mmpix = math.nan
    try:
        mmpix = float(run.params["mmpix"])
    except READ_ERRORS:
        pass
    if run.has("frames.csv") and mmpix > 0:
        df, source = in_pixels(read_frames_csv(run.path("frames.csv")), mmpix), "frames.csv"
    else:
        df, source = _from_wxd(run.path("wxd.txt")), "wxd.txt"
    df["cmass_speed"] = centroid_speed(df, run.fps, mmpix)
    df.attrs["units"]["cmass_speed"] = "mm/s"
    df.attrs["source"] = source
    df.attrs["speed_window_s"] = SPEED_WINDOW_S
    return df
