// The link to the record's window and module fields.
#include "core/player_link.h"

#include <atomic>

namespace velvox {

namespace {

// Constant-initialised, so an attach made while other statics are still
// being set up is never undone.
std::atomic<platform::Window*> window_field{nullptr};
std::atomic<void**> module_field{nullptr};

}  // namespace

void AttachPlayer(platform::Window* window, void** module) {
    window_field.store(window);
    module_field.store(module);
}

platform::Window HostWindow() {
    platform::Window* field = window_field.load();
    return field != nullptr ? *field : nullptr;
}

void* ModuleHandle() {
    void** field = module_field.load();
    return field != nullptr ? *field : nullptr;
}

}  // namespace velvox
