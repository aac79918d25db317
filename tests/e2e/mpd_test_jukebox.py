"""velvox-host in front of a real Music Player Daemon: MPD's queue and clock on the pages, song
requests played by MPD when the current song ends, the administrator's controls and the console
acting on MPD, the server's own modes put back at quit, MPD going away and coming back, and every
end of a song seen. VELVOX_BUSY_LOAD runs it all with every core loaded."""

import json
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

import harness
from harness import Player
from busy_load import BusyLoad
from mpd_fixture import MpdServer, Song, Watcher, player_args

SONGS = [
    Song("a/alder.ogg", 3, "Alder Lane", "Morning Frost"),
    Song("a/birch.ogg", 3, "Birch & Co", "Paper Kites"),
    Song("c/cedar.ogg", 3, "Cedar Hollow", "Northbound"),
    Song("d/dogwood.ogg", 3, "Dogwood", "Lanterns Out"),
    Song("untagged/plain tone.flac", 3),
    Song("e/elm.ogg", 3, title="Lone Title"),
    Song("f/fir.ogg", 40, "Fir Quartet", "Long Light"),
]
TITLES = ["Alder Lane - Morning Frost", "Birch & Co - Paper Kites", "Cedar Hollow - Northbound",
          "Dogwood - Lanterns Out", "plain tone", "Lone Title", "Fir Quartet - Long Light"]
LONG = 6
PASSWORD = "Pw7"
TEMPLATE = ("<p>%%CURRENTSONG%%</p>\n"
            "<t>%%PCT_LEFT%%</t>\n"
            "<l>%%SONG_LENGTH%%</l>\n"
            "<q>%%QUEUELISTPOS%% %%QUEUELISTENTRY%%</q>\n"
            "<e>%%PLAYLISTPOS%% %%PLAYLISTENTRY%%</e>\n")
SETTINGS = {"Playlistfile": "list.html", "AdminPassword": PASSWORD}
# The server's own modes before the player starts: each the opposite of the jukebox's.
OWN_MODES = {"single": "0", "consume": "1", "random": "1", "repeat": "1"}
JUKEBOX_MODES = {"single": "1", "consume": "0", "random": "0", "repeat": "0"}


def setUpModule():
    if os.environ.get("VELVOX_BUSY_LOAD"):
        unittest.enterModuleContext(BusyLoad(seconds=float(os.environ["VELVOX_BUSY_LOAD"])))


def playing(pos):
    """A predicate on MPD's status: song pos is playing."""
    return lambda st: st.get("state") == "play" and st.get("song") == str(pos)


class MpdJukeboxTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.mpd = MpdServer(SONGS)

    @classmethod
    def tearDownClass(cls):
        cls.mpd.close()

    def setUp(self):
        self.mpd.command("stop")
        for mode, value in OWN_MODES.items():
            self.mpd.command("%s %s" % (mode, value))

    def start(self, settings=None, **kwargs):
        player = Player(playlist=None, clock=None, extra_args=player_args(self.mpd),
                        settings=dict(SETTINGS, **(settings or {})),
                        web_files={"list.html": TEMPLATE}, **kwargs)
        self.addCleanup(player.close)
        return player

    def page(self, player):
        reply = player.http_get("/playlist.cgi")
        self.assertTrue(reply.startswith(b"HTTP/1.1 200 OK"), reply[:200])
        return reply.decode("utf-8")

    def test_titles_state_and_a_running_clock_come_from_mpd(self):
        self.mpd.command("play %d" % LONG)
        # A port of our own: the harness starts a player again on another port when its
        # port is taken, and a killed player cannot put MPD's modes back.
        p = self.start(settings={"Port": str(harness.free_port())})
        self.assertEqual(self.mpd.modes(), JUKEBOX_MODES)
        first = p.status()
        self.assertEqual((first["pos"], first["state"], first["length_s"], first["title"]),
                         (LONG, "playing", 40, TITLES[LONG]))
        page = self.page(p)
        self.assertEqual(re.findall(r"<e>(\d+) (.*)</e>", page),
                         [(str(i), t.replace("&", "&amp;")) for i, t in enumerate(TITLES)])
        self.assertIn("<p>%s</p>" % TITLES[LONG], page)
        self.assertIn("<l>40</l>", page)
        left = int(re.search(r"<t>(\d+)</t>", page).group(1))
        time.sleep(1.0)
        later = p.status()
        self.assertEqual(later["pos"], LONG)
        self.assertGreater(later["elapsed_ms"], first["elapsed_ms"] + 500)
        self.assertLess(int(re.search(r"<t>(\d+)</t>", self.page(p)).group(1)), left)
        # Requests start after the 40 s song, the second after MPD's 3 s of the first.
        for listpos in (2, 5):
            p.http_get("/request.cgi?listpos=%d" % listpos)
        body = p.http_get("/api/status.json").partition(b"\r\n\r\n")[2]
        queue = json.loads(body)["queue"]
        self.assertEqual([(q["eta_estimated"], q["mine"]) for q in queue], [(False, True)] * 2)
        self.assertLessEqual(queue[0]["eta_s"], 40)
        self.assertEqual(queue[1]["eta_s"] - queue[0]["eta_s"], 3)
        # MPD's own modes come back when the player quits.
        self.assertEqual(p.quit(), 0)
        self.assertEqual(self.mpd.modes(), OWN_MODES, p.stderr_text())

    def test_requests_play_when_the_song_ends_then_the_playlist_resumes(self):
        self.mpd.command("play 0")
        p = self.start(announce=True)
        watcher = Watcher(self.mpd)
        self.addCleanup(watcher.close)
        for listpos in (3, 2):
            reply = p.http_get("/request.cgi?listpos=%d" % listpos)
            self.assertTrue(reply.startswith(b"HTTP/1.0 302"), reply[:200])
        self.assertRegex(self.page(p), r"<q>1 Dogwood - Lanterns Out</q>\n\r\n"
                                       r"<q>2 Cedar Hollow - Northbound</q>")
        self.assertEqual(p.cmd("seek 3000"), "ok")  # MPD ends the song at once
        played = watcher.wait_played(1, timeout=15)
        # Each request in turn, then the entry after the interrupted one: nothing skipped,
        # nothing started twice, not even the entry MPD held paused after song 0.
        self.assertEqual(played, [0, 3, 2, 1])
        announced = [line for line in p.stdout_lines if line.startswith("track ")]
        self.assertEqual(announced, ['track 3 "Dogwood - Lanterns Out" 3s request',
                                     'track 2 "Cedar Hollow - Northbound" 3s request',
                                     'track 1 "Birch & Co - Paper Kites" 3s playlist'])

    def test_admin_controls_and_console_commands_act_on_mpd(self):
        self.mpd.command("play %d" % LONG)
        p = self.start()
        admin = lambda action: lambda: p.http_get("/admin.cgi?pass=%s&action=%s" % (
            PASSWORD, action))
        console = lambda line: lambda: self.assertEqual(p.cmd(line), "ok")
        steps = [
            ("admin pause", admin("pause"), "pause", LONG),
            ("admin play resumes", admin("play"), "play", LONG),
            ("admin stop", admin("stop"), "stop", LONG),
            ("admin play", admin("play"), "play", LONG),
            ("admin prev", admin("prev"), "play", LONG - 1),
            ("admin next", admin("next"), "play", LONG),
            ("console goto", console("goto 2"), "play", 2),
            ("console end", console("end"), "play", 3),
            ("console goto back", console("goto %d" % LONG), "play", LONG),
        ]
        for name, act, state, song in steps:
            with self.subTest(name):
                act()
                self.mpd.wait_for(lambda st: (st.get("state"), st.get("song")) ==
                                  (state, str(song)), what="%s %d" % (state, song))
                st = p.status()
                self.assertEqual((st["state"], st["pos"]),
                                 ({"play": "playing", "pause": "paused"}.get(state, "stopped"),
                                  song))
        self.assertEqual(p.cmd("seek 30000"), "ok")
        self.assertGreaterEqual(float(self.mpd.status()["elapsed"]), 30.0)
        self.assertGreaterEqual(p.status()["elapsed_ms"], 30000)

    def test_refusals_at_start(self):
        closed = harness.free_port()
        mpd = ["--player", "mpd"]
        cases = [
            # (arguments, environment, exit status, message on stderr)
            (mpd + ["--mpd", "127.0.0.1:%d" % closed], {},
             1, r"^velvox-host: cannot connect to MPD at 127\.0\.0\.1:%d: \S" % closed),
            (mpd, {"MPD_HOST": "127.0.0.1", "MPD_PORT": str(closed)},
             1, r"^velvox-host: cannot connect to MPD at 127\.0\.0\.1:%d: \S" % closed),
            # The password of MPD_HOST is sent (this MPD has none, so it is refused).
            (mpd, {"MPD_HOST": "s3cret@127.0.0.1", "MPD_PORT": str(self.mpd.port)},
             1, r"^velvox-host: cannot connect to MPD at %s: .*password" % self.mpd.address),
            (mpd + ["--mpd", "127.0.0.1:99999"], {}, 1, r"port must be a number from 1 to 65535"),
            (mpd + ["--mpd", self.mpd.address, harness.DEMO_SMALL], {},
             2, r"no playlist with --player mpd"),
            (["--mpd", self.mpd.address, harness.DEMO_SMALL], {}, 2, r"--mpd needs --player mpd"),
            (["--player", "winamp", harness.DEMO_SMALL], {}, 2, r"--player takes sim or mpd"),
        ]
        for args, env, status, message in cases:
            with self.subTest(args=args, env=env):
                code, out, err = run(args, env)
                self.assertEqual(code, status, err)
                self.assertNotIn("ready", out)
                self.assertRegex(err, message)
        self.assertEqual(self.mpd.modes(), OWN_MODES)

    def test_mpd_going_away_and_coming_back(self):
        self.mpd.command("play %d" % LONG)
        p = self.start()
        self.mpd.stop()
        try:
            lost = p.wait_for_output(r"^mpd: lost the connection to %s " % self.mpd.address)
            self.assertRegex(lost, r"trying again every 3 s$")
            self.assertEqual(p.status()["state"], "stopped")
            # The pages serve the last copy of the queue, and requests still queue.
            reply = p.http_get("/request.cgi?listpos=2")
            self.assertTrue(reply.startswith(b"HTTP/1.0 302"), reply[:200])
            page = self.page(p)
            self.assertIn("<e>4 plain tone</e>", page)
            self.assertIn("<q>1 Cedar Hollow - Northbound</q>", page)
            time.sleep(3.5)  # at least one more attempt fails, without a second line
        finally:
            self.mpd.start()
        p.wait_for_output(r"^mpd: connected to %s again$" % self.mpd.address, timeout=15)
        self.assertEqual(len([l for l in p.stdout_lines if l.startswith("mpd: lost")]), 1)
        # MPD came back playing the song it was playing: its end plays the request.
        self.mpd.wait_for(playing(LONG), what="the long song playing again")
        self.assertEqual(self.mpd.modes(), JUKEBOX_MODES)
        self.assertEqual(p.cmd("seek 39500"), "ok")
        self.mpd.wait_for(playing(2), what="the request playing")
        self.assertEqual(p.status()["pos"], 2)


class SongEndsTest(unittest.TestCase):
    """Six tones of 2.5 s, VELVOX_MPD_ROUNDS times (3 under load): a request, the return to the
    playlist and an MPD restart play on when a song ends (what MPD played: from its log)."""

    def test_every_end_of_song_plays_on_across_a_restart(self):
        mpd = MpdServer([Song("t/%d.ogg" % i, 2.5, "Tone Works", "Tone %d" % i) for i in range(6)])
        self.addCleanup(mpd.close)
        rounds = os.environ.get("VELVOX_MPD_ROUNDS", "3" if os.environ.get("VELVOX_BUSY_LOAD") else "1")
        for number in range(int(rounds)):
            mpd.command("stop")
            with self.subTest(round=number), Player(playlist=None, clock=None,
                                                    extra_args=player_args(mpd)) as p:
                since = len(mpd.played())
                mpd.command("play 0")
                self.assertTrue(p.http_get("/request.cgi?listpos=4").startswith(b"HTTP/1.0 302"))
                self.assertEqual(mpd.wait_played(1, since), [0, 4, 1])
                start = len(p.stdout_lines)
                mpd.stop()
                time.sleep(2.5)  # the player tries again at 3 s in vain, then 2 ends before 6 s
                mpd.start()
                since = len(mpd.played())
                mpd.command("play 2")
                self.assertEqual(mpd.wait_played(3, since)[-2:], [2, 3])
                p.wait_for_output(r"^mpd: connected to %s again$" % mpd.address, start)


def run(args, env):
    """Runs the player with the test module and extra environment to its end; returns
    (status, stdout, stderr)."""
    full = dict(os.environ, **env)
    for name in ("MPD_HOST", "MPD_PORT"):
        if name not in env:
            full.pop(name, None)
    with tempfile.TemporaryDirectory(prefix="velvox-e2e-") as folder:
        module = os.path.join(folder, harness.TARGET.module_name)
        shutil.copyfile(harness.TARGET.module, module)
        out = subprocess.run(harness.TARGET.command(["--plugin", module] + args), cwd=folder,
                             input="quit\n", capture_output=True, text=True, timeout=30,
                             env=full)
    return out.returncode, out.stdout, out.stderr


if __name__ == "__main__":
    unittest.main()
