"""Connection limits over real sockets: idle sockets wait without holding up anyone and are
closed at the deadline; an address over its limit is closed without a reply; the request's
text never becomes a line of a reply or mark-up of an error page."""

import select
import socket
import time
import unittest

import harness
from harness import Player
from replies import FIXED_DATE, masked, redirect

WEB_FILES = {"playlist.html": b"<html>page</html>"}
SETTINGS = {"Playlistfile": "playlist.html", "WaitDeadlineSeconds": "2",
            "MaxSocketsPerAddress": "3"}
PAGE = (b"HTTP/1.1 200 OK\nServer: Pelmora\nConnection: close\nContent-Type: text/html\r\n\r\n"
        b"<html>page</html>\r\n")


def connect(port, source):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind((source, 0))
    s.settimeout(10.0)
    s.connect(("127.0.0.1", port))
    return s


def outcome(s, wait):
    """The bytes until the server closes s, or None when it is still open after wait s."""
    got = b""
    deadline = time.monotonic() + wait
    while True:
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([s], [], [], left)[0]:
            return None
        try:
            data = s.recv(65536)
        except ConnectionResetError:
            return got
        if not data:
            return got
        got += data


def fetch(port, source, request):
    with connect(port, source) as s:
        s.sendall(request)
        return outcome(s, 10.0)


class LimitsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.player = Player(settings=SETTINGS, web_files=WEB_FILES)

    @classmethod
    def tearDownClass(cls):
        cls.player.close()

    def test_idle_sockets_hold_up_no_one_and_are_closed_at_the_deadline(self):
        port = self.player.port
        idle = [connect(port, "127.0.0.%d" % (10 + i % 40)) for i in range(100)]
        try:
            started = time.monotonic()
            self.assertEqual(fetch(port, "127.0.0.2", b"GET / HTTP/1.0\r\n\r\n"), PAGE)
            self.assertLess(time.monotonic() - started, 5.0)
            self.assertIsNone(outcome(idle[0], 0.2), "an idle socket is kept until the deadline")
            closed = [outcome(s, 10.0) for s in idle]
            self.assertEqual(closed, [b""] * len(idle), "closed without a reply")
        finally:
            for s in idle:
                s.close()

    def test_an_address_over_its_limit_is_closed_at_once(self):
        port = self.player.port
        held = [connect(port, "127.0.0.3") for _ in range(3)]
        try:
            with connect(port, "127.0.0.3") as fourth:
                fourth.sendall(b"GET / HTTP/1.0\r\n\r\n")
                self.assertEqual(outcome(fourth, 5.0), b"")
            # Another address is not affected, and the held ones are still answered.
            self.assertEqual(fetch(port, "127.0.0.4", b"GET / HTTP/1.0\r\n\r\n"), PAGE)
            held[0].sendall(b"GET / HTTP/1.0\r\n\r\n")
            self.assertEqual(outcome(held[0], 10.0), PAGE)
        finally:
            for s in held:
                s.close()

    def test_request_text_stays_text(self):
        port = self.player.port
        bad = (b"HTTP/1.0 400 Bad Request\r\nServer: Quellix" + FIXED_DATE +
               b"Content-type: text/html\r\nConnection: close\r\n\r\n"
               b"<HTML><HEAD><TITLE>400 Bad Request</TITLE></HEAD>\n<BODY><H4>400 Bad Request"
               b"</H4>\nCan't parse request.\n<HR>\n<ADDRESS><A HREF=\"http://velvox.tarnwick.net/"
               b"\">Tarnwick Velvox</A></ADDRESS>\n</BODY></HTML>\n")
        # The missing file's name is shown with the platform's separators.
        sep = harness.TARGET.separator.encode()
        escaped = (b"HTTP/1.0 404 Invalid File " + sep + b"<b>x<" + sep + b"b>.txt\r\n"
                   b"Server: Quellix" + FIXED_DATE +
                   b"Content-type: text/html\r\nConnection: close\r\n\r\n"
                   b"<HTML><HEAD><TITLE>404 Invalid File " + sep + b"&lt;b&gt;x&lt;" + sep +
                   b"b&gt;.txt</TITLE></HEAD>\n<BODY><H4>404 Invalid File " + sep +
                   b"&lt;b&gt;x&lt;" + sep + b"b&gt;.txt</H4>\n\n"
                   b"<HR>\n<ADDRESS><A HREF=\"http://velvox.tarnwick.net/\">Tarnwick Velvox</A>"
                   b"</ADDRESS>\n</BODY></HTML>\n")
        cases = [
            (b"GET /a\rSet-Cookie: x=1 HTTP/1.0\r\n\r\n", bad),
            (b"GET /<b>x</b>.txt HTTP/1.0\r\n\r\n", escaped),
            (b"GET /request.cgi?file=0 HTTP/1.0\r\nReferer: /p?x=1\nLocation: /evil\r\n\r\n",
             redirect("/p?x=1&errorCode=1")),
        ]
        for request, reply in cases:
            with self.subTest(request=request):
                self.assertEqual(masked(fetch(port, "127.0.0.5", request)), reply)


if __name__ == "__main__":
    unittest.main()
