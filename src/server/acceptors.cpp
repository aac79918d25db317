// The accepting threads and their watch.
#include "server/acceptors.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>

#include "host/lock.h"

namespace velvox {

namespace {

// What the accepting threads and the watch share; it lives as long as the
// last of them.
struct Acceptors {
    explicit Acceptors(const AcceptorsSetup& setup)
        : room(setup.handler, setup.limits, nullptr, setup.starter),
          socket(host::share_listening_socket(setup.listening)),
          accept_one(setup.accept_one),
          period(setup.watch_period_ms > 0 ? setup.watch_period_ms : 1) {}
    ~Acceptors() { host::release_shared_listening_socket(socket); }
    Acceptors(const Acceptors&) = delete;
    Acceptors& operator=(const Acceptors&) = delete;

    WaitingRoom room;
    const host::Socket socket;
    const AcceptOne accept_one;
    const std::chrono::milliseconds period;

    std::atomic<int> in_accept{0};  // threads waiting in accept
    std::atomic<int> answering{0};  // threads answering a request
    std::atomic<int> threads{0};    // accepting threads started by the watch
    std::atomic<std::uint64_t> accepts{0}, answered{0};

    host::Lock lock;  // guards over and the watch's sleep
    std::condition_variable_any wake;
    bool over = false;
    std::atomic<bool> watch_resting{false};
};

// How long an accepting thread waits for the request of a connection it has
// just accepted while no other connection waits; after it, or when another
// waits, the socket waits in the room instead.
constexpr int kRequestGraceMs = 1;

// Wakes the watch from its rest (it rests while nothing is answered).
void WakeWatch(Acceptors& acceptors) {
    if (!acceptors.watch_resting.exchange(false))
        return;
    std::lock_guard<host::Lock> hold(acceptors.lock);
    acceptors.wake.notify_all();
}

// Accepts and admits connections, answering those whose request is there,
// until accepting is over, or, when may_retire, until another thread waits in
// accept after an answer (one thread is enough while answers are quick).
void AcceptLoop(Acceptors& acceptors, bool may_retire) {
    char address[1024];
    for (;;) {
        acceptors.in_accept.fetch_add(1);
        const host::Socket accepted =
            acceptors.accept_one(acceptors.socket, address, sizeof address);
        acceptors.in_accept.fetch_sub(1);
        acceptors.accepts.fetch_add(1);
        if (accepted == host::kNoSocket)
            return;
        if (acceptors.room.admit(accepted, address, true, acceptors.socket, kRequestGraceMs) !=
            WaitingRoom::Admission::kept)
            continue;
        acceptors.answering.fetch_add(1);
        WakeWatch(acceptors);
        acceptors.room.answer_kept(accepted, address);
        acceptors.answering.fetch_sub(1);
        acceptors.answered.fetch_add(1);
        if (may_retire && acceptors.in_accept.load() > 0)
            return;
    }
}

// Entry of an accepting thread started by the watch.
void RunAcceptor(void* raw) {
    std::shared_ptr<Acceptors> acceptors =
        std::move(*static_cast<std::shared_ptr<Acceptors>*>(raw));
    delete static_cast<std::shared_ptr<Acceptors>*>(raw);
    AcceptLoop(*acceptors, true);
    acceptors->threads.fetch_sub(1);
}

// Starts one more accepting thread, at most as many as connection threads.
void StartAcceptor(const std::shared_ptr<Acceptors>& acceptors) {
    if (acceptors->threads.fetch_add(1) >= acceptors->room.limits().max_connection_threads) {
        acceptors->threads.fetch_sub(1);
        return;
    }
    auto* held = new (std::nothrow) std::shared_ptr<Acceptors>(acceptors);
    if (held != nullptr && acceptors->room.start_thread(RunAcceptor, held))
        return;
    delete held;
    acceptors->threads.fetch_sub(1);
}

// Whether connections have waited a whole period with every accepting
// thread answering and no accept in between.
bool AcceptingIsHeldUp(Acceptors& acceptors, std::uint64_t accepts_before) {
    return acceptors.in_accept.load() == 0 && acceptors.answering.load() > 0 &&
           acceptors.accepts.load() == accepts_before && host::readable_now(acceptors.socket);
}

// The watch: every period while requests are answered, starts an accepting
// thread when accepting is held up; rests after a second without answers
// until the next one begins.
void RunWatch(void* raw) {
    std::shared_ptr<Acceptors> acceptors =
        std::move(*static_cast<std::shared_ptr<Acceptors>*>(raw));
    delete static_cast<std::shared_ptr<Acceptors>*>(raw);
    Acceptors& a = *acceptors;
    const int quiet_periods_to_rest = static_cast<int>(1000 / a.period.count()) + 1;
    std::uint64_t accepts = a.accepts.load(), answered = a.answered.load();
    int quiet = 0;
    std::unique_lock<host::Lock> hold(a.lock);
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
    if (acceptors->socket == host::kNoSocket || !acceptors->room.start())
        return false;
    auto* held = new (std::nothrow) std::shared_ptr<Acceptors>(acceptors);
    if (held == nullptr || !acceptors->room.start_thread(RunWatch, held)) {
        delete held;
        acceptors->room.stop();
        return false;
    }
    AcceptLoop(*acceptors, false);
    {
        std::lock_guard<host::Lock> hold(acceptors->lock);
        acceptors->over = true;
        acceptors->wake.notify_all();
    }
    acceptors->room.stop();
    return true;
}

}  // namespace velvox
