"""dukon-wcon: the WCON file follows the format's rules and gives back the
skeletons of skel.csv; damaged runs fail with a message and leave no file."""

import json
import re
import shutil
import subprocess
import zipfile

import numpy as np
import pytest

from conftest import PYTHON_DIR
from dukon_results import load_run
from dukon_results import skel
from dukon_results.centreline import iter_centrelines
from dukon_results.skel import read_skeletons
from dukon_results.tables import read_wxd

WCON = PYTHON_DIR / "dukon-wcon"
MM_ROUNDING = 0.5e-4  # positions are written to 4 decimals of a millimetre

# ---- the format's rules, as a checker ----------------------------------

_PREFIX = "(?:da|[YZEPTGMkhdcmunpfazy]|\u00b5)?"
_UNIT_WORD = re.compile(rf"^(?:{_PREFIX}[sm]|min|h|d|inch|micron|degrees|radians|%|1|"
                        r"[0-9.]+(?:e-?[0-9]+)?)$")
_SPATIAL = ("x", "y", "cx", "cy", "ox", "oy", "px", "py")


def _valid_unit(text):
    return text == "" or all(_UNIT_WORD.match(w) for w in re.split(r"[*/^]", text))


def _has_number(value):
    if isinstance(value, list):
        return any(_has_number(v) for v in value)
    return isinstance(value, (int, float)) and not isinstance(value, bool)


def _record_problems(r, units):
    problems = []
    if not isinstance(r.get("id"), str):
        problems.append("record without a string id")
    t = r.get("t")
    if not isinstance(t, list) or not all(_has_number(v) for v in t):
        return problems + ["t is not an array of numbers"]
    if any(b <= a for a, b in zip(t, t[1:])):
        problems.append("t does not increase")
    for key in ("x", "y"):
        if key not in r:
            problems.append(f"record without {key}")
    if ("cx" in r) != ("cy" in r):
        problems.append("cx and cy not given together")
    for key in [k for k in _SPATIAL if k in r]:
        if not isinstance(r[key], list) or len(r[key]) != len(t):
            problems.append(f"{key} is not as long as t")
    for i, (x, y) in enumerate(zip(r.get("x", []), r.get("y", []))):
        if isinstance(x, list) != isinstance(y, list) or (
                isinstance(x, list) and len(x) != len(y)):
            problems.append(f"x and y differ in shape at time point {i}")
            break
    head = r.get("head", "L")
    if not (head in ("L", "R", "?") or (isinstance(head, list) and len(head) == len(t)
                                        and set(head) <= {"L", "R", "?"})):
        problems.append("head is not L, R or ? (per record or per time point)")
    for key, value in r.items():
        if key.startswith("@"):
            members = value.items() if isinstance(value, dict) else [(key, value)]
            for name, array in members:
                if not isinstance(array, list) or len(array) != len(t):
                    problems.append(f"{key}/{name} is not an array as long as t")
                elif _has_number(array) and name not in units:
                    problems.append(f"{key}/{name} has no unit")
        elif key not in ("id", "head", "ventral") and _has_number(value) and key not in units:
            problems.append(f"{key} has no unit")
    return problems


def wcon_problems(doc):
    """What breaks the WCON rules in the parsed document `doc` (empty list
    when none): required keys, units of every numeric field, per-time arrays
    as long as t, points of x and y alike, head codes, custom keys."""
    if not isinstance(doc, dict):
        return ["top level is not an object"]
    problems = [f"no {k}" for k in ("units", "data") if k not in doc]
    problems += [f"unknown top-level key {k}" for k in doc
                 if k not in ("units", "data", "metadata", "files") and not k.startswith("@")]
    units = doc.get("units", {})
    problems += [f"no unit for {k}" for k in ("t", "x", "y") if k not in units]
    problems += [f"bad unit {k}: {v!r}" for k, v in units.items()
                 if not isinstance(v, str) or not _valid_unit(v)]
    data = doc.get("data", [])
    for record in data if isinstance(data, list) else [data]:
        problems += _record_problems(record, units)
    return problems


def _no_constant(name):
    raise ValueError(f"{name} is not JSON")


def parse_strict(text):
    """JSON as the format wants it: NaN and Infinity tokens refused."""
    return json.loads(text, parse_constant=_no_constant)


# ---- the export -------------------------------------------------------

def export(folder, *args):
    return subprocess.run([str(WCON), str(folder), *args], capture_output=True, text=True,
                          stdin=subprocess.DEVNULL, timeout=120)


@pytest.fixture(scope="module")
def exported(coil_run, eggs_run, tmp_path_factory):
    """The WCON text of each short run, by movie name."""
    base, texts = tmp_path_factory.mktemp("wcon"), {}
    for run in (coil_run, eggs_run):
        target = base / f"{run.name}.wcon"
        proc = export(run, "-o", target)
        assert proc.returncode == 0, proc.stderr
        assert proc.stdout.strip() == str(target)
        texts[run.name] = target.read_text(encoding="utf-8")
    return texts


def test_files_follow_the_format_and_the_checker_sees_faults(exported):
    for name, text in exported.items():
        doc = parse_strict(text)
        assert wcon_problems(doc) == [], name
        assert doc["data"][0]["id"] == name and doc["metadata"]["software"]["name"] == "DUKON"
        assert re.match(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d$", doc["metadata"]["timestamp"])
    doc = parse_strict(exported["coil"])
    record = doc["data"][0]
    broken = [lambda d: d.pop("units"), lambda d: d["units"].pop("t"),
              lambda d: d["units"].update(x="millimetres"), lambda d: d["units"].pop("frame"),
              lambda d: d["data"][0]["t"].reverse(), lambda d: d["data"][0].pop("cy"),
              lambda d: d["data"][0]["x"].pop(), lambda d: d["data"][0]["head"].pop(),
              lambda d: d["data"][0]["@DUKON"]["movement"].append(None),
              lambda d: d.update(extra=1)]
    i = next(i for i, x in enumerate(record["x"]) if x)
    broken.append(lambda d: d["data"][0]["y"][i].pop())
    for n, breaks in enumerate(broken):
        copy = json.loads(json.dumps(doc))
        breaks(copy)
        assert wcon_problems(copy), f"fault {n} not seen"
    with pytest.raises(ValueError):
        parse_strict(exported["coil"].replace('"t":[0,', '"t":[NaN,', 1))


@pytest.mark.parametrize("name", ["coil", "eggs"])
def test_points_are_the_centrelines(exported, coil_run, eggs_run, name):
    run = load_run(coil_run if name == "coil" else eggs_run)
    frames, mmpix = read_wxd(run.path("wxd.txt")), run.params["mmpix"]
    centrelines = {c.frame: c for c in iter_centrelines(run.path("centreline.csv"))}
    record = parse_strict(exported[name])["data"][0]
    custom = record["@DUKON"]
    assert custom["frame"] == frames["frame"].tolist()
    assert np.allclose(record["t"], (frames["frame"] - frames["frame"][0]) / run.fps,
                       atol=1e-5)
    assert custom["movement"] == [None if m != m else m for m in frames["movement"]]
    assert custom["consistent"] == frames["ok"].tolist()
    sources = [centrelines[f].source if f in centrelines else None for f in frames["frame"]]
    assert custom["centreline"] == sources
    for i, row in frames.iterrows():
        x, y = np.array(record["x"][i], float), np.array(record["y"][i], float)
        c = centrelines.get(row["frame"])
        if c is None or not c.xs:
            assert len(x) == len(y) == 0 and record["head"][i] == "?", row["frame"]
            continue
        assert np.abs(x - np.array(c.xs) / mmpix).max() <= MM_ROUNDING + 1e-9
        assert np.abs(y - np.array(c.ys) / mmpix).max() <= MM_ROUNDING + 1e-9
        assert record["head"][i] == "L"
        assert not row["ok"] or abs(record["cx"][i] - (row["cmass_x"] - 1) / mmpix) <= MM_ROUNDING
    # A consistent frame's centreline is its chain: it starts at the table's head.
    ok = frames[frames["ok"]]
    assert all(abs(record["x"][i][0] - ok.at[i, "head_x"] / mmpix) <= MM_ROUNDING
               for i in ok.index)
    assert sources.count("chain") == len(ok) > 50
    if name == "coil":
        assert sources.count("fitted") > 10  # the loop frames
    else:  # ignored frames stay in time, without points or class
        ignored = frames.index[frames["ignored"]]
        assert [custom["movement"][i] for i in ignored] == [None] * 3
        assert all(record["x"][i] == [] for i in ignored)
        assert all(custom["centreline"][i] is None for i in ignored)


def test_a_run_without_centrelines_exports_its_consistent_chains(coil_run, tmp_path):
    folder = tmp_path / "coil"
    shutil.copytree(coil_run, folder)
    (folder / "coil-centreline.csv").unlink()
    run = load_run(folder)
    frames, mmpix = read_wxd(run.path("wxd.txt")), run.params["mmpix"]
    chains = {f: c for f, c in run.skeletons.groupby("frame")}
    proc = export(folder)
    assert proc.returncode == 0, proc.stderr
    record = parse_strict((folder / "coil.wcon").read_text())["data"][0]
    with_points = 0
    for i, row in frames.iterrows():
        x, y = np.array(record["x"][i], float), np.array(record["y"][i], float)
        if not row["ok"] or row["frame"] not in chains:
            assert len(x) == len(y) == 0 and record["head"][i] == "?", row["frame"]
            assert record["@DUKON"]["centreline"][i] is None
            continue
        with_points += 1
        chain = chains[row["frame"]]
        # World = the chain moved so that its first point is the table's head.
        dx, dy = row["head_x"] - chain["x"].iloc[0], row["head_y"] - chain["y"].iloc[0]
        assert np.abs(x - (chain["x"] + dx) / mmpix).max() <= MM_ROUNDING
        assert np.abs(y - (chain["y"] + dy) / mmpix).max() <= MM_ROUNDING
        assert abs(x[-1] - row["tail_x"] / mmpix) <= MM_ROUNDING and record["head"][i] == "L"
        assert record["@DUKON"]["centreline"][i] == "chain"
    assert with_points == frames["ok"].sum() > 50


def test_eigenworms_exported_when_the_frames_have_them(exported, coil_run):
    frames = load_run(coil_run).frames
    custom = parse_strict(exported["coil"])["data"][0]["@DUKON"]
    names = [c for c in frames.columns if c.startswith("eigen")]
    assert [k for k in custom if k.startswith("eigen")] == names
    for name in names:
        values = np.array([np.nan if v is None else v for v in custom[name]], float)
        assert np.allclose(values, frames[name], atol=0.5e-4, equal_nan=True), name


def test_zip_holds_the_one_wcon(exported, coil_run, tmp_path):
    target = tmp_path / "c.wcon.zip"
    proc = export(coil_run, "--zip", "-o", target)
    assert proc.returncode == 0, proc.stderr
    with zipfile.ZipFile(target) as archive:
        assert archive.namelist() == ["coil.wcon"]
        assert parse_strict(archive.read("coil.wcon")) == parse_strict(exported["coil"])


def test_only_the_latest_run_of_skel_csv_is_exported(exported, coil_run, tmp_path):
    folder = tmp_path / "coil"
    shutil.copytree(coil_run, folder)
    skel = folder / "coil-skel.csv"
    latest = skel.read_text()
    earlier = re.sub(r"^(\d+),", lambda m: f"{2 * int(m.group(1))},", latest, flags=re.M)
    skel.write_text(earlier + latest)  # what a second run of the same movie leaves
    assert export(folder).returncode == 0
    again = parse_strict((folder / "coil.wcon").read_text())["data"][0]
    assert again["x"] == parse_strict(exported["coil"])["data"][0]["x"]


def test_chains_stream_across_read_pieces(coil_run, tmp_path, monkeypatch):
    from dukon_results import wcon

    path = load_run(coil_run).path("skel.csv")
    expected = list(read_skeletons(path)[["frame", "x", "y"]].itertuples(index=False, name=None))
    crlf = tmp_path / "crlf-skel.csv"
    crlf.write_bytes(path.read_bytes().replace(b"\n", b"\r\n"))
    for size in (7, 1000, 1 << 22):  # pieces shorter than a line, than a chain, the default
        monkeypatch.setattr(skel, "_CHUNK", size)
        for source in (path, crlf):
            points = [(f, x, y) for f, xs, ys in skel.iter_chains(source) for x, y in zip(xs, ys)]
            assert points == expected, (size, source.name)


def _cut_last_line_end(folder):
    (folder / "coil-centreline.csv").unlink()  # a run of before: skel.csv is read
    path = folder / "coil-skel.csv"
    path.write_bytes(path.read_bytes()[:-1])


def _bad_point(folder):
    (folder / "coil-centreline.csv").unlink()
    path = folder / "coil-skel.csv"
    lines = path.read_text().split("\n")
    lines[5] = "12;40"
    path.write_text("\n".join(lines))


def _bad_centreline(folder):
    path = folder / "coil-centreline.csv"
    lines = path.read_text().split("\n")
    lines[4] = lines[4].replace(",", ";", 5)
    path.write_text("\n".join(lines))


@pytest.mark.parametrize("damage,message", [
    (_cut_last_line_end, r"coil-skel\.csv:\d+: last line has no line end"),
    (_bad_point, r"coil-skel\.csv:6: expected 'Frame number: N' or 'x,y', found '12;40'"),
    (_bad_centreline, r"coil-centreline\.csv:5: expected 103 columns"),
    (lambda f: (f / "coil-wxd.txt").unlink(), r"coil-wxd\.txt"),
    (lambda f: (f / "coil-params.txt").write_text("# DUKON version: 1\n"),
     r"coil-params\.txt:\d+: run header incomplete"),
])
def test_damaged_run_gives_a_message_and_no_file(coil_run, tmp_path, damage, message):
    folder = tmp_path / "coil"
    shutil.copytree(coil_run, folder)
    damage(folder)
    proc = export(folder)
    assert proc.returncode == 1 and "Traceback" not in proc.stderr
    assert re.search(message, proc.stderr), proc.stderr
    assert not list(folder.glob("*wcon*")) and not list(folder.glob(".*"))


@pytest.mark.parametrize("args,status,message", [
    (["/nonexistent/run"], 1, "no such folder"),
    ([], 2, "usage"),
])
def test_command_errors(args, status, message):
    proc = subprocess.run([str(WCON), *args], capture_output=True, text=True,
                          stdin=subprocess.DEVNULL, timeout=60)
    assert proc.returncode == status and message in proc.stderr
