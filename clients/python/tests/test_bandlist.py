"""The band list from Python against the real program: loading with refusals that name the
entry, the list kept in BandList.csv, a timed run and its record, a stepped run point by point,
the PyMeasure instrument, and a stepped run whose instrument is unplugged."""

import csv
import time

import pytest

from kestrune import KestruneError, ListOutcome, Progress

BANDS = [(580.0, 5.0, 0.2), (600.0, 5.0, 0.3), (610.0, 3.0, 0.2)]


def test_a_list_loads_reads_back_and_a_refused_entry_is_named(rig):
    k = rig.client
    k.load_list(BANDS)
    assert k.band_list == BANDS
    kept = b"cwl_nm,fwhm_nm,dwell_s\r\n580.0,5.0,0.2\r\n600.0,5.0,0.3\r\n610.0,3.0,0.2\r\n"
    path = rig.folder / "BandList.csv"
    deadline = time.monotonic() + 20  # written shortly after the last change
    while not (path.exists() and path.read_bytes() == kept) and time.monotonic() < deadline:
        time.sleep(0.05)
    assert path.read_bytes() == kept

    with pytest.raises(KestruneError) as refused:
        k.load_list([(600.0, 5.0, 1.0), (600.0, 5.0, 0.0), (600.0, 5.0, 1.0)])
    assert refused.value.entry == 2
    assert (refused.value.code, refused.value.text) == (
        "ERRSC14", "Out of range. Please set [TimeDelay] \u2265 0.1")
    assert k.band_list == [(600.0, 5.0, 1.0)]
    with pytest.raises(KestruneError) as refused:
        k.load_list([(500.0, 5.0, 1.0)])
    assert (refused.value.entry, refused.value.code) == (1, "ERRSE03")


def test_a_timed_run_holds_each_entry_from_its_confirmation_and_is_recorded(rig):
    k = rig.client
    k.load_list(BANDS)
    k.run_list(cycles=2)
    assert k.list_running and not k.scanning
    assert k.progress.total == 6
    assert k.wait_for_list(timeout=60) == ListOutcome("NONE", "Band list finished.")
    assert k.band == (610.0, 3.0)

    record = sorted((rig.folder / "Scans").glob("List *.csv"))[-1]
    with record.open(newline="") as f:
        rows = list(csv.DictReader(f))
    assert [(r["point"], r["cycle"], r["entry"], r["cwl_nm"], r["fwhm_nm"], r["outcome"])
            for r in rows] == [
        ("1", "1", "1", "580.0", "5.0", ""), ("2", "1", "2", "600.0", "5.0", ""),
        ("3", "1", "3", "610.0", "3.0", ""), ("4", "2", "1", "580.0", "5.0", ""),
        ("5", "2", "2", "600.0", "5.0", ""), ("6", "2", "3", "610.0", "3.0", "success")]
    for row, (_, _, dwell) in zip(rows, BANDS * 2):
        assert int(row["dwell_ms"]) >= dwell * 1000


def test_a_stepped_run_moves_only_on_next_and_ends_after_the_last_point(rig):
    k = rig.client
    k.load_list(BANDS[:2])
    k.step_list(cycles=2)
    assert k.band == (580.0, 5.0)
    assert k.progress == Progress(1, 4, 580.0, 5.0)
    assert [k.next(), k.next(), k.next()] == [2, 3, 4]
    assert k.band == (600.0, 5.0)
    with pytest.raises(KestruneError) as refused:
        k.set_band(600.0, 5.0)
    assert refused.value.text == "Now Scanning."
    assert k.next() is None
    assert k.query("STATE") == "IDLE"
    with pytest.raises(KestruneError) as refused:
        k.next()
    assert refused.value.text == "No stepped run."

    k.step_list(cycles=1)
    k.stop()
    assert k.query("STATE") == "IDLE" and k.progress is None


def test_the_pymeasure_instrument_loads_and_steps_a_list(rig):
    try:
        instrument = rig.pymeasure_instrument()
        try:
            instrument.load_list(BANDS[:2])
            assert instrument.band_list == [(580.0, 5.0, 0.2), (600.0, 5.0, 0.3)]
            with pytest.raises(KestruneError) as refused:
                instrument.load_list([(580.0, 5.0, 0.2), (580.0, 4.5, 0.2)])
            assert refused.value.entry == 2 and refused.value.code == "ERRSE08"
            instrument.load_list(BANDS[:2])
            instrument.run_list(1)
            assert instrument.wait_for_list(timeout=60).succeeded
            instrument.step_list(1)
            assert instrument.next() == 2 and instrument.next() is None
        finally:
            instrument.shutdown()
    finally:
        # The tests after this one need the rig's client back, whatever happened here.
        rig.reconnect()


def test_an_unplugged_instrument_ends_a_stepped_run_as_failed(rig):
    k = rig.client
    k.load_list(BANDS)
    k.step_list(cycles=1)
    rig.unplug(False)
    with pytest.raises(KestruneError) as failed:
        k.next()
    assert (failed.value.code, failed.value.text) == ("ERRDV05", "Scan failure.")
    assert k.query("STATE") == "IDLE"
    rig.unplug(True)
