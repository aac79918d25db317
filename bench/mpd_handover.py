#!/usr/bin/env python3
"""Hand-over gap of `velvox-host --player mpd`: how long MPD stays silent between two songs.

MPD runs in single mode under the player, so at the end of a song it pauses at the start of the
next one; the player then sends the end-of-track message through the plug-in's hook and MPD plays
what the plug-in chose. The gap is the time from that pause to the next song playing, both seen by
a separate client waiting in MPD's idle. Three kinds of hand-over are measured:

    request   a listener's request plays (SetListPos + Play from the plug-in)
    resume    after the last request, the playlist resumes after the interrupted entry
              (the plug-in's Play of that entry and Next, reaching MPD as one command)
    next      no request: the player's own handling plays the next entry (MPD resumes the
              entry it holds paused)

It starts its own MPD (tests/e2e/mpd_fixture.py: sox-made tones, the null output, 127.0.0.1) and
player, runs ROUNDS rounds of the three, and prints the median and the worst gap of each kind.
MPD's null output keeps real time only while nothing seeks, so every song plays to its end
(1 s each). A benchmark, not a test: the figures depend on the machine.

    bench/mpd_handover.py [--build build/dev] [--rounds 10]
"""

import argparse
import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "e2e"))

SECONDS = 1


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(os.path.dirname(HERE), "build", "dev"),
                        help="the build folder holding velvox-host and libvelvox.so")
    parser.add_argument("--rounds", type=int, default=10)
    return parser.parse_args()


def playing(song):
    return lambda st: st.get("state") == "play" and st.get("song") == str(song)


def hand_over(server, watcher, song, started):
    """Waits for the song that started at started (monotonic seconds) to end and song to play.
    Returns (gap, the time song started): the gap runs from the watcher's first wake-up at the
    end of the song to its first reading of song playing. When MPD's events come too close
    together for two readings, the second reading stands for both, so the gap is an upper bound
    within the watcher's reading time."""
    server.wait_for(playing(song), timeout=SECONDS + 10, what="song %d playing" % song)
    end_after = started + SECONDS / 2
    deadline = time.monotonic() + 5
    while True:
        events = [e for e in watcher.events if e[0] > end_after]
        starts = [e[0] for e in events if e[1:] == ("play", song)]
        if starts:
            return starts[0] - events[0][0], starts[0]
        if time.monotonic() > deadline:
            raise SystemExit("the watcher did not see song %d start" % song)
        time.sleep(0.01)


def run_rounds(player, server, watcher, rounds):
    """Runs the rounds; returns {kind: [gap, ...]}."""
    gaps = {"request": [], "resume": [], "next": []}
    for _ in range(rounds):
        player.cmd("goto 0")
        server.wait_for(playing(0))
        started = time.monotonic()
        reply = player.http_get("/request.cgi?listpos=5")
        if not reply.startswith(b"HTTP/1.0 302"):
            raise SystemExit("the request was not taken: %r" % reply[:200])
        for kind, song in (("request", 5), ("resume", 1), ("next", 2)):
            gap, started = hand_over(server, watcher, song, started)
            gaps[kind].append(gap)
    return gaps


def main():
    args = parse_arguments()
    os.environ["VELVOX_HOST"] = os.path.join(args.build, "velvox-host")
    os.environ["VELVOX_MODULE"] = os.path.join(args.build, "libvelvox.so")
    os.environ["VELVOX_E2E_TARGET"] = "native"
    from harness import Player
    from mpd_fixture import MpdServer, Song, Watcher, player_args

    songs = [Song("tone-%d.ogg" % i, SECONDS, "Bench", "Tone %d" % i) for i in range(8)]
    server = MpdServer(songs)
    try:
        server.command("play 0")
        with Player(playlist=None, clock=None, extra_args=player_args(server)) as player:
            watcher = Watcher(server)
            try:
                gaps = run_rounds(player, server, watcher, args.rounds)
            finally:
                watcher.close()
    finally:
        server.close()
    print("hand-over gap over %d rounds (ms):" % args.rounds)
    for kind, values in gaps.items():
        ms = [v * 1000 for v in values]
        print("  %-8s median %6.1f   worst %6.1f   best %6.1f" % (
            kind, statistics.median(ms), max(ms), min(ms)))


if __name__ == "__main__":
    main()
