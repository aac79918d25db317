// The skip vote and take-back endpoints.
#include "pages/party_actions.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "core/change_signal.h"
#include "core/settings.h"
#include "pages/page_query.h"
#include "pages/redirect.h"
#include "queue/request_queue.h"
#include "queue/skip_votes.h"

namespace velvox {

namespace {

// What a party endpoint's target carries.
struct PartyQuery {
    bool admin = false;       // pass= is the administrator's password
    std::uint64_t entry = 0;  // entry=, the serial number of a queue entry
};

// Returns the leading decimal digits of value as a number; 0 for none, and
// the largest number for more than it holds.
std::uint64_t SerialValue(std::string_view value) {
    std::uint64_t number = 0;
    for (char c : value) {
        if (c < '0' || c > '9')
            break;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (number > (UINT64_MAX - digit) / 10)
            return UINT64_MAX;
        number = number * 10 + digit;
    }
    return number;
}

// Reads pass= and entry= from the target.
PartyQuery ReadPartyQuery(const char* target) {
    std::string pass;
    PartyQuery query;
    ForEachQueryPiece(target, [&](std::string_view key, std::string_view value) {
        if (key == "pass")
            pass.assign(value);
        else if (key == "entry")
            query.entry = SerialValue(value);
    });
    const SettingsSnapshot settings = CurrentSettings();
    query.admin = settings->AdminPassword[0] != '\0' && pass == settings->AdminPassword;
    return query;
}

}  // namespace

bool SkipVotingOn() {
    return SkipVotesNeeded() > 0;
}

void HandleSkipVote(HttpConnection& connection, const char* target) {
    const PartyQuery query = ReadPartyQuery(target);
    const int code = VoteToSkip(connection.clientAddress, query.admin);
    AnnounceChange();  // the votes are on the page; a skip announces itself too
    SendResultRedirect(connection, code);
}

void HandleTakeBack(HttpConnection& connection, const char* target) {
    const PartyQuery query = ReadPartyQuery(target);
    const int code = TakeBackRequest(query.entry, connection.clientAddress, query.admin);
    AnnounceChange();
    SendResultRedirect(connection, code);
}

}  // namespace velvox
