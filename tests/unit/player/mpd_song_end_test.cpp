// The judge of MPD's ends of songs over sequences of states as MPD shows them.
#include <gtest/gtest.h>

#include <sstream>

#include "mpd_song_end.h"

namespace player {
namespace {

// Runs steps through the judge; returns per step the song found ended, or '.'. Steps: P<pos>
// playing 1.2 s in, M<pos> paused there, E<pos> paused at the song's end, Z<pos> at its start (z:
// single mode off), S<pos> stopped (S-: no song); L MPD lost, R new song ids, +ms for the stall
// guard. Before a read, our own command: * a step, ~ a cue, !<pos> a start.
std::string judge_all(const std::string& steps) {
    const State kStates[] = {State::playing, State::paused, State::paused,
                             State::paused,  State::paused, State::stopped};
    const std::int64_t kElapsed[] = {1200, 1200, 2466, 0, 0, 0};
    std::istringstream in(steps);
    SongWatch watch;
    std::int64_t now_ms = 0;
    int ids = 1;
    std::string ends;
    for (std::string s; in >> s;) {
        const std::size_t own = std::string("*!~").find(s[0]) + 1;  // a ReadKind; 0: none
        const ReadAfter after{static_cast<ReadKind>(own), own == 2 ? s[1] - '0' : -1};
        s.erase(0, own == 2 ? 2 : own != 0);
        SongJudgement judged{s == "L" ? after_gap(watch) : watch, -1};
        ids += s == "R" ? 10 : 0;
        if (s[0] == '+')
            judged = judge_stall(watch, now_ms += std::stoi(s.substr(1)));
        const std::size_t read = std::string("PMEZzS").find(s[0]);
        const int pos = s[1] == '-' ? -1 : std::atoi(s.c_str() + 1), id = pos < 0 ? -1 : pos + ids;
        const SongState now{kStates[read % 6],  pos, id,         pos < 0 || pos == 5 ? -1 : id + 1,
                            kElapsed[read % 6], 2,   s[0] != 'z'};
        if (read != std::string::npos)
            judged = judge_read(watch, now, after, now_ms);
        watch = judged.watch;
        ends += judged.ended < 0 ? '.' : static_cast<char>('0' + judged.ended);
    }
    return ends;
}

TEST(MpdSongEnd, EveryOrderOfStatesOnTheWayToAnEnd) {
    const char* const cases[][3] = {
        // what, steps, ends
        {"halfway: the ended song at zero", "P0 Z0 Z1", "..0"},
        {"halfway: the ended song at its end, read twice", "P0 E0 E0 Z1", "...0"},
        {"the last song, stopped halfway and then", "P5 S5 S-", "..5"},
        {"another client plays another song, which ends", "P0 P3 Z4", "..3"},
        {"our seek near the end", "P0 *E0 Z1", "..0"},
        {"our start, played through before MPD answered", "P0 !4E4 Z5", "..4"},
        {"our start of the next song, paused", "P0 M0 ~Z1 +9000", "...."},
        {"an end no read showed: the stall guard, once", "P0 Z3 +4000 +1000 +9000", "...2."},
        {"restart: back held after another song", "P1 L R Z3", "...2"},
        {"restart: back halfway out of a song", "P1 L R E2 Z3", "....2"},
        {"restart: back paused, not in single mode", "P1 L R z2 Z2 +9000", "......"},
        {"restart: back in the pause we left", "P0 ~Z2 L R Z2 +9000", "......"},
        {"start-up: a song held at its start", "Z3", "2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(judge_all(c[1]), c[2]) << c[0] << ": " << c[1];
}

}  // namespace
}  // namespace player
