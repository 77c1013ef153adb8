"""The examples beside the module run as they are, on the simulated board."""

import csv
import os
import pathlib
import subprocess
import sys

EXAMPLES = pathlib.Path(__file__).parents[2] / "examples"


def run(*args):
    return subprocess.run([sys.executable, *args], capture_output=True, text=True, timeout=60, env=os.environ)


def test_register_sweep_logs_every_value_read_back(tmp_path):
    out = tmp_path / "sweep.csv"
    done = run(EXAMPLES / "register_sweep.py", "--simulate", "--step", "0x4000", out)
    assert done.returncode == 0, done.stderr
    rows = list(csv.reader(out.open()))
    assert rows == [["register", "written", "read", "match"]] + [
        ["0x20", f"0x{v:04X}", f"0x{v:04X}", "True"] for v in (0, 0x4000, 0x8000, 0xC000)]


def test_script_with_answers_sets_the_gain():
    done = run(EXAMPLES / "script_with_answers.py", "--simulate", "--gain", "$2A")
    assert done.returncode == 0, done.stderr
    assert "[yesno] Set the gain now?" in done.stdout
    assert "register 0x20 now reads 0x002A" in done.stdout
