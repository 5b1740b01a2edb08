"""Kestrune as a Tango device, on Debian's python3-tango (PyTango 9.3):

    python3 -m kestrune.tango <instance>

Kestrune serves one remote client; this device holds that one connection and lets any number of
Tango clients share the instrument. A poller reads Kestrune's read-backs every 200 ms for State,
the attributes and their change events, and reconnects by itself; every request goes through one
lock, so each reply belongs to its request. Moves and resets run in the background, as Tango
motors do, so that no client waits into its time-out: State is MOVING until they end.
"""

import math
import threading
import time

from tango import AttrQuality, AttrWriteType, DevState, EnsureOmniThread, Except
from tango.server import Device, attribute, command, device_property, run

from .client import Client

POLL_SECONDS = 0.2
REPLY_TIMEOUT = 30.0  # a move or a homing answers when it has ended


def _nm(value):
    return f"{float(value):.1f}"


def _latin1(text):
    """Tango strings are single bytes: the comparison signs of Kestrune's texts become the
    ASCII pairs that its message bar shows."""
    return text.replace("\u2265", ">=").replace("\u2264", "<=")


def _fail(reason, description):
    Except.throw_exception(reason, _latin1(description), "KestruneFilter")


class KestruneFilter(Device):
    """A motorised tunable band-pass filter driven through Kestrune's remote port."""

    Host = device_property(dtype=str, default_value="127.0.0.1")
    Port = device_property(dtype=int, default_value=5050)

    def init_device(self):
        super().init_device()
        self._lock = threading.Lock()  # one request and its reply at a time
        # A command's requests, or one round of read-backs, as a whole: the poller must not
        # take a scan for ended between its start and its reply.
        self._sequence = threading.RLock()
        self._client = None
        self._stopping = threading.Event()
        self._busy = None  # "move" or "run" while one is under way
        self._alarm = None  # "<code> : <text>" of the last failure, until the next command
        self._device = ("SEARCHING",)
        self._band = self._edges = self._positions = self._progress = None
        self._table = None  # (min CW, max CW, CW step, FWHM columns)
        self._reason = "not connected yet"
        self._last_error = ""
        self._list_length = 0
        self._list_run = False
        for name in ("State", "cwl", "fwhm"):
            self.set_change_event(name, True, False)
        self._set_state(DevState.INIT)
        self._poller = threading.Thread(target=self._poll, daemon=True)
        self._poller.start()

    def delete_device(self):
        self._stopping.set()
        self._poller.join(timeout=5)
        self._disconnect()

    # --- The connection.

    def _ask(self, line):
        """One request and its reply; a lost connection raises ConnectionError or OSError."""
        with self._lock:
            if self._client is None:
                self._client = Client(self.Host, self.Port, timeout=REPLY_TIMEOUT)
                # Kestrune closes a newcomer's connection while it serves another client.
                if self._client.query("VER") != "Kestrune v1.0":
                    raise ConnectionError("the program on the port is not Kestrune")
            return self._client.query(line)

    def _disconnect(self):
        with self._lock:
            if self._client is not None:
                self._client.close()
                self._client = None

    def _request(self, line):
        """_ask for a Tango command: an unreachable Kestrune is a DevFailed."""
        try:
            return self._ask(line)
        except OSError as error:  # ConnectionError and socket.timeout included
            self._disconnect()
            _fail("KestruneUnreachable", f"Kestrune at {self.Host}:{self.Port}: {error}")

    def _refuse(self, line, reply):
        code, text = self._request("ECODE"), self._request("ETEXT")
        self._last_error = f"{code} : {text}"
        self._show_status()
        _fail(code or "NONE", text or f"{line} answered {reply}")

    def _command(self, line, success):
        """A command that Kestrune answers at once; a refusal raises DevFailed(code, text)."""
        self._alarm = None
        reply = self._request(line)
        if reply != success and not reply.startswith(success + " "):
            self._refuse(line, reply)
        return reply

    # --- The poller.

    def _poll(self):
        with EnsureOmniThread():
            while not self._stopping.wait(POLL_SECONDS):
                if self._busy == "move":
                    continue  # the connection waits for the move's reply
                try:
                    with self._sequence:
                        self._read_back()
                except (OSError, ValueError, IndexError) as error:
                    # A reply that does not parse means the replies are out of step with the
                    # requests: a new connection puts them right.
                    self._disconnect()
                    self._reason = f"Kestrune cannot be reached at {self.Host}:{self.Port}: {error}"
                    self._set_state(DevState.FAULT)

    def _numbers(self, line, cast=float):
        reply = self._ask(line)
        return None if reply in ("NONE", "IDLE") else tuple(cast(f) for f in reply.split(" "))

    def _read_back(self):
        self._device = tuple(self._ask("DEVICE").split(" "))
        old, band = self._band, self._numbers("GETC")
        self._edges = self._numbers("GETR")
        self._positions = self._numbers("GETP", int)
        self._progress = self._numbers("PROGRESS")
        if self._device[0] == "READY" and self._table is None:
            self._read_table()
        elif self._device[0] != "READY":
            self._table = None
        self._band = band
        for index, name in enumerate(("cwl", "fwhm")):
            value = band[index] if band else math.nan
            if value != (old[index] if old else math.nan):  # nan differs from itself: pushed
                self.push_change_event(name, value)
        if self._busy == "run" and not self._run_goes_on():
            self._end_run()
        self._set_state(self._state_from_read_backs())

    def _read_table(self):
        limits = self._numbers("LIMITS")
        if limits is None:
            return
        self._table = (limits[0], limits[1], limits[2], limits[3:])
        for name, low, high in (("cwl", limits[0], limits[1]),
                                ("fwhm", min(limits[3:]), max(limits[3:]))):
            config = self.get_device_attr().get_w_attr_by_name(name)
            config.set_min_value(low)
            config.set_max_value(high)

    def _run_goes_on(self):
        if self._progress is not None:
            return True
        # A band-list run shows in STATE only; STATE replaces the last outcome, so a run's
        # error is read from the error queue, which the command start emptied.
        return self._list_run and self._ask("STATE") == "LIST"

    def _end_run(self):
        self._busy = None
        if self._list_run:
            errors = self._drain_errors()
            if errors:
                self._alarm = errors[-1]
        else:
            code, text = self._ask("ECODE"), self._ask("ETEXT")
            if code.startswith("ERR"):
                self._alarm = f"{code} : {text}"
        if self._alarm:
            self._last_error = self._alarm

    def _drain_errors(self):
        errors = []
        while True:
            number, _, text = self._ask("SYST:ERR?").partition(",")
            if number == "0" or not number.lstrip("-").isdigit():
                return errors
            errors.append(text.strip('"'))

    def _state_from_read_backs(self):
        if self._device[0] != "READY":
            self._reason = "Kestrune is looking for the instrument or starting it"
            return DevState.INIT
        if self._busy == "run":
            self._reason = "a scan or band-list run goes on"
            return DevState.RUNNING
        if self._alarm:
            self._reason = f"the last move or run failed: {self._alarm}"
            return DevState.ALARM
        self._reason = f"ready: {' '.join(self._device[1:])}"
        return DevState.ON

    def _show_status(self):
        status = f"{self._reason}."
        if self._last_error:
            status += f" Kestrune's last error: {self._last_error}"
        self.set_status(_latin1(status))

    def _set_state(self, state):
        self._show_status()
        if state != self.get_state():
            self.set_state(state)
            self.push_change_event("State", state)

    # --- Background moves.

    def _start_move(self, line, success, within_run=False):
        """within_run: a step of the stepped band-list run, which goes on after it."""
        if self._busy and not (within_run and self._busy == "run" and self._list_run):
            _fail("Busy", f"the filter is busy with a {self._busy}")
        if self.get_state() in (DevState.FAULT, DevState.INIT):
            _fail("NotReady", self.get_status())
        self._alarm = None
        after = self._busy
        self._busy = "move"
        self._set_state_now(DevState.MOVING, f"{line} runs")
        threading.Thread(target=self._move, args=(line, success, after), daemon=True).start()

    def _set_state_now(self, state, reason):
        self._reason = reason
        self._set_state(state)

    def _move(self, line, success, after):
        with EnsureOmniThread():
            try:
                reply = self._ask(line)
                if not reply:
                    # Refused at Kestrune's link test or busy lock, which leave no outcome.
                    self._alarm = f"{line} was not carried out: the instrument was busy or lost"
                elif not reply.startswith(success):
                    code, text = self._ask("ECODE"), self._ask("ETEXT")
                    self._alarm = self._last_error = f"{code} : {text}"
            except OSError as error:
                self._disconnect()
                self._alarm = f"the connection was lost during {line}: {error}"
            finally:
                self._busy = after
            try:
                with self._sequence:
                    self._read_back()
            except (OSError, ValueError, IndexError):
                self._disconnect()  # the poller reports it

    def _check_band(self, cwl, fwhm, line):
        """A band the loaded table cannot give is sent at once, so that Kestrune's refusal with
        its code and text comes back before anything moves; the table is the one LIMITS
        describes. A band it can give is left for the background move."""
        table = self._table
        settable = table is not None and fwhm in table[3]
        if settable:
            low, high = self._numbers(f"LIMITS {_nm(fwhm)}") or (math.inf, -math.inf)
            steps = (cwl - table[0]) / table[2]
            settable = low <= cwl <= high and abs(steps - round(steps)) < 1e-6
        if not settable:
            self._command(line, line.split(" ")[0] + " OK")
            self._read_back()  # the table was wrong: Kestrune has moved
            return False
        return True

    def _move_to(self, cwl, fwhm, line, command):
        if self._busy:
            _fail("Busy", f"the filter is busy with a {self._busy}")
        cwl, fwhm = round(cwl, 1), round(fwhm, 1)
        with self._sequence:
            if self._check_band(cwl, fwhm, line):
                self._start_move(line, command + " OK")

    # --- Attributes.

    def _band_value(self, index):
        if self._band is None:
            return math.nan, time.time(), AttrQuality.ATTR_INVALID
        return self._band[index]

    @attribute(dtype=float, access=AttrWriteType.READ_WRITE, unit="nm", format="%.1f",
               doc="Centre wavelength; writing it moves there with the current FWHM")
    def cwl(self):
        return self._band_value(0)

    @cwl.write
    def cwl(self, value):
        if self._band is None:
            _fail("BandUnknown", "the current FWHM is unknown; use SetBand")
        self.SetBand([value, self._band[1]])

    @attribute(dtype=float, access=AttrWriteType.READ_WRITE, unit="nm", format="%.1f",
               doc="Full width at half maximum; writing it moves there with the current CWL")
    def fwhm(self):
        return self._band_value(1)

    @fwhm.write
    def fwhm(self, value):
        if self._band is None:
            _fail("BandUnknown", "the current CWL is unknown; use SetBand")
        self.SetBand([self._band[0], value])

    @attribute(dtype=float, unit="nm", format="%.1f", doc="Short edge of the pass band")
    def sw(self):
        return (math.nan, time.time(), AttrQuality.ATTR_INVALID) if self._edges is None \
            else self._edges[0]

    @attribute(dtype=float, unit="nm", format="%.1f", doc="Long edge of the pass band")
    def lw(self):
        return (math.nan, time.time(), AttrQuality.ATTR_INVALID) if self._edges is None \
            else self._edges[1]

    @attribute(dtype=(int,), max_dim_x=3, doc="The three axis positions last reported")
    def positions(self):
        return list(self._positions or ())

    @attribute(dtype=str)
    def model(self):
        return self._device[1] if self._device[0] == "READY" else ""

    @attribute(dtype=str)
    def serial(self):
        return self._device[2] if self._device[0] == "READY" else ""

    @attribute(dtype=str, doc="The instrument's range, e.g. 400.0-800.0")
    def wavelength_range(self):
        return self._device[3] if self._device[0] == "READY" else ""

    @attribute(dtype=(float,), max_dim_x=4,
               doc="k, n, cwl, fwhm of the running scan: points moved to, points in all, "
                   "the current band; empty when none runs")
    def progress(self):
        return list(self._progress or ())

    @attribute(dtype=int, doc="Rows of the loaded band list")
    def list_length(self):
        reply = self._request("LIST")
        if reply == "UNKNOWN COMMAND":
            _fail("Unsupported", "this Kestrune has no band lists")
        self._list_length = int(reply)
        return self._list_length

    # --- Commands.

    @command(dtype_in=(float,), doc_in="[cwl, fwhm] in nm")
    def SetBand(self, band):
        cwl, fwhm = band
        self._move_to(cwl, fwhm, f"SETC {_nm(cwl)} {_nm(fwhm)}", "SETC")

    @command(dtype_in=(float,), doc_in="[sw, lw] in nm")
    def SetEdges(self, edges):
        sw, lw = edges
        self._move_to((lw + sw) / 2, lw - sw, f"SETR {_nm(sw)} {_nm(lw)}", "SETR")

    @command
    def Reset(self):
        self._start_move("RESET", "RESET OK")

    @command(dtype_in=(float,), doc_in="[start, end, fwhm, step, dwell] in nm and s")
    def Scan(self, plan):
        self._start_run(f"SCAN {' '.join(_nm(v) for v in plan)}", "SCAN OK", list_run=False)

    @command
    def Stop(self):
        if self._busy == "move":
            _fail("Busy", "a move runs; it cannot be stopped")
        with self._sequence:
            self._command("STOP", "STOP OK")

    @command(dtype_in=(float,), doc_in="[cwl, fwhm, dwell, ...]: one row per three values")
    def LoadList(self, rows):
        if len(rows) % 3:
            _fail("BadList", "the list needs three values per row: cwl, fwhm, dwell")
        with self._sequence:
            self._command("LISTCLEAR", "LISTCLEAR OK")
            for i in range(0, len(rows), 3):
                self._command(f"LISTADD {' '.join(_nm(v) for v in rows[i:i + 3])}",
                              "LISTADD OK")
        self._list_length = len(rows) // 3

    @command(dtype_in=int, doc_in="cycles through the list")
    def RunList(self, cycles):
        self._start_run(f"RUNLIST {cycles}", "RUNLIST OK", list_run=True)

    @command(dtype_in=int, doc_in="cycles through the list, one row per Next")
    def StepList(self, cycles):
        self._start_run(f"STEPLIST {cycles}", "STEPLIST OK", list_run=True)

    @command
    def Next(self):
        if self._busy == "run" and self._list_run:
            self._start_move("NEXT", ("NEXT OK", "NEXT END"), within_run=True)
        else:  # without a stepped run Kestrune refuses it at once, with its code and text
            with self._sequence:
                self._command("NEXT", "NEXT OK")

    def _start_run(self, line, success, list_run):
        if self._busy:
            _fail("Busy", f"the filter is busy with a {self._busy}")
        with self._sequence:
            self._drain_errors_for_command()
            self._command(line, success)
            self._list_run = list_run
            self._busy = "run"
            self._set_state_now(DevState.RUNNING, f"{line} runs")

    def _drain_errors_for_command(self):
        try:
            self._drain_errors()
        except OSError as error:
            self._disconnect()
            _fail("KestruneUnreachable", f"Kestrune at {self.Host}:{self.Port}: {error}")


def main(args=None):
    run((KestruneFilter,), args=args)


if __name__ == "__main__":
    main()
