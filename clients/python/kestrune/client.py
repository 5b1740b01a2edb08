"""A client of Kestrune's remote port on the standard library alone.

Requests and replies are lines ended by CR, one reply per request. Texts carry the comparison
signs as the code-page byte pairs 0xA1 0xC3 (≥) and 0xA1 0xC2 (≤); every reply is decoded with
that code page, which leaves ASCII as it is.
"""

import socket
import time
from typing import Callable, Iterable, List, NamedTuple, Optional, Tuple

ENCODING = "cp949"


def decode_line(raw: bytes) -> str:
    """A reply line without its CR, the comparison signs decoded."""
    return raw.decode(ENCODING, errors="replace")


class KestruneError(Exception):
    """A command that Kestrune refused, with the code and text it left for ECODE and ETEXT."""

    def __init__(self, command: str, reply: str, code: str, text: str,
                 entry: Optional[int] = None):
        where = "" if entry is None else f"band-list entry {entry}: "
        super().__init__(f"{where}{command!r} answered {reply!r}: {code} : {text}")
        self.command = command
        self.reply = reply
        self.code = code
        self.text = text
        self.entry = entry  # the refused entry of a band list, counted from 1


class Device(NamedTuple):
    state: str  # SEARCHING, STARTING or READY
    model: Optional[str] = None
    serial: Optional[str] = None
    range: Optional[Tuple[float, float]] = None


class Limits(NamedTuple):
    min_cw: float
    max_cw: float
    cw_step: float
    fwhms: Tuple[float, ...]


class Progress(NamedTuple):
    moved: int  # points moved to so far
    total: int  # points the plan visits
    cwl: float  # band of the current point
    fwhm: float


class ScanOutcome(NamedTuple):
    code: str
    text: str

    @property
    def succeeded(self) -> bool:
        return self.text == "Scan successful."


class ListOutcome(NamedTuple):
    code: str
    text: str

    @property
    def succeeded(self) -> bool:
        return self.text == "Band list finished."


Band = Tuple[float, float, float]  # a band-list entry: cwl and fwhm in nm, dwell in s


def _nm(value: float) -> str:
    return f"{float(value):.1f}"


class Client:
    """One connection to Kestrune; it serves one client at a time.

    Every call raises socket.timeout (a TimeoutError) when no reply comes within `timeout`
    seconds, and ConnectionError when Kestrune closes the connection. `trace`, when given, is
    called with each request and its reply.
    """

    def __init__(self, host: str = "127.0.0.1", port: int = 5050, timeout: float = 10.0,
                 trace: Optional[Callable[[str, str], None]] = None):
        self._socket = socket.create_connection((host, port), timeout=timeout)
        self._socket.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self._pending = b""
        self._trace = trace
        self._read_back = None

    def close(self) -> None:
        self._socket.close()

    def __enter__(self) -> "Client":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def query(self, line: str) -> str:
        """Sends one request and returns its reply line."""
        self._socket.sendall(line.encode(ENCODING) + b"\r")
        while b"\r" not in self._pending:
            chunk = self._socket.recv(4096)
            if not chunk:
                raise ConnectionError("Kestrune closed the connection")
            self._pending += chunk
        raw, self._pending = self._pending.split(b"\r", 1)
        reply = decode_line(raw)
        if self._trace:
            self._trace(line, reply)
        return reply

    # The last outcome.
    @property
    def error(self) -> Tuple[str, str]:
        return self.query("ECODE"), self.query("ETEXT")

    def clear_error(self) -> None:
        self.query("ECLEAR")

    def _command(self, line: str, success, entry: Optional[int] = None) -> str:
        """Sends the line; a reply that does not start with `success` (a text or a tuple of
        texts) raises KestruneError."""
        reply = self.query(line)
        if not reply.startswith(success):
            code, text = self.error
            raise KestruneError(line, reply, code, text, entry)
        return reply

    # Commands.
    @property
    def version(self) -> str:
        return self.query("VER")

    @property
    def scanning(self) -> bool:
        return self.query("STATE") == "SCAN"

    def set_band(self, cwl: float, fwhm: float) -> None:
        self._command(f"SETC {_nm(cwl)} {_nm(fwhm)}", "SETC OK")

    def set_edges(self, sw: float, lw: float) -> None:
        self._command(f"SETR {_nm(sw)} {_nm(lw)}", "SETR OK")

    def scan(self, start: float, end: float, fwhm: float, step: float, delay: float) -> None:
        # Asked before the scan: on a Kestrune without them, the probe replaces the last outcome.
        self.has_read_back
        self._command(f"SCAN {_nm(start)} {_nm(end)} {_nm(fwhm)} {_nm(step)} {_nm(delay)}",
                      "SCAN OK")

    def stop(self) -> None:
        self._command("STOP", "STOP OK")

    def reset(self) -> None:
        self._command("RESET", "RESET OK")

    # The band list.
    def load_list(self, entries: Iterable[Band]) -> None:
        """Replaces the band list with these (cwl, fwhm, dwell) entries. Each is checked as it
        comes; a refused one raises KestruneError naming it (.entry, from 1), and the list then
        holds the entries before it."""
        self._command("LISTCLEAR", "LISTCLEAR OK")
        for k, (cwl, fwhm, dwell) in enumerate(entries, start=1):
            self._command(f"LISTADD {_nm(cwl)} {_nm(fwhm)} {_nm(dwell)}", "LISTADD OK", k)

    @property
    def band_list(self) -> List[Band]:
        count = int(self.query("LIST"))
        return [self._numbers(f"LIST {k}") for k in range(1, count + 1)]

    def run_list(self, cycles: int = 1) -> None:
        """Starts a timed run: each entry held for its dwell, `cycles` times over."""
        self._command(f"RUNLIST {int(cycles)}", "RUNLIST OK")

    def step_list(self, cycles: int = 1) -> None:
        """Starts a stepped run; returns once the filter stands at the first entry."""
        self._command(f"STEPLIST {int(cycles)}", "STEPLIST OK")

    def next(self) -> Optional[int]:
        """Moves a stepped run on; returns the point (from 1, across cycles) once the filter
        stands there, or None after the last point, which ends the run."""
        reply = self._command("NEXT", ("NEXT OK ", "NEXT END"))
        return None if reply == "NEXT END" else int(reply.split(" ")[2])

    @property
    def list_running(self) -> bool:
        return self.query("STATE") == "LIST"

    def wait_for_list(self, timeout: float, poll: float = 0.1) -> ListOutcome:
        """Waits for the running band list to end and returns its outcome; on a time-out the
        run is stopped and TimeoutError raised."""
        deadline = time.monotonic() + timeout
        while self.progress is not None:
            if time.monotonic() > deadline:
                self.query("STOP")
                raise TimeoutError(f"the band list did not end within {timeout} s; stopped")
            time.sleep(poll)
        return ListOutcome(*self.error)

    # Read-backs.
    @property
    def has_read_back(self) -> bool:
        """Whether this Kestrune answers the read-back requests (DEVICE, GETC, ...)."""
        if self._read_back is None:
            self._read_back = self.query("DEVICE") != "UNKNOWN COMMAND"
        return self._read_back

    @property
    def device(self) -> Device:
        fields = self.query("DEVICE").split(" ")
        if fields[0] != "READY":
            return Device(fields[0])
        low, _, high = fields[3].partition("-")
        return Device("READY", fields[1], fields[2], (float(low), float(high)))

    def _numbers(self, line: str, cast=float) -> Optional[tuple]:
        reply = self.query(line)
        return None if reply == "NONE" else tuple(cast(f) for f in reply.split(" "))

    @property
    def band(self) -> Optional[Tuple[float, float]]:
        """(cwl, fwhm) of the last confirmed move; None while it is unknown."""
        return self._numbers("GETC")

    @property
    def edges(self) -> Optional[Tuple[float, float]]:
        return self._numbers("GETR")

    @property
    def positions(self) -> Optional[Tuple[int, int, int]]:
        return self._numbers("GETP", int)

    def limits(self, fwhm: Optional[float] = None):
        """The table's Limits, or with a FWHM the (min, max) CW settable with it; None when
        there is no table or no such column."""
        if fwhm is not None:
            return self._numbers(f"LIMITS {_nm(fwhm)}")
        numbers = self._numbers("LIMITS")
        return None if numbers is None else Limits(numbers[0], numbers[1], numbers[2],
                                                   numbers[3:])

    @property
    def progress(self) -> Optional[Progress]:
        """Where the running scan stands; None when no scan runs."""
        reply = self.query("PROGRESS")
        if reply == "IDLE":
            return None
        moved, total, cwl, fwhm = reply.split(" ")
        return Progress(int(moved), int(total), float(cwl), float(fwhm))

    def wait_for_scan(self, timeout: float, poll: float = 0.1) -> ScanOutcome:
        """Waits for the running scan to end and returns its outcome; on a time-out the scan is
        stopped and TimeoutError raised. A Kestrune without the read-backs is watched through
        ETEXT, which stays empty while a scan runs."""
        deadline = time.monotonic() + timeout
        while self.progress is not None if self.has_read_back else not self.query("ETEXT"):
            if time.monotonic() > deadline:
                self.query("STOP")
                raise TimeoutError(f"the scan did not end within {timeout} s; stopped")
            time.sleep(poll)
        return ScanOutcome(*self.error)
