"""dukon-study: compares groups of movies of a batch run against a control.

    dukon-study BATCH_OUT --samples SHEET --control NAME [--out DIR]
                [--primary F[,F...]] [--all-percentiles] [--block COLUMN]

The sample sheet (sample_sheet.py) names each movie's group. Movies whose
analysis failed, or with fewer consistent frames than --min-consistent
percent (default 50), are listed and left out unless --keep-low-quality is
given; the control and every compared group must keep two movies.

Every other group is compared with the control, feature by feature
(comparison.py), in families, each corrected on its own (Benjamini-
Hochberg): "primary", the features named with --primary (pre-registered);
"core", features.CORE_FEATURES less the primary ones; "exploratory", the
other behaviour figures and the medians of the per-frame measures (every
percentile with --all-percentiles). With --block COLUMN the p-values come
from a permutation test within the blocks the sheet's column names.
Movies whose head check found stretches of frames with head and tail
perhaps swapped (rows of their checks.csv) are listed too, and kept.

For each comparison and family the study states the smallest p the group
sizes allow and whether one difference can reach q < alpha among that
many tests (else how many features would have to, and how many movies per
group would let one count); for each feature a 95 % bootstrap interval of
the difference of medians beside Cliff's delta.

Writes BATCH_OUT/features.csv with features-units.csv, and into OUT
(default BATCH_OUT/study): stats.csv (every number of every test),
design.csv (what each family can show), movies.csv (the sheet with each
movie's quality and whether it was used), figures/ (an SVG and a PDF per
figure), figures.pdf (all of them) and study.html, last. Everything is
computed and drawn before the first file is written. Bad input is reported
as FILE[:LINE]: reason with exit status 1, before anything is written.
"""

import argparse
import difflib
import math
import sys
from dataclasses import dataclass, field
from pathlib import Path

import pandas as pd

from . import comparison
from .comparison import (bh_qvalues, bootstrap_interval, compare, compare_blocked,
                         movies_needed, seed_of, smallest_p)
from .errors import READ_ERRORS
from .features import (CORE_FEATURES, FEATURE_UNITS, TESTED_FEATURES, BatchError, batch_movies,
                       exploratory_features, feature_table, write_features)
from .files import replace_atomically
from .progress import Progress
from .run import Run
from .sample_sheet import (SampleSheet, StudyError, block_column, check_sheet,
                           read_sample_sheet)

DEFAULT_MIN_CONSISTENT = 50.0
DEFAULT_ALPHA = 0.05
FAMILIES = ("primary", "core", "exploratory")

STATS_COLUMNS = ["group", "control", "family", "feature", "unit", "n_group", "n_control",
                 "median_group", "median_control", "difference", "ci_low", "ci_high",
                 "u_statistic", "cliffs_delta", "p_value", "min_p", "q_value", "significant",
                 "method"]
DESIGN_COLUMNS = ["group", "control", "family", "tests", "n_group", "n_control", "smallest_p",
                  "best_single_q", "one_can_count", "features_needed", "movies_per_group",
                  "significant", "statement"]


def study_families(primary=(), all_percentiles=False):
    """Family name -> its features, in order; families without features
    are left out. A feature is in one family only."""
    primary = list(dict.fromkeys(primary))
    families = {"primary": primary,
                "core": [f for f in CORE_FEATURES if f not in primary],
                "exploratory": [f for f in exploratory_features(all_percentiles)
                                if f not in primary and f not in CORE_FEATURES]}
    return {name: features for name, features in families.items() if features}


def check_primary(names):
    """The --primary names, each a tested feature; StudyError otherwise."""
    errors = []
    for name in names:
        if name not in TESTED_FEATURES:
            near = difflib.get_close_matches(name, TESTED_FEATURES, n=3)
            hint = f" (did you mean {', '.join(near)}?)" if near else ""
            errors.append(f"--primary: {name!r} is not a feature of features.csv{hint}")
    if errors:
        raise StudyError(errors)
    return list(names)


@dataclass
class Study:
    """Everything a study found, as the page and the files show it."""
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
    design: pd.DataFrame     # design.csv
    groups: list             # in sheet order, the control first
    families: dict           # family -> features
    block: str = None        # the sheet's column of blocks, or None
    reports: dict = field(default_factory=dict)  # movie -> report.html path or None


class _MinP:
    """smallest_p for a set of movies, remembered by group sizes and blocks."""

    def __init__(self, blocks_of):
        self.blocks_of, self.known = blocks_of, {}

    def __call__(self, group_movies, control_movies):
        if self.blocks_of is None:
            key = (len(group_movies), len(control_movies))
            if key not in self.known:
                self.known[key] = smallest_p(*key)
            return self.known[key]
        bx = [self.blocks_of[m] for m in group_movies]
        by = [self.blocks_of[m] for m in control_movies]
        key = (tuple(sorted(bx)), tuple(sorted(by)))
        if key not in self.known:
            self.known[key] = smallest_p(len(bx), len(by), bx, by)
        return self.known[key]


def _test_row(features, feature, members, control, group, blocks_of, min_p):
    """One feature of one group against the control (a stats.csv row)."""
    x, y = features.loc[members[group], feature], features.loc[members[control], feature]
    if blocks_of is None:
        r = compare(x, y)
    else:
        r = compare_blocked(x, [blocks_of[m] for m in x.index], y,
                            [blocks_of[m] for m in y.index], seed=seed_of(group, feature))
    r["ci_low"], r["ci_high"] = bootstrap_interval(x, y, seed_of(group, feature))
    r["difference"] = r["median_group"] - r["median_control"]
    r["min_p"] = min_p(list(x.dropna().index), list(y.dropna().index))
    r.update(group=group, control=control, feature=feature, unit=FEATURE_UNITS[feature])
    return r


def compare_groups(features, groups_of, control, families, alpha=DEFAULT_ALPHA,
                   blocks_of=None):
    """stats.csv as a DataFrame: every group but the control against it,
    every feature of every family, q-values within each family.
    `features` is indexed by movie; `groups_of` maps the movies to use onto
    their groups; `blocks_of`, when given, maps them onto their blocks."""
    members = {}
    for movie, group in groups_of.items():
        members.setdefault(group, []).append(movie)
    min_p = _MinP(blocks_of)
    rows = []
    for group in sorted(g for g in members if g != control):
        for family, chosen in families.items():
            block = [_test_row(features, f, members, control, group, blocks_of, min_p)
                     for f in chosen]
            for r, q in zip(block, bh_qvalues([r["p_value"] for r in block])):
                r.update(family=family, q_value=q,
                         significant=bool(q < alpha) if not math.isnan(q) else False)
            rows.extend(block)
    return pd.DataFrame(rows, columns=STATS_COLUMNS)


def design_statement(row, alpha):
    """What one family of one comparison can show, in a sentence."""
    tests, p, n = row["tests"], row["smallest_p"], row["movies_per_group"]
    more = (f"about {n} movies per group (equal groups, no blocks) would let one difference "
            "count" if n else "more than 60 movies per group would be needed for one "
            "difference to count")
    if tests == 0:
        return "no feature could be tested"
    if not p < alpha:
        return (f"no feature can reach q < {alpha:g}: the smallest p these group sizes allow, "
                f"{p:.2g}, is not below it; {more}")
    if not row["one_can_count"]:
        return (f"one difference alone cannot reach q < {alpha:g} ({_count(tests, 'test')} x "
                f"smallest p {p:.2g} = {row['best_single_q']:.2g}); at least "
                f"{row['features_needed']} features must reach the smallest p together; {more}")
    return (f"one difference as strong as these group sizes allow reaches q < {alpha:g} "
            f"({_count(tests, 'test')} x smallest p {p:.2g} = {row['best_single_q']:.2g})")


def design_table(stats, groups_of, control, alpha, blocks_of=None):
    """design.csv: per comparison and family, the number of tests, the
    smallest attainable p with the group's and the control's usable movies,
    the q a single strongest difference would get, whether it counts, how
    many features would have to reach that p together, the movies per group
    that would let one count, and how many features did."""
    min_p = _MinP(blocks_of)
    controls = [m for m, g in groups_of.items() if g == control]
    rows = []
    for (group, family), s in stats.groupby(["group", "family"], sort=False):
        movies = [m for m, g in groups_of.items() if g == group]
        tests = int(s["p_value"].notna().sum())
        p = min_p(movies, controls)
        best = tests * p if tests else math.nan
        needed = int(math.floor(best / alpha)) + 1 if tests and p < alpha else math.nan
        row = {"group": group, "control": control, "family": family, "tests": tests,
               "n_group": len(movies), "n_control": len(controls), "smallest_p": p,
               "best_single_q": best, "one_can_count": bool(best < alpha),
               "features_needed": min(needed, tests) if tests and p < alpha else math.nan,
               "movies_per_group": movies_needed(tests, alpha) if tests else None,
               "significant": int(s["significant"].sum())}
        row["statement"] = design_statement(row, alpha)
        rows.append(row)
    return pd.DataFrame(rows, columns=DESIGN_COLUMNS)


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


def _exclusion(status, consistent, min_consistent, keep, error=""):
    """Why a movie is left out ("" when it is used). A partial run counts as
    low quality: used only with --keep-low-quality."""
    if status == "unreadable":
        return f"results unreadable: {error[:200]}"
    if status == "partial" and not keep:
        return "analysis partial: it stopped before every frame it planned"
    if status not in ("ok", "partial"):
        return f"analysis {status}"
    if not keep and not consistent >= min_consistent:
        return f"{consistent:.3g} % consistent frames, below {min_consistent:g} %"
    return ""


def check_groups_kept(sheet, table, groups, control):
    """StudyError naming every group (the control first) that keeps fewer
    than 2 usable movies once the failed and low-quality ones are left out."""
    errors = []
    for group in [control] + [g for g in groups if g != control]:
        members = table[table["group"] == group]
        kept = int(members["used"].sum())
        if kept >= 2:
            continue
        dropped = "; ".join(f"{m} ({r})" for m, r in
                            members.loc[~members["used"], "left_out_because"].items())
        what = "the control group" if group == control else "group"
        errors.append(f"{sheet.path}: {what} {group!r} keeps {kept} usable movie"
                      f"{'' if kept == 1 else 's'}, fewer than the 2 a comparison needs, once "
                      f"these are left out: {dropped} (see --min-consistent and "
                      "--keep-low-quality, or take the group out of the sheet)")
    if errors:
        raise StudyError(errors)


def build_study(batch_out, samples, control, out=None, min_consistent=DEFAULT_MIN_CONSISTENT,
                keep_low_quality=False, alpha=DEFAULT_ALPHA, primary=(), all_percentiles=False,
                block=None, progress=False):
    """Reads, checks and computes a study without writing anything;
    raises StudyError or BatchError for bad input. With `progress`, reports
    the reading of the movies on standard error."""
    batch_out = Path(batch_out)
    primary = check_primary(primary)
    sheet = read_sample_sheet(samples)
    column = block_column(sheet, block) if block else None
    movies = batch_movies(batch_out)
    groups = check_sheet(sheet, movies, control, batch_out)
    step = (Progress("reading movies", len(movies), prefix="dukon-study").step
            if progress else None)
    features = feature_table(movies.values(), progress=step)
    table = _movies_table(sheet, features, min_consistent, keep_low_quality)
    table["head_checks"] = [head_checks(movies[m]) for m in table.index]
    check_groups_kept(sheet, table, groups, control)
    used = table[table["used"]]
    groups_of = dict(used["group"].items())
    blocks_of = dict(used[column].items()) if column else None
    families = study_families(primary, all_percentiles)
    stats = compare_groups(features, groups_of, control, families, alpha, blocks_of)
    design = design_table(stats, groups_of, control, alpha, blocks_of)
    order = [control] + [g for g in groups if g != control]
    return Study(batch_out, Path(out) if out else batch_out / "study", sheet, control,
                 min_consistent, keep_low_quality, alpha, features, table, stats, design,
                 order, families, column,
                 {m.name: m.report for m in movies.values() if m.name in table.index})


def _write_csv(frame, path, index):
    replace_atomically(path, lambda tmp: frame.to_csv(tmp, index=index, float_format="%.6g",
                                                      na_rep=""))


def write_study(study, progress=False):
    """Draws the figures and the page, then writes the study's files;
    study.html last. Returns its path."""
    from .study_figures import render_figures
    from .study_report import build_study_report

    drawn = render_figures(study, progress)
    page = build_study_report(study, drawn)
    figures = study.out / "figures"
    figures.mkdir(parents=True, exist_ok=True)
    write_features(study.features, study.batch_out)
    _write_csv(study.stats, study.out / "stats.csv", index=False)
    _write_csv(study.design, study.out / "design.csv", index=False)
    _write_csv(study.movies, study.out / "movies.csv", index=True)
    for f in drawn.figures:
        for kind, data in (("svg", f.svg), ("pdf", f.pdf)):
            replace_atomically(figures / f"{f.name}.{kind}", lambda tmp, d=data: tmp.write_bytes(d))
    replace_atomically(study.out / "figures.pdf", lambda tmp: tmp.write_bytes(drawn.combined))
    return replace_atomically(study.out / "study.html",
                              lambda tmp: tmp.write_text(page, encoding="utf-8"))


def run_study(batch_out, samples, control, out=None, progress=False, **options):
    """Builds and writes a study; returns (Study, path of study.html)."""
    study = build_study(batch_out, samples, control, out, progress=progress, **options)
    return study, write_study(study, progress)


def _count(n, word):
    return f"{n} {word}{'' if n == 1 else 's'}"


def _fmt(v):
    return "n/a" if v is None or (isinstance(v, float) and math.isnan(v)) else f"{v:.3g}"


def print_findings(study, stream):
    """The design of every comparison and its significant features, as
    the page states them."""
    for group in [g for g in study.groups if g != study.control]:
        d = study.design[study.design["group"] == group]
        if not len(d):
            continue
        first = d.iloc[0]
        print(f"dukon-study: {group} against {study.control}: {first['n_group']} and "
              f"{first['n_control']} movies", file=stream)
        for _, r in d.iterrows():
            print(f"dukon-study:   {r['family']} ({_count(r['tests'], 'feature')}): smallest "
                  f"attainable p {_fmt(r['smallest_p'])}; {r['statement']}", file=stream)
        s = study.stats[(study.stats["group"] == group) & study.stats["significant"]]
        for _, r in s.iterrows():
            print(f"dukon-study:   differs: {r['feature']} ({r['family']}) q {_fmt(r['q_value'])}, "
                  f"median {_fmt(r['median_group'])} against {_fmt(r['median_control'])} "
                  f"{r['unit']}, difference {_fmt(r['difference'])} (95 % interval "
                  f"{_fmt(r['ci_low'])} to {_fmt(r['ci_high'])}), Cliff's delta "
                  f"{_fmt(r['cliffs_delta'])}", file=stream)


def _parser():
    parser = argparse.ArgumentParser(
        prog="dukon-study",
        description="Compares groups of movies of a batch run against a control group: "
                    "features.csv in the batch folder; stats.csv, design.csv, movies.csv, "
                    "figures/, figures.pdf and study.html in the study folder, whose path is "
                    "printed.")
    parser.add_argument("batch_out", help="output folder of a batch run (with summary.csv)")
    parser.add_argument("--samples", required=True, metavar="SHEET",
                        help="CSV file with the columns movie and group (and any others)")
    parser.add_argument("--control", required=True, metavar="NAME", help="the control group")
    parser.add_argument("--out", metavar="DIR", help="study folder (default BATCH_OUT/study)")
    parser.add_argument("--primary", metavar="F[,F...]", default="",
                        help="pre-registered features, tested as their own family")
    parser.add_argument("--all-percentiles", action="store_true",
                        help="test the 10th and 90th percentiles too (exploratory)")
    parser.add_argument("--block", metavar="COLUMN",
                        help="a column of the sheet (date, plate): permute group labels only "
                             "within its blocks")
    parser.add_argument("--min-consistent", type=float, default=DEFAULT_MIN_CONSISTENT,
                        metavar="PERCENT", help="leave out movies with fewer consistent "
                        "frames (default %(default)g)")
    parser.add_argument("--keep-low-quality", action="store_true",
                        help="use the movies below the quality threshold too")
    parser.add_argument("--alpha", type=float, default=DEFAULT_ALPHA,
                        help="q-value below which a difference is significant "
                             "(default %(default)g)")
    return parser


def main(argv=None):
    parser = _parser()
    args = parser.parse_args(argv)
    if not 0 < args.alpha < 1:
        parser.error("--alpha must lie between 0 and 1")
    if comparison.scistats is None:
        print("dukon-study: needs scipy (Debian: apt-get install python3-scipy)",
              file=sys.stderr)
        return 1
    primary = [f.strip() for f in args.primary.split(",") if f.strip()]
    try:
        study, page = run_study(args.batch_out, args.samples, args.control, args.out,
                                progress=True, min_consistent=args.min_consistent,
                                keep_low_quality=args.keep_low_quality, alpha=args.alpha,
                                primary=primary, all_percentiles=args.all_percentiles,
                                block=args.block)
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
    print_findings(study, sys.stderr)
    for movie, n in study.movies["head_checks"].items():
        if n > 0:
            print(f"dukon-study: head and tail may be swapped in {movie}: {n:.0f} stretch(es) "
                  "of frames (see its checks.csv; headmode = combined)", file=sys.stderr)
    print(page)
    return 0


if __name__ == "__main__":
    sys.exit(main())
