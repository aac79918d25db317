"""A real Music Player Daemon for the tests of `velvox-host --player mpd` (and its benchmark).

MpdServer starts Debian's `mpd` in a temporary folder with its own configuration: a music folder
of short tagged tones made at start with `sox`, the `null` audio output, its database and state
files in the folder, bound to 127.0.0.1 on a free port. MPD's state is read with a few lines of
its text protocol (MpdClient), never through the library the player uses. Every wait has a
time-out; close() stops the daemon and removes the folder.

    Song(file, seconds, artist=None, title=None)   one generated file (tags when given)
    MpdServer(songs)     starts MPD with the songs in its queue in this order
      port, dir, address ("127.0.0.1:PORT")
      command(line) -> [(key, value)]   one command; raises MpdError on an ACK
      status() -> dict, modes() -> dict of single/consume/random/repeat
      wait_for(predicate, timeout)      until predicate(status()) holds; returns that status
      stop(), start()                   stop MPD (it saves its state) and start it again
      played() -> the songs MPD's log names as played (each as it ends, even if MPD hangs)
      wait_played(song, since) -> played()[since:] up to song, once MPD has played song
      close()
    Watcher(server)      records every change of MPD's player state from the moment it starts:
      played() -> song positions in the order they started playing
      wait_played(song) -> played(), once song is the last one that started
      events -> [(monotonic time, state, song position)]
    player_args(server) -> the player's arguments for this MPD
"""

import os
import re
import shutil
import socket
import subprocess
import tempfile
import threading
import time

import harness

TIMEOUT = 10.0


class MpdError(AssertionError):
    """MPD refused a command or did not answer in time."""


class Song:
    def __init__(self, file, seconds, artist=None, title=None):
        self.file, self.seconds, self.artist, self.title = file, seconds, artist, title


def make_tone(path, seconds, artist=None, title=None, frequency=440):
    """Writes a sine tone of the given length with the given tags (sox, Ogg Vorbis or FLAC)."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    comments = []
    for key, value in (("ARTIST", artist), ("TITLE", title)):
        if value is not None:
            comments += ["--add-comment" if comments else "--comment", "%s=%s" % (key, value)]
    subprocess.run(["sox", "-q", "-n", "-r", "22050", "-c", "1"] + comments +
                   [path, "synth", str(seconds), "sine", str(frequency)],
                   check=True, timeout=60)


class MpdClient:
    """One connection speaking MPD's text protocol."""

    def __init__(self, port, timeout=TIMEOUT):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        self.file = self.sock.makefile("rwb")
        greeting = self.file.readline()
        if not greeting.startswith(b"OK MPD "):
            raise MpdError("not MPD: %r" % greeting)

    def command(self, line):
        self.file.write(line.encode("utf-8") + b"\n")
        self.file.flush()
        pairs = []
        while True:
            raw = self.file.readline()
            if not raw:
                raise MpdError("MPD closed the connection during %r" % line)
            text = raw.decode("utf-8").rstrip("\n")
            if text == "OK":
                return pairs
            if text.startswith("ACK"):
                raise MpdError("%s: %s" % (line, text))
            key, _, value = text.partition(": ")
            pairs.append((key, value))

    def close(self):
        for thing in (self.file, self.sock):
            try:
                thing.close()
            except OSError:
                pass


class MpdServer:
    """Debian's mpd in a temporary folder; see the module documentation."""

    def __init__(self, songs):
        self.songs = list(songs)
        self.process = None
        self.dir = tempfile.mkdtemp(prefix="velvox-mpd-")
        try:
            music = os.path.join(self.dir, "music")
            for i, song in enumerate(self.songs):
                make_tone(os.path.join(music, song.file), song.seconds, song.artist,
                          song.title, 330 + 55 * i)
            self.port = harness.free_port()
            self.address = "127.0.0.1:%d" % self.port
            self._write_config(music)
            self.start()
            self._fill_queue()
        except BaseException:
            self.close()
            raise

    def _write_config(self, music):
        path = lambda name: os.path.join(self.dir, name)
        self.config = path("mpd.conf")
        with open(self.config, "w") as f:
            f.write('music_directory "%s"\n' % music)
            for key, name in (("db_file", "database"), ("state_file", "state"),
                              ("log_file", "log"), ("playlist_directory", "playlists")):
                f.write('%s "%s"\n' % (key, path(name)))
            f.write('bind_to_address "127.0.0.1"\nport "%d"\n' % self.port)
            f.write('auto_update "no"\nzeroconf_enabled "no"\n')
            f.write('audio_output {\n  type "null"\n  name "silence"\n}\n')
        os.makedirs(path("playlists"), exist_ok=True)

    def start(self):
        """Starts MPD and waits until it answers."""
        self.stderr = open(os.path.join(self.dir, "stderr.txt"), "ab")
        self.process = subprocess.Popen(["mpd", "--no-daemon", self.config],
                                        stdin=subprocess.DEVNULL, stdout=self.stderr,
                                        stderr=self.stderr)
        deadline = time.monotonic() + TIMEOUT
        while True:
            try:
                self.command("ping")
                return
            except (OSError, MpdError):
                if self.process.poll() is not None or time.monotonic() > deadline:
                    raise MpdError("mpd did not start: %s" % self._log())
                time.sleep(0.05)

    def stop(self):
        """Stops MPD (it writes its state file, as on a shutdown) and waits for its end."""
        if self.process is not None and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(TIMEOUT)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(TIMEOUT)
        if self.process is not None:
            self.stderr.close()

    def _fill_queue(self):
        self.command("update")
        expected = str(len(self.songs))
        deadline = time.monotonic() + TIMEOUT
        while (dict(self.command("stats")).get("songs") != expected or
               "updating_db" in self.status()):
            if time.monotonic() > deadline:
                raise MpdError("the database update did not finish: %s" % self._log())
            time.sleep(0.05)
        self.command("clear")
        for song in self.songs:
            self.command('add "%s"' % song.file)

    def command(self, line):
        client = MpdClient(self.port)
        try:
            return client.command(line)
        finally:
            client.close()

    def status(self):
        return dict(self.command("status"))

    def modes(self):
        status = self.status()
        return {key: status[key] for key in ("single", "consume", "random", "repeat")}

    def wait_for(self, predicate, timeout=TIMEOUT, what="a state"):
        deadline = time.monotonic() + timeout
        while True:
            status = self.status()
            if predicate(status):
                return status
            if time.monotonic() > deadline:
                raise MpdError("MPD did not reach %s within %.1f s: %r" % (what, timeout, status))
            time.sleep(0.02)

    def played(self):
        with open(os.path.join(self.dir, "log"), errors="replace") as f:
            names = re.findall(r'player: played "([^"]*)"', f.read())
        return [[song.file for song in self.songs].index(name) for name in names]

    def wait_played(self, song, since, timeout=20):
        self.wait_for(lambda _: song in self.played()[since:], timeout, "song %d played" % song)
        played = self.played()[since:]
        return played[:played.index(song) + 1]

    def _log(self):
        try:
            with open(os.path.join(self.dir, "log"), errors="replace") as f:
                return f.read()[-2000:]
        except OSError:
            return "(no log)"

    def close(self):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)


class Watcher:
    """Records MPD's player state at every change, from a connection waiting in idle."""

    def __init__(self, server):
        self.events = []
        self._client = MpdClient(server.port)
        self._client.sock.settimeout(None)
        self._record()
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _record(self):
        status = dict(self._client.command("status"))
        self.events.append((time.monotonic(), status.get("state"), int(status.get("song", -1))))

    def _run(self):
        try:
            while True:
                self._client.command("idle player")
                self._record()
        except (OSError, ValueError, MpdError):
            pass  # closed

    def played(self):
        """The song positions in the order they started to play."""
        starts = []
        previous = (None, None)
        for _, state, song in self.events:
            if state == "play" and previous != ("play", song):
                starts.append(song)
            previous = (state, song)
        return starts

    def wait_played(self, song, timeout=TIMEOUT):
        """Waits until song is the last one that started playing; returns played()."""
        deadline = time.monotonic() + timeout
        while True:
            played = self.played()
            if played and played[-1] == song:
                return played
            if time.monotonic() > deadline:
                raise MpdError("song %d did not start within %.1f s (started: %r)"
                               % (song, timeout, played))
            time.sleep(0.02)

    def close(self):
        # Wakes the thread blocked in idle first: closing its file under it would wait for it.
        try:
            self._client.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self._thread.join(TIMEOUT)
        self._client.close()


def player_args(server):
    """The player's arguments for the MPD of server."""
    return ["--player", "mpd", "--mpd", server.address]
