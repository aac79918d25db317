// The listeners' party endpoints: "/skip.cgi", a vote against the song
// playing, and "/takeback.cgi", taking back a request of one's own.
#pragma once
#include "http/http_connection.h"

namespace velvox {

// Returns whether voting is on (SkipVotes above 0); while it is off,
// "/skip.cgi" is a file name like any other.
bool SkipVotingOn();

// Counts the client's vote against the song playing (the administrator's,
// with pass=, skips it at once), then redirects back to the referring page
// with the result code. Writes the whole reply.
void HandleSkipVote(HttpConnection& connection, const char* target);

// Takes back the waiting request named by entry= (its number, as the queue's
// take-back links give it): the client's own, or any with the administrator's
// pass=. Redirects back with the result code. Writes the whole reply.
void HandleTakeBack(HttpConnection& connection, const char* target);

}  // namespace velvox
