"""A study from synthetic movies through the batch workflow and dukon-study:
five control movies against five that differ only in forward speed (the
same body and body wave), a coiled and a broken control movie; what the
design can show with and without a primary feature; blocks; figures; the
page in a browser; bad input; and the statistics on their own."""

import csv
import html
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
from dukon_results.comparison import (bh_qvalues, bootstrap_interval, compare, compare_blocked,
                                      movies_needed, smallest_p)
from dukon_results.features import PER_FRAME, SUBSETS, frame_feature
from dukon_results.params import BATCH_KEYS
from dukon_results.progress import Progress
from headless_browser import HeadlessChromium, find_chromium

STUDY = PYTHON_DIR / "dukon-study"
SNAKEFILE = REPO / "workflow" / "Snakefile"
PER_GROUP = 5
SECONDS = 6
# The fast group crawls 0.35 instead of 0.25 mm/s with its body-wave
# frequency raised alike, so that the wavelength and the body stay the same.
GROUPS = {
    "control": ("forward", []),
    "fast": ("forward", ["--speed-mm-s", "0.35", "--freq-hz", "0.56"]),
}
# A control movie that coils for seconds: well below the study's quality
# threshold of 90 % consistent frames.
COILED = ("coil", ["--seconds", "8", "--bout-s", "2.3"])
MIN_CONSISTENT = 90
SMALLEST_P = 2 / math.comb(2 * PER_GROUP, PER_GROUP)  # exact U test, 5 against 5
SHAPE_COLUMNS = [c for c, _, _ in PER_FRAME if c not in ("freq", "cmass_speed")]


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


def run_study(*args):
    return subprocess.run([str(STUDY), *map(str, args)], capture_output=True, text=True,
                          stdin=subprocess.DEVNULL, timeout=300)


@pytest.fixture(scope="module")
def study(binaries, tmp_path_factory):
    """Five movies per group on plates p1..p5 (one of each group per plate),
    one coiled and one broken control movie, analysed by the batch workflow
    whose config names the sample sheet and forward_speed as primary."""
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
    rows = [(name, group, f"p{seed % 100}") for group, _, _, name, seed in jobs]
    rows.append(("broken.avi", "control", "p2"))
    with open(folder / "samples.csv", "w", newline="") as f:
        csv.writer(f).writerows([("movie", "group", "plate")] + rows)
    rendered_at = time.monotonic()
    proc = snakemake(binaries, folder, f"samples={folder / 'samples.csv'}", "control=control",
                     f"study_min_consistent={MIN_CONSISTENT}", "study_primary=forward_speed")
    assert proc.returncode == 0, proc.stderr[-3000:]
    print(f"\nstudy fixture: {len(jobs)} movies rendered in {rendered_at - start:.0f} s, "
          f"batch with study in {time.monotonic() - rendered_at:.0f} s")
    return folder


def read_stats(folder):
    return pd.read_csv(folder / "stats.csv").set_index(["group", "feature"])


def test_faster_group_is_found_with_forward_speed_primary(study):
    stats = read_stats(study / "out" / "study").loc["fast"]
    speed = stats.loc["forward_speed"]
    assert speed["family"] == "primary" and speed["p_value"] < 0.05 and speed["q_value"] < 0.05
    assert speed["p_value"] == pytest.approx(SMALLEST_P) == speed["min_p"]
    assert speed["cliffs_delta"] == 1 and speed["median_group"] == pytest.approx(0.34, rel=0.05)
    assert 0 < speed["ci_low"] <= speed["difference"] <= speed["ci_high"]
    # The body is the same in both groups, whatever percentile or posture mode.
    body = stats.loc["len_all_p50"]
    assert body["family"] == "core" and body["p_value"] > 0.05 and not body["significant"]
    shape = [f for f in (frame_feature(c, s, 50) for c in SHAPE_COLUMNS for s, _ in SUBSETS)
             if f in stats.index]
    assert len(shape) > 20 and not stats.loc[shape, "significant"].any()
    # Only medians of the percentiles are tested by default.
    assert "len_all_p10" not in stats.index and set(stats["family"]) == {"primary", "core",
                                                                          "exploratory"}
    design = pd.read_csv(study / "out" / "study" / "design.csv").set_index("family")
    assert bool(design.loc["primary", "one_can_count"])
    assert design.loc["primary", "smallest_p"] == pytest.approx(SMALLEST_P)


def test_without_primary_the_design_is_stated(study, tmp_path):
    proc = run_study(study / "out", "--samples", study / "samples.csv", "--control", "control",
                     "--min-consistent", MIN_CONSISTENT, "--out", tmp_path / "s")
    assert proc.returncode == 0, proc.stderr
    design = pd.read_csv(tmp_path / "s" / "design.csv").set_index("family")
    stats = pd.read_csv(tmp_path / "s" / "stats.csv")
    core = design.loc["core"]
    tests = stats[stats["family"] == "core"]["p_value"].notna().sum()
    assert core["tests"] == tests and core["smallest_p"] == pytest.approx(SMALLEST_P)
    assert core["best_single_q"] == pytest.approx(tests * SMALLEST_P)
    assert not core["one_can_count"] and core["movies_per_group"] == 6
    assert core["statement"].startswith("one difference alone cannot reach q < 0.05")
    assert f"core ({tests} features): smallest attainable p 0.00794; one difference alone " \
           "cannot reach" in proc.stderr
    page = html.unescape((tmp_path / "s" / "study.html").read_text())
    assert "0.00794" in page and core["statement"] in page


def test_study_figures_as_files(study):
    folder = study / "out" / "study"
    svgs = sorted(p.stem for p in (folder / "figures").glob("*.svg"))
    assert sorted(p.stem for p in (folder / "figures").glob("*.pdf")) == svgs
    assert {"forward_speed", "len_all_p50", "effect_sizes", "ethogram", "posture"} <= set(svgs)
    speed = (folder / "figures" / "forward_speed.svg").read_text()
    assert speed.count("n = 5") == 2 and "q = 0.0079" in speed and "(mm/s)" in speed
    combined = (folder / "figures.pdf").read_bytes()
    assert combined.startswith(b"%PDF")
    assert len(re.findall(rb"/Type /Page\b", combined)) == len(svgs)


def test_failed_and_low_quality_movies_are_listed_and_left_out(study):
    movies = pd.read_csv(study / "out" / "study" / "movies.csv", index_col="movie",
                         keep_default_na=False)
    assert len(movies) == 2 * PER_GROUP + 2 and list(movies.columns[:2]) == ["group", "plate"]
    assert float(movies.loc["coiled", "consistent_percent"]) < MIN_CONSISTENT
    assert not movies.loc["coiled", "used"]
    assert re.fullmatch(r"\S+ % consistent frames, below 90 %",
                        movies.loc["coiled", "left_out_because"])
    assert movies.loc["broken", "left_out_because"] == "analysis failed"
    assert movies.drop(["coiled", "broken"])["used"].all()
    # features.csv covers every movie of the batch, with its units beside it.
    features = pd.read_csv(study / "out" / "features.csv", index_col="movie")
    assert len(features) == 2 * PER_GROUP + 2
    assert features.loc["broken", "status"] == "failed"
    assert features.drop("broken")["frames"].min() >= SECONDS * 30
    units = pd.read_csv(study / "out" / "features-units.csv", index_col="feature")
    assert set(units.index) == set(features.columns) - {"status"}
    assert units.loc["forward_speed", "unit"] == "mm/s"
    assert units.loc["len_fwd_p90", "description"].startswith("Body length along the skeleton")
    assert features.loc["control1", "len_all_p50"] == pytest.approx(1.0, rel=0.05)  # 1 mm worm


def test_keeping_low_quality_movies_on_request(study, tmp_path):
    proc = run_study(study / "out", "--samples", study / "samples.csv", "--control", "control",
                     "--out", tmp_path / "kept", "--min-consistent", MIN_CONSISTENT,
                     "--keep-low-quality")
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.strip() == str(tmp_path / "kept" / "study.html")
    assert "left out broken: analysis failed" in proc.stderr and "left out coiled" not in \
        proc.stderr
    stats = read_stats(tmp_path / "kept")
    assert stats.loc[("fast", "forward_speed"), "n_control"] == PER_GROUP + 1


def test_unreadable_and_partial_movies_are_left_out(study, tmp_path):
    batch = tmp_path / "out"
    shutil.copytree(study / "out", batch, ignore=shutil.ignore_patterns("study", "work"))
    (batch / "results" / "control2" / "control2-wxs.txt").write_text("truncated\n")
    summary = pd.read_csv(batch / "summary.csv", dtype=str, keep_default_na=False)
    summary.loc[summary["name"] == "control3", "status"] = "partial"
    summary.to_csv(batch / "summary.csv", index=False)
    proc = run_study(batch, "--samples", study / "samples.csv", "--control", "control",
                     "--min-consistent", MIN_CONSISTENT)
    assert proc.returncode == 0, proc.stderr
    assert re.search(r"left out control2: results unreadable: .*control2-wxs\.txt:1: ",
                     proc.stderr), proc.stderr
    assert "left out control3: analysis partial: it stopped before every frame it planned" \
        in proc.stderr
    movies = pd.read_csv(batch / "study" / "movies.csv", index_col="movie")
    assert not movies.loc[["control2", "control3"], "used"].any()
    assert movies.loc["control1", "used"]
    features = pd.read_csv(batch / "features.csv", index_col="movie")
    assert features.loc["control2", "status"] == "unreadable"
    assert features.loc["control3", "status"] == "partial"
    assert features.loc["control3", "frames"] > 0
    assert read_stats(batch / "study").loc[("fast", "forward_speed"), "n_control"] == \
        PER_GROUP - 2


def test_blocks_and_several_groups(study, tmp_path):
    # Two fast groups, and each plate holds one movie of each group compared.
    sheet = tmp_path / "samples.csv"
    rows = [f"control{k},control,p{k}" for k in range(1, 6)]
    rows += [f"fast{k},{'early' if k <= 3 else 'late'},p{k}" for k in range(1, 6)]
    sheet.write_text("movie,group,Plate\n" + "\n".join(rows) + "\n")
    proc = run_study(study / "out", "--samples", sheet, "--control", "control", "--block",
                     "plate", "--out", tmp_path / "s")
    assert proc.returncode == 0, proc.stderr
    stats = read_stats(tmp_path / "s")
    assert sorted(set(stats.index.get_level_values(0))) == ["early", "late"]
    speed = stats.loc[("early", "forward_speed")]
    assert speed["method"] == "permutation within blocks, exact over 8 arrangements; " \
                              "2 movies in one-group blocks not tested"
    assert speed["p_value"] == pytest.approx(2 / 8) == speed["min_p"]
    design = pd.read_csv(tmp_path / "s" / "design.csv")
    assert len(design) == 4 and design["statement"].str.startswith("no feature can reach").all()
    page = html.unescape((tmp_path / "s" / "study.html").read_text())
    assert "the blocks of the sheet's column 'Plate'" in page


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
  glossary: Array.from(document.querySelectorAll("a.feature")).map(
      a => !!document.getElementById(a.getAttribute("href").slice(1))),
  text: document.body.innerText,
}))()"""


def test_study_report_in_headless_chromium(study):
    page = study / "out" / "study" / "study.html"
    assert find_chromium(), "chromium is not installed"
    with HeadlessChromium() as browser:
        browser.open(page.as_uri(), height=2400)
        facts = browser.evaluate(PAGE_FACTS)
        shot = Image.open(io.BytesIO(browser.screenshot())).convert("RGB")
    assert facts["title"] == "DUKON study: fast against control"
    assert facts["sections"] == ["Movies and their quality", "What this design can show",
                                 "Differences from the control", "Figures", "Glossary"]
    figures = list((page.parent / "figures").glob("*.svg"))
    assert len(facts["images"]) == len(figures)
    for image in facts["images"]:
        assert image["complete"] and image["width"] > 0, image
    # Every movie that has a report is linked to it, relative to the page; so
    # is every figure's SVG and PDF, and every feature name to its entry.
    reports = [h for h in facts["links"] if h.endswith("report.html")]
    assert len(reports) == 2 * PER_GROUP + 1
    assert all((page.parent / h).is_file() for h in reports)
    files = [h for h in facts["links"] if h.startswith("figures")]
    assert len(files) == 2 * len(figures) + 1 and all((page.parent / h).is_file() for h in files)
    assert len(facts["glossary"]) > 10 and all(facts["glossary"])
    assert "no: analysis failed" in facts["text"] and "below 90 %" in facts["text"]
    assert re.search(r"fast\tforward_speed\tmm/s\t0\.3\d*\t0\.2\d*\t0\.\d+\t0\.\d+ to 0\.\d+",
                     facts["text"]), facts["text"][:3000]
    assert shot.size == (1280, 2400)
    colours = shot.getcolors(maxcolors=1 << 24)
    assert len(colours) > 50
    assert max(count for count, _ in colours) < 0.95 * shot.size[0] * shot.size[1]


BAD_INPUT = [
    ("movie,condition\ncontrol1,control\n", (), r"samples\.csv:1: the header lacks the "
                                                r"column\(s\) group \(found: movie, condition\)"),
    ("movie,group\ncontrol1,control\ncontrol2,control\nfast1,fast\nfast2,fast\nnope,fast\n", (),
     r"samples\.csv:6: movie nope is not in the batch"),
    ("movie,group\nfast1,fast\nfast2,fast\nfast3,slow\nfast4,slow\n", (),
     r"samples\.csv: no movie belongs to the control group 'control' \(groups: fast, slow\)"),
    ("# plate 3 only\nmovie,group\ncontrol1,control\ncontrol2,control\nfast1,fast\n", (),
     r"samples\.csv:5: group 'fast' has one movie only \(fast1\)"),
    ("movie,group\ncontrol1,control\ncontrol2,control\ncontrol1.avi,fast\nfast2,fast\n", (),
     r"samples\.csv:4: movie control1 is listed again \(first on line 2\)"),
    ("movie,group\ncontrol1,control\ncontrol2,control,extra\n", (),
     r"samples\.csv:3: expected 2 fields as in the header, found 3"),
    ("", (), r"samples\.csv:1: empty sample sheet"),
    ("movie,group\ncontrol1,control\n,control\n", (), r"samples\.csv:3: empty movie cell"),
    # A group that a failed analysis leaves with one movie: no comparison.
    ("movie,group\ncontrol1,control\ncontrol2,control\nfast1,mutant\nbroken,mutant\n", (),
     r"samples\.csv: group 'mutant' keeps 1 usable movie, fewer than the 2 a comparison "
     r"needs, once these are left out: broken \(analysis failed\)"),
    ("movie,group\ncontrol1,control\ncontrol2,control\nfast1,fast\nfast2,fast\n",
     ("--block", "date"), r"samples\.csv:1: no column 'date' to block by"),
    ("movie,group,plate\ncontrol1,control,a\ncontrol2,control,\nfast1,fast,a\nfast2,fast,b\n",
     ("--block", "plate"), r"samples\.csv:3: movie control2 has an empty plate cell"),
    ("movie,group\ncontrol1,control\ncontrol2,control\nfast1,fast\nfast2,fast\n",
     ("--primary", "forward_sped"), r"--primary: 'forward_sped' is not a feature of "
                                    r"features\.csv \(did you mean forward_speed"),
]


@pytest.mark.parametrize("sheet,options,message", BAD_INPUT)
def test_bad_input_is_named_and_nothing_is_written(study, tmp_path, sheet, options, message):
    samples = tmp_path / "samples.csv"
    samples.write_text(sheet)
    features = study / "out" / "features.csv"
    before = features.stat().st_mtime_ns
    proc = run_study(study / "out", "--samples", samples, "--control", "control", "--out",
                     tmp_path / "study", *options)
    assert proc.returncode == 1
    assert re.search(message, proc.stderr), proc.stderr
    assert "Traceback" not in proc.stderr
    assert not (tmp_path / "study").exists()
    assert features.stat().st_mtime_ns == before


def test_other_bad_input_exits_one_with_a_message(study, tmp_path):
    samples = study / "samples.csv"
    for args, message in [
        ((tmp_path, "--samples", samples, "--control", "control"), "no summary.csv"),
        ((study / "out", "--samples", tmp_path / "none.csv", "--control", "control"),
         "no such sample sheet"),
        ((study / "out", "--samples", samples, "--control", "control", "--min-consistent", 101,
          "--out", tmp_path / "s"), "the control group 'control' keeps 0 usable movies"),
    ]:
        proc = run_study(*args)
        assert proc.returncode == 1 and message in proc.stderr, proc.stderr
        assert "Traceback" not in proc.stderr
    assert not (tmp_path / "s").exists()
    assert run_study(study / "out", "--samples", samples).returncode == 2  # no --control


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


def test_what_a_design_allows_at_best():
    for n, m in [(2, 2), (3, 4), (5, 5), (7, 6)]:
        assert smallest_p(n, m) == pytest.approx(2 / math.comb(n + m, n))
    # 5 against 5 gives 0.0079: alone among 11 tests it cannot count; 6 can.
    assert 11 * smallest_p(5, 5) > 0.05 > 11 * smallest_p(6, 6)
    assert movies_needed(11, 0.05) == 6 and movies_needed(1, 0.05) == 4
    assert movies_needed(1, 1e-300) is None
    # Blocks of one movie per group: 2^5 arrangements, two as extreme.
    blocks = ["a", "b", "c", "d", "e"]
    assert smallest_p(5, 5, blocks, blocks) == pytest.approx(2 / 32)


def test_blocked_test_counts_every_arrangement_within_blocks():
    # Brute force: permute the labels within each block, count the
    # arrangements whose van Elteren statistic lies as far from its mean.
    x, bx = [5.0, 7.0, 2.5, 9.0], ["a", "a", "b", "b"]
    y, by = [1.0, 6.0, 3.0, 0.5, 2.0], ["a", "a", "b", "b", "b"]
    values = {"a": [5.0, 7.0, 1.0, 6.0], "b": [2.5, 9.0, 3.0, 0.5, 2.0]}
    splits = {b: [(set(c), scistats.rankdata(v)) for c in
                  __import__("itertools").combinations(range(len(v)), 2)]
              for b, v in values.items()}

    def statistic(choice):
        return sum(ranks[list(chosen)].sum() / (len(ranks) + 1) for chosen, ranks in choice)
    observed = statistic([({0, 1}, splits["a"][0][1]), ({0, 1}, splits["b"][0][1])])
    all_stats = [statistic([sa, sb]) for sa in splits["a"] for sb in splits["b"]]
    mean = np.mean(all_stats)
    expected_p = np.mean([abs(s - mean) >= abs(observed - mean) - 1e-9 for s in all_stats])
    r = compare_blocked(x, bx, y, by)
    assert r["p_value"] == pytest.approx(expected_p)
    assert r["method"] == "permutation within blocks, exact over 60 arrangements"
    # A block holding one group only says nothing and is left out.
    r = compare_blocked([1.0, 2.0, 9.0], ["a", "a", "z"], [0.0, 0.5], ["a", "a"])
    assert r["method"].endswith("; 1 movie in one-group blocks not tested")
    assert compare_blocked([1.0, 2.0], ["a", "a"], [0.0, 0.5], ["b", "b"])["method"] == \
        "not tested: no block holds both groups"


def test_bootstrap_interval_of_the_difference_of_medians():
    low, high = bootstrap_interval([10.0, 11.0, 12.0, 13.0, 14.0], [1.0, 2.0, 3.0, 4.0, 5.0], 7)
    assert 5.0 <= low < 9.0 < high <= 13.0
    assert bootstrap_interval([10.0, 11.0, 12.0, 13.0, 14.0], [1.0, 2.0, 3.0, 4.0, 5.0], 7) == \
        (low, high)
    assert all(math.isnan(v) for v in bootstrap_interval([1.0], [2.0, 3.0], 0))


def test_progress_shows_done_of_total_and_the_time_left():
    now = [0.0]
    out = io.StringIO()
    p = Progress("reading movies", 4, prefix="dukon-study", stream=out, every=5.0,
                 clock=lambda: now[0])
    for t in (1.0, 6.0, 7.0, 12.0):
        now[0] = t
        p.step()
    assert out.getvalue() == ("dukon-study: reading movies: 2 of 4, about 6 s left\n"
                              "dukon-study: reading movies: 4 of 4, done in 12 s\n")
