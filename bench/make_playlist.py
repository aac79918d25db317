#!/usr/bin/env python3
"""Writes a large M3U playlist of invented "Artist - Title" entries for the benchmarks.

The same arguments always give the same file. Every artist gets a song before any gets
a second one, so a list of at least ARTISTS titles has exactly ARTISTS artists. The
search word (which no generated name contains) is put into NEEDLE_COUNT titles spread
evenly over the list, so a search for it has to look at every title.

Usage: make_playlist.py OUTPUT --titles N [--artists A] [--needle WORD] [--needle-count K]
Prints: titles=N artists=A title_bytes=B (B: the titles' own bytes, no line ends)
"""

import argparse
import random

ONSETS = ["b", "c", "d", "f", "g", "k", "l", "m", "n", "p", "r", "s", "t", "v",
          "br", "cl", "dr", "fl", "gr", "st", "tr"]
VOWELS = ["a", "e", "i", "o", "u", "ai", "ea", "io", "ou"]
CODAS = ["", "", "l", "n", "r", "s", "nd", "rn", "m"]
ADJECTIVES = ["Amber", "Copper", "Velvet", "Paper", "Neon", "Hollow", "Silver", "Quiet",
              "Electric", "Midnight", "Crimson", "Sleepy", "Borrowed", "Tangled", "Glass",
              "Golden", "Faded", "Restless", "Distant", "Gentle", "Molten", "Cobalt", "Slow"]
NOUNS = ["Harbour", "Static", "Orchard", "Satellite", "Lighthouse", "Comet", "Tram", "Radio",
         "Balcony", "Carousel", "Window", "Telegram", "Compass", "Rooftop", "Kite", "Mirror",
         "Tide", "Ballroom", "Skyline", "Engine", "Garden", "Motel", "Signal", "Avenue",
         "Cassette", "Ferry", "Lantern", "Violin", "Glacier", "Sundial", "Atlas", "Carnival"]


def word(rng, syllables):
    """Returns a capitalised invented word."""
    text = "".join(rng.choice(ONSETS) + rng.choice(VOWELS) for _ in range(syllables))
    return (text + rng.choice(CODAS)).capitalize()


def artists(rng, count):
    """Returns count distinct invented artist names."""
    names, seen = [], set()
    while len(names) < count:
        shape = rng.randrange(3)
        if shape == 0:
            name = word(rng, 2) + " " + word(rng, 3)
        elif shape == 1:
            name = "The " + word(rng, 2) + "s"
        else:
            name = rng.choice(ADJECTIVES) + " " + word(rng, 2)
        if name not in seen:
            seen.add(name)
            names.append(name)
    return names


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("output")
    parser.add_argument("--titles", type=int, required=True)
    parser.add_argument("--artists", type=int, default=1000)
    parser.add_argument("--needle", default="Qyxzzle")
    parser.add_argument("--needle-count", type=int, default=7)
    parser.add_argument("--seed", type=int, default=5)
    args = parser.parse_args()

    rng = random.Random(args.seed)
    names = artists(rng, args.artists)
    marked = set()
    if args.needle_count > 0:
        step = args.titles // args.needle_count
        marked = {step // 2 + k * step for k in range(args.needle_count)}
    lines = ["#EXTM3U"]
    title_bytes = 0
    for i in range(args.titles):
        artist = names[i] if i < len(names) else rng.choice(names)
        song = "%s %s %s" % (rng.choice(ADJECTIVES), rng.choice(NOUNS), word(rng, 2))
        if i in marked:
            song += " " + args.needle
        title = artist + " - " + song
        title_bytes += len(title.encode("utf-8"))
        lines.append("#EXTINF:%d,%s" % (120 + rng.randrange(300), title))
        lines.append("t/%07d.mp3" % i)
    with open(args.output, "w", encoding="utf-8", newline="\n") as out:
        out.write("\n".join(lines) + "\n")
    print("titles=%d artists=%d title_bytes=%d" % (args.titles, min(len(names), args.titles),
                                                    title_bytes))


if __name__ == "__main__":
    main()
