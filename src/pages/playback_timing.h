// The timing values of the pages' refresh, percentage and length tokens, and
// the player's state.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "core/host_ops.h"

namespace velvox {

struct PlaybackTiming {
    std::int32_t trackSeconds = 0;
    std::int32_t secondsLeft = 0;
    std::int32_t percentLeft = 0;
    std::int32_t elapsed_ms = 0;  // the player's answer: -1 while stopped
};

// Computes the values from the track length (seconds) and the playback
// position (milliseconds). A length of 0 gives 100 percent left; results
// beyond the 32-bit range saturate.
PlaybackTiming ComputePlaybackTiming(std::int32_t trackSeconds, std::int32_t positionMs);

// Asks the player for the length first, then the position, and computes the
// values from its answers.
PlaybackTiming MeasurePlaybackTiming();

// The questions MeasurePlaybackTiming asks (two: the length, then the
// position), and the values from their answers.
void TimingQuestions(PlayerQuestion* questions);
PlaybackTiming TimingFrom(const PlayerQuestion* answered);

// Asks the player whether it plays; returns "playing", "paused" or "stopped".
std::string_view PlayStateName();
// Returns the name PlayStateName gives for the player's answer.
std::string_view PlayStateNameOf(std::int32_t answer);

// Returns when a waiting request starts, as a page says it: "in 7 min",
// "in about 1 h 5 min" for an estimate (at least one minute, to the nearest);
// the empty text when seconds is below 0 (not known).
std::string StartsInText(std::int32_t seconds, bool estimate);

// Returns value limited to the 32-bit range.
std::int32_t Saturate32(std::int64_t value);

}  // namespace velvox
