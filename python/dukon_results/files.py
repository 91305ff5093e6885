"""Writing result files so that none is ever seen half-written."""

import os
from pathlib import Path


def replace_atomically(path, write):
    """Calls write(tmp) with a temporary path beside `path` (hidden, unique
    to this process), then puts the file in place of `path` in one step.
    When `write` fails, the temporary file is removed and `path` is left as
    it was. Returns `path` as a Path."""
    path = Path(path)
    tmp = path.with_name(f".{path.name}.{os.getpid()}.tmp")
    try:
        write(tmp)
        tmp.replace(path)
    except BaseException:
        tmp.unlink(missing_ok=True)
        raise
    return path
