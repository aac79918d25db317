// The settings in force, published as immutable snapshots.
#include "core/settings.h"

#include <mutex>

namespace velvox {

namespace {

struct SettingsStore {
    std::mutex mutex;  // held only to copy or swap the pointer
    SettingsSnapshot current = std::make_shared<const PluginSettings>();
};

// Returns the process-wide store; never destroyed, so threads still running at
// exit never see it go.
SettingsStore& store() {
    static auto* s = new SettingsStore;
    return *s;
}

}  // namespace

SettingsSnapshot CurrentSettings() {
    SettingsStore& s = store();
    std::lock_guard<std::mutex> hold(s.mutex);
    return s.current;
}

void PublishSettings(const PluginSettings& settings) {
    auto next = std::make_shared<const PluginSettings>(settings);
    SettingsStore& s = store();
    std::lock_guard<std::mutex> hold(s.mutex);
    s.current = std::move(next);
}

}  // namespace velvox
