"""The feature glossary, docs/features.md, as data for the pages.

The glossary describes every column of every result file and every study
feature. Each entry is a level-3 heading naming one or more columns in
backticks, a one-sentence definition on the next line, and bullets
"- **Computed:**", "- **Unit:**", "- **Adult N2:**" and "- **Imprecise:**".
Level-2 headings group the entries; a section about one file lists that
file's columns in a table whose first cell holds the column names.

The package carries the file as data/features.md (a link to the
repository's docs/features.md, copied when the package is installed).
Percentile features such as len_fwd_p50 are described through the entry of
their per-frame measure (len).
"""

import functools
import re
from dataclasses import dataclass, field
from pathlib import Path

GLOSSARY = Path(__file__).resolve().parent / "data" / "features.md"

_HEADING = re.compile(r"^### (`[^`]+`(?:,\s*`[^`]+`)*)\s*$")
_SECTION = re.compile(r"^## (.+?)\s*$")
_BULLET = re.compile(r"^- \*\*(Computed|Unit|Adult N2|Imprecise):\*\*\s*(.*)$")
_NAMES = re.compile(r"`([^`]+)`")
_PERCENTILE = re.compile(r"^(.+)_(all|fwd|bwd)_p(\d+)$")
SUBSET_WORDS = {"all": "all consistent frames", "fwd": "forward frames",
                "bwd": "backward frames"}
FIELDS = {"Computed": "computed", "Unit": "unit", "Adult N2": "adult_n2",
          "Imprecise": "imprecise"}


@dataclass
class Entry:
    names: list
    section: str
    definition: str = ""
    computed: str = ""
    unit: str = ""
    adult_n2: str = ""
    imprecise: str = ""
    line: int = 0


@dataclass
class Glossary:
    entries: dict                                  # name -> Entry
    file_columns: dict = field(default_factory=dict)  # section -> column names of its tables

    def entry(self, name):
        """The entry of `name`, or of its measure for a percentile feature
        (len_fwd_p50 -> len); None when there is none."""
        if name in self.entries:
            return self.entries[name]
        m = _PERCENTILE.match(name)
        return self.entries.get(m.group(1)) if m else None

    def describe(self, name):
        """One line for tables and plots: the definition, and for a
        percentile feature which frames and which percentile."""
        entry = self.entry(name)
        if entry is None:
            return name.replace("_", " ")
        m = _PERCENTILE.match(name)
        if m and name not in self.entries:
            q = "median" if m.group(3) == "50" else f"{m.group(3)}th percentile"
            return f"{entry.definition.rstrip('.')}: {q} over {SUBSET_WORDS[m.group(2)]}."
        return entry.definition


def parse(text):
    """A Glossary from the text of features.md."""
    entries, columns, section, current, last = {}, {}, "", None, None
    for no, line in enumerate(text.splitlines(), 1):
        if _SECTION.match(line):
            section, current = _SECTION.match(line).group(1), None
            continue
        m = _HEADING.match(line)
        if m:
            current, last = Entry(_NAMES.findall(m.group(1)), section, line=no), None
            for name in current.names:
                entries[name] = current
            continue
        if line.startswith("|") and not line.startswith("|--") and section:
            first = line.strip("|").split("|")[0]
            columns.setdefault(section, []).extend(_NAMES.findall(first))
            continue
        if current is None:
            continue
        b = _BULLET.match(line)
        if b:
            last = FIELDS[b.group(1)]
            setattr(current, last, b.group(2).strip())
        elif line.startswith("  ") and last:
            setattr(current, last, (getattr(current, last) + " " + line.strip()).strip())
        elif line.strip() and last is None:
            current.definition = (current.definition + " " + line.strip()).strip()
    return Glossary(entries, columns)


@functools.lru_cache(maxsize=1)
def load():
    """The packaged glossary; an empty one when the file is missing (a
    copy of the package without its data), so pages still render."""
    try:
        return parse(GLOSSARY.read_text(encoding="utf-8"))
    except OSError:
        return Glossary({})
