// Store files and message texts as found on disk: the bracketed scan of the bytes as a file,
// read whole and in small chunks, and the message scan's line filter over every line. Besides
// crashes it catches results that depend on where the file was cut, and entries that break
// the rules the lists promise.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "addresses/address_scanner.h"
#include "fuzz/fuzz_run_folder.h"
#include "platform/text_match.h"

namespace {

const FuzzRunFolder kRunFolder("address");

void Require(bool condition) {
    if (!condition) std::abort();
}

bool IsBracketedByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '@';
}

void CheckBracketed(const mailsift::AddressList& list) {
    for (const std::string& entry : list) {
        Require(entry.size() <= mailsift::kMaxBracketedAddress);
        for (char c : entry) Require(IsBracketedByte(c));
        const size_t at = entry.find('@');
        Require(at != 0 && at != std::string::npos && entry.find('.', at) != std::string::npos);
        Require(entry.find('@', at + 1) == std::string::npos);
    }
}

void ScanLines(std::string_view text) {
    mailsift::AddressList list;
    size_t pos = 0;
    while (pos <= text.size()) {
        const size_t end = std::min(text.find_first_of("\r\n", pos), text.size());
        const std::string_view line = text.substr(pos, end - pos);
        mailsift::AddCleanAddress(mailsift::TakeLineCandidate(line), list);
        mailsift::AddCleanAddress(line, list);
        pos = end + 1;
    }
    for (const std::string& entry : list) {
        Require(entry.size() >= 2 && entry.size() <= 34);
        Require(mailsift::MatchesMask(entry, "*@*.*"));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string path = kRunFolder / "store";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    mailsift::AddressList whole;
    mailsift::AddressList chunked;
    int64_t wholeCount = 0;
    int64_t chunkedCount = 0;
    const auto fileSize = static_cast<int64_t>(size);
    mailsift::ScanStoreFileRaw(path, fileSize, whole, wholeCount);
    mailsift::ScanStoreFileRaw(path, fileSize, chunked, chunkedCount, {}, 7);
    Require(whole.entries() == chunked.entries() && wholeCount == chunkedCount);
    Require(wholeCount == static_cast<int64_t>(whole.size()));
    CheckBracketed(whole);
    ScanLines(text);
    return 0;
}
