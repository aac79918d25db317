// Page templates: reading, keeping and sending them.
#include "pages/page_template.h"

#include <map>
#include <mutex>
#include <utility>

#include "pages/template_renderer.h"

namespace velvox {

namespace {

// A template line as the line reader hands it: 8095 characters and a NUL.
constexpr std::size_t kLineRoom = 8096;
// The most templates kept; past it they are read anew.
constexpr std::size_t kMostKept = 64;

struct KeptTemplate {
    platform::FileStamp stamp;
    std::shared_ptr<const PageTemplate> page;
};

struct TemplateStore {
    std::mutex mutex;  // held only to look up or replace an entry
    std::map<std::pair<std::uint64_t, std::uint64_t>, KeptTemplate> kept;
};

// Returns the process-wide store; never destroyed (threads may outlive exit).
TemplateStore& Store() {
    static auto* s = new TemplateStore;
    return *s;
}

// Reads the file's lines and cuts them into pieces.
std::shared_ptr<const PageTemplate> ReadTemplate(platform::InputFile& file) {
    auto page = std::make_shared<PageTemplate>();
    char line[kLineRoom];
    std::size_t plain_from = 0;  // where the run of lines without a token began
    const auto end_plain_run = [&] {
        if (page->text.size() > plain_from)
            page->pieces.push_back({plain_from, page->text.size() - plain_from, -1});
    };
    while (file.read_line(line, sizeof line)) {
        const std::string_view text(line);
        const int row = TokenRowOf(text);
        if (row < 0) {
            page->text.append(text);
            page->text.append("\r\n", 2);
            continue;
        }
        end_plain_run();
        page->pieces.push_back({page->text.size(), text.size(), row});
        page->text.append(text);
        plain_from = page->text.size();
    }
    end_plain_run();
    return page;
}

}  // namespace

std::shared_ptr<const PageTemplate> TemplateOf(platform::InputFile& file) {
    platform::FileStamp stamp;
    if (!file.stamp(stamp))
        return ReadTemplate(file);
    TemplateStore& s = Store();
    const auto key = std::make_pair(stamp.volume, stamp.index);
    if (stamp.settled) {
        std::lock_guard<std::mutex> hold(s.mutex);
        const auto found = s.kept.find(key);
        if (found != s.kept.end() && found->second.stamp == stamp)
            return found->second.page;
    }
    std::shared_ptr<const PageTemplate> page = ReadTemplate(file);
    std::lock_guard<std::mutex> hold(s.mutex);
    if (!stamp.settled) {
        s.kept.erase(key);
        return page;
    }
    if (s.kept.size() >= kMostKept)
        s.kept.clear();
    s.kept[key] = KeptTemplate{stamp, page};
    return page;
}

void SendTemplatePage(HttpConnection& connection, platform::InputFile& file,
                      const PageQuery& query) {
    const std::shared_ptr<const PageTemplate> page = TemplateOf(file);
    PageRenderer renderer(connection);
    renderer.ask_ahead(*page);
    for (const TemplatePiece& piece : page->pieces) {
        const std::string_view text = page->view(piece);
        if (piece.row < 0)
            connection.send_bytes(text.data(), text.size());
        else
            renderer.render_row(text, piece.row, query);
    }
}

void ForgetTemplates() {
    TemplateStore& s = Store();
    std::lock_guard<std::mutex> hold(s.mutex);
    s.kept.clear();
}

}  // namespace velvox
