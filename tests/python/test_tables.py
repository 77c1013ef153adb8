"""Register configuration files and register table runs."""

import pytest

import tr805q


def rows_for(*rows):
    return [tr805q.TableRow(*r) for r in rows]


def test_a_table_saves_and_loads_as_the_pages_file(tmp_path):
    path = tmp_path / "table.txt"
    rows = rows_for(("Gain réglée", "20", "16 bit Wr", "1234", True), ("Status", "21", "8 bit Rd", "", False))
    tr805q.save_table(path, rows)
    raw = path.read_bytes()
    # Six lines a record, CR LF, Latin-1.
    assert raw.startswith(b"Register:001\r\nGain r\xe9gl\xe9e\r\n20\r\n")
    loaded = tr805q.load_table(path)
    assert len(loaded) == 40
    first, second, third = loaded[:3]
    assert (first.number, first.description, first.address, first.type, first.data, first.enabled) == (
        1, "Gain réglée", "20", "16 bit Wr", "1234", True)
    assert (second.number, second.type, second.enabled) == (2, "8 bit Rd", False)
    assert (third.type, third.address, third.enabled) == (None, "", False)
    assert first.value == 0x1234 and second.value is None


def test_run_table_writes_then_reads_the_enabled_rows(tmp_path):
    path = tmp_path / "table.txt"
    tr805q.save_table(path, rows_for(("set", "20", "16 bit Wr", "BEEF", True),
                                     ("get", "20", "16 bit Rd", "", True),
                                     ("get low", "20", "8 bit Rd", "", True),
                                     ("skipped", "22", "16 bit Wr", "0001", False)))
    with tr805q.Kit.simulated() as kit:
        rows = kit.run_table(path, device=2)
        assert kit.read(0x20, device=2) == 0xBEEF
        assert kit.read(0x22, device=2) == 0
        assert [r.value for r in kit.run_table(path, mode="read", device=2)[:3]] == [0xBEEF, 0xBEEF, 0xEF]
    assert [(r.number, r.data, r.accessed) for r in rows[:4]] == [
        (1, "BEEF", True), (2, "BEEF", True), (3, "EF", True), (4, "0001", False)]


def test_mode_write_leaves_the_read_rows_alone(tmp_path):
    path = tmp_path / "table.txt"
    tr805q.save_table(path, rows_for(("set", "20", "16 bit Wr", "0007", True), ("get", "20", "16 bit Rd", "", True)))
    with tr805q.Kit.simulated() as kit:
        rows = kit.run_table(path, mode="write")
    assert [(r.accessed, r.data) for r in rows[:2]] == [(True, "0007"), (False, "")]


def test_a_row_that_cannot_run_stops_the_run_before_anything_is_sent(tmp_path):
    path = tmp_path / "table.txt"
    log = tmp_path / "requests.txt"
    tr805q.save_table(path, rows_for(("ok", "20", "16 bit Wr", "0001", True), ("no type", "21", None, "", True)))
    with tr805q.Kit.simulated(log=log) as kit:
        with pytest.raises(tr805q.FileFormatError, match="^Error - Select Z-LINK register type$") as refused:
            kit.run_table(path)
    assert refused.value.row == 2
    assert log.read_text() == ""


def test_files_the_table_refuses(tmp_path):
    short = tmp_path / "short.txt"
    short.write_bytes(b"Description:\r\nx\r\n")
    with pytest.raises(tr805q.FileFormatError, match="Error - Unable to read config file"):
        tr805q.load_table(short)
    with pytest.raises(FileNotFoundError, match="Error - Unable to open config file"):
        tr805q.load_table(tmp_path / "absent.txt")
    with tr805q.Kit.simulated() as kit:
        with pytest.raises(tr805q.FileFormatError, match="Error - Unable to read config file"):
            kit.run_table(short)
        with pytest.raises(FileNotFoundError):
            kit.run_table(tmp_path / "absent.txt")
        with pytest.raises(ValueError, match="mode"):
            kit.run_table(short, mode="sideways")
    with pytest.raises(OSError, match="Error - Unable to save config file"):
        tr805q.save_table(tmp_path / "missing" / "t.txt", [])


def test_rows_are_checked():
    with pytest.raises(ValueError, match="row type"):
        tr805q.TableRow(type="32 bit Rd")
    row = tr805q.TableRow()
    with pytest.raises(ValueError):
        row.type = "Wr"
    with pytest.raises(ValueError, match="40 rows"):
        tr805q.save_table("/dev/null", [tr805q.TableRow()] * 41)
