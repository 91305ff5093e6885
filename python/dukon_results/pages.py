"""What the run report and the study page share: the style, the colours of
the movement classes, images embedded as data, tables, figures that fail
alone, and links from feature names to their glossary entries.

Both pages are self-contained: every image is embedded, and the glossary
entries of the features a page names are written into the page itself
(section "Glossary"), from docs/features.md.
"""

import base64
import html
import io
import math

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

from . import glossary  # noqa: E402
from .errors import READ_ERRORS  # noqa: E402

# One colour per movement class, and one for frames without a class.
COLOURS = {"forward": "#2a9d3f", "backward": "#d9402b", "pause": "#8c8c8c",
           "omega": "#7b3fb5", "loop": "#e0a21b"}
NO_CLASS = "#f0f0f0"
IGNORED = "#505050"

STYLE = """
body { font-family: sans-serif; margin: 1.5em auto; max-width: 1250px; color: #222; }
h1 { font-size: 1.5em; } h2 { font-size: 1.15em; border-bottom: 1px solid #ccc; }
table { border-collapse: collapse; margin: 0.5em 0; font-size: 0.9em; }
td, th { border: 1px solid #ccc; padding: 2px 8px; text-align: right; }
td:first-child { text-align: left; }
figure { display: inline-block; margin: 0.5em; } img { max-width: 100%; border: 1px solid #ddd; }
figcaption { font-size: 0.85em; color: #555; } .note { color: #8a4b00; }
a { color: #124a9c; } a.feature { text-decoration: none; border-bottom: 1px dotted #124a9c; }
dl.glossary dt { font-weight: bold; margin-top: 0.6em; } dl.glossary dd { margin-left: 1.5em; }
"""


def png(fig):
    """The figure as PNG bytes; closes it."""
    buf = io.BytesIO()
    fig.savefig(buf, format="png", dpi=100)
    plt.close(fig)
    return buf.getvalue()


def img(data, alt, kind="png"):
    """An <img> holding `data` (PNG or SVG bytes) itself."""
    media = "image/svg+xml" if kind == "svg" else "image/png"
    text = base64.b64encode(data).decode("ascii")
    return f'<img src="data:{media};base64,{text}" alt="{html.escape(alt)}">'


def note(text):
    return f'<p class="note">{html.escape(text)}</p>'


def fmt(value, digits=3):
    if value is None or (isinstance(value, float) and math.isnan(value)):
        return "n/a"
    if isinstance(value, (bool, np.bool_)):
        return "yes" if value else ""
    if isinstance(value, (float, np.floating)):
        return f"{value:.{digits}g}"
    return html.escape(str(value))


def table(rows, header=None, css=""):
    """An HTML table; a cell given as ("html", text) is put in as it is,
    any other is formatted with fmt()."""
    out = [f"<table class='{css}'>" if css else "<table>"]
    if header:
        out.append("<tr>" + "".join(f"<th>{html.escape(h)}</th>" for h in header) + "</tr>")
    for row in rows:
        cells = [c[1] if isinstance(c, tuple) and c and c[0] == "html" else fmt(c) for c in row]
        out.append("<tr>" + "".join(f"<td>{c}</td>" for c in cells) + "</tr>")
    out.append("</table>")
    return "\n".join(out)


def figure(title, build, kind="png"):
    """A figure from build() (its PNG or SVG bytes) with its caption, or a
    note when its data cannot be read or drawn: a figure that fails must
    not cost the whole page."""
    try:
        return f"<figure>{img(build(), title, kind)}<figcaption>{title}</figcaption></figure>"
    except READ_ERRORS as e:
        plt.close("all")
        return note(f"{title}: not available ({e})")
    except Exception as e:  # noqa: BLE001 - any drawing failure is shown, not raised
        plt.close("all")
        return note(f"{title}: could not be drawn ({type(e).__name__}: {e})")


def feature_link(name, text=None):
    """The feature's name linked to its entry in the page's glossary, with
    its definition as the tooltip; plain text when the glossary lacks it."""
    shown = html.escape(text if text is not None else name)
    if glossary.load().entry(name) is None:
        return shown
    title = html.escape(glossary.load().describe(name))
    return f'<a class="feature" href="#glossary-{html.escape(name)}" title="{title}">{shown}</a>'


def glossary_section(names):
    """The glossary entries of `names`, in that order, as a definition list
    whose items the feature links point to."""
    g = glossary.load()
    items = []
    for name in dict.fromkeys(names):
        entry = g.entry(name)
        if entry is None:
            continue
        body = [html.escape(g.describe(name))]
        for label, value in (("Computed", entry.computed), ("Unit", entry.unit),
                             ("Adult N2", entry.adult_n2), ("Imprecise", entry.imprecise)):
            if value:
                body.append(f"<b>{label}:</b> {html.escape(value)}")
        items.append(f'<dt id="glossary-{html.escape(name)}">{html.escape(name)}</dt>'
                     f"<dd>{'<br>'.join(body)}</dd>")
    if not items:
        return note("The glossary (docs/features.md) is not installed with this copy.")
    return ("<p>From the feature glossary, docs/features.md, which describes every result "
            "column.</p><dl class='glossary'>" + "\n".join(items) + "</dl>")
