"""The party controls over HTTP from client addresses 127.0.0.1 to .3: votes to skip, taking a
request back, the hour's request limit as the clock moves, blocked words; without their keys,
the replies of before."""

import json
import unittest

from harness import Player
from replies import PAGE_HEAD, html, masked, redirect

ENTRIES = [("Alder Lane - Morning Frost", 201), ("Birch & Co - Paper Kites (Live)", 182),
           ("Cedar Hollow - Northbound", 243), ("Dogwood - Lanterns Out", 199),
           ("Elm Street - Echoes", 305), ("Fir Quartet - Last Light (DEMO)", 176)]
TITLES = [title for title, _ in ENTRIES]
PASSWORD = "pw"
TEMPLATE = ("<p>%%ERROR%%</p>\n<v>%%SKIPVOTES%%/%%SKIPNEEDED%%</v>\n"
            "<q>%%QUEUELISTENTRY%% %%QUEUETAKEBACK%%</q>\nend\n")
A, B, C = "127.0.0.1", "127.0.0.2", "127.0.0.3"


def page(error, votes, needed, queue):
    """The whole page: the message, the votes, then the queue as (position, the serial number
    of its take-back link, or None for no link)."""
    lines = ["<p>%s</p>" % error, "<v>%d/%d</v>" % (votes, needed)]
    for pos, serial in queue:
        link = "<a href=\"takeback.cgi?entry=%d\">Take back</a>" % serial if serial else ""
        lines.append("<q>%s %s</q>" % (html(TITLES[pos]), link))
    lines.append("end")
    return PAGE_HEAD + "".join(line + "\n\r\n" for line in lines).encode()


class PartyControlsTest(unittest.TestCase):
    def start(self, movable_clock=False, web_files=None, **settings):
        p = Player(entries=ENTRIES, movable_clock=movable_clock,
                   settings=dict({"Playlistfile": "list.html", "AdminPassword": PASSWORD},
                                 **settings),
                   web_files=dict({"list.html": TEMPLATE}, **(web_files or {})))
        self.addCleanup(p.close)
        return p

    def call(self, p, target, address, code, wait=None):
        """Sends target from address; the reply must be the redirect back with code."""
        location = "playlist.cgi&errorCode=%d" % code + ("&wait=%d" % wait if wait else "")
        self.assertEqual(masked(p.http_get(target, source=address)), redirect(location))

    def feed(self, p):
        return json.loads(p.http_get("/api/status.json").split(b"\r\n\r\n", 1)[1])

    def test_votes_count_once_per_address_and_the_skip_plays_the_oldest_request(self):
        p = self.start(SkipVotes="2")
        self.call(p, "/request.cgi?listpos=3", A, 1)
        self.call(p, "/request.cgi?listpos=5", B, 1)
        # (address, with the admin password, code, votes afterwards, the song playing then)
        steps = [(A, False, 14, 1, 0), (A, False, 15, 1, 0), (B, False, 16, 0, 3),
                 (C, False, 14, 1, 3), (C, True, 16, 0, 5)]
        for address, admin, code, votes, playing in steps:
            with self.subTest(address=address, code=code):
                self.call(p, "/skip.cgi" + ("?pass=" + PASSWORD if admin else ""), address, code)
                self.assertEqual(p.status()["pos"], playing)
                feed = self.feed(p)
                self.assertEqual((feed["skip_votes"], feed["skip_needed"]), (votes, 2))
                if code == 15:
                    self.assertEqual(p.http_get("/playlist.cgi?errorCode=15", source=A),
                                     page("You have already voted to skip this song", 1, 2,
                                          [(3, 1), (5, None)]))

    def test_only_the_requesting_address_or_the_admin_takes_a_request_back(self):
        p = self.start()
        self.call(p, "/request.cgi?listpos=3", A, 1)
        self.call(p, "/request.cgi?listpos=5", B, 1)
        # (address, query, code, the queue A sees afterwards)
        steps = [(C, "entry=1", 20, [(3, 1), (5, None)]), (B, "entry=1", 20, [(3, 1), (5, None)]),
                 (A, "entry=1", 19, [(5, None)]), (A, "entry=1", 21, [(5, None)]),
                 (C, "entry=2&pass=" + PASSWORD, 19, [])]
        for address, query, code, queue in steps:
            with self.subTest(address=address, query=query):
                self.call(p, "/takeback.cgi?" + query, address, code)
                self.assertEqual(p.http_get("/playlist.cgi", source=A), page("", 0, 0, queue))
        self.assertEqual(p.http_get("/playlist.cgi?errorCode=20"),
                         page("You can only take back your own requests", 0, 0, []))

    def test_the_hour_limit_opens_again_when_the_clock_moves(self):
        p = self.start(movable_clock=True, RequestsPerHour="2", g_MaxRequestsPerIP="0")
        self.call(p, "/request.cgi?listpos=1", A, 1)
        self.call(p, "/request.cgi?listpos=2", A, 1)
        self.call(p, "/request.cgi?listpos=3", A, 17, wait=60)
        self.call(p, "/request.cgi?listpos=3", B, 1)
        p.move_clock(1800)
        self.call(p, "/request.cgi?listpos=4", A, 17, wait=30)
        p.move_clock(3600)
        self.call(p, "/request.cgi?listpos=4", A, 1)
        self.assertEqual(p.http_get("/playlist.cgi?errorCode=17&wait=30", source=C),
                         page("You have made all the requests an hour allows. Try again in 30 "
                              "minutes", 0, 0, [(1, None), (2, None), (3, None), (4, None)]))

    def test_blocked_words_fold_case_and_the_admin_still_queues(self):
        p = self.start(BlockedWords=" live ,demo")
        for listpos, code in ((1, 18), (5, 18), (0, 1)):
            self.call(p, "/request.cgi?listpos=%d" % listpos, B, code)
        self.call(p, "/request.cgi?listpos=5&pass=" + PASSWORD, B, 1)
        self.assertEqual(p.http_get("/playlist.cgi?errorCode=18", source=B),
                         page("This song cannot be requested", 0, 0, [(0, 1), (5, 2)]))

    def test_without_their_keys_skip_is_a_file_and_the_feed_as_before(self):
        p = self.start(web_files={"skip.cgi": "a file"})
        reply = p.http_get("/skip.cgi", source=B)
        self.assertTrue(reply.startswith(b"HTTP/1.1 200 OK\n") and reply.endswith(b"a file"))
        self.assertEqual(list(self.feed(p)), ["state", "position", "title", "elapsed_ms",
                                              "length_s", "queue", "history"])


if __name__ == "__main__":
    unittest.main()
