"""Compiling scripts, and running them with their dialogs answered from Python."""

import os
import signal
import threading

import pytest

import tr805q
from conftest import TEST_DATA

DIALOGS = ("a       word    5\n"
           "        dialog \"Hello %u\" a\n"
           "        dialogyesno \"Sure?\" a\n"
           "        dialogentry \"Value %x\" a\n"
           "        disp \"value %u\" a\n"
           "        stop\n")


def expected_section(case, section):
    """The lines of one section of a compiler case's .expected file (tests/data/compile)."""
    lines = (TEST_DATA / "compile" / f"{case}.expected").read_text().splitlines()
    start = lines.index(f"== {section}") + 1
    end = next((i for i in range(start, len(lines)) if lines[i].startswith("== ")), len(lines))
    return lines[start:end]


def test_compile_gives_the_frames_of_compile_image(tmp_path):
    result = tr805q.compile(TEST_DATA / "compile" / "odd_even.mbs", listing_dir=tmp_path)
    expected = expected_section("odd_even", "image")
    assert result.errors == []
    assert [f.hex(" ").upper() for f in result.frames] == expected
    assert result.listing_path == str(tmp_path / "debug_file.txt")
    assert (tmp_path / "debug_file.txt").read_text().startswith("Command table\n")


def test_compile_errors_as_the_page_lists_them(tmp_path):
    result = tr805q.compile(TEST_DATA / "compile" / "mistakes.mbs", listing_dir=tmp_path)
    assert result.errors == expected_section("mistakes", "errors")
    assert result.frames == []


def test_compile_of_a_missing_file(tmp_path):
    with pytest.raises(FileNotFoundError, match="Error - Unable to open file"):
        tr805q.compile(tmp_path / "absent.mbs")


def test_a_run_gives_its_results_list(kit, write_script, tmp_path):
    seen = []
    result = kit.run_script(write_script("        disp \"a\\c\"\n        disp \"b %u\" 7\n        stop\n"),
                            on_text=seen.append, listing_dir=tmp_path)
    assert result.status == "finished"
    assert result.lines == ["Script running...", "ab 7", "Script finished"]
    assert seen == result.lines


def test_dialogs_take_the_answers_in_order(kit, write_script, tmp_path):
    result = kit.run_script(write_script(DIALOGS), answers=[True, "maybe", "no", "abc", "$1F"], listing_dir=tmp_path)
    assert result.status == "finished"
    assert result.lines[-2] == "value 31"
    assert [m.text for m in kit.messages] == ["Error - Value must be hexadecimal or integer"]


def test_on_dialog_is_asked_with_kind_prompt_and_proposed_value(kit, write_script, tmp_path):
    asked = []

    def on_dialog(kind, prompt, proposed):
        asked.append((kind, prompt, proposed))
        return {"message": True, "yesno": False, "entry": 0x1234}[kind]

    result = kit.run_script(write_script(DIALOGS), on_dialog=on_dialog, listing_dir=tmp_path)
    assert asked == [("message", "Hello 5", None), ("yesno", "Sure?", None), ("entry", "Value 0", "$0")]
    assert result.status == "finished" and result.lines[-2] == "value 4660"


@pytest.mark.parametrize("answers", [[None], [], ["cancel"], [True, "abort"], [True, False, None]])
def test_no_answer_aborts_the_script(kit, write_script, tmp_path, answers):
    result = kit.run_script(write_script(DIALOGS), answers=answers, listing_dir=tmp_path)
    assert result.status == "aborted"
    assert result.lines[-1].startswith("Script aborted at line ")


def test_an_answer_of_the_wrong_type_is_raised_and_the_script_aborted(kit, write_script, tmp_path):
    with pytest.raises(TypeError, match="entry dialog"):
        kit.run_script(write_script(DIALOGS), answers=[True, True, True], listing_dir=tmp_path)
    assert kit.read(0x20) == 0  # the kit goes on


def test_an_entry_that_never_takes_is_aborted(kit, write_script, tmp_path):
    result = kit.run_script(write_script(DIALOGS), on_dialog=lambda kind, p, v: True if kind != "entry" else "abc",
                            listing_dir=tmp_path)
    assert result.status == "aborted"
    assert len(kit.messages) == 100  # each answer refused, then the dialog aborted


def test_the_timeout_aborts_an_endless_script(kit, write_script, tmp_path):
    result = kit.run_script(write_script("loop    jmp loop\n"), timeout=0.2, listing_dir=tmp_path)
    assert result.status == "timeout"
    assert result.lines == ["Script running...", "Script aborted at line 1"]


def test_ctrl_c_aborts_the_script_cleanly(kit, write_script, tmp_path):
    timer = threading.Timer(0.2, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            kit.run_script(write_script("loop    jmp loop\n"), timeout=30, listing_dir=tmp_path)
    finally:
        timer.cancel()
    # The script was aborted on the board: the kit is free and answers.
    kit.write(0x20, 7)
    assert kit.read(0x20) == 7


def test_a_callback_cannot_use_its_own_kit(kit, write_script, tmp_path):
    with pytest.raises(RuntimeError, match="callback cannot use"):
        kit.run_script(write_script(DIALOGS), on_dialog=lambda *a: kit.read(0x20), listing_dir=tmp_path)
    assert kit.read(0x20) == 0


def test_an_on_text_that_raises_stops_the_run(kit, write_script, tmp_path):
    def on_text(line):
        if line.startswith("n "):
            raise ValueError("seen enough")

    script = write_script("n       word    0\nloop    disp \"n %u\" n\n        add 1 n\n        jmp loop\n")
    with pytest.raises(ValueError, match="seen enough"):
        kit.run_script(script, on_text=on_text, timeout=30, listing_dir=tmp_path)
    assert not kit.closed


def test_compile_errors_and_missing_scripts(kit, write_script, tmp_path):
    result = kit.run_script(write_script("        frobnicate\n"), listing_dir=tmp_path)
    assert result.status == "compile_failed"
    assert result.lines == ["Line 1: Error unrecognised command"]
    with pytest.raises(FileNotFoundError, match="Error - Unable to open file"):
        kit.run_script(tmp_path / "absent.mbs", listing_dir=tmp_path)


@pytest.mark.parametrize("script, status, last", [
    ("        return\n", "error", "Error Stack underflow at line 1"),
    ("n       word    0\n        fopenr \"none.txt\" \"%d\" n\n        stop\n", "file_error",
     "Error: Unable to open file: none.txt"),
])
def test_run_time_and_file_errors(kit, write_script, tmp_path, script, status, last):
    result = kit.run_script(write_script(script), listing_dir=tmp_path)
    assert (result.status, result.lines[-1]) == (status, last)


def test_a_board_lost_during_the_download(write_script, tmp_path):
    with tr805q.Kit.simulated(close_after=20) as kit:
        with pytest.raises(tr805q.CommunicationError) as lost:
            kit.run_script(write_script("        disp \"x\"\n        stop\n"), listing_dir=tmp_path)
        assert str(lost.value) == ("Error - Unable to communicate with KOVA kit\n"
                                   "Check connections and restart the program4")
        assert kit.closed
