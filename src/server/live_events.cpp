// Live events: the places, the publisher thread and the route.
#include "server/live_events.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "core/change_signal.h"
#include "core/settings.h"
#include "pages/status_feed.h"
#include "platform/lock.h"
#include "platform/threads.h"

namespace velvox {

namespace {

// While subscribers are there, the state is also looked at this often: the
// player's own buttons and console change it without telling anyone.
constexpr auto kLookEvery = std::chrono::seconds(1);
constexpr std::size_t kPublisherStackBytes = 256 * 1024;

struct Hub {
    platform::Lock lock;
    std::condition_variable_any wake;
    WaitingRoom* room = nullptr;
    int subscribers = 0;
    bool announced = false;
    bool publisher_running = false;
    std::uint64_t serial = 0;  // of the last event published
    std::string last_steady;   // its state, less the elapsed time
};

// The one hub; never destroyed, since the publisher may outlive everything
// else (the module stays loaded once a thread of ours has run).
Hub& TheHub() {
    static Hub* hub = new Hub;
    return *hub;
}

// The change listener: wakes the publisher.
void Announce() {
    Hub& hub = TheHub();
    std::lock_guard<platform::Lock> hold(hub.lock);
    hub.announced = true;
    hub.wake.notify_all();
}

// Publishes the state when it differs from the last published one; called
// with the hub's lock held, which it lets go of while it asks the player.
void PublishIfChanged(Hub& hub, std::unique_lock<platform::Lock>& hold) {
    hold.unlock();
    std::string steady;
    const std::string json = StatusJson(&steady);
    hold.lock();
    if (steady == hub.last_steady)
        return;
    hub.last_steady = steady;
    ++hub.serial;
    if (hub.room != nullptr)
        hub.room->broadcast(std::make_shared<const std::string>("data: " + json + "\n\n"),
                            hub.serial);
}

// The publisher: on each announced change, and every kLookEvery, publishes
// the state if it changed; ends when the last subscriber has gone.
void RunPublisher(void*) {
    Hub& hub = TheHub();
    std::unique_lock<platform::Lock> hold(hub.lock);
    while (hub.subscribers > 0) {
        hub.wake.wait_for(hold, kLookEvery, [&] { return hub.announced || hub.subscribers == 0; });
        if (hub.subscribers == 0)
            break;
        hub.announced = false;
        PublishIfChanged(hub, hold);
    }
    hub.publisher_running = false;
    hub.last_steady.clear();
}

// Takes a subscriber's place, starting the publisher when it is not running.
// Returns false when MaxEventClients subscribers are there already.
bool TakePlace() {
    const std::int32_t most = CurrentSettings()->max_event_clients;
    Hub& hub = TheHub();
    std::lock_guard<platform::Lock> hold(hub.lock);
    if (hub.subscribers >= most)
        return false;
    ++hub.subscribers;
    SetChangeListener(Announce);
    // Without a publisher the subscribers get the first event only.
    if (!hub.publisher_running)
        hub.publisher_running = platform::start_thread(RunPublisher, nullptr, kPublisherStackBytes);
    return true;
}

// Returns the serial of the last event published.
std::uint64_t PublishedSerial() {
    Hub& hub = TheHub();
    std::lock_guard<platform::Lock> hold(hub.lock);
    return hub.serial;
}

// Takes a first event's state as the one published last, unless one was
// published since the publisher started: the publisher then sends the next
// change, not the state every subscriber has already.
void NoteFirstState(const std::string& steady) {
    Hub& hub = TheHub();
    std::lock_guard<platform::Lock> hold(hub.lock);
    if (hub.last_steady.empty())
        hub.last_steady = steady;
}

}  // namespace

Served ServeEvents(HttpConnection& connection) {
    if (!TakePlace()) {
        connection.send_error(503, "Service Unavailable", nullptr, "Too many event clients.");
        return Served::refused;
    }
    std::string steady;
    // Read before the state: an event published meanwhile is sent again.
    const std::uint64_t seen = PublishedSerial();
    const std::string json = StatusJson(&steady);
    NoteFirstState(steady);
    connection.send_reply_head(200, "OK", "Cache-Control: no-store", "text/event-stream", -1, -1);
    const std::string event = "data: " + json + "\n\n";
    connection.send_bytes(event.data(), event.size());
    // Flushed first: once the stream stays open, its rest goes to the room,
    // which gives the place back when it closes the socket.
    Stream* stream = connection.stream;
    if (stream == nullptr || stream->flush() != 0 || !stream->stay_open(seen))
        SubscriberGone();
    return Served::served;
}

void AttachEventRoom(WaitingRoom* room) {
    Hub& hub = TheHub();
    std::lock_guard<platform::Lock> hold(hub.lock);
    hub.room = room;
}

void SubscriberGone() {
    Hub& hub = TheHub();
    std::lock_guard<platform::Lock> hold(hub.lock);
    if (--hub.subscribers == 0)
        hub.wake.notify_all();
}

int EventSubscribers() {
    Hub& hub = TheHub();
    std::lock_guard<platform::Lock> hold(hub.lock);
    return hub.subscribers;
}

}  // namespace velvox
