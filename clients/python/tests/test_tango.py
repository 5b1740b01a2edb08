"""The Tango device against the real program, without a Tango database: a move by writing
attributes and its change events, a refusal's reason, a scan and band lists in RUNNING to their
end, and Kestrune gone and back through its start-up (ON, FAULT, INIT, ON)."""

import time

import pytest

tango = pytest.importorskip("tango")
from tango import DevFailed, DevState, EventType  # noqa: E402
from tango.test_context import DeviceTestContext  # noqa: E402

from kestrune.tango import KestruneFilter  # noqa: E402

TIMEOUT = 60.0


def _until(condition, what, timeout=TIMEOUT):
    deadline = time.monotonic() + timeout
    while not (value := condition()):
        if time.monotonic() > deadline:
            raise TimeoutError(what)
        time.sleep(0.05)
    return value


def _states_until(proxy, final, timeout=TIMEOUT):
    """The distinct states seen, in order, until `final`."""
    seen = [proxy.state()]
    deadline = time.monotonic() + timeout
    while seen[-1] != final:
        if time.monotonic() > deadline:
            raise TimeoutError(f"states {seen}, never {final}")
        time.sleep(0.05)
        state = proxy.state()
        if state != seen[-1]:
            seen.append(state)
    return seen


@pytest.fixture(scope="module")
def filter_device(rig):
    rig.client.close()  # the device is Kestrune's one client
    with DeviceTestContext(KestruneFilter, properties={"Port": rig.port}, process=True,
                           timeout=TIMEOUT) as proxy:
        _states_until(proxy, DevState.ON)
        yield proxy


def test_a_move_by_writing_attributes_with_change_events_and_a_refusals_reason(filter_device):
    proxy = filter_device
    assert (proxy.model, proxy.serial, proxy.wavelength_range) == (
        "F612", "AX0000000017", "563.5-645.0")
    changes = []
    subscription = proxy.subscribe_event(
        "cwl", EventType.CHANGE_EVENT,
        lambda event: event.err or changes.append(event.attr_value.value))
    try:
        proxy.SetBand([600.0, 5.0])
        assert _states_until(proxy, DevState.ON)[0] == DevState.MOVING
        proxy.cwl = 610.0
        assert proxy.state() == DevState.MOVING  # returned at once, the move runs on
        _states_until(proxy, DevState.ON)
        proxy.fwhm = 10.0
        _states_until(proxy, DevState.ON)
        assert (proxy.cwl, proxy.fwhm, proxy.sw, proxy.lw) == (610.0, 10.0, 605.0, 615.0)
        assert len(proxy.positions) == 3
        _until(lambda: changes[-1:] == [610.0], "a change event of cwl")
        assert 600.0 in changes
    finally:
        proxy.unsubscribe_event(subscription)

    positions = list(proxy.positions)
    with pytest.raises(DevFailed) as refused:
        proxy.SetBand([500.0, 5.0])
    assert refused.value.args[0].reason == "ERRSE03"
    assert refused.value.args[0].desc == "Out of range. Please set [CWL] >= 563.5"
    assert proxy.state() == DevState.ON and list(proxy.positions) == positions
    assert "ERRSE03 : Out of range." in proxy.status()
    with pytest.raises(DevFailed) as refused:
        proxy.SetEdges([600.0, 607.0])  # FWHM 7 has no column
    assert refused.value.args[0].reason.startswith("ERRSE")


def test_a_scan_is_running_until_its_end(filter_device):
    proxy = filter_device
    proxy.Scan([580.0, 590.0, 5.0, 5.0, 0.5])
    assert proxy.state() == DevState.RUNNING
    # PyTango reads an empty spectrum as None.
    assert _until(lambda: list(proxy.progress if proxy.progress is not None else ()),
                  "progress")[1] == 3
    _states_until(proxy, DevState.ON)
    assert (proxy.cwl, proxy.fwhm) == (590.0, 5.0) and proxy.progress is None
    with pytest.raises(DevFailed) as refused:
        proxy.Scan([500.0, 590.0, 5.0, 5.0, 0.5])
    assert refused.value.args[0].reason == "ERRSC06"


def test_kestrune_gone_and_back_goes_through_fault_and_its_start_up(filter_device, rig):
    proxy = filter_device
    rig.stop_program()
    _states_until(proxy, DevState.FAULT)
    assert "cannot be reached" in proxy.status()
    with pytest.raises(DevFailed):
        proxy.SetBand([600.0, 5.0])
    rig.start_program()
    seen = _states_until(proxy, DevState.ON)
    assert DevState.INIT in seen, seen
    proxy.SetBand([600.0, 5.0])
    _states_until(proxy, DevState.ON)
    assert proxy.cwl == 600.0


def test_a_band_list_runs_timed_and_stepped_in_running(filter_device):
    proxy = filter_device
    proxy.LoadList([580.0, 5.0, 0.2, 590.0, 5.0, 0.2])
    assert proxy.list_length == 2
    proxy.RunList(1)
    assert proxy.state() == DevState.RUNNING
    _states_until(proxy, DevState.ON)
    assert (proxy.cwl, proxy.fwhm) == (590.0, 5.0)

    # Stepped: each Next moves on once the instrument is there; after the last the run ends.
    proxy.StepList(1)
    assert proxy.state() == DevState.RUNNING
    _until(lambda: proxy.cwl == 580.0, "the first band")
    proxy.Next()
    _until(lambda: proxy.cwl == 590.0, "the second band")
    proxy.Next()
    _states_until(proxy, DevState.ON)
