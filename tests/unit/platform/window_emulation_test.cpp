// The POSIX window emulation: sends, the subclass chain and the owner's wait.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/posix/emulated_window.h"
#include "platform/window_messages.h"

namespace {

using platform::emu::WaitResult;

std::atomic<std::thread::id> handled_on;

// The window's own procedure: answers message + wparam + lparam and notes the
// thread it ran on.
platform::LResult base_proc(platform::Window, unsigned message, platform::WParam wparam,
                            platform::LParam lparam) {
    handled_on = std::this_thread::get_id();
    return static_cast<platform::LResult>(message + wparam) + lparam;
}

std::atomic<platform::WindowProc> previous;

// A hook that takes message 7 itself and hands everything else on.
platform::LResult hook_proc(platform::Window window, unsigned message, platform::WParam wparam,
                            platform::LParam lparam) {
    if (message == 7)
        return -7;
    return platform::call_window_proc(previous.load(), window, message, wparam, lparam);
}

TEST(WindowEmulation, SendFromTheOwningThreadIsADirectCall) {
    platform::Window window = platform::emu::create_window(base_proc);
    handled_on = std::thread::id();
    EXPECT_EQ(platform::send_message(window, 0x400, 2, 3), 0x405);
    EXPECT_EQ(handled_on.load(), std::this_thread::get_id());
    platform::emu::destroy_window(window);
}

TEST(WindowEmulation, SendFromAnotherThreadWaitsForTheOwnerAndGetsItsResult) {
    platform::Window window = platform::emu::create_window(base_proc);
    handled_on = std::thread::id();
    platform::LResult result = 0;
    std::thread sender([&] {
        result = platform::send_message(window, 0x111, 40045, 0);
        // Posted only once the send has returned.
        platform::emu::post_line(window, "sent");
    });
    std::string line;
    // The send can only be answered here, on the owner's thread.
    ASSERT_EQ(platform::emu::wait_for_line(window, line, -1), WaitResult::line);
    sender.join();
    EXPECT_EQ(line, "sent");
    EXPECT_EQ(result, 0x111 + 40045);
    EXPECT_EQ(handled_on.load(), std::this_thread::get_id());
    platform::emu::destroy_window(window);
}

TEST(WindowEmulation, ManySendersAreEachAnsweredOnce) {
    platform::Window window = platform::emu::create_window(base_proc);
    constexpr int kSenders = 8;
    std::atomic<int> finished{0};
    std::atomic<int> wrong{0};
    std::thread senders[kSenders];
    for (int i = 0; i < kSenders; ++i) {
        senders[i] = std::thread([&, i] {
            if (platform::send_message(window, 1, static_cast<platform::WParam>(i), 100) != 101 + i)
                ++wrong;
            if (++finished == kSenders)
                platform::emu::close_input(window);
        });
    }
    std::string line;
    EXPECT_EQ(platform::emu::wait_for_line(window, line, -1), WaitResult::closed);
    for (auto& t : senders)
        t.join();
    EXPECT_EQ(finished.load(), kSenders);
    EXPECT_EQ(wrong.load(), 0);
    platform::emu::destroy_window(window);
}

TEST(WindowEmulation, SubclassChainReplacesAndCallsThePrevious) {
    platform::Window window = platform::emu::create_window(base_proc);
    EXPECT_EQ(platform::window_proc(window), &base_proc);
    previous = platform::replace_window_proc(window, hook_proc);
    EXPECT_EQ(previous.load(), &base_proc);
    EXPECT_EQ(platform::window_proc(window), &hook_proc);
    EXPECT_EQ(platform::send_message(window, 7, 0, 0), -7);
    EXPECT_EQ(platform::send_message(window, 8, 1, 1), 10);
    // A send from another thread goes through the hook as well.
    platform::LResult result = 0;
    std::thread sender([&] {
        result = platform::send_message(window, 7, 0, 0);
        platform::emu::close_input(window);
    });
    std::string line;
    EXPECT_EQ(platform::emu::wait_for_line(window, line, -1), WaitResult::closed);
    sender.join();
    EXPECT_EQ(result, -7);
    EXPECT_EQ(platform::replace_window_proc(window, previous.load()), &hook_proc);
    EXPECT_EQ(platform::send_message(window, 7, 0, 0), 7);
    platform::emu::destroy_window(window);
}

TEST(WindowEmulation, WaitForLineGivesLinesInOrderThenTimeoutOrClosed) {
    platform::Window window = platform::emu::create_window(base_proc);
    std::string line;
    EXPECT_EQ(platform::emu::wait_for_line(window, line, 10), WaitResult::timeout);
    platform::emu::post_line(window, "first");
    platform::emu::post_line(window, "second");
    platform::emu::close_input(window);
    ASSERT_EQ(platform::emu::wait_for_line(window, line, 10), WaitResult::line);
    EXPECT_EQ(line, "first");
    ASSERT_EQ(platform::emu::wait_for_line(window, line, -1), WaitResult::line);
    EXPECT_EQ(line, "second");
    EXPECT_EQ(platform::emu::wait_for_line(window, line, -1), WaitResult::closed);
    EXPECT_EQ(platform::emu::handle_pending_sends(window), 0);
    platform::emu::destroy_window(window);
}

}  // namespace

namespace {

TEST(WindowEmulation, WaitForActivityWakesForSendsAndLinesNotForTheEndOfInput) {
    platform::Window w = platform::emu::create_window(base_proc);
    platform::emu::close_input(w);
    EXPECT_FALSE(platform::emu::wait_for_activity(w, 20)) << "the end of input is no activity";

    std::atomic<platform::LResult> answer{0};
    std::thread sender([&] { answer = platform::send_message(w, 1, 2, 3); });
    ASSERT_TRUE(platform::emu::wait_for_activity(w, 5000));
    EXPECT_EQ(platform::emu::handle_pending_sends(w), 1);
    sender.join();
    EXPECT_EQ(answer.load(), 6);

    std::thread poster([&] { platform::emu::post_line(w, "status"); });
    ASSERT_TRUE(platform::emu::wait_for_activity(w, 5000));
    poster.join();
    std::string line;
    EXPECT_EQ(platform::emu::wait_for_line(w, line, 0), WaitResult::line);
    EXPECT_EQ(line, "status");
    platform::emu::destroy_window(w);
}

}  // namespace
