"""Fixtures of the tr805q module tests: the simulated board in this process, mb805q-sim on a
pseudo-terminal with a port table of the test's own, and sample files made by mb805q-sim."""

import os
import pathlib
import signal
import subprocess

import pytest

import tr805q

SIM_EXE = os.environ.get("TR805Q_SIM_EXE", "mb805q-sim")
TEST_DATA = pathlib.Path(os.environ.get("TR805Q_TEST_DATA", pathlib.Path(__file__).parents[1] / "data"))


@pytest.fixture
def kit():
    with tr805q.Kit.simulated() as k:
        yield k


@pytest.fixture
def port_table(tmp_path, monkeypatch):
    """A configuration folder of the test's own, so that COM numbers are this test's."""
    config = tmp_path / "config"
    config.mkdir()
    monkeypatch.setenv("XDG_CONFIG_HOME", str(config))
    monkeypatch.setenv("HOME", str(tmp_path))
    return config


class PtyBoard:
    """mb805q-sim serving on a pseudo-terminal registered as a COM port."""

    def __init__(self, *options):
        self.process = subprocess.Popen([SIM_EXE, *options], stdout=subprocess.PIPE, text=True)
        first = self.process.stdout.readline()
        # "MB805Q simulated board on COM1 (/dev/pts/4)"
        assert first.startswith("MB805Q simulated board on COM"), first
        number, _, device = first.partition(" (")
        self.port = int(number.rsplit("COM", 1)[1])
        self.device = device.rstrip(")\n")

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()


@pytest.fixture
def pty_board(port_table):
    boards = []

    def start(*options):
        board = PtyBoard(*options)
        boards.append(board)
        return board

    yield start
    for board in boards:
        board.stop()


@pytest.fixture
def make_kernlet(tmp_path):
    """Writes a sample Kernlet file that loads cleanly into the simulated devices."""

    def make(name="kernlet.txt", blocks=2, words=64, corrupt_block=None):
        path = tmp_path / name
        options = ["--make-kernlet", str(path), "--kernlet-blocks", str(blocks), "--kernlet-words", str(words)]
        if corrupt_block is not None:
            options += ["--kernlet-corrupt-block", str(corrupt_block)]
        subprocess.run([SIM_EXE, *options], check=True, stdout=subprocess.DEVNULL)
        return path

    return make


@pytest.fixture
def write_script(tmp_path):
    def write(text, name="script.mbs"):
        path = tmp_path / name
        path.write_text(text)
        return path

    return write
