"""The feature vector of each movie of a batch: features.csv.

One row per movie: the quality of its analysis, the behaviour figures of
wxs.txt, the eggs, the ethogram shares and, for every per-frame body
feature, its 10th, 50th and 90th percentiles over the consistent frames,
over all of them and over the forward and the backward ones alone. The
posture (eigen1 .. eigen6) is taken over every frame with a centreline
instead, the fitted ones of coils and omega turns included (see
centreline.py); the quality shows how many frames have one.

The per-frame values come from run.frames: full precision from
frames.csv where the run wrote it. Lengths are converted from frame pixels
to millimetres with the run's `mmpix`; every unit is in FEATURE_UNITS and in
the side file features-units.csv with a one-line description from the
glossary (docs/features.md). A value that cannot be had (no egg detection,
no backward frame, a figure written as n/a) is empty in the file and NaN in
the frame.

The study tests the features in families (study.py): CORE_FEATURES, a
short set of what labs report; everything else of TESTED_FEATURES is
exploratory, and of the percentile features only the medians unless all
percentiles are asked for.

    python3 -m dukon_results.features BATCH_OUT   # writes BATCH_OUT/features.csv
"""

import argparse
import csv
import math
import sys
from dataclasses import dataclass
from pathlib import Path

import numpy as np
import pandas as pd

from . import glossary
from .errors import READ_ERRORS
from .files import replace_atomically
from .labels import MOVEMENTS
from .run import Run

# Quality of the analysis: (feature, summary key, unit). Shown, not tested.
QUALITY = [("frames", "real_frames", "frames"),
           ("good_frames", "good_frames", "frames"),
           ("consistent_frames", "consistent_frames", "frames"),
           ("good_percent", "good_percent", "%"),
           ("consistent_percent", "consistent_percent", "%")]
# Centreline coverage (centreline.csv): (feature, sources counted, unit).
COVERAGE = [("centreline_percent", ("chain", "fitted"), "%"),
            ("fitted_percent", ("fitted",), "%")]

# Behaviour figures of wxs.txt: (feature, summary key, unit).
BEHAVIOUR = [("reversal_rate", "reversal_rate", "1/min"),
             ("omega_rate", "omega_rate", "1/min"),
             ("pause_rate", "pause_rate", "1/min"),
             ("loop_rate", "loop_rate", "1/min"),
             ("forward_time_percent", "forward_time_percent", "%"),
             ("backward_time_percent", "backward_time_percent", "%"),
             ("pause_time_percent", "pause_time_percent", "%"),
             ("omega_time_percent", "omega_time_percent", "%"),
             ("loop_time_percent", "loop_time_percent", "%"),
             ("forward_speed", "forward_speed", "mm/s"),
             ("backward_speed", "backward_speed", "mm/s"),
             ("roam_ratio", "roam_ratio", "ratio")]

EGGS = [("eggs_count", "eggs"), ("eggs_rate", "1/min")]

# Per-frame features: (column of run.frames, unit, power of mmpix it is
# divided by to turn pixels into millimetres).
PER_FRAME = [("len", "mm", 1), ("thickness", "mm", 1), ("area", "mm^2", 2),
             ("avgamp", "mm", 1), ("Navgamp", "ratio", 0), ("maxampL", "mm", 1),
             ("maxampR", "mm", 1), ("avgangle", "deg", 0), ("Nwavelen", "ratio", 0),
             ("freq", "Hz", 0), ("straightfs", "ratio", 0), ("sinusfs", "score", 0),
             ("cmass_speed", "mm/s", 0)]
PER_FRAME += [(f"eigen{m}", "rad", 0) for m in range(1, 7)] + [("eigen_amp", "rad", 0)]

# Frame subsets of the percentiles: (name, movement class or None for all).
SUBSETS = [("all", None), ("fwd", "forward"), ("bwd", "backward")]
PERCENTILES = (10, 50, 90)
# Fewer consistent frames than this in a subset give no percentiles.
MIN_FRAMES = 5

# Ethogram shares: percent of the analysed frames in each movement class, and
# in none (frames without a consistent skeleton or a class). Shown, not tested.
ETHOGRAM = [f"ethogram_{m}_percent" for m in MOVEMENTS] + ["ethogram_none_percent"]


def frame_feature(column, subset, q):
    """Name of a percentile feature, e.g. len_fwd_p50."""
    return f"{column}_{subset}_p{q}"


def _units():
    units = {name: unit for name, _, unit in QUALITY + COVERAGE}
    units.update({name: unit for name, _, unit in BEHAVIOUR})
    units.update(dict(EGGS))
    units.update({name: "%" for name in ETHOGRAM})
    for column, unit, _ in PER_FRAME:
        for subset, _ in SUBSETS:
            for q in PERCENTILES:
                units[frame_feature(column, subset, q)] = unit
    return units


FEATURE_UNITS = _units()
QUALITY_FEATURES = [name for name, _, _ in QUALITY + COVERAGE]
BEHAVIOUR_FEATURES = [name for name, _, _ in BEHAVIOUR] + [name for name, _ in EGGS]
FRAME_FEATURES = [frame_feature(c, s, q) for c, _, _ in PER_FRAME for s, _ in SUBSETS
                  for q in PERCENTILES]
# The features a study can compare between groups, in file order.
TESTED_FEATURES = BEHAVIOUR_FEATURES + FRAME_FEATURES
COLUMNS = ["movie", "status"] + QUALITY_FEATURES + BEHAVIOUR_FEATURES + ETHOGRAM + FRAME_FEATURES

# The core family: one feature per trait that labs report, each defined in
# the glossary. Speeds and rates come from the behaviour report; the body
# and its wave from the consistent frames, the wave while crawling forward.
CORE_FEATURES = ["forward_speed", "backward_speed", "reversal_rate", "omega_rate",
                 "pause_time_percent", "len_all_p50", "thickness_all_p50", "freq_fwd_p50",
                 "Nwavelen_fwd_p50", "avgangle_fwd_p50", "Navgamp_fwd_p50", "eigen_amp_fwd_p50"]


def exploratory_features(all_percentiles=False):
    """Every tested feature outside the core, in file order: the behaviour
    figures and the medians of the per-frame measures, or every percentile
    when `all_percentiles`."""
    return [f for f in TESTED_FEATURES if f not in CORE_FEATURES
            and (all_percentiles or f in BEHAVIOUR_FEATURES or f.endswith("_p50"))]


def describe(feature):
    """A one-line description of a feature, from the glossary."""
    return glossary.load().describe(feature)


def _percentiles(values):
    values = values[~np.isnan(values)]
    if len(values) < MIN_FRAMES:
        return [math.nan] * len(PERCENTILES)
    return list(np.percentile(values, PERCENTILES))


def frame_percentiles(frames, mmpix):
    """The percentile features of one run's frame table (dict): over the
    consistent frames, and the posture (eigen1 .., eigen_amp) over the
    frames with a centreline, where it is defined."""
    if "eigen_amp" not in frames and "eigen1" in frames:
        frames = frames.assign(eigen_amp=np.hypot(frames["eigen1"], frames["eigen2"]))
    ok = frames["ok"].to_numpy(dtype=bool)
    row = {}
    for column, _, power in PER_FRAME:
        rows = frames[column].notna().to_numpy() if column.startswith("eigen") else ok
        values = frames[column].to_numpy(dtype=float)[rows] / float(mmpix) ** power
        movement = frames["movement"].astype(object).to_numpy()[rows]
        for subset, kind in SUBSETS:
            chosen = values if kind is None else values[movement == kind]
            for q, v in zip(PERCENTILES, _percentiles(chosen)):
                row[frame_feature(column, subset, q)] = v
    return row


def ethogram_shares(frames):
    """Percent of the analysed frames in each movement class and in none."""
    counts = frames["movement"].astype(object).value_counts()
    total = max(len(frames), 1)
    shares = {f"ethogram_{m}_percent": 100.0 * counts.get(m, 0) / total for m in MOVEMENTS}
    shares["ethogram_none_percent"] = 100.0 - sum(shares.values())
    return shares


def movie_features(run):
    """The feature vector of one analysed run (dict, features as keys).

    Raises what reading the run raises (READ_ERRORS) when its run summary,
    behaviour report, parameters copy or frame table cannot be read.
    """
    summary, behaviour, params = run.summary, run.behaviour, run.params
    mmpix = float(params["mmpix"])
    if not mmpix > 0:
        raise ValueError(f"{run.path('params.txt')}: mmpix must be positive, found {mmpix}")
    row = {name: float(summary[key]) for name, key, _ in QUALITY}
    row.update({name: float(behaviour[key]) for name, key, _ in BEHAVIOUR})
    eggs = run.eggs
    minutes = summary["real_frames"] / run.fps / 60.0 if run.fps > 0 else math.nan
    row["eggs_count"] = math.nan if eggs is None else float(len(eggs))
    row["eggs_rate"] = row["eggs_count"] / minutes if minutes > 0 else math.nan
    frames = run.frames
    sources = frames["centreline"].astype(object).to_numpy()
    for name, counted, _ in COVERAGE:
        row[name] = 100.0 * np.isin(sources, counted).sum() / max(len(frames), 1)
    row.update(ethogram_shares(frames))
    row.update(frame_percentiles(frames, mmpix))
    return row


@dataclass
class BatchMovie:
    """One movie of a batch output as summary.csv lists it."""
    name: str
    status: str           # "ok", "partial" or "failed" (the analysis)
    folder: Path          # results/NAME/
    report: Path = None   # its report.html, None when there is none
    error: str = ""


class BatchError(ValueError):
    """The folder is not a batch output that can be read."""


def batch_movies(batch_out):
    """The movies of a batch output folder (from its summary.csv), by name."""
    batch_out = Path(batch_out)
    summary = batch_out / "summary.csv"
    if not summary.is_file():
        raise BatchError(f"{batch_out}: no summary.csv, not the output folder of a batch run")
    movies = {}
    try:
        with open(summary, newline="", encoding="utf-8") as f:
            reader = csv.DictReader(f)
            if not {"name", "status"} <= set(reader.fieldnames or []):
                raise BatchError(f"{summary}:1: expected the columns name and status")
            for row in reader:
                report = row.get("report") or ""
                movies[row["name"]] = BatchMovie(
                    row["name"], row["status"], batch_out / "results" / row["name"],
                    batch_out / report if report else None, row.get("error") or "")
    except (OSError, UnicodeDecodeError, csv.Error) as e:
        raise BatchError(f"{summary}: cannot read: {e}") from None
    return movies


def feature_table(movies, progress=None):
    """The features of `movies` (BatchMovie values) as a DataFrame indexed
    by movie name, columns COLUMNS without movie. A movie that failed, or
    whose results cannot be read, has status "failed" or "unreadable" and
    NaN features; the reason is in attrs["errors"][name]. A partial run
    (stopped before every frame it planned) keeps its status and gets the
    features of the frames it analysed. `progress`, when given, is called
    once after each movie."""
    rows, errors = [], {}
    for m in movies:
        row = {"movie": m.name, "status": m.status}
        if m.status in ("ok", "partial"):
            try:
                row.update(movie_features(Run(m.folder, m.name)))
            except READ_ERRORS as e:
                row["status"], errors[m.name] = "unreadable", str(e)
        else:
            errors[m.name] = m.error
        rows.append(row)
        if progress:
            progress()
    df = pd.DataFrame(rows, columns=COLUMNS).set_index("movie")
    for c in COLUMNS[2:]:
        df[c] = df[c].astype(float)
    df.attrs["units"] = dict(FEATURE_UNITS)
    df.attrs["errors"] = errors
    return df


def write_features(table, folder):
    """Writes features.csv (numbers with 6 significant digits, NaN empty)
    and features-units.csv (feature, unit, description) into `folder`;
    returns the path of features.csv."""
    folder = Path(folder)
    replace_atomically(folder / "features.csv",
                        lambda p: table.to_csv(p, float_format="%.6g", na_rep=""))
    units = pd.DataFrame({"feature": list(FEATURE_UNITS), "unit": list(FEATURE_UNITS.values()),
                          "description": [describe(f) for f in FEATURE_UNITS]})
    replace_atomically(folder / "features-units.csv", lambda p: units.to_csv(p, index=False))
    return folder / "features.csv"


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="python3 -m dukon_results.features",
        description="Writes features.csv (one row per movie) and features-units.csv into "
                    "the output folder of a batch run.")
    parser.add_argument("batch_out", help="output folder of a batch run (with summary.csv)")
    args = parser.parse_args(argv)
    try:
        movies = batch_movies(args.batch_out)
        print(write_features(feature_table(movies.values()), args.batch_out))
    except (BatchError, OSError) as e:
        print(f"features: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
