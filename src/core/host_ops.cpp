// Operations on the player as window messages to HostWindow.
#include "core/host_ops.h"

#include "core/player_link.h"

namespace velvox {

namespace {

// Sends one message to the player's main window; returns its answer.
platform::LResult send(unsigned message, platform::WParam wparam, platform::LParam lparam) {
    return platform::send_message(HostWindow(), message, wparam, lparam);
}

}  // namespace

std::int32_t GetListLength() {
    return static_cast<std::int32_t>(send(kMsgUser, 0, kIpcGetListLength));
}

std::string GetPlaylistTitle(std::int32_t index) {
    auto address = send(kMsgUser, static_cast<platform::WParam>(index), kIpcGetPlaylistTitle);
    const char* text = reinterpret_cast<const char*>(address);
    return text != nullptr ? std::string(text) : std::string();
}

std::int32_t GetListPos() {
    return static_cast<std::int32_t>(send(kMsgUser, 0, kIpcGetListPos));
}

void SetListPos(std::int32_t index) {
    send(kMsgUser, static_cast<platform::WParam>(index), kIpcSetListPos);
}

std::int32_t GetOutputTime(int mode) {
    return static_cast<std::int32_t>(
        send(kMsgUser, static_cast<platform::WParam>(mode), kIpcGetOutputTime));
}

std::int32_t IsPlaying() {
    return static_cast<std::int32_t>(send(kMsgUser, 0, kIpcIsPlaying));
}

std::int32_t GetEntryLength(std::int32_t index) {
    return static_cast<std::int32_t>(
        send(kMsgUser, static_cast<platform::WParam>(index), kIpcGetEntryLength));
}

void PlayerPrevious() {
    send(kMsgCommand, kCmdPrevious, 0);
}
void PlayerPlay() {
    send(kMsgCommand, kCmdPlay, 0);
}
void PlayerPause() {
    send(kMsgCommand, kCmdPause, 0);
}
void PlayerStop() {
    send(kMsgCommand, kCmdStop, 0);
}
void PlayerNext() {
    send(kMsgCommand, kCmdNext, 0);
}
void SendEndOfTrack() {
    send(kMsgEndOfTrack, 0, 0);
}

void PlayEntry(std::int32_t index) {
    SetListPos(index);
    PlayerPlay();
}

}  // namespace velvox
