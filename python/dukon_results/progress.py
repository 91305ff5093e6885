"""Progress of long work on the console: done of total and the time left.

    progress = Progress("reading movies", total, prefix="dukon-study")
    for item in items:
        ...
        progress.step()

On a terminal one line is rewritten in place; otherwise (a log file, the
batch) a line is written at most every `every` seconds, and always a last
line when the work is done, if any line was written before.
"""

import sys
import time


def duration(seconds):
    """'45 s', '3 min 5 s' or '2 h 10 min'."""
    s = int(round(seconds))
    if s < 60:
        return f"{s} s"
    if s < 3600:
        return f"{s // 60} min {s % 60} s"
    return f"{s // 3600} h {s % 3600 // 60} min"


class Progress:
    def __init__(self, label, total, prefix="", stream=None, every=5.0, clock=time.monotonic):
        self.label, self.total, self.prefix = label, total, prefix
        self.stream = stream if stream is not None else sys.stderr
        self.every, self.clock = every, clock
        self.start = clock()
        self.done = 0
        self.shown = None  # clock reading of the last line written
        self.tty = bool(getattr(self.stream, "isatty", lambda: False)())

    def text(self):
        """'LABEL: DONE of TOTAL, about T left' (or '..., done in T')."""
        elapsed = self.clock() - self.start
        prefix = f"{self.prefix}: " if self.prefix else ""
        head = f"{prefix}{self.label}: {self.done} of {self.total}"
        if self.done >= self.total:
            return f"{head}, done in {duration(elapsed)}"
        if self.done == 0:
            return head
        return f"{head}, about {duration(elapsed / self.done * (self.total - self.done))} left"

    def step(self, count=1):
        self.done += count
        now = self.clock()
        finished = self.done >= self.total
        if self.tty:
            self.stream.write("\r" + self.text() + ("\n" if finished else ""))
        elif (finished and self.shown is not None) or (
                not finished and now - (self.shown or self.start) >= self.every):
            self.stream.write(self.text() + "\n")
        else:
            return
        self.shown = now
        self.stream.flush()
