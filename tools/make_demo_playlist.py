#!/usr/bin/env python3
"""Writes examples/demo.m3u: a jukebox playlist of invented artists and songs.

Every name is put together from made-up syllables and word lists, so the list
is the same on every run (a small fixed pseudo-random generator, no library
randomness) and names no real artist or recording.

Usage: tools/make_demo_playlist.py [OUTPUT]   (default: examples/demo.m3u)
"""

import os
import sys

ARTIST_COUNT = 168
SONG_COUNT = 2400
MIN_SECONDS = 120
MAX_SECONDS = 420


class Lcg:
    """A 64-bit linear congruential generator: the same numbers everywhere."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFFFFFFFFFF

    def next(self):
        self.state = (self.state * 6364136223846793005 + 1442695040888963407) & 0xFFFFFFFFFFFFFFFF
        return self.state >> 33

    def below(self, n):
        return self.next() % n

    def pick(self, items):
        return items[self.below(len(items))]

    def shuffle(self, items):
        for i in range(len(items) - 1, 0, -1):
            j = self.below(i + 1)
            items[i], items[j] = items[j], items[i]


ONSETS = ["b", "c", "d", "f", "g", "k", "l", "m", "n", "p", "r", "s", "t", "v", "z",
          "br", "cl", "dr", "fl", "gr", "l", "m", "n", "r", "st", "tr", "v"]
VOWELS = ["a", "e", "i", "o", "u", "a", "e", "o", "ia", "io", "ei", "ou"]
CODAS = ["", "", "", "l", "n", "r", "s", "x", "nd", "rn", "m"]

# Pseudo-words that happen to spell something rude are thrown away.
UNWANTED = ["shit", "fuk", "fuc", "cum", "fag", "nig", "tit", "ass", "cock", "dick", "pus",
            "rape", "slut", "cunt", "pis", "porn", "sex", "kkk", "nazi", "poo", "butt", "dam",
            "hell", "god", "jes", "cripple", "retard", "anal", "anus", "vag", "pen", "boob"]

ENSEMBLES = ["Collective", "Ensemble", "Trio", "Quartet", "Orchestra", "Sound System",
             "Choir", "Revue", "Society", "Machine", "Assembly", "Brass Band"]

ADJECTIVES = ["Amber", "Copper", "Velvet", "Paper", "Neon", "Hollow", "Silver", "Quiet",
              "Electric", "Midnight", "Lantern", "Crimson", "Sleepy", "Borrowed", "Tangled",
              "Glass", "Rusted", "Golden", "Faded", "Restless", "Crooked", "Distant", "Gentle",
              "Wandering", "Molten", "Frosted", "Humming", "Scarlet", "Cobalt", "Slow",
              "Spinning", "Secondhand", "Weightless", "Opal", "Sunken", "Paper-thin", "Lucky"]

NOUNS = ["Harbour", "Static", "Orchard", "Satellite", "Lighthouse", "Comet", "Tram", "Meridian",
         "Jukebox", "Postcard", "Radio", "Balcony", "Carousel", "Window", "Telegram", "Compass",
         "Rooftop", "Kite", "Mirror", "Tide", "Ballroom", "Skyline", "Engine", "Garden",
         "Motel", "Signal", "Avenue", "Cassette", "Ferry", "Lantern", "Violin", "Glacier",
         "Typewriter", "Streetlight", "Paperback", "Sundial", "Switchboard", "Harvest", "Atlas",
         "Carnival", "Monsoon", "Elevator", "Overture", "Planetarium", "Snowglobe", "Reverie"]

VERBS = ["Chasing", "Painting", "Folding", "Counting", "Dancing with", "Waiting for",
         "Driving past", "Whistling at", "Mending", "Borrowing", "Dreaming of", "Sailing to",
         "Leaving", "Finding", "Tuning", "Racing", "Sketching", "Humming to"]

TIMES = ["Midnight", "Morning", "Sunday", "Daybreak", "Twilight", "Saturday", "Afternoon",
         "Nightfall", "Weekend", "Winter", "Summer", "Autumn"]

ROMAN = ["I", "II", "III", "IV"]


# Pseudo-words that turned out to be ordinary English words.
REAL_WORDS = {"sound", "stake", "ton", "lond", "lases", "masos", "som", "stol", "sesese"}


def invented_word(rng, syllables):
    """Returns a capitalised pseudo-word of the given number of syllables."""
    while True:
        word = ""
        for i in range(syllables):
            word += rng.pick(ONSETS) + rng.pick(VOWELS)
            if i == syllables - 1:
                word += rng.pick(CODAS)
        if len(word) > 2 and word not in REAL_WORDS and not any(b in word for b in UNWANTED):
            return word[0].upper() + word[1:]


def artist_name(rng):
    """Returns one invented artist name in one of several shapes."""
    shape = rng.below(6)
    if shape == 0:
        return invented_word(rng, 2) + " " + invented_word(rng, 3)
    if shape == 1:
        return "The " + invented_word(rng, 2) + "s"
    if shape == 2:
        return invented_word(rng, 2) + " " + rng.pick(ENSEMBLES)
    if shape == 3:
        return invented_word(rng, 3)
    if shape == 4:
        return rng.pick(ADJECTIVES) + " " + invented_word(rng, 2)
    return invented_word(rng, 1) + " and the " + invented_word(rng, 2) + "s"


def song_title(rng, place):
    """Returns one invented song title; place is an invented town name."""
    shape = rng.below(8)
    adj, noun, noun2 = rng.pick(ADJECTIVES), rng.pick(NOUNS), rng.pick(NOUNS)
    while noun2 == noun or adj == noun:
        noun, noun2 = rng.pick(NOUNS), rng.pick(NOUNS)
    if shape == 0:
        return f"{adj} {noun} {noun2}"
    if shape == 1:
        return f"{noun}s over {place}"
    if shape == 2:
        return f"{rng.pick(VERBS)} the {adj} {noun}"
    if shape == 3:
        return f"The {adj} {noun} of {place}"
    if shape == 4:
        return f"{place} {rng.pick(TIMES)} {noun}"
    if shape == 5:
        return f"{adj} {noun} (Part {rng.pick(ROMAN)})"
    if shape == 6:
        return f"Letters from the {adj} {noun}"
    return f"{rng.pick(TIMES)} at the {noun} {noun2}"


def build_entries():
    """Returns the (seconds, "Artist - Title") entries in play order."""
    rng = Lcg(0x5E1F0C5)
    artists = []
    while len(artists) < ARTIST_COUNT:
        name = artist_name(rng)
        if name not in artists:
            artists.append(name)
    places = [invented_word(rng, 3) for _ in range(40)]

    entries, seen = [], set()
    while len(entries) < SONG_COUNT:
        # Every artist gets songs before any gets a second round.
        artist = artists[len(entries) % ARTIST_COUNT] if len(entries) < 2 * ARTIST_COUNT \
            else rng.pick(artists)
        title = f"{artist} - {song_title(rng, rng.pick(places))}"
        if title in seen:
            continue
        seen.add(title)
        seconds = MIN_SECONDS + rng.below(MAX_SECONDS - MIN_SECONDS + 1)
        entries.append((seconds, title))
    rng.shuffle(entries)
    return entries


def slug(text):
    """Returns a file-name friendly form of text."""
    out = "".join(c.lower() if c.isalnum() else "-" for c in text)
    while "--" in out:
        out = out.replace("--", "-")
    return out.strip("-")


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "examples", "demo.m3u")
    lines = ["#EXTM3U"]
    for seconds, title in build_entries():
        artist, song = title.split(" - ", 1)
        lines.append(f"#EXTINF:{seconds},{title}")
        lines.append(f"music/{slug(artist)}/{slug(song)}.mp3")
    with open(target, "w", encoding="ascii", newline="\n") as out:
        out.write("\n".join(lines) + "\n")
    print(f"{target}: {len(lines) // 2} songs by {ARTIST_COUNT} artists")


if __name__ == "__main__":
    main()
