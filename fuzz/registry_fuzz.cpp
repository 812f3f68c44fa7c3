// Wine registry text as found in a prefix we did not write.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/wine_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using mailsift::RegistryView;
    const RegistryView view =
        RegistryView::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    constexpr std::string_view kKeys[] = {
        "Software\\Microsoft\\Outlook Express",
        "\\Identities",
        "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls",
        "Software",
        "a",
        "",
    };
    size_t total = 0;
    for (std::string_view key : kKeys) {
        total += view.HasKey(key) ? 1 : 0;
        if (const auto values = view.Values(key)) {
            for (const auto& value : *values) {
                total += value.data.size();
                if (const auto text = view.ReadString(key, value.name)) total += text->size();
            }
        }
        if (const auto root = view.ReadString(key, "Store Root")) total += root->size();
        if (const auto user = view.ReadString(key, "Default User ID")) total += user->size();
    }
    return total == SIZE_MAX ? 1 : 0;
}
