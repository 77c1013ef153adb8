"""Board information, single registers and the reset, on the simulated board in this process."""

import pytest

import tr805q


def test_info_reports_what_the_board_says_about_itself():
    with tr805q.Kit.simulated(firmware_version="3.1.7", firmware_code=0x2A, kernlet_options=5) as kit:
        info = kit.info()
    assert (info.board_type, info.board_version) == (1, (2, 4))
    assert (info.command_buffer_size, info.data_buffer_size, info.file_buffer_size) == (4096, 8192, 4096)
    assert info.kernlet_options == 5
    assert (info.firmware_kind, info.firmware_version, info.firmware_code) == (3, (1, 7), 0x2A)
    assert info.lines == ["GQ0017 Version 2.4", "Command Buffer Size: 4096 commands", "Data Buffer Size: 8192 words",
                          "File Buffer Size: 4096 words", "Firmware Version 1.7", "Code: 002A"]


def test_writes_and_reads_go_on_the_wire_as_the_page_sends_them(tmp_path):
    log = tmp_path / "requests.txt"
    with tr805q.Kit.simulated(log=log) as kit:
        kit.write(0x20, 0x1234, device=2)
        assert kit.read(0x20, device=2) == 0x1234
        kit.write(0x21, 0xAB, bits=8)
        assert kit.read(0x21, bits=8) == 0xAB
        assert kit.read(0x20, bits=8, device=2) == 0x34
        kit.reset(device=3)
    assert log.read_text().splitlines() == [
        "7E 03 20 12 34 02", "7E 05 20 02", "7E 02 21 AB 01", "7E 04 21 01", "7E 04 20 02", "7E 01 03"]


@pytest.mark.parametrize("call, text", [
    (lambda k: k.read(0x100), "register address must be 0x00 to 0xFF"),
    (lambda k: k.read(-1), "register address must be 0x00 to 0xFF"),
    (lambda k: k.write(0x20, 0x10000), "a 16-bit value must be 0 to 0xFFFF"),
    (lambda k: k.write(0x20, 0x100, bits=8), "a 8-bit value must be 0 to 0xFF"),
    (lambda k: k.write(0x20, -1), "a 16-bit value must be 0 to 0xFFFF"),
    (lambda k: k.read(0x20, device=0), "device must be 1, 2 or 3"),
    (lambda k: k.write(0x20, 1, device=4), "device must be 1, 2 or 3"),
    (lambda k: k.reset(device=4), "device must be 1, 2 or 3"),
    (lambda k: k.read(0x20, bits=12), "bits must be 8 or 16"),
])
def test_values_out_of_range_are_refused_before_anything_is_sent(tmp_path, call, text):
    log = tmp_path / "requests.txt"
    with tr805q.Kit.simulated(log=log) as kit:
        with pytest.raises(ValueError, match=text):
            call(kit)
        assert not kit.closed
    assert log.read_text() == ""


def test_a_lost_board_raises_the_one_report_and_closes_the_kit():
    kit = tr805q.Kit.simulated(no_reply=True)
    with pytest.raises(tr805q.CommunicationError) as lost:
        kit.read(0x20)
    assert str(lost.value) == "Error - Unable to communicate with KOVA kit\nCheck connections and restart the program"
    assert lost.value.detail == ""
    assert kit.closed
    assert kit.messages[-1].text == str(lost.value) and kit.messages[-1].caption == "Error"
    with pytest.raises(ValueError, match="the kit is closed"):
        kit.info()


@pytest.mark.parametrize("fault", [{"wrong_first_byte": True}, {"wrong_reply_code": True}, {"close_after": 3}])
def test_every_lost_board_is_a_communication_error(fault):
    kit = tr805q.Kit.simulated(**fault)
    with pytest.raises(tr805q.CommunicationError):
        kit.read(0x20)
        kit.info()
    assert kit.closed


def test_a_closed_line_gives_the_ports_words_as_detail():
    kit = tr805q.Kit.simulated(close_after=2)
    with pytest.raises(tr805q.CommunicationError) as lost:
        kit.write(0x20, 1)
    assert lost.value.detail != ""


def test_context_manager_and_close():
    with tr805q.Kit.simulated() as kit:
        assert not kit.closed
    assert kit.closed
    kit.close()  # again: nothing
    assert kit.closed


def test_stale_bytes_are_drained_before_each_request():
    with tr805q.Kit.simulated(stale_bytes=3) as kit:
        kit.write(0x30, 0xBEEF)
        assert kit.read(0x30) == 0xBEEF
        assert kit.read(0x30, bits=8) == 0xEF


@pytest.mark.parametrize("options, text", [
    ({"firmware_version": "1.2"}, "firmware_version"),
    ({"firmware_version": (1, 2, 256)}, "firmware_version"),
    ({"firmware_code": -1}, "firmware_code"),
    ({"kernlet_options": 256}, "kernlet_options"),
    ({"script_status": 2}, "script_status"),
    ({"close_after": -5}, "close_after"),
])
def test_simulated_board_options_are_checked(options, text):
    with pytest.raises(ValueError, match=text):
        tr805q.Kit.simulated(**options)


def test_unknown_simulated_board_option_is_a_type_error():
    with pytest.raises(TypeError):
        tr805q.Kit.simulated(speed=3)


def test_a_line_rate_gives_the_bytes_their_wire_time():
    import time
    with tr805q.Kit.simulated(line_rate=1200) as kit:
        started = time.monotonic()
        kit.write(0x20, 1)  # six bytes out, one back: 70 bits at 1200 baud
        assert time.monotonic() - started >= 0.05
    with pytest.raises(ValueError, match="line_rate"):
        tr805q.Kit.simulated(line_rate=-1)
