"""The README's install line works offline in a copy of the source tree,
as in a fresh clone: the module it installs into .venv runs the README's
first example, and so does the one `pip install --target` puts in a folder."""
import os
import re
import shutil
import subprocess

from conftest import SOURCE_DIR
from test_readme import examples


def install_line():
    text = (SOURCE_DIR / "README.md").read_text()
    return re.search(r"^`(/usr/bin/python3 -m venv [^`]*)`$", text, re.MULTILINE).group(1)


def copy_of_the_sources(folder):
    """The files git tracks, or the tree without its build folders."""
    listed = subprocess.run(["git", "ls-files", "-z"], cwd=SOURCE_DIR, capture_output=True)
    if listed.returncode != 0:
        shutil.copytree(SOURCE_DIR, folder, ignore=shutil.ignore_patterns("build*", ".venv", "*.egg-info"))
        return
    for name in filter(None, listed.stdout.decode().split("\0")):
        if os.path.exists(SOURCE_DIR / name):
            (folder / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(SOURCE_DIR / name, folder / name)


def run(command, folder, **env):
    result = subprocess.run(command, cwd=folder, shell=isinstance(command, str), capture_output=True, text=True,
                            env={**os.environ, "PYTHONPATH": "", **env})
    assert result.returncode == 0, result.stdout[-3000:] + result.stderr[-3000:]
    return result.stdout


def test_the_readme_install_line_then_its_example(tmp_path):
    tree = tmp_path / "tarn"
    tree.mkdir()
    copy_of_the_sources(tree)
    run(install_line(), tree)
    expected = run(["/usr/bin/python3", "-c", examples()[0]], SOURCE_DIR, PYTHONPATH=os.environ["PYTHONPATH"])
    assert run([str(tree / ".venv" / "bin" / "python"), "-c", examples()[0]], tree) == expected
    run(["/usr/bin/python3", "-m", "pip", "install", "--no-build-isolation", "--target", str(tmp_path / "dir"), "."],
        tree)
    assert run(["/usr/bin/python3", "-c", examples()[0]], tree, PYTHONPATH=str(tmp_path / "dir")) == expected
