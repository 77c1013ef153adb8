"""The board's trace of bus accesses: records and the saved file."""

import pytest

import tr805q


def test_trace_lists_the_accesses_newest_first():
    with tr805q.Kit.simulated() as kit:
        kit.write(0x20, 0x1234, device=2)
        kit.read(0x21, bits=8)
        newest, oldest = kit.trace()
    assert (newest.device, newest.direction, newest.address, newest.data, newest.bytes_per_access) == (1, 1, 0x21, 0, 1)
    assert (oldest.device, oldest.direction, oldest.address, oldest.data, oldest.bytes_per_access) == (2, 0, 0x20, 0x1234, 2)
    assert (oldest.access_count, oldest.access_number) == (1, 1)
    assert newest.timestamp > oldest.timestamp


def test_start_and_count_choose_the_records():
    with tr805q.Kit.simulated() as kit:
        for value in range(5):
            kit.write(0x10, value)
        assert [r.data for r in kit.trace()] == [4, 3, 2, 1, 0]
        assert [r.data for r in kit.trace(start=1, count=2)] == [3, 2]
        assert [r.data for r in kit.trace(start=3)] == [1, 0]
        assert kit.trace(count=0) == []
        assert kit.trace(start=5) == []


def test_more_than_one_block_is_read_block_by_block(tmp_path):
    log = tmp_path / "requests.txt"
    with tr805q.Kit.simulated(log=log) as kit:
        for value in range(2100):
            kit.write(0x10, value & 0xFFFF)
        records = kit.trace()
    assert len(records) == 2100
    assert records[0].data == 2099 and records[-1].data == 0
    # 2048 records, then the rest from 2048 on: as the trace window pages.
    assert log.read_text().splitlines()[-2:] == ["7E 1A 00 00 00 00 08 00", "7E 1A 00 00 08 00 08 00"]


@pytest.mark.parametrize("start, count", [(-1, None), (0x20000, None), (0, -1)])
def test_out_of_range_trace_arguments(start, count):
    with tr805q.Kit.simulated() as kit:
        with pytest.raises(ValueError):
            kit.trace(start=start, count=count)


def test_save_trace_writes_the_trace_windows_file(tmp_path):
    path = tmp_path / "trace.txt"
    with tr805q.Kit.simulated() as kit:
        kit.write(0x20, 0x1234)
        kit.save_trace(path)
        [record] = kit.trace()
    lines = path.read_bytes().split(b"\r\n")
    assert lines[0] == b"Note: Ordered from last Z-LINK access to first Z-LINK access"
    assert lines[2] == b"Trace File: trace.txt"
    assert lines[3].startswith(b"File created: ")
    assert lines[5] == (b"Trace Address 0x00000 Timestamp %010d Device 1 Operation Write Address 0x20 "
                        b"Bytes per Access 2 Access   1 of   1 Data 0x1234" % record.timestamp)
    assert lines[6:] == [b""]


def test_save_trace_refuses_an_unknown_format_and_an_unwritable_place(tmp_path):
    with tr805q.Kit.simulated() as kit:
        with pytest.raises(ValueError, match="format"):
            kit.save_trace(tmp_path / "t.bin", format="binary")
        for format in ("text", "csv", "vcd"):
            with pytest.raises(OSError, match="Error - Unable to save results"):
                kit.save_trace(tmp_path / "no" / "such" / "folder.txt", format=format)
        assert not kit.closed


def test_save_trace_as_csv_and_vcd(tmp_path):
    with tr805q.Kit.simulated() as kit:
        kit.write(0x20, 0x1234)
        kit.read(0x21, bits=8, device=2)
        kit.save_trace(tmp_path / "trace.csv", format="csv")
        kit.save_trace(tmp_path / "trace.vcd", format="VCD")
    rows = (tmp_path / "trace.csv").read_bytes().decode().split("\r\n")
    assert rows[0].split(",")[:5] == ["index", "device", "direction", "register", "data"]
    # The oldest first.
    assert rows[1].split(",")[:5] == ["0", "1", "write", "0x20", "0x1234"]
    assert rows[2].split(",")[:5] == ["1", "2", "read", "0x21", "0x0000"]
    vcd = (tmp_path / "trace.vcd").read_text()
    assert "$timescale 1 us $end" in vcd and "$scope module dev1 $end" in vcd and "$date " in vcd


def test_an_older_export_stays_when_the_board_is_lost(tmp_path):
    path = tmp_path / "trace.csv"
    path.write_text("older")
    with tr805q.Kit.simulated(close_after=12) as kit:
        kit.write(0x20, 1)
        with pytest.raises(tr805q.CommunicationError):
            kit.save_trace(path, format="csv")
    assert path.read_text() == "older"


def test_a_board_that_starts_with_a_filled_trace():
    with tr805q.Kit.simulated(fill_trace=3000) as kit:
        assert len(kit.trace()) == 3000
        assert len(kit.trace(start=2990)) == 10
    with pytest.raises(ValueError, match="fill_trace"):
        tr805q.Kit.simulated(fill_trace=0x20001)
