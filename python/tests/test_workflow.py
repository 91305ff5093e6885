"""The batch workflow on short synthetic movies: locally with two cores,
again after a movie is added, and through the Slurm profile; movies whose
names, logs or analyses are out of the ordinary; scripts/batch's own checks."""

import csv
import json
import os
import shutil
import subprocess
from pathlib import Path

import pytest

from conftest import REPO, render
from dukon_results.params import BATCH_KEYS

SNAKEFILE = REPO / "workflow" / "Snakefile"
FAKE_SLURM = Path(__file__).resolve().parent / "fake_slurm"


@pytest.fixture(scope="module")
def movie(binaries, tmp_path_factory):
    """One 4-second forward movie; the batch gets copies of it under other names."""
    return render(binaries[1], "forward", tmp_path_factory.mktemp("render"), 4)


def add_movie(movie, folder, name):
    folder.mkdir(exist_ok=True)
    shutil.copy(movie / "forward.avi", folder / f"{name}.avi")
    shutil.copy(movie / "forward.log.csv", folder / f"{name}.log.csv")


def add_broken_movie(movie, folder):
    (folder / "broken.avi").write_bytes(b"RIFF\0\0\0\0AVI not really a movie" * 40)
    shutil.copy(movie / "forward.log.csv", folder / "broken.log.csv")


def write_template(movie, path):
    """The generator's parameters without the keys the batch sets."""
    keep = [line for line in (movie / "params.txt").read_text().splitlines()
            if line.split(" ")[0] not in BATCH_KEYS]
    path.write_text("\n".join(keep) + "\n")
    return path


def snakemake(binaries, movies, template, out, *extra, env=None, status=0, dukon=None):
    cmd = ["snakemake", "-s", str(SNAKEFILE), "--directory", str(out), "--keep-going",
           *extra, "--config", f"movies={movies}", f"template={template}", f"out={out}",
           f"dukon={dukon or binaries[0]}", "python=/usr/bin/python3"]
    proc = subprocess.run(cmd, capture_output=True, text=True, stdin=subprocess.DEVNULL,
                          timeout=400, env=env)
    assert proc.returncode == status, proc.stderr[-3000:]
    return proc


def read_summary(out):
    with open(out / "summary.csv", newline="", encoding="utf-8") as f:
        return {row["name"]: row for row in csv.DictReader(f)}


def test_batch_runs_every_movie_and_lists_the_broken_one(binaries, movie, tmp_path):
    movies, out = tmp_path / "movies", tmp_path / "out"
    for name in ("w1", "w2", "w3"):
        add_movie(movie, movies, name)
    add_broken_movie(movie, movies)
    template = write_template(movie, tmp_path / "template.txt")
    snakemake(binaries, movies, template, out, "--cores", "2")

    rows = read_summary(out)
    assert sorted(rows) == ["broken", "w1", "w2", "w3"]
    broken = rows["broken"]
    assert (broken["status"], broken["exit_code"]) == ("failed", "1")
    assert "Can't open movie file" in broken["error"] and broken["frames"] == ""
    for name in ("w1", "w2", "w3"):
        row = rows[name]
        assert (row["status"], row["exit_code"], row["frames"]) == ("ok", "0", "120")
        assert float(row["forward_speed_mm_s"]) > 0 and row["eggs"] == ""
        assert row["head_checks"] == "0"  # checked, nothing found
        assert 0 <= float(row["roam_ratio"]) <= 1
        assert (out / row["report"]).is_file()
        wcon = json.loads((out / "results" / name / f"{name}.wcon").read_text())
        assert wcon["data"][0]["id"] == name and len(wcon["data"][0]["t"]) == 120
        params = (out / "work" / name / "params.txt").read_text()
        assert f"moviename = {name}\n" in params and f"moviedir = {movies}/\n" in params
    index = (out / "index.html").read_text()
    for name in ("w1", "w2", "w3"):
        assert f'href="results/{name}/report.html"' in index
    assert "broken: exit code 1" in index and "Can&#x27;t open movie file" in index
    assert json.loads((out / "status" / "broken.wcon.json").read_text())["wcon"] is None

    # Adding a movie and running again analyses that movie only.
    stamps = {p: p.stat().st_mtime_ns for p in (out / "status").glob("*.json")}
    add_movie(movie, movies, "w4")
    snakemake(binaries, movies, template, out, "--cores", "2")
    assert {p: p.stat().st_mtime_ns for p in stamps} == stamps
    rows = read_summary(out)
    assert sorted(rows) == ["broken", "w1", "w2", "w3", "w4"]
    assert rows["w4"]["status"] == "ok" and rows["w4"]["frames"] == "120"
    assert 'href="results/w4/report.html"' in (out / "index.html").read_text()


def test_slurm_profile_submits_one_job_per_step(binaries, movie, tmp_path):
    movies, out, state = tmp_path / "movies", tmp_path / "out", tmp_path / "slurm"
    add_movie(movie, movies, "w1")
    state.mkdir()
    env = dict(os.environ, PATH=f"{FAKE_SLURM}:{os.environ['PATH']}", USER="tester",
               FAKE_SLURM_STATE=str(state))
    snakemake(binaries, movies, write_template(movie, tmp_path / "t.txt"), out,
              "--profile", str(REPO / "workflow" / "profiles" / "slurm"),
              "--max-status-checks-per-second", "1", env=env)
    jobs = [p.read_text().split("\n") for p in sorted(state.glob("*.args"))]
    assert len(jobs) == 2  # the movie's analysis and report; the summary stays local
    for args in jobs:
        assert "-p" in args and args[args.index("-p") + 1] == "main"
        assert args[args.index("--mem") + 1] == "2000"
        assert any(a.startswith("--wrap=") for a in args)
    rows = read_summary(out)
    assert list(rows) == ["w1"] and rows["w1"]["status"] == "ok"
    assert (out / rows["w1"]["report"]).is_file()


def test_movies_that_cannot_run_are_recorded_not_raised(tmp_path):
    from dukon_results import batch

    template = tmp_path / "template.txt"
    template.write_text("mmpix = 280\n")
    broken = tmp_path / "two\nlines"
    broken.mkdir()
    (broken / "w1.avi").write_bytes(b"")
    hang = tmp_path / "hang"
    hang.write_text("#!/bin/sh\nexec sleep 30\n")
    hang.chmod(0o755)
    status = tmp_path / "status"
    out = tmp_path / "out"
    # A folder name with a line break cannot be written into params.txt.
    first = batch.analyse(hang, broken / "w1.avi", template, out, status / "w1.json")
    assert (first["status"], first["exit_code"]) == ("failed", None)
    assert "control character" in first["stderr_tail"]
    # An analyser that hangs is stopped.
    (tmp_path / "w2.avi").write_bytes(b"")
    second = batch.analyse(hang, tmp_path / "w2.avi", template, out, status / "w2.json",
                           timeout=1)
    assert second["status"] == "failed" and "stopped after 1 s" in second["stderr_tail"]
    for name in ("w1", "w2"):
        batch.report(status / f"{name}.json", status / f"{name}.report.json")
    rows = batch.collect([status / "w1.report.json", status / "w2.report.json"], out)
    assert [(r["name"], r["status"]) for r in rows] == [("w1", "failed"), ("w2", "failed")]
    index = (out / "index.html").read_text()
    assert "w1: exit code none" in index and "0 analysed, 2 failed" in index


# The analyser, except that the movie "part" stops at frame 47 and ends as a
# partial run (status 3, with a line saying so), and "crash" kills its batch
# step while the file crash-once exists.
STAND_IN = """#!/bin/bash
name=$(sed -n 's/^moviename = //p' params.txt | tail -n 1)
case "$name" in
  part) echo "lframe = 47" >>params.txt
        '{dukon}' || exit
        echo "dukon: the movie ended early: 47 of 120 frames analysed" >&2
        exit 3 ;;
  crash) if rm '{marker}' 2>/dev/null; then kill -9 $PPID; exit 1; fi ;;
esac
exec '{dukon}'
"""


def test_batch_copes_with_names_logs_partial_runs_and_crashed_steps(binaries, movie, tmp_path):
    movies, out = tmp_path / "movies-ü", tmp_path / "out"
    for name in ("wörm", "part", "crash"):
        add_movie(movie, movies, name)
    shutil.copy(movie / "forward.avi", movies / "wurm_ł.AVI")
    shutil.copy(movie / "forward.log.csv", movies / "wurm_ł.log.csv")
    shutil.copy(movie / "forward.avi", movies / "late.avi")  # its stage log comes later
    marker = tmp_path / "crash-once"
    marker.touch()
    dukon = tmp_path / "dukon"
    dukon.write_text(STAND_IN.format(dukon=binaries[0], marker=marker))
    dukon.chmod(0o755)
    template = write_template(movie, tmp_path / "template.txt")
    snakemake(binaries, movies, template, out, "--cores", "2", dukon=dukon, status=1)

    rows = read_summary(out)  # written although a step was killed
    assert {n: r["status"] for n, r in rows.items()} == {
        "crash": "failed", "late": "failed", "part": "partial", "wurm_ł": "ok", "wörm": "ok"}
    assert "did not finish" in rows["crash"]["error"]
    assert "Couldn't open stage data file" in rows["late"]["error"]
    for name in ("wörm", "wurm_ł"):
        assert rows[name]["frames"] == "120" and (out / rows[name]["report"]).is_file()
        params = (out / "work" / name / "params.txt").read_bytes()
        assert f"moviename = {name}\n".encode() in params
    part = rows["part"]
    assert (part["exit_code"], part["frames"], part["planned_frames"]) == ("3", "47", "120")
    assert (out / part["report"]).is_file() and (out / "results/part/part.wcon").is_file()
    index = (out / "index.html").read_text(encoding="utf-8")
    assert "3 analysed (1 of them partial), 2 failed" in index
    assert "partial: 47 of 120 frames" in index and 'href="results/wurm_ł/report.html"' in index

    # The log added (with an old time stamp) has that movie analysed again;
    # the crashed step runs again; the others are left alone.
    shutil.copy2(movie / "forward.log.csv", movies / "late.log.csv")
    done = (out / "status" / "wörm.analysis.json").stat().st_mtime_ns
    snakemake(binaries, movies, template, out, "--cores", "2", dukon=dukon)
    rows = read_summary(out)
    assert (rows["late"]["status"], rows["crash"]["status"]) == ("ok", "ok")
    assert (out / "status" / "wörm.analysis.json").stat().st_mtime_ns == done


@pytest.mark.parametrize("text, counts", [
    ("dukon: the movie ended early: 47 of 120 frames analysed", (47, 120)),
    ("Could not get frame 48\nanalysed 47 frames of the 120 planned", (47, 120)),
    ("Skipped 3 frames of another size\nAnalysed 117 of 120 frames", (117, 120)),
    ("Could not get frame 48", None),
])
def test_partial_counts_are_read_loosely(text, counts):
    from dukon_results.batch import frames_of

    assert frames_of(text) == counts


def batch_script(movies, *args, env=None):
    return subprocess.run([str(REPO / "scripts" / "batch"), str(movies), *args],
                          capture_output=True, text=True, stdin=subprocess.DEVNULL,
                          timeout=400, env=env)


def test_batch_script_checks_movies_config_and_lock(binaries, movie, tmp_path):
    env = dict(os.environ, DUKON=str(binaries[0]))
    empty = tmp_path / "empty"
    empty.mkdir()
    proc = batch_script(empty, env=env)
    assert proc.returncode == 1 and f"no movies (NAME.avi) in {empty}" in proc.stderr

    movies, out = tmp_path / "movies", tmp_path / "out"
    add_movie(movie, movies, "w1")
    template = write_template(movie, tmp_path / "template.txt")
    own = ["--out", str(out), "--template", str(template), "--cores", "2"]
    proc = batch_script(movies, *own, "--", "--config", "out=/elsewhere", env=env)
    assert proc.returncode == 2 and "would replace the script's own setting: use --out" \
        in proc.stderr
    # Further keys join the script's own movies, out and template.
    proc = batch_script(movies, *own, "--", "--config", "study_min_consistent=40", env=env)
    assert proc.returncode == 0, proc.stderr[-3000:]
    assert read_summary(out)["w1"]["status"] == "ok"

    # A lock that an interrupted run left behind is lifted...
    locks = out / ".snakemake" / "locks"
    locks.mkdir(parents=True, exist_ok=True)
    (locks / "0.input.lock").write_text(f"{movies / 'w1.avi'}\n")
    proc = batch_script(movies, *own, env=env)
    assert proc.returncode == 0 and "lifting the lock" in proc.stdout, proc.stderr[-3000:]
    # ...unless a Snakemake works in the folder: then the script says how.
    (locks / "0.input.lock").write_text(f"{movies / 'w1.avi'}\n")
    holder = subprocess.Popen(["bash", "-c", "exec -a snakemake sleep 60"], cwd=out)
    try:
        proc = batch_script(movies, *own, env=env)
    finally:
        holder.kill()
        holder.wait()
    assert proc.returncode == 1 and f"process {holder.pid}" in proc.stderr
    assert f"--directory {out} --unlock --config movies={movies} out={out}" in proc.stderr
