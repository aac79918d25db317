// Fuzzes the query tokenizer and the value decoding.
#include <cstdint>
#include <cstring>
#include <string>

#include "core/settings.h"
#include "pages/page_query.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool configured = [] {
        velvox::PluginSettings settings;
        std::strcpy(settings.AdminPassword, "secret");
        velvox::PublishSettings(settings);
        return true;
    }();
    (void)configured;
    std::string text(reinterpret_cast<const char*>(data), size);
    velvox::PageQuery query;
    velvox::ParsePageQuery(text.c_str(), query);
    std::string value = text;
    velvox::DecodeQueryValue(value.data());
    velvox::HexEscapeValue(text.c_str(), text.size() < 2 ? text.size() : 2);
    return 0;
}
