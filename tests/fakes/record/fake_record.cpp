// The record for unit tests that do not link the plug-in's lifecycle.
#include "plugin/plugin_record.h"

namespace velvox {
PluginRecord thePluginRecord = {16, "", nullptr, nullptr, nullptr, nullptr, nullptr};
}
