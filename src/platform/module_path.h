// The plug-in's own module: its full path, and pinning it in memory.
#pragma once
#include <cstddef>
#include <string>

namespace platform {

// The separator between the folders of a path on this platform: the one of
// files.h, which both headers may be included with.
extern const char kPathSeparator;

// Copies the full path of the module that holds this code into buffer, cut to
// size - 1 characters and NUL-terminated. module is the handle the player gave
// the plug-in (used on Windows; null means "the module holding this code").
// Returns the full length of the path, so a result >= size tells that it was
// cut; 0 when the path cannot be found.
std::size_t module_path(void* module, char* buffer, std::size_t size);

// Returns the full path of the module that holds this code (see module_path).
std::string module_path(void* module);

// Pins the module that holds this code so that it is never unloaded, however
// often the player releases it: threads of ours may still run its code.
// Safe to call more than once. Returns true when the module is pinned.
bool pin_module();

// Test seam: while path is not null, module_path reports path instead of the
// real one (tests point it into a temporary folder). Null restores the real one.
void override_module_path(const char* path);

namespace detail {
// The platform's answer for module_path, never cut; empty when unknown.
std::string system_module_path(void* module);
}  // namespace detail

}  // namespace platform
