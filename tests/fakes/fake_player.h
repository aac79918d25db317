// A fake player for unit tests: an emulated window owned by the test thread
// that records every message it receives and answers as the player does.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/window_messages.h"

namespace velvox::testing {

struct Message {
    unsigned message;
    platform::WParam wparam;
    platform::LParam lparam;
    bool operator==(const Message& o) const {
        return message == o.message && wparam == o.wparam && lparam == o.lparam;
    }
};

class FakePlayer {
  public:
    // Creates the window and makes it HostWindow.
    FakePlayer();
    ~FakePlayer();

    platform::Window window() const { return window_; }

    // The player's state, free for tests to set.
    std::vector<std::string> playlist;
    std::int32_t position = 0;
    std::int32_t elapsedMs = 0;      // GetOutputTime(0); -1 answered while stopped
    std::int32_t lengthSeconds = 0;  // GetOutputTime(1); -1 answered while stopped
    bool stopped = false;
    bool paused = false;  // IsPlaying answers 3 (1 playing, 0 stopped)
    // The answers to kIpcGetEntryLength by index; past its end the player answers 0,
    // as a player that does not know the question.
    std::vector<std::int32_t> lengths;

    // Every message that reached the player's own procedure, in order.
    std::vector<Message> received;

    // Handles one message as the player would; returns its answer.
    platform::LResult handle(unsigned message, platform::WParam wparam, platform::LParam lparam);

  private:
    platform::Window window_;
};

}  // namespace velvox::testing
