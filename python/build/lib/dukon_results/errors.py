"""The one error type of the readers, and what reading a run can raise."""


class ResultFileError(ValueError):
    """A result file is malformed or truncated.

    `path` is the file, `line` the 1-based line number where reading failed
    (None when the problem is not tied to a line, e.g. an unreadable file).
    The message reads "PATH:LINE: what is wrong".
    """

    def __init__(self, path, line, message):
        self.path = str(path)
        self.line = line
        self.reason = message
        where = self.path if line is None else f"{self.path}:{line}"
        super().__init__(f"{where}: {message}")


# What loading a run's files can raise: a missing or unreadable file
# (OSError), a malformed one (ResultFileError, a ValueError) or a file that
# lacks an expected entry (KeyError).
READ_ERRORS = (OSError, ValueError, KeyError)
