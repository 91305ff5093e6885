"""dukon-study: compares groups of movies of a batch run against a control.

    dukon-study BATCH_OUT --samples SHEET --control NAME [--out DIR]

The sample sheet is a CSV file with a header line naming at least the
columns `movie` and `group`; further columns (date, plate, ...) are kept
and shown. Every movie of the sheet must be in the batch; every group needs
two movies at least, and the control group must have movies.

Movies whose analysis failed, or with fewer consistent frames than
--min-consistent percent (default 50), are listed and left out unless
--keep-low-quality is given. Movies whose head check found stretches of
frames with head and tail perhaps swapped are listed too (and kept). Then, for every other group against the
control and every feature of features.TESTED_FEATURES that both groups
have for two movies at least:

- the two-sided Mann-Whitney U test (scipy): exact when there are no ties
  and a group has fewer than 8 movies, with the normal approximation (tie
  corrected) otherwise; where values tie and both groups are tiny (at most
  TINY_GROUP movies), an exact permutation test of the mean rank over every
  split of the movies instead, which is the U test's own distribution with
  ties;
- Cliff's delta, 2 U / (n_group n_control) - 1, from -1 (every movie of the
  group below every control movie) to +1;
- Benjamini-Hochberg q-values across the features of that comparison.

Writes BATCH_OUT/features.csv with features-units.csv (every movie of the
batch), and into OUT (default BATCH_OUT/study): stats.csv (every number of
every test), movies.csv (the sheet with each movie's quality and whether it
was used) and study.html, last, each replaced whole. A bad sample sheet or
batch folder is reported as FILE:LINE: reason with exit status 1, before
anything is written.
"""

import argparse
import csv
import math
import sys
from dataclasses import dataclass, field
from pathlib import Path

import numpy as np
import pandas as pd

try:
    from scipy import stats as scistats
except ImportError:  # reported by main(); the readers need no scipy
    scistats = None

from .errors import READ_ERRORS
from .features import (FEATURE_UNITS, TESTED_FEATURES, BatchError, batch_movies,
                       feature_table, write_features)
from .files import replace_atomically
from .run import Run

DEFAULT_MIN_CONSISTENT = 50.0
DEFAULT_ALPHA = 0.05
# Ties and groups of at most this many movies: an exact permutation test
# (3432 splits for 7 against 7).
TINY_GROUP = 7
REQUIRED_COLUMNS = ("movie", "group")

STATS_COLUMNS = ["group", "control", "feature", "unit", "n_group", "n_control",
                 "median_group", "median_control", "u_statistic", "cliffs_delta", "p_value",
                 "q_value", "significant", "method"]


class StudyError(ValueError):
    """Bad input to a study: one or more messages, each FILE[:LINE]: reason."""

    def __init__(self, messages):
        self.messages = list(messages)
        super().__init__("\n".join(self.messages))


@dataclass
class SheetRow:
    line: int    # line of the sample sheet, 1 = header
    movie: str
    group: str
    extra: dict  # the further columns, by name


@dataclass
class SampleSheet:
    path: Path
    rows: list
    extra_columns: list


def _strip_avi(name):
    return name[:-len(".avi")] if name.lower().endswith(".avi") else name


def read_sample_sheet(path):
    """Reads and checks the form of a sample sheet; raises StudyError.

    Blank lines and lines starting with '#' are skipped; cells are stripped
    of surrounding blanks; a movie may be given with or without ".avi".
    """
    path = Path(path)
    try:
        text = path.read_text(encoding="utf-8-sig")
    except FileNotFoundError:
        raise StudyError([f"{path}: no such sample sheet"]) from None
    except (OSError, UnicodeDecodeError) as e:
        raise StudyError([f"{path}: cannot read the sample sheet: {e}"]) from None
    lines = [(no, line) for no, line in enumerate(text.splitlines(), 1)
             if line.strip() and not line.lstrip().startswith("#")]
    if not lines:
        raise StudyError([f"{path}:1: empty sample sheet; expected a header line with the "
                          "columns movie and group"])
    try:
        parsed = [(no, [c.strip() for c in cells]) for (no, _), cells in
                  zip(lines, csv.reader([line for _, line in lines]))]
    except csv.Error as e:
        raise StudyError([f"{path}: not a CSV file: {e}"]) from None
    header_no, header = parsed[0]
    columns = [c.lower() for c in header]
    missing = [c for c in REQUIRED_COLUMNS if c not in columns]
    if missing:
        raise StudyError([f"{path}:{header_no}: the header lacks the column(s) "
                          f"{', '.join(missing)} (found: {', '.join(header) or 'nothing'})"])
    errors, rows, first_line = [], [], {}
    for no, cells in parsed[1:]:
        if len(cells) != len(header):
            errors.append(f"{path}:{no}: expected {len(header)} fields as in the header, "
                          f"found {len(cells)}")
            continue
        cell = dict(zip(columns, cells))
        movie, group = _strip_avi(cell["movie"]), cell["group"]
        if not movie or not group:
            errors.append(f"{path}:{no}: empty {'movie' if not movie else 'group'} cell")
            continue
        if movie in first_line:
            errors.append(f"{path}:{no}: movie {movie} is listed again "
                          f"(first on line {first_line[movie]})")
            continue
        first_line[movie] = no
        extra = {h: c for h, col, c in zip(header, columns, cells) if col not in REQUIRED_COLUMNS}
        rows.append(SheetRow(no, movie, group, extra))
    if not rows and not errors:
        errors.append(f"{path}:{header_no}: the sample sheet lists no movie")
    if errors:
        raise StudyError(errors)
    extra_columns = [h for h, col in zip(header, columns) if col not in REQUIRED_COLUMNS]
    return SampleSheet(path, rows, extra_columns)


def check_sheet(sheet, movies, control, batch_out):
    """Checks the sheet against the batch's movies and the control group;
    raises StudyError listing every problem."""
    errors = []
    known = sorted(movies)
    for row in sheet.rows:
        if row.movie not in movies:
            listed = ", ".join(known[:8]) + (", ..." if len(known) > 8 else "")
            errors.append(f"{sheet.path}:{row.line}: movie {row.movie} is not in the batch "
                          f"{batch_out} (its movies: {listed or 'none'})")
    groups = {}
    for row in sheet.rows:
        groups.setdefault(row.group, []).append(row)
    if control not in groups:
        errors.append(f"{sheet.path}: no movie belongs to the control group {control!r} "
                      f"(groups: {', '.join(sorted(groups))})")
    for name, members in groups.items():
        if len(members) == 1:
            errors.append(f"{sheet.path}:{members[0].line}: group {name!r} has one movie only "
                          f"({members[0].movie}); a comparison needs 2 at least")
    if control in groups and len(groups) == 1:
        errors.append(f"{sheet.path}: every movie is in the control group {control!r}; "
                      "there is no group to compare with it")
    if errors:
        raise StudyError(errors)
    return groups


def bh_qvalues(pvalues):
    """Benjamini-Hochberg q-values of `pvalues` (NaN stays NaN and does not
    count as a test). scipy >= 1.11 has this as false_discovery_control."""
    p = np.asarray(pvalues, dtype=float)
    q = np.full(p.shape, np.nan)
    tested = ~np.isnan(p)
    if tested.any():
        if hasattr(scistats, "false_discovery_control"):
            q[tested] = scistats.false_discovery_control(p[tested], method="bh")
        else:
            order = np.argsort(p[tested])
            m = len(order)
            ranked = p[tested][order] * m / np.arange(1, m + 1)
            ranked = np.minimum.accumulate(ranked[::-1])[::-1]
            values = np.empty(m)
            values[order] = np.minimum(ranked, 1.0)
            q[tested] = values
    return q


def _mean_of_first(a, b, axis):
    return np.mean(a, axis=axis)


def compare(group_values, control_values):
    """One feature of one group against the control (dict: n_group,
    n_control, median_group, median_control, u_statistic, cliffs_delta,
    p_value, method). NaN values are left out; fewer than 2 values on
    either side give no test (p_value NaN, the reason in method)."""
    x = np.asarray(group_values, dtype=float)
    y = np.asarray(control_values, dtype=float)
    x, y = x[~np.isnan(x)], y[~np.isnan(y)]
    result = {"n_group": len(x), "n_control": len(y),
              "median_group": float(np.median(x)) if len(x) else math.nan,
              "median_control": float(np.median(y)) if len(y) else math.nan,
              "u_statistic": math.nan, "cliffs_delta": math.nan, "p_value": math.nan}
    if len(x) < 2 or len(y) < 2:
        result["method"] = "not tested: fewer than 2 values in a group"
        return result
    pooled = np.concatenate([x, y])
    if np.all(pooled == pooled[0]):
        result.update(u_statistic=len(x) * len(y) / 2.0, cliffs_delta=0.0, p_value=1.0,
                      method="no variation")
        return result
    ties = len(np.unique(pooled)) < len(pooled)
    u = scistats.mannwhitneyu(x, y, alternative="two-sided").statistic
    result["u_statistic"] = float(u)
    result["cliffs_delta"] = float(2.0 * u / (len(x) * len(y)) - 1.0)
    if ties and max(len(x), len(y)) <= TINY_GROUP:
        ranks = scistats.rankdata(pooled)
        test = scistats.permutation_test((ranks[:len(x)], ranks[len(x):]), _mean_of_first,
                                         permutation_type="independent", vectorized=True,
                                         n_resamples=np.inf, alternative="two-sided")
        result.update(p_value=float(test.pvalue), method="permutation, exact (ranks, ties)")
    else:
        method = "asymptotic" if ties or min(len(x), len(y)) >= TINY_GROUP + 1 else "exact"
        test = scistats.mannwhitneyu(x, y, alternative="two-sided", method=method)
        result.update(p_value=float(test.pvalue), method=f"Mann-Whitney U, {method}")
    return result


def compare_groups(features, groups_of, control, alpha=DEFAULT_ALPHA):
    """stats.csv as a DataFrame: every group but the control against it,
    every tested feature. `features` is indexed by movie; `groups_of` maps
    the movies to use onto their groups."""
    members = {}
    for movie, group in groups_of.items():
        members.setdefault(group, []).append(movie)
    rows = []
    for group in sorted(g for g in members if g != control):
        block = []
        for feature in TESTED_FEATURES:
            r = compare(features.loc[members[group], feature],
                        features.loc[members[control], feature])
            r.update(group=group, control=control, feature=feature,
                     unit=FEATURE_UNITS[feature])
            block.append(r)
        q = bh_qvalues([r["p_value"] for r in block])
        for r, qv in zip(block, q):
            r["q_value"] = qv
            r["significant"] = bool(qv < alpha) if not math.isnan(qv) else False
        rows.extend(block)
    return pd.DataFrame(rows, columns=STATS_COLUMNS)


@dataclass
class Study:
    """Everything a study found, as the report shows it."""
    batch_out: Path
    out: Path
    sheet: SampleSheet
    control: str
    min_consistent: float
    keep_low_quality: bool
    alpha: float
    features: pd.DataFrame   # features.csv: every movie of the batch, indexed by movie
    movies: pd.DataFrame     # movies.csv: sheet, quality, used, reason
    stats: pd.DataFrame      # stats.csv
    groups: list             # in sheet order, the control first
    not_compared: dict = field(default_factory=dict)  # group -> reason
    reports: dict = field(default_factory=dict)       # movie -> report.html path or None


def _exclusion(status, consistent, min_consistent, keep, error=""):
    if status == "unreadable":
        return f"results unreadable: {error[:200]}"
    if status != "ok":
        return f"analysis {status}"
    if not keep and not consistent >= min_consistent:
        return f"{consistent:.3g} % consistent frames, below {min_consistent:g} %"
    return ""


def head_checks(movie):
    """Rows of the checks.csv of `movie` (a BatchMovie): the stretches of
    frames whose head its evidence contradicts; NaN when it has no
    readable check file."""
    try:
        checks = Run(movie.folder, movie.name).checks
    except READ_ERRORS:
        return math.nan
    return math.nan if checks is None else float(len(checks))


def _movies_table(sheet, features, min_consistent, keep):
    rows = []
    for row in sheet.rows:
        f = features.loc[row.movie]
        reason = _exclusion(f["status"], f["consistent_percent"], min_consistent, keep,
                            features.attrs["errors"].get(row.movie, ""))
        rows.append({"movie": row.movie, "group": row.group, **row.extra,
                     "status": f["status"], "frames": f["frames"],
                     "good_percent": f["good_percent"],
                     "consistent_percent": f["consistent_percent"],
                     "used": not reason, "left_out_because": reason})
    return pd.DataFrame(rows).set_index("movie")


def build_study(batch_out, samples, control, out=None, min_consistent=DEFAULT_MIN_CONSISTENT,
                keep_low_quality=False, alpha=DEFAULT_ALPHA):
    """Reads, checks and computes a study without writing anything;
    raises StudyError or BatchError for bad input."""
    batch_out = Path(batch_out)
    sheet = read_sample_sheet(samples)
    movies = batch_movies(batch_out)
    groups = check_sheet(sheet, movies, control, batch_out)
    features = feature_table(movies.values())
    table = _movies_table(sheet, features, min_consistent, keep_low_quality)
    table["head_checks"] = [head_checks(movies[m]) for m in table.index]
    used = table[table["used"]]
    if (used["group"] == control).sum() < 2:
        dropped = table[(table["group"] == control) & ~table["used"]]["left_out_because"]
        raise StudyError([f"{sheet.path}: the control group {control!r} keeps fewer than 2 "
                          "movies once these are left out: "
                          + "; ".join(f"{m} ({r})" for m, r in dropped.items())
                          + " (see --min-consistent and --keep-low-quality)"])
    not_compared = {g: f"{(used['group'] == g).sum()} usable movie(s)" for g in groups
                    if g != control and (used["group"] == g).sum() < 2}
    groups_of = {m: g for m, g in used["group"].items() if g not in not_compared}
    stats = compare_groups(features, groups_of, control, alpha)
    order = [control] + [g for g in groups if g != control]
    return Study(batch_out, Path(out) if out else batch_out / "study", sheet, control,
                 min_consistent, keep_low_quality, alpha, features, table,
                 stats, order, not_compared,
                 {m.name: m.report for m in movies.values() if m.name in table.index})


def _write_csv(frame, path, index):
    replace_atomically(path, lambda tmp: frame.to_csv(tmp, index=index, float_format="%.6g",
                                                      na_rep=""))


def write_study(study):
    """Writes the study's files; study.html last. Returns its path."""
    from .study_report import build_study_report

    page = build_study_report(study)
    study.out.mkdir(parents=True, exist_ok=True)
    write_features(study.features, study.batch_out)
    _write_csv(study.stats, study.out / "stats.csv", index=False)
    _write_csv(study.movies, study.out / "movies.csv", index=True)
    return replace_atomically(study.out / "study.html",
                              lambda tmp: tmp.write_text(page, encoding="utf-8"))


def run_study(batch_out, samples, control, out=None, **options):
    """Builds and writes a study; returns (Study, path of study.html)."""
    study = build_study(batch_out, samples, control, out, **options)
    return study, write_study(study)


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="dukon-study",
        description="Compares groups of movies of a batch run against a control group: "
                    "features.csv in the batch folder; stats.csv, movies.csv and study.html "
                    "in the study folder, whose path is printed.")
    parser.add_argument("batch_out", help="output folder of a batch run (with summary.csv)")
    parser.add_argument("--samples", required=True, metavar="SHEET",
                        help="CSV file with the columns movie and group (and any others)")
    parser.add_argument("--control", required=True, metavar="NAME", help="the control group")
    parser.add_argument("--out", metavar="DIR", help="study folder (default BATCH_OUT/study)")
    parser.add_argument("--min-consistent", type=float, default=DEFAULT_MIN_CONSISTENT,
                        metavar="PERCENT", help="leave out movies with fewer consistent "
                        "frames (default %(default)g)")
    parser.add_argument("--keep-low-quality", action="store_true",
                        help="use the movies below the quality threshold too")
    parser.add_argument("--alpha", type=float, default=DEFAULT_ALPHA,
                        help="q-value below which a difference is significant "
                             "(default %(default)g)")
    args = parser.parse_args(argv)
    if not 0 < args.alpha < 1:
        parser.error("--alpha must lie between 0 and 1")
    if scistats is None:
        print("dukon-study: needs scipy (Debian: apt-get install python3-scipy)",
              file=sys.stderr)
        return 1
    try:
        study, page = run_study(args.batch_out, args.samples, args.control, args.out,
                                min_consistent=args.min_consistent,
                                keep_low_quality=args.keep_low_quality, alpha=args.alpha)
    except StudyError as e:
        for message in e.messages:
            print(f"dukon-study: {message}", file=sys.stderr)
        return 1
    except (BatchError, OSError) as e:
        print(f"dukon-study: {e}", file=sys.stderr)
        return 1
    left_out = study.movies[~study.movies["used"]]
    for movie, reason in left_out["left_out_because"].items():
        print(f"dukon-study: left out {movie}: {reason}", file=sys.stderr)
    for group, reason in study.not_compared.items():
        print(f"dukon-study: group {group} not compared: {reason}", file=sys.stderr)
    for movie, n in study.movies["head_checks"].items():
        if n > 0:
            print(f"dukon-study: head and tail may be swapped in {movie}: {n:.0f} stretch(es) "
                  "of frames (see its checks.csv; headmode = combined)", file=sys.stderr)
    print(page)
    return 0


if __name__ == "__main__":
    sys.exit(main())
