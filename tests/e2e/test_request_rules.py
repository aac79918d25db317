"""The fair-play rules through the web server: listeners at three client addresses (127.0.0.1,
.2 and .3) request songs; with FairOrder the queue plays in turns by address, without it
oldest first; with every rule on, requests are refused with codes 4, 5 and 13."""

import re
import unittest

from harness import Player
from replies import PAGE_HEAD, html, masked, redirect

ENTRIES = [("Alder Lane - Morning Frost", 201), ("Alder Lane - Evening Thaw", 190),
           ("Birch & Co - Paper Kites", 182), ("Birch & Co - Glass Boats", 175),
           ("Cedar Hollow - Northbound", 243), ("Birch & Co - Tin Roofs", 199),
           ("Birch & Co - Low Tide", 230), ("Dogwood - Lanterns Out", 199),
           ("Elm Street - Echoes", 305), ("Fir Quartet - Last Light", 176)]
TITLES = [title for title, _ in ENTRIES]
PASSWORD = "pw"
TEMPLATE = ("<p>%%ERROR%%</p>\n"
            "<q>%%QUEUELISTPOS%% %%QUEUELISTENTRY%%</q>\n"
            "end\n")
SETTINGS = {"Playlistfile": "list.html", "AdminPassword": PASSWORD}
A, B, C = "127.0.0.1", "127.0.0.2", "127.0.0.3"


def page(error, queue, admin=False):
    """The whole page reply: the message, then the queue (playlist positions in play order);
    admin: the administrator's view, with a delete link per entry."""
    lines = ["<p>%s</p>" % error]
    for k, pos in enumerate(queue, 1):
        number = ("<a href=\"admin.cgi?pass=%s&action=delete&listpos=%d\">Delete</a>&nbsp;%d"
                  % (PASSWORD, k, k) if admin else "%d" % k)
        lines.append("<q>%s %s</q>" % (number, html(TITLES[pos])))
    lines.append("end")
    return PAGE_HEAD + "".join(line + "\n\r\n" for line in lines).encode()


class RequestRulesTest(unittest.TestCase):
    def start(self, **settings):
        player = Player(entries=ENTRIES, settings=dict(SETTINGS, **settings),
                        web_files={"list.html": TEMPLATE})
        self.addCleanup(player.close)
        return player

    def ask(self, player, address, listpos):
        """A listener's request from address; returns the result code of the redirect."""
        reply = masked(player.http_get("/request.cgi?listpos=%d" % listpos, source=address))
        code = int(re.search(rb"errorCode=(\d+)\r\n", reply).group(1))
        self.assertEqual(reply, redirect("playlist.cgi&errorCode=%d" % code))
        return code

    def test_turns_by_address_or_oldest_first(self):
        # (settings, the queue shown after the burst, after the admin deletes entry 2)
        cases = [
            ({"FairOrder": "TRUE"}, [1, 4, 7, 2, 5, 8, 3, 6, 9], [1, 7, 2, 5, 8, 3, 6, 9]),
            ({}, [1, 2, 3, 4, 5, 6, 7, 8, 9], [1, 3, 4, 5, 6, 7, 8, 9]),
        ]
        for settings, shown, after_delete in cases:
            with self.subTest(settings=settings):
                p = self.start(**settings)
                for address, positions in ((A, (1, 2, 3)), (B, (4, 5, 6)), (C, (7, 8, 9))):
                    for listpos in positions:
                        self.assertEqual(self.ask(p, address, listpos), 1)
                self.assertEqual(p.http_get("/playlist.cgi"), page("", shown))
                # The administrator deletes the second entry shown; the reply carries the
                # administrator's view after the redirect.
                reply = masked(p.http_get("/admin.cgi?pass=%s&action=delete&listpos=2" % PASSWORD,
                                          {"Referer": "/playlist.cgi"}))
                self.assertEqual(reply, redirect("/playlist.cgi&errorCode=10") +
                                 page("", after_delete, admin=True))
                self.assertEqual(p.http_get("/playlist.cgi?errorCode=10"),
                                 page("Queue position deleted!", after_delete))
                played = []
                for _ in after_delete:
                    self.assertEqual(p.cmd("end"), "ok")
                    played.append(p.status()["pos"])
                self.assertEqual(played, after_delete)
                p.close()

    def test_every_rule_on_refuses_with_its_code(self):
        p = self.start(MaxRequestsPerArtist="2", NoConsecutiveArtist="TRUE",
                       SongCooldownMinutes="60", FairOrder="TRUE")
        # Entry 0 (Alder Lane) plays. (address, listpos, code, the queue shown afterwards)
        steps = [
            (A, 0, 13, []),          # playing now
            (A, 1, 5, []),           # Alder Lane right after Alder Lane
            (A, 2, 1, [2]),
            (B, 3, 5, [2]),          # would follow Birch & Co at the end of the first turn
            (B, 4, 1, [2, 4]),
            (C, 5, 1, [2, 4, 5]),
            (C, 6, 4, [2, 4, 5]),    # two by Birch & Co wait
            (A, 7, 1, [2, 4, 5, 7]),
        ]
        for address, listpos, code, queue in steps:
            with self.subTest(address=address, listpos=listpos):
                self.assertEqual(self.ask(p, address, listpos), code)
                self.assertEqual(p.http_get("/playlist.cgi"), page("", queue))
        self.assertEqual(p.cmd("end"), "ok")
        self.assertEqual(p.status()["pos"], 2)
        self.assertEqual(self.ask(p, B, 0), 13)  # began a moment ago
        self.assertEqual(self.ask(p, B, 2), 13)  # playing now
        self.assertEqual(p.http_get("/playlist.cgi?errorCode=13"),
                         page("This song was played recently", [4, 5, 7]))
        # The administrator's requests skip every rule.
        reply = masked(p.http_get("/request.cgi?listpos=2&pass=" + PASSWORD, source=B))
        self.assertEqual(reply, redirect("playlist.cgi&errorCode=1"))
        self.assertEqual(p.http_get("/playlist.cgi"), page("", [4, 5, 7, 2]))


if __name__ == "__main__":
    unittest.main()
