"""Reader of the check file NAME-checks.csv: what the checks of a run found.

The analyser writes the file on every run, its header line alone when
nothing was found; a run's folder without it was not checked (made by an
earlier version). One row per finding:

check         "head": head and tail of a stretch of frames lie the other way
              round from what the run's evidence says
first_frame, last_frame   the stretch (movie frame numbers)
frames        consistent frames in it
seconds       its length
brightness, head_swing, body_wave, travel, evidence
              each cue's weighed evidence for the head as written, and their
              sum: negative speaks against it
"""

import pandas as pd

from .textio import Lines, integer, number

CHECK_COLUMNS = ("check", "first_frame", "last_frame", "frames", "seconds", "brightness",
                 "head_swing", "body_wave", "travel", "evidence")
_INTEGERS = ("first_frame", "last_frame", "frames")
UNITS = {"first_frame": "frame number", "last_frame": "frame number", "frames": "frames",
         "seconds": "s"}


def read_checks(path):
    """The rows of a check file as a DataFrame (columns CHECK_COLUMNS, an
    empty frame when nothing was found). Raises ResultFileError naming the
    file and line when it is malformed, FileNotFoundError when missing."""
    lines = Lines(path)
    if not len(lines) or lines.line(1) != ",".join(CHECK_COLUMNS):
        raise lines.error(1, "not a check file: unexpected header")
    lines.require_final_newline()
    rows = []
    for no, text in lines.numbered(2):
        fields = text.split(",")
        if len(fields) != len(CHECK_COLUMNS):
            raise lines.error(no, f"expected {len(CHECK_COLUMNS)} comma-separated fields, "
                                  f"found {len(fields)}")
        if not fields[0]:
            raise lines.error(no, "check: empty")
        row = {"check": fields[0]}
        for name, value in zip(CHECK_COLUMNS[1:], fields[1:]):
            row[name] = (integer(value, lines, no, name) if name in _INTEGERS
                         else number(value, lines, no, name))
        rows.append(row)
    df = pd.DataFrame(rows, columns=list(CHECK_COLUMNS))
    df = df.astype({c: ("int64" if c in _INTEGERS else float) for c in CHECK_COLUMNS[1:]})
    df["check"] = df["check"].astype(object)
    df.attrs["units"] = dict(UNITS)
    return df


def head_check_lines(checks):
    """One line of text per head check row: frames, length and evidence."""
    return [f"frames {r.first_frame}-{r.last_frame} ({r.frames} consistent frames, "
            f"{r.seconds:.2f} s): evidence {r.evidence:+.2f} against the head written "
            f"(brightness {r.brightness:+.2f}, head swing {r.head_swing:+.2f}, "
            f"body wave {r.body_wave:+.2f}, travel {r.travel:+.2f})"
            for r in checks[checks["check"] == "head"].itertuples(index=False)]
