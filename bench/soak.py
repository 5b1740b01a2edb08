#!/usr/bin/python3
"""Soak driver: remote commands and scans against a running Kestrune, with random faults injected
into the simulated instrument through its control socket, while the program's resident memory and
open descriptors are sampled. scripts/soak.sh sets up the program and the simulator and runs this.

Exits with 0 when every request got its reply, the program stayed up and its memory and
descriptors stayed within the bounds; prints the figures either way.
"""

import argparse
import os
import random
import socket
import sys
import time

# The calibration table of the simulator's range 563.5..645.0: rows every 0.5 nm.
CW_LOW, CW_HIGH = 575.0, 630.0
FWHMS = [3, 5, 10, 15, 20]
# A request whose reply takes longer than this counts as a hang. The longest legitimate waits
# are STOP (3 s) and a move or homing on a slowed instrument.
REPLY_TIMEOUT_S = 20.0


class Remote:
    """One remote-control connection; lines end with CR both ways."""

    def __init__(self, port):
        self.port = port
        self.sock = None
        self.pending = b""

    def connect(self, timeout=30.0):
        deadline = time.monotonic() + timeout
        while True:
            try:
                self.sock = socket.create_connection(("127.0.0.1", self.port), timeout=5)
                self.pending = b""
                return
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.2)

    def close(self):
        if self.sock:
            self.sock.close()
            self.sock = None

    def send_raw(self, data):
        self.sock.sendall(data)

    def ask(self, line, timeout=REPLY_TIMEOUT_S):
        """The reply line without its CR, or None when none came in time or the line broke."""
        if isinstance(line, str):
            line = line.encode("latin-1")
        try:
            self.sock.sendall(line + b"\r")
            deadline = time.monotonic() + timeout
            while b"\r" not in self.pending:
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self.sock.settimeout(left)
                chunk = self.sock.recv(4096)
                if not chunk:
                    return None
                self.pending += chunk
        except OSError:
            return None
        reply, self.pending = self.pending.split(b"\r", 1)
        return reply


class Control:
    """The simulator's control socket: one command line, one reply line."""

    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.settimeout(10)
        self.sock.connect(path)
        self.pending = b""

    def command(self, text):
        self.sock.sendall(text.encode() + b"\n")
        while b"\n" not in self.pending:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise RuntimeError("the simulator closed its control socket")
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        reply = line.decode(errors="replace")
        if not reply.startswith("OK"):
            raise RuntimeError(f"control command {text!r}: {reply}")
        return reply


def sample(pid):
    """(VmRSS in kB, open descriptors) of the process."""
    rss = None
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                rss = int(line.split()[1])
    return rss, len(os.listdir(f"/proc/{pid}/fd"))


def alive(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            return not any(line.startswith("State:") and "Z" in line.split()[1]
                           for line in status)
    except OSError:
        return False


def cw(rnd):
    return rnd.randrange(int(CW_LOW * 2), int(CW_HIGH * 2) + 1) / 2


class Soak:
    def __init__(self, args):
        self.args = args
        self.rnd = random.Random(args.seed)
        self.remote = Remote(args.port)
        self.control = Control(args.control)
        self.stats = {
            "served": 0, "hangs": 0, "unexpected": 0, "scans": 0, "scan_success": 0,
            "scan_fail": 0, "scan_stopped": 0, "scan_refused": 0, "faults": 0, "unplugs": 0,
            "second_clients": 0, "reconnects": 0, "degraded": 0,
        }
        self.problems = []
        self.refusals = {}  # refused scans by error code
        self.plugged = True
        self.fault_until = None  # when the fault in force is switched off again
        # Most faults cost the program its link and a new start-up of some 6 s; a pause between
        # faults leaves it time to work in between.
        self.next_fault = 0.0
        self.fault = "none"  # the fault in force, for the problem reports

    # -- requests -----------------------------------------------------------------------------

    def ask(self, line, allowed=None):
        reply = self.remote.ask(line)
        shown = line if isinstance(line, str) else line[:40].decode("latin-1") + "..."
        if reply is None:
            self.stats["hangs"] += 1
            self.problems.append(f"no reply to {shown!r}")
            # Start afresh: a reply that comes late must not be taken for the next one.
            self.reconnect()
            return None
        self.stats["served"] += 1
        if allowed is not None and reply not in allowed:
            self.stats["unexpected"] += 1
            self.problems.append(f"{shown!r} answered {reply!r}")
        if self.fault_until is not None and time.monotonic() >= self.fault_until:
            self.clear_faults()
        return reply

    def reconnect(self, timeout=30.0):
        """A new connection that the program serves. While it still winds up the previous one
        (a scan being stopped for a client that left), it closes new ones at once."""
        self.remote.close()
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            self.remote.connect()
            if self.remote.ask("VER", timeout=5) == b"Kestrune v1.0":
                self.stats["reconnects"] += 1
                return
            self.remote.close()
            time.sleep(0.3)
        raise RuntimeError("the program serves no new connection")

    def wait_ready(self, timeout):
        """Moves until a move succeeds: the instrument is connected and idle."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.ask("SETC 600.0 5.0") == b"SETC OK":
                return True
            self.recover_degraded()
            time.sleep(0.3)
        return False

    def recover_degraded(self):
        """A fault during the start-up's information or table read leaves the instrument
        connected without its table: every set-point is refused by the table checks, and the
        program makes no new attempt while the link works. Pulling the plug makes it search and
        start up again."""
        if self.fault_until is not None or self.ask("SETC 600.0 5.0") != b"SETC FAIL":
            return
        if not self.ask("ECODE").startswith(b"ERRSE"):
            return
        self.stats["degraded"] += 1
        self.control.command("unplug")
        time.sleep(0.3)
        self.control.command("plug")

    # -- faults -------------------------------------------------------------------------------

    def inject_fault(self):
        if self.fault_until is not None or time.monotonic() < self.next_fault:
            return
        rnd = self.rnd
        # An unplug costs the program a new search and start-up, so it comes less often.
        choice = rnd.choices(["delay", "noise", "echo", "split", "noreply", "crlf", "unplug"],
                             [3, 3, 2, 3, 2, 1, 2])[0]
        if choice == "unplug":
            if not self.plugged:
                self.control.command("plug")
                self.plugged = True
                return
            command = "unplug"
            self.plugged = False
            self.stats["unplugs"] += 1
        elif choice == "delay":
            command = f"delay {rnd.choice([30, 200, 600, 1300])}"
        elif choice == "noise":
            command = f"noise {rnd.randint(1, 40)}"
        elif choice == "split":
            command = f"split {rnd.randint(2, 5)} {rnd.choice([5, 50, 150])}"
        elif choice == "noreply":
            command = f"noreply {rnd.randint(1, 3)}"
        else:
            command = f"{choice} on"
        self.control.command(command)
        self.fault = command
        self.stats["faults"] += 1
        self.fault_until = time.monotonic() + rnd.uniform(0.5, 4.0)

    def clear_faults(self):
        self.control.command("reset")
        self.fault = "none"
        self.fault_until = None
        self.next_fault = time.monotonic() + self.rnd.uniform(1.0, 6.0)
        if not self.plugged:
            self.control.command("plug")
            self.plugged = True

    # -- actions ------------------------------------------------------------------------------

    def do_query(self):
        word = self.rnd.choice(["VER", "STATE", "ECODE", "ETEXT", "ECLEAR", "", "ver", "VER 1"])
        allowed = {"VER": {b"Kestrune v1.0"}, "STATE": {b"IDLE", b"SCAN"},
                   "ECLEAR": {b"OK"}, "ver": {b"UNKNOWN COMMAND"},
                   "VER 1": {b"UNKNOWN COMMAND"}}.get(word)
        self.ask(word, allowed)

    def do_move(self):
        rnd = self.rnd
        centre, width = cw(rnd), rnd.choice(FWHMS)
        if rnd.random() < 0.15:
            # Refused by the set-point checks: off the table's grid or out of its range.
            centre = rnd.choice([centre + 0.3, 700.0, 500.0])
        if rnd.random() < 0.7:
            self.ask(f"SETC {centre:.1f} {width:.1f}")
        else:
            self.ask(f"SETR {centre - width / 2:.2f} {centre + width / 2:.2f}")

    def do_reset(self):
        self.ask("RESET")

    def do_scan(self):
        rnd = self.rnd
        start = cw(rnd)
        points = rnd.randint(1, 4)
        step = rnd.choice([0.5, 1.0, 2.5, 5.0])
        end = min(start + step * (points - 1), CW_HIGH)
        if rnd.random() < 0.3:
            start, end = end, start
        dwell = rnd.choice([0.1, 0.2, 0.3])
        reply = self.ask(f"SCAN {start:.1f} {end:.1f} {rnd.choice(FWHMS[:3]):.1f} "
                         f"{step:.1f} {dwell:.1f}")
        if reply != b"SCAN OK":
            self.stats["scan_refused"] += 1
            # Why: a plan check's code, NONE while the instrument is not ready, or nothing
            # while another operation holds it.
            code = self.ask("ECODE") if reply == b"SCAN FAIL" else b"busy"
            if code is not None:
                key = code.decode("latin-1") or "none"
                self.refusals[key] = self.refusals.get(key, 0) + 1
            if code == b"NONE":
                time.sleep(0.2)  # not ready: the start-up takes seconds
            return
        self.stats["scans"] += 1
        ending = rnd.random()
        if ending < 0.15:
            time.sleep(rnd.uniform(0, 0.5))
            # The abort's outcome is replaced by STOP's own reply; a scan that has just ended
            # leaves STOP nothing to stop.
            if self.ask("STOP", {b"STOP OK", b"STOP FAIL"}) == b"STOP OK":
                self.stats["scan_stopped"] += 1
            return
        elif ending < 0.25:
            # The client goes away in the middle: the program stops the scan itself.
            time.sleep(rnd.uniform(0, 0.5))
            self.reconnect()
            self.ask("STATE", {b"IDLE"})
            return
        deadline = time.monotonic() + 60
        seen = self.fault
        while time.monotonic() < deadline:
            reply = self.ask(b"")
            if reply is None:
                return
            if reply:
                outcome = {b"SCAN SUCCESS": "scan_success",
                           b"SCAN FAIL": "scan_fail"}.get(reply)
                if outcome:
                    self.stats[outcome] += 1
                else:
                    self.stats["unexpected"] += 1
                    self.problems.append(f"scan ended with {reply!r}")
                return
            time.sleep(0.1)
        self.problems.append(f"a scan did not end within 60 s (fault: {self.fault}, STATE "
                             f"{self.remote.ask('STATE')!r}, seen {seen})")
        self.ask("STOP")

    def do_second_client(self):
        other = Remote(self.args.port)
        other.connect()
        other.sock.settimeout(10)
        try:
            data = other.sock.recv(100)  # the server closes it at once, sending nothing
            if data:
                self.problems.append(f"a second client received {data!r}")
        except OSError as error:
            self.problems.append(f"a second client was not closed: {error}")
        other.close()
        self.stats["second_clients"] += 1

    def do_odd_lines(self):
        rnd = self.rnd
        kind = rnd.choice(["long", "split", "blank", "quoted"])
        if kind == "long":
            self.ask(b"A" * rnd.randint(1000, 3000), {b"UNKNOWN COMMAND"})
        elif kind == "split":
            self.remote.send_raw(b"ST")
            time.sleep(0.05)
            self.ask("ATE", {b"IDLE", b"SCAN"})
        elif kind == "blank":
            self.ask(" \t ", {b"UNKNOWN COMMAND"})
        else:
            self.ask(f'SETC,"{cw(rnd):.1f}", 5')

    # -- run ----------------------------------------------------------------------------------

    def run(self):
        args = self.args
        pid = args.pid
        self.remote.connect()
        if not self.wait_ready(90):
            print("the instrument never became ready", file=sys.stderr)
            return 1
        # Warm-up: every kind of request once, so that caches and pools the program fills on
        # first use are in the baseline.
        for action in (self.do_query, self.do_move, self.do_reset, self.do_scan,
                       self.do_second_client, self.do_odd_lines):
            action()
        start_rss, start_fds = sample(pid)
        samples = [(0.0, start_rss, start_fds)]
        began = time.monotonic()
        next_sample = began + args.sample_every
        next_check = began + 10
        actions = [(self.do_query, 30), (self.do_move, 25), (self.do_reset, 5),
                   (self.do_scan, 12), (self.do_second_client, 3), (self.do_odd_lines, 5),
                   (self.inject_fault, 10)]
        functions = [a for a, _ in actions]
        weights = [w for _, w in actions]
        while time.monotonic() - began < args.duration:
            try:
                self.rnd.choices(functions, weights)[0]()
            except (OSError, RuntimeError) as error:
                self.problems.append(f"driver stopped: {error}")
                break
            if not alive(pid):
                self.problems.append("the program ended during the soak")
                break
            if time.monotonic() >= next_check:
                self.recover_degraded()
                next_check = time.monotonic() + 10
            if time.monotonic() >= next_sample:
                rss, fds = sample(pid)
                samples.append((time.monotonic() - began, rss, fds))
                print(f"[{time.monotonic() - began:6.0f} s] served {self.stats['served']} "
                      f"scans {self.stats['scans']} faults {self.stats['faults']} "
                      f"RSS {rss} kB fds {fds}", flush=True)
                next_sample += args.sample_every

        survived = alive(pid)
        if survived:
            # The same state as at the baseline: faults off, instrument in, connected, idle.
            self.clear_faults()
            if not self.wait_ready(90):
                self.problems.append("the instrument was not ready again after the faults")
            time.sleep(1.5)
            end_rss, end_fds = sample(pid)
            samples.append((time.monotonic() - began, end_rss, end_fds))
        else:
            end_rss = end_fds = None
        self.remote.close()

        s = self.stats
        print("\n== soak report ==")
        print(f"duration          {time.monotonic() - began:.0f} s (seed {args.seed})")
        print(f"commands served   {s['served']}  (no reply: {s['hangs']}, "
              f"unexpected replies: {s['unexpected']})")
        print(f"scans             {s['scans']} started: {s['scan_success']} succeeded, "
              f"{s['scan_fail']} failed, {s['scan_stopped']} stopped by STOP, the rest ended by "
              f"their client leaving or a STOP after their end; {s['scan_refused']} refused")
        print("scan refusals      " + ", ".join(f"{code} {n}" for code, n in
                                                sorted(self.refusals.items())))
        print(f"faults injected   {s['faults']} (unplugs {s['unplugs']}); start-ups left without "
              f"their table and re-plugged {s['degraded']}; second clients "
              f"{s['second_clients']}; reconnects {s['reconnects']}")
        print(f"RSS               start {start_rss} kB, end {end_rss} kB, "
              f"max {max(r for _, r, _ in samples)} kB")
        print(f"open descriptors  start {start_fds}, end {end_fds}, "
              f"max {max(f for _, _, f in samples)}")
        failed = False
        if not survived:
            print("FAIL: the program is gone")
            failed = True
        else:
            if end_rss - start_rss > args.rss_growth_kb:
                print(f"FAIL: RSS grew by {end_rss - start_rss} kB (bound {args.rss_growth_kb})")
                failed = True
            if end_fds - start_fds > args.fd_growth:
                print(f"FAIL: descriptors grew by {end_fds - start_fds} (bound {args.fd_growth})")
                failed = True
        if s["hangs"]:
            failed = True
        for problem in self.problems[:20]:
            print("problem:", problem)
        if len(self.problems) > 20:
            print(f"... and {len(self.problems) - 20} more problems")
        if self.problems:
            failed = True
        print("RESULT", "FAIL" if failed else "PASS")
        return 1 if failed else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, required=True, help="the program's remote port")
    parser.add_argument("--control", required=True, help="the simulator's control socket")
    parser.add_argument("--pid", type=int, required=True, help="the program's process id")
    parser.add_argument("--duration", type=float, default=180.0, help="seconds")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--sample-every", type=float, default=30.0, help="seconds")
    parser.add_argument("--rss-growth-kb", type=int, default=8192)
    parser.add_argument("--fd-growth", type=int, default=4)
    return Soak(parser.parse_args()).run()


if __name__ == "__main__":
    sys.exit(main())
