// The waiting room: one readiness thread over the waiting sockets, and a pool
// of connection threads that take ready sockets in turn. The readiness thread
// also sends the rests of replies and the live events, never waiting.
#include "server/waiting_room.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/lock.h"
#include "platform/readiness.h"
#include "platform/services.h"
#include "server/sharing_thread.h"

namespace velvox {

namespace {

// A socket whose request has arrived, waiting for a connection thread.
struct ReadySocket {
    platform::Socket socket;
    std::string address;
};

// A socket admitted, not yet in the readiness set.
struct Admitted {
    platform::Socket socket;
    std::string address;
    std::int64_t accepted_at;
};

// A socket in the readiness set.
struct WaitingSocket {
    std::string address;
    std::int64_t accepted_at;
    std::uint64_t serial;
};

// Where a waiting socket stands in accept order (for the deadline).
struct Arrival {
    std::int64_t accepted_at;
    platform::Socket socket;
    std::uint64_t serial;
};

// A socket whose reply goes on as it becomes writable, or a subscriber.
struct Parked {
    std::string address;
    std::unique_ptr<ReplyRest> rest;
    std::int64_t since = 0;  // its last progress, or when bytes began to wait
    long long unsent = -1;   // the system's unsent bytes then, where it tells
    bool writable = false;   // watched for writability (else for readability)
};

// A parked socket handed to the readiness thread.
struct Parking {
    platform::Socket socket;
    Parked parked;
};

// How often the readiness thread looks at the parked sockets' time-outs and
// keep-alives while any are parked.
constexpr std::int64_t kTickMs = 250;

// The comment line that keeps a quiet subscriber's connection open.
constexpr char kKeepAlive[] = ": keep-alive\n\n";

}  // namespace

struct WaitingRoom::Core {
    Handler handler;
    WaitingRoomLimits limits;
    // The platform's services when the room was made.
    std::int64_t (*clock)();
    bool (*starter)(platform::ThreadEntry entry, void* argument, std::size_t stack_bytes);
    platform::ReadySet ready_set;

    // Guarded by lock.
    platform::Lock lock;
    std::condition_variable_any work;      // connection threads wait here
    std::condition_variable_any finished;  // stop waits here for the room thread
    std::vector<Admitted> arrivals;
    std::unordered_map<std::string, int> per_address;
    std::deque<ReadySocket> ready;
    std::vector<Parking> parkings;
    std::shared_ptr<const std::string> event;  // the newest, until taken
    std::uint64_t event_serial = 0;
    int threads = 0;
    int idle = 0;   // waiting for the next ready socket
    int fresh = 0;  // started, not yet looking at the queue
    bool stopping = false;
    bool room_thread_running = false;

    // The readiness thread's own.
    std::unordered_map<platform::Socket, WaitingSocket> waiting;
    std::deque<Arrival> order;
    std::uint64_t next_serial = 0;
    std::unordered_map<platform::Socket, Parked> parked;
    std::shared_ptr<const std::string> latest_event;  // the last one sent
    std::uint64_t latest_serial = 0;
    std::int64_t next_tick = 0;
    std::int64_t last_keep_alive = 0;
    std::atomic<int> parked_now{0};

    // Counters, readable at any time.
    std::atomic<std::uint64_t> admitted{0}, refused_per_address{0}, expired{0},
        waited_for_thread{0}, threads_started{0}, thread_start_failures{0}, served{0},
        replies_parked{0}, stalled{0}, subscribers_taken{0}, dropped{0};

    // Counts a closed socket out of its address's sockets.
    void release(const std::string& address) {
        std::lock_guard<platform::Lock> hold(lock);
        auto found = per_address.find(address);
        if (found != per_address.end() && --found->second <= 0)
            per_address.erase(found);
    }

    // Closes a socket the room owns and counts it out of its address.
    void close(platform::Socket socket, const std::string& address) {
        // Counted out first: a peer that sees the close may connect again.
        release(address);
        platform::close_socket(socket);
    }
};

namespace {

using Core = WaitingRoom::Core;

void RunConnectionThread(std::shared_ptr<Core> core);

// Starts one connection thread; false when it could not be started.
bool start_connection_thread(const std::shared_ptr<Core>& core) {
    core->threads_started++;
    const auto start = [&core](platform::ThreadEntry entry, void* argument) {
        return core->starter(entry, argument, core->limits.thread_stack_bytes);
    };
    if (StartSharing<Core, RunConnectionThread>(core, start))
        return true;
    core->threads_started--;
    return false;
}

// Closes every socket in list.
void close_all(Core& core, std::deque<ReadySocket>& list) {
    for (ReadySocket& r : list)
        core.close(r.socket, r.address);
    list.clear();
}

// Queues ready sockets for the connection threads, waking idle ones and
// starting new ones up to the limit; the rest wait for a thread to be free.
// With handed empty, starts threads for sockets queued already (after a
// thread that was not the room's own has ended).
void hand_over(const std::shared_ptr<Core>& core, std::deque<ReadySocket>& handed) {
    int to_start = 0;
    int to_wake = 0;
    {
        std::lock_guard<platform::Lock> hold(core->lock);
        const int count = static_cast<int>(handed.size());
        for (ReadySocket& r : handed)
            core->ready.push_back(std::move(r));
        handed.clear();
        if (core->ready.empty())
            return;
        const int unclaimed = static_cast<int>(core->ready.size()) - core->idle - core->fresh;
        const int room = core->limits.max_connection_threads - core->threads;
        to_start = unclaimed < room ? unclaimed : room;
        if (to_start < 0)
            to_start = 0;
        // Only the sockets handed over now are counted as having waited.
        const int over = unclaimed - to_start < count ? unclaimed - to_start : count;
        if (over > 0)
            core->waited_for_thread += static_cast<std::uint64_t>(over);
        core->threads += to_start;
        core->fresh += to_start;
        to_wake = std::min(static_cast<int>(core->ready.size()), core->idle);
    }
    // One idle thread woken per queued socket: waking them all would wake
    // every lingering thread for each request.
    for (int i = 0; i < to_wake; ++i)
        core->work.notify_one();
    for (int i = 0; i < to_start; ++i) {
        if (start_connection_thread(core))
            continue;
        core->thread_start_failures++;
        std::deque<ReadySocket> orphans;
        {
            std::lock_guard<platform::Lock> hold(core->lock);
            core->fresh--;
            // With no thread left to take them, the queued sockets are closed.
            if (--core->threads == 0)
                orphans.swap(core->ready);
        }
        close_all(*core, orphans);
    }
}

// Closes a socket that the room kept after its answer; a subscriber's
// place is given back.
void CloseKept(Core& core, platform::Socket socket, const std::string& address, bool subscriber) {
    core.close(socket, address);
    if (subscriber && core.limits.subscriber_gone != nullptr)
        core.limits.subscriber_gone();
}

// Hands a socket whose answer left a rest to the readiness thread; closed
// after stop.
void Park(Core& core, platform::Socket socket, std::string address,
          std::unique_ptr<ReplyRest> rest) {
    const bool subscriber = rest->stays_open;
    bool taken = false;
    {
        std::lock_guard<platform::Lock> hold(core.lock);
        if (!core.stopping && core.room_thread_running) {
            core.parkings.push_back(Parking{socket, Parked{std::move(address), std::move(rest)}});
            core.parked_now++;
            subscriber ? core.subscribers_taken++ : core.replies_parked++;
            taken = true;
        }
    }
    if (taken)
        core.ready_set.wake();
    else
        CloseKept(core, socket, address, subscriber);
}

// Answers one ready socket: the handler, then the close, or the rest of the
// reply handed to the readiness thread.
void serve(Core& core, ReadySocket& r) {
    std::unique_ptr<ReplyRest> rest = core.handler(r.socket, r.address.c_str());
    core.served++;
    if (rest != nullptr)
        Park(core, r.socket, std::move(r.address), std::move(rest));
    else
        core.close(r.socket, r.address);
}

// A connection thread: answers ready sockets in turn; ends when none came for
// the linger time, when enough others are idle already, or at stop.
void RunConnectionThread(std::shared_ptr<Core> core) {
    const auto linger = std::chrono::milliseconds(core->limits.thread_linger_ms);
    std::unique_lock<platform::Lock> hold(core->lock);
    core->fresh--;  // from here on counted as answering or idle
    for (;;) {
        if (core->stopping)
            break;
        if (!core->ready.empty()) {
            ReadySocket r = std::move(core->ready.front());
            core->ready.pop_front();
            hold.unlock();
            serve(*core, r);
            hold.lock();
            continue;
        }
        if (core->idle >= core->limits.max_idle_threads)
            break;
        core->idle++;
        bool woken = core->work.wait_for(hold, linger,
                                         [&] { return core->stopping || !core->ready.empty(); });
        core->idle--;
        if (!woken)
            break;
    }
    core->threads--;
}

using ParkedPlace = std::unordered_map<platform::Socket, Parked>::iterator;

// Closes the parked socket at place and forgets it.
void Unpark(Core& core, ParkedPlace place) {
    core.ready_set.remove(place->first);
    CloseKept(core, place->first, place->second.address, place->second.rest->stays_open);
    core.parked.erase(place);
    core.parked_now--;
}

// Sends what the socket takes of a parked rest now, then watches it for what
// comes next: writability while bytes wait, readability for an idle
// subscriber. Returns false when it is to be closed: failed, or answered.
bool GoOn(Core& core, platform::Socket socket, Parked& p, std::int64_t now) {
    std::uint64_t moved = 0;
    const RestSent sent = SendRest(socket, *p.rest, moved);
    if (moved > 0)
        p.since = now;
    if (sent == RestSent::failed || (sent == RestSent::all && !p.rest->stays_open))
        return false;
    const bool writable = sent == RestSent::blocked;
    if (writable && moved > 0)
        p.unsent = platform::unsent_bytes(socket);
    if (writable != p.writable) {
        if (!core.ready_set.change(
                socket, writable ? platform::Interest::writable : platform::Interest::readable))
            return false;
        p.writable = writable;
    }
    return true;
}

// Takes a parked socket into the readiness set; a subscriber that missed an
// event while it was being answered is sent the latest.
void Settle(Core& core, Parking& k, std::int64_t now) {
    Parked& p = k.parked;
    p.since = now;
    if (p.rest->stays_open && p.rest->events_seen < core.latest_serial && core.latest_event)
        p.rest->bytes += *core.latest_event;
    p.writable = p.rest->pending();
    p.unsent = platform::unsent_bytes(k.socket);
    if (!core.ready_set.add(
            k.socket, p.writable ? platform::Interest::writable : platform::Interest::readable)) {
        CloseKept(core, k.socket, p.address, p.rest->stays_open);
        core.parked_now--;
        return;
    }
    core.parked.emplace(k.socket, std::move(p));
}

// Goes on with a parked socket that the readiness set found ready. What an
// idle subscriber sends is read and dropped; its end or failure closes it.
void OnReady(Core& core, ParkedPlace place, std::int64_t now) {
    Parked& p = place->second;
    if (p.writable) {
        if (!GoOn(core, place->first, p, now))
            Unpark(core, place);
        return;
    }
    char scrap[512];
    for (int turn = 0; turn < 16; ++turn) {
        const long n = platform::try_receive(place->first, scrap, sizeof scrap);
        if (n == platform::kWouldBlock)
            return;
        if (n <= 0) {
            Unpark(core, place);
            return;
        }
    }
}

// Adds text to a subscriber's bytes and sends what its socket takes. Returns
// false when it is to be dropped: too far behind to keep up, or failed.
bool Deliver(Core& core, platform::Socket socket, Parked& p, const std::string& text,
             std::int64_t now) {
    if (p.rest->bytes_left() >= core.limits.subscriber_backlog_bytes) {
        core.dropped++;
        return false;
    }
    if (!p.rest->pending())
        p.since = now;
    p.rest->bytes += text;
    return p.writable || GoOn(core, socket, p, now);
}

// Sends text to every subscriber, dropping those that cannot keep up.
void SendToSubscribers(Core& core, const std::string& text, std::int64_t now) {
    for (auto it = core.parked.begin(); it != core.parked.end();) {
        const ParkedPlace here = it++;
        if (here->second.rest->stays_open && !Deliver(core, here->first, here->second, text, now))
            Unpark(core, here);
    }
}

// Whether the peer of a parked socket took nothing for the send time-out.
// The socket becomes writable only once the peer has taken much of what the
// system holds for it, so a peer that reads still counts as reading while the
// system's unsent count goes down.
bool Stalled(Parked& p, platform::Socket socket, std::int64_t now, std::int64_t limit) {
    if (limit <= 0 || !p.writable || now - p.since < limit)
        return false;
    const long long unsent = platform::unsent_bytes(socket);
    if (unsent < 0 || unsent == p.unsent)
        return true;
    p.unsent = unsent;
    p.since = now;
    return false;
}

// Every tick while sockets are parked: closes the replies whose peer took
// nothing for the send time-out, and sends the keep-alive when it is due.
void Tick(Core& core, std::int64_t now) {
    if (core.parked.empty() || now < core.next_tick)
        return;
    core.next_tick = now + kTickMs;
    const std::int64_t limit = core.limits.send_timeout_ms;
    for (auto it = core.parked.begin(); limit > 0 && it != core.parked.end();) {
        const ParkedPlace here = it++;
        if (Stalled(here->second, here->first, now, limit)) {
            core.stalled++;
            Unpark(core, here);
        }
    }
    if (core.limits.keep_alive_ms > 0 && now - core.last_keep_alive >= core.limits.keep_alive_ms) {
        core.last_keep_alive = now;
        SendToSubscribers(core, kKeepAlive, now);
    }
}

// Takes the sockets admitted and parked since the last turn into the
// readiness set, and sends a new event. Returns false when the room is
// stopping.
bool take_arrivals(Core& core) {
    std::vector<Admitted> taken;
    std::vector<Parking> parkings;
    std::shared_ptr<const std::string> event;
    std::uint64_t event_serial = 0;
    {
        std::lock_guard<platform::Lock> hold(core.lock);
        if (core.stopping)
            return false;
        taken.swap(core.arrivals);
        parkings.swap(core.parkings);
        event.swap(core.event);
        event_serial = core.event_serial;
    }
    const std::int64_t now = core.clock();
    if (event != nullptr) {
        core.latest_event = event;
        core.latest_serial = event_serial;
        SendToSubscribers(core, *event, now);
    }
    for (Parking& k : parkings)
        Settle(core, k, now);
    for (Admitted& a : taken) {
        if (!core.ready_set.add(a.socket)) {
            core.close(a.socket, a.address);
            continue;
        }
        const std::uint64_t serial = core.next_serial++;
        core.waiting[a.socket] = WaitingSocket{std::move(a.address), a.accepted_at, serial};
        core.order.push_back(Arrival{a.accepted_at, a.socket, serial});
    }
    return true;
}

// Drops order entries of sockets no longer waiting. Returns the earliest
// waiting one, or nullptr.
const Arrival* earliest(Core& core) {
    while (!core.order.empty()) {
        const Arrival& a = core.order.front();
        auto found = core.waiting.find(a.socket);
        if (found != core.waiting.end() && found->second.serial == a.serial)
            return &a;
        core.order.pop_front();
    }
    return nullptr;
}

// Closes, without a reply, the waiting sockets whose deadline has passed.
void expire(Core& core, std::int64_t now) {
    if (core.limits.wait_deadline_ms <= 0)
        return;
    for (const Arrival* a = earliest(core);
         a != nullptr && now - a->accepted_at >= core.limits.wait_deadline_ms; a = earliest(core)) {
        auto found = core.waiting.find(a->socket);
        core.expired++;  // before the close, which the peer can see at once
        core.ready_set.remove(a->socket);
        core.close(a->socket, found->second.address);
        core.waiting.erase(found);
    }
}

// Milliseconds the readiness wait may last: until the earliest deadline or
// the next tick, or without limit (-1) when nothing waits or is parked.
int wait_timeout(Core& core, std::int64_t now) {
    bool limited = false;
    std::int64_t left = 0;
    const Arrival* a = earliest(core);
    if (a != nullptr && core.limits.wait_deadline_ms > 0) {
        left = a->accepted_at + core.limits.wait_deadline_ms - now;
        limited = true;
    }
    if (!core.parked.empty() && (!limited || core.next_tick - now < left)) {
        left = core.next_tick - now;
        limited = true;
    }
    if (!limited)
        return -1;
    if (left < 0)
        left = 0;
    return left > 60000 ? 60000 : static_cast<int>(left);
}

// Closes every socket the room still holds (at stop).
void close_everything(Core& core) {
    for (auto& [socket, w] : core.waiting) {
        core.ready_set.remove(socket);
        core.close(socket, w.address);
    }
    core.waiting.clear();
    core.order.clear();
    while (!core.parked.empty())
        Unpark(core, core.parked.begin());
    std::deque<ReadySocket> left;
    std::vector<Admitted> arrived;
    std::vector<Parking> parkings;
    {
        std::lock_guard<platform::Lock> hold(core.lock);
        left.swap(core.ready);
        arrived.swap(core.arrivals);
        parkings.swap(core.parkings);
    }
    close_all(core, left);
    for (Admitted& a : arrived)
        core.close(a.socket, a.address);
    for (Parking& k : parkings) {
        CloseKept(core, k.socket, k.parked.address, k.parked.rest->stays_open);
        core.parked_now--;
    }
}

// The readiness thread: watches the waiting sockets, hands ready ones over,
// closes those past the deadline; at stop closes what it holds.
void RunRoom(std::shared_ptr<Core> core) {
    platform::Socket batch[256];
    std::deque<ReadySocket> handed;
    while (take_arrivals(*core)) {
        int n = core->ready_set.wait(batch, 256, wait_timeout(*core, core->clock()));
        if (n < 0)
            platform::sleep_ms(10);  // a failing wait is not made to spin
        const std::int64_t now = core->clock();
        for (int i = 0; i < n; ++i) {
            auto kept = core->parked.find(batch[i]);
            if (kept != core->parked.end()) {
                OnReady(*core, kept, now);
                continue;
            }
            auto found = core->waiting.find(batch[i]);
            core->ready_set.remove(batch[i]);
            if (found == core->waiting.end())
                continue;
            handed.push_back(ReadySocket{batch[i], std::move(found->second.address)});
            core->waiting.erase(found);
        }
        expire(*core, core->clock());
        Tick(*core, core->clock());
        if (!handed.empty())
            hand_over(core, handed);
    }
    close_everything(*core);
    std::lock_guard<platform::Lock> hold(core->lock);
    core->room_thread_running = false;
    core->finished.notify_all();
}

}  // namespace

WaitingRoom::WaitingRoom(Handler handler, const WaitingRoomLimits& limits)
    : core_(std::make_shared<Core>()) {
    core_->handler = std::move(handler);
    core_->limits = limits;
    if (core_->limits.max_connection_threads < 1)
        core_->limits.max_connection_threads = 1;
    core_->clock = platform::services().steady_milliseconds;
    core_->starter = platform::services().start_thread;
}

WaitingRoom::~WaitingRoom() {
    stop();
}

bool WaitingRoom::start() {
    if (started_ || !core_->ready_set.usable())
        return false;
    core_->room_thread_running = true;
    core_->last_keep_alive = core_->clock();
    const auto start = [this](platform::ThreadEntry entry, void* argument) {
        return core_->starter(entry, argument, 0);
    };
    if (!StartSharing<Core, RunRoom>(core_, start)) {
        core_->room_thread_running = false;
        return false;
    }
    started_ = true;
    return true;
}

WaitingRoom::Admission WaitingRoom::admit(platform::Socket socket, const char* client_address,
                                          Keep keep) {
    // A request that has arrived already skips the readiness set: one hand
    // between threads less on the common path.
    const bool ready = keep != Keep::always && platform::readable_now(socket);
    const int most = core_->limits.max_sockets_per_address;
    bool taken = false;
    {
        std::lock_guard<platform::Lock> hold(core_->lock);
        // Before start and after stop nothing is taken in.
        if (!core_->stopping && core_->room_thread_running) {
            int& count = core_->per_address[client_address];
            if (most > 0 && count >= most) {
                core_->refused_per_address++;
            } else {
                ++count;
                core_->admitted++;
                taken = true;
            }
        }
    }
    if (!taken) {
        platform::close_socket(socket);
        return Admission::refused;
    }
    if (keep == Keep::always || (ready && keep == Keep::ready))
        return Admission::kept;
    enter(socket, client_address, ready);
    return Admission::waiting;
}

void WaitingRoom::wait_in_room(platform::Socket socket, const char* client_address) {
    enter(socket, client_address, platform::readable_now(socket));
}

void WaitingRoom::enter(platform::Socket socket, const char* client_address, bool ready) {
    if (ready) {
        std::deque<ReadySocket> handed;
        handed.push_back(ReadySocket{socket, client_address});
        hand_over(core_, handed);
        return;
    }
    std::string address(client_address);
    bool taken = false;
    {
        std::lock_guard<platform::Lock> hold(core_->lock);
        if (!core_->stopping && core_->room_thread_running) {
            core_->arrivals.push_back(Admitted{socket, address, core_->clock()});
            taken = true;
        }
    }
    if (taken)
        core_->ready_set.wake();
    else
        core_->close(socket, address);  // stopped since it was counted
}

void WaitingRoom::answer_kept(platform::Socket socket, const char* client_address) {
    bool at_limit;
    {
        std::lock_guard<platform::Lock> hold(core_->lock);
        at_limit = core_->threads >= core_->limits.max_connection_threads;
        if (!at_limit)
            core_->threads++;
    }
    if (at_limit) {
        enter(socket, client_address, true);
        return;
    }
    ReadySocket r{socket, client_address};
    serve(*core_, r);
    bool queued;
    {
        std::lock_guard<platform::Lock> hold(core_->lock);
        core_->threads--;
        queued = !core_->ready.empty();
    }
    // The place this thread held may be what a queued socket waits for.
    if (queued) {
        std::deque<ReadySocket> none;
        hand_over(core_, none);
    }
}

bool WaitingRoom::start_thread(platform::ThreadEntry entry, void* argument) {
    return core_->starter(entry, argument, core_->limits.thread_stack_bytes);
}

const WaitingRoomLimits& WaitingRoom::limits() const {
    return core_->limits;
}

void WaitingRoom::recheck() {
    core_->ready_set.wake();
}

void WaitingRoom::broadcast(std::shared_ptr<const std::string> event, std::uint64_t serial) {
    {
        std::lock_guard<platform::Lock> hold(core_->lock);
        core_->event = std::move(event);
        core_->event_serial = serial;
    }
    core_->ready_set.wake();
}

void WaitingRoom::stop() {
    std::unique_lock<platform::Lock> hold(core_->lock);
    core_->stopping = true;
    core_->work.notify_all();
    hold.unlock();
    core_->ready_set.wake();
    hold.lock();
    core_->finished.wait(hold, [&] { return !core_->room_thread_running; });
}

WaitingRoomCounts WaitingRoom::counts() const {
    WaitingRoomCounts c;
    c.admitted = core_->admitted;
    c.refused_per_address = core_->refused_per_address;
    c.expired = core_->expired;
    c.waited_for_thread = core_->waited_for_thread;
    c.threads_started = core_->threads_started;
    c.thread_start_failures = core_->thread_start_failures;
    c.served = core_->served;
    c.parked = core_->replies_parked;
    c.stalled = core_->stalled;
    c.subscribers = core_->subscribers_taken;
    c.dropped = core_->dropped;
    return c;
}

int WaitingRoom::connection_threads() const {
    std::lock_guard<platform::Lock> hold(core_->lock);
    return core_->threads;
}

int WaitingRoom::parked_sockets() const {
    return core_->parked_now.load();
}

int WaitingRoom::idle_connection_threads() const {
    std::lock_guard<platform::Lock> hold(core_->lock);
    return core_->idle;
}

}  // namespace velvox
