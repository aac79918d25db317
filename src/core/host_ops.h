// Operations on the player: each one a synchronous message to HostWindow.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/window_messages.h"

namespace velvox {

// Message numbers and identifiers of the player's interface.
constexpr unsigned kMsgUser = platform::kWmUser;        // WM_USER, 0x400
constexpr unsigned kMsgCommand = platform::kWmCommand;  // WM_COMMAND, 0x111
constexpr unsigned kMsgEndOfTrack = 1026;               // WM_USER + 2
constexpr platform::LParam kIpcGetListLength = 124;
constexpr platform::LParam kIpcGetPlaylistTitle = 212;
constexpr platform::LParam kIpcGetListPos = 125;
constexpr platform::LParam kIpcSetListPos = 121;
constexpr platform::LParam kIpcGetOutputTime = 105;
constexpr platform::LParam kIpcIsPlaying = 104;
// Not one of Winamp's: the stand-in player answers it with an entry's length
// in seconds. Winamp, like any player that does not know a message, answers
// 0, which reads as unknown.
constexpr platform::LParam kIpcGetEntryLength = 30309;
constexpr platform::WParam kCmdPrevious = 40044;
constexpr platform::WParam kCmdPlay = 40045;
constexpr platform::WParam kCmdPause = 40046;
constexpr platform::WParam kCmdStop = 40047;
constexpr platform::WParam kCmdNext = 40048;
// The environment variable in which a player names a folder for the settings
// file (plugin.ini) other than the module's own, such as a service's state
// folder when the module lies in a read-only system folder.
constexpr const char* kSettingsFolderVariable = "VELVOX_SETTINGS_DIR";

// One question to the player: a message and, once asked, its answer.
struct PlayerQuestion {
    unsigned message;
    platform::WParam wparam;
    platform::LParam lparam;
    platform::LResult answer = 0;
};

// Asks the player every question in order and fills in the answers. With the
// plug-in's hook on the player's window this is one message to the hook,
// which asks each question on the window's own thread (the player sees the
// same messages in the same order, without a round trip between threads for
// each); without it, one message each.
void AskPlayer(PlayerQuestion* questions, std::size_t count);

// The hook's side: tells AskPlayer whether the hook is in place.
void SetQuestionsHook(bool installed);
// Returns the message number the hook answers questions by.
unsigned QuestionsMessage();
// Asks proc, the player's own procedure, each question of the batch that
// lparam carries; returns what the hook answers (AskPlayer checks it).
platform::LResult AnswerQuestions(platform::WindowProc proc, platform::Window window,
                                  platform::LParam lparam);

// Returns the number of playlist entries.
std::int32_t GetListLength();
// Returns a copy of the title of entry index (taken at once); empty when the
// player hands back no text.
std::string GetPlaylistTitle(std::int32_t index);
// Returns the index of the current entry.
std::int32_t GetListPos();
// Makes entry index current.
void SetListPos(std::int32_t index);
// mode 0: playback position in ms; mode 1: track length in seconds.
std::int32_t GetOutputTime(int mode);
// Returns the play state: 1 playing, 3 paused, 0 stopped.
std::int32_t IsPlaying();
void PlayerPrevious();
void PlayerPlay();
void PlayerPause();
void PlayerStop();
void PlayerNext();
// Sends the end-of-track notification to HostWindow and waits for it.
void SendEndOfTrack();
// SetListPos(index), then PlayerPlay.
void PlayEntry(std::int32_t index);

}  // namespace velvox
