// The table of result codes and their texts.
#include "core/result_codes.h"

#include <string_view>

namespace velvox {

namespace {

struct ResultRow {
    int code;
    const char* text;
    bool success;  // something was done; %%RESULTKIND%% says "accepted"
};

// One row per code that has a text; a new code is one row here.
const ResultRow kResultTexts[] = {
    {0, "No Error", false},
    {1, "Request Accepted!", true},
    {2, "Too many songs from the same album", false},
    {3, "Too many consecutive songs from the same album", false},
    {4, "Too many songs from the same artist", false},
    {5, "Too many consecutive songs from the same artist", false},
    {6, "Too many consecutive songs from the same artist/album/title", false},
    {7, "You cannot request any more songs at this time", false},
    {8, "The request queue is full", false},
    {9, "The admin password you supplied was invalid", false},
    {10, "Queue position deleted!", true},
    {11, "Position out of range", false},
    {13, "This song was played recently", false},
    {14, "Your vote to skip this song was counted", true},
    {15, "You have already voted to skip this song", false},
    {16, "The song was skipped", true},
    {17, "You have made all the requests an hour allows. Try again {when}", false},
    {18, "This song cannot be requested", false},
    {19, "Your request was taken back", true},
    {20, "You can only take back your own requests", false},
    {21, "That request is no longer waiting", false},
};

constexpr std::string_view kWhen = "{when}";

// Returns the row of code, or null.
const ResultRow* RowOf(int code) {
    for (const ResultRow& row : kResultTexts) {
        if (row.code == code)
            return &row;
    }
    return nullptr;
}

}  // namespace

const char* RequestErrorText(int code) {
    const ResultRow* row = RowOf(code);
    return row != nullptr ? row->text : "";
}

std::string ResultText(int code, std::int32_t minutes) {
    std::string text = RequestErrorText(code);
    const std::size_t at = text.find(kWhen);
    if (at == std::string::npos)
        return text;
    std::string when = "later";
    if (minutes > 0)
        when = "in " + std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes");
    return text.replace(at, kWhen.size(), when);
}

bool IsSuccessCode(int code) {
    const ResultRow* row = RowOf(code);
    return row != nullptr && row->success;
}

}  // namespace velvox
