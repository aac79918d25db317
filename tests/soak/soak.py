#!/usr/bin/env python3
"""Soak run: many connections against one running player with the plug-in.

Starts the stand-in player through the end-to-end harness (native or Wine, chosen as there by
VELVOX_E2E_TARGET, VELVOX_HOST and VELVOX_MODULE) with the example web root and runs phases:

  idle    N sockets from A client addresses (127.0.0.x, x from 2) connect and send nothing;
          while they are held open a normal page is asked from 127.0.0.1 (the probe), and the
          player's thread count and resident memory are read; then, when --deadline is given,
          the run waits past it and counts the idle sockets the server closed.
  burst   B connections at once (spread over the addresses), each sends a request and reads
          its reply to the end; repeated R times. Every reply must be the probe page's bytes
          (Date value masked) unless --allow-closed, where a connection closed without a
          reply is counted instead; a connection that got neither is lost.
  slow    S connections ask for a 16 MiB file and read nothing for --slow-seconds (the
          player's send blocks); the probe must still be answered meanwhile; with
          --send-timeout, the server must have closed them after it.
  reset   S connections ask for the file, read a few bytes and reset the connection.

At the end the probe runs again and the player's memory is compared with its level after the
first burst. Prints one "figure" line per measurement and a closing "N passed, N failed" line;
exits 1 when a check failed. Every wait is bounded; the player is always stopped.

    soak.py --quick                 the short run registered in ctest (label soak, well under
                                    a minute; deadline and send time-out set to 2 s)
    soak.py --idle 2000 --addresses 1 --hold 5
    soak.py --idle 5000 --addresses 200
    soak.py --bursts 500 --burst-size 1000 --addresses 20 --allow-closed
"""

import argparse
import os
import resource
import selectors
import socket
import struct
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "e2e"))

import harness  # noqa: E402
import replies  # noqa: E402

PROBE_TARGET = "/"
SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                   "WARNING: ThreadSanitizer")
PROBE_LIMIT_S = 1.0


class Checks:
    """Counts checks and prints each failure as it happens."""

    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, ok, text):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print("FAILED: " + text, flush=True)
        return ok


def figure(name, value):
    print("figure %s %s" % (name, value), flush=True)


def client_address(i, count):
    """The i-th client address of count: 127.0.0.2 onwards (127.0.0.1 is the probe's)."""
    n = 2 + (i % count)
    return "127.0.%d.%d" % (n // 256, n % 256) if n >= 256 else "127.0.0.%d" % n


BIG_FILE = "/big.mp3"
BIG_SIZE = 16 << 20  # more than the loopback's send and receive buffers hold


def web_files():
    """The example web root's files plus a big file for the slow readers."""
    root = os.path.join(harness.EXAMPLES_DIR, "web")
    files = {}
    for name in os.listdir(root):
        if not os.path.isfile(os.path.join(root, name)):
            continue  # the skin's vendor/ folder: nothing the soak asks for
        with open(os.path.join(root, name), "rb") as f:
            files[name] = f.read()
    files[BIG_FILE[1:]] = b"m" * BIG_SIZE
    return files


def request_bytes(target=PROBE_TARGET):
    return ("GET %s HTTP/1.0\r\nHost: soak\r\n\r\n" % target).encode()


def fetch(port, source="127.0.0.1", timeout=10.0):
    """One whole request from source; returns (reply bytes, seconds taken)."""
    start = time.monotonic()
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.settimeout(timeout)
        s.bind((source, 0))
        s.connect(("127.0.0.1", port))
        s.sendall(request_bytes())
        chunks = []
        while True:
            data = s.recv(65536)
            if not data:
                break
            chunks.append(data)
    return b"".join(chunks), time.monotonic() - start


def process_id(player):
    """The process that runs the plug-in: the player itself, or under Wine the process whose
    command line names the player program and this run's module."""
    if harness.TARGET.name != "wine":
        return player.process.pid
    name = os.path.basename(harness.TARGET.host).encode()
    own = os.path.basename(player.dir).encode()  # in the module's path: this run's player
    best = None
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                cmdline = f.read()
        except OSError:
            continue
        if name in cmdline and own in cmdline and b"winedbg" not in cmdline:
            best = int(entry) if best is None else max(best, int(entry))
    return best


def proc_status(pid):
    """(threads, resident KiB) of the process."""
    threads = rss = 0
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("Threads:"):
                threads = int(line.split()[1])
            elif line.startswith("VmRSS:"):
                rss = int(line.split()[1])
    return threads, rss


def open_idle(port, count, addresses):
    """count connected sockets that send nothing, spread over the client addresses."""
    sockets = []
    for i in range(count):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.bind((client_address(i, addresses), 0))
        s.settimeout(10.0)
        s.connect(("127.0.0.1", port))
        s.setblocking(False)
        sockets.append(s)
    return sockets


def count_closed(sockets):
    """How many of the sockets the server has closed (end of stream or reset)."""
    closed = 0
    for s in sockets:
        try:
            if s.recv(1) == b"":
                closed += 1
        except BlockingIOError:
            pass
        except OSError:
            closed += 1
    return closed


def run_burst(port, size, addresses, timeout):
    """size connections at once, each sends a request and reads to the end.
    Returns the list of replies (b"" for closed without a reply, None for lost)."""
    sel = selectors.DefaultSelector()
    replies_by_index = [None] * size
    buffers = {}
    for i in range(size):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setblocking(False)
        s.bind((client_address(i, addresses), 0))
        s.connect_ex(("127.0.0.1", port))
        buffers[s] = (i, [], False)
        sel.register(s, selectors.EVENT_WRITE)
    deadline = time.monotonic() + timeout
    while buffers and time.monotonic() < deadline:
        for key, mask in sel.select(timeout=0.5):
            s = key.fileobj
            i, chunks, sent = buffers[s]
            if not sent:
                try:
                    s.sendall(request_bytes())
                    buffers[s] = (i, chunks, True)
                    sel.modify(s, selectors.EVENT_READ)
                except OSError:
                    finish(sel, buffers, s, replies_by_index, b"")
                continue
            try:
                data = s.recv(65536)
            except BlockingIOError:
                continue
            except OSError:
                data = b""
            if data:
                chunks.append(data)
            else:
                finish(sel, buffers, s, replies_by_index, b"".join(chunks))
    for s in list(buffers):
        sel.unregister(s)
        s.close()
    sel.close()
    return replies_by_index


def finish(sel, buffers, s, results, reply):
    i = buffers.pop(s)[0]
    sel.unregister(s)
    s.close()
    results[i] = reply


def hold_unread(port, count, addresses):
    """count connections that ask for the page and then read nothing."""
    held = []
    for i in range(count):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        s.bind((client_address(i, addresses), 0))
        s.settimeout(10.0)
        s.connect(("127.0.0.1", port))
        s.sendall(request_bytes(BIG_FILE))
        held.append(s)
    return held


def count_closed_draining(sockets):
    """How many of the sockets reach their end of stream (or a reset) once what was
    already sent to them is read."""
    closed = 0
    for s in sockets:
        s.settimeout(2.0)
        received = 0
        try:
            while received <= BIG_SIZE:
                data = s.recv(1 << 20)
                if not data:
                    closed += 1
                    break
                received += len(data)
        except socket.timeout:
            pass
        except OSError:
            closed += 1
    return closed


def reset_mid_reply(port, count, addresses):
    for i in range(count):
        with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
            s.bind((client_address(i, addresses), 0))
            s.settimeout(10.0)
            s.connect(("127.0.0.1", port))
            s.sendall(request_bytes(BIG_FILE))
            try:
                s.recv(16)
            except OSError:
                pass
            s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))


def probe(checks, port, expected, label):
    reply, seconds = fetch(port)
    figure("probe_seconds_" + label, "%.3f" % seconds)
    checks.check(replies.masked(reply) == expected, "%s: probe reply differs" % label)
    checks.check(seconds < PROBE_LIMIT_S, "%s: probe took %.3f s" % (label, seconds))


def phase_idle(checks, args, player, pid, expected):
    sockets = open_idle(player.port, args.idle, args.addresses)
    try:
        time.sleep(args.hold)
        probe(checks, player.port, expected, "idle")
        threads, rss = proc_status(pid)
        figure("idle_sockets", len(sockets))
        figure("idle_threads", threads)
        figure("idle_rss_kib", rss)
        if args.max_threads:
            checks.check(threads < args.max_threads, "idle: %d threads" % threads)
        if args.max_rss_mib:
            checks.check(rss < args.max_rss_mib * 1024, "idle: %d KiB resident" % rss)
        if args.deadline:
            time.sleep(max(0.0, args.deadline + 2.0 - args.hold))
            closed = count_closed(sockets)
            figure("idle_closed_after_deadline", closed)
            checks.check(closed == len(sockets), "idle: %d of %d sockets closed after the "
                         "deadline" % (closed, len(sockets)))
    finally:
        for s in sockets:
            s.close()


def phase_burst(checks, args, player, expected):
    lost = closed = wrong = 0
    for _ in range(args.bursts):
        for reply in run_burst(player.port, args.burst_size, args.addresses, args.timeout):
            if reply is None:
                lost += 1
            elif reply == b"":
                closed += 1
            elif replies.masked(reply) != expected:
                wrong += 1
    total = args.bursts * args.burst_size
    figure("burst_connections", total)
    figure("burst_closed_without_reply", closed)
    checks.check(lost == 0, "burst: %d of %d connections neither answered nor closed"
                 % (lost, total))
    checks.check(wrong == 0, "burst: %d replies differ from the page" % wrong)
    if not args.allow_closed:
        checks.check(closed == 0, "burst: %d connections closed without a reply" % closed)


def phase_slow_and_reset(checks, args, player, expected):
    held = hold_unread(player.port, args.slow, args.addresses)
    try:
        time.sleep(args.slow_seconds)
        probe(checks, player.port, expected, "slow")
        if args.send_timeout:
            # A buffer that started out before the time-out may take it once more.
            time.sleep(2 * args.send_timeout + 3.0)
            closed = count_closed_draining(held)
            figure("slow_closed_after_send_timeout", closed)
            checks.check(closed == len(held), "slow: %d of %d readers closed after the send "
                         "time-out" % (closed, len(held)))
    finally:
        for s in held:
            s.close()
    reset_mid_reply(player.port, args.resets, args.addresses)
    probe(checks, player.port, expected, "reset")


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--quick", action="store_true", help="the short run for ctest")
    p.add_argument("--idle", type=int, default=2000)
    p.add_argument("--addresses", type=int, default=1)
    p.add_argument("--hold", type=float, default=3.0, help="seconds idle before the probe")
    p.add_argument("--deadline", type=float, default=0.0,
                   help="the waiting room's deadline in force (0: do not check closing)")
    p.add_argument("--send-timeout", type=float, default=0.0,
                   help="the send time-out in force (0: do not check closing)")
    p.add_argument("--bursts", type=int, default=3)
    p.add_argument("--burst-size", type=int, default=1000)
    p.add_argument("--allow-closed", action="store_true")
    p.add_argument("--slow", type=int, default=50)
    p.add_argument("--slow-seconds", type=float, default=3.0)
    p.add_argument("--resets", type=int, default=200)
    p.add_argument("--timeout", type=float, default=60.0, help="seconds for one burst")
    p.add_argument("--max-threads", type=int, default=0)
    p.add_argument("--max-rss-mib", type=int, default=0)
    p.add_argument("--memory-slack-mib", type=int, default=16)
    p.add_argument("--set", action="append", default=[], metavar="KEY=VALUE",
                   help="a plugin.ini key for the player")
    p.add_argument("--skip", action="append", default=[], help="idle, burst, slow")
    args = p.parse_args(argv)
    if args.quick:
        args.idle, args.addresses, args.hold, args.bursts = 300, 6, 1.0, 3
        args.burst_size, args.slow, args.slow_seconds, args.resets = 150, 20, 1.0, 50
        args.deadline = args.send_timeout = 2.0
        args.set += ["WaitDeadlineSeconds=2", "SendTimeoutSeconds=2"]
        args.max_threads = args.max_threads or 300
    return args


def main(argv):
    args = parse_args(argv)
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    settings = dict(kv.split("=", 1) for kv in args.set)
    checks = Checks()
    with harness.Player(web_files=web_files(), settings=settings, timeout=60) as player:
        pid = process_id(player)
        expected = replies.masked(fetch(player.port)[0])
        checks.check(expected.startswith(b"HTTP/1."), "the page is not served")
        if "idle" not in args.skip:
            phase_idle(checks, args, player, pid, expected)
        if "burst" not in args.skip:
            phase_burst(checks, args, player, expected)
        level = proc_status(pid)[1]
        figure("rss_kib_after_first_phases", level)
        if "slow" not in args.skip:
            phase_slow_and_reset(checks, args, player, expected)
        if "burst" not in args.skip:
            phase_burst(checks, args, player, expected)
        probe(checks, player.port, expected, "end")
        threads, rss = proc_status(pid)
        figure("end_threads", threads)
        figure("end_rss_kib", rss)
        checks.check(rss <= level + args.memory_slack_mib * 1024,
                     "memory grew from %d to %d KiB" % (level, rss))
        checks.check(player.process.poll() is None, "the player ended")
        errors = player.stderr_text()
        checks.check(not any(mark in errors for mark in SANITIZER_MARKS),
                     "a sanitizer reported:\n" + errors[-4000:])
    print("%d passed, %d failed" % (checks.passed, checks.failed), flush=True)
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
