#!/usr/bin/python3
"""Drives Kestrune over its remote-control port with the kestrune Python driver.

Identifies the program, sets a pass band, runs a scan, waits for the scan to end and reads the
last error code and text. Exits with 0 when the band was set and the scan succeeded. Uses the
installed package (pip install --no-build-isolation ./clients/python), or the one beside this
folder.

    /usr/bin/python3 remote_lab_client.py --port 5050 --band 600.0 5.0 \
        --scan 580.0 610.0 5.0 10.0 1.0
"""

import argparse
import sys
from pathlib import Path

try:
    import kestrune
except ImportError:
    sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "clients" / "python"))
    import kestrune


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=5050)
    parser.add_argument("--band", nargs=2, type=float, default=[600.0, 5.0],
                        metavar=("CWL", "FWHM"))
    parser.add_argument("--scan", nargs=5, type=float, default=[580.0, 610.0, 5.0, 10.0, 1.0],
                        metavar=("START", "END", "FWHM", "STEP", "DELAY"))
    parser.add_argument("--scan-timeout", type=float, default=600.0,
                        help="seconds to wait for the scan to end")
    args = parser.parse_args()

    def show(line, reply):
        print(f"> {line}\n< {reply}", flush=True)

    with kestrune.Client(args.host, args.port, timeout=10.0, trace=show) as filter_:
        filter_.version
        try:
            filter_.set_band(*args.band)
        except kestrune.KestruneError as refused:
            print(f"band not set: {refused.code} : {refused.text}")
            return 1
        try:
            filter_.scan(*args.scan)
        except kestrune.KestruneError as refused:
            print(f"scan refused: {refused.code} : {refused.text}")
            return 1
        try:
            outcome = filter_.wait_for_scan(args.scan_timeout)
        except TimeoutError:
            print("scan did not end in time; stopped")
            return 1
        print(f"scan ended: {outcome.code} : {outcome.text}")
        return 0 if outcome.succeeded else 1


if __name__ == "__main__":
    sys.exit(main())
