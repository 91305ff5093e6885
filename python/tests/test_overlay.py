"""dukon-overlay on an analysed synthetic movie: the annotated movie loads and
plays in headless Chromium, on its own and inside the run's report."""

import os
import shutil
import subprocess

import pytest

from conftest import PYTHON_DIR
from headless_browser import HeadlessChromium, find_chromium

REPORT = PYTHON_DIR / "dukon-report"

# Plays the page's video at four times its speed and resolves with what the
# element reports once it has ended (or failed, or after 30 s).
PLAY = """new Promise(resolve => {
  const v = document.querySelector("video");
  const events = [];
  const facts = () => ({ready: v.readyState, width: v.videoWidth, height: v.videoHeight,
                        duration: v.duration, time: v.currentTime, ended: v.ended,
                        error: v.error && v.error.code, source: v.currentSrc.startsWith("data:") ? v.currentSrc.slice(0, 40) : v.currentSrc,
                        events: events});
  const startReady = v.readyState;
  for (const name of ["playing", "timeupdate", "ended", "error"]) {
    v.addEventListener(name, () => {
      if (events[events.length - 1] !== name) events.push(name);
      if (name === "ended") resolve(facts());
    });
  }
  v.querySelector("source").addEventListener("error", () => resolve(facts()));
  v.playbackRate = 4;
  v.play().catch(e => { events.push("play failed: " + e.message); resolve(facts()); });
  setTimeout(() => resolve(facts()), 30000);
})"""

PAGE = "<!DOCTYPE html><html><body><video muted><source src='{}' type='video/mp4'></video>"

# dukon-overlay's output for the eggs run at the options below: 240 frames,
# every third one, 10 frames per second.
FRAMES, FPS, WIDTH = 80, 10.0, 320


@pytest.fixture(scope="session")
def overlay_exe(binaries):
    exe = binaries[0].parent / "tools" / "overlay" / "dukon-overlay"
    if not os.access(exe, os.X_OK):
        pytest.fail(f"not built: {exe} (set DUKON_BUILD_DIR)")
    return exe


@pytest.fixture(scope="session")
def overlay_run(eggs_run, overlay_exe, tmp_path_factory):
    """A copy of the eggs run (frames 30-32 ignored) with its annotated movie
    at half size, every third frame."""
    folder = tmp_path_factory.mktemp("overlay") / "eggs"
    shutil.copytree(eggs_run, folder)
    proc = subprocess.run([str(overlay_exe), str(folder), "--scale", "0.5", "--step", "3"],
                          capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=300)
    assert proc.returncode == 0, proc.stderr
    movie = folder / "eggs-overlay.mp4"
    assert proc.stdout == f"wrote {FRAMES} frames ({WIDTH}x282, 10 fps) to {movie}\n"
    return folder


def check_played(facts):
    """The element loaded the movie, played it to its end, and knows its size."""
    assert facts["error"] is None, facts
    assert facts["width"] == WIDTH and facts["height"] == 282, facts
    assert facts["duration"] == pytest.approx(FRAMES / FPS, abs=0.15), facts
    assert facts["ended"] and facts["time"] == pytest.approx(facts["duration"], abs=0.15), facts
    assert facts["events"][0] == "playing" and "timeupdate" in facts["events"], facts
    assert facts["ready"] >= 2, facts  # HAVE_CURRENT_DATA or better


def test_annotated_movie_plays_in_chromium(overlay_run, tmp_path):
    page = tmp_path / "movie.html"
    page.write_text(PAGE.format((overlay_run / "eggs-overlay.mp4").as_uri()))
    assert find_chromium(), "chromium is not installed"
    with HeadlessChromium() as browser:
        browser.open(page.as_uri())
        check_played(browser.evaluate(PLAY))


def test_report_embeds_a_small_movie_and_links_a_large_one(overlay_run, eggs_run, monkeypatch):
    from dukon_results import load_run, report

    assert report.section_overlay(load_run(eggs_run)) == []  # no movie, no section
    proc = subprocess.run([str(REPORT), str(overlay_run)], capture_output=True, text=True,
                          stdin=subprocess.DEVNULL, timeout=120)
    assert proc.returncode == 0, proc.stderr
    embedded = overlay_run / "report.html"
    assert "<h2>Annotated movie</h2>" in embedded.read_text()
    # Above the limit the page links the movie by its name, relative to the page.
    monkeypatch.setattr(report, "OVERLAY_EMBED_LIMIT", 1000)
    linked = report.write_report(overlay_run, output=overlay_run / "linked.html")
    assert '<source src="eggs-overlay.mp4" type="video/mp4">' in linked.read_text()
    with HeadlessChromium() as browser:
        browser.open(embedded.as_uri(), height=1400)
        facts = browser.evaluate(PLAY)
        assert facts["source"].startswith("data:video/mp4;base64,"), facts
        check_played(facts)
        browser.open(linked.as_uri(), height=1400)
        facts = browser.evaluate(PLAY)
        assert facts["source"].endswith("eggs-overlay.mp4"), facts
        check_played(facts)
