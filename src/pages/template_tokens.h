// The names of the template tokens, as they stand in a page.
#pragma once
#include <string_view>

namespace velvox::tokens {

constexpr std::string_view kArtistSelect = "%%ARTISTSELECT%%";
constexpr std::string_view kAdminControl = "%%ADMINWINAMPCONTROL%%";
constexpr std::string_view kAdminHidden = "%%ADMINHIDDENFIELD%%";
constexpr std::string_view kAdminPassword = "%%ADMINPASSWORD%%";
constexpr std::string_view kError = "%%ERROR%%";
constexpr std::string_view kReferrer = "%%HTTP_REFERRER%%";
constexpr std::string_view kReferrerUrl = "URL=%%HTTP_REFERRER%%";
constexpr std::string_view kPlaylistEntry = "%%PLAYLISTENTRY%%";
constexpr std::string_view kPlaylistPos = "%%PLAYLISTPOS%%";
constexpr std::string_view kQueueEntry = "%%QUEUELISTENTRY%%";
constexpr std::string_view kQueuePos = "%%QUEUELISTPOS%%";
constexpr std::string_view kQueueRowState = "%%QUEUELISTROWSTATE%%";
constexpr std::string_view kQueueEta = "%%QUEUELISTETA%%";
constexpr std::string_view kNavNext = "%%NAV_NEXT%%";
constexpr std::string_view kNavPrev = "%%NAV_PREV%%";
constexpr std::string_view kCurrentSong = "%%CURRENTSONG%%";
constexpr std::string_view kContentRefresh = "%%CONTENT_REFRESH%%";
constexpr std::string_view kPctLeft = "%%PCT_LEFT%%";
constexpr std::string_view kSongLength = "%%SONG_LENGTH%%";
constexpr std::string_view kPSearch = "%%PSEARCH%%";
constexpr std::string_view kStartsWith = "%%STARTSWITH%%";
constexpr std::string_view kResultKind = "%%RESULTKIND%%";
constexpr std::string_view kPlayState = "%%PLAYSTATE%%";
constexpr std::string_view kMatchCount = "%%MATCHCOUNT%%";
constexpr std::string_view kPageFirst = "%%PAGEFIRST%%";
constexpr std::string_view kPageLast = "%%PAGELAST%%";
constexpr std::string_view kPlaylistRowState = "%%PLAYLISTROWSTATE%%";
constexpr std::string_view kHistoryEntry = "%%HISTORYENTRY%%";
constexpr std::string_view kHistoryPos = "%%HISTORYPOS%%";
constexpr std::string_view kServerUrl = "%%SERVERURL%%";
constexpr std::string_view kQueueTakeBack = "%%QUEUETAKEBACK%%";
constexpr std::string_view kSkipVotes = "%%SKIPVOTES%%";
constexpr std::string_view kSkipNeeded = "%%SKIPNEEDED%%";

}  // namespace velvox::tokens
