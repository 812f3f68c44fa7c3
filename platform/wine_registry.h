#pragma once
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace mailsift {

enum class RegistryHive { CurrentUser, LocalMachine };

enum class RegistryValueType { String, ExpandString, MultiString, Dword, Binary, Other };

struct RegistryValue {
    std::string name;  // "" for the key's default value ("@")
    RegistryValueType type = RegistryValueType::Other;
    // UTF-8 text for the string types (multi-strings joined by NUL), the decimal number for
    // a dword, the raw bytes otherwise.
    std::string data;
};

// A read-only view of one hive of a Wine prefix's registry text files (user.reg for the
// current user, system.reg for the local machine). Key paths are compared without regard to
// case, with "\" as separator; leading, trailing and doubled separators are ignored. Values
// keep the order of the file. Damaged lines are passed over.
class RegistryView {
  public:
    // The hive of the Wine prefix (platform/environment.h); an empty view when the file is
    // missing or unreadable.
    static RegistryView OpenHive(RegistryHive hive);
    static RegistryView LoadFile(const std::string& path);
    static RegistryView Parse(std::string_view text);

    bool HasKey(std::string_view keyPath) const;
    // The key's values in file order; nullopt when the key does not exist.
    std::optional<std::vector<RegistryValue>> Values(std::string_view keyPath) const;
    // A value of one of the string types; nullopt when key or value is missing or not a string.
    std::optional<std::string> ReadString(std::string_view keyPath,
                                          std::string_view valueName) const;

  private:
    struct Key {
        std::vector<RegistryValue> values;
        // Upper-cased value name -> position in values.
        std::unordered_map<std::string, size_t> valueIndex;
    };
    const Key* FindKey(std::string_view keyPath) const;

    // By normalised, upper-cased path. Sorted, so that a key which only has subkeys in the
    // file (Wine does not write those) is still found as the prefix of another path.
    std::map<std::string, Key, std::less<>> keys_;
};

}  // namespace mailsift
