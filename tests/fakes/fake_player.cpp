// The fake player's answers.
#include "fake_player.h"

#include "core/host_ops.h"
#include "core/player_link.h"
#include "platform/posix/emulated_window.h"

namespace velvox::testing {

namespace {

FakePlayer* current_player = nullptr;

platform::LResult VELVOX_CALLBACK fake_proc(platform::Window, unsigned message,
                                            platform::WParam wparam, platform::LParam lparam) {
    return current_player->handle(message, wparam, lparam);
}

}  // namespace

FakePlayer::FakePlayer() {
    current_player = this;
    window_ = platform::emu::create_window(fake_proc);
    AttachPlayer(&window_, nullptr);
}

FakePlayer::~FakePlayer() {
    AttachPlayer(nullptr, nullptr);
    platform::emu::destroy_window(window_);
    current_player = nullptr;
}

platform::LResult FakePlayer::handle(unsigned message, platform::WParam wparam,
                                     platform::LParam lparam) {
    received.push_back({message, wparam, lparam});
    const auto count = static_cast<std::int32_t>(playlist.size());
    if (message == kMsgUser) {
        switch (lparam) {
            case kIpcGetListLength:
                return count;
            case kIpcGetPlaylistTitle: {
                auto i = static_cast<std::size_t>(wparam);
                return i < playlist.size()
                           ? reinterpret_cast<platform::LResult>(playlist[i].c_str())
                           : 0;
            }
            case kIpcGetListPos:
                return position;
            case kIpcSetListPos: {
                auto i = static_cast<std::int32_t>(wparam);
                if (i >= 0 && i < count)
                    position = i;
                return 0;
            }
            case kIpcIsPlaying:
                return stopped ? 0 : (paused ? 3 : 1);
            case kIpcGetEntryLength:
                return static_cast<std::size_t>(wparam) < lengths.size()
                           ? lengths[static_cast<std::size_t>(wparam)]
                           : 0;
            case kIpcGetOutputTime:
                if (stopped)
                    return -1;
                return wparam == 0 ? elapsedMs : lengthSeconds;
            default:
                return 0;
        }
    }
    if (message == kMsgCommand) {
        if (wparam == kCmdNext && count > 0)
            position = (position + 1) % count;
        if (wparam == kCmdPrevious && position > 0)
            --position;
        if (wparam == kCmdStop)
            stopped = true;
        if (wparam == kCmdPlay)
            stopped = false;
    }
    return 0;
}

}  // namespace velvox::testing
