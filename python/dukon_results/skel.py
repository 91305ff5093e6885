"""Reader of NAME-skel.csv: every frame's skeleton chain.

The analyser appends one entry ("Frame number: N" and the chain's points)
per analysed frame to skel.csv, run after run, with no mark where a run
starts. The readers keep the latest run only: its entries are the last N
of the file, N being the frames that run analysed ("Real frames (key)
extracted: N" in the NAME-wxo.txt beside it); without that file, the latest
run starts after the last frame number that does not grow. A second run
with fframe just after the first run's lframe is told apart only by N.
"""

import bisect
import re
import warnings
from array import array

import pandas as pd

from .errors import ResultFileError
from .textio import Lines

_FRAME = re.compile(r"^Frame number: (-?\d+)$")
_POINT = re.compile(r"^(-?\d+),(-?\d+)$")
_REAL_FRAMES = re.compile(r"^Real frames \(key\) extracted: (\d+)$")
_SUMMARY_LINES = 40  # the run summary and table header of wxo.txt fit in these


class EarlierRunsSkipped(UserWarning):
    """skel.csv holds entries of earlier runs before the latest one; the
    readers skipped them."""


def latest_run_extent(skel_path):
    """(entries, first frame) of the latest run whose chains `skel_path`
    (NAME-skel.csv) holds, from the NAME-wxo.txt beside it: the number of
    frames that run analysed, and the frame number of its first row (None
    when it analysed none). None when that file is missing or does not hold
    the count."""
    path = str(skel_path)
    if not path.endswith("-skel.csv"):
        return None
    entries = first = None
    try:
        with open(path[:-len("skel.csv")] + "wxo.txt", encoding="latin-1") as f:
            for no, text in zip(range(_SUMMARY_LINES), f):
                m = _REAL_FRAMES.match(text.rstrip("\r\n"))
                if m:
                    entries = int(m.group(1))
                elif entries is not None and text.startswith("#"):
                    first = text[1:].split(" ", 1)[0]
                    break
    except OSError:
        return None
    if entries is None:
        return None
    return entries, int(first) if first and first.lstrip("-").isdigit() else None


def _latest_run_start(frames, lines, path, extent):
    """Index of the first entry of the latest run among the entries whose
    frame numbers are `frames` (at line numbers `lines`) of the file `path`,
    by the module's rule; `extent` is latest_run_extent() of the file.
    Raises ResultFileError when the file's last entries cannot be that run's."""
    breaks = [i for i in range(1, len(frames)) if frames[i] <= frames[i - 1]]
    start = breaks[-1] if breaks else 0
    if extent is None:
        return start
    entries, first = extent
    wxo = path[:-len("skel.csv")] + "wxo.txt"
    if entries > len(frames) - start:
        raise ResultFileError(path, None, f"the last run analysed {entries} frames ({wxo}), "
                              f"but its block here holds {len(frames) - start} entries "
                              "(file cut short, or files of different runs?)")
    start = len(frames) - entries
    if first is not None and start < len(frames) and frames[start] != first:
        raise ResultFileError(path, lines[start], f"the last run's entries start at frame "
                              f"{frames[start]}, that run at frame {first} ({wxo})")
    return start


def _warn_skipped(path, skipped, entries):
    if skipped:
        warnings.warn(f"{path}: skipped {skipped} entries of earlier runs; read the last "
                      f"run's {entries - skipped}", EarlierRunsSkipped, stacklevel=3)


def read_skeletons(path, last_run_only=True):
    """The skeleton chains, one row per chain point.

    Columns: run (0 for the first run in the file, the latest run last; see
    the module's note on how runs are told apart), frame, point (index along
    the chain, from the head once the head is known), x, y (frame pixels,
    not world positions). Frames without a chain have no rows. With
    `last_run_only` only the latest run is returned, and an
    EarlierRunsSkipped warning tells how many entries were skipped. Raises
    ResultFileError for a malformed line, or when the entries at the end do
    not fit the run of the wxo.txt beside the file.
    """
    lines = Lines(path)
    lines.require_final_newline()
    rows, frames, frame_lines = [], [], []
    point = 0
    for no, text in lines.numbered():
        m = _FRAME.match(text)
        if m:
            frames.append(int(m.group(1)))
            frame_lines.append(no)
            point = 0
            continue
        p = _POINT.match(text)
        if not p:
            raise lines.error(no, f"expected 'Frame number: N' or 'x,y', found {text[:40]!r}")
        if not frames:
            raise lines.error(no, "point before the first 'Frame number:' line")
        rows.append((len(frames) - 1, frames[-1], point, int(p.group(1)), int(p.group(2))))
        point += 1
    try:
        start = _latest_run_start(frames, frame_lines, lines.path, latest_run_extent(lines.path))
    except ResultFileError:
        if last_run_only:
            raise
        start = _latest_run_start(frames, frame_lines, lines.path, None)  # every run wanted
    # Entry indices where a run starts, the first run's aside.
    starts = sorted(({i for i in range(1, len(frames)) if frames[i] <= frames[i - 1]}
                     | {start}) - {0})
    if last_run_only:
        _warn_skipped(lines.path, start, len(frames))
        rows = [row for row in rows if row[0] >= start]
    rows = [(bisect.bisect_right(starts, entry), *rest) for entry, *rest in rows]
    df = pd.DataFrame(rows, columns=["run", "frame", "point", "x", "y"]).astype("int64")
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


def _entries(f, path):
    """(byte offsets, line numbers, frame numbers) of every "Frame number:"
    line of skel.csv, read from its start. Raises ResultFileError when the
    last line lacks its line end."""
    offsets, numbers, frames = array("q"), array("q"), array("q")
    offset, lines = 0, 0
    try:
        for piece in _whole_lines(f):
            at = 0  # lines of the piece before `at` are counted in `lines`
            for m in _FRAME_LINE.finditer(piece):
                lines += piece.count(b"\n", at, m.start())
                at = m.start()
                frames.append(_frame_number(m.group(1), path, lines + 1))
                offsets.append(offset + m.start())
                numbers.append(lines + 1)
            offset += len(piece)
            lines += piece.count(b"\n", at)
    except _Truncated:
        raise ResultFileError(path, lines + 1, "last line has no line end (file truncated?)") \
            from None
    return offsets, numbers, frames


def _bad_point_line(body, path, first_no):
    """The error for the first malformed line of a block's point lines."""
    for no, line in enumerate(body.split(b"\n"), start=first_no):
        if not _POINT_LINES.fullmatch(line + b"\n"):
            return ResultFileError(path, no, "expected 'Frame number: N' or 'x,y', "
                                             f"found {_shown(line)!r}")
    return ResultFileError(path, first_no, "malformed point lines")


def _check_lines(f, path):
    """Raises ResultFileError for the first line of the file that is neither
    a frame line nor a point."""
    f.seek(0)
    no = 0
    for piece in _whole_lines(f):
        for line in piece.split(b"\n")[:-1]:
            no += 1
            if not line.startswith(_FRAME_PREFIX) and not _POINT_LINES.fullmatch(line + b"\n"):
                raise ResultFileError(path, no, "expected 'Frame number: N' or 'x,y', "
                                                f"found {_shown(line)!r}")


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
    few MB. Earlier runs are skipped as read_skeletons skips them, with the
    same warning and errors; ResultFileError also for a malformed line."""
    path = str(path)
    with open(path, "rb") as f:
        offsets, numbers, frames = _entries(f, path)
        try:
            skipped = _latest_run_start(frames, numbers, path, latest_run_extent(path))
        except ResultFileError:
            _check_lines(f, path)  # a malformed line is the likelier cause: name it
            raise
        _warn_skipped(path, skipped, len(frames))
        if skipped == len(frames) and skipped:
            return  # the latest run analysed no frame
        # From the file's start when nothing is skipped, so that points
        # before the first frame line are reported.
        start, no = (offsets[skipped], numbers[skipped]) if skipped else (0, 1)
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
