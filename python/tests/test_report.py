"""dukon-report: the page in a real browser, and a page from a damaged run."""

import io
import re
import shutil
import subprocess

import pytest
from PIL import Image

from conftest import PYTHON_DIR
from headless_browser import HeadlessChromium, find_chromium

REPORT = PYTHON_DIR / "dukon-report"

PAGE_FACTS = """(() => ({
  title: document.title,
  images: Array.from(document.images).map(i => ({alt: i.alt, complete: i.complete,
                                                 width: i.naturalWidth})),
  sections: Array.from(document.querySelectorAll("h2")).map(h => h.textContent),
  text: document.body.innerText,
  glossary: Array.from(document.querySelectorAll("a.feature")).map(
      a => [a.textContent, !!document.getElementById(a.getAttribute("href").slice(1))]),
}))()"""


def make_report(folder):
    proc = subprocess.run([str(REPORT), str(folder)], capture_output=True, text=True,
                          stdin=subprocess.DEVNULL, timeout=120)
    assert proc.returncode == 0, proc.stderr
    path = proc.stdout.strip()
    assert path == str(folder / "report.html")
    return folder / "report.html"


def test_report_in_headless_chromium(eggs_run):
    from dukon_results import load_run

    run = load_run(eggs_run)
    page = make_report(eggs_run)
    assert find_chromium(), "chromium is not installed"
    with HeadlessChromium() as browser:
        browser.open(page.as_uri(), height=1400)
        facts = browser.evaluate(PAGE_FACTS)
        shot = Image.open(io.BytesIO(browser.screenshot())).convert("RGB")
    assert facts["title"] == "DUKON report: eggs"
    alts = [i["alt"] for i in facts["images"]]
    assert len(alts) == 8 and "Track" in alts
    assert any(a.startswith("Body wave (eggs-wave.bmp)") for a in alts)
    for image in facts["images"]:
        assert image["complete"] and image["width"] > 0, image
    assert facts["sections"] == ["Run summary", "Track and body wave", "Behaviour over time",
                                 "Behaviour summary", "Body features per movement class",
                                 "Centrelines", "Posture (eigenworms)", "Path and eggs",
                                 "Glossary"]
    # Feature names lead to their glossary entries on the page itself.
    linked = dict(facts["glossary"])
    assert len(linked) >= 20 and all(linked.values()), linked
    assert "roam ratio (0-1)" in linked and "length (len)" in linked
    # The egg table lists every egg with the frame it was laid in, in mm.
    for frame in run.eggs["frame"]:
        assert re.search(rf"\n{frame}\t", facts["text"]), frame
    assert "x (mm)\ty (mm)\tradius (µm)" in facts["text"]
    assert "px" not in facts["text"].split("Glossary")[0]
    # Not blank: many colours, none covering nearly the whole screen.
    assert shot.size == (1280, 1400)
    colours = shot.getcolors(maxcolors=1 << 24)
    assert len(colours) > 50
    assert max(count for count, _ in colours) < 0.95 * shot.size[0] * shot.size[1]


def test_report_of_a_run_with_missing_files(coil_run, tmp_path):
    folder = tmp_path / "coil"
    shutil.copytree(coil_run, folder)
    (folder / "coil-wave.bmp").unlink()
    (folder / "coil-spd.txt").write_text("# spd-frm is speed relative to previous frame\n")
    (folder / "coil-centreline.csv").unlink()  # a run of before centrelines
    text = make_report(folder).read_text()
    assert "<title>DUKON report: coil</title>" in text
    assert text.count("<img ") == 5  # track, ethogram, features, posture, path
    assert "coil-centreline.csv is missing" in text
    assert re.search(r"Body wave image not available: .*coil-wave\.bmp", text)
    assert re.search(r"Speed of the mid point \(spd\.txt\) and of the centre of mass: "
                     r"not available \(.*coil-spd\.txt:1: ", text)
    assert "Egg detection was off for this run." in text


@pytest.mark.parametrize("args,status,message", [
    (["/nonexistent/run"], 1, "no such folder"),
    ([], 2, "usage"),
])
def test_report_command_errors(args, status, message):
    proc = subprocess.run([str(REPORT), *args], capture_output=True, text=True,
                          stdin=subprocess.DEVNULL, timeout=60)
    assert proc.returncode == status
    assert message in proc.stderr


def test_report_shows_the_checks_at_the_top(coil_run, tmp_path):
    folder = tmp_path / "coil"
    shutil.copytree(coil_run, folder)
    checks = folder / "coil-checks.csv"
    header = checks.read_text()
    text = make_report(folder).read_text()
    assert "Checks: head and tail agree with all the evidence of every run." in text
    checks.write_text(header + "head,12,120,100,3.60,0.65,-1.17,-0.39,-0.25,-1.16\n")
    text = make_report(folder).read_text()
    top = text.index("Checks: head and tail may be swapped")
    assert top < text.index("<h2>Run summary</h2>")
    assert "frames 12-120 (100 consistent frames, 3.60 s): evidence -1.16 against" in text
    assert "headmode = combined" in text
    checks.unlink()
    assert "Not checked: no coil-checks.csv" in make_report(folder).read_text()
