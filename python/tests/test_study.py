"""A study from synthetic movies through the batch workflow and dukon-study:
groups that differ in forward speed only, and in reversals, against a
control; the statistics on their own; bad sample sheets."""

import csv
import io
import math
import re
import shutil
import subprocess
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pandas as pd
import pytest
from PIL import Image
from scipy import stats as scistats

from conftest import PYTHON_DIR, REPO
from dukon_results.features import PER_FRAME, SUBSETS, TESTED_FEATURES, frame_feature
from dukon_results.params import BATCH_KEYS
from dukon_results.study import bh_qvalues, compare
from headless_browser import HeadlessChromium, find_chromium

STUDY = PYTHON_DIR / "dukon-study"
SNAKEFILE = REPO / "workflow" / "Snakefile"
PER_GROUP = 7
SECONDS = 6
# The fast group crawls 0.35 instead of 0.25 mm/s with its body-wave
# frequency raised alike, so that the wavelength and the body stay the same.
GROUPS = {
    "control": ("forward", []),
    "fast": ("forward", ["--speed-mm-s", "0.35", "--freq-hz", "0.56"]),
    "reversing": ("reversals", []),
}
# A control movie that coils for seconds: well below the study's quality
# threshold of 90 % consistent frames.
COILED = ("coil", ["--seconds", "8", "--bout-s", "2.3"])
MIN_CONSISTENT = 90
SHAPE_COLUMNS = [c for c, _, _ in PER_FRAME if c != "freq"]


def render_movie(synth, scenario, options, name, seed, folder):
    out = folder / "render" / name
    subprocess.run([str(synth), "--scenario", scenario, "--seconds", str(SECONDS), *options,
                    "--seed", str(seed), "--name", name, "--out", str(out)], check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    for suffix in (".avi", ".log.csv"):
        shutil.copy(out / f"{name}{suffix}", folder / "movies" / f"{name}{suffix}")
    return out


def snakemake(binaries, folder, *config):
    cmd = ["snakemake", "-s", str(SNAKEFILE), "--directory", str(folder / "out"), "--cores", "2",
           "--keep-going", "--config", f"movies={folder / 'movies'}",
           f"template={folder / 'template.txt'}", f"out={folder / 'out'}",
           f"dukon={binaries[0]}", "python=/usr/bin/python3", *config]
    return subprocess.run(cmd, capture_output=True, text=True, stdin=subprocess.DEVNULL,
                          timeout=900)


@pytest.fixture(scope="module")
def study(binaries, tmp_path_factory):
    """Seven movies per group, one coiled and one broken control movie,
    analysed by the batch workflow whose config names the sample sheet."""
    folder = tmp_path_factory.mktemp("study")
    (folder / "movies").mkdir()
    jobs = [(group, scenario, options, f"{group}{k}", 100 * g + k)
            for g, (group, (scenario, options)) in enumerate(GROUPS.items(), 1)
            for k in range(1, PER_GROUP + 1)]
    jobs.append(("control", *COILED, "coiled", 1))
    start = time.monotonic()
    with ThreadPoolExecutor(2) as pool:
        rendered = list(pool.map(lambda j: render_movie(binaries[1], *j[1:], folder), jobs))
    (folder / "movies" / "broken.avi").write_bytes(b"RIFF\0\0\0\0AVI not a movie" * 40)
    shutil.copy(folder / "movies" / "control1.log.csv", folder / "movies" / "broken.log.csv")
    keep = [line for line in (rendered[0] / "params.txt").read_text().splitlines()
            if line.split(" ")[0] not in BATCH_KEYS]
    (folder / "template.txt").write_text("\n".join(keep) + "\n")
    rows = [(name, group, f"plate{seed % 100}") for group, _, _, name, seed in jobs]
    rows.append(("broken.avi", "control", "plate9"))
    with open(folder / "samples.csv", "w", newline="") as f:
        csv.writer(f).writerows([("movie", "group", "plate")] + rows)
    rendered_at = time.monotonic()
    proc = snakemake(binaries, folder, f"samples={folder / 'samples.csv'}", "control=control",
                     f"study_min_consistent={MIN_CONSISTENT}")
    assert proc.returncode == 0, proc.stderr[-3000:]
    print(f"\nstudy fixture: {len(jobs)} movies rendered in {rendered_at - start:.0f} s, "
          f"batch with study in {time.monotonic() - rendered_at:.0f} s")
    return folder


def read_stats(folder):
    return pd.read_csv(folder / "stats.csv")


def test_the_differences_made_are_found_and_no_others(study):
    stats = read_stats(study / "out" / "study").set_index(["group", "feature"])
    assert sorted(set(stats.index.get_level_values(0))) == ["fast", "reversing"]
    fast, reversing = stats.loc["fast"], stats.loc["reversing"]
    # Speed: the forward speed and the body-wave frequency that goes with it.
    for feature in ["forward_speed", "freq_all_p50", "freq_fwd_p50"]:
        assert fast.loc[feature, "q_value"] < 0.05, feature
        assert fast.loc[feature, "cliffs_delta"] > 0.9, feature
        assert fast.loc[feature, "median_group"] > fast.loc[feature, "median_control"]
    assert fast.loc["forward_speed", "median_group"] == pytest.approx(0.35, rel=0.1)
    # The body is the same in both groups, whatever percentile or posture mode.
    shape = [frame_feature(c, s, q) for c in SHAPE_COLUMNS for s, _ in SUBSETS
             for q in (10, 50, 90)]
    assert not fast.loc[shape, "significant"].any(), \
        fast.loc[shape][fast.loc[shape, "significant"]]
    assert fast.loc[["reversal_rate", "backward_time_percent"], "q_value"].min() > 0.05
    # Reversals: counted, with the time spent backward; the body size stays.
    assert reversing.loc["reversal_rate", "q_value"] < 0.05
    assert reversing.loc["reversal_rate", "median_control"] == 0
    assert reversing.loc["backward_time_percent", "q_value"] < 0.05
    body = [frame_feature(c, "all", q) for c in ("len", "thickness", "area") for q in (10, 50, 90)]
    assert not reversing.loc[body, "significant"].any()
    # Every tested feature has a row in each comparison; q-values never fall
    # below the p-values they come from.
    assert len(fast) == len(reversing) == len(TESTED_FEATURES)
    tested = stats.dropna(subset=["p_value"])
    assert (tested["q_value"] >= tested["p_value"] - 1e-12).all()
    assert (fast["n_control"].max(), fast["n_group"].max()) == (PER_GROUP, PER_GROUP)


def test_failed_and_low_quality_movies_are_listed_and_left_out(study):
    movies = pd.read_csv(study / "out" / "study" / "movies.csv", index_col="movie",
                         keep_default_na=False)
    assert len(movies) == 3 * PER_GROUP + 2 and list(movies.columns[:2]) == ["group", "plate"]
    assert float(movies.loc["coiled", "consistent_percent"]) < MIN_CONSISTENT
    assert not movies.loc["coiled", "used"]
    assert re.fullmatch(r"\S+ % consistent frames, below 90 %",
                        movies.loc["coiled", "left_out_because"])
    assert movies.loc["broken", "left_out_because"] == "analysis failed"
    assert movies.drop(["coiled", "broken"])["used"].all()
    # features.csv covers every movie of the batch, with its units beside it.
    features = pd.read_csv(study / "out" / "features.csv", index_col="movie")
    assert len(features) == 3 * PER_GROUP + 2
    assert features.loc["broken", "status"] == "failed"
    assert features.drop("broken")["frames"].min() >= SECONDS * 30
    units = pd.read_csv(study / "out" / "features-units.csv", index_col="feature")
    assert set(units.index) == set(features.columns) - {"status"}
    assert units.loc["forward_speed", "unit"] == "mm/s"
    assert units.loc["len_fwd_p90", "unit"] == "mm"
    assert features.loc["control1", "len_all_p50"] == pytest.approx(1.0, rel=0.15)  # 1 mm worm


def test_keeping_low_quality_movies_on_request(study, tmp_path):
    proc = subprocess.run([str(STUDY), str(study / "out"), "--samples", str(study / "samples.csv"),
                           "--control", "control", "--out", str(tmp_path / "kept"),
                           "--min-consistent", str(MIN_CONSISTENT), "--keep-low-quality"],
                          capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=300)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.strip() == str(tmp_path / "kept" / "study.html")
    assert "left out broken: analysis failed" in proc.stderr and "coiled" not in proc.stderr
    stats = read_stats(tmp_path / "kept")
    assert stats.loc[stats["feature"] == "forward_speed", "n_control"].tolist() == \
        [PER_GROUP + 1] * 2


def test_a_movie_whose_results_cannot_be_read_is_left_out(study, tmp_path):
    batch = tmp_path / "out"
    shutil.copytree(study / "out", batch, ignore=shutil.ignore_patterns("study", "work"))
    (batch / "results" / "control2" / "control2-wxs.txt").write_text("truncated\n")
    proc = subprocess.run([str(STUDY), str(batch), "--samples", str(study / "samples.csv"),
                           "--control", "control", "--min-consistent", str(MIN_CONSISTENT)],
                          capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=300)
    assert proc.returncode == 0, proc.stderr
    assert re.search(r"left out control2: results unreadable: .*control2-wxs\.txt:1: ",
                     proc.stderr), proc.stderr
    movies = pd.read_csv(batch / "study" / "movies.csv", index_col="movie")
    assert not movies.loc["control2", "used"] and movies.loc["control1", "used"]
    assert pd.read_csv(batch / "features.csv", index_col="movie").loc["control2", "status"] \
        == "unreadable"
    stats = read_stats(batch / "study")
    assert (stats.loc[stats["feature"] == "forward_speed", "n_control"] == PER_GROUP - 1).all()


def test_movies_whose_heads_may_be_swapped_are_listed(study, tmp_path):
    batch = tmp_path / "out"
    shutil.copytree(study / "out", batch, ignore=shutil.ignore_patterns("study", "work"))
    summary = pd.read_csv(batch / "summary.csv", index_col="name")
    found = set(summary.index[summary["head_checks"] > 0])  # what the batch's runs found
    checks = batch / "results" / "control3" / "control3-checks.csv"
    checks.write_text(checks.read_text() + "head,1,90,90,3.00,0.50,-1.20,-0.30,-0.20,-1.20\n")
    (batch / "results" / "control4" / "control4-checks.csv").unlink()
    proc = subprocess.run([str(STUDY), str(batch), "--samples", str(study / "samples.csv"),
                           "--control", "control", "--min-consistent", str(MIN_CONSISTENT)],
                          capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=300)
    assert proc.returncode == 0, proc.stderr
    listed = set(re.findall(r"head and tail may be swapped in (\S+): \d+ stretch", proc.stderr))
    assert listed == found | {"control3"}, proc.stderr
    movies = pd.read_csv(batch / "study" / "movies.csv", index_col="movie")
    assert movies.loc["control3", "head_checks"] == 1 and movies.loc["control1", "head_checks"] == 0
    assert math.isnan(movies.loc["control4", "head_checks"])  # not checked


PAGE_FACTS = """(() => ({
  title: document.title,
  images: Array.from(document.images).map(i => ({alt: i.alt, complete: i.complete,
                                                 width: i.naturalWidth})),
  sections: Array.from(document.querySelectorAll("h2")).map(h => h.textContent),
  links: Array.from(document.querySelectorAll("a")).map(a => a.getAttribute("href")),
  text: document.body.innerText,
}))()"""


def test_study_report_in_headless_chromium(study):
    page = study / "out" / "study" / "study.html"
    assert find_chromium(), "chromium is not installed"
    with HeadlessChromium() as browser:
        browser.open(page.as_uri(), height=2400)
        facts = browser.evaluate(PAGE_FACTS)
        shot = Image.open(io.BytesIO(browser.screenshot())).convert("RGB")
    assert facts["title"] == "DUKON study: fast, reversing against control"
    assert facts["sections"] == ["Movies and their quality", "Differences from the control",
                                 "Features by group", "Ethogram by group"]
    assert len(facts["images"]) == 3
    for image in facts["images"]:
        assert image["complete"] and image["width"] > 0, image
    # Every movie that has a report is linked to it, relative to the page.
    reports = [h for h in facts["links"] if h.endswith("report.html")]
    assert len(reports) == 3 * PER_GROUP + 1
    assert all((page.parent / h).is_file() for h in reports)
    assert "no: analysis failed" in facts["text"] and "below 90 %" in facts["text"]
    assert re.search(r"fast\tforward_speed\tmm/s", facts["text"])
    assert shot.size == (1280, 2400)
    colours = shot.getcolors(maxcolors=1 << 24)
    assert len(colours) > 50
    assert max(count for count, _ in colours) < 0.95 * shot.size[0] * shot.size[1]


BAD_SHEETS = [
    ("movie,condition\ncontrol1,control\n", r"samples\.csv:1: the header lacks the column\(s\) "
                                            r"group \(found: movie, condition\)"),
    ("movie,group\ncontrol1,control\ncontrol2,control\nfast1,fast\nfast2,fast\nnope,fast\n",
     r"samples\.csv:6: movie nope is not in the batch"),
    ("movie,group\nfast1,fast\nfast2,fast\nreversing1,reversing\nreversing2,reversing\n",
     r"samples\.csv: no movie belongs to the control group 'control' "
     r"\(groups: fast, reversing\)"),
    ("# plate 3 only\nmovie,group\ncontrol1,control\ncontrol2,control\nfast1,fast\n",
     r"samples\.csv:5: group 'fast' has one movie only \(fast1\)"),
    ("movie,group\ncontrol1,control\ncontrol2,control\ncontrol1.avi,fast\nfast2,fast\n",
     r"samples\.csv:4: movie control1 is listed again \(first on line 2\)"),
    ("movie,group\ncontrol1,control\ncontrol2,control,extra\n",
     r"samples\.csv:3: expected 2 fields as in the header, found 3"),
    ("", r"samples\.csv:1: empty sample sheet"),
    ("movie,group\ncontrol1,control\n,control\n", r"samples\.csv:3: empty movie cell"),
]


@pytest.mark.parametrize("sheet,message", BAD_SHEETS)
def test_a_bad_sample_sheet_is_named_with_its_line_and_nothing_is_written(study, tmp_path,
                                                                         sheet, message):
    samples = tmp_path / "samples.csv"
    samples.write_text(sheet)
    features = study / "out" / "features.csv"
    before = features.stat().st_mtime_ns
    proc = subprocess.run([str(STUDY), str(study / "out"), "--samples", str(samples),
                           "--control", "control", "--out", str(tmp_path / "study")],
                          capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=120)
    assert proc.returncode == 1
    assert re.search(message, proc.stderr), proc.stderr
    assert str(samples) in proc.stderr and "Traceback" not in proc.stderr
    assert not (tmp_path / "study").exists()
    assert features.stat().st_mtime_ns == before


def test_other_bad_input_exits_one_with_a_message(study, tmp_path):
    def run(*args):
        return subprocess.run([str(STUDY), *map(str, args)], capture_output=True, text=True,
                              stdin=subprocess.DEVNULL, timeout=120)
    samples = study / "samples.csv"
    for args, message in [
        ((tmp_path, "--samples", samples, "--control", "control"), "no summary.csv"),
        ((study / "out", "--samples", tmp_path / "none.csv", "--control", "control"),
         "no such sample sheet"),
        ((study / "out", "--samples", samples, "--control", "control", "--min-consistent", 101,
          "--out", tmp_path / "s"), "the control group 'control' keeps fewer than 2 movies"),
    ]:
        proc = run(*args)
        assert proc.returncode == 1 and message in proc.stderr, proc.stderr
        assert "Traceback" not in proc.stderr
    assert not (tmp_path / "s").exists()
    assert run(study / "out", "--samples", samples).returncode == 2  # no --control


def test_the_workflow_fails_on_a_bad_sheet_without_leaving_a_study(binaries, study, tmp_path):
    folder = tmp_path / "again"
    shutil.copytree(study, folder, symlinks=True)
    shutil.rmtree(folder / "out" / "study")
    (folder / "bad.csv").write_text("movie,group\ncontrol1,control\ncontrol2,control\nfast1,fast\n")
    proc = snakemake(binaries, folder, f"samples={folder / 'bad.csv'}", "control=control")
    assert proc.returncode != 0
    assert "bad.csv:4: group 'fast' has one movie only" in proc.stderr + proc.stdout
    assert not (folder / "out" / "study" / "study.html").exists()


# The statistics on their own.

def test_benjamini_hochberg_q_values():
    # p sorted: 0.005 0.01 0.03 0.04 0.2 (m = 5); p * m / rank = 0.025 0.025
    # 0.05 0.05 0.2, already monotone. NaN is no test.
    q = bh_qvalues([0.03, 0.2, math.nan, 0.005, 0.04, 0.01])
    np.testing.assert_allclose(q, [0.05, 0.2, math.nan, 0.025, 0.05, 0.025])
    # Step-up: a larger p further down pulls the q-values above it down.
    np.testing.assert_allclose(bh_qvalues([0.04, 0.045, 0.046]), [0.046] * 3)
    assert np.isnan(bh_qvalues([math.nan])).all() and bh_qvalues([]).size == 0


def test_group_comparison_picks_the_test_and_the_sign_of_the_effect():
    # Tiny groups without ties: the exact U test, as scipy gives it.
    low, high = [1.0, 2.5, 3.1, 4.2], [3.3, 5.0, 6.1, 7.4, 8.8]
    r = compare(high, low)
    assert r["method"] == "Mann-Whitney U, exact"
    assert r["p_value"] == pytest.approx(scistats.mannwhitneyu(high, low).pvalue)
    assert r["u_statistic"] == 19 and r["cliffs_delta"] == pytest.approx(2 * 19 / 20 - 1)
    assert compare(low, high)["cliffs_delta"] == pytest.approx(-r["cliffs_delta"])
    # Tiny groups with ties, wholly apart: every one of the 924 splits of 6
    # and 6 counted, two of them as extreme as this one.
    r = compare([0.3, 0.3, 0.31, 0.31, 0.32, 0.33], [0.0] * 6)
    assert r["method"] == "permutation, exact (ranks, ties)"
    assert r["p_value"] == pytest.approx(2 / 924) and r["cliffs_delta"] == 1.0
    # Larger groups with ties: the normal approximation.
    rng = np.random.default_rng(3)
    a, b = np.round(rng.normal(1.0, 1, 12), 1), np.round(rng.normal(0.0, 1, 15), 1)
    r = compare(a, b)
    assert r["method"] == "Mann-Whitney U, asymptotic"
    assert r["p_value"] == pytest.approx(scistats.mannwhitneyu(a, b).pvalue)
    # NaN values are left out; too few values or no variation at all.
    r = compare([1.0, math.nan, 2.0], [3.0, 4.0, math.nan])
    assert (r["n_group"], r["n_control"], r["p_value"]) == (2, 2, pytest.approx(1 / 3))
    assert compare([1.0, math.nan], [1.0, 2.0])["method"].startswith("not tested")
    assert math.isnan(compare([1.0], [1.0, 2.0])["p_value"])
    r = compare([2.0, 2.0, 2.0], [2.0, 2.0])
    assert (r["method"], r["p_value"], r["cliffs_delta"]) == ("no variation", 1.0, 0.0)
