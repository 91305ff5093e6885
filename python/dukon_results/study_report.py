"""study.html: one self-contained page of a study (see study.py).

Sections: the settings (families, test, blocking); the movies with their
quality and links to their reports; what the design can show (the
smallest attainable p of each comparison and whether each family can reach
the threshold); the features that differ, family by family, with their
bootstrap intervals and Cliff's delta; the figures (the same SVG files as
figures/, each with links to its SVG and PDF); and the glossary entries of
every feature the page names.
"""

import html
import os

from .features import ETHOGRAM
from .pages import STYLE, feature_link, fmt, glossary_section, img, note, table
from .study_figures import shown_features

# Text cells of the settings and movie tables read better left-aligned.
EXTRA_STYLE = "table.text td { text-align: left; }"
FAMILY_WORDS = {
    "primary": "pre-registered with --primary, tested as their own family",
    "core": "the core set that labs report, one family",
    "exploratory": "everything else, one family",
}


def _report_link(study, movie):
    report = study.reports.get(movie)
    if report is None or not os.path.isfile(report):
        return html.escape(movie) + " (no report)"
    href = os.path.relpath(report, study.out)
    return f'<a href="{html.escape(href)}">{html.escape(movie)}</a>'


def section_movies(study):
    # Grouped as the study lists its groups, in sheet order within a group.
    t = study.movies.assign(_order=study.movies["group"].map(study.groups.index))
    t = t.sort_values("_order", kind="stable")
    header = (["movie", "group"] + study.sheet.extra_columns
              + ["analysis", "frames", "good %", "consistent %", "head checks", "used"])
    rows = []
    for movie, r in t.iterrows():
        used = "yes" if r["used"] else f"no: {r['left_out_because']}"
        rows.append([("html", _report_link(study, movie)), r["group"]]
                    + [r[c] for c in study.sheet.extra_columns]
                    + [r["status"], r["frames"], r["good_percent"], r["consistent_percent"],
                       r["head_checks"], used])
    return table(rows, header)


def _methods(study):
    methods = sorted(m for m in set(study.stats["method"].dropna())
                     if not m.startswith(("not tested", "no variation")))
    return "; ".join(methods) or "none"


def _family_cell(study, family):
    features = study.families[family]
    if family == "exploratory":
        return (f"{len(features)} features: the other behaviour figures and per-frame medians "
                "(a feature without values in both groups is not tested)")
    return ", ".join(feature_link(f) for f in features)


def _settings(study):
    kept = ("kept whatever their quality" if study.keep_low_quality else
            f"left out below {study.min_consistent:g} % consistent frames")
    blocking = (f"p-values from a permutation test that permutes group labels only within "
                f"the blocks of the sheet's column {study.block!r} (van Elteren statistic)"
                if study.block else "none: every movie of a group against every control movie")
    rows = [("batch", str(study.batch_out.resolve())),
            ("sample sheet", str(study.sheet.path.resolve())),
            ("control group", study.control), ("movies", kept), ("tests", _methods(study)),
            ("blocking", blocking),
            ("significance", f"q < {study.alpha:g}, Benjamini-Hochberg within each family")]
    rows += [(f"family {f}", ("html", f"{html.escape(FAMILY_WORDS[f])}: "
                                      f"{_family_cell(study, f)}")) for f in study.families]
    return table(rows, ["", ""], css="text")


def section_design(study):
    """What each family of each comparison can show, in words and numbers."""
    parts = ["<p>The smallest p a rank test can give depends only on the group sizes (for the "
             "exact U test 2 / C(n + m, n)); after Benjamini-Hochberg correction among k tests "
             f"a single difference counts only if k times that p is below {study.alpha:g}.</p>"]
    rows = [[r["group"], r["family"], r["tests"], r["n_group"], r["n_control"], r["smallest_p"],
             r["best_single_q"], r["significant"], r["statement"]]
            for _, r in study.design.iterrows()]
    parts.append(table(rows, ["group", "family", "tests", "n", "n control", "smallest p",
                              "q of one strongest difference", "differ", "what it can show"],
                       css="text"))
    return "\n".join(parts)


def section_differences(study):
    s = study.stats
    parts = [f"<p>Each group against <b>{html.escape(study.control)}</b>. Difference: median "
             "of the group minus median of the control, in the feature's unit, with a 95 % "
             "bootstrap interval; Cliff's delta: +1 when every movie of the group lies above "
             "every control movie, -1 below. Every number of every test is in "
             "<a href='stats.csv'>stats.csv</a>, the design in "
             "<a href='design.csv'>design.csv</a>.</p>"]
    for family in study.families:
        sig = s[s["significant"] & (s["family"] == family)].sort_values(["group", "q_value"])
        parts.append(f"<h3>{family.capitalize()} family</h3>")
        if not len(sig):
            parts.append(note(f"No feature of the {family} family differs from the control at "
                              f"q < {study.alpha:g}; see what the design can show above."))
            continue
        rows = [[r["group"], ("html", feature_link(r["feature"])), r["unit"], r["median_group"],
                 r["median_control"], r["difference"],
                 f"{fmt(r['ci_low'])} to {fmt(r['ci_high'])}", r["cliffs_delta"], r["p_value"],
                 r["q_value"], r["n_group"], r["n_control"]] for _, r in sig.iterrows()]
        parts.append(table(rows, ["group", "feature", "unit", "median (group)",
                                  "median (control)", "difference", "95 % interval",
                                  "Cliff's delta", "p", "q", "n", "n control"]))
    return "\n".join(parts)


def section_figures(study, drawn):
    parts = ["<p>Each figure is also in <code>figures/</code> as SVG (text kept as text) and "
             "PDF, and all of them in <a href='figures.pdf'>figures.pdf</a>.</p>"]
    for f in drawn.figures:
        links = (f"<a href='figures/{html.escape(f.name)}.svg'>SVG</a>, "
                 f"<a href='figures/{html.escape(f.name)}.pdf'>PDF</a>")
        parts.append(f"<figure>{img(f.svg, f.title, 'svg')}<figcaption>"
                     f"{html.escape(f.title)} ({links})</figcaption></figure>")
    for title, why in drawn.failed.items():
        parts.append(note(f"{title}: could not be drawn ({why})"))
    return "\n".join(parts)


def build_study_report(study, drawn):
    """The study page as one HTML text; `drawn` holds its figures."""
    others = [g for g in study.groups if g != study.control]
    title = f"DUKON study: {', '.join(others)} against {study.control}"
    named = (sum(study.families.values(), []) + shown_features(study) + ETHOGRAM
             + [f"eigen{m}" for m in range(1, 7)])
    body = [f"<h1>{html.escape(title)}</h1>", _settings(study),
            "<h2>Movies and their quality</h2>", section_movies(study),
            "<h2>What this design can show</h2>", section_design(study),
            "<h2>Differences from the control</h2>", section_differences(study),
            "<h2>Figures</h2>", section_figures(study, drawn),
            "<h2>Glossary</h2>", glossary_section(named)]
    return ("<!DOCTYPE html>\n<html lang='en'><head><meta charset='utf-8'>"
            f"<title>{html.escape(title)}</title><style>{STYLE}{EXTRA_STYLE}</style></head>\n"
            "<body>\n" + "\n".join(body) + "\n</body></html>\n")
