"""The status feed (/api/status.json, /api/playlist.json) and the play-state and recently
played tokens, against the real player: every reply is parsed by Python's json module, with
titles holding control characters and bytes that are not UTF-8."""

import json
import os
import shutil
import tempfile
import unittest

from harness import Player
from replies import masked

PASSWORD = "pw"
# Raw title bytes, as the playlist file holds them.
TITLES = [
    b"Plain - Song",
    b"Ctl\x01\x1b\x7f - Esc",
    b"Bad \xff\xc3 - Bytes",
    b"Overlong \xc0\xaf\xe0\x80\xaf - Cut \xe2\x82",
    b"Quote \" and \\ - Back/slash",
    b"\xc3\x89mile - Caf\xc3\xa9 \xf0\x9f\x8e\xb5",
    b"Tab\there - Inside",
]
LENGTHS = [201, 182, 243, 199, 305, 176, 222]
JSON_HEAD = (b"HTTP/1.0 200 OK\r\nServer: Quellix\r\nDate: *\r\nCache-Control: no-store\r\n"
             b"Content-type: application/json; charset=utf-8\r\nConnection: close\r\n\r\n")
TEMPLATE = "<s>%%PLAYSTATE%%</s>\n<h>%%HISTORYPOS%% %%HISTORYENTRY%%</h>\nend\n"


def text(title):
    """A title as a JSON reader sees it: every ill-formed part one U+FFFD."""
    return title.decode("utf-8", "replace")


class StatusFeedTest(unittest.TestCase):
    def setUp(self):
        folder = tempfile.mkdtemp(prefix="velvox-feed-")
        self.addCleanup(shutil.rmtree, folder, True)
        playlist = os.path.join(folder, "odd.m3u")
        with open(playlist, "wb") as f:
            f.write(b"#EXTM3U\n")
            for i, (title, seconds) in enumerate(zip(TITLES, LENGTHS)):
                f.write(b"#EXTINF:%d,%s\nmusic/track-%d.mp3\n" % (seconds, title, i))
        self.p = Player(playlist=playlist, web_files={"list.html": TEMPLATE},
                        settings={"AdminPassword": PASSWORD, "g_MaxEntries": "3",
                                  "Playlistfile": "list.html"})
        self.addCleanup(self.p.close)

    def fetch(self, target):
        """The parsed body of a feed reply, after checking its head byte for byte."""
        reply = masked(self.p.http_get(target))
        head, _, body = reply.partition(b"\r\n\r\n")
        self.assertEqual(head + b"\r\n\r\n", JSON_HEAD, target)
        self.assertNotIn(PASSWORD.encode(), body)
        self.assertNotIn(b"127.0.0.1", body)
        return json.loads(body.decode("utf-8"))

    def admin(self, action):
        self.p.http_get("/admin.cgi?pass=%s&action=%s" % (PASSWORD, action))

    def test_status_follows_the_player_the_queue_and_the_ended_tracks(self):
        self.assertEqual(self.fetch("/api/status.json"), {
            "state": "playing", "position": 0, "title": text(TITLES[0]), "elapsed_ms": 0,
            "length_s": 201, "queue": [], "history": []})
        for listpos in (3, 1):
            self.p.http_get("/request.cgi?listpos=%d" % listpos, {"Referer": "/playlist.cgi"})
        self.assertEqual(self.p.cmd("seek 5000"), "ok")
        status = self.fetch("/api/status.json?t=1")
        self.assertEqual(status["elapsed_ms"], 5000)
        # Both are this client's; they start when the song's 196 s left are over,
        # then after entry 3's 199 s, the lengths the playlist file gives.
        self.assertEqual(status["queue"], [
            {"position": 3, "title": text(TITLES[3]), "mine": True, "eta_s": 196,
             "eta_estimated": False},
            {"position": 1, "title": text(TITLES[1]), "mine": True, "eta_s": 395,
             "eta_estimated": False}])
        # The list was read above, so each end of track from now on is recorded.
        for _ in range(2):
            self.assertEqual(self.p.cmd("end"), "ok")
        status = self.fetch("/api/status.json")
        self.assertEqual((status["position"], status["title"]), (1, text(TITLES[1])))
        self.assertEqual(status["queue"], [])
        self.assertEqual(status["history"], [text(TITLES[3]), text(TITLES[0])])

        self.admin("pause")
        self.assertEqual(self.fetch("/api/status.json")["state"], "paused")
        self.admin("stop")
        status = self.fetch("/api/status.json")
        self.assertEqual((status["state"], status["elapsed_ms"], status["length_s"]),
                         ("stopped", None, None))

    def test_playlist_pages_give_every_title(self):
        seen = []
        for current in (0, 3, 6, 9):
            page = self.fetch("/api/playlist.json?current=%d" % current)
            self.assertEqual((page["match_count"], page["page_size"], page["current"]),
                             (len(TITLES), 3, current))
            shown = len(page["entries"])
            self.assertEqual((page["first"], page["last"]),
                             (current + 1, current + shown) if shown else (0, 0))
            seen += [(e["position"], e["title"]) for e in page["entries"]]
        self.assertEqual(seen, [(i, text(t)) for i, t in enumerate(TITLES)])

        page = self.fetch("/api/playlist.json?psearch=%5C&pass=" + PASSWORD)
        self.assertEqual((page["psearch"], page["match_count"]), ("\\", 1))
        self.assertEqual(page["entries"], [{"position": 4, "title": text(TITLES[4])}])
        page = self.fetch("/api/playlist.json?startswith=bad")
        self.assertEqual((page["startswith"], page["first"], page["last"]), ("bad", 1, 1))

    def test_page_tokens_show_the_play_state_and_the_recently_played(self):
        def page():
            reply = self.p.http_get("/playlist.cgi")
            return reply.partition(b"\r\n\r\n")[2]

        self.assertEqual(page(), b"<s>playing</s>\n\r\nend\n\r\n")
        self.assertEqual(self.p.cmd("end"), "ok")
        self.assertEqual(self.p.cmd("end"), "ok")
        self.admin("stop")
        self.assertEqual(page(), b"<s>stopped</s>\n\r\n<h>1 Ctl\x01\x1b\x7f - Esc</h>\n\r\n"
                                 b"<h>2 Plain - Song</h>\n\r\nend\n\r\n")


if __name__ == "__main__":
    unittest.main()
