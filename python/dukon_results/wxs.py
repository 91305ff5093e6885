"""Reader of NAME-wxs.txt: the movement segments and the behaviour summary."""

import re
from dataclasses import dataclass

import pandas as pd

from .textio import Lines, number

_COMPRESSED = re.compile(
    r"^Movements compressed from (\d+) elements to (\d+) elements \(reduction of (\S+)%\)$")
_SEGMENT = re.compile(r"^(-?\d+)-(-?\d+): (.*)$")
_BODY = re.compile(
    r"^(reversal )?(forward |backward )?(?:omega \(@#(\S+)\) )?"
    r"(?:pause|distance of (\S+) at angle (\S+) at speed (\S+))$")
_X = r"(\S+)"

# (key(s), pattern, required) of the summary block, in file order; "" is an
# empty line. Rates are per minute, shares in percent of the segments'
# frames, speeds in mm/s, distances in px.
_SUMMARY = [
    ((), "", True),
    (("pause_rate", "pause_count"), rf"pause rate: {_X} per minute \((-?\d+) total\)", True),
    (("pause_time_percent", "pause_frames"), rf"% time in pause:  {_X}% \((-?\d+) frames\)",
     True),
    (("omega_rate", "omega_count"), rf"omega rate: {_X} per minute \((-?\d+) total\)", True),
    (("omega_time_percent", "omega_frames"), rf"% time in omega:  {_X}% \((-?\d+) frames\)",
     True),
    (("loop_rate", "loop_count"), rf"loop rate: {_X} per minute \((-?\d+) total\)", True),
    (("loop_time_percent", "loop_frames"), rf"% time in loop:  {_X}% \((-?\d+) frames\)", True),
    ((), "", True),
    (("forward_time_percent",), rf"% time moving forward:  {_X}%", True),
    (("backward_time_percent",), rf"% time moving backward: {_X}%", True),
    (("speed",), rf"average fwd/bwd speed: {_X}", True),
    (("forward_speed",), rf"average forward speed \(excl\. omega\):  {_X}", True),
    (("backward_speed",), rf"average backward speed \(excl\. omega\): {_X}", True),
    (("reversal_rate", "reversal_count"), rf"reversals rate: {_X} per minute \((-?\d+) total\)",
     True),
    (("forward_movement_percent", "forward_distance_percent"),
     rf"forward is {_X}% of movement, {_X}% of distance moved", False),
    (("backward_movement_percent", "backward_distance_percent"),
     rf"backward is {_X}% of movement, {_X}% of distance moved", False),
    ((), "", True),
    (("path_distance",), rf"distance from start point to end point: {_X}", True),
    (("accumulated_distance",),
     rf"accumulated distance \(sum of non-pause move segments\): {_X}", True),
    (("roam_ratio",), rf"roam ratio \(0-1\): {_X}", True),
]
_SUMMARY = [(keys, re.compile(f"^{p}$"), req) for keys, p, req in _SUMMARY]

SEGMENT_COLUMNS = ["start_frame", "end_frame", "frames", "movement", "direction", "reversal",
                   "omega", "omega_frame", "pause", "loop", "distance", "angle", "speed"]


@dataclass
class BehaviourReport:
    """Everything in one wxs.txt.

    segments: DataFrame, one row per movement segment: start_frame,
      end_frame, frames (their difference), movement (forward, backward,
      pause, omega or loop, as the frames are labelled), direction (+1, -1,
      0 for a pause or loop), reversal, omega, omega_frame (frame of the
      bend, NaN if unknown), pause, loop, distance (px), angle (degrees,
      counter-clockwise from the image's +x axis), speed (mm/s); NaN where a
      segment kind has no such value.
    summary: dict of the report's figures: segments_before, segments_after,
      reduction_percent; pause/omega/loop/reversal _rate (per minute) and
      _count; pause/omega/loop _time_percent and _frames;
      forward/backward_time_percent; speed, forward_speed, backward_speed
      (mm/s); forward/backward _movement_percent and _distance_percent;
      path_distance and accumulated_distance (px); roam_ratio. Every figure
      written as n/a, or left out, is NaN.
    """
    segments: pd.DataFrame
    summary: dict


def _segment(m, lines, no):
    start, end, body = int(m.group(1)), int(m.group(2)), m.group(3)
    row = {"start_frame": start, "end_frame": end, "frames": end - start, "reversal": False,
           "omega": False, "pause": False, "loop": body == "loop", "direction": 0}
    if row["loop"]:
        row["movement"] = "loop"
        return row
    b = _BODY.match(body)
    if not b:
        raise lines.error(no, f"malformed segment line {body[:60]!r}")
    row["reversal"] = b.group(1) is not None
    if b.group(2):
        row["direction"] = 1 if b.group(2) == "forward " else -1
    row["omega"] = b.group(3) is not None
    if row["omega"]:
        row["omega_frame"] = number(b.group(3), lines, no, "omega frame")
    row["pause"] = b.group(4) is None
    if not row["pause"]:
        row["distance"] = number(b.group(4), lines, no, "distance")
        row["angle"] = number(b.group(5), lines, no, "angle")
        row["speed"] = number(b.group(6), lines, no, "speed")
    movement = "backward" if row["direction"] == -1 else "forward"
    if row["pause"]:
        movement = "pause"
    if row["omega"]:
        movement = "omega"
    row["movement"] = movement
    return row


def _summary_block(lines, no, summary):
    for keys, pattern, required in _SUMMARY:
        m = pattern.match(lines.line(no)) if no <= len(lines) else None
        if not m:
            if required:
                where = min(no, max(len(lines), 1))
                want = keys[0] if keys else "an empty line"
                raise lines.error(where, f"expected {want} in the behaviour summary"
                                         + (" (file truncated?)" if no > len(lines) else ""))
            for k in keys:
                summary[k] = float("nan")
            continue
        for k, text in zip(keys, m.groups()):
            summary[k] = int(text) if k.endswith(("_count", "_frames")) else \
                number(text, lines, no, k)
        no += 1
    if no <= len(lines):
        raise lines.error(no, "unexpected text after the behaviour summary")
    lines.require_final_newline()


def read_wxs(path):
    """Reads NAME-wxs.txt into a BehaviourReport."""
    lines = Lines(path)
    m = _COMPRESSED.match(lines.line(1)) if len(lines) else None
    if not m:
        raise lines.error(1, "expected the 'Movements compressed from' line")
    summary = {"segments_before": int(m.group(1)), "segments_after": int(m.group(2)),
               "reduction_percent": number(m.group(3), lines, 1, "reduction")}
    if len(lines) < 2 or lines.line(2) != "":
        raise lines.error(min(2, len(lines)), "expected an empty line after the first line")
    rows, no = [], 3
    while no <= len(lines) and lines.line(no) != "":
        s = _SEGMENT.match(lines.line(no))
        if not s:
            raise lines.error(no, f"expected a segment line, found {lines.line(no)[:60]!r}")
        rows.append(_segment(s, lines, no))
        no += 1
    _summary_block(lines, no, summary)
    segments = pd.DataFrame(rows, columns=SEGMENT_COLUMNS)
    for c in ("distance", "angle", "speed", "omega_frame"):
        segments[c] = segments[c].astype(float)
    for c in ("reversal", "omega", "pause", "loop"):
        segments[c] = segments[c].astype(bool)
    for c in ("start_frame", "end_frame", "frames", "direction"):
        segments[c] = segments[c].astype("int64")
    segments.attrs["units"] = {"distance": "world px", "angle": "deg", "speed": "mm/s",
                               "frames": "frames"}
    return BehaviourReport(segments, summary)
