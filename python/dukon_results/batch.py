"""The steps of a batch run over many movies, as the workflow calls them.

    python3 -m dukon_results.batch analyse --dukon BIN --movie DIR/NAME.avi \
        --template T --out OUT --status OUT/status/NAME.analysis.json
    python3 -m dukon_results.batch report --analysis S --status OUT/status/NAME.report.json
    python3 -m dukon_results.batch collect --out OUT S1.report.json S2.report.json ...

Layout under OUT: work/NAME/ (params.txt, stdout.txt, stderr.txt of the run),
results/NAME/ (the run's output folder with report.html), status/ (one JSON
record per step and movie), summary.csv and index.html. Every step records
its outcome and exits 0, so that one movie's failure stops no other.

A movie is a file NAME.avi, the extension in any case, with its stage log
NAME.log.csv (likewise) beside it. The analyser opens MOVIEDIR/NAME.avi and
MOVIEDIR/NAME.log.csv exactly: for other spellings the analysis step links
both under those names in work/NAME/movie/ and names that folder. Names are
passed to the analyser as the bytes they have in the file system (UTF-8 on
a usual system): params.txt is written in UTF-8.

Status of a movie: "ok" (the analyser ended with 0), "partial" (it ended
with 3: results written, but not every frame it planned was analysed; the
report and WCON are made all the same) or "failed" (any other end).
"""

import argparse
import csv
import html
import json
import math
import os
import re
import shutil
import subprocess
import sys
import traceback
from pathlib import Path

from .errors import READ_ERRORS
from .files import replace_atomically
from .params import fill_template

# pandas and matplotlib are imported only by the steps that need them, so
# that the analysis step starts quickly.

STDERR_TAIL_LINES = 15


def _write_json(path, record):
    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    replace_atomically(
        path, lambda tmp: tmp.write_text(json.dumps(record, indent=1) + "\n", encoding="utf-8"))


def _tail(path, lines=STDERR_TAIL_LINES):
    """The last `lines` lines of a text file, "" if unreadable."""
    try:
        text = Path(path).read_text(encoding="utf-8", errors="replace")
    except OSError:
        return ""
    return "\n".join(text.rstrip("\n").split("\n")[-lines:])


# Exit status of the analyser for a run that wrote its results but did
# not analyse every frame it planned.
PARTIAL_EXIT = 3
# "analysed 47 of 120 frames" and the like, in the analyser's standard error.
_FRAMES_OF = re.compile(r"(\d+)\s+(?:frames?\s+)?of\s+(?:the\s+)?(\d+)", re.I)


def _movie_name(path):
    """NAME of a movie file NAME.avi (extension in any case), else None."""
    name = Path(path).name
    return name[:-4] if len(name) > 4 and name[-4:].lower() == ".avi" else None


def find_movies(folder):
    """The movies of a batch folder: {NAME: (movie path, stage log path or
    None)}, for every file NAME.avi there (extension in any case) and its
    NAME.log.csv (likewise). Raises ValueError when two files give one NAME."""
    folder = Path(folder)
    files = sorted(p for p in folder.iterdir() if p.is_file())
    movies = {}
    for p in files:
        name = _movie_name(p)
        if name is None:
            continue
        if name in movies:
            raise ValueError(f"two movies named {name} in {folder}: {movies[name][0].name} "
                             f"and {p.name}; rename one")
        logs = [q for q in files if q.name[:len(name)] == name
                and q.name[len(name):].lower() == ".log.csv"]
        exact = [q for q in logs if q.name == name + ".log.csv"]
        movies[name] = (p, (exact or logs or [None])[0])
    return movies


def _movie_folder(movie, log, work):
    """The folder to name as moviedir: the movie's own when the analyser
    finds NAME.avi and NAME.log.csv there, else work/movie/ with both linked
    under those names."""
    name = _movie_name(movie)
    if movie.name == name + ".avi" and (log is None or log.name == name + ".log.csv"):
        return movie.parent
    linked = work / "movie"
    shutil.rmtree(linked, ignore_errors=True)
    linked.mkdir(parents=True)
    (linked / (name + ".avi")).symlink_to(movie)
    if log is not None:
        (linked / (name + ".log.csv")).symlink_to(log)
    return linked


def frames_of(stderr_text):
    """(analysed, planned) frames as the analyser's last "N of M" statement
    on standard error gives them, or None."""
    found = None
    for line in stderr_text.splitlines():
        if "frame" in line.lower():
            for m in _FRAMES_OF.finditer(line):
                found = (int(m.group(1)), int(m.group(2)))
    return found


def _status(exit_code):
    if exit_code == 0:
        return "ok"
    return "partial" if exit_code == PARTIAL_EXIT else "failed"


def analyse(dukon, movie, template, out, status, timeout=None):
    """Runs the analyser on one movie in OUT/work/NAME with its own
    params.txt; records status, exit code and standard-error tail in
    `status`."""
    movie = Path(movie).resolve()
    name = _movie_name(movie) or movie.stem
    out = Path(out).resolve()
    work, results = out / "work" / name, out / "results" / name
    log = find_movies(movie.parent).get(name, (None, None))[1] if movie.parent.is_dir() else None
    record = {"name": name, "movie": str(movie), "log": log and str(log), "workdir": str(work),
              "results": str(results), "exit_code": None, "stderr_tail": ""}
    shutil.rmtree(results, ignore_errors=True)  # the skeleton file would be appended to
    work.mkdir(parents=True, exist_ok=True)
    try:
        moviedir = _movie_folder(movie, log, work)
        text = fill_template(_read_template(template), str(moviedir) + "/", name,
                             str(out / "results") + "/")
    except (OSError, ValueError) as e:
        record.update(status="failed", stderr_tail=f"not run: {e}")
        _write_json(status, record)
        return record
    (work / "params.txt").write_bytes(text.encode("utf-8", "surrogateescape"))
    with open(work / "stdout.txt", "wb") as so, open(work / "stderr.txt", "wb") as se:
        try:
            # The analyser waits for a key after a fatal error: give it none.
            proc = subprocess.run([dukon], cwd=work, stdin=subprocess.DEVNULL, stdout=so,
                                  stderr=se, timeout=timeout)
            record["exit_code"] = proc.returncode
        except subprocess.TimeoutExpired:
            se.write(f"\n(stopped after {timeout} s)\n".encode())
        except OSError as e:
            se.write(f"cannot run {dukon}: {e}\n".encode())
    record["status"] = _status(record["exit_code"])
    record["stderr_tail"] = _tail(work / "stderr.txt")
    if record["status"] == "partial":
        counts = frames_of(_tail(work / "stderr.txt", lines=50))
        if counts:
            record["analysed_frames"], record["planned_frames"] = counts
    _write_json(status, record)
    return record


def _read_template(path):
    """The template's text; bytes that are not UTF-8 are kept as they are
    (surrogate escapes), a leading byte-order mark is dropped."""
    return Path(path).read_bytes().decode("utf-8", "surrogateescape").removeprefix("\ufeff")


def _analysed(record):
    """Whether the analysis left results to report on (ok or partial)."""
    return record.get("status") in ("ok", "partial")


def report(analysis, status):
    """Builds report.html for an analysed movie; records the outcome."""
    from .report import write_report

    record = json.loads(Path(analysis).read_text(encoding="utf-8"))
    record["report"] = None
    if _analysed(record):
        try:
            record["report"] = str(write_report(record["results"], record["name"]))
        except Exception as e:  # any failure is this movie's, recorded
            record["report_error"] = _failure_text(e)
    _write_json(status, record)
    return record


def _failure_text(e):
    """What a step records for an exception: the message of a read error,
    type and message (and where) of anything else."""
    if isinstance(e, READ_ERRORS):
        return str(e)
    where = traceback.extract_tb(e.__traceback__)[-1:]
    at = f" (at {Path(where[0].filename).name}:{where[0].lineno})" if where else ""
    return f"{type(e).__name__}: {e}{at}"


# Columns of summary.csv: (column, source, key); source "run" reads the
# run summary of wxo.txt, "beh" the behaviour summary of wxs.txt.
FIGURES = [
    ("frames", "run", "real_frames"),
    ("good_percent", "run", "good_percent"),
    ("consistent_percent", "run", "consistent_percent"),
    ("reversal_rate_per_min", "beh", "reversal_rate"),
    ("pause_rate_per_min", "beh", "pause_rate"),
    ("pause_time_percent", "beh", "pause_time_percent"),
    ("omega_rate_per_min", "beh", "omega_rate"),
    ("omega_time_percent", "beh", "omega_time_percent"),
    ("loop_rate_per_min", "beh", "loop_rate"),
    ("loop_time_percent", "beh", "loop_time_percent"),
    ("forward_speed_mm_s", "beh", "forward_speed"),
    ("backward_speed_mm_s", "beh", "backward_speed"),
]
# planned_frames: the frames a partial run planned to analyse, when its
# message says (frames: those it analysed). head_checks: the stretches of
# frames whose head the run's evidence contradicts (rows of checks.csv),
# empty when the run was not checked.
COLUMNS = (["name", "status", "exit_code"] + [c for c, _, _ in FIGURES]
           + ["distance_mm", "start_end_distance_mm", "roam_ratio", "eggs", "report", "error",
              "planned_frames", "head_checks"])


def _figures(record):
    """The summary.csv figures of one analysed movie (NaN where unknown)."""
    from .run import Run

    row = {}
    run = Run(record["results"], record["name"])
    for column, source, key in FIGURES:
        try:
            row[column] = (run.summary if source == "run" else run.behaviour)[key]
        except READ_ERRORS:
            row[column] = math.nan
    try:
        mmpix = float(run.params["mmpix"])
        row["distance_mm"] = run.behaviour["accumulated_distance"] / mmpix
        row["start_end_distance_mm"] = run.behaviour["path_distance"] / mmpix
        row["roam_ratio"] = run.behaviour["roam_ratio"]
    except READ_ERRORS + (ZeroDivisionError,):
        pass
    try:
        row["eggs"] = "" if run.eggs is None else len(run.eggs)
    except READ_ERRORS:
        pass
    try:
        row["head_checks"] = "" if run.checks is None else len(run.checks)
    except READ_ERRORS:
        pass
    return row


def _row(record, out):
    row = {"name": record["name"], "status": record["status"],
           "exit_code": "" if record.get("exit_code") is None else record["exit_code"],
           "planned_frames": record.get("planned_frames", "")}
    if _analysed(record):
        row.update(_figures(record))
        if record.get("report"):
            row["report"] = os.path.relpath(record["report"], out)
        errors = [record.get("stderr_tail", "")] if record["status"] == "partial" else []
        row["error"] = "\n".join(errors + [record.get("report_error", "")]).strip()
    else:
        row["error"] = record.get("stderr_tail", "")
    return row


def _record(path):
    """The status record of one movie's last step, `path`
    (status/NAME.report.json); when that step left none (it was killed, or
    failed outside the analyser), the analysis record, else a failed record
    that says so."""
    path = Path(path)
    name = path.name
    for step in (".report.json", ".analysis.json", ".json"):
        if name.endswith(step):
            name = name[:-len(step)]
            break
    for candidate in (path, path.with_name(f"{name}.analysis.json")):
        try:
            return json.loads(candidate.read_text(encoding="utf-8"))
        except (OSError, ValueError):
            continue
    return {"name": name, "status": "failed", "exit_code": None,
            "stderr_tail": f"the batch step of this movie did not finish (no {path.name}); "
                           "see the Snakemake log (.snakemake/log/)"}


def _cell(value):
    if isinstance(value, float):
        return "" if math.isnan(value) else f"{value:.4g}"
    return value


def collect(statuses, out):
    """Writes OUT/summary.csv and OUT/index.html from the report records."""
    out = Path(out).resolve()
    out.mkdir(parents=True, exist_ok=True)
    records = sorted((_record(s) for s in statuses), key=lambda r: r["name"])
    rows = []
    for r in records:
        try:
            rows.append(_row(r, out))
        except Exception as e:  # one movie's row never stops the summary
            rows.append({"name": r.get("name", "?"), "status": "failed",
                         "exit_code": r.get("exit_code", ""), "error": _failure_text(e)})
    # Names are file names: bytes that are not UTF-8 are written as they are.
    with open(out / "summary.csv", "w", newline="", encoding="utf-8",
              errors="surrogateescape") as f:
        writer = csv.DictWriter(f, fieldnames=COLUMNS, extrasaction="ignore")
        writer.writeheader()
        for row in rows:
            writer.writerow({c: _cell(row.get(c, "")) for c in COLUMNS})
    (out / "index.html").write_text(index_html(rows), encoding="utf-8", errors="replace")
    return rows


def _partial_note(r):
    planned = r.get("planned_frames", "")
    frames = _cell(r.get("frames", ""))
    return f"partial: {frames} of {planned} frames" if planned != "" else "partial"


def index_html(rows):
    shown_rows = [r for r in rows if r["status"] in ("ok", "partial")]
    partial = [r for r in rows if r["status"] == "partial"]
    failed = [r for r in rows if r["status"] not in ("ok", "partial")]
    columns = [("frames", "frames"), ("consistent_percent", "consistent %"),
               ("reversal_rate_per_min", "reversals /min"), ("pause_rate_per_min", "pauses /min"),
               ("forward_speed_mm_s", "forward mm/s"), ("backward_speed_mm_s", "backward mm/s"),
               ("distance_mm", "distance mm"), ("roam_ratio", "roam ratio"), ("eggs", "eggs")]
    shown = [c for c, _ in columns]
    head = "".join(f"<th>{html.escape(h)}</th>" for h in ["movie"] + [h for _, h in columns])
    lines = []
    for r in shown_rows:
        link = (f'<a href="{html.escape(r["report"])}">{html.escape(r["name"])}</a>'
                if r.get("report") else html.escape(r["name"]) + " (no report: "
                + html.escape(r.get("error", "")) + ")")
        if r["status"] == "partial":
            link += f' <b class="partial">({html.escape(_partial_note(r))})</b>'
        cells = "".join(f"<td>{html.escape(str(_cell(r.get(c, ''))))}</td>" for c in shown)
        lines.append(f"<tr><td>{link}</td>{cells}</tr>")

    def listed(group):
        return "".join(
            f"<h3>{html.escape(r['name'])}: exit code "
            f"{html.escape(str(r['exit_code']) or 'none')}</h3>"
            f"<pre>{html.escape(r['error'])}</pre>" for r in group)

    partial_text = f" ({len(partial)} of them partial)" if partial else ""
    return (f"<!DOCTYPE html>\n<html lang='en'><head><meta charset='utf-8'>"
            f"<title>DUKON batch: {len(rows)} movies</title><style>"
            "body{font-family:sans-serif;margin:1.5em}table{border-collapse:collapse}"
            "td,th{border:1px solid #ccc;padding:2px 8px}pre{background:#f6f6f6;padding:6px}"
            ".partial{color:#a60}</style></head><body>\n"
            f"<h1>DUKON batch: {len(rows)} movies</h1>\n"
            f"<p>{len(shown_rows)} analysed{partial_text}, {len(failed)} failed. "
            "Figures per movie: <a href='summary.csv'>summary.csv</a>.</p>\n"
            f"<table><tr>{head}</tr>\n" + "\n".join(lines) + "</table>\n"
            + (f"<h2>Partial runs: not every planned frame analysed</h2>\n{listed(partial)}\n"
               if partial else "")
            + (f"<h2>Failed movies</h2>\n{listed(failed)}\n" if failed else "")
            + "</body></html>\n")


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m dukon_results.batch")
    sub = parser.add_subparsers(dest="step", required=True)
    a = sub.add_parser("analyse", help="run the analyser on one movie")
    a.add_argument("--dukon", required=True)
    a.add_argument("--movie", required=True)
    a.add_argument("--template", required=True)
    a.add_argument("--out", required=True)
    a.add_argument("--status", required=True)
    a.add_argument("--timeout", type=float, default=0, help="seconds, 0 for none")
    r = sub.add_parser("report", help="build one movie's report")
    r.add_argument("--analysis", required=True)
    r.add_argument("--status", required=True)
    c = sub.add_parser("collect", help="write summary.csv and index.html")
    c.add_argument("--out", required=True)
    c.add_argument("statuses", nargs="*")
    args = parser.parse_args(argv)
    try:
        if args.step == "analyse":
            analyse(args.dukon, args.movie, args.template, args.out, args.status,
                    args.timeout or None)
        elif args.step == "report":
            report(args.analysis, args.status)
        else:
            collect(args.statuses, args.out)
    except Exception as e:  # recorded as this movie's failure
        if args.step == "collect":
            raise
        _record_step_failure(args, e)
    return 0


def _record_step_failure(args, e):
    """The status record of a step that failed outside the analyser: the
    movie is listed as failed with what went wrong, and the batch goes on."""
    if args.step == "analyse":
        name = _movie_name(args.movie) or Path(args.movie).stem
        record = {"name": name, "movie": str(args.movie), "exit_code": None}
    else:
        record = _record(args.analysis)
    record.update(status="failed", stderr_tail=f"batch step {args.step} failed: "
                                               f"{_failure_text(e)}")
    _write_json(args.status, record)


if __name__ == "__main__":
    sys.exit(main())
