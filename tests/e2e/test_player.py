"""The stand-in player's command line and console, with the plug-in loaded."""

import os
import re
import tempfile
import time
import unittest

import harness
from harness import Player

FIRST = "Marlow Quince - Harbour Lights at Noon"
FOURTH = "Copperline - Static on the Radio"
FIFTH = "Dunmore Tide - The Long Way Round"
LAST = "Nightjar Social Club - Last Bus Home"

END_OF_TRACK = (1026, 0, 0)
GET_LIST_LENGTH = (1024, 0, 124)

DISABLED = {"bDisabled": "TRUE"}


def status_line(pos, state, elapsed, length, title):
    return "ok pos=%d state=%s elapsed_ms=%d length_s=%d title=%s" % (
        pos, state, elapsed, length, title)


class ConsoleTest(unittest.TestCase):
    def test_start_stands_at_entry_zero_playing(self):
        with Player(settings=DISABLED) as p:
            self.assertEqual(p.cmd("status"), status_line(0, "playing", 0, 215, FIRST))

    def test_goto_seek_end_in_turn(self):
        steps = [
            ("goto 3", "ok", status_line(3, "playing", 0, 198, FOURTH)),
            ("seek 5000", "ok", status_line(3, "playing", 5000, 198, FOURTH)),
            ("end", "ok", status_line(4, "playing", 0, 305, FIFTH)),
            ("goto 9", "ok", status_line(9, "playing", 0, 232, LAST)),
            # After the last entry's end the player stops there.
            ("end", "ok", status_line(9, "stopped", -1, -1, LAST)),
            # goto keeps the state; seek while stopped shows nothing.
            ("goto 0", "ok", status_line(0, "stopped", -1, -1, FIRST)),
            ("seek 700", "ok", status_line(0, "stopped", -1, -1, FIRST)),
            # An end while stopped still moves on and plays.
            ("end", "ok", status_line(1, "playing", 0, 187, "The Velvet Orchards - Paper Boats")),
        ]
        with Player(settings=DISABLED) as p:
            for command, answer, status in steps:
                with self.subTest(command=command):
                    self.assertEqual(p.cmd(command), answer)
                    self.assertEqual(p.cmd("status"), status)

    def test_bad_commands_answer_error_and_change_nothing(self):
        lines = ["bogus", "STATUS", "seek", "seek -5", "seek 12x", "seek 99999999999",
                 "goto", "goto 10", "goto -1", "goto 1.5", "status now", "end 2", "quit now",
                 "load", "config x"]
        with Player(settings=DISABLED) as p:
            p.cmd("goto 2")
            before = p.cmd("status")
            for line in lines:
                with self.subTest(line=line):
                    self.assertTrue(p.cmd(line).startswith("error"), line)
            self.assertEqual(p.cmd("status"), before)
            # Blank lines are no commands; the next answer belongs to the next command.
            p.send_line("")
            p.send_line("   ")
            self.assertEqual(p.cmd("status"), before)

    def test_load_replaces_the_playlist(self):
        with Player(settings=DISABLED) as p:
            three = harness.write_playlist(os.path.join(p.dir, "three.m3u"),
                                           [("One", 10), ("Two", 20), ("Three", 30)])
            empty = harness.write_playlist(os.path.join(p.dir, "empty.m3u"), [])
            cases = [
                # (goto before, file, status after)
                (2, three, status_line(2, "playing", 0, 30, "Three")),   # position kept
                (1, harness.DEMO_SMALL, status_line(1, "playing", 0, 187,
                                                    "The Velvet Orchards - Paper Boats")),
                (8, three, status_line(0, "playing", 0, 10, "One")),     # not valid: 0
                (1, empty, status_line(0, "stopped", -1, -1, "")),       # empty: stopped
            ]
            for goto, path, status in cases:
                with self.subTest(path=os.path.basename(path), goto=goto):
                    self.assertEqual(p.cmd("goto %d" % goto), "ok")
                    self.assertEqual(p.cmd("load " + p.player_path(path)), "ok")
                    self.assertEqual(p.cmd("status"), status)
            # An empty playlist stays valid: nothing plays, nothing to go to.
            self.assertTrue(p.cmd("goto 0").startswith("error"))
            self.assertEqual(p.cmd("end"), "ok")
            self.assertEqual(p.cmd("status"), status_line(0, "stopped", -1, -1, ""))
            # A file that cannot be read leaves everything as it was.
            self.assertEqual(p.cmd("load " + p.player_path(three)), "ok")
            before = p.cmd("status")
            answer = p.cmd("load " + p.player_path(os.path.join(p.dir, "missing.m3u")))
            self.assertTrue(answer.startswith("error"), answer)
            self.assertIn("missing.m3u", answer)
            self.assertEqual(p.cmd("status"), before)

    def test_playlist_reading(self):
        text = ("\ufeff#EXTM3U\r\n"
                "\r\n"
                "#EXTINF:123,Alpha Band - First Light\r\n"
                "#a comment line\r\n"
                "music/alpha/first-light.mp3\r\n"
                "folder/sub/plain-file.mp3\r\n"
                "#EXTINF:-1,Unknown Length\r\n"
                "stream.mp3\r\n"
                "#EXTINF:61\r\n"
                "C:\\music\\no-title.mp3\r\n"
                "   \r\n"
                "#EXTINF:45.9,Fraction - Dropped\n"
                "last.mp3")
        expected = [
            (123, "Alpha Band - First Light"),
            (-1, "plain-file.mp3"),
            (-1, "Unknown Length"),
            (61, "no-title.mp3"),
            (45, "Fraction - Dropped"),
        ]
        with Player(settings=DISABLED) as p:
            path = os.path.join(p.dir, "mixed.m3u8")
            with open(path, "w", encoding="utf-8", newline="") as f:
                f.write(text)
            self.assertEqual(p.cmd("load " + p.player_path(path)), "ok")
            for pos, (length, title) in enumerate(expected):
                with self.subTest(pos=pos):
                    self.assertEqual(p.cmd("goto %d" % pos), "ok")
                    self.assertEqual(p.cmd("status"),
                                     status_line(pos, "playing", 0, length, title))
            self.assertTrue(p.cmd("goto %d" % len(expected)).startswith("error"))

    @unittest.skipIf(harness.TARGET.name != "native",
                     "the settings dialog is a console form only on POSIX")
    def test_config_returns_ok_when_the_dialog_has_closed(self):
        with Player(settings=DISABLED) as p:
            p.send_line("config")
            # The settings form reads its own lines from the console until it closes.
            p.send_line("cancel")
            self.assertEqual(p.read_answer(), "ok")
            self.assertEqual(p.cmd("status"), status_line(0, "playing", 0, 215, FIRST))


class QuitTest(unittest.TestCase):
    def test_quit_writes_all_eight_keys_with_defaults(self):
        with Player(write_ini=False) as p:
            self.assertFalse(os.path.exists(p.ini_path))
            self.assertEqual(p.quit(), 0)
            self.assertEqual(p.read_ini(), {
                "bDisabled": "TRUE", "WebRoot": "c:\\", "Port": "80", "Playlistfile": "",
                "AdminPassword": "", "g_MaxRequestsPerIP": "3", "g_MaxEntries": "25",
                "g_MaxQueueSize": "50"})

    def test_quit_keeps_the_values_read(self):
        settings = {"bDisabled": "TRUE", "Port": "8123", "AdminPassword": "s3cret",
                    "g_MaxEntries": "7", "Playlistfile": "list.html"}
        with Player(settings=settings) as p:
            self.assertEqual(p.quit(), 0)
            ini = p.read_ini()
            self.assertEqual(sorted(ini), sorted(harness.INI_KEYS))
            for key, value in settings.items():
                self.assertEqual(ini[key], value, key)

    def test_signals_run_the_quit_sequence(self):
        with Player(write_ini=False) as p:
            p.signal_stop()
            self.assertEqual(p.wait_exit(), 0)
            self.assertEqual(p.read_ini()["Port"], "80")

    def test_end_of_input_keeps_the_player_running(self):
        with Player(settings={"Playlistfile": "list.html"},
                    web_files={"list.html": "<p>%%CURRENTSONG%%</p>\n"}) as p:
            p.process.stdin.close()
            time.sleep(0.3)
            self.assertIsNone(p.process.poll())
            # Pages still ask the player (messages from the server's threads).
            reply = p.http_get("/playlist.cgi")
            self.assertTrue(reply.startswith(b"HTTP/1.1 200 OK"), reply[:200])
            self.assertIn(b"<p>" + FIRST.encode() + b"</p>", reply)
            p.signal_stop()
            self.assertEqual(p.wait_exit(), 0)
            self.assertEqual(len(p.read_ini()), 8)


class TraceTest(unittest.TestCase):
    def test_trace_shows_init_messages_and_end_of_track_through_the_hook(self):
        # Enabled: init asks for the playlist before it starts the server.
        with Player(trace=True) as p:
            self.assertIn(GET_LIST_LENGTH, p.trace_lines())
        # Disabled: the hook is installed but passes the end of a track on.
        with Player(trace=True, settings=DISABLED) as p:
            self.assertNotIn(END_OF_TRACK, p.trace_lines())
            self.assertEqual(p.cmd("end"), "ok")
            self.assertEqual(p.trace_lines().count(END_OF_TRACK), 1)
            self.assertEqual(p.status()["pos"], 1)

    def test_a_page_asks_the_player_through_the_hook_as_its_lines_would(self):
        # The page's questions go to the hook in one message; the player sees
        # each, in the order of the lines: the timing (length, then position),
        # the current entry, the state of each line showing it, an entry's length.
        page = ("<t>%%PCT_LEFT%%</t>\n<s>%%PLAYSTATE%%</s>\n<h>%%CURRENTSONG%%</h>\n"
                "<q>%%QUEUELISTENTRY%% %%QUEUELISTETA%%</q>\n<s>%%PLAYSTATE%%</s>\n")
        with Player(trace=True, web_files={"list.html": page},
                    settings={"Playlistfile": "list.html"}) as p:
            p.http_get("/request.cgi?listpos=7", {"Referer": "/playlist.cgi"})
            before = len(p.trace_lines())
            reply = p.http_get("/playlist.cgi")
            self.assertIn(b"in 4 min", reply)
            self.assertEqual(p.trace_lines()[before:], [
                (1024, 1, 105), (1024, 0, 105), (1024, 0, 104), (1024, 0, 125), (1024, 0, 104),
                (1024, 7, 30309)])

    def test_trace_lines_are_decimal_and_only_from_the_player_procedure(self):
        with Player(trace=True, settings=DISABLED) as p:
            p.cmd("end")
            p.cmd("end")
            for line in p.stderr_text().splitlines():
                if line.startswith("trace"):
                    self.assertRegex(line, r"^trace \d+ \d+ -?\d+$")
            self.assertEqual(p.trace_lines().count(END_OF_TRACK), 2)

    def test_a_taken_end_of_track_never_reaches_the_player(self):
        with Player(trace=True, announce=True) as p:
            reply = p.http_get("/request.cgi?listpos=7")
            self.assertTrue(reply.startswith(b"HTTP/1.0 302"), reply[:200])
            mark = len(p.stdout_lines)
            self.assertEqual(p.cmd("end"), "ok")
            # The plug-in played the request: SetListPos(7) and Play reached the player,
            # the end of the track did not.
            self.assertNotIn(END_OF_TRACK, p.trace_lines())
            self.assertIn((1024, 7, 121), p.trace_lines())
            self.assertIn((0x111, 40045, 0), p.trace_lines())
            self.assertEqual(p.status()["pos"], 7)
            self.assertRegex(p.wait_for_output(r"^track 7 ", start=mark),
                             r'^track 7 "Sable and Finch - Winter Orchard" 261s request$')
            # The next end finds the queue empty: back to the interrupted entry, then on.
            self.assertEqual(p.cmd("end"), "ok")
            self.assertEqual(p.status()["pos"], 1)
            self.assertNotIn(END_OF_TRACK, p.trace_lines())


class ClockTest(unittest.TestCase):
    def test_real_clock_ends_tracks_by_itself(self):
        entries = [("Short One", 1), ("Short Two", 1), ("Unknown", -1), ("Never", 1)]
        with Player(entries=entries, clock="real", speed=20, announce=True, trace=True,
                    settings=DISABLED) as p:
            deadline = time.monotonic() + 10
            while p.status()["pos"] != 2 and time.monotonic() < deadline:
                time.sleep(0.05)
            st = p.status()
            self.assertEqual((st["pos"], st["state"], st["length_s"]), (2, "playing", -1))
            self.assertEqual(p.trace_lines().count(END_OF_TRACK), 2)
            # A track of unknown length never ends by itself.
            time.sleep(0.3)
            self.assertEqual(p.status()["pos"], 2)
            self.assertEqual(p.wait_for_output(r"^track 1 "), 'track 1 "Short Two" 1s playlist')
            # The last entry's end stops the player.
            self.assertEqual(p.cmd("goto 3"), "ok")
            deadline = time.monotonic() + 10
            while p.status()["state"] != "stopped" and time.monotonic() < deadline:
                time.sleep(0.05)
            self.assertEqual(p.cmd("status"), status_line(3, "stopped", -1, -1, "Never"))

    def test_the_clock_ends_tracks_through_the_plugin_hook(self):
        # Track 0 lasts 3600 s at 100 times speed: 36 s of wall time, long enough to queue.
        entries = [("Opening", 3600), ("Second", 3600), ("Third", 3600), ("Asked For", 3600)]
        with Player(entries=entries, clock="real", speed=100, announce=True, trace=True) as p:
            p.cmd("seek 3599000")  # 1 s of track time left: 10 ms of wall time
            deadline = time.monotonic() + 10
            while p.status()["pos"] != 1 and time.monotonic() < deadline:
                time.sleep(0.02)
            self.assertEqual(p.trace_lines().count(END_OF_TRACK), 1)  # the queue was empty
            reply = p.http_get("/request.cgi?listpos=3")
            self.assertTrue(reply.startswith(b"HTTP/1.0 302"), reply[:200])
            p.cmd("seek 3599000")
            self.assertEqual(p.wait_for_output(r"^track .* request$"), 'track 3 "Asked For" 3600s request')
            self.assertEqual(p.status()["pos"], 3)
            self.assertEqual(p.trace_lines().count(END_OF_TRACK), 1)  # taken by the plug-in

    def test_real_clock_elapsed_follows_speed(self):
        with Player(entries=[("Long", 3600)], clock="real", speed=10,
                    settings=DISABLED) as p:
            p.cmd("seek 1000")
            time.sleep(0.2)
            elapsed = p.status()["elapsed_ms"]
            self.assertGreaterEqual(elapsed, 1000 + 2000 - 200)
            self.assertLess(elapsed, 1000 + 60000)

    def test_manual_clock_never_moves(self):
        with Player(entries=[("Short", 1)], settings=DISABLED) as p:
            p.cmd("seek 999")
            time.sleep(0.3)
            self.assertEqual(p.cmd("status"), status_line(0, "playing", 999, 1, "Short"))


class ExitStatusTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="velvox-e2e-")
        self.module = os.path.join(self.dir, harness.TARGET.module_name)
        with open(harness.TARGET.module, "rb") as src, open(self.module, "wb") as dst:
            dst.write(src.read())
        self.playlist = harness.DEMO_SMALL

    def tearDown(self):
        import shutil
        shutil.rmtree(self.dir, ignore_errors=True)

    def run_host(self, plugin, playlist, *extra):
        args = list(extra) + ["--clock", "manual", "--plugin", plugin, playlist]
        return harness.run_host(args, cwd=self.dir, stdin_text="quit\n")

    def path(self, p):
        return harness.TARGET.player_path(p)

    def test_refusals_exit_with_status_2(self):
        not_a_module = os.path.join(self.dir, "not-a-module.bin")
        with open(not_a_module, "wb") as f:
            f.write(b"this is no module\n")
        cases = [
            ("unreadable playlist", self.path(self.module),
             self.path(os.path.join(self.dir, "missing.m3u")), (), r"missing\.m3u"),
            ("module without the export", harness.TARGET.no_export_module(),
             self.path(self.playlist), (), r"winampGetGeneralPurposePlugin"),
            ("file that is no module", self.path(not_a_module), self.path(self.playlist), (),
             r"not-a-module"),
            ("missing module", self.path(os.path.join(self.dir, "nothing.so")),
             self.path(self.playlist), (), r"nothing"),
            ("unknown option", self.path(self.module), self.path(self.playlist), ("--fast",),
             r"--fast"),
            ("bad clock", self.path(self.module), self.path(self.playlist),
             ("--clock", "slow"), r"slow"),
            ("bad speed", self.path(self.module), self.path(self.playlist), ("--speed", "0"),
             r"speed"),
        ]
        for name, plugin, playlist, extra, message in cases:
            with self.subTest(name):
                code, out, err = self.run_host(plugin, playlist, *extra)
                self.assertEqual(code, 2, err)
                self.assertNotIn("ready", out)
                self.assertRegex(err, message)
        # Nothing was initialised, so no settings file was written.
        self.assertFalse(os.path.exists(os.path.join(self.dir, "plugin.ini")))

    def test_version_wherever_it_stands_ends_with_status_0(self):
        for args in (["--version"], ["--player", "mpd", "--version", "--mpd", "nowhere:1"],
                     [self.path(self.playlist), "--version"]):
            with self.subTest(args):
                code, out, err = harness.run_host(args, cwd=self.dir)
                self.assertEqual((code, out, err), (0, "velvox-host %s\n" % harness.VERSION, ""))

    def test_player_mpd_that_cannot_run_exits_with_status_1(self):
        # Natively no MPD listens on the port; the Windows player has no MPD back end.
        port = harness.free_port()
        code, out, err = harness.run_host(
            ["--player", "mpd", "--mpd", "127.0.0.1:%d" % port, "--plugin",
             self.path(self.module)], cwd=self.dir, stdin_text="quit\n")
        self.assertEqual(code, 1, err)
        self.assertNotIn("ready", out)
        self.assertRegex(err, r"^velvox-host: (cannot connect to MPD at 127\.0\.0\.1:%d: |"
                              r"--player mpd is not available in the Windows player)" % port)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "plugin.ini")))

    @unittest.skipIf(harness.TARGET.name != "wine", "a fault ends the Linux player by a signal")
    def test_a_fault_nothing_handled_is_reported(self):
        plugin = os.path.join(os.environ["VELVOX_WINE_TOOLS"], "fault_plugin.dll")
        code, out, err = self.run_host(self.path(plugin), self.path(self.playlist))
        # Wine ends a process with the low byte of its exit code.
        self.assertEqual(code, 0xC0000005 & 0xFF, err)
        self.assertRegex(err, r"^velvox-host: unhandled exception 0xc0000005 at 0x[0-9a-f]+$")

    def test_a_directory_is_no_playlist(self):
        code, out, err = self.run_host(self.path(self.module), self.path(self.dir))
        self.assertEqual(code, 2, err)
        self.assertIn("playlist", err)

    def test_quit_from_piped_input(self):
        code, out, err = self.run_host(self.path(self.module), self.path(self.playlist))
        self.assertEqual(code, 0, err)
        self.assertEqual([l for l in out.splitlines() if re.match(r"^(ok|error|ready)", l)],
                         ["ready", "ok"])
        self.assertTrue(os.path.exists(os.path.join(self.dir, "plugin.ini")))


if __name__ == "__main__":
    unittest.main()
