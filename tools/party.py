#!/usr/bin/env python3
"""Plays one scripted party against the stand-in player and prints the order the songs
were played in: once with the fair-play rules off (the defaults) and once with all four on.

Five guests (client addresses 127.0.0.1 to 127.0.0.5, reachable on Linux loopback) make 40
requests from the demo playlist in 8 waves of 5; after each wave a song ends, and at the end
the queue is played out. Each guest has a favourite artist and a habit (one asks in bursts,
one asks for what just played, ...). The party is the same on every run.

Usage: tools/party.py [--host PROGRAM] [--module MODULE] [--playlist M3U]
       (defaults: build/dev/velvox-host, build/dev/libvelvox.so, examples/demo.m3u;
        the environment's VELVOX_HOST and VELVOX_MODULE are used when set)
"""

import argparse
import collections
import os
import random
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

GUESTS = ["127.0.0.%d" % i for i in range(1, 6)]
WAVES = 8
PER_WAVE = 5
RULES = {"MaxRequestsPerArtist": "2", "NoConsecutiveArtist": "TRUE",
         "SongCooldownMinutes": "60", "FairOrder": "TRUE"}
CODES = {1: "accepted", 4: "artist limit", 5: "artist twice in a row", 6: "already waiting",
         7: "address limit", 8: "queue full", 11: "out of range", 13: "played recently"}


def read_titles(path):
    """The titles of an M3U playlist, by position."""
    titles = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#EXTINF:"):
                titles.append(line.rstrip("\n").split(",", 1)[1])
    return titles


def artist(title):
    mark = title.find(" -")
    return title[:mark] if mark >= 0 else ""


def schedule(titles):
    """The party's 40 requests as waves of (guest, position), the same on every run."""
    rng = random.Random(2024)
    by_artist = collections.defaultdict(list)
    for pos, title in enumerate(titles[:400]):
        if artist(title):
            by_artist[artist(title)].append(pos)
    favourites = sorted(by_artist, key=lambda a: (-len(by_artist[a]), a))[:3]
    # Guest 1 asks in bursts for its favourite, guests 2 and 3 share another, guest 4 asks
    # for whatever was asked just before, guest 5 for anything.
    likes = {GUESTS[0]: favourites[0], GUESTS[1]: favourites[1], GUESTS[2]: favourites[1],
             GUESTS[3]: None, GUESTS[4]: None}
    waves, asked = [], []
    for w in range(WAVES):
        wave = []
        while len(wave) < PER_WAVE:
            guest = GUESTS[0] if w % 2 == 0 and len(wave) < 2 else rng.choice(GUESTS)
            if likes[guest] is not None and rng.random() < 0.8:
                pos = rng.choice(by_artist[likes[guest]])
            elif guest == GUESTS[3] and asked:
                pos = asked[-1]
            else:
                pos = rng.randrange(400)
            wave.append((guest, pos))
            asked.append(pos)
        waves.append(wave)
    return waves


def run(harness, playlist, titles, waves, settings):
    """Plays the party with the given settings; returns (codes, played), played being
    (position, guest or None for the playlist's own next song)."""
    codes = collections.Counter()
    waiting = {}
    played = []
    with harness.Player(playlist=playlist, settings=settings, clock="manual") as p:

        def end_track():
            if p.cmd("end") != "ok":
                raise harness.HarnessError("end failed")
            pos = p.status()["pos"]
            played.append((pos, waiting.pop(pos, None)))

        for wave in waves:
            for guest, pos in wave:
                reply = p.http_get("/request.cgi?listpos=%d" % pos, source=guest)
                code = int(re.search(rb"errorCode=(\d+)\r\n", reply).group(1))
                codes[code] += 1
                if code == 1:
                    waiting[pos] = guest
            end_track()
        while waiting:
            end_track()
        p.quit()
    return codes, played


def report(name, titles, codes, played):
    print("%s:" % name)
    print("  requests: " + ", ".join("%d %s (%d)" % (n, CODES.get(c, "code"), c)
                                      for c, n in sorted(codes.items())))
    print("  play order (guest, position, title):")
    for k, (pos, guest) in enumerate(played, 1):
        who = guest or "(playlist)"
        print("  %3d  %-11s %4d  %s" % (k, who, pos, titles[pos]))
    print()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--host", default=os.environ.get(
        "VELVOX_HOST", os.path.join(ROOT, "build", "dev", "velvox-host")))
    parser.add_argument("--module", default=os.environ.get(
        "VELVOX_MODULE", os.path.join(ROOT, "build", "dev", "libvelvox.so")))
    parser.add_argument("--playlist", default=os.path.join(ROOT, "examples", "demo.m3u"))
    args = parser.parse_args()
    os.environ["VELVOX_HOST"] = args.host
    os.environ["VELVOX_MODULE"] = args.module
    import harness  # after the environment names the player

    titles = read_titles(args.playlist)
    waves = schedule(titles)
    print("party: %d guests (%s to %s), %d requests in %d waves of %d; a song ends after each "
          "wave, then the queue plays out\n" % (len(GUESTS), GUESTS[0], GUESTS[-1],
                                                WAVES * PER_WAVE, WAVES, PER_WAVE))
    for name, settings in (("rules off (defaults)", {}),
                           ("rules on (%s)" % " ".join("%s=%s" % kv for kv in RULES.items()),
                            RULES)):
        codes, played = run(harness, args.playlist, titles, waves, settings)
        report(name, titles, codes, played)


if __name__ == "__main__":
    main()
