// The accepting threads and their watch.
#include "server/acceptors.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <utility>

#include "platform/clock.h"
#include "platform/lock.h"
#include "server/sharing_thread.h"

namespace velvox {

namespace {

// Connections just accepted whose request is not there yet. A client's
// request is usually microseconds behind its connection, so the accepting
// thread holds a few for a moment, answering each as its request comes,
// instead of handing every one through the room to another thread; those
// still silent after kHoldMs go to the room, and so do all when the thread
// has been answering one request for a whole watch period.
struct Held {
    struct Connection {
        platform::Socket socket;
        std::int64_t since;
        char address[64];
    };
    static constexpr std::size_t kMost = platform::kMostWatched - 1;  // and the listening socket
    static constexpr std::int64_t kHoldMs = 10;
    Connection list[kMost];
    std::size_t count = 0;

    // Takes the connection out at i (the last takes its place).
    Connection take(std::size_t i) {
        Connection c = list[i];
        list[i] = list[--count];
        return c;
    }
};

// What the accepting threads and the watch share; it lives as long as the
// last of them.
struct Acceptors {
    explicit Acceptors(const AcceptorsSetup& setup)
        : room(setup.handler, setup.limits),
          socket(platform::share_listening_socket(setup.listening)),
          accept_one(setup.accept_one),
          period(setup.watch_period_ms > 0 ? setup.watch_period_ms : 1),
          answer_begins(setup.answer_begins),
          answer_ends(setup.answer_ends),
          room_runs(setup.room_runs) {}
    ~Acceptors() { platform::release_shared_listening_socket(socket); }
    Acceptors(const Acceptors&) = delete;
    Acceptors& operator=(const Acceptors&) = delete;

    WaitingRoom room;
    const platform::Socket socket;
    const AcceptOne accept_one;
    const std::chrono::milliseconds period;
    void (*const answer_begins)();
    void (*const answer_ends)();
    void (*const room_runs)(WaitingRoom* room);

    std::atomic<int> in_accept{0};  // threads waiting in accept
    std::atomic<int> answering{0};  // threads answering a request
    std::atomic<int> threads{0};    // accepting threads started by the watch
    std::atomic<std::uint64_t> accepts{0}, answered{0};

    // The connections the listener's own thread holds; the watch may hand
    // them to the room while that thread is busy answering.
    platform::Lock held_lock;
    Held held;
    std::atomic<std::int64_t> holder_answering_since{0};  // 0: not answering

    platform::Lock lock;  // guards over and the watch's sleep
    std::condition_variable_any wake;
    bool over = false;
    std::atomic<bool> watch_resting{false};
};

// Wakes the watch from its rest (it rests while nothing is answered).
void WakeWatch(Acceptors& acceptors) {
    if (!acceptors.watch_resting.exchange(false))
        return;
    std::lock_guard<platform::Lock> hold(acceptors.lock);
    acceptors.wake.notify_all();
}

// Answers a socket the room gave back, whose request is there, on this
// thread (or queues it, at the threads' limit). The listener's own thread
// (own) tells the setup's hooks around the answer.
void Answer(Acceptors& acceptors, platform::Socket socket, const char* address, bool holder,
            bool own) {
    if (own && acceptors.answer_begins != nullptr)
        acceptors.answer_begins();
    acceptors.answering.fetch_add(1);
    if (holder)  // 1 ms later rather than 0, which means not answering
        acceptors.holder_answering_since.store(platform::steady_milliseconds() | 1);
    WakeWatch(acceptors);
    acceptors.room.answer_kept(socket, address);
    if (holder)
        acceptors.holder_answering_since.store(0);
    acceptors.answering.fetch_sub(1);
    acceptors.answered.fetch_add(1);
    if (own && acceptors.answer_ends != nullptr)
        acceptors.answer_ends();
}

// Holds connection c (this, the only holding thread, saw room for it).
void AddHeld(Acceptors& acceptors, const Held::Connection& c) {
    std::lock_guard<platform::Lock> hold(acceptors.held_lock);
    acceptors.held.list[acceptors.held.count++] = c;
}

// Connections held now.
std::size_t HeldCount(Acceptors& acceptors) {
    std::lock_guard<platform::Lock> hold(acceptors.held_lock);
    return acceptors.held.count;
}

// Hands every held connection to the room (any thread).
void ReleaseHeld(Acceptors& acceptors) {
    Held taken;
    {
        std::lock_guard<platform::Lock> hold(acceptors.held_lock);
        std::swap(taken, acceptors.held);
    }
    for (std::size_t i = 0; i < taken.count; ++i)
        acceptors.room.wait_in_room(taken.list[i].socket, taken.list[i].address);
}

// Takes the held connection on socket out, when it is still held (the watch
// may have handed it to the room). Returns whether it was.
bool TakeHeld(Acceptors& acceptors, platform::Socket socket, Held::Connection& taken) {
    std::lock_guard<platform::Lock> hold(acceptors.held_lock);
    for (std::size_t i = 0; i < acceptors.held.count; ++i) {
        if (acceptors.held.list[i].socket == socket) {
            taken = acceptors.held.take(i);
            return true;
        }
    }
    return false;
}

// Waits until a held connection's request or another connection comes, or
// the oldest held one's time is up; answers those whose request came, hands
// those whose time is up to the room. Returns whether a connection waits
// (or nothing is held any more).
bool TendHeld(Acceptors& acceptors) {
    platform::Socket watched[platform::kMostWatched];
    bool readable[platform::kMostWatched];
    std::size_t count;
    std::int64_t oldest;
    {
        std::lock_guard<platform::Lock> hold(acceptors.held_lock);
        count = acceptors.held.count;
        oldest = count > 0 ? acceptors.held.list[0].since : 0;
        for (std::size_t i = 0; i < count; ++i) {
            watched[i + 1] = acceptors.held.list[i].socket;
            oldest = std::min(oldest, acceptors.held.list[i].since);
        }
    }
    if (count == 0)
        return true;
    watched[0] = acceptors.socket;
    const std::int64_t left = oldest + Held::kHoldMs - platform::steady_milliseconds();
    platform::wait_readable(watched, readable, count + 1, left > 0 ? static_cast<int>(left) : 0);
    Held::Connection c;
    for (std::size_t i = 1; i <= count; ++i) {
        if (readable[i] && TakeHeld(acceptors, watched[i], c))
            Answer(acceptors, c.socket, c.address, true, true);
    }
    Held expired;
    {
        const std::int64_t now = platform::steady_milliseconds();
        std::lock_guard<platform::Lock> hold(acceptors.held_lock);
        for (std::size_t i = acceptors.held.count; i-- > 0;) {
            if (now - acceptors.held.list[i].since >= Held::kHoldMs)
                expired.list[expired.count++] = acceptors.held.take(i);
        }
    }
    for (std::size_t i = 0; i < expired.count; ++i)
        acceptors.room.wait_in_room(expired.list[i].socket, expired.list[i].address);
    return readable[0];
}

// Accepts and admits connections, answering those whose request is there,
// until accepting is over, or, when may_retire, until another thread waits in
// accept after an answer (one thread is enough while answers are quick).
// Only the listener's own thread holds connections, and only while it
// accepts alone: with another accepting too, a connection it saw waiting
// could be taken by the other, and the held ones would wait for the next.
void AcceptLoop(Acceptors& acceptors, bool may_retire) {
    for (;;) {
        const bool alone = !may_retire && acceptors.threads.load() == 0;
        if (!alone)
            ReleaseHeld(acceptors);
        else if (!TendHeld(acceptors))
            continue;
        Held::Connection c{platform::kNoSocket, 0, ""};
        acceptors.in_accept.fetch_add(1);
        c.socket = acceptors.accept_one(acceptors.socket, c.address, sizeof c.address);
        acceptors.in_accept.fetch_sub(1);
        acceptors.accepts.fetch_add(1);
        if (c.socket == platform::kNoSocket) {
            ReleaseHeld(acceptors);
            return;
        }
        // Held even when its request is there: the next wait sees that at once.
        const bool hold = alone && HeldCount(acceptors) < Held::kMost;
        const WaitingRoom::Admission admission = acceptors.room.admit(
            c.socket, c.address, hold ? WaitingRoom::Keep::always : WaitingRoom::Keep::ready);
        if (admission != WaitingRoom::Admission::kept)
            continue;
        if (hold) {
            c.since = platform::steady_milliseconds();
            AddHeld(acceptors, c);
            continue;
        }
        Answer(acceptors, c.socket, c.address, false, !may_retire);
        if (may_retire && acceptors.in_accept.load() > 0)
            return;
    }
}

// Starts threads as the room does (its thread start and stack size).
auto InRoom(Acceptors& acceptors) {
    return [&acceptors](platform::ThreadEntry entry, void* argument) {
        return acceptors.room.start_thread(entry, argument);
    };
}

// Entry of an accepting thread started by the watch.
void RunAcceptor(std::shared_ptr<Acceptors> acceptors) {
    AcceptLoop(*acceptors, true);
    acceptors->threads.fetch_sub(1);
}

// Starts one more accepting thread, at most as many as connection threads.
void StartAcceptor(const std::shared_ptr<Acceptors>& acceptors) {
    if (acceptors->threads.fetch_add(1) >= acceptors->room.limits().max_connection_threads) {
        acceptors->threads.fetch_sub(1);
        return;
    }
    if (StartSharing<Acceptors, RunAcceptor>(acceptors, InRoom(*acceptors)))
        return;
    acceptors->threads.fetch_sub(1);
}

// Whether connections have waited a whole period with every accepting
// thread answering and no accept in between.
bool AcceptingIsHeldUp(Acceptors& acceptors, std::uint64_t accepts_before) {
    return acceptors.in_accept.load() == 0 && acceptors.answering.load() > 0 &&
           acceptors.accepts.load() == accepts_before && platform::readable_now(acceptors.socket);
}

// The watch: every period while requests are answered, starts an accepting
// thread when accepting is held up; rests after a second without answers
// until the next one begins.
void RunWatch(std::shared_ptr<Acceptors> acceptors) {
    Acceptors& a = *acceptors;
    const int quiet_periods_to_rest = static_cast<int>(1000 / a.period.count()) + 1;
    std::uint64_t accepts = a.accepts.load(), answered = a.answered.load();
    int quiet = 0;
    std::unique_lock<platform::Lock> hold(a.lock);
    while (!a.over) {
        if (quiet >= quiet_periods_to_rest) {
            a.watch_resting.store(true);
            a.wake.wait(hold, [&] { return a.over || !a.watch_resting.load(); });
            quiet = 0;
        } else {
            a.wake.wait_for(hold, a.period, [&] { return a.over; });
        }
        hold.unlock();
        if (AcceptingIsHeldUp(a, accepts))
            StartAcceptor(acceptors);
        const std::int64_t since = a.holder_answering_since.load();
        if (since != 0 && platform::steady_milliseconds() - since >= a.period.count())
            ReleaseHeld(a);
        const std::uint64_t answered_now = a.answered.load();
        quiet = answered_now == answered && a.answering.load() == 0 ? quiet + 1 : 0;
        accepts = a.accepts.load();
        answered = answered_now;
        hold.lock();
    }
}

}  // namespace

bool AcceptWithRoom(const AcceptorsSetup& setup) {
    auto acceptors = std::make_shared<Acceptors>(setup);
    if (acceptors->socket == platform::kNoSocket || !acceptors->room.start())
        return false;
    if (!StartSharing<Acceptors, RunWatch>(acceptors, InRoom(*acceptors))) {
        acceptors->room.stop();
        return false;
    }
    if (acceptors->room_runs != nullptr)
        acceptors->room_runs(&acceptors->room);
    AcceptLoop(*acceptors, false);
    {
        std::lock_guard<platform::Lock> hold(acceptors->lock);
        acceptors->over = true;
        acceptors->wake.notify_all();
    }
    if (acceptors->room_runs != nullptr)
        acceptors->room_runs(nullptr);
    acceptors->room.stop();
    return true;
}

}  // namespace velvox
