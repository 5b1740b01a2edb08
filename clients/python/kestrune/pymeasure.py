"""Kestrune as a PyMeasure instrument, over PyVISA's raw socket resource.

Made for Debian 12's python3-pymeasure (0.9) and python3-pyvisa-py:

    filter_ = Kestrune("TCPIP::127.0.0.1::5050::SOCKET")
    filter_.band = (600.0, 5.0)
    print(filter_.band, filter_.edges, filter_.positions)
    filter_.shutdown()

Every request gets a reply line, so a setting reads its own; a refused one raises KestruneError
with the code and text of ECODE and ETEXT. Of PyMeasure's SCPI helpers, id reads *IDN?,
check_errors the error queue (SYST:ERR?), complete waits with *OPC?, clear sends ECLEAR and reset
homes the instrument: Kestrune answers *CLS, *RST and *STB? as unknown commands.
"""

import time

from pymeasure.adapters import VISAAdapter
from pymeasure.instruments import Instrument

from .client import ENCODING, KestruneError, ListOutcome, ScanOutcome


def _unknown_or(convert):
    def process(value):
        return None if value in ("NONE", "IDLE") else convert(value)

    return process


def _numbers(values):
    return tuple(values) if isinstance(values, list) else (values,)


def _integers(values):
    return tuple(int(v) for v in _numbers(values))


class Kestrune(Instrument):
    """Kestrune's remote port: the pass band, positions, table limits, scans and band lists."""

    version = Instrument.measurement("VER", """The program's version, e.g. 'Kestrune v1.0'.""")
    complete = Instrument.measurement(
        "*OPC?", """1 once no scan runs: the reply waits for a running scan's end.""",
        cast=int)
    device = Instrument.measurement(
        "DEVICE", """SEARCHING, STARTING, or 'READY <model> <serial> <range>'.""")
    scanning = Instrument.measurement(
        "STATE", """True while a scan runs.""", get_process=lambda v: v == "SCAN")
    band = Instrument.control(
        "GETC", "SETC %.1f %.1f",
        """(cwl, fwhm) in nm of the last confirmed move, None while unknown; setting it moves
        the instrument.""",
        separator=" ", get_process=_unknown_or(_numbers))
    edges = Instrument.control(
        "GETR", "SETR %.1f %.1f",
        """(sw, lw) in nm of the current band, None while unknown; setting it moves the
        instrument.""",
        separator=" ", get_process=_unknown_or(_numbers))
    positions = Instrument.measurement(
        "GETP", """The three axis positions last reported, None without an instrument.""",
        separator=" ", get_process=_unknown_or(_integers))
    limits = Instrument.measurement(
        "LIMITS", """(min CW, max CW, CW step, FWHM 1, ... FWHM n) of the table, or None.""",
        separator=" ", get_process=_unknown_or(_numbers))
    progress = Instrument.measurement(
        "PROGRESS", """(moved, total, cwl, fwhm) of the running scan, None when none runs.""",
        separator=" ", get_process=_unknown_or(lambda v: (int(v[0]), int(v[1]), v[2], v[3])))

    def __init__(self, adapter, name="Kestrune wave selector", timeout=10000, **kwargs):
        if isinstance(adapter, str):
            adapter = VISAAdapter(adapter, visa_library="@py", read_termination="\r",
                                  write_termination="\r", timeout=timeout)
            # This PyMeasure's adapter drops an encoding argument; the signs need the code page.
            adapter.connection.encoding = ENCODING
        super().__init__(adapter, name, includeSCPI=False, **kwargs)

    def write(self, command):
        """Sends a command and takes its reply; a FAIL reply raises KestruneError."""
        self._request(command)

    def _request(self, command, entry=None):
        reply = self.adapter.ask(command).strip("\r")
        if reply.endswith("FAIL") or reply == "UNKNOWN COMMAND":
            code, text = self.ask("ECODE"), self.ask("ETEXT")
            raise KestruneError(command, reply, code, text, entry)
        return reply

    @property
    def id(self):
        """'Kestrune,<model>,<serial>,1.0'; model and serial are 0 until the instrument is
        ready."""
        return self.ask("*IDN?")

    def check_errors(self):
        """Empties the error queue: [(number, text)], oldest first, e.g.
        [(203, 'ERRSE03 : Out of range. Please set [CWL] \u2265 563.5')]; [] when empty."""
        errors = []
        while True:
            number, _, text = self.ask("SYST:ERR?").partition(",")
            if int(number) == 0:
                return errors
            errors.append((int(number), text.strip('"')))

    def clear(self):
        """Clears the last outcome and the error queue."""
        self.ask("ECLEAR")

    def limits_for(self, fwhm):
        """(min CW, max CW) settable with this FWHM, or None."""
        return _unknown_or(_numbers)(self.values("LIMITS %.1f" % fwhm, separator=" "))

    def scan(self, start, end, fwhm, step, delay):
        self.write("SCAN %.1f %.1f %.1f %.1f %.1f" % (start, end, fwhm, step, delay))

    def stop(self):
        self.write("STOP")

    def reset(self):
        self.write("RESET")

    def wait_for_scan(self, timeout, poll=0.1):
        """Waits for the running scan to end and returns its ScanOutcome; on a time-out it
        stops the scan and raises TimeoutError."""
        return self._wait_for_end(timeout, poll, "the scan", ScanOutcome)

    def _wait_for_end(self, timeout, poll, what, outcome):
        # A scan and a band-list run both show in PROGRESS until they end.
        deadline = time.monotonic() + timeout
        while self.progress is not None:
            if time.monotonic() > deadline:
                self.ask("STOP")
                raise TimeoutError(f"{what} did not end within {timeout} s; stopped")
            time.sleep(poll)
        return outcome(self.ask("ECODE"), self.ask("ETEXT"))

    def load_list(self, entries):
        """Replaces the band list with these (cwl, fwhm, dwell) entries; a refused one raises
        KestruneError naming it (.entry, from 1)."""
        self.write("LISTCLEAR")
        for k, (cwl, fwhm, dwell) in enumerate(entries, start=1):
            self._request("LISTADD %.1f %.1f %.1f" % (cwl, fwhm, dwell), k)

    @property
    def band_list(self):
        """The band list as [(cwl, fwhm, dwell), ...]."""
        count = int(self.ask("LIST"))
        return [_numbers(self.values("LIST %d" % k, separator=" ")) for k in range(1, count + 1)]

    def run_list(self, cycles=1):
        self.write("RUNLIST %d" % cycles)

    def step_list(self, cycles=1):
        self.write("STEPLIST %d" % cycles)

    def next(self):
        """Moves a stepped run on: the point reached (from 1), or None after the last one."""
        reply = self._request("NEXT")
        return None if reply == "NEXT END" else int(reply.split(" ")[2])

    def wait_for_list(self, timeout, poll=0.1):
        """Waits for the running band list to end and returns its ListOutcome; on a time-out it
        stops the run and raises TimeoutError."""
        return self._wait_for_end(timeout, poll, "the band list", ListOutcome)

    def shutdown(self):
        """Stops a running scan and closes the connection."""
        if self.ask("STATE") != "IDLE":
            self.ask("STOP")
        self.adapter.connection.close()
        super().shutdown()
