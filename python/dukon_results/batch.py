"""The steps of a batch run over many movies, as the workflow calls them.

    python3 -m dukon_results.batch analyse --dukon BIN --movie DIR/NAME.avi \
        --template T --out OUT --status OUT/status/NAME.analysis.json
    python3 -m dukon_results.batch report --analysis S --status OUT/status/NAME.report.json
    python3 -m dukon_results.batch collect --out OUT S1.report.json S2.report.json ...

Layout under OUT: work/NAME/ (params.txt, stdout.txt, stderr.txt of the run),
results/NAME/ (the run's output folder with report.html), status/ (one JSON
record per step and movie), summary.csv and index.html. Every step records
its outcome and exits 0, so that one movie's failure stops no other.
"""

import argparse
import csv
import html
import json
import math
import os
import shutil
import subprocess
import sys
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
    try:
        text = Path(path).read_text(encoding="utf-8", errors="replace")
    except OSError:
        return ""
    return "\n".join(text.rstrip("\n").split("\n")[-lines:])


def analyse(dukon, movie, template, out, status, timeout=None):
    """Runs the analyser on one movie in OUT/work/NAME with its own
    params.txt; records exit code and standard-error tail in `status`."""
    movie = Path(movie).resolve()
    name = movie.name[:-len(".avi")] if movie.name.endswith(".avi") else movie.stem
    out = Path(out).resolve()
    work, results = out / "work" / name, out / "results" / name
    record = {"name": name, "movie": str(movie), "workdir": str(work),
              "results": str(results), "exit_code": None, "stderr_tail": ""}
    shutil.rmtree(results, ignore_errors=True)  # the skeleton file would be appended to
    work.mkdir(parents=True, exist_ok=True)
    try:
        text = fill_template(Path(template).read_text(encoding="latin-1"),
                             str(movie.parent) + "/", name, str(out / "results") + "/")
    except (OSError, ValueError) as e:
        record.update(status="failed", stderr_tail=f"not run: {e}")
        _write_json(status, record)
        return record
    (work / "params.txt").write_text(text, encoding="latin-1")
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
    record["status"] = "ok" if record["exit_code"] == 0 else "failed"
    record["stderr_tail"] = _tail(work / "stderr.txt")
    _write_json(status, record)
    return record


def report(analysis, status):
    """Builds report.html for an analysed movie; records the outcome."""
    from .report import write_report

    record = json.loads(Path(analysis).read_text(encoding="utf-8"))
    record["report"] = None
    if record["status"] == "ok":
        try:
            record["report"] = str(write_report(record["results"], record["name"]))
        except READ_ERRORS as e:
            record["report_error"] = str(e)
    _write_json(status, record)
    return record


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
COLUMNS = (["name", "status", "exit_code"] + [c for c, _, _ in FIGURES]
           + ["distance_mm", "start_end_distance_mm", "roam_ratio", "eggs", "report", "error"])


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
    return row


def _row(record, out):
    row = {"name": record["name"], "status": record["status"],
           "exit_code": "" if record.get("exit_code") is None else record["exit_code"]}
    if record["status"] == "ok":
        row.update(_figures(record))
        if record.get("report"):
            row["report"] = os.path.relpath(record["report"], out)
        row["error"] = record.get("report_error", "")
    else:
        row["error"] = record.get("stderr_tail", "")
    return row


def _cell(value):
    if isinstance(value, float):
        return "" if math.isnan(value) else f"{value:.4g}"
    return value


def collect(statuses, out):
    """Writes OUT/summary.csv and OUT/index.html from the report records."""
    out = Path(out).resolve()
    out.mkdir(parents=True, exist_ok=True)
    records = sorted((json.loads(Path(s).read_text(encoding="utf-8")) for s in statuses),
                     key=lambda r: r["name"])
    rows = [_row(r, out) for r in records]
    with open(out / "summary.csv", "w", newline="", encoding="utf-8") as f:
        writer = csv.DictWriter(f, fieldnames=COLUMNS, extrasaction="ignore")
        writer.writeheader()
        for row in rows:
            writer.writerow({c: _cell(row.get(c, "")) for c in COLUMNS})
    (out / "index.html").write_text(index_html(rows), encoding="utf-8")
    return rows


def index_html(rows):
    ok = [r for r in rows if r["status"] == "ok"]
    failed = [r for r in rows if r["status"] != "ok"]
    columns = [("frames", "frames"), ("consistent_percent", "consistent %"),
               ("reversal_rate_per_min", "reversals /min"), ("pause_rate_per_min", "pauses /min"),
               ("forward_speed_mm_s", "forward mm/s"), ("backward_speed_mm_s", "backward mm/s"),
               ("distance_mm", "distance mm"), ("roam_ratio", "roam ratio"), ("eggs", "eggs")]
    shown = [c for c, _ in columns]
    head = "".join(f"<th>{html.escape(h)}</th>" for h in ["movie"] + [h for _, h in columns])
    lines = []
    for r in ok:
        link = (f'<a href="{html.escape(r["report"])}">{html.escape(r["name"])}</a>'
                if r.get("report") else html.escape(r["name"]) + " (no report: "
                + html.escape(r.get("error", "")) + ")")
        cells = "".join(f"<td>{html.escape(str(_cell(r.get(c, ''))))}</td>" for c in shown)
        lines.append(f"<tr><td>{link}</td>{cells}</tr>")
    fails = "".join(
        f"<h3>{html.escape(r['name'])}: exit code {html.escape(str(r['exit_code']) or 'none')}"
        f"</h3><pre>{html.escape(r['error'])}</pre>" for r in failed)
    return (f"<!DOCTYPE html>\n<html lang='en'><head><meta charset='utf-8'>"
            f"<title>DUKON batch: {len(rows)} movies</title><style>"
            "body{font-family:sans-serif;margin:1.5em}table{border-collapse:collapse}"
            "td,th{border:1px solid #ccc;padding:2px 8px}pre{background:#f6f6f6;padding:6px}"
            "</style></head><body>\n"
            f"<h1>DUKON batch: {len(rows)} movies</h1>\n"
            f"<p>{len(ok)} analysed, {len(failed)} failed. Figures per movie: "
            "<a href='summary.csv'>summary.csv</a>.</p>\n"
            f"<table><tr>{head}</tr>\n" + "\n".join(lines) + "</table>\n"
            + (f"<h2>Failed movies</h2>\n{fails}\n" if failed else "")
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
    if args.step == "analyse":
        analyse(args.dukon, args.movie, args.template, args.out, args.status,
                args.timeout or None)
    elif args.step == "report":
        report(args.analysis, args.status)
    else:
        collect(args.statuses, args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
