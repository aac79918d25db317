// The table of result codes and their texts.
#include "core/result_codes.h"

namespace velvox {

namespace {

struct ResultText {
    int code;
    const char* text;
};

// One row per code that has a text; a new code is one row here.
const ResultText kResultTexts[] = {
    {0, "No Error"},
    {1, "Request Accepted!"},
    {2, "Too many songs from the same album"},
    {3, "Too many consecutive songs from the same album"},
    {4, "Too many songs from the same artist"},
    {5, "Too many consecutive songs from the same artist"},
    {6, "Too many consecutive songs from the same artist/album/title"},
    {7, "You cannot request any more songs at this time"},
    {8, "The request queue is full"},
    {9, "The admin password you supplied was invalid"},
    {10, "Queue position deleted!"},
    {11, "Position out of range"},
    {13, "This song was played recently"},
};

}  // namespace

const char* RequestErrorText(int code) {
    for (const ResultText& row : kResultTexts) {
        if (row.code == code)
            return row.text;
    }
    return "";
}

}  // namespace velvox
