"""The Python layer installs as a package with its commands as entry points,
and nothing in it edits the module path to find itself."""

import os
import re
import shutil
import subprocess
import sys

from conftest import PYTHON_DIR


def test_installs_with_its_commands(tmp_path):
    # Built from a copy: setuptools writes build/ and egg-info beside the
    # sources it builds.
    source = tmp_path / "source"
    shutil.copytree(PYTHON_DIR, source, ignore=shutil.ignore_patterns(
        "build", "*.egg-info", "__pycache__", "tests"))
    target = tmp_path / "site"
    subprocess.run([sys.executable, "-m", "pip", "install", "--quiet", "--no-build-isolation",
                    "--no-deps", "--no-index", "--target", str(target), str(source)],
                   check=True, stdin=subprocess.DEVNULL, capture_output=True, text=True)
    assert (target / "dukon_results" / "report.py").is_file()
    assert (target / "dukon_results" / "data" / "n2_eigenworms.csv").is_file()
    # The feature glossary comes along (a link to docs/features.md in the sources).
    glossary = target / "dukon_results" / "data" / "features.md"
    assert glossary.is_file() and not glossary.is_symlink()
    assert glossary.read_text() == (PYTHON_DIR.parent / "docs" / "features.md").read_text()
    env = dict(os.environ, PYTHONPATH=str(target))
    for command in ("dukon-report", "dukon-wcon", "dukon-study"):
        script = target / "bin" / command
        assert script.is_file(), f"no entry point {command}"
        # Run from an unrelated folder, so only the installed copy can be found.
        proc = subprocess.run([sys.executable, str(script), "--help"], cwd=tmp_path, env=env,
                              stdin=subprocess.DEVNULL, capture_output=True, text=True)
        assert proc.returncode == 0, proc.stderr
        assert f"usage: {command}" in proc.stdout


def test_launchers_run_uninstalled(tmp_path):
    # The launchers in python/ find the package beside them from any folder.
    for launcher in sorted(PYTHON_DIR.glob("dukon-*")):
        proc = subprocess.run([str(launcher), "--help"], cwd=tmp_path, stdin=subprocess.DEVNULL,
                              capture_output=True, text=True)
        assert proc.returncode == 0, f"{launcher.name}: {proc.stderr}"
        assert f"usage: {launcher.name}" in proc.stdout


def test_no_module_path_edits():
    edits = re.compile(r"sys\.path\.(insert|append|extend)|sys\.path\s*\+?=")
    offenders = [str(p.relative_to(PYTHON_DIR)) for p in PYTHON_DIR.rglob("*")
                 if p.is_file() and (p.suffix == ".py" or p.name.startswith("dukon-"))
                 and edits.search(p.read_text(errors="replace"))]
    assert offenders == []
