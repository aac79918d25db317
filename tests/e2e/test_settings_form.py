"""The settings form on the stand-in player's console: a disabled plug-in is enabled on a new
port, the server starts, the pages fill once the playlist cache is refreshed, and quit writes
the new values. On Windows the settings are a real dialog, tested on its own."""

import unittest

import harness
from harness import Player
from replies import PAGE_HEAD, FIXED_DATE, masked

ENTRIES = [("Alder Lane - Morning Frost", 201), ("Birch & Co - Paper Kites", 182),
           ("Cedar Hollow - Northbound", 243)]
TITLES = [title for title, _ in ENTRIES]
PASSWORD = "Pw7"
TEMPLATE = "<e>%%PLAYLISTPOS%% %%PLAYLISTENTRY%%</e>\nend\n"
SETTINGS = {"bDisabled": "TRUE", "Playlistfile": "list.html"}


FORM_COMMANDS = [
    "config: commands: 1062 or ok (take the values and close), 1001 or cancel (close without "
    "changes), 1012 or about (about)",
    "config: change a field with \"ID VALUE\" (a check box takes on or off; ID \"\" empties a "
    "text); \"show\" lists the form again",
]


def form(values):
    """The form's listing for the settings values {key: text} ("on"/"off" for check boxes)."""
    fields = [
        (1026, "disable the plug-in, accept no requests", "bDisabled"),
        (1063, "web root directory", "WebRoot"),
        (1064, "port", "Port"),
        (1065, "playlist.cgi template", "Playlistfile"),
        (1079, "most requests from the same IP", "g_MaxRequestsPerIP"),
        (1083, "playlist items shown", "g_MaxEntries"),
        (1084, "largest queue size", "g_MaxQueueSize"),
        (1101, "most waiting songs by one artist, 0 for no limit", "MaxRequestsPerArtist"),
        (1102, "no two songs by one artist in a row", "NoConsecutiveArtist"),
        (1103, "minutes before a song can be asked for again, 0 for none",
         "SongCooldownMinutes"),
        (1104, "play the queue in turns by address", "FairOrder"),
        (1106, "votes that skip the song playing, 0 for no voting", "SkipVotes"),
        (1107, "most requests from one address in an hour, 0 for no limit", "RequestsPerHour"),
        (1108, "words that keep a song from being requested, comma-separated", "BlockedWords"),
        (1109, "a search finds the titles holding each of its words", "MatchAllWords"),
        (1110, "recently played titles kept, 0 for none", "HistorySize"),
        (1111, "seconds a connection has to send its request, 0 for no limit",
         "WaitDeadlineSeconds"),
        (1112, "seconds a reply has to go out, 0 for no limit", "SendTimeoutSeconds"),
        (1113, "most connections answered at once", "MaxConnectionThreads"),
        (1114, "most connections from one address, 0 for no limit", "MaxSocketsPerAddress"),
        (1007, "admin password", "AdminPassword"),
    ]
    lines = ["config: HTTP Request(Velvox)"]
    lines += ["config: %d %s (%s) = %s" % (i, label, key, values[key])
              for i, label, key in fields]
    return lines + FORM_COMMANDS


def page(titles, admin=False):
    """The playlist page reply listing titles (the escaping of "&" included)."""
    suffix = "&pass=" + PASSWORD if admin else ""
    rows = ["<e>%d%s %s</e>\n\r\n" % (pos, suffix, t.replace("&", "&amp;"))
            for pos, t in enumerate(titles)]
    return PAGE_HEAD + ("".join(rows) + "end\n\r\n").encode()


@unittest.skipIf(harness.TARGET.name != "native",
                 "the settings are a console form only on POSIX; on Windows a dialog window")
class SettingsFormTest(unittest.TestCase):
    def start(self):
        """Starts a player with a disabled plug-in; self.values holds what the form shows."""
        p = Player(entries=ENTRIES, settings=SETTINGS, web_files={"list.html": TEMPLATE})
        self.addCleanup(p.close)
        self.values = {"bDisabled": "on", "WebRoot": p.player_path(p.web_root),
                       "Port": str(p.port), "Playlistfile": "list.html",
                       "g_MaxRequestsPerIP": "3", "g_MaxEntries": "25", "g_MaxQueueSize": "50",
                       "MaxRequestsPerArtist": "0", "NoConsecutiveArtist": "off",
                       "SongCooldownMinutes": "0", "FairOrder": "off", "SkipVotes": "0",
                       "RequestsPerHour": "0", "BlockedWords": "", "MatchAllWords": "off",
                       "HistorySize": "10", "WaitDeadlineSeconds": "10",
                       "SendTimeoutSeconds": "30", "MaxConnectionThreads": "256",
                       "MaxSocketsPerAddress": "64", "AdminPassword": ""}
        return p

    def run_form(self, p, lines):
        """Opens the form, types lines, and returns the form's output lines once the player
        has answered config (all of them must begin "config: ")."""
        mark = len(p.stdout_lines)
        p.send_line("config")
        for line in lines:
            p.send_line(line)
        self.assertEqual(p.read_answer(), "ok")
        output = p.stdout_lines[mark:]
        self.assertEqual(output[-1], "ok")
        for line in output[:-1]:
            self.assertTrue(line.startswith("config: "), line)
        return output[:-1]

    def refused(self, port):
        """True when nothing accepts connections on 127.0.0.1:port."""
        try:
            harness.wait_for_port(port, timeout=0.2)
        except harness.HarnessError:
            return True
        return False

    def test_ok_enables_the_plugin_on_the_new_port(self):
        p = self.start()
        old_port = p.port
        self.assertTrue(self.refused(old_port))
        port = harness.free_port()
        output = self.run_form(p, ["9999 x", "1065", "1064 %d" % port, "1026 off",
                                   "1104 on", "1007 " + PASSWORD, "ok"])
        listing = form(self.values)
        self.assertEqual(output[:len(listing)], listing)
        ids = ("1026 1063 1064 1065 1079 1083 1084 1101 1102 1103 1104 1106 1107 1108 1109 "
               "1110 1111 1112 1113 1114 1007 1062 1001 1012")
        self.assertEqual(output[len(listing):], [
            "config: unknown id 9999; the ids are " + ids,
            "config: missing value for 1065; write 1065 VALUE, or 1065 \"\" to empty it",
            "config: 1064 port (Port) = %d" % port,
            "config: 1026 disable the plug-in, accept no requests (bDisabled) = off",
            "config: 1104 play the queue in turns by address (FairOrder) = on",
            "config: 1007 admin password (AdminPassword) = " + PASSWORD,
            "config: closed",
        ])
        # The server now answers on the form's port, with an empty playlist until the cache
        # is refreshed; requests are refused as out of range meanwhile.
        harness.wait_for_port(port, process=p.process)
        p.port = port
        self.assertEqual(p.http_get("/playlist.cgi"), page([]))
        self.assertIn(b"\r\nLocation: playlist.cgi&errorCode=11\r\n",
                      p.http_get("/request.cgi?listpos=1"))
        reply = masked(p.http_get("/admin.cgi?pass=%s&action=refreshcache" % PASSWORD))
        self.assertEqual(reply, b"HTTP/1.0 302 Moved Temporarily\r\nServer: Quellix" +
                         FIXED_DATE + b"Location: /admin.cgi?pass=" + PASSWORD.encode() +
                         b"\r\nConnection: close\r\n\r\n" + page(TITLES, admin=True))
        self.assertEqual(p.http_get("/playlist.cgi"), page(TITLES))
        # Enabled: a request is played at the end of the track.
        self.assertIn(b"\r\nLocation: playlist.cgi&errorCode=1\r\n",
                      p.http_get("/request.cgi?listpos=2"))
        self.assertEqual(p.cmd("end"), "ok")
        self.assertEqual(p.status()["pos"], 2)
        # The new values are kept in memory and written at quit; of the fair-play keys only
        # the one switched on.
        self.assertEqual(p.quit(), 0)
        ini = p.read_ini()
        self.assertEqual(sorted(ini), sorted(harness.INI_KEYS + ("FairOrder",)))
        self.assertEqual((ini["bDisabled"], ini["Port"], ini["AdminPassword"],
                          ini["Playlistfile"], ini["FairOrder"]),
                         ("FALSE", str(port), PASSWORD, "list.html", "TRUE"))

    def test_cancel_and_about_change_nothing(self):
        p = self.start()
        port = harness.free_port()
        output = self.run_form(p, ["about", "1064 %d" % port, "1026 off", "1083 12", "cancel"])
        listing = form(self.values)
        self.assertEqual(output, listing + [
            "config: [Velvox] Velvox " + harness.VERSION,
            "config: [Velvox] By: Tarnwick",
            "config: [Velvox] http://velvox.tarnwick.net/",
            "config: 1064 port (Port) = %d" % port,
            "config: 1026 disable the plug-in, accept no requests (bDisabled) = off",
            "config: 1083 playlist items shown (g_MaxEntries) = 12",
            "config: closed",
        ])
        self.assertTrue(self.refused(port))
        # The form shows the unchanged values when opened again.
        self.assertEqual(self.run_form(p, ["1001"]), listing + ["config: closed"])
        self.assertEqual(p.quit(), 0)
        ini = p.read_ini()
        self.assertEqual((ini["bDisabled"], ini["Port"], ini["g_MaxEntries"]),
                         ("TRUE", self.values["Port"], "25"))


if __name__ == "__main__":
    unittest.main()
