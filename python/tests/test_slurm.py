"""The batch workflow through workflow/profiles/slurm on a real one-node
Slurm cluster started for this module: every movie's analysis and report is
a Slurm job, the summary is made locally and lists the movie the analyser
rejected with its exit code. Where the machine cannot host a Slurm node
(no cgroup file system for a slurmd that insists on one), the test is
skipped with that reason."""

import csv
import getpass
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

from conftest import REPO, render
from slurm_cluster import PARTITION, SlurmCluster, SlurmError, machine_limit

BATCH_SECONDS = 300


@pytest.fixture(scope="module")
def cluster(tmp_path_factory):
    try:
        with SlurmCluster(tmp_path_factory.mktemp("slurm")) as running:
            yield running
    except SlurmError as e:
        if not e.machine_limit:
            raise
        pytest.skip(f"no Slurm node on this machine: {e.machine_limit}")


@pytest.mark.parametrize("log, reason", [
    ("slurmd: error: cgroup filesystem not mounted in /sys/fs/cgroup/", "cgroup"),
    ("[t] error: No filesystem mounted on /sys/fs/cgroup\n"
     "[t] error: Unable to initialize cgroup plugin", "cgroup"),
    ("error: cgroup namespace 'freezer' not mounted. aborting", "cgroup"),
    ("error: Error binding slurm stream socket: Address already in use", None),
    ("slurmd -C: error: invalid configuration", None),
])
def test_machine_limits_are_told_from_other_failures(log, reason):
    found = machine_limit(f"[2026-01-01T00:00:00.000] slurmd version 22.05.8 started\n{log}\n")
    if reason is None:
        assert found is None
    else:
        assert reason in (found or "")


# Starts the cluster, runs one job to its end, prints the job's exit code.
_ONE_JOB = """
import sys
from slurm_cluster import SlurmCluster
with SlurmCluster(sys.argv[1]) as c:
    job = c.run("sbatch", "--wait", "-o", "/dev/null", "--wrap=true", timeout=60)
    print("job exit", job.returncode, job.stderr.strip())
"""


def test_node_starts_without_a_cgroup_file_system(tmp_path):
    """In a mount namespace of its own, where /sys/fs/cgroup is unmounted
    (as in a chroot or some containers), the cluster starts and runs a job;
    the machine's own mounts are not touched."""
    if os.geteuid() != 0 or not shutil.which("unshare"):
        pytest.skip("needs root and unshare to hide the cgroup mounts")
    script = tmp_path / "one_job.py"
    script.write_text(_ONE_JOB)
    hide = ("umount -R /sys/fs/cgroup 2>/dev/null; "
            "! grep -q ' /sys/fs/cgroup' /proc/self/mounts || exit 90; exec \"$@\"")
    cmd = ["unshare", "--mount", "--propagation", "private", "sh", "-c", hide, "hide",
           sys.executable, str(script), str(tmp_path / "c")]
    env = dict(os.environ, PYTHONPATH=str(Path(__file__).parent))
    proc = subprocess.run(cmd, capture_output=True, text=True, stdin=subprocess.DEVNULL,
                          timeout=180, env=env)
    if proc.returncode == 90 or "unshare failed" in proc.stderr:
        pytest.skip(f"cannot hide the cgroup mounts here: {proc.stderr.strip()[-200:]}")
    assert "job exit 0" in proc.stdout, f"{proc.stdout}\n{proc.stderr[-3000:]}"


@pytest.fixture(scope="module")
def movies(binaries, tmp_path_factory):
    """A 3-second forward movie w1 and a file broken.avi that is no movie."""
    base = tmp_path_factory.mktemp("slurm-movies")
    movie = render(binaries[1], "forward", base / "render", 3)
    folder = base / "movies"
    folder.mkdir()
    shutil.copy(movie / "forward.avi", folder / "w1.avi")
    shutil.copy(movie / "forward.log.csv", folder / "w1.log.csv")
    (folder / "broken.avi").write_bytes(b"RIFF\0\0\0\0AVI not really a movie" * 40)
    shutil.copy(movie / "forward.log.csv", folder / "broken.log.csv")
    # The generator's parameters serve as the template; the batch replaces
    # moviedir, moviename and outdir in it.
    return folder, movie / "params.txt"


def run_batch(cluster, dukon, movies, template, out):
    """Runs the README's Slurm command in the repository; returns snakemake's
    log."""
    cmd = ["snakemake", "-s", "workflow/Snakefile", "--profile", "workflow/profiles/slurm",
           "--directory", str(out),
           "--config", f"movies={movies}", f"template={template}", f"out={out}",
           f"dukon={dukon}"]
    # Snakemake looks the user's Slurm account up by $USER.
    env = dict(cluster.env, USER=getpass.getuser())
    try:
        proc = subprocess.run(cmd, cwd=REPO, env=env, capture_output=True, text=True,
                              stdin=subprocess.DEVNULL, timeout=BATCH_SECONDS)
    except subprocess.TimeoutExpired as e:
        log = (e.stderr or b"").decode(errors="replace") if isinstance(e.stderr, bytes) \
            else (e.stderr or "")
        pytest.fail(f"batch not done after {BATCH_SECONDS} s\n{log[-3000:]}\n"
                    f"{cluster.run('squeue').stdout}\n{cluster.diagnostics()}")
    assert proc.returncode == 0, f"{proc.stderr[-4000:]}\n{cluster.diagnostics()}"
    return proc.stderr


def test_batch_runs_as_slurm_jobs_and_lists_the_broken_movie(cluster, binaries, movies,
                                                             tmp_path):
    folder, template = movies
    out = tmp_path / "out"
    log = run_batch(cluster, binaries[0], folder, template, out)

    # One job per movie and step, run on the node in the profile's partition;
    # the analyser's failure is a result, not a failed job.
    jobids = re.findall(r"submitted with SLURM jobid (\d+)", log)
    jobs = [cluster.job(j) for j in jobids]
    rules = sorted(re.match(r"snakejob_(\w+?)_", j["JobName"]).group(1) for j in jobs)
    assert rules == ["analyse"] * 2 + ["report"] * 2, log[-3000:]
    for job in jobs:
        assert (job["JobState"], job["ExitCode"]) == ("COMPLETED", "0:0"), job
        assert job["Partition"] == PARTITION and job["BatchHost"] == cluster.node["NodeName"]
        # The step's memory and run time reached Slurm.
        assert job["MinMemoryNode"] not in ("0", "0M") and job["TimeLimit"] != "UNLIMITED"
        assert list((out / ".snakemake" / "slurm_logs").glob(f"*/{job['JobId']}.log"))

    with open(out / "summary.csv", newline="") as f:
        rows = {row["name"]: row for row in csv.DictReader(f)}
    assert sorted(rows) == ["broken", "w1"]
    broken, good = rows["broken"], rows["w1"]
    assert (broken["status"], broken["exit_code"], broken["frames"]) == ("failed", "1", "")
    assert "Can't open movie file" in broken["error"]
    assert (good["status"], good["exit_code"], good["frames"]) == ("ok", "0", "90")
    assert float(good["forward_speed_mm_s"]) > 0 and (out / good["report"]).is_file()
    index = (out / "index.html").read_text()
    assert "1 analysed, 1 failed" in index and "broken: exit code 1" in index
