"""dukon-report: one HTML page that shows a run's results.

The page is self-contained (every image is embedded as PNG data, and the
glossary entries of the measures it shows are part of it), so it can be
copied or mailed on its own. Lengths and positions are in mm, speeds in
mm/s. Each section is built from the files it needs; a missing or
unreadable file leaves a note in its section and the rest of the page is
still written.
"""

import argparse
import base64
import html
import io
import sys
import urllib.parse
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from matplotlib.colors import Normalize  # noqa: E402
from PIL import Image  # noqa: E402

from .centreline import SOURCES, iter_centrelines  # noqa: E402
from .checks import head_check_lines  # noqa: E402
from .errors import READ_ERRORS, ResultFileError  # noqa: E402
from .files import replace_atomically  # noqa: E402
from .labels import MOVEMENTS  # noqa: E402
from .pages import (COLOURS, IGNORED, NO_CLASS, STYLE, feature_link, figure, fmt,  # noqa: E402
                    glossary_section, img, note, png, table)
from .run import Run  # noqa: E402

# Body features shown per movement class: (column, title, unit, scale),
# scale None meaning "divide by mmpix" (pixels to millimetres).
BODY_FEATURES = [("len", "length", "mm", None),
                 ("Navgamp", "mean amplitude / length", "", 1.0),
                 ("anglesym", "bend asymmetry", "deg", 1.0),
                 ("avgangle", "mean bend angle", "deg", 1.0),
                 ("Nwavelen", "wavelength / length", "", 1.0),
                 ("freq", "body-wave frequency", "Hz", 1.0),
                 ("straightfs", "straightness", "", 1.0), ("sinusfs", "sinus fit", "", 1.0)]


def _time_axis(df):
    """Times in seconds when the rate is known, else frame numbers."""
    if "time" in df:
        return df["time"].to_numpy(), "time (s)"
    return df["frame"].to_numpy(), "frame"


def _bitmap_png(path):
    with Image.open(path) as im:
        buf = io.BytesIO()
        im.save(buf, format="PNG")
    return buf.getvalue()


def _mmpix(run):
    """Pixels per mm of the run, or None when the parameters copy lacks it."""
    try:
        value = float(run.params.get("mmpix", 0))
    except READ_ERRORS:
        return None
    return value if value > 0 else None


def section_images(run):
    parts = []
    path = run.track_image
    try:
        parts.append(f"<figure>{img(_bitmap_png(path), 'Track')}"
                     f"<figcaption>Track ({html.escape(path.name)})</figcaption></figure>")
    except READ_ERRORS as e:
        parts.append(note(f"Track image not available: {e}"))
    try:
        wave = _bitmap_png(run.wave_image)
    except READ_ERRORS as e:
        parts.append(note(f"Body wave image not available: {e}"))
    else:
        parts.append(figure(f"Body wave ({run.wave_image.name}): bend angle along the body "
                            "over time", lambda: wave_png(run, wave)))
    return "<div class='row'>" + "\n".join(parts) + "</div>"


def wave_png(run, wave):
    """wave.bmp with a time axis (s), the body from head to tail, and the
    grey key in degrees. The image's grey scale runs from the largest bend
    magnitude to one side (0) to the same to the other (254): the largest of
    maxangL and maxangR over the consistent frames (exact from frames.csv,
    two digits from wxd.txt). Rows are placed by the median chain length;
    shorter or longer chains sit a few rows off."""
    with Image.open(io.BytesIO(wave)) as im:
        grey = np.asarray(im.convert("L"), dtype=float)
    frames = run.frames
    ok = frames[frames["ok"]]
    fps = run.fps if run.fps > 0 else 1.0
    first = float(frames["frame"].min()) if len(frames) else 0.0
    points = float(ok["numsklpts"].median()) if len(ok) else grey.shape[0]
    scale = float(np.nanmax(ok[["maxangL", "maxangR"]].to_numpy())) if len(ok) else 1.0
    centre, height = grey.shape[0] / 2.0, grey.shape[0]
    top, bottom = max(0, int(centre - points / 2)), min(height, int(centre + points / 2) + 1)
    fig, ax = plt.subplots(figsize=(10, 3))
    extent = (first / fps, (first + grey.shape[1]) / fps, (bottom - centre) / points + 0.5,
              (top - centre) / points + 0.5)
    ax.imshow(grey[top:bottom], cmap="gray", vmin=0, vmax=254, aspect="auto", extent=extent,
              interpolation="nearest")
    ax.set_xlabel("time (s)" if run.fps > 0 else "frame")
    ax.set_ylabel("body position\n(0 head, 1 tail)")
    key = plt.cm.ScalarMappable(norm=Normalize(-scale, scale), cmap="gray")
    fig.colorbar(key, ax=ax, fraction=0.04, pad=0.01,
                 label="bend (deg)\nlight: to the right,\nhead to tail on screen")
    fig.tight_layout()
    return png(fig)


def ethogram_png(run):
    frames = run.frames
    x, xlabel = _time_axis(frames)
    step = np.median(np.diff(x)) if len(x) > 1 else 1.0
    fig, ax = plt.subplots(figsize=(10, 1.9))
    colours = [IGNORED if ig else COLOURS.get(m, NO_CLASS)
               for m, ig in zip(frames["movement"].astype(object), frames["ignored"])]
    ax.bar(x, np.ones(len(x)), width=step, color=colours, align="edge", linewidth=0)
    rev = frames["reversal"].to_numpy()
    ax.plot(x[rev], np.full(rev.sum(), 1.12), "v", color="black", markersize=8,
            label="reversal")
    handles = [plt.Rectangle((0, 0), 1, 1, color=COLOURS[m]) for m in MOVEMENTS]
    handles += [plt.Line2D([], [], marker="v", color="black", linestyle="")]
    ax.legend(handles, list(MOVEMENTS) + ["reversal"], ncol=6, loc="lower center",
              bbox_to_anchor=(0.5, 1.0), frameon=False, fontsize=8)
    ax.set_ylim(0, 1.3)
    ax.set_yticks([])
    ax.set_xlabel(xlabel)
    if len(x):
        ax.set_xlim(x[0], x[-1] + step)
    fig.tight_layout()
    return png(fig)


def speed_png(run):
    spd = run.speeds
    x, xlabel = _time_axis(spd)
    fig, ax = plt.subplots(figsize=(10, 3))
    ax.plot(x, spd["speed_frame"], ".", color="#9ab", markersize=3,
            label="frame to frame")
    seg = spd["speed_segment"].to_numpy()
    ok = ~np.isnan(seg)
    ax.plot(x[ok], seg[ok], "-", color="#124", linewidth=1.5,
            label=f"over {spd.attrs.get('segment_seconds', '?')} s")
    frames = run.frames
    if frames["cmass_speed"].notna().any():
        fx, _ = _time_axis(frames)
        window = frames.attrs.get("speed_window_s", "?")
        ax.plot(fx, frames["cmass_speed"], "-", color="#d98c00", linewidth=1.2,
                label=f"centre of mass, {window} s window (unsigned)")
    ax.axhline(0, color="black", linewidth=0.6)
    ax.set_xlabel(xlabel)
    ax.set_ylabel("speed (mm/s), negative = backward")
    ax.legend(loc="upper right", fontsize=8)
    fig.tight_layout()
    return png(fig)


def features_png(run):
    frames = run.frames[run.frames["ok"]]
    mmpix = _mmpix(run) or 0.0
    classes = [m for m in MOVEMENTS if m != "loop" and (frames["movement"] == m).any()]
    fig, axes = plt.subplots(2, 4, figsize=(12, 5.5))
    for ax, (col, title, unit, scale) in zip(axes.flat, BODY_FEATURES):
        if scale is None:
            scale, unit = (1.0 / mmpix, unit) if mmpix > 0 else (1.0, "frame px")
        data = [frames.loc[frames["movement"] == m, col].dropna().to_numpy() * scale
                for m in classes]
        shown = [(m, d) for m, d in zip(classes, data) if len(d)]
        if shown:
            box = ax.boxplot([d for _, d in shown], patch_artist=True, showfliers=False)
            for patch, (m, _) in zip(box["boxes"], shown):
                patch.set_facecolor(COLOURS[m])
            ax.set_xticks(range(1, len(shown) + 1), [m for m, _ in shown], fontsize=8)
        else:
            ax.text(0.5, 0.5, "no values", ha="center", va="center", transform=ax.transAxes)
        ax.set_title(title + (f" ({unit})" if unit else ""), fontsize=9)
    fig.tight_layout()
    return png(fig)


def path_png(run, eggs):
    """The mid point's path in mm (world pixels over mmpix; world pixels
    when the parameters copy lacks mmpix), eggs marked."""
    frames = run.frames[run.frames["ok"]]
    mmpix = _mmpix(run)
    scale, unit = (1.0 / mmpix, "mm") if mmpix else (1.0, "world px")
    fig, ax = plt.subplots(figsize=(6, 5))
    for m in MOVEMENTS:
        sel = frames[frames["movement"] == m]
        ax.plot(sel["mid_x"] * scale, sel["mid_y"] * scale, ".", markersize=3, color=COLOURS[m],
                label=m)
    if eggs is not None and len(eggs):
        ax.plot(eggs["x"] * scale, eggs["y"] * scale, "o", markersize=9, markerfacecolor="none",
                markeredgecolor="black", label="egg")
        for _, e in eggs.iterrows():
            ax.annotate(f"#{int(e['frame'])}", (e["x"] * scale, e["y"] * scale),
                        textcoords="offset points", xytext=(6, 6), fontsize=8)
    ax.set_aspect("equal", adjustable="datalim")
    ax.invert_yaxis()  # image rows grow downward
    ax.set_xlabel(f"x ({unit})")
    ax.set_ylabel(f"y ({unit}, downward)")
    ax.legend(fontsize=7, markerscale=2)
    fig.tight_layout()
    return png(fig)


# Fitted frames the report draws, at most.
FITTED_SHOWN = 6


def _centreline_coverage(path):
    """(frames per source, the fitted frames' numbers and fit errors) of a
    centreline file, read row by row."""
    counts = {source: 0 for source in SOURCES}
    fitted = []
    for c in iter_centrelines(path):
        counts[c.source] += 1
        if c.source == "fitted":
            fitted.append((c.frame, c.fit_error))
    return counts, fitted


def fitted_png(path, frames):
    """A few fitted centrelines (`frames`: (frame, fit error) pairs) drawn
    side by side, head marked, world pixels."""
    wanted = dict(frames)
    lines = [(c.frame, c.xs, c.ys) for c in iter_centrelines(path) if c.frame in wanted]
    fig, axes = plt.subplots(1, len(lines), figsize=(2.2 * len(lines), 2.6), squeeze=False)
    for ax, (frame, xs, ys) in zip(axes[0], lines):
        ax.plot(xs, ys, "-", color="#1b8fb3", linewidth=2)
        ax.plot(xs[0], ys[0], "o", color="#d9402b", markersize=6)
        ax.set_title(f"frame {frame}\nmismatch {wanted[frame]:.3f}", fontsize=8)
        ax.set_aspect("equal", adjustable="datalim")
        ax.invert_yaxis()  # image coordinates: y downward
        ax.set_xticks([])
        ax.set_yticks([])
    fig.tight_layout()
    return png(fig)


def section_centrelines(run):
    """Where each frame's centreline comes from, and a few fitted ones."""
    path = run.path("centreline.csv")
    if not path.is_file():
        return note(f"{path.name} is missing: a run made before centrelines were written")
    try:
        counts, fitted = _centreline_coverage(path)
    except READ_ERRORS as e:
        return note(f"{e}")
    total = max(sum(counts.values()), 1)
    rows = "".join(f"<tr><td>{html.escape(source)}</td><td>{counts[source]}</td>"
                   f"<td>{100.0 * counts[source] / total:.1f} %</td></tr>" for source in SOURCES)
    text = ("<p>Every analysed frame's centreline (centreline.csv): the consistent frames' "
            "chains, and where the chain failed (coils, omega turns, a body touching "
            "itself) the body model fitted to the frame; <i>none</i> where there is no worm "
            "or no acceptable fit.</p>"
            f"<table><tr><th>source</th><th>frames</th><th>share</th></tr>{rows}</table>")
    if not fitted:
        return text
    errors = np.array([e for _, e in fitted])
    text += (f"<p>Mismatch of the fitted frames: median {np.median(errors):.3f}, "
             f"largest {errors.max():.3f} (share of the worm's pixels the fitted body "
             "and the worm disagree on).</p>")
    step = max(1, len(fitted) // FITTED_SHOWN)
    shown = fitted[step // 2::step][:FITTED_SHOWN]
    return text + figure("Fitted centrelines of a few frames, head marked red",
                          lambda: fitted_png(path, shown))


def section_posture(run):
    """Posture of the frames with a centreline: eigenworm modes 1 and 2 over
    time, and their joint distribution coloured by movement class."""
    def build():
        frames = run.frames
        if frames.attrs.get("posture_error"):
            raise ValueError(frames.attrs["posture_error"])
        ok = frames[frames["eigen1"].notna()]
        if not len(ok):
            raise ValueError("no frame with a centreline")
        x, xlabel = _time_axis(ok)
        fig, (left, right) = plt.subplots(1, 2, figsize=(12, 3.6),
                                          gridspec_kw={"width_ratios": [2.2, 1]})
        for column, colour in (("eigen1", "#1f4e99"), ("eigen2", "#c2571a")):
            left.plot(x, ok[column], ".-", color=colour, markersize=3, linewidth=0.8,
                      label=f"mode {column[-1]}")
        left.axhline(0, color="black", linewidth=0.6)
        left.set_xlabel(xlabel)
        left.set_ylabel("projection (rad)")
        left.legend(loc="upper right", fontsize=8)
        for m in MOVEMENTS:
            sel = ok[ok["movement"] == m]
            if len(sel):
                right.plot(sel["eigen1"], sel["eigen2"], ".", markersize=4, alpha=0.6,
                           color=COLOURS[m], label=m)
        none = ok[ok["movement"].isna()]
        right.plot(none["eigen1"], none["eigen2"], ".", markersize=4, color="#bbb",
                   label="no class" if len(none) else None)
        right.set_aspect("equal", adjustable="datalim")
        right.set_xlabel("mode 1 (rad)")
        right.set_ylabel("mode 2 (rad)")
        right.legend(fontsize=7, markerscale=2)
        fig.tight_layout()
        return png(fig)
    return ("<p>Projections of each frame's centreline on the N2 eigenworms (48 tangent "
            "angles, mean removed): the consistent frames' and the fitted ones. A travelling "
            "body wave runs round a ring in the plane of modes 1 and 2.</p>"
            + figure("Eigenworm modes 1 and 2 over time and against each other", build))


def section_checks(run):
    """The findings of the run's checks, for the top of the page."""
    try:
        checks = run.checks
    except READ_ERRORS as e:
        return note(f"Checks not readable: {e}")
    if checks is None:
        return note(f"Not checked: no {run.name}-checks.csv (made by an earlier version).")
    lines = head_check_lines(checks)
    if not lines:
        return "<p>Checks: head and tail agree with all the evidence of every run.</p>"
    items = "".join(f"<li>{html.escape(line)}</li>" for line in lines)
    return ('<div class="warn"><h2>Checks: head and tail may be swapped</h2>'
            f"<p>In {len(lines)} stretch(es) of frames the evidence puts the head at the other "
            "end: forward and backward, reversals and every direction-dependent feature are "
            "then reversed there. Look at these frames in the annotated movie, and analyse "
            "again with <code>headmode = combined</code>, which orients by all the evidence "
            f"({html.escape(run.name)}-checks.csv).</p><ul>{items}</ul></div>")


def section_summary(run):
    try:
        s = run.summary
    except READ_ERRORS as e:
        return note(f"Run summary not available: {e}")
    rows = [("frames in movie (incl. dropped)", s["total_frames"]),
            ("frames analysed", s["real_frames"]),
            ("good frames", f"{s['good_frames']} ({fmt(s['good_percent'])} %)"),
            ("consistent frames", f"{s['consistent_frames']} ({fmt(s['consistent_percent'])} %)")]
    if s["ignored_frames"]:
        rows.append(("ignored frames", s["ignored_frames"]))
    if s["exited_at_frame"] is not None:
        rows.append(("stopped at frame", s["exited_at_frame"]))
    return table(rows)


BEHAVIOUR_ROWS = [
    ("reversals", "reversal_rate", "reversal_count", "per min"),
    ("pauses", "pause_rate", "pause_count", "per min"),
    ("omega turns", "omega_rate", "omega_count", "per min"),
    ("loops", "loop_rate", "loop_count", "per min"),
]
SHARE_ROWS = [("time in pause", "pause_time_percent"), ("time in omega", "omega_time_percent"),
              ("time in loop", "loop_time_percent"),
              ("time moving forward", "forward_time_percent"),
              ("time moving backward", "backward_time_percent")]
SPEED_ROWS = [("mean speed, forward and backward", "speed"),
              ("mean forward speed (no omega)", "forward_speed"),
              ("mean backward speed (no omega)", "backward_speed")]
# Distances of wxs.txt, world pixels: shown in mm.
DISTANCE_ROWS = [("distance start to end", "path_distance"),
                 ("distance moved (sum of segments)", "accumulated_distance")]


def section_behaviour(run):
    """The behaviour figures of wxs.txt, distances in mm, each name linked
    to its glossary entry; the movement segments below them."""
    try:
        b, seg = run.behaviour, run.segments
    except READ_ERRORS as e:
        return note(f"Behaviour report not available: {e}")
    mmpix = _mmpix(run)
    scale, unit = (1.0 / mmpix, "mm") if mmpix else (1.0, "world px")

    def name(label, key):
        return ("html", feature_link(key, label))
    rows = [(name(label, rate), f"{fmt(b[rate])} {per}", b[count])
            for label, rate, count, per in BEHAVIOUR_ROWS]
    rows += [(name(label, key), f"{fmt(b[key])} %", "") for label, key in SHARE_ROWS]
    rows += [(name(label, key), f"{fmt(b[key])} mm/s", "") for label, key in SPEED_ROWS]
    rows += [(name(label, key), f"{fmt(b[key] * scale)} {unit}", "")
             for label, key in DISTANCE_ROWS]
    rows.append((name("roam ratio (0-1)", "roam_ratio"), fmt(b["roam_ratio"]), ""))
    shown = seg[["start_frame", "end_frame", "movement", "reversal", "distance", "angle",
                 "speed"]].copy()
    shown["distance"] = shown["distance"] * scale
    segs = table(shown.itertuples(index=False),
                 ["from frame", "to frame", "movement", "reversal", f"distance ({unit})",
                  "angle (deg)", "speed (mm/s)"])
    return (table(rows, ["", "value", "count"])
            + f"<details><summary>{len(seg)} movement segments</summary>{segs}</details>")


def section_eggs(run):
    try:
        eggs = run.eggs
    except READ_ERRORS as e:
        return note(f"Egg table not available: {e}"), None
    if eggs is None:
        return note("Egg detection was off for this run."), None
    if not len(eggs):
        return note("No eggs were found."), eggs
    mmpix = _mmpix(run)
    rows = eggs[["frame", "ts", "verified", "x", "y", "size"]].copy()
    rows["ts"] = rows["ts"] / 1000.0
    if mmpix:
        rows[["x", "y"]] = rows[["x", "y"]] / mmpix
        rows["size"] = rows["size"] / mmpix * 1000.0
        units = ("mm", "mm", "µm")
    else:
        units = ("world px", "world px", "frame px")
    return table(rows.itertuples(index=False),
                 ["laid in frame", "time (s)", "confirmed in frame", f"x ({units[0]})",
                  f"y ({units[1]})", f"radius ({units[2]})"]), eggs


# The annotated movie that dukon-overlay writes into the run's folder, by
# file suffix, with its media type.
OVERLAY_MOVIES = {"overlay.mp4": "video/mp4", "overlay.webm": "video/webm"}
# Largest movie embedded in the page (bytes); a larger one is linked by its
# file name and must stay beside the page. 8 MiB holds about four minutes
# of a 640x480 synthetic movie at dukon-overlay's defaults (H.264, about
# 36 KB per second) and keeps the page quick to open.
OVERLAY_EMBED_LIMIT = 8 * 1024 * 1024


def section_overlay(run):
    """The annotated movie's section as a list of HTML parts; empty when
    the run's folder holds no NAME-overlay.mp4 or NAME-overlay.webm."""
    found = [s for s in OVERLAY_MOVIES if run.has(s)]
    if not found:
        return []
    path = run.path(found[0])
    title = "Annotated movie"
    try:
        size = path.stat().st_size
        if size <= OVERLAY_EMBED_LIMIT:
            data = base64.b64encode(path.read_bytes()).decode("ascii")
            src, how = f"data:{OVERLAY_MOVIES[found[0]]};base64,{data}", "embedded"
        else:
            src = urllib.parse.quote(path.name)
            how = f"linked, {size / 1e6:.1f} MB: keep it beside this page"
    except OSError as e:
        return [f"<h2>{title}</h2>", note(f"{path.name} not readable: {e.strerror}")]
    caption = (f"{html.escape(path.name)} ({how}), made by dukon-overlay: skeleton, head (red) "
               "and tail (blue), each frame's state and movement class")
    return [f"<h2>{title}</h2>",
            f"<figure><video controls muted preload='auto' style='max-width:100%'>"
            f"<source src=\"{src}\" type=\"{OVERLAY_MOVIES[found[0]]}\"></video>"
            f"<figcaption>{caption}</figcaption></figure>"]


# The check findings stand out at the top of the page.
CHECKS_STYLE = ".warn { border: 2px solid #c0392b; background: #fdf0ee; padding: 0 1em; }"

# The measures the page names, in the order its glossary lists them.
GLOSSARY_NAMES = ([k for _, k, _, _ in BEHAVIOUR_ROWS] + [k for _, k in SHARE_ROWS]
                  + [k for _, k in SPEED_ROWS] + [k for _, k in DISTANCE_ROWS] + ["roam_ratio"]
                  + [c for c, _, _, _ in BODY_FEATURES] + ["cmass_speed", "eigen1", "eigen2"])


def build_report(run):
    """The report of `run` as one HTML text."""
    eggs_table, eggs = section_eggs(run)
    title = f"DUKON report: {run.name}"
    body = [
        f"<h1>{html.escape(title)}</h1>",
        f"<p>Output folder: <code>{html.escape(str(run.folder.resolve()))}</code></p>",
        section_checks(run),
        "<h2>Run summary</h2>", section_summary(run),
        *section_overlay(run),
        "<h2>Track and body wave</h2>", section_images(run),
        "<h2>Behaviour over time</h2>",
        figure("Ethogram: movement class of each frame, reversals marked",
                lambda: ethogram_png(run)),
        figure("Speed of the mid point (spd.txt) and of the centre of mass",
               lambda: speed_png(run)),
        "<h2>Behaviour summary</h2>", section_behaviour(run),
        "<h2>Body features per movement class</h2>",
        figure("Consistent frames by movement class", lambda: features_png(run)),
        "<p>Panels: " + ", ".join(feature_link(c, f"{title} ({c})")
                                  for c, title, _, _ in BODY_FEATURES) + ".</p>",
        "<h2>Centrelines</h2>", section_centrelines(run),
        "<h2>Posture (eigenworms)</h2>", section_posture(run),
        "<h2>Path and eggs</h2>", eggs_table,
        figure("Path of the mid point", lambda: path_png(run, eggs)),
        "<h2>Glossary</h2>", glossary_section(GLOSSARY_NAMES),
    ]
    return ("<!DOCTYPE html>\n<html lang='en'><head><meta charset='utf-8'>"
            f"<title>{html.escape(title)}</title><style>{STYLE}{CHECKS_STYLE}</style></head>\n"
            "<body>\n"
            + "\n".join(body) + "\n</body></html>\n")


def write_report(folder, name=None, output=None):
    """Writes the report of the run in `folder`; returns its path
    (default FOLDER/report.html)."""
    run = Run(folder, name)
    target = Path(output) if output else run.folder / "report.html"
    text = build_report(run)
    return replace_atomically(target, lambda tmp: tmp.write_text(text, encoding="utf-8"))


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="dukon-report",
        description="Writes report.html, a self-contained page of one run's results, "
                    "into the run's output folder and prints its path.")
    parser.add_argument("outdir", help="output folder of one run (OUTDIR/NAME/)")
    parser.add_argument("--name", help="movie name, if it differs from the folder's name")
    parser.add_argument("-o", "--output", help="write the page here instead")
    args = parser.parse_args(argv)
    try:
        path = write_report(args.outdir, args.name, args.output)
    except (FileNotFoundError, ResultFileError, OSError) as e:
        print(f"dukon-report: {e}", file=sys.stderr)
        return 1
    print(path)
    return 0
