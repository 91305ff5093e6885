"""A one-node Slurm cluster on this machine, for the tests.

`SlurmCluster(root)` writes a munge key, a slurm.conf and a cgroup.conf
under `root` and runs munged, slurmctld and slurmd in the foreground as
child processes; `stop()` cancels whatever jobs are left and ends the three
daemons. All state, spool, sockets and logs stay under `root`; the ports are
free ones picked at start. The configuration needs no cgroups, no systemd
and no accounting database, so it runs in containers and chroots as root:

- processes are tracked through /proc (proctrack/linuxproc), tasks are not
  bound (task/none), nothing is gathered for accounting;
- slurmd still loads a cgroup plugin at start; left to detect the cgroup
  version it stops where no cgroup file system is mounted. Named
  (cgroup/v1), it loads without looking, and with nothing above using it
  no cgroup is ever touched (Slurm 22.05 has no CgroupPlugin=disabled);
- without slurmdbd `sacct` answers that accounting is disabled, and
  Snakemake falls back to `scontrol show jobid`; finished jobs are kept in
  the controller's memory for MinJobAge seconds for that;
- a job is scheduled as soon as it is submitted or a CPU frees, rather
  than at the next scheduling round, so that a small batch takes seconds.

Client commands find the cluster through `cluster.env` (SLURM_CONF).
Needs Debian's slurmctld, slurmd, slurm-client and munge, and root.
"""

import os
import re
import shutil
import socket
import subprocess
import time
from pathlib import Path

PARTITION = "main"  # the partition workflow/profiles/slurm names
START_SECONDS = 60
STOP_SECONDS = 20
# Finished jobs stay visible to `scontrol show jobid` this long, seconds.
MIN_JOB_AGE = 600


class SlurmError(RuntimeError):
    """The cluster did not come up or did not answer; the message holds the
    tail of the daemons' logs. `machine_limit` tells, when the logs show it,
    that this machine cannot run a Slurm node at all (see machine_limit)."""

    def __init__(self, message, logs=""):
        super().__init__(message)
        self.machine_limit = machine_limit(f"{message}\n{logs}")


# Daemon messages that say the machine cannot host a node, whatever the
# configuration: (pattern, the reason a test gives for skipping).
MACHINE_LIMITS = [
    (re.compile(r"cgroup filesystem not mounted|No filesystem mounted on /sys/fs/cgroup"
                r"|cgroup namespace '\w+' not mounted|Unable to initialize cgroup plugin"),
     "slurmd needs a cgroup file system, and none is mounted here"),
]


def machine_limit(logs):
    """Why this machine cannot run the test's Slurm node, when the daemons'
    `logs` (text) say so; None for any other failure."""
    for pattern, reason in MACHINE_LIMITS:
        if pattern.search(logs):
            return reason
    return None


def cgroup_conf():
    """The text of cgroup.conf: a cgroup plugin named, so that slurmd does
    not probe /sys/fs/cgroup (nothing in slurm.conf uses it)."""
    return "CgroupPlugin=cgroup/v1\n"


def free_port():
    """A TCP port that nothing listens on at the moment."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def this_node():
    """slurmd's own view of this machine (`slurmd -C`) as KEY=VALUE fields:
    NodeName (the short host name slurmd looks itself up by), CPUs, sockets,
    cores, threads and RealMemory in MB."""
    proc = subprocess.run(["slurmd", "-C"], capture_output=True, text=True,
                          stdin=subprocess.DEVNULL, timeout=30)
    first = proc.stdout.splitlines()[0] if proc.stdout.strip() else ""
    fields = dict(item.partition("=")[::2] for item in first.split())
    if proc.returncode != 0 or "NodeName" not in fields:
        raise SlurmError(f"slurmd -C: {proc.stderr.strip() or proc.stdout.strip()}")
    return fields


def node_line(node):
    """The NodeName line of `node` (from this_node()) on 127.0.0.1. Memory is
    advertised as at least 4000 MB so that two 2000 MB jobs of the workflow
    fit; it is not a consumable here (CR_CPU, config_overrides), so the
    figure limits nothing."""
    node = dict(node, RealMemory=str(max(int(node.get("RealMemory", 0)), 4000)))
    node.pop("UpTime", None)
    name = node.pop("NodeName")
    rest = " ".join(f"{k}={v}" for k, v in node.items())
    return f"NodeName={name} NodeAddr=127.0.0.1 NodeHostname={name} {rest} State=UNKNOWN"


def slurm_conf(root, node, munge_socket, ctld_port, slurmd_port):
    """The text of slurm.conf for `node` (from this_node()) on 127.0.0.1 with
    a partition PARTITION of all its CPUs."""
    name = node["NodeName"]
    return f"""\
ClusterName=dukontest
SlurmctldHost={name}(127.0.0.1)
SlurmctldPort={ctld_port}
SlurmdPort={slurmd_port}
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket={munge_socket}
StateSaveLocation={root}/state
SlurmdSpoolDir={root}/spool
SlurmctldPidFile={root}/run/slurmctld.pid
SlurmdPidFile={root}/run/slurmd.pid
SlurmctldLogFile={root}/log/slurmctld.log
SlurmdLogFile={root}/log/slurmd.log
SlurmctldDebug=info
SlurmdDebug=info
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SwitchType=switch/none
MpiDefault=none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SlurmdParameters=config_overrides
ReturnToService=2
MinJobAge={MIN_JOB_AGE}
SchedulerParameters=sched_interval=2,batch_sched_delay=0
MailProg=/bin/true
{node_line(node)}
PartitionName={PARTITION} Nodes={name} Default=YES MaxTime=INFINITE State=UP
"""


def _tail(path, lines=25):
    try:
        return "\n".join(Path(path).read_text(errors="replace").splitlines()[-lines:])
    except OSError:
        return "(no log)"


class SlurmCluster:
    """munged, slurmctld and slurmd under `root`; a context manager that
    stops them on leaving, whatever happened inside."""

    def __init__(self, root):
        self.root = Path(root).resolve()
        self.munge_socket = self.root / "run" / "munge.socket"
        self.conf = self.root / "slurm.conf"
        self.env = dict(os.environ, SLURM_CONF=str(self.conf))
        self.node = None  # this_node(), once started
        self._procs = {}  # daemon name -> Popen, in start order, while running
        self._started = []  # every daemon name started

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, *exc):
        self.stop()

    # -- start ------------------------------------------------------------

    def start(self):
        """Writes the configuration and starts the daemons; returns when the
        node is idle. Raises SlurmError after START_SECONDS otherwise."""
        missing = [exe for exe in ("munged", "munge", "slurmctld", "slurmd", "sbatch",
                                   "scontrol", "sinfo", "squeue", "scancel")
                   if shutil.which(exe) is None]
        if missing:
            raise SlurmError(f"not installed: {', '.join(missing)}")
        # A Unix socket path holds at most 107 bytes.
        if len(str(self.munge_socket)) > 100:
            raise SlurmError(f"folder too deep for the munge socket: {self.munge_socket}")
        for sub in ("munge", "state", "spool", "run", "log"):
            (self.root / sub).mkdir(parents=True, exist_ok=True)
        os.chmod(self.root / "munge", 0o700)
        key = self.root / "munge" / "munge.key"
        key.write_bytes(os.urandom(1024))
        os.chmod(key, 0o600)
        self.node = this_node()
        self.conf.write_text(slurm_conf(self.root, self.node, self.munge_socket,
                                        free_port(), free_port()))
        # slurmd reads cgroup.conf from slurm.conf's folder.
        (self.root / "cgroup.conf").write_text(cgroup_conf())

        # What the daemons write to standard error goes to log/NAME.out.
        self._spawn("munged", ["munged", "--foreground", "--force",
                               f"--socket={self.munge_socket}", f"--key-file={key}",
                               f"--pid-file={self.root / 'run' / 'munged.pid'}",
                               f"--seed-file={self.root / 'munge' / 'munged.seed'}"])
        self._wait("munged to answer", self._munge_answers)
        self._spawn("slurmctld", ["slurmctld", "-D", "-c", "-f", str(self.conf)])
        self._wait("slurmctld to answer", self._controller_up)
        self._spawn("slurmd", ["slurmd", "-D", "-f", str(self.conf)])
        self._wait("the node to be idle", self._node_idle)

    def _spawn(self, name, cmd):
        log = open(self.root / "log" / f"{name}.out", "wb")
        with log:
            self._started.append(name)
            self._procs[name] = subprocess.Popen(
                cmd, env=self.env, stdin=subprocess.DEVNULL, stdout=log,
                stderr=subprocess.STDOUT, start_new_session=True)

    def _wait(self, what, ready, seconds=START_SECONDS):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            for name, proc in self._procs.items():
                if proc.poll() is not None:
                    raise SlurmError(f"{name} ended with status {proc.returncode} while "
                                     f"waiting for {what}\n{self.diagnostics()}", self.logs())
            if ready():
                return
            time.sleep(0.5)
        raise SlurmError(f"gave up after {seconds} s waiting for {what}\n{self.diagnostics()}",
                         self.logs())

    def run(self, *cmd, timeout=30):
        """Runs a Slurm client command against this cluster."""
        return subprocess.run(cmd, env=self.env, capture_output=True, text=True,
                              stdin=subprocess.DEVNULL, timeout=timeout)

    def _munge_answers(self):
        if not self.munge_socket.exists():
            return False
        cred = subprocess.run(["munge", "-n", "-S", str(self.munge_socket)],
                              capture_output=True, stdin=subprocess.DEVNULL, timeout=10)
        return cred.returncode == 0 and subprocess.run(
            ["unmunge", "-S", str(self.munge_socket)], input=cred.stdout,
            capture_output=True, timeout=10).returncode == 0

    def _controller_up(self):
        return "is UP" in self.run("scontrol", "ping").stdout

    def _node_idle(self):
        return self.run("sinfo", "-h", "-N", "-o", "%t").stdout.strip() == "idle"

    # -- jobs -------------------------------------------------------------

    def job(self, jobid):
        """`scontrol show job` of one job as a dict of its KEY=VALUE fields."""
        proc = self.run("scontrol", "-o", "show", "job", str(jobid))
        if proc.returncode != 0:
            raise SlurmError(f"scontrol show job {jobid}: {proc.stderr.strip()}")
        fields = {}
        for item in proc.stdout.split():
            key, _, value = item.partition("=")
            fields[key] = value
        return fields

    # -- stop -------------------------------------------------------------

    def stop(self):
        """Cancels the cluster's jobs, then ends slurmd, slurmctld and munged
        (in that order), each by its process id; idempotent."""
        if "slurmctld" in self._procs and self._procs["slurmctld"].poll() is None:
            try:
                self.run("scancel", f"--partition={PARTITION}", timeout=10)
                deadline = time.monotonic() + STOP_SECONDS
                while (time.monotonic() < deadline and
                       self.run("squeue", "-h", "-o", "%i", timeout=10).stdout.strip()):
                    time.sleep(0.5)
            except subprocess.TimeoutExpired:
                pass
        for name in reversed(list(self._procs)):
            proc = self._procs.pop(name)
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(STOP_SECONDS)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait(STOP_SECONDS)

    def logs(self):
        """Every daemon log in full, one after another (text)."""
        return "\n".join(path.read_text(errors="replace")
                         for path in sorted((self.root / "log").glob("*")) if path.is_file())

    def diagnostics(self):
        """The end of every daemon's log, for failure messages."""
        parts = []
        for name in self._started:
            log = self.root / "log" / f"{name}.log"  # Slurm's own, with times
            if not log.exists():
                log = log.with_suffix(".out")
            parts.append(f"--- {log}\n{_tail(log)}")
        return "\n".join(parts)
