"""Format edge cases the short runs do not produce, and damaged files.

The small texts below are written in the analyser's output formats; the
damaged files are real outputs with one line broken or the end cut off.
"""

import math
import shutil

import pytest

from dukon_results import (ResultFileError, decode_label, fill_template, load_run, read_eggs,
                           read_wxo, read_wxs)
from dukon_results.checks import CHECK_COLUMNS
from dukon_results.params import read_params_copy
from dukon_results.skel import read_skeletons
from dukon_results.tables import (read_displacements, read_speeds, read_turning_angles,
                                  read_wxd)
from dukon_results.wxo import FEATURES, WXO_HEADER


def test_movement_labels():
    cases = {"fwd": ("forward", False), "bckwd": ("backward", False),
             "reversal": ("backward", True), "fwdreversal": ("forward", True),
             "reversalomega": ("omega", True), "pause": ("pause", False),
             "loop": ("loop", False), "": (None, False)}
    for text, expected in cases.items():
        assert decode_label(text) == expected, text
    for bad in ("fwdx", "forward", "fwdbckwd", " fwd"):
        with pytest.raises(ValueError):
            decode_label(bad)


PAUSES_ONLY_WXS = """\
Movements compressed from 3 elements to 2 elements (reduction of 33.3%)

1-31: pause
31-60: omega (@#n/a) pause

pause rate: 4 per minute (2 total)
% time in pause:  1e+02% (59 frames)
omega rate: 2 per minute (1 total)
% time in omega:  49.2% (29 frames)
loop rate: 0 per minute (0 total)
% time in loop:  0% (0 frames)

% time moving forward:  0%
% time moving backward: 0%
average fwd/bwd speed: n/a
average forward speed (excl. omega):  n/a
average backward speed (excl. omega): n/a
reversals rate: 0 per minute (0 total)

distance from start point to end point: 1.41
accumulated distance (sum of non-pause move segments): 0
roam ratio (0-1): n/a
"""


def test_behaviour_report_of_a_worm_that_only_pauses(tmp_path):
    path = tmp_path / "w-wxs.txt"
    path.write_text(PAUSES_ONLY_WXS)
    rep = read_wxs(path)
    seg = rep.segments
    assert list(seg["movement"]) == ["pause", "omega"]
    assert seg["pause"].all() and seg["distance"].isna().all()
    assert seg["omega"].tolist() == [False, True] and math.isnan(seg["omega_frame"][1])
    b = rep.summary
    assert b["pause_time_percent"] == 100 and b["pause_frames"] == 59
    for key in ("speed", "forward_speed", "backward_speed", "roam_ratio",
                "forward_movement_percent", "backward_distance_percent"):
        assert math.isnan(b[key]), key
    assert b["path_distance"] == 1.41


def test_segment_lines_with_every_part(tmp_path):
    text = PAUSES_ONLY_WXS.replace(
        "1-31: pause\n31-60: omega (@#n/a) pause\n",
        "1-31: reversal backward omega (@#12) distance of 1.23e+03 at angle 95.5 at speed "
        "0.2\n31-40: loop\n40-60: forward distance of 12 at angle 0 at speed nan\n")
    path = tmp_path / "w-wxs.txt"
    path.write_text(text)
    seg = read_wxs(path).segments
    first = seg.iloc[0]
    assert (first["movement"], first["direction"], first["reversal"], first["omega_frame"],
            first["distance"], first["angle"]) == ("omega", -1, True, 12, 1230, 95.5)
    assert seg["loop"].tolist() == [False, True, False]
    assert seg.iloc[2]["direction"] == 1 and math.isnan(seg.iloc[2]["speed"])
    assert seg["frames"].tolist() == [30, 9, 20]


def _wxo_text(summary_lines, rows):
    blocks = "".join(f"\n\n{name}:" for name in FEATURES)
    return "\n".join(summary_lines) + "\n\n" + WXO_HEADER + "".join(
        "\n" + r for r in rows) + blocks + "\n"


def test_run_summary_of_a_run_that_stopped_early(tmp_path):
    path = tmp_path / "w-wxo.txt"
    path.write_text(_wxo_text(
        ["Total frames (key+drop) in movie: 12", "Real frames (key) extracted: 10",
         "Exited at frame index 11", "Good frames (with skeleton) analyzed: 0 (0%)",
         "Consistent frames (skeleton is good and no loop): 0 (n/a%)",
         "Ignored 1 frames as directed"],
        ["#3 0 ( -1 -1 )( -1 -1 )( -1 -1 ),,|,,|,,|,loop", "#4 ,,|,,|,,|,IGNORED",
         "#5 1 (1 2)(3 4)(5 6) 30,2|1.5,2,0.05|20,-3,4|nan,0.9,nan|0.12,fwdreversal"]))
    wxo = read_wxo(path)
    s = wxo.summary
    assert (s["total_frames"], s["exited_at_frame"], s["ignored_frames"]) == (12, 11, 1)
    assert s["good_percent"] == 0 and math.isnan(s["consistent_percent"])
    f = wxo.frames
    assert f["loop"].tolist() == [True, False, False]
    assert f["ignored"].tolist() == [False, True, False]
    last = f.iloc[2]
    assert (last["head_x"], last["tail_y"], last["numsklpts"], last["maxampR"],
            last["maxangL"], last["straightfs"], last["disp"]) == (1, 6, 30, 2, -3, 0.9, 0.12)
    assert math.isnan(last["Nwavelen"]) and last["reversal"] and last["movement"] == "forward"
    assert len(wxo.features) == 0  # no consistent frame: every block is empty


def test_egg_table_without_eggs(tmp_path):
    path = tmp_path / "w-eggs.txt"
    path.write_text("# eggs - eggs found in the movie\n# no eggs clusters found. \n")
    assert len(read_eggs(path)) == 0
    path.write_text("# eggs - eggs found in the movie\n")
    with pytest.raises(ResultFileError, match="truncated"):
        read_eggs(path)


def test_template_gets_the_movie_keys(tmp_path):
    template = ("# my lab's settings\nmmpix = 300\nMovieDir = /old/place\n"
                "  moviename = x\noutdir=/o\n#outdir = /commented\neggs = 1\n")
    text = fill_template(template, "/data/movies/", "w7", "/data/out/")
    lines = text.splitlines()
    assert lines[-3:] == ["moviedir = /data/movies/", "moviename = w7", "outdir = /data/out/"]
    assert "mmpix = 300" in lines and "eggs = 1" in lines and "#outdir = /commented" in lines
    assert "# replaced for this movie: MovieDir = /old/place" in lines
    assert "# replaced for this movie:   moviename = x" in lines
    assert "outdir=/o" in lines  # the analyser cannot parse it, so it sets nothing
    assert fill_template(template, "/my movies/", "w 7", "/o/").splitlines()[-3:-1] == [
        "moviedir = /my movies/", "moviename = w 7"]
    for bad in ("", " /lead/", "/trail/ ", "/line\nbreak/", "x" * 259):
        with pytest.raises(ValueError):
            fill_template(template, bad, "w7", "/o/")


READERS = {
    "wxo.txt": read_wxo, "wxd.txt": read_wxd, "spd.txt": read_speeds,
    "dsp.txt": read_displacements, "ang.txt": read_turning_angles, "wxs.txt": read_wxs,
    "eggs.txt": read_eggs, "skel.csv": read_skeletons, "params.txt": read_params_copy,
}


@pytest.fixture(params=sorted(READERS))
def real_file(request, eggs_run, tmp_path):
    """A copy of one real output file of the eggs run, and its reader."""
    suffix = request.param
    src = load_run(eggs_run).path(suffix)
    copy = tmp_path / src.name
    copy.write_bytes(src.read_bytes())
    return copy, READERS[suffix]


def test_real_files_read_and_a_broken_line_is_named(real_file):
    path, reader = real_file
    reader(path)  # the intact file reads
    lines = path.read_text().split("\n")
    k = len(lines) // 2 if len(lines) > 4 else 2
    lines[k] = "12 garbage, 1.5|x"
    path.write_text("\n".join(lines))
    with pytest.raises(ResultFileError) as err:
        reader(path)
    assert err.value.path == str(path) and err.value.line == k + 1
    assert str(err.value).startswith(f"{path}:{k + 1}: ")


def test_cut_off_file_is_refused(real_file):
    path, reader = real_file
    text = path.read_text()
    middle = text.index("\n", len(text) // 2) + 1  # cut a few characters into a line
    path.write_text(text[:middle + 4])
    with pytest.raises(ResultFileError) as err:
        reader(path)
    assert err.value.path == str(path) and err.value.line is not None


def test_missing_files(tmp_path, eggs_run):
    with pytest.raises(FileNotFoundError):
        read_wxd(tmp_path / "none-wxd.txt")
    with pytest.raises(FileNotFoundError):
        load_run(tmp_path)  # no run in it
    empty = tmp_path / "w-wxo.txt"
    empty.write_text("")  # what a run that stopped at once leaves
    with pytest.raises(ResultFileError, match=":1: "):
        read_wxo(empty)


CHECK_HEADER = ",".join(CHECK_COLUMNS) + "\n"


def test_check_file_checked_found_and_not_checked(eggs_run, tmp_path):
    # A good run was checked and nothing was found: the header alone.
    assert load_run(eggs_run).path("checks.csv").read_text() == CHECK_HEADER
    assert load_run(eggs_run).checks.empty
    folder = tmp_path / "eggs"
    shutil.copytree(eggs_run, folder)
    path = folder / "eggs-checks.csv"
    path.write_text(CHECK_HEADER + "head,391,843,453,30.20,0.02,-1.31,-0.30,0.00,-1.59\n")
    checks = load_run(folder).checks
    assert checks.to_dict("records") == [
        {"check": "head", "first_frame": 391, "last_frame": 843, "frames": 453, "seconds": 30.2,
         "brightness": 0.02, "head_swing": -1.31, "body_wave": -0.3, "travel": 0.0,
         "evidence": -1.59}]
    assert checks["frames"].dtype == "int64" and checks.attrs["units"]["seconds"] == "s"
    path.write_text(CHECK_HEADER + "head,391,843,many,30.20,0.02,-1.31,-0.30,0.00,-1.59\n")
    with pytest.raises(ResultFileError, match=r"eggs-checks\.csv:2: frames: expected an integer"):
        load_run(folder).checks
    path.unlink()
    assert load_run(folder).checks is None  # made before the checks existed


def test_parameters_copy_with_the_word_keys(eggs_run, tmp_path):
    # headmode and polarity are listed after eggs when they are not at their default.
    copy = tmp_path / "eggs-params.txt"
    copy.write_text(load_run(eggs_run).path("params.txt").read_text()
                    + "headmode    = combined\npolarity    = bright\n")
    params = read_params_copy(copy)
    assert (params["headmode"], params["polarity"], params["eggs"]) == ("combined", "bright", 1)
