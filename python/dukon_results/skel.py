"""Reader of NAME-skel.csv: every frame's skeleton chain."""

import re

import pandas as pd

from .errors import ResultFileError
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
    df.attrs["units"] = {"x": "frame px", "y": "frame px", "frame": "frame number"}
    return df


# The same file read as a stream, chain by chain, for the readers that must
# not hold every point of a long run at once (the posture columns, WCON).

_FRAME_PREFIX = b"Frame number: "
_CHUNK = 1 << 22  # bytes of skel.csv read at a time
_FRAME_LINE = re.compile(rb"^Frame number: (.*)$", re.M)
_POINT_LINES = re.compile(rb"(?:-?[0-9]+,-?[0-9]+\r?\n)*")


def _frame_number(text, path, no):
    try:
        return int(text)
    except ValueError:
        raise ResultFileError(path, no, f"bad frame line {_shown(_FRAME_PREFIX + text)!r}") \
            from None


def _shown(line):
    return line[:40].decode("latin-1").rstrip("\r\n")


def _whole_lines(f):
    """Yields the file from its current position in pieces of whole lines;
    raises _Truncated when the last line has no line end."""
    tail = b""
    while True:
        chunk = f.read(_CHUNK)
        if not chunk:
            if tail:
                raise _Truncated()
            return
        data = tail + chunk
        cut = data.rfind(b"\n") + 1
        tail = data[cut:]
        if cut:
            yield data[:cut]


class _Truncated(Exception):
    """The file ends inside a line."""


def _last_run_start(f, path):
    """(byte offset, line number) of the first line of the latest run in
    skel.csv (a run starts where the frame number does not grow). Raises
    ResultFileError when the last line lacks its line end."""
    offset, lines, previous, start, start_line = 0, 0, None, 0, 1
    try:
        for piece in _whole_lines(f):
            at = 0  # lines of the piece before `at` are counted in `lines`
            for m in _FRAME_LINE.finditer(piece):
                lines += piece.count(b"\n", at, m.start())
                at = m.start()
                frame = _frame_number(m.group(1), path, lines + 1)
                if previous is not None and frame <= previous:
                    start, start_line = offset + m.start(), lines + 1
                previous = frame
            offset += len(piece)
            lines += piece.count(b"\n", at)
    except _Truncated:
        raise ResultFileError(path, lines + 1, "last line has no line end (file truncated?)") \
            from None
    return start, start_line


def _bad_point_line(body, path, first_no):
    """The error for the first malformed line of a block's point lines."""
    for no, line in enumerate(body.split(b"\n"), start=first_no):
        if not _POINT_LINES.fullmatch(line + b"\n"):
            return ResultFileError(path, no, "expected 'Frame number: N' or 'x,y', "
                                             f"found {_shown(line)!r}")
    return ResultFileError(path, first_no, "malformed point lines")


def _chain(block, path, no):
    """(frame, xs, ys) of one record's text: its 'Frame number:' line and
    point lines, starting at line `no`."""
    end = block.index(b"\n")
    frame = _frame_number(block[len(_FRAME_PREFIX):end], path, no)
    body = block[end + 1:]
    if not body:
        return frame, [], []
    if not _POINT_LINES.fullmatch(body):
        raise _bad_point_line(body, path, no + 1)
    values = list(map(int, body.replace(b"\n", b",").split(b",")[:-1]))
    return frame, values[0::2], values[1::2]


def iter_chains(path):
    """Yields (frame, xs, ys) for every record of the latest run in
    NAME-skel.csv, in file order; xs and ys are lists of int (frame pixels),
    empty for a frame without a chain. Reads the file twice, in pieces of a
    few MB. Raises ResultFileError for a malformed line."""
    path = str(path)
    with open(path, "rb") as f:
        start, no = _last_run_start(f, path)
        f.seek(start)
        carry, first = b"", True
        for piece in _whole_lines(f):
            data = carry + piece
            starts = [m.start() for m in _FRAME_LINE.finditer(data)]
            if first and (not starts or starts[0] > 0):
                raise ResultFileError(path, no, "point before the first 'Frame number:' line")
            first = False
            # Every piece after the first starts with the carried frame line.
            for a, b in zip(starts, starts[1:]):
                yield _chain(data[a:b], path, no)
                no += data.count(b"\n", a, b)
            carry = data[starts[-1]:]
        if carry:
            yield _chain(carry, path, no)
