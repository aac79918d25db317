// Loading the plug-in and calling its export, for both fronts.
#include "plugin_module.h"

namespace player {

namespace {

// The export's signature.
using GetPluginRecord = velvox::PluginRecord* (*)();

constexpr const char* kExportName = "winampGetGeneralPurposePlugin";

}  // namespace

bool load_plugin(const std::string& option, LoadedPlugin& plugin, std::string& error) {
    const std::string path = module_file(option);
    std::string why;
    plugin.module = open_module(path, why);
    if (plugin.module == nullptr) {
        error = "cannot load plug-in '" + path + "': " + why;
        return false;
    }
    auto get_record = reinterpret_cast<GetPluginRecord>(module_export(plugin.module, kExportName));
    if (get_record == nullptr) {
        error = "plug-in '" + path + "' has no export " + kExportName;
        return false;
    }
    plugin.record = get_record();
    if (plugin.record == nullptr) {
        error = "plug-in '" + path + "' returned no record";
        return false;
    }
    return true;
}

}  // namespace player
