"""Results of the worm-movie analyser as pandas DataFrames and dicts.

    from dukon_results import load_run
    run = load_run("out/w1")          # the folder OUTDIR/NAME/ of one run
    run.frames                        # frames.csv (or wxd.txt): every measure per frame
    run.speeds, run.segments, run.behaviour, run.summary, run.features ...
    run.checks                        # checks.csv: what the run's checks found

Every reader raises FileNotFoundError for a missing file and
ResultFileError ("FILE:LINE: reason") for a malformed or truncated one.
"""

import importlib

# Public name -> module that defines it. The modules are imported on first
# use, so that the batch steps that need no pandas start quickly.
_EXPORTS = {
    "ResultFileError": "errors",
    "read_checks": "checks",
    "MOVEMENTS": "labels", "decode_label": "labels",
    "fill_template": "params", "read_params_copy": "params",
    "Run": "run", "find_name": "run", "load_run": "run",
    "read_skeletons": "skel",
    "iter_centrelines": "centreline", "read_centrelines": "centreline",
    "UNITS": "tables", "read_displacements": "tables", "read_eggs": "tables",
    "read_speeds": "tables", "read_turning_angles": "tables", "read_wxd": "tables",
    "FEATURES": "wxo", "WxoContents": "wxo", "read_wxo": "wxo",
    "BehaviourReport": "wxs", "read_wxs": "wxs",
    "WconFile": "wcon", "iter_chains": "wcon", "write_wcon": "wcon",
    "EIGEN_COLUMNS": "posture", "eigen_projections": "posture", "load_basis": "posture",
    "tangent_angles": "posture",
    "batch_movies": "features", "feature_table": "features",
    "StudyError": "sample_sheet", "build_study": "study", "read_sample_sheet": "sample_sheet",
    "run_study": "study", "frame_table": "frames", "read_frames_csv": "frames",
}

__all__ = sorted(_EXPORTS)


def __getattr__(name):
    if name not in _EXPORTS:
        raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
    value = getattr(importlib.import_module(f".{_EXPORTS[name]}", __name__), name)
    globals()[name] = value
    return value


def __dir__():
    return __all__
