"""End-to-end harness: runs the stand-in player with the plug-in loaded and talks to it.

Every end-to-end test of the project uses this module (Python 3, standard library only).
Each player runs in a fresh temporary folder holding a COPY of the plug-in module and its own
plugin.ini, so quit never rewrites a file of the source tree; the player is always killed at the
end, and every wait has a time-out, so a test stops by itself.

Environment (set by tests/e2e/CMakeLists.txt):
    VELVOX_E2E_TARGET   native (default): velvox-host + libvelvox.so
                        wine: velvox-host.exe + gen_velvox.dll run under wine
    VELVOX_WINE         wine target: the wine command (default wine; wine64 for the 64-bit
                        build, set by tests/wine/wine-session.sh)
    VELVOX_WINE_TOOLS   wine target: the folder of the Windows-side test tools
                        (fault_plugin.dll, a plug-in whose init faults)
    VELVOX_HOST         the player program
    VELVOX_MODULE       the plug-in module
    VELVOX_E2E_NOEXPORT_MODULE  a loadable module without the export (native)
    VELVOX_E2E_KEEP=1   keep the temporary folders (their paths go to stderr)

API (stable; tests rely on it):

    SOURCE_DIR, EXAMPLES_DIR          the source tree and its examples/ folder
    VERSION                           the project's version (project() in CMakeLists.txt)
    DEMO_SMALL                        examples/demo-small.m3u (10 entries)
    TARGET                            the selected Target (see below)
    INI_KEYS                          the eight keys of plugin.ini, in file order
    HarnessError                      raised for every failure the harness sees (an
                                      AssertionError, so unittest reports a failure)
    free_port() -> int                a port that was free a moment ago (bound to 0, closed)
    wait_for_port(port, timeout=10)   returns once 127.0.0.1:port accepts; raises on time-out
    get(port, target) -> bytes        the whole reply to "GET target HTTP/1.0" on 127.0.0.1:port
    write_playlist(path, entries)     writes an M3U; entries are (title, seconds) or file names
    run_host(args, cwd, stdin_text="", timeout=20) -> (returncode, stdout, stderr)
                                      runs the player once to its end (for exit statuses)
    parse_status(line) -> dict        "ok pos=.. state=.. ..." -> {pos, state, elapsed_ms,
                                      length_s, title} (numbers as int)

    Player(playlist=DEMO_SMALL, entries=None, settings=None, write_ini=True, web_files=None,
           web_root=None, clock="manual", speed=None, trace=False, announce=False,
           extra_args=(), wait_port=None, timeout=10, movable_clock=False)
        Starts the player and waits for "ready" (and, when the plug-in is enabled, for its port).
        playlist: an M3U path; entries: a list as for write_playlist (written to the temp dir
        and used instead). settings: plugin.ini keys overriding the harness defaults, which are
        bDisabled=FALSE, Port=<free port>, WebRoot=<temp web root>, Playlistfile="",
        AdminPassword="", g_MaxRequestsPerIP=3, g_MaxEntries=25, g_MaxQueueSize=50; a value of
        None leaves the key out. write_ini=False writes no plugin.ini at all (defaults in force).
        web_files: {relative path: str or bytes} written under the temp web root (a folder
        "web" in the temp dir); web_root: an existing folder to serve instead (e.g.
        EXAMPLES_DIR + "/web"). wait_port: wait for the server's port (default: when the
        settings enable the plug-in). movable_clock: move_clock works (libfaketime; the test is
        skipped on wine or without it). Use as a context manager, or call close().
      attributes: dir (temp folder), web_root, port (int from the settings, or None),
                  ini_path, module_path, playlist_path, process, stdout_lines (every line so far)
      cmd(line, timeout=None) -> str     sends one console line; returns its answer (the next
                                         stdout line that is "ok..." or "error..."); other lines
                                         are skipped (kept in stdout_lines)
      status() -> dict                   parse_status(cmd("status"))
      move_clock(seconds)                puts the player's calendar seconds ahead of real time
      http_get(target, headers=None, timeout=None, source=None) -> bytes
                                         "GET target HTTP/1.0" over a raw socket to
                                         127.0.0.1:port; headers: dict or list of (name, value)
                                         or of whole lines; returns every byte until the
                                         server closes the connection. source: the client's
                                         address, e.g. "127.0.0.2" (any of 127.0.0.0/8 on
                                         Linux); default: the system's choice (127.0.0.1)
      http_raw(data, timeout=None, source=None) -> bytes  sends data as is; returns the
                                         whole reply
      send_line(line)                    writes one console line without waiting
      read_answer(timeout=None) -> str   the next answer line not yet returned (after
                                         send_line, or for a command answered late)
      wait_for_output(regex, start=0, timeout=None) -> str
                                         the first stdout line at index >= start matching
                                         regex (re.search); raises on time-out
      quit(timeout=None) -> int          sends quit, expects "ok", returns the exit status
      wait_exit(timeout=None) -> int     waits for the process to end by itself
      signal_stop()                      asks the player to stop as Ctrl-C would (SIGINT)
      read_ini() -> dict                 plugin.ini beside the module copy: {key: value}
      stderr_text() -> str               everything written to stderr so far
      trace_lines() -> [(msg, wparam, lparam)]  the "trace" lines of stderr, as ints
      player_path(path) -> str           a host path as the player sees it (see Target)
      close()                            kills the player if it still runs; removes the temp dir

    Target (TARGET): everything that differs between native and wine runs, in one place:
      name, module_name, command(args) -> argv, player_path(path) -> str, separator,
      start_timeout (the least time given to a player to print "ready"),
      no_export_module() -> a module without the export, as the player sees its path,
      env() -> dict
"""

import os
import queue
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))
EXAMPLES_DIR = os.path.join(SOURCE_DIR, "examples")
DEMO_SMALL = os.path.join(EXAMPLES_DIR, "demo-small.m3u")
with open(os.path.join(SOURCE_DIR, "CMakeLists.txt"), encoding="utf-8") as _cmake:
    VERSION = re.search(r"^project\(velvox VERSION ([0-9.]+)", _cmake.read(), re.M).group(1)

DEFAULT_TIMEOUT = 10.0
# libfaketime's library for programs with threads, as Debian installs it.
FAKETIME_LIBRARY = "/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1"
INI_KEYS = ("bDisabled", "WebRoot", "Port", "Playlistfile", "AdminPassword",
            "g_MaxRequestsPerIP", "g_MaxEntries", "g_MaxQueueSize")


class HarnessError(AssertionError):
    """A failure of the player as seen by the harness (reported as a test failure)."""


# ---------------------------------------------------------------------------------------------
# Targets: how the player is started and how it sees paths.


class NativeTarget:
    """velvox-host and libvelvox.so, run directly."""

    name = "native"
    module_name = "libvelvox.so"
    separator = "/"
    start_timeout = DEFAULT_TIMEOUT

    def __init__(self):
        self.host = _required_env("VELVOX_HOST")
        self.module = _required_env("VELVOX_MODULE")

    def command(self, args):
        return [self.host] + list(args)

    def player_path(self, path):
        return os.path.abspath(path)

    def no_export_module(self):
        return _required_env("VELVOX_E2E_NOEXPORT_MODULE")

    def env(self):
        return dict(os.environ)


class WineTarget:
    """velvox-host.exe and gen_velvox.dll under wine.

    Paths handed to the player (command line, console, plugin.ini) are converted with
    `winepath -w`, so they use backslash separators and a drive letter.
    """

    name = "wine"
    module_name = "gen_velvox.dll"
    separator = "\\"
    # A Wine process (and the desktop process its first window starts) is ready in 1 to 2 s,
    # but took more than 10 s on a machine loaded by other work.
    start_timeout = 30.0

    def __init__(self):
        self.host = _required_env("VELVOX_HOST")
        self.module = _required_env("VELVOX_MODULE")
        self.wine = os.environ.get("VELVOX_WINE", "wine")

    def command(self, args):
        return [self.wine, self.host] + list(args)

    def player_path(self, path):
        # winepath.exe through the session's loader: the winepath command would pick the
        # 32-bit Wine even where only wine64 runs.
        out = subprocess.run([self.wine, "winepath.exe", "-w", os.path.abspath(path)],
                             capture_output=True, text=True, timeout=60, env=self.env())
        if out.returncode == 0 and out.stdout.strip():
            return out.stdout.strip()
        raise HarnessError("winepath -w %s failed (exit %d): %s"
                           % (path, out.returncode, out.stderr.strip()))

    def no_export_module(self):
        # Any Windows system library loads but does not have the plug-in's export.
        path = os.environ.get("VELVOX_E2E_NOEXPORT_MODULE")
        if path:
            return self.player_path(path)
        return "C:\\windows\\system32\\version.dll"

    def env(self):
        env = dict(os.environ)
        # Wine's own errors only, as in the session: a Wine that cannot start the player
        # says why.
        env.setdefault("WINEDEBUG", "-all,err+all")
        return env


def _required_env(name):
    value = os.environ.get(name)
    if not value:
        raise HarnessError("environment variable %s is not set (run the test through ctest)"
                           % name)
    return value


def _select_target():
    name = os.environ.get("VELVOX_E2E_TARGET", "native")
    if name == "native":
        return NativeTarget()
    if name == "wine":
        return WineTarget()
    raise HarnessError("VELVOX_E2E_TARGET must be native or wine, not %r" % name)


class _LazyTarget:
    """Selects the target at first use, so importing the harness never fails."""

    _target = None

    def __getattr__(self, attr):
        if _LazyTarget._target is None:
            _LazyTarget._target = _select_target()
        return getattr(_LazyTarget._target, attr)


TARGET = _LazyTarget()


# ---------------------------------------------------------------------------------------------
# Helpers without a player.


def free_port():
    """Returns a TCP port that was free on 127.0.0.1 a moment ago."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def get(port, target, timeout=30):
    """Returns the whole reply to "GET target HTTP/1.0" from 127.0.0.1:port."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(b"GET " + target.encode() + b" HTTP/1.0\r\n\r\n")
        return b"".join(iter(lambda: s.recv(65536), b""))


def wait_for_port(port, timeout=DEFAULT_TIMEOUT, process=None):
    """Returns once 127.0.0.1:port accepts a connection; raises HarnessError on time-out or
    when process (if given) has ended."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1.0):
                return
        except OSError:
            pass
        if process is not None and process.poll() is not None:
            raise HarnessError("the player ended (status %s) before port %d accepted"
                               % (process.returncode, port))
        if time.monotonic() >= deadline:
            raise HarnessError("port %d did not accept within %.1f s" % (port, timeout))
        time.sleep(0.05)


def write_playlist(path, entries):
    """Writes an M3U file. Each entry is (title, seconds) (written with #EXTINF and a made-up
    file name) or a plain string (a file line without #EXTINF)."""
    lines = ["#EXTM3U"]
    for i, entry in enumerate(entries):
        if isinstance(entry, str):
            lines.append(entry)
        else:
            title, seconds = entry
            lines.append("#EXTINF:%d,%s" % (seconds, title))
            lines.append("music/track-%03d.mp3" % i)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    return path


def run_host(args, cwd, stdin_text="", timeout=20):
    """Runs the player with args (already converted paths) until it ends.
    Returns (returncode, stdout, stderr) as text."""
    out = subprocess.run(TARGET.command(args), cwd=cwd, input=stdin_text, capture_output=True,
                         text=True, timeout=timeout, env=TARGET.env())
    return out.returncode, out.stdout.replace("\r\n", "\n"), out.stderr.replace("\r\n", "\n")


_STATUS = re.compile(r"^ok pos=(-?\d+) state=(playing|paused|stopped) elapsed_ms=(-?\d+) "
                     r"length_s=(-?\d+) title=(.*)$")


def parse_status(line):
    """Parses a status answer into {pos, state, elapsed_ms, length_s, title}."""
    m = _STATUS.match(line)
    if not m:
        raise HarnessError("not a status answer: %r" % line)
    return {"pos": int(m.group(1)), "state": m.group(2), "elapsed_ms": int(m.group(3)),
            "length_s": int(m.group(4)), "title": m.group(5)}


def _is_answer(line):
    return line == "ok" or line.startswith("ok ") or line.startswith("error")


# ---------------------------------------------------------------------------------------------
# The player.


class Player:
    """One running stand-in player with the plug-in loaded; see the module documentation."""

    def __init__(self, playlist=DEMO_SMALL, entries=None, settings=None, write_ini=True,
                 web_files=None, web_root=None, clock="manual", speed=None, trace=False,
                 announce=False, extra_args=(), wait_port=None, timeout=DEFAULT_TIMEOUT,
                 movable_clock=False):
        self.timeout = timeout
        self.process = None
        self.stdout_lines = []
        self._answer_cursor = 0
        self._lines_changed = threading.Condition()
        self._stdout_done = False
        self._stderr_file = None
        self.dir = tempfile.mkdtemp(prefix="velvox-e2e-")
        try:
            self._env = self._clock_env() if movable_clock else TARGET.env()
            self._prepare(playlist, entries, settings, write_ini, web_files, web_root)
            self._args = self._arguments(clock, speed, trace, announce, extra_args)
            enabled = self._settings is not None and self._settings.get("bDisabled") == "FALSE"
            self._wait_port = enabled if wait_port is None else wait_port
            self._start_with_retries()
        except BaseException:
            self.close()
            raise

    # -- set-up --------------------------------------------------------------------------

    def _prepare(self, playlist, entries, settings, write_ini, web_files, web_root):
        self.module_path = os.path.join(self.dir, TARGET.module_name)
        shutil.copyfile(TARGET.module, self.module_path)
        if web_root is None:
            web_root = os.path.join(self.dir, "web")
            os.makedirs(web_root)
        self.web_root = web_root
        for rel, content in (web_files or {}).items():
            path = os.path.join(web_root, *rel.split("/"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            data = content.encode("utf-8") if isinstance(content, str) else content
            with open(path, "wb") as f:
                f.write(data)
        if entries is not None:
            playlist = write_playlist(os.path.join(self.dir, "playlist.m3u"), entries)
        self.playlist_path = playlist
        self.ini_path = os.path.join(self.dir, "plugin.ini")
        self._auto_port = False
        self._settings = None
        self.port = None
        if write_ini:
            values = {"bDisabled": "FALSE", "Port": None, "WebRoot": self.player_path(web_root),
                      "Playlistfile": "", "AdminPassword": "", "g_MaxRequestsPerIP": "3",
                      "g_MaxEntries": "25", "g_MaxQueueSize": "50"}
            values.update(settings or {})
            if "Port" not in (settings or {}):
                self._auto_port = True
                values["Port"] = str(free_port())
            self._settings = values
            self._write_ini()

    def _write_ini(self):
        lines = ["[HTTP Request]"]
        for key, value in self._settings.items():
            if value is not None:
                lines.append("%s=%s" % (key, value))
        with open(self.ini_path, "w", encoding="utf-8", newline="\r\n") as f:
            f.write("\n".join(lines) + "\n")
        port = self._settings.get("Port")
        m = re.match(r"\s*(\d+)", port or "")
        self.port = int(m.group(1)) if m else None

    def _arguments(self, clock, speed, trace, announce, extra_args):
        args = ["--plugin", self.player_path(self.module_path)]
        if clock is not None:
            args += ["--clock", clock]
        if speed is not None:
            args += ["--speed", str(speed)]
        if trace:
            args.append("--trace")
        if announce:
            args.append("--announce")
        args += list(extra_args)
        if self.playlist_path is not None:
            args.append(self.player_path(self.playlist_path))
        return args

    def _start_with_retries(self):
        # A port picked by free_port() can be taken by someone else before the plug-in binds
        # it; the plug-in then serves nothing, so start again on another port.
        attempts = 3 if self._auto_port else 1
        for attempt in range(attempts):
            self._start()
            if not self._wait_port:
                return
            try:
                wait_for_port(self.port, max(self.timeout, TARGET.start_timeout), self.process)
                return
            except HarnessError as failed:
                if attempt + 1 == attempts or self.process.poll() is not None:
                    raise HarnessError("%s (attempt %d; the player's output: %r; stderr: %r)" % (
                        failed, attempt + 1, self.stdout_lines[-20:],
                        self.stderr_text().strip()[-2000:])) from None
                self._kill()
                self._settings["Port"] = str(free_port())
                self._write_ini()

    def _start(self):
        self._stderr_path = os.path.join(self.dir, "stderr.txt")
        self._stderr_file = open(self._stderr_path, "wb")
        process = subprocess.Popen(
            TARGET.command(self._args), cwd=self.dir, stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=self._stderr_file, env=self._env)
        with self._lines_changed:
            self.process = process
            self.stdout_lines = []
            self._answer_cursor = 0
            self._stdout_done = False
        threading.Thread(target=self._read_stdout, args=(process,), daemon=True).start()
        self.wait_for_output(r"^ready$", timeout=max(self.timeout, TARGET.start_timeout))
        self._answer_cursor = len(self.stdout_lines)

    def _read_stdout(self, process):
        # A player killed for a retry keeps its reader until its pipe ends: it must not
        # touch the lines of the next one.
        try:
            for raw in process.stdout:
                line = raw.decode("utf-8", "replace").rstrip("\r\n")
                with self._lines_changed:
                    if process is not self.process:
                        return
                    self.stdout_lines.append(line)
                    self._lines_changed.notify_all()
        except (OSError, ValueError):
            pass  # the pipe was closed by _kill
        with self._lines_changed:
            if process is self.process:
                self._stdout_done = True
            self._lines_changed.notify_all()

    def _clock_env(self):
        if TARGET.name != "native" or not os.path.exists(FAKETIME_LIBRARY):
            raise unittest.SkipTest("a movable clock needs the native player and libfaketime")
        linked = subprocess.run(["ldd", TARGET.host], capture_output=True, text=True).stdout
        if "libasan" in linked or "libtsan" in linked:
            raise unittest.SkipTest("a sanitizer's runtime refuses the preloaded clock library")
        self._clock_file = os.path.join(self.dir, "faketime")
        self.move_clock(0)
        # Only the calendar moves: the steady clock of time-outs keeps running as it does.
        return dict(TARGET.env(), LD_PRELOAD=FAKETIME_LIBRARY, FAKETIME_NO_CACHE="1",
                    FAKETIME_TIMESTAMP_FILE=self._clock_file, FAKETIME_DONT_FAKE_MONOTONIC="1")

    def move_clock(self, seconds):
        """Sets the calendar clock the player sees to seconds after the real time."""
        with open(self._clock_file, "w") as f:
            f.write("%+d\n" % seconds)

    # -- console -------------------------------------------------------------------------

    def player_path(self, path):
        """Returns path as the player sees it (converted for wine)."""
        return TARGET.player_path(path)

    def send_line(self, line):
        """Writes one console line without waiting for an answer."""
        try:
            self.process.stdin.write((line + "\n").encode("utf-8"))
            self.process.stdin.flush()
        except (BrokenPipeError, OSError) as e:
            raise HarnessError("cannot send %r: the player's input is closed (%s)%s"
                               % (line, e, self._ended_note()))

    def cmd(self, line, timeout=None):
        """Sends one console line and returns its answer line ("ok..." or "error...")."""
        self.send_line(line)
        return self.read_answer(timeout, line)

    def read_answer(self, timeout=None, line=None):
        """Returns the next answer line ("ok..." or "error...") not yet returned."""
        deadline = time.monotonic() + (timeout or self.timeout)
        with self._lines_changed:
            while True:
                while self._answer_cursor < len(self.stdout_lines):
                    candidate = self.stdout_lines[self._answer_cursor]
                    self._answer_cursor += 1
                    if _is_answer(candidate):
                        return candidate
                if self._stdout_done:
                    raise HarnessError("no answer to %r: the player's output ended%s"
                                       % (line, self._ended_note()))
                left = deadline - time.monotonic()
                if left <= 0:
                    raise HarnessError("no answer to %r within the time-out" % line)
                self._lines_changed.wait(left)

    def status(self):
        """Returns the parsed answer to "status"."""
        return parse_status(self.cmd("status"))

    def wait_for_output(self, regex, start=0, timeout=None):
        """Returns the first stdout line at index >= start that matches regex."""
        pattern = re.compile(regex)
        deadline = time.monotonic() + (timeout or self.timeout)
        index = start
        with self._lines_changed:
            while True:
                while index < len(self.stdout_lines):
                    if pattern.search(self.stdout_lines[index]):
                        return self.stdout_lines[index]
                    index += 1
                if self._stdout_done:
                    raise HarnessError("output ended without a line matching %r%s"
                                       % (regex, self._ended_note()))
                left = deadline - time.monotonic()
                if left <= 0:
                    raise HarnessError("no output line matching %r within the time-out" % regex)
                self._lines_changed.wait(left)

    def quit(self, timeout=None):
        """Sends quit, expects "ok" and returns the exit status."""
        answer = self.cmd("quit", timeout)
        if answer != "ok":
            raise HarnessError("quit answered %r" % answer)
        return self.wait_exit(timeout)

    def wait_exit(self, timeout=None):
        """Waits until the player has ended; returns its exit status."""
        try:
            return self.process.wait(timeout or self.timeout)
        except subprocess.TimeoutExpired:
            raise HarnessError("the player did not end within the time-out")

    def signal_stop(self):
        """Asks the player to stop as Ctrl-C would."""
        self.process.send_signal(signal.SIGINT)

    # -- HTTP ----------------------------------------------------------------------------

    def http_get(self, target, headers=None, timeout=None, source=None):
        """Sends "GET target HTTP/1.0" with the given header lines from the client address
        source (default: the system's choice); returns the whole reply."""
        lines = ["GET %s HTTP/1.0" % target]
        if isinstance(headers, dict):
            headers = list(headers.items())
        for h in headers or []:
            lines.append(h if isinstance(h, str) else "%s: %s" % h)
        data = ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1")
        return self.http_raw(data, timeout, source)

    def http_raw(self, data, timeout=None, source=None):
        """Sends data on a new connection to the server from the client address source
        (default: the system's choice); returns every byte until it closes."""
        if self.port is None:
            raise HarnessError("the player has no port in its settings")
        limit = timeout or self.timeout
        deadline = time.monotonic() + limit
        chunks = []
        bind = (source, 0) if source is not None else None
        with socket.create_connection(("127.0.0.1", self.port), timeout=limit,
                                      source_address=bind) as s:
            s.sendall(data)
            while True:
                left = deadline - time.monotonic()
                if left <= 0:
                    raise HarnessError("the server did not close the connection within %.1f s "
                                       "(%d bytes so far)" % (limit, sum(map(len, chunks))))
                s.settimeout(left)
                try:
                    chunk = s.recv(65536)
                except socket.timeout:
                    continue
                except ConnectionResetError:
                    break
                if not chunk:
                    break
                chunks.append(chunk)
        return b"".join(chunks)

    # -- files and diagnostics -----------------------------------------------------------

    def read_ini(self):
        """Returns the keys of plugin.ini's "HTTP Request" section as {key: value}."""
        values = {}
        section = None
        with open(self.ini_path, "r", encoding="utf-8", errors="replace") as f:
            for line in f:
                line = line.strip()
                if line.startswith("[") and line.endswith("]"):
                    section = line[1:-1].strip().lower()
                elif "=" in line and section == "http request":
                    key, value = line.split("=", 1)
                    values[key.strip()] = value.strip()
        return values

    def stderr_text(self):
        """Everything the player wrote to stderr so far."""
        try:
            with open(self._stderr_path, "rb") as f:
                return f.read().decode("utf-8", "replace").replace("\r\n", "\n")
        except (OSError, AttributeError):
            return ""

    def trace_lines(self):
        """The "trace MSG WPARAM LPARAM" lines of stderr as (msg, wparam, lparam) ints."""
        found = []
        for line in self.stderr_text().splitlines():
            m = re.match(r"^trace (\d+) (\d+) (-?\d+)$", line)
            if m:
                found.append((int(m.group(1)), int(m.group(2)), int(m.group(3))))
        return found

    def _ended_note(self):
        if self.process is None or self.process.poll() is None:
            return ""
        return " (exit status %s; stderr: %s)" % (self.process.returncode,
                                                 self.stderr_text().strip()[-2000:])

    # -- tear-down -----------------------------------------------------------------------

    def _kill(self):
        if self.process is not None:
            if self.process.poll() is None:
                self.process.kill()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                pass
            for stream in (self.process.stdin, self.process.stdout):
                try:
                    stream.close()
                except OSError:
                    pass
        if self._stderr_file is not None:
            self._stderr_file.close()

    def close(self):
        """Kills the player when it still runs and removes the temporary folder."""
        self._kill()
        if os.environ.get("VELVOX_E2E_KEEP") == "1":
            sys.stderr.write("velvox e2e: kept %s\n" % self.dir)
        else:
            shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False
