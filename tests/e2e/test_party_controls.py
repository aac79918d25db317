"""The party controls over HTTP from client addresses 127.0.0.1 to .3, and without their keys
the replies of before."""

import json
import unittest

from harness import Player
from replies import PAGE_HEAD, html, masked, redirect

TITLES = ["Alder Lane - Morning Frost", "Birch & Co - Paper Kites (Live)", "Cedar - North",
          "Dogwood - Lanterns Out", "Elm Street - Echoes", "Fir Quartet - Last Light (DEMO)"]
TEMPLATE = ("<p>%%ERROR%%</p>\n<v>%%SKIPVOTES%%/%%SKIPNEEDED%%</v>\n"
            "<q>%%QUEUELISTENTRY%% %%QUEUETAKEBACK%%</q>\n")
A, B, C = "127.0.0.1", "127.0.0.2", "127.0.0.3"
LINK = "<a href=\"takeback.cgi?entry=%d\">Take back</a>"


def page(error, votes, needed, queue):
    """The page: message, votes, the queue as (position, its take-back link's entry or 0)."""
    lines = ["<p>%s</p>" % error, "<v>%d/%d</v>" % (votes, needed)] + [
        "<q>%s %s</q>" % (html(TITLES[pos]), LINK % entry if entry else "")
        for pos, entry in queue]
    return PAGE_HEAD + "".join(line + "\n\r\n" for line in lines).encode()


class PartyControlsTest(unittest.TestCase):
    def start(self, movable_clock=False, **settings):
        p = Player(entries=[(t, 200) for t in TITLES], movable_clock=movable_clock,
                   settings=dict(Playlistfile="list.html", AdminPassword="pw", **settings),
                   web_files={"list.html": TEMPLATE, "skip.cgi": "a file"})
        self.addCleanup(p.close)
        return p

    def call(self, p, target, address, code, wait=""):
        """Sends target from address; the reply must be the redirect back with code."""
        self.assertEqual(masked(p.http_get(target, source=address)),
                         redirect("playlist.cgi&errorCode=%d%s" % (code, wait)))

    def feed(self, p):
        return json.loads(p.http_get("/api/status.json").split(b"\r\n\r\n", 1)[1])

    def test_votes_once_per_address_skip_to_the_oldest_request_and_blocked_words(self):
        p = self.start(SkipVotes="2", BlockedWords=" live ,demo")
        # (address, target, code, votes afterwards, the song playing then)
        for address, target, code, votes, playing in [
                (A, "/request.cgi?listpos=3", 1, 0, 0), (B, "/request.cgi?listpos=1", 18, 0, 0),
                (B, "/request.cgi?listpos=5&pass=pw", 1, 0, 0), (A, "/skip.cgi", 14, 1, 0),
                (A, "/skip.cgi", 15, 1, 0), (B, "/skip.cgi", 16, 0, 3), (C, "/skip.cgi", 14, 1, 3),
                (C, "/skip.cgi?pass=pw", 16, 0, 5)]:
            self.call(p, target, address, code)
            self.assertEqual(p.status()["pos"], playing)
            self.assertEqual([self.feed(p)[k] for k in ("skip_votes", "skip_needed")], [votes, 2])
        self.assertEqual(p.http_get("/playlist.cgi?errorCode=18"),
                         page("This song cannot be requested", 0, 2, []))

    def test_only_the_requesting_address_or_the_admin_takes_a_request_back(self):
        p = self.start()
        self.call(p, "/request.cgi?listpos=3", A, 1)
        self.call(p, "/request.cgi?listpos=5", B, 1)
        # (address, query, code, the queue A sees afterwards)
        for address, query, code, queue in [
                (C, "entry=1", 20, [(3, 1), (5, 0)]), (A, "entry=1", 19, [(5, 0)]),
                (A, "entry=1", 21, [(5, 0)]), (C, "entry=2&pass=pw", 19, [])]:
            self.call(p, "/takeback.cgi?" + query, address, code)
            self.assertEqual(p.http_get("/playlist.cgi", source=A), page("", 0, 0, queue))

    def test_the_hour_limit_opens_again_when_the_clock_moves(self):
        p = self.start(movable_clock=True, RequestsPerHour="2", g_MaxRequestsPerIP="0")
        for address, listpos, move, code, wait in [
                (A, 1, 0, 1, ""), (A, 2, 0, 1, ""), (A, 3, 0, 17, "&wait=60"), (B, 3, 0, 1, ""),
                (A, 4, 1800, 17, "&wait=30"), (A, 4, 3600, 1, "")]:
            p.move_clock(move)
            self.call(p, "/request.cgi?listpos=%d" % listpos, address, code, wait)
        self.assertEqual(p.http_get("/playlist.cgi?errorCode=17&wait=30", source=C), page(
            "You have made all the requests an hour allows. Try again in 30 minutes", 0, 0,
            [(1, 0), (2, 0), (3, 0), (4, 0)]))

    def test_without_their_keys_skip_is_a_file_and_the_feed_as_before(self):
        p = self.start()
        self.assertTrue(p.http_get("/skip.cgi").endswith(b"\r\n\r\na file"))
        self.assertEqual(list(self.feed(p)), ["state", "position", "title", "elapsed_ms",
                                              "length_s", "queue", "history"])


if __name__ == "__main__":
    unittest.main()
