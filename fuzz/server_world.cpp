// The world the request and template fuzz targets run in.
#include "server_world.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/settings.h"
#include "core/text.h"
#include "fake_player.h"
#include "queue/playlist_cache.h"

namespace velvox::fuzzing {

namespace {
testing::FakePlayer* world_player = nullptr;
}  // namespace

platform::Window server_world_window() {
    return world_player != nullptr ? world_player->window() : nullptr;
}

const char* prepare_server_world() {
    static std::string root;
    if (!root.empty())
        return root.c_str();
    char pattern[] = "/tmp/velvox-fuzz-XXXXXX";
    root = mkdtemp(pattern);
    std::string page = root + "/playlist.html";
    if (FILE* f = std::fopen(page.c_str(), "wb")) {
        std::fputs(
            "<p>%%CURRENTSONG%% %%CONTENT_REFRESH%% %%PCT_LEFT%% %%SONG_LENGTH%%\n"
            "<meta content=\"5; URL=%%HTTP_REFERRER%%\">\n%%ERROR%%\n"
            "<li>%%QUEUELISTPOS%% %%QUEUELISTENTRY%%\n"
            "<li><a href=\"request.cgi?listpos=%%PLAYLISTPOS%%\">%%PLAYLISTENTRY%%</a>\n"
            "%%NAV_PREV%% %%NAV_NEXT%%\n<option>%%ARTISTSELECT%%\n"
            "%%ADMINWINAMPCONTROL%% %%ADMINHIDDENFIELD%% %%ADMINPASSWORD%%\n"
            "<li class=\"%%PLAYLISTROWSTATE%%\">%%PLAYLISTENTRY%%\n<li>%%HISTORYPOS%% "
            "%%HISTORYENTRY%%\n"
            "%%PSEARCH%%\n%%STARTSWITH%%\n%%RESULTKIND%%\n%%PLAYSTATE%%\n%%MATCHCOUNT%% "
            "%%PAGELAST%%\n",
            f);
        std::fclose(f);
    }
    PluginSettings settings;
    settings.bDisabled = false;
    CopyCut(settings.WebRoot, root.c_str());
    CopyCut(settings.Playlistfile, "playlist.html");
    CopyCut(settings.AdminPassword, "secret");
    PublishSettings(settings);
    auto* player = new testing::FakePlayer;
    world_player = player;
    for (int i = 0; i < 40; ++i) {
        player->playlist.push_back("Artist " + std::to_string(i % 7) + " - Song <" +
                                   std::to_string(i) + ">");
    }
    player->lengthSeconds = 200;
    player->elapsedMs = 1000;
    RefreshPlaylistCache();
    return root.c_str();
}

}  // namespace velvox::fuzzing
