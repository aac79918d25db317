// Shared set-up for the queue subsystem's tests: a fake player that owns the
// host window, and the process-wide cache, queue and settings put back to
// their load state around every test.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "core/host_ops.h"
#include "core/settings.h"
#include "core/text.h"
#include "fake_player.h"
#include "queue/playback.h"
#include "queue/playlist_cache.h"
#include "queue/request_queue.h"
#include "queue_world.h"

namespace velvox::testing {

// Prints a recorded message readably in failure reports.
inline void PrintTo(const Message& m, std::ostream* out) {
    *out << "{" << m.message << ", " << m.wparam << ", " << m.lparam << "}";
}

// The messages the queue subsystem sends, as the player receives them.
inline Message ListLengthMsg() {
    return {kMsgUser, 0, kIpcGetListLength};
}
inline Message TitleMsg(std::int32_t i) {
    return {kMsgUser, static_cast<platform::WParam>(i), kIpcGetPlaylistTitle};
}
inline Message ListPosMsg() {
    return {kMsgUser, 0, kIpcGetListPos};
}
inline Message SetListPosMsg(std::int32_t i) {
    return {kMsgUser, static_cast<platform::WParam>(i), kIpcSetListPos};
}
inline Message PlayMsg() {
    return {kMsgCommand, kCmdPlay, 0};
}
inline Message NextMsg() {
    return {kMsgCommand, kCmdNext, 0};
}
inline Message EndOfTrackMsg() {
    return {kMsgEndOfTrack, 0, 0};
}

// The rules' time in tests, read by TestClock once a test puts that in force
// with UseTestClock.
inline std::atomic<std::int64_t> g_testNow{1'000'000'000};
inline std::int64_t TestClock() {
    return g_testNow.load();
}

// Puts TestClock in force as the calendar clock (ResetQueueWorld takes it back).
inline void UseTestClock() {
    static platform::Services table = platform::real_services();
    table.now_seconds = TestClock;
    platform::use_services(&table);
}

class QueueFixture : public ::testing::Test {
  protected:
    void SetUp() override { ResetAll(); }
    void TearDown() override { ResetAll(); }

    // Empties the cache (an empty playlist rebuilds it to nothing), the queue
    // and the saved position, and puts the default settings in force.
    void ResetAll() { ResetQueueWorld(player); }

    // Gives the player these titles and rebuilds the cache from them; forgets
    // the messages of the rebuild.
    void LoadPlaylist(const std::vector<std::string>& titles) {
        player.playlist = titles;
        RefreshPlaylistCache();
        player.received.clear();
    }

    // Puts limits in force (the settings texts, read at every check).
    static void SetLimits(const char* maxQueue, const char* maxPerAddress) {
        PluginSettings settings;
        CopyCut(settings.g_MaxQueueSize, maxQueue);
        CopyCut(settings.g_MaxRequestsPerIP, maxPerAddress);
        PublishSettings(settings);
    }

    // Puts the fair-play rules in force beside the default limits.
    static void SetRules(const char* maxPerArtist, bool noConsecutiveArtist,
                         const char* cooldownMinutes, bool fairOrder) {
        PluginSettings settings;
        CopyCut(settings.MaxRequestsPerArtist, maxPerArtist);
        settings.NoConsecutiveArtist = noConsecutiveArtist;
        CopyCut(settings.SongCooldownMinutes, cooldownMinutes);
        settings.FairOrder = fairOrder;
        PublishSettings(settings);
    }

    // Returns the waiting positions in play order.
    static std::vector<std::int32_t> WaitingPositions() {
        std::vector<std::int32_t> positions;
        for (const QueueEntry& e : QueueInPlayOrder())
            positions.push_back(e.position);
        return positions;
    }

    FakePlayer player;
};

}  // namespace velvox::testing
