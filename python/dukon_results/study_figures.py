"""The figures of a study, drawn once and kept as SVG and PDF bytes.

- one per feature shown (the primary ones, those that differ, the core
  ones): every used movie a point over a box per group, the group's number
  of movies under its name, the feature's unit on the axis, and the q-value
  (with its family) of each group against the control on top;
- "effect_sizes": Cliff's delta of the features shown, features x groups;
- "ethogram": the share of frames in each movement class, one point per
  movie over the group's mean;
- "posture": how far each movie's posture ranges along eigenworm modes 1 to
  6 (10th to 90th percentile over its consistent frames), by group.

Text stays text in the SVG files (editable), and fonts are embedded in the
PDF files as TrueType. The page shows the SVGs; figures.pdf holds every
figure, one per page.
"""

import io
import math
import textwrap
from dataclasses import dataclass

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from matplotlib.backends.backend_pdf import PdfPages  # noqa: E402

from . import glossary  # noqa: E402
from .features import ETHOGRAM, FEATURE_UNITS  # noqa: E402
from .labels import MOVEMENTS  # noqa: E402
from .pages import COLOURS, NO_CLASS  # noqa: E402
from .progress import Progress  # noqa: E402

GROUP_COLOURS = ["#7f7f7f", "#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#17becf",
                 "#8c564b", "#e377c2", "#bcbd22"]
STYLE = {"svg.fonttype": "none", "pdf.fonttype": 42, "svg.hashsalt": "dukon-study",
         "font.size": 9}
MODES = range(1, 7)


@dataclass
class StudyFigure:
    name: str     # file stem in figures/
    title: str    # caption
    svg: bytes
    pdf: bytes


@dataclass
class Drawn:
    figures: list    # StudyFigure, in page order
    combined: bytes  # figures.pdf
    failed: dict     # title -> why the figure could not be drawn


def shown_features(study):
    """Features that get a figure: the primary ones, those that differ (by
    q), then the core ones; each once, only those tested somewhere."""
    s = study.stats
    tested = set(s.loc[s["p_value"].notna(), "feature"])
    significant = s[s["significant"]].sort_values("q_value")["feature"]
    wanted = study.families.get("primary", []) + list(significant) + study.families.get("core", [])
    return [f for f in dict.fromkeys(wanted) if f in tested]


def _used(study):
    used = study.movies[study.movies["used"]]
    return [(g, list(used.index[used["group"] == g])) for g in study.groups]


def _q_label(study, feature, group):
    s = study.stats
    r = s[(s["feature"] == feature) & (s["group"] == group)]
    if not len(r) or math.isnan(r.iloc[0]["q_value"]):
        return "not tested"
    r = r.iloc[0]
    return f"q = {r['q_value']:.2g}\n({r['family']})"


def _axis_label(feature):
    """The feature's definition, wrapped, with its unit."""
    unit = FEATURE_UNITS.get(feature, "")
    lines = textwrap.wrap(glossary.load().describe(feature).rstrip("."), 42)
    text = "\n".join(lines) if 0 < len(lines) <= 3 else feature
    return f"{text} ({unit})" if unit else text


def feature_figure(study, feature, rng):
    groups = _used(study)
    fig, ax = plt.subplots(figsize=(1.6 + 1.3 * len(groups), 3.6))
    data = [study.features.loc[movies, feature].dropna().to_numpy() for _, movies in groups]
    ax.boxplot([d if len(d) else [np.nan] for d in data], widths=0.55, showfliers=False,
               medianprops={"color": "black"})
    for k, d in enumerate(data):
        ax.plot(k + 1 + rng.uniform(-0.14, 0.14, len(d)), d, "o", markersize=5, alpha=0.85,
                color=GROUP_COLOURS[k % len(GROUP_COLOURS)], markeredgecolor="white",
                markeredgewidth=0.5)
    ax.set_xticks(range(1, len(groups) + 1),
                  [f"{g}\nn = {len(d)}" for (g, _), d in zip(groups, data)])
    low, high = ax.get_ylim()
    ax.set_ylim(low, high + 0.22 * (high - low))
    for k, (g, _) in enumerate(groups):
        if g != study.control:
            ax.text(k + 1, high + 0.04 * (high - low), _q_label(study, feature, g), ha="center",
                    va="bottom", fontsize=8)
    ax.set_ylabel(_axis_label(feature))
    ax.set_title(feature)
    fig.tight_layout()
    return fig


def effect_figure(study, features):
    groups = [g for g in study.groups if g != study.control]
    s = study.stats.set_index(["feature", "group"])
    delta = np.array([[s.loc[(f, g), "cliffs_delta"] if (f, g) in s.index else np.nan
                       for g in groups] for f in features])
    fig, ax = plt.subplots(figsize=(3.4 + 1.1 * len(groups), 1.3 + 0.26 * len(features)))
    image = ax.imshow(np.ma.masked_invalid(delta), cmap="RdBu_r", vmin=-1, vmax=1, aspect="auto")
    for i, f in enumerate(features):
        for j, g in enumerate(groups):
            q = s.loc[(f, g), "q_value"] if (f, g) in s.index else np.nan
            text = "n/a" if math.isnan(delta[i, j]) else marks(q, study.alpha)
            ax.text(j, i, text, ha="center", va="center", fontsize=9, fontweight="bold",
                    color="white" if abs(np.nan_to_num(delta[i, j])) > 0.6 else "black")
    ax.set_xticks(range(len(groups)), [f"{g}\nvs {study.control}" for g in groups], fontsize=8)
    ax.set_yticks(range(len(features)), [f"{f} ({FEATURE_UNITS[f]})" for f in features],
                  fontsize=7)
    ax.xaxis.tick_top()
    fig.colorbar(image, ax=ax, fraction=0.05, pad=0.02, label="Cliff's delta")
    fig.tight_layout()
    return fig


def marks(q, alpha):
    """'*', '**' or '***' for q below alpha, alpha/10, alpha/100; else ''."""
    if q is None or math.isnan(q) or q >= alpha:
        return ""
    return "***" if q < alpha / 100 else ("**" if q < alpha / 10 else "*")


def _clusters(ax, study, table, columns, labels, rng):
    """Per column of `table` (indexed by movie) a cluster of groups: each
    movie a point, the group's mean a bar behind them."""
    groups = _used(study)
    width = 0.8 / len(groups)
    for k, (g, movies) in enumerate(groups):
        colour = GROUP_COLOURS[k % len(GROUP_COLOURS)]
        for i, column in enumerate(columns):
            values = table.loc[movies, column].dropna().to_numpy()
            x = i - 0.4 + width * (k + 0.5)
            if len(values):
                ax.bar(x, values.mean(), width=width * 0.9, color=colour, alpha=0.25,
                       edgecolor=colour)
            ax.plot(x + rng.uniform(-0.25, 0.25, len(values)) * width, values, "o",
                    markersize=3.5, color=colour, label=f"{g} (n = {len(movies)})" if i == 0
                    else None)
    ax.set_xticks(range(len(columns)), labels)
    ax.legend(fontsize=8, frameon=False)


def ethogram_figure(study, rng):
    fig, ax = plt.subplots(figsize=(9, 3.4))
    kinds = list(MOVEMENTS) + ["none"]
    _clusters(ax, study, study.features, ETHOGRAM, kinds, rng)
    for tick, kind in zip(ax.get_xticklabels(), kinds):
        tick.set_color(COLOURS.get(kind, NO_CLASS) if kind != "none" else "#555")
    ax.set_ylabel("share of analysed frames (%)")
    ax.set_title("Movement classes: each movie a point, the group's mean a bar")
    fig.tight_layout()
    return fig


def posture_figure(study, rng):
    fig, ax = plt.subplots(figsize=(9, 3.4))
    f = study.features
    ranges = f[[]].assign(**{f"mode {m}": f[f"eigen{m}_all_p90"] - f[f"eigen{m}_all_p10"]
                             for m in MODES})
    _clusters(ax, study, ranges, list(ranges.columns), list(ranges.columns), rng)
    ax.set_ylabel("range of the projection (rad)\n10th to 90th percentile")
    ax.set_title("Posture: how far each movie moves along the N2 eigenworm modes")
    fig.tight_layout()
    return fig


def _save(fig, name, title, pages):
    svg, pdf = io.BytesIO(), io.BytesIO()
    fig.savefig(svg, format="svg", metadata={"Date": None})
    fig.savefig(pdf, format="pdf", metadata={"CreationDate": None})
    pages.savefig(fig)
    plt.close(fig)
    return StudyFigure(name, title, svg.getvalue(), pdf.getvalue())


def render_figures(study, progress=False):
    """Every figure of the study (Drawn). A figure that cannot be drawn is
    left out and named, with the reason, in Drawn.failed."""
    features = shown_features(study)
    plans = [(f, f"{f}: every movie by group, q against {study.control}",
              lambda f=f: feature_figure(study, f, np.random.default_rng(0)))
             for f in features]
    if features and len(study.groups) > 1:
        plans.append(("effect_sizes", "Effect sizes (Cliff's delta), features x groups",
                      lambda: effect_figure(study, features)))
    plans.append(("ethogram", "Movement classes by group, per movie",
                  lambda: ethogram_figure(study, np.random.default_rng(1))))
    plans.append(("posture", "Posture by group: range along eigenworm modes 1 to 6",
                  lambda: posture_figure(study, np.random.default_rng(2))))
    step = Progress("drawing figures", len(plans), prefix="dukon-study").step if progress \
        else (lambda: None)
    drawn, failed, combined = [], {}, io.BytesIO()
    with plt.rc_context(STYLE), PdfPages(combined, metadata={"CreationDate": None}) as pages:
        for name, title, build in plans:
            try:
                drawn.append(_save(build(), name, title, pages))
            except Exception as e:  # noqa: BLE001 - one figure must not cost the study
                plt.close("all")
                failed[title] = f"{type(e).__name__}: {e}"
            step()
    return Drawn(drawn, combined.getvalue(), failed)
