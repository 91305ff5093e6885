"""Movement classes and the movement labels of the per-frame tables."""

import re

import pandas as pd

# Movement classes by their behaviour codes 1..5.
MOVEMENTS = ("forward", "backward", "pause", "omega", "loop")

_WORDS = {"fwd": "forward", "bckwd": "backward", "pause": "pause", "omega": "omega",
          "loop": "loop"}
_TOKEN = re.compile(r"fwd|bckwd|reversal|pause|omega|loop")


def decode_label(text):
    """Splits a table label such as "fwdreversal" into (movement, reversal).

    The label is the concatenation of the words fwd, bckwd, reversal, pause,
    omega and loop; "reversal" on its own marks a backward frame that starts
    a reversal. Returns movement None for an empty label. Raises ValueError
    for any other text.
    """
    words = _TOKEN.findall(text)
    if "".join(words) != text:
        raise ValueError(f"unknown movement label {text!r}")
    reversal = "reversal" in words
    kinds = [_WORDS[w] for w in words if w != "reversal"]
    if len(set(kinds)) > 1:
        raise ValueError(f"movement label {text!r} names two classes")
    if kinds:
        return kinds[0], reversal
    return ("backward" if reversal else None), reversal


def movement_column(values):
    """A categorical Series of movement classes in their code order."""
    return pd.Categorical(values, categories=list(MOVEMENTS))
