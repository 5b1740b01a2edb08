#!/usr/bin/python3
"""Drives Kestrune over its remote-control port with PyVISA and its pure-Python backend.

Identifies the program, sets a pass band, runs a scan, waits for the scan to end and reads the
last error code and text. Exits with 0 when the band was set and the scan succeeded.

    /usr/bin/python3 remote_lab_client.py --port 5050 --band 600.0 5.0 \
        --scan 580.0 610.0 5.0 10.0 1.0
"""

import argparse
import sys
import time

import pyvisa


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=5050)
    parser.add_argument("--band", nargs=2, default=["600.0", "5.0"], metavar=("CWL", "FWHM"))
    parser.add_argument("--scan", nargs=5, default=["580.0", "610.0", "5.0", "10.0", "1.0"],
                        metavar=("START", "END", "FWHM", "STEP", "DELAY"))
    parser.add_argument("--scan-timeout", type=float, default=600.0,
                        help="seconds to wait for the scan to end")
    args = parser.parse_args()

    manager = pyvisa.ResourceManager("@py")
    # Replies end with CR alone. Texts with comparison signs carry them as code-page-949 byte
    # pairs, which this encoding turns back into the signs.
    filter_ = manager.open_resource(f"TCPIP::{args.host}::{args.port}::SOCKET",
                                    read_termination="\r", write_termination="\r",
                                    encoding="cp949", timeout=10000)

    def ask(line):
        reply = filter_.query(line)
        print(f"> {line}\n< {reply}", flush=True)
        return reply

    def last_error():
        return ask("ECODE"), ask("ETEXT")

    try:
        ask("VER")
        if ask("SETC " + " ".join(args.band)) != "SETC OK":
            print("band not set: %s : %s" % last_error())
            return 1
        if ask("SCAN " + " ".join(args.scan)) != "SCAN OK":
            print("scan refused: %s : %s" % last_error())
            return 1
        # ETEXT stays empty while the scan runs and then holds its outcome. STATE would answer
        # too, but it replaces the outcome that the scan leaves for ECODE and ETEXT.
        deadline = time.monotonic() + args.scan_timeout
        while not (outcome := ask("ETEXT")):
            if time.monotonic() > deadline:
                ask("STOP")
                print("scan did not end in time; stopped")
                return 1
            time.sleep(0.2)
        code = ask("ECODE")
        ask("STATE")
        print(f"scan ended: {code} : {outcome}")
        return 0 if outcome == "Scan successful." else 1
    finally:
        filter_.close()
        manager.close()


if __name__ == "__main__":
    sys.exit(main())
