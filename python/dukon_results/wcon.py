"""dukon-wcon: one run's skeletons as a WCON file.

WCON (Worm tracker Commons Object Notation) is the JSON format in which
worm trackers exchange their data. `write_wcon` turns the output folder of
one run into NAME.wcon (or NAME.wcon.zip holding it):

- "units": t in s; x, y, cx, cy in mm; the movie frame number "1"; the
  eigenworm projections (when the posture module is there) in radians.
- "metadata": the movie name as id, "timestamp" (ISO 8601, local time) from
  the run header of the parameters copy, which holds the time of the
  analysis, not of the recording; "software" DUKON with its version and the
  parameters of the run as "settings"; "@DUKON" with the movie, the source of
  the world positions and the export step.
- "data": one record: "id" the movie name; "t" seconds from the first
  analysed frame, one entry per row of wxd.txt (every analysed frame,
  ignored ones included); "cx", "cy" the centre of mass; "x", "y" the
  centreline of each frame, head first, in world coordinates; "head" "L"
  where a frame has points, "?" where it has none; "@DUKON" the per-frame
  "frame", "movement" (class name or null), "reversal", "consistent",
  "centreline" (where the points come from: "chain", "fitted", "none", or
  null for a frame without a centreline row) and, when available, "eigen1"
  .. "eigen7".

Which frames carry points: centreline.csv holds every analysed frame's
centreline in world pixels, 49 points head first: a consistent frame's
chain, or the body model fitted where the chain failed (coils, omega turns,
touching bodies); frames with neither ("none", ignored) get empty point
arrays. A run made before the analysis wrote centreline.csv is exported
from skel.csv instead, which holds each chain in frame pixels while only
consistent frames have their world head and tail in wxd.txt: a consistent
frame's world offset is its world head minus its first chain point, checked
against the tail, and its chain is exported head first; every other frame
gets empty point arrays. No point is ever invented. Missing values are
written as null.

Numbers are rounded to fixed decimals: positions to 4 decimals of a
millimetre (0.1 um; a frame pixel is several um), times to 5 decimals of a
second, projections to 4 decimals of a radian; trailing zeros are dropped.

The file is written as it is read: the centrelines (or chains) stream frame by
frame, x straight into the output and y through a temporary file beside it
that is appended afterwards. Only per-frame scalars are held in memory.
"""

import argparse
import io
import json
import math
import re
import shutil
import sys
import tempfile
import zipfile
from dataclasses import dataclass, field
from datetime import datetime
from pathlib import Path

import numpy as np

from .errors import ResultFileError
from .files import replace_atomically
from .centreline import iter_centrelines
from .run import Run
from .skel import iter_chains
from .tables import read_wxd

CUSTOM_KEY = "@DUKON"
MM_DECIMALS = 4
TIME_DECIMALS = 5
EIGEN_DECIMALS = 4
VALUES_PER_LINE = 20  # line wrapping of the per-frame scalar arrays

_POSITION_SOURCES = {"stage": "stage log"}
# Unit names of the readers mapped to the WCON spellings.
_WCON_UNITS = {"rad": "radians", "deg": "degrees"}


def number_text(value, decimals):
    """`value` as a JSON number rounded to `decimals` decimals, trailing
    zeros dropped; "null" for None, NaN and infinities."""
    if value is None:
        return "null"
    value = float(value)
    if not math.isfinite(value):
        return "null"
    text = f"{value:.{decimals}f}"
    if "." in text:
        text = text.rstrip("0").rstrip(".")
    return "0" if text == "-0" else text


class _MillimetreText(dict):
    """Cache: world position in whole frame pixels -> its text in mm.

    Chain points are whole pixels, so every position is formatted once."""

    def __init__(self, mmpix):
        super().__init__()
        self.mmpix = mmpix

    def __missing__(self, px):
        text = number_text(px / self.mmpix, MM_DECIMALS)
        self[px] = text
        return text


def _matched(frames, chains):
    """The chain of each frame of `frames` (in order) from the frame-ordered
    `chains`, or None when skel.csv has no record of that frame."""
    current = next(chains, None)
    for frame in frames:
        while current is not None and current[0] < frame:
            current = next(chains, None)
        yield current if current is not None and current[0] == frame else None


def head_first(ends, xs, ys):
    """(xs, ys, dx, dy): the chain head first and the frame's world offset in
    pixels, from `ends` = world (head_x, head_y, tail_x, tail_y); None when
    neither chain end lies at the head with the other at the tail."""
    if not xs:
        return None
    hx, hy, tx, ty = ends
    dx, dy = hx - xs[0], hy - ys[0]
    if (tx - xs[-1], ty - ys[-1]) == (dx, dy):
        return xs, ys, dx, dy
    dx, dy = hx - xs[-1], hy - ys[-1]
    if (tx - xs[0], ty - ys[0]) == (dx, dy):
        return xs[::-1], ys[::-1], dx, dy
    return None


# ---------------------------------------------------------------- posture

def _posture():
    """(project, names, unit) for the eigenworm projections, project taking
    a head-first chain ((k, 2) array, px) to its values or None; None when
    the posture module or its basis is not available."""
    try:
        from . import posture
        basis = posture.load_basis()
    except (ImportError, OSError, ValueError):
        return None

    def project(chain):
        try:
            return posture.project(posture.tangent_angles(chain), basis)
        except ValueError:
            return None  # a chain of one point has no posture

    unit = _WCON_UNITS.get(posture.UNIT, posture.UNIT)
    return project, list(posture.EIGEN_COLUMNS), unit


# ---------------------------------------------------------------- header

def iso_timestamp(ctime_text):
    """The run header's local time ("Wed Dec  9 05:15:13 2026") in ISO 8601,
    or None when it cannot be read."""
    try:
        return datetime.strptime(" ".join(str(ctime_text).split()),
                                 "%a %b %d %H:%M:%S %Y").isoformat()
    except ValueError:
        return None


def _json_safe(value):
    if isinstance(value, float) and not math.isfinite(value):
        return None
    if isinstance(value, list):
        return [_json_safe(v) for v in value]
    return value


def _settings(params):
    return {k: _json_safe(v) for k, v in params.items() if k not in ("version", "analyzed_on")}


def _header(name, params, eigen):
    """The "units" and "metadata" members as JSON text."""
    units = {"t": "s", "x": "mm", "y": "mm", "cx": "mm", "cy": "mm", "frame": "1"}
    if eigen:
        units.update({c: eigen[2] for c in eigen[1]})
    track = str(params.get("track", "stage"))
    moviedir, moviename = params.get("moviedir", ""), params.get("moviename", name)
    metadata = {"id": name}
    stamp = iso_timestamp(params.get("analyzed_on"))
    if stamp:
        metadata["timestamp"] = stamp
    metadata["software"] = {"name": "DUKON", "version": params.get("version", ""),
                            "settings": _settings(params)}
    metadata[CUSTOM_KEY] = {
        "movie": f"{moviedir}{moviename}.avi",
        "world_positions": _POSITION_SOURCES.get(track, "image motion"),
        "analyzed_on": params.get("analyzed_on", ""),
        "timestamp_is": "time of the analysis",
        "exported_by": "dukon-wcon",
    }
    units_text = json.dumps(units, allow_nan=False, ensure_ascii=False)
    metadata_text = json.dumps(metadata, allow_nan=False, ensure_ascii=False, indent=1)
    return f'"units":{units_text},\n"metadata":{metadata_text},\n'


def _array(texts):
    """A JSON array of already formatted items, VALUES_PER_LINE per line."""
    lines = [",".join(texts[i:i + VALUES_PER_LINE])
             for i in range(0, len(texts), VALUES_PER_LINE)]
    return "[" + ",\n".join(lines) + "]"


# ---------------------------------------------------------------- export

@dataclass
class WconFile:
    """What write_wcon wrote: the file, the number of time points, how many
    of them carry a skeleton, and notes on what could not be exported."""
    path: Path
    frames: int = 0
    skeleton_frames: int = 0
    notes: list = field(default_factory=list)


def _positive(params, key, path):
    try:
        value = float(params[key])
    except (KeyError, TypeError, ValueError):
        value = math.nan
    if not value > 0:
        raise ResultFileError(path, None, f"no usable {key} in the parameters copy")
    return value


class _Export:
    """One run's data, read and checked before anything is written."""

    def __init__(self, run):
        self.run = run
        self.params = run.params
        params_path = run.path("params.txt")
        self.fps = _positive(self.params, "frmps", params_path)
        self.mmpix = _positive(self.params, "mmpix", params_path)
        table = read_wxd(run.path("wxd.txt"))
        frames = table["frame"].to_numpy()
        if len(frames) > 1 and not (np.diff(frames) > 0).all():
            raise ResultFileError(run.path("wxd.txt"), None, "frame numbers do not increase")
        self.table = table
        self.eigen = _posture()
        self.centreline_path = run.path("centreline.csv")
        self.skel_path = run.path("skel.csv")
        if not self.centreline_path.is_file():
            self.centreline_path = None
            if not self.skel_path.is_file():
                raise FileNotFoundError(f"{self.skel_path}: no such file")
        self.sources = [None] * len(table)

    def _scalars(self, column, scale=1.0, shift=0.0, decimals=MM_DECIMALS):
        return [number_text((v - shift) / scale, decimals)
                for v in self.table[column].to_numpy(dtype=float)]

    def _centreline_rows(self, text, spool):
        """Writes the x rows of centreline.csv's points to `text` and the y
        rows to `spool` (bytes); returns the per-frame "has points" flags and
        the projections, and notes every frame's source."""
        t = self.table
        placed = np.zeros(len(t), dtype=bool)
        eigen = np.full((len(t), len(self.eigen[1]) if self.eigen else 0), np.nan)
        mm = lambda values: ",".join(number_text(v / self.mmpix, MM_DECIMALS)  # noqa: E731
                                     for v in values)
        rows = _matched(t["frame"].tolist(), iter_centrelines(self.centreline_path))
        for i, c in enumerate(rows):
            sep = "" if i == 0 else ",\n"
            self.sources[i] = c.source if c is not None else None
            if c is None or not c.xs:
                text.write(sep + "[]")
                spool.write((sep + "[]").encode())
                continue
            placed[i] = True
            text.write(sep + "[" + mm(c.xs) + "]")
            spool.write((sep + "[" + mm(c.ys) + "]").encode())
            if self.eigen:
                values = self.eigen[0](np.column_stack((c.xs, c.ys)))
                if values is not None:
                    eigen[i] = values
        return placed, eigen

    def _chain_rows(self, text, spool, result):
        """Writes the x rows to `text` and the y rows to `spool` (bytes);
        returns the per-frame "has points" flags and the projections."""
        if self.centreline_path is not None:
            return self._centreline_rows(text, spool)
        t = self.table
        ends = t[["head_x", "head_y", "tail_x", "tail_y"]].to_numpy(dtype=float)
        ok = t["ok"].to_numpy(dtype=bool)
        mm = _MillimetreText(self.mmpix)
        placed = np.zeros(len(t), dtype=bool)
        eigen = np.full((len(t), len(self.eigen[1]) if self.eigen else 0), np.nan)
        unplaced = 0
        chains = _matched(t["frame"].tolist(), iter_chains(self.skel_path))
        for i, chain in enumerate(chains):
            found = None
            if ok[i] and chain is not None:
                found = head_first(tuple(int(v) for v in ends[i]), chain[1], chain[2])
            sep = "" if i == 0 else ",\n"
            if found is None:
                unplaced += bool(ok[i])
                text.write(sep + "[]")
                spool.write((sep + "[]").encode())
                continue
            xs, ys, dx, dy = found
            placed[i] = True
            self.sources[i] = "chain"
            text.write(sep + "[" + ",".join([mm[x + dx] for x in xs]) + "]")
            spool.write((sep + "[" + ",".join([mm[y + dy] for y in ys]) + "]").encode())
            if self.eigen:
                values = self.eigen[0](np.column_stack((xs, ys)).astype(float))
                if values is not None:
                    eigen[i] = values
        if unplaced:
            result.notes.append(f"{unplaced} consistent frame(s) without a matching chain in "
                                f"{self.skel_path.name}: exported without points")
        return placed, eigen

    def write(self, raw, spool_dir, result):
        """Writes the whole document as UTF-8 to the binary stream `raw`."""
        t = self.table
        first = int(t["frame"].iloc[0]) if len(t) else 0
        text = io.TextIOWrapper(raw, encoding="utf-8", newline="\n")
        text.write("{\n" + _header(self.run.name, self.params, self.eigen))
        text.write('"data":[{\n"id":' + json.dumps(self.run.name, ensure_ascii=False) + ",\n")
        text.write('"t":' + _array(self._scalars("frame", self.fps, first, TIME_DECIMALS)) + ",\n")
        # The centre of mass counts rows and columns from 1; the chains from 0.
        text.write('"cx":' + _array(self._scalars("cmass_x", self.mmpix, 1.0)) + ",\n")
        text.write('"cy":' + _array(self._scalars("cmass_y", self.mmpix, 1.0)) + ",\n")
        with tempfile.TemporaryFile(dir=spool_dir, prefix=".wcon-y-") as spool:
            text.write('"x":[\n')
            placed, eigen = self._chain_rows(text, spool, result)
            text.write('\n],\n"y":[\n')
            text.flush()
            spool.seek(0)
            shutil.copyfileobj(spool, raw, 1 << 20)
        text.write('\n],\n"head":' + _array(['"L"' if p else '"?"' for p in placed]) + ",\n")
        text.write(f'"{CUSTOM_KEY}":{{\n' + ",\n".join(self._custom(eigen)) + "\n}\n}]\n}\n")
        text.flush()
        text.detach()
        result.frames, result.skeleton_frames = len(t), int(placed.sum())

    def _custom(self, eigen):
        t = self.table
        flags = lambda col: _array(["true" if v else "false" for v in t[col]])  # noqa: E731
        movement = [json.dumps(None if m is None or m != m else str(m))
                    for m in t["movement"].astype(object)]
        members = [('frame', _array([str(int(f)) for f in t["frame"]])),
                   ("movement", _array(movement)), ("reversal", flags("reversal")),
                   ("consistent", flags("ok")),
                   ("centreline", _array([json.dumps(v) for v in self.sources]))]
        if self.eigen:
            for k, name in enumerate(self.eigen[1]):
                members.append((name, _array([number_text(v, EIGEN_DECIMALS)
                                              for v in eigen[:, k]])))
        return [f'"{name}":{values}' for name, values in members]


def write_wcon(folder, name=None, output=None, zipped=False):
    """Writes the WCON file of the run in `folder` (OUTDIR/NAME/); returns a
    WconFile. Default target FOLDER/NAME.wcon, or FOLDER/NAME.wcon.zip (one
    member NAME.wcon) with `zipped`. The file appears only when complete.

    Raises FileNotFoundError for a missing folder or file and
    ResultFileError for a malformed one, before anything is written.
    """
    run = Run(folder, name)
    suffix = ".wcon.zip" if zipped else ".wcon"
    target = Path(output) if output else run.folder / f"{run.name}{suffix}"
    export = _Export(run)
    result = WconFile(target)

    def write(tmp):
        with open(tmp, "wb") as raw:
            if zipped:
                with zipfile.ZipFile(raw, "w", zipfile.ZIP_DEFLATED) as archive, \
                        archive.open(f"{run.name}.wcon", "w", force_zip64=True) as member:
                    export.write(member, target.parent, result)
            else:
                export.write(raw, target.parent, result)

    replace_atomically(target, write)
    return result


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="dukon-wcon",
        description="Writes NAME.wcon (WCON, the worm tracking exchange format: skeletons in "
                    "mm, world coordinates, head first) into the run's output folder and "
                    "prints its path.")
    parser.add_argument("outdir", help="output folder of one run (OUTDIR/NAME/)")
    parser.add_argument("--name", help="movie name, if it differs from the folder's name")
    parser.add_argument("--zip", action="store_true",
                        help="write NAME.wcon.zip holding NAME.wcon instead")
    parser.add_argument("-o", "--output", help="write the file here instead")
    args = parser.parse_args(argv)
    try:
        result = write_wcon(args.outdir, args.name, args.output, args.zip)
    except (FileNotFoundError, ResultFileError, OSError) as e:
        print(f"dukon-wcon: {e}", file=sys.stderr)
        return 1
    for note in result.notes:
        print(f"dukon-wcon: note: {note}", file=sys.stderr)
    print(result.path)
    return 0
