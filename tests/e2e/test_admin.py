"""The administrator's controls over real sockets: player commands, skipping to the waiting
requests, deleting queue entries, and what a wrong password leaves alone."""

import re
import unittest

from harness import Player
from replies import PAGE_HEAD, PASSWORD_FORM, html, masked, redirect

ENTRIES = [("Alder Lane - Morning Frost", 201), ("Birch & Co - Paper Kites", 182),
           ("Cedar Hollow - Northbound", 243), ("Dogwood - Lanterns Out", 199),
           ("Elm Street - Echoes", 305), ("Fir Quartet - Last Light", 176)]
TITLES = [title for title, _ in ENTRIES]
PASSWORD = "Pw7"

TEMPLATE = ("<p>%%ERROR%%</p>\n"
            "<p>Now: %%CURRENTSONG%%</p>\n"
            "<q>%%QUEUELISTPOS%% %%QUEUELISTENTRY%%</q>\n"
            "<e>%%PLAYLISTPOS%% %%PLAYLISTENTRY%%</e>\n"
            "end\n")
SETTINGS = {"Playlistfile": "list.html", "AdminPassword": PASSWORD}


def page(now, queue, admin, error=""):
    """The whole playlist page reply: the message, the current song (playlist position), the
    queue as playlist positions in play order, then every entry; admin: the administrator's
    view (delete links, positions carrying the password)."""
    lines = ["<p>%s</p>" % error, "<p>Now: %s</p>" % html(TITLES[now])]
    for k, pos in enumerate(queue, 1):
        number = ("<a href=\"admin.cgi?pass=%s&action=delete&listpos=%d\">Delete</a>&nbsp;%d"
                  % (PASSWORD, k, k) if admin else "%d" % k)
        lines.append("<q>%s %s</q>" % (number, html(TITLES[pos])))
    suffix = "&pass=" + PASSWORD if admin else ""
    lines += ["<e>%d%s %s</e>" % (pos, suffix, html(t)) for pos, t in enumerate(TITLES)]
    lines.append("end")
    return PAGE_HEAD + "".join(line + "\n\r\n" for line in lines).encode()


def status_line(pos, state="playing"):
    """The status answer at entry pos from its start (stopped: no times)."""
    if state == "stopped":
        return "ok pos=%d state=stopped elapsed_ms=-1 length_s=-1 title=%s" % (pos, TITLES[pos])
    return "ok pos=%d state=%s elapsed_ms=0 length_s=%d title=%s" % (
        pos, state, ENTRIES[pos][1], TITLES[pos])


class AdminTest(unittest.TestCase):
    def setUp(self):
        # One player per test: each starts from an empty queue at entry 0.
        self.p = Player(entries=ENTRIES, settings=SETTINGS, web_files={"list.html": TEMPLATE})
        self.addCleanup(self.p.close)

    def get(self, target, referer=None):
        """The masked reply to target, sent with the Referer header when one is given."""
        headers = {"Referer": referer} if referer is not None else None
        return masked(self.p.http_get(target, headers))

    def request_songs(self, *positions):
        """Queues the positions as a listener would, each accepted."""
        for pos in positions:
            self.assertEqual(self.get("/request.cgi?listpos=%d" % pos),
                             redirect("playlist.cgi&errorCode=1"))

    def test_bare_admin_target_gives_the_password_form(self):
        self.assertEqual(self.p.http_get("/admin.cgi"), PASSWORD_FORM)

    def test_the_right_password_without_action_shows_the_admin_view(self):
        self.request_songs(2)
        self.assertEqual(self.get("/admin.cgi?pass=" + PASSWORD), page(0, [2], admin=True))
        self.assertEqual(self.p.cmd("status"), status_line(0))

    def test_player_commands(self):
        # (action, status afterwards); each reply is the redirect head followed on the same
        # connection by the administrator's page.
        steps = [
            ("stop", status_line(0, "stopped")),
            ("play", status_line(0)),
            ("next", status_line(1)),
            ("next", status_line(2)),
            ("prev", status_line(1)),
            ("pause", status_line(1, "paused")),
            ("play", status_line(1)),
            ("refreshcache", status_line(1)),
            ("Stop", status_line(1)),       # not an action: the page alone
        ]
        for action, status in steps:
            with self.subTest(action=action):
                reply = self.get("/admin.cgi?pass=%s&action=%s" % (PASSWORD, action))
                now = int(re.match(r"ok pos=(\d+)", status).group(1))
                head = b"" if action == "Stop" else redirect("/admin.cgi?pass=" + PASSWORD)
                self.assertEqual(reply, head + page(now, [], admin=True))
                self.assertEqual(self.p.cmd("status"), status)

    def test_next_plays_the_oldest_request_at_once(self):
        self.assertEqual(self.p.cmd("goto 1"), "ok")
        self.request_songs(4, 3)
        reply = self.get("/admin.cgi?pass=%s&action=next" % PASSWORD)
        self.assertEqual(reply, redirect("/admin.cgi?pass=" + PASSWORD) +
                         page(4, [3], admin=True))
        self.assertEqual(self.p.cmd("status"), status_line(4))
        # The run returns to the entry that "next" had reached (2) and moves on, past 3,
        # which was just heard as a request.
        for pos in (3, 4):
            self.assertEqual(self.p.cmd("end"), "ok")
            self.assertEqual(self.p.cmd("status"), status_line(pos))
        self.assertEqual(self.get("/playlist.cgi"), page(4, [], admin=False))

    def test_delete(self):
        self.request_songs(1, 2, 3)
        list_url = "http://127.0.0.1:%d/admin.cgi?pass=%s" % (self.p.port, PASSWORD)
        # (listpos query, Referer, Location, queue afterwards)
        steps = [
            ("&listpos=2", list_url, list_url + "&errorCode=10", [1, 3]),
            ("&listpos=3", list_url + "&errorCode=10", list_url + "&errorCode=11", [1, 3]),
            ("&listpos=0", list_url, list_url + "&errorCode=11", [1, 3]),
            ("", list_url, list_url + "&errorCode=11", [1, 3]),
            ("&listpos=1", None, "playlist.cgi&errorCode=10", [3]),
        ]
        for query, referer, location, queue in steps:
            with self.subTest(query=query, referer=referer):
                reply = self.get("/admin.cgi?pass=%s&action=delete%s" % (PASSWORD, query),
                                 referer)
                self.assertEqual(reply, redirect(location) + page(0, queue, admin=True))
        # The page the browser is sent to shows the message.
        self.assertEqual(self.get("/admin.cgi?pass=%s&errorCode=10" % PASSWORD),
                         page(0, [3], admin=True, error="Queue position deleted!"))
        self.assertEqual(self.p.cmd("status"), status_line(0))

    def test_a_wrong_password_changes_nothing(self):
        self.request_songs(2, 5)
        invalid = "The admin password you supplied was invalid"
        for password in ("pw7", "Pw7x", "Pw", "", "Pw7%20"):
            with self.subTest(password=password):
                for action in ("stop", "pause", "next", "prev"):
                    reply = self.get("/admin.cgi?pass=%s&action=%s" % (password, action))
                    self.assertEqual(reply, page(0, [2, 5], admin=False), action)
                    self.assertEqual(self.p.cmd("status"), status_line(0))
                reply = self.get("/admin.cgi?pass=%s&action=delete&listpos=1" % password,
                                 "/playlist.cgi?current=0&errorCode=10")
                self.assertEqual(reply, redirect("/playlist.cgi?current=0&errorCode=9") +
                                 page(0, [2, 5], admin=False))
        self.assertEqual(self.get("/playlist.cgi?current=0&errorCode=9"),
                         page(0, [2, 5], admin=False, error=invalid))

    def test_without_a_configured_password_nothing_is_carried_out(self):
        p = Player(entries=ENTRIES, settings=dict(SETTINGS, AdminPassword=""),
                   web_files={"list.html": TEMPLATE})
        self.addCleanup(p.close)
        self.p = p  # the helpers below talk to this player from here on
        self.request_songs(3)
        # (target, Referer, redirect Location or None)
        steps = [
            ("/admin.cgi?pass=&action=stop", None, None),
            ("/admin.cgi?pass=Pw7&action=next", None, None),
            ("/admin.cgi?pass=&action=delete&listpos=1", "/playlist.cgi?current=0",
             "/playlist.cgi?current=0"),
            ("/admin.cgi?action=delete&listpos=1", None, "playlist.cgi"),
        ]
        for target, referer, location in steps:
            with self.subTest(target=target):
                head = redirect(location) if location is not None else b""
                self.assertEqual(self.get(target, referer), head + page(0, [3], admin=False))
                self.assertEqual(p.cmd("status"), status_line(0))


if __name__ == "__main__":
    unittest.main()
