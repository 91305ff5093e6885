"""study.html: one self-contained page of a study (see study.py).

Sections: the movies with their quality and links to their reports; a
heatmap of effect sizes (features x groups) with q-value marks and the
table of significant differences; box plots per feature by group, the
significant features first; the ethogram shares by group.
"""

import html
import math
import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

from .features import BEHAVIOUR_FEATURES, ETHOGRAM, FEATURE_UNITS, PER_FRAME, describe, \
    frame_feature  # noqa: E402
from .labels import MOVEMENTS  # noqa: E402
from .report import COLOURS, NO_CLASS, STYLE, _fmt, _img, _note, _png  # noqa: E402

# Feature panels shown by group, at most.
MAX_PANELS = 12
# Rows of the heatmap beyond the significant ones: the behaviour figures and
# the median of every per-frame feature over all consistent frames.
HEADLINE = BEHAVIOUR_FEATURES + [frame_feature(c, "all", 50) for c, _, _ in PER_FRAME]
# Text cells of the settings and movie tables read better left-aligned.
EXTRA_STYLE = "table.text td { text-align: left; } a { color: #124a9c; }"
GROUP_COLOURS = ["#7f7f7f", "#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#17becf",
                 "#8c564b", "#e377c2", "#bcbd22"]


def marks(q, alpha):
    """'*', '**' or '***' for q below alpha, alpha/10, alpha/100; else ''."""
    if q is None or math.isnan(q) or q >= alpha:
        return ""
    return "***" if q < alpha / 100 else ("**" if q < alpha / 10 else "*")


def _cell(value, raw=False):
    return f"<td>{value if raw else _fmt(value)}</td>"


def _html_table(header, rows, css=""):
    """`rows` of cells; a cell given as ("html", text) is put in as it is."""
    out = [f"<table class='{css}'>" if css else "<table>",
           "<tr>" + "".join(f"<th>{html.escape(h)}</th>" for h in header) + "</tr>"]
    for row in rows:
        cells = [_cell(c[1], raw=True) if isinstance(c, tuple) else _cell(c) for c in row]
        out.append("<tr>" + "".join(cells) + "</tr>")
    out.append("</table>")
    return "\n".join(out)


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
    return _html_table(header, rows)


def _compared_groups(study):
    return [g for g in study.groups if g != study.control and g not in study.not_compared]


def heatmap_features(study):
    """Rows of the heatmap: the significant features, then the headline
    ones, each once, only those tested in some comparison."""
    s = study.stats
    tested = set(s.loc[s["p_value"].notna(), "feature"])
    significant = list(dict.fromkeys(s.loc[s["significant"], "feature"]))
    return [f for f in dict.fromkeys(significant + HEADLINE) if f in tested]


def heatmap_png(study):
    groups = _compared_groups(study)
    rows = heatmap_features(study)
    if not rows or not groups:
        raise ValueError("no feature could be compared")
    s = study.stats.set_index(["feature", "group"])
    delta = np.array([[s.loc[(f, g), "cliffs_delta"] for g in groups] for f in rows])
    fig, ax = plt.subplots(figsize=(3.2 + 1.1 * len(groups), 1.2 + 0.24 * len(rows)))
    image = ax.imshow(np.ma.masked_invalid(delta), cmap="RdBu_r", vmin=-1, vmax=1,
                      aspect="auto")
    for i, f in enumerate(rows):
        for j, g in enumerate(groups):
            text = marks(s.loc[(f, g), "q_value"], study.alpha)
            if math.isnan(delta[i, j]):
                text = "n/a"
            ax.text(j, i, text, ha="center", va="center", fontsize=9, fontweight="bold",
                    color="white" if abs(np.nan_to_num(delta[i, j])) > 0.6 else "black")
    ax.set_xticks(range(len(groups)), [f"{g}\nvs {study.control}" for g in groups], fontsize=8)
    ax.set_yticks(range(len(rows)), [f"{f} ({FEATURE_UNITS[f]})" for f in rows], fontsize=7)
    ax.xaxis.tick_top()
    fig.colorbar(image, ax=ax, fraction=0.05, pad=0.02, label="Cliff's delta")
    fig.tight_layout()
    return _png(fig)


def section_differences(study):
    s = study.stats
    parts = [f"<p>Cliff's delta of each group against <b>{html.escape(study.control)}</b>: "
             "+1 means every movie of the group lies above every control movie, -1 below. "
             f"Marks: * q &lt; {study.alpha:g}, ** q &lt; {study.alpha / 10:g}, "
             f"*** q &lt; {study.alpha / 100:g} (Benjamini-Hochberg across the features of "
             "each comparison); n/a: not tested. Every number is in "
             "<a href='stats.csv'>stats.csv</a>.</p>"]
    parts.append(_figure("Effect sizes, features x groups", lambda: heatmap_png(study)))
    sig = s[s["significant"]].sort_values(["group", "q_value"])
    if len(sig):
        rows = [[r["group"], r["feature"], r["unit"], r["median_group"], r["median_control"],
                 r["cliffs_delta"], r["p_value"], r["q_value"], r["n_group"], r["n_control"]]
                for _, r in sig.iterrows()]
        parts.append(_html_table(["group", "feature", "unit", "median (group)",
                                  "median (control)", "Cliff's delta", "p", "q", "n", "n control"],
                                 rows))
    else:
        parts.append(_note(f"No feature differs from the control at q < {study.alpha:g}."))
    return "\n".join(parts)


def panel_features(study):
    """Features shown by group: by their smallest q over the comparisons,
    significant first; at most MAX_PANELS."""
    s = study.stats[study.stats["q_value"].notna()]
    best = s.groupby("feature")["q_value"].min().sort_values(kind="stable")
    return list(best.index[:MAX_PANELS])


def _used_values(study, feature):
    used = study.movies[study.movies["used"]]
    return [(g, study.features.loc[used.index[used["group"] == g], feature].dropna().to_numpy())
            for g in study.groups]


def features_png(study, chosen):
    cols = 4
    nrows = math.ceil(len(chosen) / cols)
    fig, axes = plt.subplots(nrows, cols, figsize=(13, 3.1 * nrows), squeeze=False)
    s = study.stats.set_index(["feature", "group"])
    rng = np.random.default_rng(0)
    for ax, feature in zip(axes.flat, chosen):
        data = _used_values(study, feature)
        positions = range(1, len(data) + 1)
        ax.boxplot([d if len(d) else [np.nan] for _, d in data], positions=positions,
                   widths=0.55, showfliers=False)
        for k, (g, d) in enumerate(data):
            ax.plot(k + 1 + rng.uniform(-0.15, 0.15, len(d)), d, "o", markersize=4, alpha=0.8,
                    color=GROUP_COLOURS[k % len(GROUP_COLOURS)])
        labels = [g if g == study.control else
                  f"{g}{marks(s.loc[(feature, g), 'q_value'], study.alpha)}"
                  if (feature, g) in s.index else g for g, _ in data]
        ax.set_xticks(list(positions), labels, fontsize=8)
        unit = FEATURE_UNITS[feature]
        ax.set_title(feature + (f" ({unit})" if unit else ""), fontsize=9)
    for ax in list(axes.flat)[len(chosen):]:
        ax.axis("off")
    fig.tight_layout()
    return _png(fig)


def section_features(study):
    chosen = panel_features(study)
    if not chosen:
        return _note("No feature could be compared.")
    described = "; ".join(f"{html.escape(f)}: {html.escape(describe(f))}" for f in chosen)
    return (_figure("Features by group, smallest q first (control first in each panel)",
                    lambda: features_png(study, chosen))
            + f"<details><summary>What the panels show</summary><p>{described}</p></details>")


def ethogram_png(study):
    used = study.movies[study.movies["used"]]
    kinds = list(MOVEMENTS) + ["none"]
    means = np.array([[study.features.loc[used.index[used["group"] == g], column].mean()
                       for column in ETHOGRAM] for g in study.groups])
    fig, ax = plt.subplots(figsize=(10, 0.9 + 0.5 * len(study.groups)))
    left = np.zeros(len(study.groups))
    for k, kind in enumerate(kinds):
        share = np.nan_to_num(means[:, k])
        ax.barh(range(len(study.groups)), share, left=left, label=kind,
                color=COLOURS.get(kind, NO_CLASS), edgecolor="#999", linewidth=0.4)
        left += share
    ax.set_yticks(range(len(study.groups)), study.groups)
    ax.invert_yaxis()
    ax.set_xlim(0, 100)
    ax.set_xlabel("share of analysed frames (%), mean over the group's movies")
    ax.legend(ncol=len(kinds), loc="lower center", bbox_to_anchor=(0.5, 1.0), frameon=False,
              fontsize=8)
    fig.tight_layout()
    return _png(fig)


def _figure(title, build):
    try:
        return f"<figure>{_img(build(), title)}<figcaption>{title}</figcaption></figure>"
    except Exception as e:  # a figure that fails must not cost the whole page
        plt.close("all")
        return _note(f"{title}: could not be drawn ({type(e).__name__}: {e})")


def _settings(study):
    methods = sorted(m for m in set(study.stats["method"])
                     if not m.startswith(("not tested", "no variation")))
    kept = ("kept whatever their quality" if study.keep_low_quality else
            f"left out below {study.min_consistent:g} % consistent frames")
    rows = [("batch", str(study.batch_out.resolve())), ("sample sheet", str(study.sheet.path.resolve())),
            ("control group", study.control), ("movies", kept),
            ("tests", ", ".join(methods) or "none"), ("significance", f"q < {study.alpha:g}")]
    rows += [(f"group {g}", f"not compared: {r}") for g, r in study.not_compared.items()]
    return _html_table(["", ""], rows, css="text")


def build_study_report(study):
    """The study page as one HTML text."""
    others = [g for g in study.groups if g != study.control]
    title = f"DUKON study: {', '.join(others)} against {study.control}"
    body = [f"<h1>{html.escape(title)}</h1>", _settings(study),
            "<h2>Movies and their quality</h2>", section_movies(study),
            "<h2>Differences from the control</h2>", section_differences(study),
            "<h2>Features by group</h2>", section_features(study),
            "<h2>Ethogram by group</h2>",
            _figure("Movement classes by group", lambda: ethogram_png(study))]
    return ("<!DOCTYPE html>\n<html lang='en'><head><meta charset='utf-8'>"
            f"<title>{html.escape(title)}</title><style>{STYLE}{EXTRA_STYLE}</style></head>\n"
            "<body>\n"
            + "\n".join(body) + "\n</body></html>\n")
