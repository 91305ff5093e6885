"""docs/features.md covers every column of every result file and every
feature of a study; the package finds it."""

import pytest

from conftest import REPO
from dukon_results import batch, glossary, load_run
from dukon_results.features import CORE_FEATURES, FEATURE_UNITS, TESTED_FEATURES
from dukon_results.frames import FRAMES_COLUMNS
from dukon_results.study import DESIGN_COLUMNS, STATS_COLUMNS
from dukon_results.tables import WXD_HEADER


@pytest.fixture(scope="module")
def docs():
    g = glossary.load()
    assert glossary.GLOSSARY.resolve() == (REPO / "docs" / "features.md").resolve()
    assert len(g.entries) > 50, "the package does not find docs/features.md"
    return g


def _run_columns(run):
    """Section of the glossary -> the columns the readers give for it."""
    behaviour = list(run.behaviour)
    return {
        "NAME-frames.csv": run.path("frames.csv").read_text().splitlines()[1].split(","),
        "NAME-wxd.txt": WXD_HEADER.split(","),
        "NAME-wxo.txt": list(run.summary) + list(run.features.columns),
        "NAME-spd.txt, NAME-dsp.txt, NAME-ang.txt": (list(run.speeds.columns)
                                                     + list(run.displacements.columns)
                                                     + list(run.turning_angles.columns)),
        "NAME-wxs.txt": list(run.segments.columns) + behaviour,
        "NAME-eggs.txt": list(run.eggs.columns),
        "NAME-skel.csv": list(run.skeletons.columns),
        # The points by their first and last: one row describes all 49.
        "NAME-centreline.csv": [c for c in run.centrelines.columns
                                if c[1:] not in {str(k) for k in range(1, 48)}],
        "NAME-checks.csv": list(run.checks.columns),
        "Batch: summary.csv": batch.COLUMNS,
        "Study: stats.csv, design.csv, movies.csv, figures": STATS_COLUMNS + DESIGN_COLUMNS,
    }


def test_every_column_of_every_file_is_listed(docs, eggs_run):
    run = load_run(eggs_run)
    for section, columns in _run_columns(run).items():
        listed = set(docs.file_columns.get(section, []))
        missing = [c for c in columns if c not in listed and c != "time"]
        assert not missing, f"docs/features.md, section {section!r}, lacks {missing}"
    assert FRAMES_COLUMNS == tuple(_run_columns(run)["NAME-frames.csv"])
    # Every column of run.frames has an entry of its own.
    lacking = [c for c in run.frames.columns if docs.entry(c) is None]
    assert not lacking, f"no glossary entry for run.frames columns {lacking}"


def test_every_feature_has_a_whole_entry(docs):
    listed = set(docs.file_columns["Batch: features.csv and features-units.csv"])
    for feature in list(FEATURE_UNITS) + CORE_FEATURES:
        entry = docs.entry(feature)
        assert entry is not None, f"no glossary entry for {feature}"
        fields = [entry.definition, entry.computed, entry.unit, entry.adult_n2, entry.imprecise]
        assert all(fields), f"{feature}: the entry at line {entry.line} lacks a field"
    # Features with entries of their own (not percentiles) are in the file's table.
    unlisted = [f for f in FEATURE_UNITS if f in docs.entries and f not in listed]
    assert not unlisted, unlisted
    assert set(CORE_FEATURES) <= set(TESTED_FEATURES)
    assert docs.describe("freq_fwd_p50") == \
        "Body-wave frequency: median over forward frames."


def test_parse_reads_names_fields_and_tables():
    g = glossary.parse("## NAME-x.txt\n| column | unit |\n|---|---|\n| `a`, `b` | mm |\n"
                       "## Measures\n### `a`, `b`\nThe a.\n- **Unit:** mm\n- **Computed:** "
                       "from\n  two lines\n")
    assert g.file_columns == {"NAME-x.txt": ["a", "b"]}
    assert g.entry("b") is g.entry("a") and g.entry("a_fwd_p90").unit == "mm"
    assert g.entry("a").computed == "from two lines"
    assert g.describe("a_all_p90") == "The a: 90th percentile over all consistent frames."
    assert g.entry("c") is None and g.describe("c_d") == "c d"
