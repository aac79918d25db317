"""A listener's song requests through the web server, as a browser makes them, and their
playback by the player: the redirects, the queue on the page, the refusals, and the playlist
taking over again after the last requested song."""

import re
import threading
import unittest

from busy_load import BusyLoad
from harness import Player
from replies import PAGE_HEAD, html, masked, redirect

# The playlist; entry 4's title shows that titles reach the page escaped.
ENTRIES = [("Alder Lane - Morning Frost", 201), ("Birch & Co - Paper Kites", 182),
           ("Cedar Hollow - Northbound", 243), ("Dogwood - Lanterns Out", 199),
           ("Elm Street <Live> - Echoes", 305), ("Fir Quartet - Last Light", 176)]
TITLES = [title for title, _ in ENTRIES]

TEMPLATE = ("<p>%%ERROR%%</p>\n"
            "<p>Now: %%CURRENTSONG%%</p>\n"
            "<q>%%QUEUELISTPOS%% %%QUEUELISTENTRY%%</q>\n"
            "<e>%%PLAYLISTPOS%% %%PLAYLISTENTRY%%</e>\n"
            "end\n")
SETTINGS = {"Playlistfile": "list.html"}


ACCEPTED = "Request Accepted!"
TOO_MANY = "You cannot request any more songs at this time"


def page(error, now, queue):
    """The whole playlist page reply for a listener: the message, the current song (playlist
    position), the queue as playlist positions in play order, then every entry."""
    lines = ["<p>%s</p>" % error, "<p>Now: %s</p>" % html(TITLES[now])]
    lines += ["<q>%d %s</q>" % (k, html(TITLES[pos])) for k, pos in enumerate(queue, 1)]
    lines += ["<e>%d %s</e>" % (pos, html(title)) for pos, title in enumerate(TITLES)]
    lines.append("end")
    return PAGE_HEAD + "".join(line + "\n\r\n" for line in lines).encode()


def status_line(pos):
    """The status answer while entry pos plays from its start."""
    return "ok pos=%d state=playing elapsed_ms=0 length_s=%d title=%s" % (
        pos, ENTRIES[pos][1], TITLES[pos])


class QueuePlaybackTest(unittest.TestCase):
    def start(self, **settings):
        """Starts a player with the page template and settings overriding the defaults."""
        player = Player(entries=ENTRIES, settings=dict(SETTINGS, **settings),
                        web_files={"list.html": TEMPLATE})
        self.addCleanup(player.close)
        return player

    def request(self, player, listpos, referer):
        """A browser's click on a request link; returns the masked reply."""
        headers = {"Referer": referer} if referer is not None else None
        return masked(player.http_get("/request.cgi?listpos=%s" % listpos, headers))

    def test_three_requests_play_in_order_then_the_playlist_resumes(self):
        p = self.start()
        self.assertEqual(p.cmd("goto 1"), "ok")
        list_url = "http://127.0.0.1:%d/playlist.cgi?current=0" % p.port
        # (listpos, Referer, Location); after the first redirect the browser's Referer holds
        # the previous code, which the server replaces rather than piles up.
        steps = [
            ("4", list_url, list_url + "&errorCode=1"),
            ("3", list_url + "&errorCode=1", list_url + "&errorCode=1"),
            ("4", list_url + "&errorCode=1", list_url + "&errorCode=6"),    # already waiting
            ("5", list_url + "&errorCode=6", list_url + "&errorCode=1"),
            ("0", list_url + "&errorCode=1", list_url + "&errorCode=7"),    # fourth: limit 3
            ("6", list_url, list_url + "&errorCode=11"),                    # one past the end
            ("-1", list_url, list_url + "&errorCode=11"),
            ("6", None, "playlist.cgi&errorCode=11"),                       # no Referer
            ("6", "", "/playlist.cgi?errorCode=11"),                        # an empty one
            ("6", "&errorCode=7", "/playlist.cgi?errorCode=11"),            # empty once cut
        ]
        for listpos, referer, location in steps:
            with self.subTest(listpos=listpos, referer=referer):
                self.assertEqual(self.request(p, listpos, referer), redirect(location))
        # The page the browser is sent to lists the queue in play order.
        self.assertEqual(p.http_get("/playlist.cgi?current=0&errorCode=7"),
                         page(TOO_MANY, 1, [4, 3, 5]))
        # Each end of a track plays the oldest request; then the entry after the interrupted
        # one follows, and the player goes on by itself.
        for pos, queue in [(4, [3, 5]), (3, [5]), (5, []), (2, []), (3, [])]:
            with self.subTest(after_end_to=pos):
                self.assertEqual(p.cmd("end"), "ok")
                self.assertEqual(p.cmd("status"), status_line(pos))
                self.assertEqual(p.http_get("/playlist.cgi"), page("", pos, queue))

    def test_a_request_during_the_run_joins_it(self):
        p = self.start()
        self.assertEqual(self.request(p, 2, None), redirect("playlist.cgi&errorCode=1"))
        self.assertEqual(p.cmd("end"), "ok")
        self.assertEqual(p.cmd("status"), status_line(2))
        # A position that has been played can be asked for again; the run goes on with it
        # and still returns to the entry after 0.
        for listpos in (4, 2):
            self.assertEqual(self.request(p, listpos, None), redirect("playlist.cgi&errorCode=1"))
        self.assertEqual(p.http_get("/playlist.cgi?errorCode=1"), page(ACCEPTED, 2, [4, 2]))
        for pos in (4, 2, 1, 2):
            with self.subTest(after_end_to=pos):
                self.assertEqual(p.cmd("end"), "ok")
                self.assertEqual(p.cmd("status"), status_line(pos))

    def test_a_request_for_the_next_entry_is_heard_once(self):
        with BusyLoad(seconds=60):
            p = self.start()
            self.assertEqual(p.cmd("goto 3"), "ok")
            self.assertEqual(self.request(p, 4, None), redirect("playlist.cgi&errorCode=1"))
            for pos in (4, 5):
                self.assertEqual(p.cmd("end"), "ok")
                self.assertEqual(p.cmd("status"), status_line(pos))

    def test_configured_limits(self):
        # (settings, [(listpos, code)]), each run from an empty queue, one address.
        cases = [
            ({"g_MaxRequestsPerIP": "1"}, [(2, 1), (3, 7), (2, 7), (9, 11)]),
            ({"g_MaxRequestsPerIP": "0"}, [(0, 1), (1, 1), (2, 1), (3, 1), (3, 6)]),
            ({"g_MaxQueueSize": "2"}, [(0, 1), (1, 1), (2, 8), (1, 8), (6, 11)]),
            ({"g_MaxQueueSize": "none"}, [(0, 8), (-2, 11)]),
        ]
        for settings, steps in cases:
            with self.subTest(settings=settings):
                p = self.start(**settings)
                for listpos, code in steps:
                    self.assertEqual(self.request(p, listpos, "/playlist.cgi"),
                                     redirect("/playlist.cgi&errorCode=%d" % code), listpos)
                accepted = [pos for pos, code in steps if code == 1]
                self.assertEqual(p.http_get("/playlist.cgi"), page("", 0, accepted))
                p.close()

    def test_a_played_request_frees_its_place(self):
        p = self.start(g_MaxRequestsPerIP="1")
        self.assertEqual(self.request(p, 3, None), redirect("playlist.cgi&errorCode=1"))
        self.assertEqual(self.request(p, 4, None), redirect("playlist.cgi&errorCode=7"))
        self.assertEqual(p.cmd("end"), "ok")
        self.assertEqual(self.request(p, 4, None), redirect("playlist.cgi&errorCode=1"))
        self.assertEqual(p.http_get("/playlist.cgi"), page("", 3, [4]))

    def test_simultaneous_requests_never_pass_a_limit_together(self):
        # (settings, positions asked for at once, codes expected, sorted)
        cases = [
            ({"g_MaxRequestsPerIP": "0", "g_MaxQueueSize": "4"}, [0, 1, 2, 3, 4, 5],
             [1, 1, 1, 1, 8, 8]),
            ({"g_MaxRequestsPerIP": "0"}, [3] * 12, [1] + [6] * 11),
            ({"g_MaxRequestsPerIP": "2"}, [0, 1, 2, 3, 4, 5], [1, 1, 7, 7, 7, 7]),
        ]
        for settings, positions, expected in cases:
            with self.subTest(settings=settings, positions=positions):
                p = self.start(**settings)
                codes = []
                barrier = threading.Barrier(len(positions))

                def ask(listpos):
                    # Every thread connects at the same moment; the code is kept.
                    barrier.wait(10)
                    reply = p.http_get("/request.cgi?listpos=%d" % listpos)
                    codes.append(int(re.search(rb"errorCode=(\d+)\r\n", reply).group(1)))

                threads = [threading.Thread(target=ask, args=(pos,), daemon=True) for pos in positions]
                for t in threads:
                    t.start()
                for t in threads:
                    t.join(20)
                self.assertEqual(sorted(codes), expected)
                # The page lists as many entries as were accepted, each position once.
                body = p.http_get("/playlist.cgi")
                queued = re.findall(rb"<q>\d+ ([^<]*)</q>", body)
                self.assertEqual(len(queued), expected.count(1))
                self.assertEqual(len(set(queued)), len(queued))
                p.close()


if __name__ == "__main__":
    unittest.main()
