// Operations on the player as window messages to HostWindow.
#include "core/host_ops.h"

#include <atomic>

#include "core/player_link.h"

namespace velvox {

namespace {

// Sends one message to the player's main window; returns its answer.
platform::LResult send(unsigned message, platform::WParam wparam, platform::LParam lparam) {
    return platform::send_message(HostWindow(), message, wparam, lparam);
}

// What the hook answers a batch with; a player without the hook answers 0.
constexpr platform::LResult kQuestionsAnswered = 0x56565651;

// A batch of questions as the message carries it.
struct QuestionBatch {
    PlayerQuestion* questions;
    std::size_t count;
};

std::atomic<bool> g_questionsHook{false};

}  // namespace

void SetQuestionsHook(bool installed) {
    g_questionsHook.store(installed);
}

unsigned QuestionsMessage() {
    static const unsigned message = platform::register_message("VelvoxPlayerQuestions");
    return message;
}

platform::LResult AnswerQuestions(platform::WindowProc proc, platform::Window window,
                                  platform::LParam lparam) {
    const auto* batch = reinterpret_cast<const QuestionBatch*>(lparam);
    for (std::size_t i = 0; i < batch->count; ++i) {
        PlayerQuestion& q = batch->questions[i];
        q.answer = platform::call_window_proc(proc, window, q.message, q.wparam, q.lparam);
    }
    return kQuestionsAnswered;
}

// A batch the hook did not answer (it was taken off meanwhile) is asked again
// one message at a time.
void AskPlayer(PlayerQuestion* questions, std::size_t count) {
    if (count > 1 && g_questionsHook.load() && QuestionsMessage() != 0) {
        QuestionBatch batch{questions, count};
        if (send(QuestionsMessage(), 0, reinterpret_cast<platform::LParam>(&batch)) ==
            kQuestionsAnswered)
            return;
    }
    for (std::size_t i = 0; i < count; ++i)
        questions[i].answer = send(questions[i].message, questions[i].wparam, questions[i].lparam);
}

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
