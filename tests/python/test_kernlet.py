"""Kernlet loads with the Kernlet page's verification."""

import pytest

import tr805q


def test_a_clean_load_reports_the_device_and_the_blocks(make_kernlet):
    path = make_kernlet(blocks=2, words=64)
    seen = []
    with tr805q.Kit.simulated() as kit:
        result = kit.load_kernlet(path, device=2, progress=lambda done, total: seen.append((done, total)))
        assert kit.messages[-1].text == "Kernlet Load complete\nProductID ($C5): 0x0805 \nKL Version ($C9): 0x0103"
        # The device runs the Kernlet: the reset waits for it to start again, and it does.
        kit.reset(device=2)
    assert (result.product_id, result.version, result.checksums_match) == (0x0805, 0x0103, True)
    assert [(b.words, b.checksum != 0) for b in result.blocks] == [(64, True), (64, True)]
    # Block by block: none sent, the first through, both through.
    assert seen == [(0, 2), (1, 2), (2, 2)]


def test_reply_word_verification_for_devices_in_the_kernlet_options(make_kernlet):
    path = make_kernlet()
    with tr805q.Kit.simulated(kernlet_options=1) as kit:
        result = kit.load_kernlet(path)
        assert kit.messages[-1].text == "Kernlet Load complete\nProductID: 0x0805 \nKL Version: 0x0103"
    assert result.checksums_match


@pytest.mark.parametrize("options", [{}, {"kernlet_options": 1}])
def test_differing_checksums_do_not_stop_the_load(make_kernlet, options):
    path = make_kernlet(corrupt_block=1)
    with tr805q.Kit.simulated(**options) as kit:
        result = kit.load_kernlet(path)
    assert not result.checksums_match
    assert result.product_id == 0x0805


def test_a_refused_transfer_is_a_board_error_naming_the_write(make_kernlet):
    path = make_kernlet()
    with tr805q.Kit.simulated(refusals=1) as kit:
        with pytest.raises(tr805q.BoardError, match="^Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 6$"):
            kit.load_kernlet(path)
        assert not kit.closed
        kit.write(0x20, 1)  # the kit goes on


def test_files_the_load_refuses(tmp_path, make_kernlet):
    no_count = tmp_path / "no_count.txt"
    no_count.write_text("#define START 0x0100\n")
    with tr805q.Kit.simulated() as kit:
        with pytest.raises(tr805q.FileFormatError, match='^Error - The Kernlet file has no "#define N_DB" line$'):
            kit.load_kernlet(no_count)
        with pytest.raises(FileNotFoundError, match="Error - Cannot open the specified file"):
            kit.load_kernlet(tmp_path / "absent.txt")
        with pytest.raises(ValueError, match="Error - Select Kernlet"):
            kit.load_kernlet("")
        with pytest.raises(ValueError, match="device"):
            kit.load_kernlet(make_kernlet(), device=0)


def test_a_progress_callback_that_raises_is_raised_after_the_load(make_kernlet):
    path = make_kernlet(blocks=4, words=512)
    calls = []

    def progress(done, total):
        calls.append(done)
        if done >= 1:
            raise RuntimeError("stop there")

    with tr805q.Kit.simulated() as kit:
        with pytest.raises(RuntimeError, match="stop there"):
            kit.load_kernlet(path, progress=progress)
        assert kit.read(0xC6) & 1  # the load itself went to its end
    assert calls == [0, 1]  # and the callback was left alone after it raised


def test_a_board_lost_during_the_load(make_kernlet):
    path = make_kernlet()
    with tr805q.Kit.simulated(close_after=40) as kit:
        with pytest.raises(tr805q.CommunicationError):
            kit.load_kernlet(path)
        assert kit.closed
