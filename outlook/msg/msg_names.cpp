#include "outlook/msg/msg_names.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "mapi/mapi_tags.h"

namespace mailsift {

using namespace mapi;

namespace {

// The sets the file numbers 1 and 2 instead of keeping their GUIDs; the GUID stream's first
// set is number 3.
constexpr uint32_t kMapiSetNumber = 1;
constexpr uint32_t kPublicStringsSetNumber = 2;
constexpr uint32_t kFirstStreamSetNumber = 3;
constexpr uint32_t kBucketCount = 0x1F;
constexpr uint32_t kFirstBucketStream = 0x1000;

void Put32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string Utf16Le(const std::u16string& text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

// The checksum the file hashes string names with: CRC-32 starting from 0, without the final
// inversion.
uint32_t NameChecksum(const std::string& bytes) {
    uint32_t crc = 0;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1) != 0 ? 0xEDB88320u : 0);
    }
    return crc;
}

std::string StreamName(uint32_t id) {
    char text[32];
    std::snprintf(text, sizeof(text), "__substg1.0_%04X0102", static_cast<unsigned>(id));
    return text;
}

}  // namespace

ULONG MsgNameMap::IdOf(const PropertyName& name, bool create) {
    const auto found = std::find(names_.begin(), names_.end(), name);
    if (found != names_.end())
        return MIN_NAMED_PROP_ID + static_cast<ULONG>(found - names_.begin());
    if (!create || names_.size() > 0xFFFE - MIN_NAMED_PROP_ID) return 0;
    names_.push_back(name);
    return MIN_NAMED_PROP_ID + static_cast<ULONG>(names_.size() - 1);
}

const PropertyName* MsgNameMap::Find(ULONG id) const {
    if (id < MIN_NAMED_PROP_ID || id - MIN_NAMED_PROP_ID >= names_.size()) return nullptr;
    return &names_[id - MIN_NAMED_PROP_ID];
}

std::vector<std::pair<std::string, std::string>> MsgNameStreams(
    const std::vector<PropertyName>& names) {
    std::string guids, entries, strings;
    std::map<uint32_t, std::string> buckets;
    for (size_t index = 0; index < names.size(); ++index) {
        const PropertyName& name = names[index];
        uint32_t set = 0;
        if (name.set == PS_MAPI) {
            set = kMapiSetNumber;
        } else if (name.set == PS_PUBLIC_STRINGS) {
            set = kPublicStringsSetNumber;
        } else {
            size_t at = 0;
            while (at < guids.size() &&
                   std::memcmp(guids.data() + at, &name.set, sizeof(GUID)) != 0) {
                at += sizeof(GUID);
            }
            if (at == guids.size())
                guids.append(reinterpret_cast<const char*>(&name.set), sizeof(GUID));
            set = kFirstStreamSetNumber + static_cast<uint32_t>(at / sizeof(GUID));
        }
        const uint32_t kind = name.byString ? 1 : 0;
        const uint32_t info = static_cast<uint32_t>(index) << 16 | set << 1 | kind;
        uint32_t key = static_cast<uint32_t>(name.number);
        if (name.byString) {
            const std::string text = Utf16Le(name.text);
            Put32(entries, static_cast<uint32_t>(strings.size()));
            Put32(strings, static_cast<uint32_t>(text.size()));
            strings += text;
            strings.resize((strings.size() + 3) / 4 * 4, '\0');
            key = NameChecksum(text);
        } else {
            Put32(entries, key);
        }
        Put32(entries, info);
        std::string& bucket =
            buckets[kFirstBucketStream + (key ^ (set << 1 | kind)) % kBucketCount];
        Put32(bucket, key);
        Put32(bucket, info);
    }
    std::vector<std::pair<std::string, std::string>> streams = {
        {StreamName(0x0002), guids}, {StreamName(0x0003), entries}, {StreamName(0x0004), strings}};
    for (auto& [id, bytes] : buckets) streams.emplace_back(StreamName(id), std::move(bytes));
    return streams;
}

}  // namespace mailsift
