"""Line access and number parsing shared by the result-file readers.

Every reader works on a `Lines` object: the file's text split into lines,
numbered from 1, so that any complaint can name the file and the line.
"""

import math
import os

from .errors import ResultFileError

# Texts that stand for a missing value in the result files: "nan" (and the
# "-nan" some C++ libraries write) for undefined doubles, "n/a" for a
# quotient whose divisor was zero, "-" for a gap in the movement tables.
_MISSING = {"nan", "-nan", "+nan", "n/a", "-", ""}


class Lines:
    """A text file held as numbered lines (line ends removed).

    `ends_with_newline` tells whether the last line was complete; readers of
    files whose every line ends with a line end use it to spot truncation.
    """

    def __init__(self, path):
        self.path = os.fspath(path)
        try:
            with open(self.path, "r", encoding="latin-1", newline="") as f:
                text = f.read()
        except FileNotFoundError:
            raise  # a missing file is not a malformed one: callers decide
        except OSError as e:
            raise ResultFileError(self.path, None, f"cannot read: {e.strerror}") from e
        text = text.replace("\r\n", "\n")
        self.ends_with_newline = text.endswith("\n")
        body = text[:-1] if self.ends_with_newline else text
        self.items = body.split("\n") if text else []

    def __len__(self):
        return len(self.items)

    def line(self, number):
        """The text of line `number` (1-based)."""
        return self.items[number - 1]

    def numbered(self, start=1):
        """(number, text) pairs from line `start` on."""
        for i in range(start - 1, len(self.items)):
            yield i + 1, self.items[i]

    def error(self, number, message):
        return ResultFileError(self.path, number, message)

    def require_final_newline(self):
        """Raises when the last line was cut off before its line end."""
        if self.items and not self.ends_with_newline:
            raise self.error(len(self.items), "last line has no line end (file truncated?)")


def number(text, lines, line_no, what="number"):
    """Parses a number as the program writes it (C++ general notation).

    Missing-value texts become NaN. Anything else that is not a number raises
    ResultFileError naming `what` at line `line_no` of `lines`.
    """
    t = text.strip()
    if t.lower() in _MISSING:
        return math.nan
    try:
        return float(t)
    except ValueError:
        raise lines.error(line_no, f"{what}: expected a number, found {text!r}") from None


def integer(text, lines, line_no, what="integer"):
    """Parses a decimal integer; raises ResultFileError otherwise."""
    t = text.strip()
    try:
        return int(t)
    except ValueError:
        raise lines.error(line_no, f"{what}: expected an integer, found {text!r}") from None
