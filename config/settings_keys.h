#pragma once
#include <concepts>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "config/settings.h"

namespace mailsift {

// How a key's value is read from "main.ini" and written back.
enum class SettingKind : uint8_t {
    Path,            // a file, folder or web address, stored as is; a key not set takes the default
    Folder,          // a Path that always ends with "/" once read
    Flag,            // written "-1" or "0", read by ReadBoolSetting's rules
    Number,          // decimal, read by ReadIntSetting's rules
    Choice,          // a Number from 0 to choices - 1; any other reads as the default
    LanguageChoice,  // an index into the language names; anything else is a StartupError
    LanguageNames,   // the first field of each of the key's lines, in file order; all must be set
};

// Which function reads a key. Only keys LoadSettings reads are written back by SaveSettings;
// those read at startup are left to the user and, for the language, the Setup window.
enum class SettingPhase : uint8_t {
    Load,     // LoadSettings
    Startup,  // ReadStartupSettings
};

// The field of TSettings a key is kept in; an ExtractSource stands for that ExtractFrom entry.
using SettingField = std::variant<std::string TSettings::*, bool TSettings::*, int TSettings::*,
                                  ExtractSource, LanguageNameList TSettings::*>;

struct SettingKey {
    std::string_view key;  // as written to main.ini, and as `config` lists it
    SettingKind kind;
    SettingField field;
    SettingPhase phase = SettingPhase::Load;
    // Path and Folder: the value of a key that is not set; none means empty.
    std::string (*defaultPath)() = nullptr;
    // Flag: the value of a key that is missing or holds neither a number nor True/False.
    bool defaultFlag = false;
    // Number and Choice: the value of a key that is missing or holds no number.
    int defaultNumber = 0;
    int choices = 0;  // Choice: how many values it offers
    // The spelling LoadSettings reads, where it differs from the written one. Keys match in any
    // letter case, so this only shows in the line appended for a missing key.
    std::string_view readAs = {};
    // LanguageNames: the name `config` lists each line under, followed by its index.
    std::string_view listedAs = {};
    // SaveSettings writes this key ahead of the one before it in the table.
    bool writtenBeforePrevious = false;

    std::string_view readKey() const { return readAs.empty() ? key : readAs; }
};

// Every key of main.ini that Settings holds, in the order LoadSettings and ReadStartupSettings
// read them and `config` lists them.
std::span<const SettingKey> SettingKeys();

// The field row is kept in; T is the field's type, bool for an ExtractFrom entry.
template <class T, class Record>
requires std::same_as<std::remove_const_t<Record>, TSettings>
auto& FieldOf(const SettingKey& row, Record& settings) {
    if constexpr (std::is_same_v<T, bool>) {
        if (const ExtractSource* source = std::get_if<ExtractSource>(&row.field)) {
            return settings.ExtractFrom[*source];
        }
    }
    return settings.*std::get<T TSettings::*>(row.field);
}

}  // namespace mailsift
