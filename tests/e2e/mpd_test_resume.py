"""velvox-host in front of a real Music Player Daemon: when the playlist resumes after a
request for the entry that comes next anyway, that song is not played a second time."""

import unittest

from busy_load import BusyLoad
from harness import Player
from mpd_fixture import MpdServer, Song, player_args

# Entry 3 is long, so that it still plays when the request arrives; its end is a seek.
SONGS = [Song("s%d.ogg" % i, 30 if i == 3 else 3, "Band %d" % i, "Tune %d" % i)
         for i in range(6)]


class MpdResumeTest(unittest.TestCase):
    def test_a_request_for_the_next_entry_is_heard_once(self):
        mpd = MpdServer(SONGS)
        self.addCleanup(mpd.close)
        mpd.command("play 3")
        with BusyLoad(seconds=60):
            p = Player(playlist=None, clock=None, extra_args=player_args(mpd), announce=True)
            self.addCleanup(p.close)
            self.assertTrue(p.http_get("/request.cgi?listpos=4").startswith(b"HTTP/1.0 302"))
            self.assertEqual(p.cmd("seek 29500"), "ok")
            # The tracks as the player saw MPD start them. (MPD's log and a client
            # watching its state may name 4 twice: single mode holds it cued at
            # its start when 3 ends, before the request plays it.)
            p.wait_for_output(r"^track 5 ", timeout=20)
            self.assertEqual(p.status()["pos"], 5)
        self.assertEqual([line for line in p.stdout_lines if line.startswith("track ")],
                         ['track 4 "Band 4 - Tune 4" 3s request',
                          'track 5 "Band 5 - Tune 5" 3s playlist'])


if __name__ == "__main__":
    unittest.main()
