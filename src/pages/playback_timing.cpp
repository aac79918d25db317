// Time left and percentage left of the current track; the play state.
#include "pages/playback_timing.h"

#include <cmath>
#include <limits>

#include "core/host_ops.h"

namespace velvox {

std::int32_t Saturate32(std::int64_t value) {
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    if (value < kMin)
        return static_cast<std::int32_t>(kMin);
    if (value > kMax)
        return static_cast<std::int32_t>(kMax);
    return static_cast<std::int32_t>(value);
}

// The player answers -1 for both while stopped, which gives -1 seconds left
// and 100 percent; a zero length has no share to take, so all of it is left.
PlaybackTiming ComputePlaybackTiming(std::int32_t trackSeconds, std::int32_t positionMs) {
    PlaybackTiming timing;
    std::int32_t elapsed = positionMs / 1000;
    timing.trackSeconds = trackSeconds;
    timing.elapsed_ms = positionMs;
    timing.secondsLeft = Saturate32(static_cast<std::int64_t>(trackSeconds) - elapsed);
    if (trackSeconds == 0) {
        timing.percentLeft = 100;
    } else {
        double share = std::trunc(static_cast<double>(elapsed) / trackSeconds * 100.0);
        double left = 100.0 - share;
        if (left <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
            timing.percentLeft = std::numeric_limits<std::int32_t>::min();
        else if (left >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
            timing.percentLeft = std::numeric_limits<std::int32_t>::max();
        else
            timing.percentLeft = static_cast<std::int32_t>(left);
    }
    return timing;
}

PlaybackTiming MeasurePlaybackTiming() {
    PlayerQuestion asked[2];
    TimingQuestions(asked);
    AskPlayer(asked, 2);
    return TimingFrom(asked);
}

void TimingQuestions(PlayerQuestion* questions) {
    questions[0] = {kMsgUser, 1, kIpcGetOutputTime};
    questions[1] = {kMsgUser, 0, kIpcGetOutputTime};
}

PlaybackTiming TimingFrom(const PlayerQuestion* answered) {
    return ComputePlaybackTiming(static_cast<std::int32_t>(answered[0].answer),
                                 static_cast<std::int32_t>(answered[1].answer));
}

std::string StartsInText(std::int32_t seconds, bool estimate) {
    if (seconds < 0)
        return {};
    std::int64_t minutes = (std::int64_t{seconds} + 30) / 60;
    if (minutes < 1)
        minutes = 1;
    std::string text = estimate ? "in about " : "in ";
    if (minutes >= 60) {
        text += std::to_string(minutes / 60) + " h";
        if (minutes % 60 == 0)
            return text;
        text += ' ';
    }
    return text + std::to_string(minutes % 60) + " min";
}

// IsPlaying answers 1 while playing and 3 while paused; anything else is
// taken as stopped.
std::string_view PlayStateName() {
    return PlayStateNameOf(IsPlaying());
}

std::string_view PlayStateNameOf(std::int32_t answer) {
    switch (answer) {
        case 1:
            return "playing";
        case 3:
            return "paused";
        default:
            return "stopped";
    }
}

}  // namespace velvox
