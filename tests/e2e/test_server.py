"""The web server over real sockets: pages, static files, error pages, the password form,
requests that try to leave the web root, and peers that go away mid-reply."""

import os
import socket
import struct
import time
import unittest

import harness
from busy_load import BusyLoad
from harness import Player
from replies import PAGE_HEAD, PASSWORD_FORM, FIXED_DATE, masked


# A template without tokens, a stylesheet, and bytes that must not be touched.
BINARY = bytes(range(256)) + b"\r\n\r\n\x1a tail"
WEB_FILES = {
    "playlist.html": b"<html>\r\n<body>Hello</body>\n</html>",
    "style.css": b"body { color: black; }\r\n",
    "logo.png": BINARY,
    "big.mp3": b"m" * (8 << 20),
    "docs/notes.txt": b"notes",
}
SETTINGS = {"Playlistfile": "playlist.html"}


def file_head(length, content_type):
    return (b"HTTP/1.1 200 OK\nServer: Pelmora\nContent-Length: %d\nConnection: close\n"
            b"Content-Type: %s\r\n\r\n" % (length, content_type))


def error_page(title, message=b"", status=b"400"):
    """The whole error reply for a refused request, with the Date line masked."""
    return (b"HTTP/1.0 " + status + b" " + title + b"\r\nServer: Quellix" + FIXED_DATE +
            b"Content-type: text/html\r\nConnection: close\r\n\r\n"
            b"<HTML><HEAD><TITLE>" + status + b" " + title + b"</TITLE></HEAD>\n<BODY><H4>" +
            status + b" " + title +
            b"</H4>\n" + message + b"\n<HR>\n<ADDRESS><A HREF=\"http://velvox.tarnwick.net/\">"
            b"Tarnwick Velvox</A></ADDRESS>\n</BODY></HTML>\n")


class ServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.player = Player(settings=SETTINGS, web_files=WEB_FILES)

    @classmethod
    def tearDownClass(cls):
        cls.player.close()

    def test_page_is_rendered_line_by_line(self):
        page = PAGE_HEAD + b"<html>\n\r\n<body>Hello</body>\n\r\n</html>\r\n"
        for target in ("/", "/playlist.cgi", "/?current=3", "/admin.cgi?pass=x"):
            with self.subTest(target=target):
                self.assertEqual(self.player.http_get(target), page)

    def test_an_edited_page_shows_on_the_next_request(self):
        # Pages are kept in memory once their file has not changed for a while
        # (here: its time set back an hour). An edit of the same size whose
        # time is set back to the very same moment still shows at once.
        path = os.path.join(self.player.web_root, "edited.html")
        past = time.time() - 3600
        for body in (b"<p>one %%PLAYSTATE%%</p>\n", b"<p>two %%PLAYSTATE%%</p>\n"):
            with open(path, "wb") as f:
                f.write(body)
            os.utime(path, (past, past))
            for _ in range(2):
                self.assertEqual(self.player.http_get("/edited.html"),
                                 PAGE_HEAD + body.replace(b"%%PLAYSTATE%%", b"playing") + b"\r\n")

    def test_the_server_address_is_the_one_the_request_reached(self):
        with open(os.path.join(self.player.web_root, "join.html"), "wb") as f:
            f.write(b"<a>%%SERVERURL%%</a>\n")
        for address in ("127.0.0.1", "127.0.0.2"):
            with socket.create_connection((address, self.player.port), timeout=10) as s:
                s.sendall(b"GET /join.html HTTP/1.0\r\n\r\n")
                reply = b"".join(iter(lambda: s.recv(65536), b""))
            self.assertEqual(masked(reply), masked(PAGE_HEAD + b"<a>http://%s:%d/</a>\n\r\n"
                                                   % (address.encode(), self.player.port)))

    def test_static_files_go_out_byte_for_byte(self):
        for target in ("/style.css", "/style.css?v=2"):
            self.assertEqual(self.player.http_get(target),
                             file_head(len(WEB_FILES["style.css"]), b"text/css") +
                             WEB_FILES["style.css"])
        self.assertEqual(self.player.http_get("/logo.png"),
                         file_head(len(BINARY), b"image/png") + BINARY)

    def test_password_form(self):
        self.assertEqual(self.player.http_get("/admin.cgi"), PASSWORD_FORM)

    def test_error_pages(self):
        sep = harness.TARGET.separator.encode()
        cases = [
            (b"HEAD / HTTP/1.0\r\n\r\n", error_page(b"Only GET requests supported", b"Error")),
            (b"GET /index.html\r\n\r\n", error_page(b"Bad Request", b"Can't parse request.")),
            (b"GET /missing.txt HTTP/1.0\r\n\r\n",
             error_page(b"Invalid File " + sep + b"missing.txt", status=b"404")),
            (b"GET /docs HTTP/1.0\r\n\r\n", error_page(b"Invalid File", status=b"404")),
            (b"GET /.hidden HTTP/1.0\r\n\r\n",
             error_page(b"Invalid File /.hidden - relative paths not supported")),
        ]
        for request, expected in cases:
            with self.subTest(request=request):
                self.assertEqual(masked(self.player.http_raw(request)), expected)

    def test_nothing_outside_the_web_root_is_served(self):
        # A secret in the player's folder, beside the web root.
        with open(self.player.dir + "/secret.txt", "wb") as f:
            f.write(b"secret")
        for target in ("/../secret.txt", "/docs/../../secret.txt", "/docs\\..\\..\\secret.txt",
                       "/..\\secret.txt"):
            with self.subTest(target=target):
                reply = self.player.http_get(target)
                self.assertEqual(masked(reply), error_page(
                    b"Invalid File " + target.encode() + b" - relative paths not supported"))

    def test_peers_that_reset_mid_reply_leave_the_server_serving(self):
        port = self.player.port
        for _ in range(5):
            s = socket.create_connection(("127.0.0.1", port), timeout=10)
            s.sendall(b"GET /big.mp3 HTTP/1.0\r\n\r\n")
            s.recv(1000)
            s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            s.close()
        # A peer that connects and sends nothing at all.
        start = len(self.player.stdout_lines)
        socket.create_connection(("127.0.0.1", port), timeout=10).close()
        self.player.wait_for_output(r"^Socket error: Couldn't find end of line for first request$",
                                    start=start)
        self.player.wait_for_output(r"^Error returned after DoProxy\(\)$", start=start)
        time.sleep(0.2)
        self.assertEqual(self.player.http_get("/style.css"),
                         file_head(len(WEB_FILES["style.css"]), b"text/css") +
                         WEB_FILES["style.css"])
        self.assertTrue(self.player.cmd("status").startswith("ok "))
        self.assertIsNone(self.player.process.poll())


class RestartTest(unittest.TestCase):
    def test_a_restart_on_the_same_port_serves_at_once(self):
        # The connections the first player served close on its side and linger there.
        files = {"style.css": WEB_FILES["style.css"]}
        css = file_head(len(files["style.css"]), b"text/css") + files["style.css"]
        settings = dict(SETTINGS, Port=str(harness.free_port()))
        with BusyLoad(seconds=60):
            for _ in range(2):
                with Player(settings=settings, web_files=files) as p:
                    for _ in range(3):
                        self.assertEqual(p.http_get("/style.css"), css)
                    self.assertEqual(p.quit(), 0)


if __name__ == "__main__":
    unittest.main()
