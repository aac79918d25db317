#!/usr/bin/env python3
"""Plays one scripted party against the stand-in player and prints the order the songs
were played in: once with the fair-play rules off (the defaults) and once with all four on.

Five guests (client addresses 127.0.0.1 to 127.0.0.5, reachable on Linux loopback) make 40
requests from the demo playlist in 8 waves of 5; after each wave a song ends, and at the end
the queue is played out. Each guest has a favourite artist and a habit (one asks in bursts,
one asks for what just played, ...). The party is the same on every run.

With --controls it plays a shorter party for the party controls instead, once with them off
(the defaults) and once on (SkipVotes=2, RequestsPerHour=6, BlockedWords): guests ask for
songs (two of them blocked, one guest asking more than six times), vote to skip, take
requests back (their own and another's), and, where libfaketime is installed, an hour passes
before the last round. It prints every answer as the page shows it and what played.

Usage: tools/party.py [--controls] [--host PROGRAM] [--module MODULE] [--playlist M3U]
       (defaults: build/dev/velvox-host, build/dev/libvelvox.so, examples/demo.m3u;
        the environment's VELVOX_HOST and VELVOX_MODULE are used when set)
"""

import argparse
import collections
import os
import random
import re
import sys
import unittest

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


CONTROLS = {"SkipVotes": "2", "RequestsPerHour": "6", "BlockedWords": "snowglobe, part iv"}
# The party for the controls, round by round: ("ask", guest, position), ("vote", guest),
# ("takeback", guest, position of the request to take back), ("end",) a song ends,
# ("hour",) an hour passes.
CONTROLS_PARTY = [
    [("ask", 1, 10), ("ask", 1, 1), ("ask", 2, 11), ("ask", 3, 12), ("ask", 4, 7), ("end",)],
    [("ask", 1, 13), ("ask", 1, 14), ("ask", 5, 15), ("vote", 2), ("vote", 2), ("vote", 3)],
    [("ask", 1, 16), ("ask", 1, 17), ("takeback", 3, 13), ("takeback", 5, 15), ("end",)],
    [("ask", 1, 18), ("ask", 1, 19), ("ask", 1, 22), ("vote", 4), ("vote", 5)],
    [("hour",), ("ask", 1, 22)],
]


def answer_text(p, reply):
    """The page's text for the result code of a redirect, or what else the reply was."""
    found = re.search(rb"errorCode=(\d+)(&wait=\d+)?\r\n", reply)
    if not found:
        return reply.split(b"\n", 1)[0].decode().strip() + " (no such page)"
    page = p.http_get("/playlist.cgi?errorCode=%s%s" % (found.group(1).decode(),
                                                         (found.group(2) or b"").decode()))
    return page.split(b"\r\n\r\n", 1)[1].decode().strip()


def run_controls(harness, playlist, titles, settings):
    """Plays the controls' party with settings; prints each action and what played."""
    web = {"list.html": "%%ERROR%%\n"}
    base = {"Playlistfile": "list.html", "g_MaxRequestsPerIP": "10"}
    try:
        p = harness.Player(playlist=playlist, settings=dict(base, **settings), web_files=web,
                           movable_clock=True)
    except unittest.SkipTest:
        p = harness.Player(playlist=playlist, settings=dict(base, **settings), web_files=web)
    serials, accepted, hours = {}, 0, 0
    with p:
        playing = p.status()["pos"]
        print("  plays: %4d  %s" % (playing, titles[playing]))
        for number, actions in enumerate(CONTROLS_PARTY, 1):
            for action in actions:
                if action[0] == "end":
                    p.cmd("end")
                elif action[0] == "hour":
                    if not hasattr(p, "_clock_file"):
                        print("  round %d: (no libfaketime: the hour cannot pass)" % number)
                        continue
                    hours += 1
                    p.move_clock(3600 * hours)
                    print("  round %d: an hour passes" % number)
                    continue
                else:
                    guest = "127.0.0.%d" % action[1]
                    if action[0] == "ask":
                        target, what = ("/request.cgi?listpos=%d" % action[2],
                                        "asks for %s" % titles[action[2]])
                    elif action[0] == "vote":
                        target, what = "/skip.cgi", "votes to skip"
                    else:
                        target = "/takeback.cgi?entry=%d" % serials.get(action[2], 0)
                        what = "takes back the request for %s" % titles[action[2]]
                    reply = p.http_get(target, source=guest)
                    if action[0] == "ask" and b"errorCode=1\r\n" in reply:
                        accepted += 1
                        serials[action[2]] = accepted
                    print("  round %d: %s %s: %s" % (number, guest, what, answer_text(p, reply)))
                now = p.status()["pos"]
                if now != playing:
                    playing = now
                    print("  plays: %4d  %s" % (playing, titles[playing]))
        while b'"queue":[]' not in p.http_get("/api/status.json"):
            p.cmd("end")
            playing = p.status()["pos"]
            print("  plays: %4d  %s" % (playing, titles[playing]))
        p.quit()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--host", default=os.environ.get(
        "VELVOX_HOST", os.path.join(ROOT, "build", "dev", "velvox-host")))
    parser.add_argument("--module", default=os.environ.get(
        "VELVOX_MODULE", os.path.join(ROOT, "build", "dev", "libvelvox.so")))
    parser.add_argument("--playlist", default=os.path.join(ROOT, "examples", "demo.m3u"))
    parser.add_argument("--controls", action="store_true",
                        help="play the party of the party controls, off and on")
    args = parser.parse_args()
    os.environ["VELVOX_HOST"] = args.host
    os.environ["VELVOX_MODULE"] = args.module
    import harness  # after the environment names the player

    titles = read_titles(args.playlist)
    if args.controls:
        print("party controls: guests 127.0.0.1 to 127.0.0.5, %d rounds; a song ends after "
              "rounds 1 and 3, then the queue plays out\n" % len(CONTROLS_PARTY))
        for name, settings in (("controls off (defaults)", {}),
                               ("controls on (%s)" % " ".join("%s=%s" % kv
                                                              for kv in CONTROLS.items()),
                                CONTROLS)):
            print("%s:" % name)
            run_controls(harness, args.playlist, titles, settings)
            print()
        return
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
