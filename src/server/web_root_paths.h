// How the dispatcher turns a file name into a path under the web root, and
// how it keeps requests inside that root.
#pragma once
#include <string>

namespace velvox {

// Returns true when name has a ".." component, taking both "/" and "\\" as
// separators (both are separators on Windows).
bool HasParentStep(const char* name);

// Builds the full path of file_name: its "/" turned into separator, put after
// web_root and one separator, then every pair of separators replaced by one in
// a single left-to-right pass (three in a row become two). Returns the path.
std::string FullPath(const char* web_root, const char* file_name, char separator);

// Says where full_path resolves to (links followed where the platform has
// them) relative to the resolved web root.
enum class Containment { inside, outside, unresolved };
Containment ResolveUnderRoot(const char* web_root, const std::string& full_path);

}  // namespace velvox
