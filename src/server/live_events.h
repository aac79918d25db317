// Live events (/api/events, server-sent events): the subscribers' places,
// and the publisher, a thread that builds the state when it may have changed
// and hands it, as an event, to the waiting room's subscribers. The
// publisher asks the player for the state, so nothing ever waits for it:
// not quit, not the room, not the places that announce a change.
#pragma once
#include <cstdint>

#include "http/http_connection.h"
#include "server/served.h"
#include "server/waiting_room.h"

namespace velvox {

// Answers /api/events: the head of an event stream and one event with the
// whole state; the connection then stays open in the waiting room, which
// sends it each later event. With MaxEventClients subscribers there
// already, a 503 error page. Returns what that came to.
Served ServeEvents(HttpConnection& connection);

// Lets the publisher send its events to room (nullptr: to none; the room
// must not be stopped before).
void AttachEventRoom(WaitingRoom* room);

// Gives a subscriber's place back (the room calls this as it closes one).
void SubscriberGone();

// Subscribers now, those being answered included.
int EventSubscribers();

}  // namespace velvox
