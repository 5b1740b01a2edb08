"""The real kestrune with kestrune-sim as its instrument, one start per test module.

The test command passes the two programs in KESTRUNE_EXE and KESTRUNE_SIM. The program runs from
a folder of its own, as an installation does; the simulator is that folder's Ports/COM1.
"""

import os
import shutil
import signal
import socket
import subprocess
import time
from pathlib import Path

import pytest

from kestrune import Client

START_TIMEOUT = 60.0


def _free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def _until(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError(what)
        time.sleep(0.05)


class Rig:
    def __init__(self, folder: Path):
        self.folder = folder
        self.port = _free_port()
        (folder / "Ports").mkdir()
        (folder / "RedeRedirada.ini").write_bytes(
            b"[Info]\r\nType=Kestrune v1\r\n[Remote]\r\nPortNum=%d\r\n" % self.port)
        exe = folder / "kestrune"
        shutil.copy2(os.environ["KESTRUNE_EXE"], exe)
        self.sim = subprocess.Popen(
            [os.environ["KESTRUNE_SIM"], "--folder", str(folder) + "/", "--port", "1",
             "--install-cal", "--fast", "--range", "563.5-645.0"],
            stdout=subprocess.PIPE, text=True)
        _until(lambda: "READY" in self.sim.stdout.readline(), START_TIMEOUT, "simulator")
        self.exe = exe
        self.start_program()
        self.client = _until(self._connect, START_TIMEOUT, "remote port")
        _until(lambda: self.client.device.state == "READY", START_TIMEOUT, "instrument ready")

    def start_program(self):
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        self.program = subprocess.Popen([str(self.exe)], cwd="/", env=env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop_program(self):
        """Ends the program as the system does; its clients lose their connection."""
        self.program.terminate()
        self.program.wait(timeout=30)

    def _connect(self):
        try:
            return Client("127.0.0.1", self.port, timeout=10.0)
        except OSError:
            return None

    def reconnect(self):
        """A new client once the program serves it: the program serves one client at a time,
        and closes a newcomer's connection until it has seen the previous client leave."""
        def served():
            client = self._connect()
            if client is None:
                return None
            try:
                client.query("VER")
                return client
            except (ConnectionError, TimeoutError):
                client.close()
                return None
        self.client = _until(served, START_TIMEOUT, "a new client served")

    def pymeasure_instrument(self):
        """The PyMeasure class in place of the rig's client, once the program serves it: the
        program closes a newcomer's connection until it has seen the previous client leave."""
        from pyvisa.errors import VisaIOError

        from kestrune.pymeasure import Kestrune

        self.client.close()

        def served():
            instrument = None
            try:
                instrument = Kestrune(f"TCPIP::127.0.0.1::{self.port}::SOCKET")
                instrument.ask("VER")
                return instrument
            except (OSError, VisaIOError):  # reset or closed: the previous client is still there
                if instrument is not None:
                    # Not shutdown(): it would ask the program first, on a dead connection.
                    instrument.adapter.connection.close()
                return None
        return _until(served, START_TIMEOUT, "the PyMeasure instrument served")

    def unplug(self, plugged: bool):
        self.sim.send_signal(signal.SIGUSR2 if plugged else signal.SIGUSR1)

    def close(self):
        self.client.close()
        for process in (self.program, self.sim):
            if process.poll() is None:
                process.terminate()
                process.wait(timeout=30)


@pytest.fixture(scope="module")
def rig(tmp_path_factory):
    started = Rig(tmp_path_factory.mktemp("kestrune"))
    yield started
    started.close()
