"""Reader of NAME-wxo.txt: the run summary, the short per-frame shape table
and the feature statistics.

Format: docs/formats/wxo.md."""

import re
from dataclasses import dataclass

import pandas as pd

from .tables import UNITS, finish_frame_table, frame_row
from .textio import Lines, number

# The features of the statistics blocks, in the order they are written.
FEATURES = ("numsklpts", "len", "cutpnums", "avgamp", "ampsym", "maxampL", "maxampR",
            "Navgamp", "NmaxampL", "NmaxampR", "avgangle", "anglesym", "maxangL", "maxangR",
            "thickness", "area", "wavelen", "Nwavelen", "freq", "straightfs", "sinusfs",
            "disp")

WXO_HEADER = ("frame OK? (head)(mid)(tail) #skelpts,#cutpt|maxampL,maxampR,Navgamp|"
              "avgang,maxangL,maxangR|Nwvlen,straightfs,sinusfs|disp,mv")

_SUMMARY = [
    ("total_frames", re.compile(r"^Total frames \(key\+drop\) in movie: (-?\d+)$"), True),
    ("real_frames", re.compile(r"^Real frames \(key\) extracted: (-?\d+)$"), True),
    ("exited_at_frame", re.compile(r"^Exited at frame index (-?\d+)$"), False),
    ("good_frames", re.compile(r"^Good frames \(with skeleton\) analyzed: (-?\d+) \((\S+)%\)$"),
     True),
    ("consistent_frames", re.compile(
        r"^Consistent frames \(skeleton is good and no loop\): (-?\d+) \((\S+)%\)$"), True),
    ("ignored_frames", re.compile(r"^Ignored (-?\d+) frames as directed$"), False),
]

_N = r"(-?\d+)"
_V = r"([^,|]*)"
_CONSISTENT = re.compile(
    rf"^#{_N} 1 \({_N} {_N}\)\({_N} {_N}\)\({_N} {_N}\) {_N},{_N}\|{_V},{_V},{_V}\|"
    rf"{_V},{_V},{_V}\|{_V},{_V},{_V}\|{_V},(.*)$")
_SHORT_VALUES = ("maxampL", "maxampR", "Navgamp", "avgangle", "maxangL", "maxangR",
                 "Nwavelen", "straightfs", "sinusfs", "disp")
_INCONSISTENT = re.compile(r"^#(-?\d+) 0 \( -1 -1 \)\( -1 -1 \)\( -1 -1 \),,\|,,\|,,\|,(.*)$")
_IGNORED = re.compile(r"^#(-?\d+) ,,\|,,\|,,\|,IGNORED$")

SHORT_COLUMNS = (["frame", "ok", "ignored", "loop", "movement", "reversal", "label",
                  "head_x", "head_y", "mid_x", "mid_y", "tail_x", "tail_y",
                  "numsklpts", "cutpnums"] + list(_SHORT_VALUES))

_CLASSES = {"fwd": "forward", "bckwd": "backward", "pause": "pause", "omega": "omega",
            "all": "all"}
_STAT_ROW = re.compile(r"^ (fwd|bckwd|pause|omega|all)\t(?:avg: (\S+) (boxplot|dist): (.*))?$")
_QUANTILES = {"boxplot": ("q05", "q25", "q50", "q75", "q95"),
              "dist": ("q10", "q20", "q30", "q40", "q50", "q60", "q70", "q80", "q90")}
STAT_COLUMNS = ["feature", "movement", "form", "mean", "min", "q05", "q10", "q20", "q25",
                "q30", "q40", "q50", "q60", "q70", "q75", "q80", "q90", "q95", "max"]


@dataclass
class WxoContents:
    """Everything in one wxo.txt.

    summary: dict with total_frames, real_frames, good_frames, good_percent,
      consistent_frames, consistent_percent (NaN when written as n/a),
      exited_at_frame (None unless the run stopped early) and ignored_frames.
    frames: DataFrame of the short shape table (columns as in read_wxd,
      fewer features).
    features: DataFrame of the statistics blocks, one row per feature and
      movement class ("all" = every class); form is "boxplot" or "dist";
      mean, min, max and the quantiles qNN that the form gives (others NaN),
      in the feature's unit (see UNITS).
    """
    summary: dict
    frames: pd.DataFrame
    features: pd.DataFrame


def _read_summary(lines):
    summary = {"exited_at_frame": None, "ignored_frames": 0}
    no = 1
    for key, pattern, required in _SUMMARY:
        text = lines.line(no) if no <= len(lines) else None
        m = pattern.match(text) if text is not None else None
        if not m:
            if required:
                raise lines.error(min(no, max(len(lines), 1)),
                                  f"expected the run summary line for {key}")
            continue
        summary[key] = int(m.group(1))
        if m.lastindex == 2:
            summary[key.replace("_frames", "_percent")] = number(m.group(2), lines, no, key)
        no += 1
    return summary, no


def _short_row(text, lines, no):
    m = _CONSISTENT.match(text)
    if m:
        g = m.groups()
        row = frame_row(int(g[0]), True, False, g[-1], lines, no)
        for name, value in zip(("head_x", "head_y", "mid_x", "mid_y", "tail_x", "tail_y",
                                "numsklpts", "cutpnums"), g[1:9]):
            row[name] = float(value)
        for name, value in zip(_SHORT_VALUES, g[9:-1]):
            row[name] = number(value, lines, no, name)
        return row
    m = _INCONSISTENT.match(text)
    if m:
        return frame_row(int(m.group(1)), False, False, m.group(2), lines, no)
    m = _IGNORED.match(text)
    if m:
        return frame_row(int(m.group(1)), False, True, "IGNORED", lines, no)
    raise lines.error(no, f"malformed table row {text[:60]!r}")


def _stat_row(feature, m, lines, no):
    row = {"feature": feature, "movement": _CLASSES[m.group(1)]}
    if m.group(2) is None:
        return row  # a class without values, listed by name only
    form = m.group(3)
    values = m.group(4).split(" ")
    names = ["min", *_QUANTILES[form], "max"]
    if len(values) != len(names):
        raise lines.error(no, f"{feature}: expected {len(names)} values after '{form}:', "
                              f"found {len(values)}")
    row["form"] = form
    row["mean"] = number(m.group(2), lines, no, f"{feature} mean")
    for name, value in zip(names, values):
        row[name] = number(value, lines, no, f"{feature} {name}")
    return row


def _read_features(lines, no):
    rows, names = [], []
    while no <= len(lines):
        if lines.line(no) != "":
            raise lines.error(no, "expected an empty line before a feature block")
        no += 1
        if no > len(lines):
            break
        name = lines.line(no)
        expected = FEATURES[len(names)] if len(names) < len(FEATURES) else None
        if name != f"{expected}:":
            raise lines.error(no, f"expected feature block {expected!r}, found {name[:40]!r}")
        names.append(expected)
        no += 1
        while no <= len(lines) and lines.line(no).startswith(" "):
            m = _STAT_ROW.match(lines.line(no))
            if not m:
                raise lines.error(no, f"malformed statistics row {lines.line(no)[:60]!r}")
            rows.append(_stat_row(expected, m, lines, no))
            no += 1
    if len(names) != len(FEATURES):
        raise lines.error(len(lines), f"feature statistics end after {len(names)} of "
                                      f"{len(FEATURES)} features (file truncated?)")
    lines.require_final_newline()
    df = pd.DataFrame(rows, columns=STAT_COLUMNS)
    for c in STAT_COLUMNS[3:]:
        df[c] = df[c].astype(float)
    return df


def read_wxo(path):
    """Reads NAME-wxo.txt into a WxoContents."""
    lines = Lines(path)
    summary, no = _read_summary(lines)
    if no > len(lines) or lines.line(no) != "":
        raise lines.error(min(no, max(len(lines), 1)),
                          "expected an empty line before the table header")
    if no + 1 > len(lines) or lines.line(no + 1) != WXO_HEADER:
        raise lines.error(min(no + 1, len(lines)), "table header missing or changed")
    no += 2
    rows = []
    while no <= len(lines) and lines.line(no).startswith("#"):
        rows.append(_short_row(lines.line(no), lines, no))
        no += 1
    frames = finish_frame_table(rows, SHORT_COLUMNS)
    frames.loc[frames["disp"] == -1.0, "disp"] = float("nan")
    features = _read_features(lines, no)
    features.attrs["units"] = {f: UNITS.get(f, "") for f in FEATURES}
    return WxoContents(summary, frames, features)
