"""The parameters: reading the copy a run leaves in its output folder, and
filling a template for one movie of a batch."""

import re

from .textio import Lines

_HEADER_VERSION = re.compile(r"^# DUKON version: (.*)$")
_HEADER_TIME = re.compile(r"^# analyzed on: (.*)$")
_LISTING = re.compile(r"^([a-z]+) *= (.*)$")

# Keys whose values stay text in the listing.
_TEXT_KEYS = {"moviedir", "moviename", "outdir", "track", "headmode", "polarity"}


def _value(key, text):
    if key in _TEXT_KEYS:
        return text
    try:
        return int(text)
    except ValueError:
        return float(text)


def read_params_copy(path):
    """The parameters copy (NAME-params.txt) as a dict.

    Keys are the parameter names; text values stay str, numbers become int
    or float, and "ignorefrm" is the list of ignored frames. "version" and
    "analyzed_on" hold the run header.
    """
    lines = Lines(path)
    if len(lines) < 3:
        raise lines.error(max(len(lines), 1), "run header incomplete (file truncated?)")
    v, t = _HEADER_VERSION.match(lines.line(1)), _HEADER_TIME.match(lines.line(2))
    if not v or not t or lines.line(3) != "":
        raise lines.error(1 if not v else (2 if not t else 3), "unexpected run header")
    result = {"version": v.group(1), "analyzed_on": t.group(1), "ignorefrm": []}
    for no, text in lines.numbered(4):
        m = _LISTING.match(text)
        if not m:
            raise lines.error(no, f"expected 'key = value', found {text[:40]!r}")
        key, value = m.group(1), m.group(2)
        try:
            if key == "ignorefrm":
                result[key].append(int(value))
            else:
                result[key] = _value(key, value)
        except ValueError:
            raise lines.error(no, f"{key}: cannot read value {value!r}") from None
    lines.require_final_newline()
    if "eggs" not in result:
        raise lines.error(len(lines), "parameter listing incomplete (file truncated?)")
    return result


# Keys a batch run sets for each movie; the template's own lines for them
# are kept as comments.
BATCH_KEYS = ("moviedir", "moviename", "outdir")


def fill_template(template_text, moviedir, moviename, outdir):
    """params.txt text for one movie: the template with moviedir, moviename
    and outdir set.

    Every other line of the template is kept as it is. A template line that
    sets one of the three keys (the first word, in any case) is turned into a
    comment. The analyser takes the rest of the line, trimmed, as the value
    of these keys, so inner blanks are kept. Raises ValueError for a value
    the parameters file cannot hold: empty, beginning or ending with white
    space, containing a line break or other control character, or of 259
    bytes or more in UTF-8 (the analyser reads bytes).
    """
    values = {"moviedir": str(moviedir), "moviename": str(moviename), "outdir": str(outdir)}
    for key, value in values.items():
        size = len(value.encode("utf-8", "surrogateescape"))
        if (not value or value != value.strip() or re.search(r"[\x00-\x1f\x7f]", value)
                or size >= 259):
            raise ValueError(f"{key} {value!r} cannot be written into params.txt (empty, "
                             "white space at an end, a control character, or 259 bytes or more)")
    out = []
    for line in template_text.splitlines():
        words = line.split()
        if line[:1] != "#" and words and words[0].lower() in BATCH_KEYS:
            out.append("# replaced for this movie: " + line)
        else:
            out.append(line)
    out.append("")
    out.extend(f"{key} = {values[key]}" for key in BATCH_KEYS)
    return "\n".join(out) + "\n"
