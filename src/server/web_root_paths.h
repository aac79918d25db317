// How the dispatcher turns a file name into a path under the web root, and
// how it keeps requests inside that root.
#pragma once
#include <memory>
#include <string>

#include "core/settings.h"
#include "platform/files.h"

namespace velvox {

// Returns true when name has a ".." component, taking both "/" and "\\" as
// separators (both are separators on Windows).
bool HasParentStep(const char* name);

// Builds the full path of file_name: its "/" turned into separator, put after
// web_root and one separator, then every pair of separators replaced by one in
// a single left-to-right pass (three in a row become two). Returns the path.
std::string FullPath(const char* web_root, const char* file_name, char separator);

// The web root of one settings snapshot, resolved and opened once.
struct WebRoot {
    std::string resolved;           // the WebRoot text resolved (platform::resolve_path)
    platform::Directory directory;  // held open, where the platform can, for names beneath it
};

// Returns the web root of the settings snapshot: resolved by the first
// request that uses the snapshot, and kept for the later ones. Returns
// nullptr when the WebRoot text cannot be resolved; that is tried again at
// the next request, so a folder made later is found.
std::shared_ptr<const WebRoot> WebRootOf(const SettingsSnapshot& settings);

// Says where full_path resolves to (links followed where the platform has
// them) relative to the resolved web root; unresolved without a root.
enum class Containment { inside, outside, unresolved };
Containment ResolveUnderRoot(const WebRoot* root, const std::string& full_path);

}  // namespace velvox
