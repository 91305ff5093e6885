"""One run's output folder, loaded table by table on first access."""

import functools
import math
import os
from pathlib import Path

from .checks import read_checks
from .errors import READ_ERRORS, ResultFileError
from .frames import frame_table
from .centreline import iter_centrelines, read_centrelines
from .params import read_params_copy
from .posture import with_eigen_columns
from .skel import iter_chains, read_skeletons
from .tables import read_displacements, read_eggs, read_speeds, read_turning_angles
from .wxo import read_wxo
from .wxs import read_wxs


def find_name(folder):
    """The movie name of an output folder: the folder's own name when
    NAME-wxo.txt is there, else the one NAME of a single *-wxo.txt."""
    folder = Path(folder)
    if (folder / f"{folder.name}-wxo.txt").is_file():
        return folder.name
    found = sorted(p.name[:-len("-wxo.txt")] for p in folder.glob("*-wxo.txt"))
    if len(found) == 1:
        return found[0]
    if not found:
        raise FileNotFoundError(f"{folder}: no *-wxo.txt, not a run's output folder")
    raise ResultFileError(folder, None, f"several runs in one folder: {', '.join(found)}")


class Run:
    """The results of one run of the analyser (folder OUTDIR/NAME/).

    Each attribute reads its file when first used; a missing file raises
    FileNotFoundError, a malformed one ResultFileError, and only for the
    attribute that needs it. Per-frame tables get a "time" column (seconds,
    frame / frames per second) when the parameters copy gives the rate.
    """

    def __init__(self, folder, name=None):
        self.folder = Path(folder)
        if not self.folder.is_dir():
            raise FileNotFoundError(f"{self.folder}: no such folder")
        self.name = name or find_name(self.folder)

    def path(self, suffix):
        """Path of the run's file NAME-suffix (e.g. "wxd.txt")."""
        return self.folder / f"{self.name}-{suffix}"

    def has(self, suffix):
        return self.path(suffix).is_file()

    @functools.cached_property
    def params(self):
        """The parameters copy (dict, see read_params_copy)."""
        return read_params_copy(self.path("params.txt"))

    @functools.cached_property
    def fps(self):
        """Frames per second of the run, NaN if the parameters copy lacks it."""
        try:
            value = float(self.params.get("frmps", math.nan))
        except (FileNotFoundError, ResultFileError):
            return math.nan
        return value if value > 0 else math.nan

    def _timed(self, df):
        if not math.isnan(self.fps) and "frame" in df and "time" not in df:
            df.insert(1, "time", df["frame"] / self.fps)
            df.attrs.setdefault("units", {})["time"] = "s"
        return df

    @functools.cached_property
    def _wxo(self):
        return read_wxo(self.path("wxo.txt"))

    @property
    def summary(self):
        """Run summary of wxo.txt (frame counts and shares, dict)."""
        return self._wxo.summary

    @functools.cached_property
    def short_frames(self):
        """The short shape table of wxo.txt."""
        return self._timed(self._wxo.frames)

    @property
    def features(self):
        """Feature statistics of wxo.txt, per feature and movement class."""
        return self._wxo.features

    @functools.cached_property
    def frames(self):
        """Every analysed frame: its state, class and measures at full
        precision from frames.csv (from wxd.txt, two digits, in older
        folders: attrs["source"]), the centre of mass's speed (mm/s, see
        frames.py), the posture of each frame that has a centreline as
        eigen1 .. eigen7 (radians, see posture.py) and `centreline`, where
        it comes from: "chain", "fitted" or "none" (centreline.csv). A run
        without centreline.csv has a posture in its consistent frames only,
        from skel.csv. When the file is unreadable the eigen columns are NaN
        and attrs["posture_error"] says why."""
        frames = self._timed(frame_table(self))
        try:
            if self.has("centreline.csv"):
                with_posture = with_eigen_columns(
                    frames, None, iter_centrelines(self.path("centreline.csv")))
            else:
                with_posture = with_eigen_columns(frames, iter_chains(self.path("skel.csv")))
            problem = None
        except READ_ERRORS as e:
            with_posture, problem = with_eigen_columns(frames, None), str(e)
        frames = with_posture
        if problem:
            frames.attrs["posture_error"] = problem
        return frames

    @functools.cached_property
    def speeds(self):
        """Speed table (spd.txt), mm/s."""
        return self._timed(read_speeds(self.path("spd.txt")))

    @functools.cached_property
    def displacements(self):
        """Displacement table (dsp.txt), mm."""
        return self._timed(read_displacements(self.path("dsp.txt")))

    @functools.cached_property
    def turning_angles(self):
        """Turning-angle table (ang.txt), degrees."""
        return self._timed(read_turning_angles(self.path("ang.txt")))

    @functools.cached_property
    def eggs(self):
        """Verified eggs (eggs.txt), or None when egg detection was off."""
        if not self.has("eggs.txt"):
            return None
        return self._timed(read_eggs(self.path("eggs.txt")))

    @functools.cached_property
    def _wxs(self):
        return read_wxs(self.path("wxs.txt"))

    @property
    def segments(self):
        """Movement segments of wxs.txt."""
        return self._wxs.segments

    @property
    def behaviour(self):
        """Behaviour summary figures of wxs.txt (dict)."""
        return self._wxs.summary

    @functools.cached_property
    def centrelines(self):
        """Every analysed frame's centreline (centreline.csv): frame, source,
        fit_error and 49 points head first in world pixels."""
        return read_centrelines(self.path("centreline.csv"))

    @functools.cached_property
    def checks(self):
        """What the checks of the run found (checks.csv, see checks.py): a
        DataFrame with one row per finding, empty when nothing was found,
        or None when the run was not checked (no checks.csv)."""
        if not self.has("checks.csv"):
            return None
        return read_checks(self.path("checks.csv"))

    @functools.cached_property
    def skeletons(self):
        """Skeleton chain points of the latest run (skel.csv)."""
        return read_skeletons(self.path("skel.csv"))

    @property
    def track_image(self):
        return self.path("track.bmp")

    @property
    def wave_image(self):
        return self.path("wave.bmp")

    def __repr__(self):
        return f"Run({os.fspath(self.folder)!r}, name={self.name!r})"


def load_run(folder, name=None):
    """Opens the output folder of one run (OUTDIR/NAME/); see Run."""
    return Run(folder, name)
