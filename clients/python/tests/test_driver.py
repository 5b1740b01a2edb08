"""The Python driver against the real program: a move, a refused move, a scan followed point
by point and its record, a stop, the PyMeasure instrument, a link loss and a lost connection."""

import csv
import time

import pytest

from kestrune import Client, KestruneError, Progress, ScanOutcome


def test_a_move_reads_back_and_a_refused_one_raises_with_its_error(rig):
    k = rig.client
    assert k.version == "Kestrune v1.0"
    assert k.device.model == "F612" and k.device.range == (563.5, 645.0)
    assert k.limits().fwhms[:3] == (2.0, 3.0, 5.0)
    assert k.limits(5) == (566.5, 642.0) and k.limits(7) is None
    k.set_band(600.0, 5.0)
    assert (k.band, k.edges) == ((600.0, 5.0), (597.5, 602.5))
    positions = k.positions
    with pytest.raises(KestruneError) as refused:
        k.set_band(500.0, 5.0)
    assert (refused.value.code, refused.value.text) == (
        "ERRSE03", "Out of range. Please set [CWL] \u2265 563.5")
    assert k.band == (600.0, 5.0) and k.positions == positions
    assert k.error == ("ERRSE03", "Out of range. Please set [CWL] \u2265 563.5")


def test_a_scan_is_followed_point_by_point_and_recorded(rig):
    k = rig.client
    k.scan(580.0, 590.0, 5.0, 5.0, 0.5)
    seen = []
    while (progress := k.progress) is not None:
        if not seen or progress != seen[-1]:
            seen.append(progress)
        time.sleep(0.02)
    assert seen[-1] == Progress(3, 3, 590.0, 5.0)
    assert [p.moved for p in seen] == sorted(p.moved for p in seen)
    assert k.wait_for_scan(timeout=30) == ScanOutcome("NONE", "Scan successful.")
    assert k.band == (590.0, 5.0)

    records = sorted((rig.folder / "Scans").glob("Scan *.csv"))
    with records[-1].open(newline="") as f:
        rows = list(csv.DictReader(f))
    assert [(r["point"], r["cwl_nm"], r["outcome"]) for r in rows] == [
        ("1", "580.0", ""), ("2", "585.0", ""), ("3", "590.0", "success")]
    assert all(r["confirmed"] >= r["sent"] and int(r["dwell_ms"]) >= 0 for r in rows)


def test_a_stopped_scan_ends_at_once(rig):
    k = rig.client
    k.scan(570.0, 640.0, 5.0, 0.5, 10.0)
    assert k.scanning
    k.stop()  # STOP OK is the outcome: it leaves no code or text behind
    assert k.progress is None and not k.scanning
    assert k.error == ("", "")
    with pytest.raises(KestruneError) as refused:
        k.stop()
    assert refused.value.text == "No Scan."


def test_the_pymeasure_instrument_sets_reads_and_checks_errors(rig):
    try:
        instrument = rig.pymeasure_instrument()
        try:
            assert instrument.id == "Kestrune,F612,AX0000000017,1.0"
            instrument.clear()
            instrument.band = (601.0, 5.0)
            assert instrument.band == (601.0, 5.0) and instrument.edges == (598.5, 603.5)
            assert instrument.check_errors() == []
            with pytest.raises(KestruneError):
                instrument.edges = (500.0, 505.0)
            with pytest.raises(KestruneError):
                instrument.write("*RST")
            assert instrument.check_errors() == [
                (213, "ERRSE13 : Out of range. Please set ([LW]+[SW])/2 \u2265 563.5"),
                (-113, "Undefined header")]
            assert instrument.limits_for(5.0) == (566.5, 642.0)
            instrument.scan(580.0, 585.0, 5.0, 5.0, 0.2)
            assert instrument.complete == 1 and instrument.progress is None
        finally:
            instrument.shutdown()
    finally:
        # The tests after this one need the rig's client back, whatever happened here.
        rig.reconnect()


def test_a_link_loss_and_a_lost_connection_raise(rig):
    k = rig.client
    rig.unplug(False)
    with pytest.raises(KestruneError):  # refused at the link test, with an empty reply
        k.set_band(600.0, 5.0)
    assert k.device.state in ("SEARCHING", "STARTING")
    assert k.band is None and k.positions is None

    rig.program.terminate()
    rig.program.wait(timeout=30)
    with pytest.raises((ConnectionError, TimeoutError)):
        k.query("VER")
