"""The sample sheet of a study: which movie belongs to which group.

A CSV file with a header line naming at least the columns `movie` and
`group` (any case); further columns (date, plate, ...) are kept, shown, and
one of them may name the blocks of a stratified comparison. Blank lines
and lines starting with '#' are skipped. Every problem is reported as
FILE:LINE: reason, all of them at once, in a StudyError.
"""

import csv
from dataclasses import dataclass
from pathlib import Path

REQUIRED_COLUMNS = ("movie", "group")


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
    header_line: int = 1


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
    return SampleSheet(path, rows, extra_columns, header_no)


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


def block_column(sheet, name):
    """The sheet's column `name` (any case), whose cells name the blocks
    (plates, days) of a stratified comparison; StudyError when the sheet has
    no such column, or when a listed movie has an empty cell in it."""
    found = [c for c in sheet.extra_columns if c.lower() == name.lower()]
    if not found:
        columns = ", ".join(sheet.extra_columns) or "none besides movie and group"
        raise StudyError([f"{sheet.path}:{sheet.header_line}: no column {name!r} to block by "
                          f"(further columns: {columns})"])
    empty = [f"{sheet.path}:{row.line}: movie {row.movie} has an empty {found[0]} cell; "
             "blocking needs every movie's block" for row in sheet.rows if not row.extra[found[0]]]
    if empty:
        raise StudyError(empty)
    return found[0]
