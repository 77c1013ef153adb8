"""The kit on a real pseudo-terminal: mb805q-sim serving, the program's serial code talking to it."""

import errno
import threading
import time

import pytest

import tr805q


def test_a_com_number_or_its_name_or_the_device_path_opens_the_board(pty_board):
    board = pty_board()
    for port in (board.port, "COM%d" % board.port, board.device):
        with tr805q.Kit(port) as kit:
            kit.write(0x20, 0x4321)
            assert kit.read(0x20) == 0x4321
            assert kit.info().firmware_code == 0x805


def test_line_settings_are_taken(pty_board):
    board = pty_board()
    with tr805q.Kit(board.device, baud=9600, parity="even", data_bits=7, stop_bits=2, flow_control="rts/cts") as kit:
        assert not kit.closed


def test_a_board_that_does_not_answer_is_lost_after_the_read_time_out(pty_board):
    board = pty_board("--no-reply")
    kit = tr805q.Kit(board.port)
    started = time.monotonic()
    with pytest.raises(tr805q.CommunicationError) as lost:
        kit.read(0x20)
    assert str(lost.value) == "Error - Unable to communicate with KOVA kit\nCheck connections and restart the program"
    assert time.monotonic() - started < 5
    assert kit.closed


def test_a_line_that_closes_is_lost_with_the_ports_words(pty_board):
    board = pty_board("--close-after", "10")
    kit = tr805q.Kit(board.port)
    with pytest.raises(tr805q.CommunicationError) as lost:
        for _ in range(10):
            kit.write(0x20, 1)
    assert str(lost.value).startswith("Error - Unable to communicate with KOVA kit")
    assert kit.closed


def test_other_threads_run_while_the_kit_waits_for_the_board(pty_board):
    board = pty_board("--no-reply")
    kit = tr805q.Kit(board.port)
    outcome = []
    reader = threading.Thread(target=lambda: outcome.append(pytest.raises(tr805q.CommunicationError, kit.read, 0x20)))
    reader.start()
    ticks = 0
    while reader.is_alive() and ticks < 1000:
        time.sleep(0.005)
        ticks += 1
    reader.join()
    # The read waits about half a second for the board: this thread went on meanwhile (with the
    # GIL held throughout, it could not have run until the read was over).
    assert ticks >= 5
    assert outcome


@pytest.mark.parametrize("port, code", [(42, errno.ENOENT), ("COM42", errno.ENOENT), ("/dev/no-such-tty", errno.ENOENT)])
def test_a_port_that_cannot_be_opened(port_table, port, code):
    with pytest.raises(tr805q.PortError) as refused:
        tr805q.Kit(port)
    assert isinstance(refused.value, OSError) and refused.value.errno == code
    assert "Check board connection to COM port." in str(refused.value)


def test_a_path_that_is_no_serial_device(port_table, tmp_path):
    plain = tmp_path / "file"
    plain.write_text("")
    with pytest.raises(tr805q.PortError):
        tr805q.Kit(str(plain))


@pytest.mark.parametrize("arguments, error", [
    ({"port": 100}, ValueError), ({"port": -1}, ValueError), ({"port": True}, TypeError),
    ({"port": 1.5}, TypeError), ({"port": 1, "baud": 0}, ValueError), ({"port": 1, "parity": "purple"}, ValueError),
    ({"port": 1, "parity": 9}, ValueError), ({"port": 1, "stop_bits": 3}, ValueError),
    ({"port": 1, "data_bits": 9}, ValueError), ({"port": 1, "flow_control": "carrier pigeon"}, ValueError),
])
def test_port_arguments_are_checked(port_table, arguments, error):
    with pytest.raises(error):
        tr805q.Kit(**arguments)
