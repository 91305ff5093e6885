"""Readers of the per-frame tables: wxd.txt, spd.txt, dsp.txt, ang.txt and
eggs.txt.

Each returns a pandas DataFrame with one row per table row. Positions are
world pixels (the stage location plus the position in the frame), sizes are
frame pixels; the unit of every column is in `UNITS` and in the frame's
`attrs["units"]`.
Missing values are NaN.
"""

import re

import pandas as pd

from .labels import decode_label, movement_column
from .textio import Lines, integer, number

# Unit of each column the readers produce; columns not listed have none.
UNITS = {
    "frame": "frame number",
    "head_x": "world px", "head_y": "world px", "mid_x": "world px", "mid_y": "world px",
    "tail_x": "world px", "tail_y": "world px", "cmass_x": "world px", "cmass_y": "world px",
    "numsklpts": "points", "cutpnums": "count",
    "len": "frame px", "thickness": "frame px", "area": "frame px^2",
    "avgamp": "frame px", "ampsym": "frame px", "maxampL": "frame px", "maxampR": "frame px",
    "Navgamp": "ratio", "NmaxampL": "ratio", "NmaxampR": "ratio",
    "avgangle": "deg", "anglesym": "deg", "maxangL": "deg", "maxangR": "deg",
    "wavelen": "frame px", "Nwavelen": "ratio", "freq": "Hz",
    "straightfs": "ratio", "sinusfs": "score",
    "disp": "mm", "speed_frame": "mm/s", "speed_segment": "mm/s",
    "angle": "deg", "ts": "ms", "size": "frame px", "x": "world px", "y": "world px",
    "verified": "frame number",
}

# Numeric columns of wxd.txt after frame, OK?, the four points, in order.
WXD_VALUES = ("numsklpts", "cutpnums", "len", "thickness", "area", "avgamp", "ampsym",
              "maxampL", "maxampR", "Navgamp", "NmaxampL", "NmaxampR", "avgangle",
              "anglesym", "maxangL", "maxangR", "wavelen", "Nwavelen", "freq",
              "straightfs", "sinusfs", "disp")

WXD_HEADER = ("frame,OK?,(head),(mid),(tail),(cmass),#skelpts,#cutpt,len,thick,area,avgamp,"
              "ampsym,maxampL,maxampR,Navgamp,NmaxampL,NmaxampR,avgang,angsym,maxangL,maxangR,"
              "wvlen,Nwvlen,freq,straightfs,sinusfs,disp,mv")

_POINT = re.compile(r"^\((-?\d+) (-?\d+)\)$")
_ROW = re.compile(r"^#(-?\d+),(.*)$")
_EMPTY_POINT = "(-1 -1)"
_NAN = float("nan")
_NON_FLOAT = {"frame", "ok", "ignored", "loop", "movement", "reversal", "label"}


def frame_row(frame, ok, ignored, label, lines, line_no):
    """The common columns of a shape-table row, with the label decoded."""
    try:
        movement, reversal = decode_label("" if ignored else label)
    except ValueError as e:
        raise lines.error(line_no, str(e)) from None
    return {"frame": frame, "ok": ok, "ignored": ignored, "loop": movement == "loop",
            "movement": movement, "reversal": reversal, "label": label}


def finish_frame_table(rows, columns):
    df = pd.DataFrame(rows, columns=columns)
    df["frame"] = df["frame"].astype("int64")
    for c in columns:
        if c not in _NON_FLOAT:
            df[c] = df[c].astype(float)
    for flag in ("ok", "ignored", "loop", "reversal"):
        if flag in df:
            df[flag] = df[flag].astype(bool)
    if "movement" in df:
        df["movement"] = movement_column(df["movement"])
    df.attrs["units"] = {c: UNITS[c] for c in df.columns if c in UNITS}
    return df


def _point(text, lines, line_no, what):
    m = _POINT.match(text)
    if not m:
        raise lines.error(line_no, f"{what}: expected a point '(x y)', found {text!r}")
    return float(m.group(1)), float(m.group(2))


def _wxd_row(frame, fields, lines, line_no):
    if fields[0] == "" and len(fields) == 24 and fields[-1] == "IGNORED" and not any(fields[:-1]):
        return frame_row(frame, False, True, "IGNORED", lines, line_no)
    if len(fields) != 28:
        raise lines.error(line_no, f"expected 29 comma-separated fields, found {len(fields) + 1}")
    row = frame_row(frame, fields[0] == "1", False, fields[-1], lines, line_no)
    if fields[0] == "0":
        if fields[1:5] != [_EMPTY_POINT] * 4 or any(fields[5:-1]):
            raise lines.error(line_no, "row of an inconsistent frame carries values")
        return row
    if fields[0] != "1":
        raise lines.error(line_no, f"OK? must be 0 or 1, found {fields[0]!r}")
    for name, text in zip(("head", "mid", "tail"), fields[1:4]):
        row[name + "_x"], row[name + "_y"] = _point(text, lines, line_no, name)
    # The centre of mass is written row first, column second.
    row["cmass_y"], row["cmass_x"] = _point(fields[4], lines, line_no, "cmass")
    for name, text in zip(WXD_VALUES, fields[5:-1]):
        row[name] = number(text, lines, line_no, name)
    return row


WXD_COLUMNS = (["frame", "ok", "ignored", "loop", "movement", "reversal", "label",
                "head_x", "head_y", "mid_x", "mid_y", "tail_x", "tail_y", "cmass_x", "cmass_y"]
               + list(WXD_VALUES))


def read_wxd(path, disp_missing_as_nan=True):
    """The full shape table (NAME-wxd.txt), one row per analysed frame.

    Columns: frame; ok (consistent skeleton); ignored; loop; movement
    (categorical: forward, backward, pause, omega, loop, or NaN); reversal
    (the frame starts a reversal); label (the text as written); head, mid,
    tail and centre-of-mass positions as *_x/*_y; and the body features
    (see UNITS). Rows of inconsistent or ignored frames have NaN features.
    A displacement of -1 (not measured) becomes NaN unless
    `disp_missing_as_nan` is False.
    """
    lines = Lines(path)
    if len(lines) < 2 or lines.line(1) != "":
        raise lines.error(1, "expected an empty first line before the header")
    if lines.line(2) != WXD_HEADER:
        raise lines.error(2, "unexpected table header")
    rows = []
    for no, text in lines.numbered(3):
        m = _ROW.match(text)
        if not m:
            raise lines.error(no, f"expected a row '#frame,...', found {text[:40]!r}")
        rows.append(_wxd_row(int(m.group(1)), m.group(2).split(","), lines, no))
    df = finish_frame_table(rows, WXD_COLUMNS)
    if disp_missing_as_nan:
        df.loc[df["disp"] == -1.0, "disp"] = _NAN
    return df


_SPD_SEG = re.compile(r"^# spd-seg is speed in (\S+) sec segment \((-?\d+) frames\)$")


def read_speeds(path):
    """The speed table (NAME-spd.txt): frames whose position was usable.

    Columns: frame; speed_frame (mm/s to the previous frame, negative when
    moving backward, NaN where not measured); speed_segment (mm/s over one
    movement segment before the frame); movement, reversal, label.
    attrs: segment_seconds, segment_frames, units.
    """
    lines = Lines(path)
    if len(lines) < 3:
        raise lines.error(max(len(lines), 1), "header incomplete (file truncated?)")
    if lines.line(1) != "# spd-frm is speed relative to previous frame":
        raise lines.error(1, "unexpected header line")
    m = _SPD_SEG.match(lines.line(2))
    if not m:
        raise lines.error(2, "unexpected header line")
    if lines.line(3) != "#   spd-frm spd-seg":
        raise lines.error(3, "unexpected header line")
    lines.require_final_newline()
    rows = []
    for no, text in lines.numbered(4):
        fields = text.split("\t")
        if len(fields) != 4:
            raise lines.error(no, f"expected 4 tab-separated fields, found {len(fields)}")
        row = frame_row(integer(fields[0], lines, no, "frame"), True, False, fields[3], lines, no)
        row["speed_frame"] = number(fields[1], lines, no, "spd-frm")
        row["speed_segment"] = number(fields[2], lines, no, "spd-seg")
        rows.append(row)
    df = finish_frame_table(rows, ["frame", "speed_frame", "speed_segment", "movement",
                                   "reversal", "label"])
    df.attrs["segment_seconds"] = number(m.group(1), lines, 2, "segment length")
    df.attrs["segment_frames"] = int(m.group(2))
    return df


def _two_column_table(path, value_name):
    lines = Lines(path)
    lines.require_final_newline()
    rows = []
    for no, text in lines.numbered():
        fields = text.split("\t")
        if len(fields) != 2:
            raise lines.error(no, f"expected 2 tab-separated fields, found {len(fields)}")
        rows.append((integer(fields[0], lines, no, "frame"),
                     number(fields[1], lines, no, value_name)))
    df = pd.DataFrame(rows, columns=["frame", value_name])
    df["frame"] = df["frame"].astype("int64")
    df[value_name] = df[value_name].astype(float)
    df.attrs["units"] = {"frame": UNITS["frame"], value_name: UNITS[value_name]}
    return df


def read_displacements(path):
    """The displacement table (NAME-dsp.txt): frame and disp (mm).

    disp is the distance the mid point moved over the displacement span.
    A NaN row is a missed slot; its frame column then holds the slot's
    position counted in analysed frames, as the table writes it.
    """
    return _two_column_table(path, "disp")


def read_turning_angles(path):
    """The turning-angle table (NAME-ang.txt): frame and angle (degrees,
    positive = turning toward +y of the image). NaN marks a pause or a
    missed slot (whose frame column holds its position in analysed frames).
    """
    return _two_column_table(path, "angle")


_EGG_FIRST = "# eggs - eggs found in the movie"
_EGG_HEADER = "#frame\tts\tsize\tloc\tverified"
_EGG_END_SOME = "# all sizes are in pixels (not real sizes). "
_EGG_END_NONE = "# no eggs clusters found. "
_EGG_ROW = re.compile(r"^(-?\d+)\t(\S+)\t(\S+)\t(-?\d+),(-?\d+)\t(\d+) $")


def read_eggs(path):
    """The egg table (NAME-eggs.txt): one row per verified egg (cluster).

    Columns: frame (laid), ts (ms of movie time), size (radius, px), x, y
    (world position, px), verified (frame of confirmation).
    """
    lines = Lines(path)
    if not len(lines) or lines.line(1) != _EGG_FIRST:
        raise lines.error(1, "not an egg table")
    if len(lines) < 2:
        raise lines.error(1, "closing note missing (file truncated?)")
    lines.require_final_newline()
    rows = []
    last = lines.line(len(lines))
    if last == _EGG_END_NONE and len(lines) == 2:
        pass
    elif last == _EGG_END_SOME:
        if lines.line(2) != _EGG_HEADER:
            raise lines.error(2, "unexpected header line")
        if lines.line(len(lines) - 1) != "":
            raise lines.error(len(lines) - 1, "expected an empty line before the closing note")
        for no in range(3, len(lines) - 1):
            m = _EGG_ROW.match(lines.line(no))
            if not m:
                raise lines.error(no, f"malformed egg row {lines.line(no)!r}")
            rows.append((int(m.group(1)), number(m.group(2), lines, no, "ts"),
                         number(m.group(3), lines, no, "size"), float(m.group(4)),
                         float(m.group(5)), int(m.group(6))))
    else:
        raise lines.error(len(lines), "closing note missing (file truncated?)")
    df = pd.DataFrame(rows, columns=["frame", "ts", "size", "x", "y", "verified"])
    df = df.astype({"frame": "int64", "ts": float, "size": float, "x": float, "y": float,
                    "verified": "int64"})
    df.attrs["units"] = {c: UNITS[c] for c in df.columns}
    return df
