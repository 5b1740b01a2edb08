#!/usr/bin/python3
"""A Tango read of cwl beside a direct GETC, in one run: kestrune with kestrune-sim as its
instrument (as the Python driver's tests start them), first GETC round trips on Kestrune's own
port, then reads of the KestruneFilter device's cwl through a DeviceProxy, without a Tango
database. The device answers from the read-backs it polls every 200 ms, so a read measures
Tango's own path, not a trip to Kestrune.

    bench/tango_read_bench.py BUILD_DIR [READS]
"""

import os
import statistics
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path[:0] = [str(HERE.parent / "clients/python"), str(HERE.parent / "clients/python/tests")]

from tango import DevState  # noqa: E402
from tango.test_context import DeviceTestContext  # noqa: E402

from conftest import Rig  # noqa: E402
from kestrune.tango import KestruneFilter  # noqa: E402


def timed(action, count):
    times = []
    for _ in range(count):
        start = time.perf_counter()
        action()
        times.append(time.perf_counter() - start)
    times.sort()
    return statistics.median(times) * 1e6, times[int(0.99 * (count - 1))] * 1e6


def main():
    build = Path(sys.argv[1]).resolve()
    reads = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    os.environ["KESTRUNE_EXE"] = str(build / "bin/kestrune")
    os.environ["KESTRUNE_SIM"] = str(build / "bin/kestrune-sim")
    with tempfile.TemporaryDirectory() as folder:
        rig = Rig(Path(folder))
        try:
            rig.client.set_band(600.0, 5.0)
            getc = timed(lambda: rig.client.query("GETC"), reads)
            rig.client.close()
            with DeviceTestContext(KestruneFilter, properties={"Port": rig.port},
                                   process=True, timeout=60) as proxy:
                while proxy.state() != DevState.ON:
                    time.sleep(0.05)
                cwl = timed(lambda: proxy.read_attribute("cwl"), reads)
        finally:
            rig.close()
    print(f"{reads} reads each, median / p99 in microseconds")
    print(f"GETC on Kestrune's port   {getc[0]:8.1f} {getc[1]:8.1f}")
    print(f"Tango read of cwl         {cwl[0]:8.1f} {cwl[1]:8.1f}")


if __name__ == "__main__":
    main()
