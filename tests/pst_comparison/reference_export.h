#pragma once
// What other readers of personal folder files make of one, and what mapi-dump makes of it, in
// one shape, so that the tests can hold them side by side.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mailsift::test {

// A field a reader does not give is nullopt; the comparisons pass over it.
struct StoredAttachment {
    // The long file name, else the short one, as the provider lists it; nullopt when the
    // reader does not say (pffexport knows only the long name, readpst names no attached
    // message)
    std::optional<std::string> name;
    // nullopt for an attached message: the readers unpack it instead of writing bytes
    std::optional<std::string> bytes;
};

struct StoredMessage {
    std::string subject;
    std::optional<std::string> senderName;
    std::optional<std::string> senderAddress;
    std::optional<std::string> submitTime;  // "dd.mm.yyyy hh.mm.ss" in UTC, "" when absent
    std::optional<uint64_t> size;
    std::optional<std::string> body;  // the plain text as UTF-8, "" when there is none
    std::optional<std::vector<StoredAttachment>> attachments;
};

struct StoredFolder {
    std::vector<std::string> path;  // folder names below the top folder; empty for the top
    uint32_t itemCount = 0;
    std::vector<StoredMessage> messages;
};

struct StoredTree {
    std::optional<std::string> storeName;
    std::vector<StoredFolder> folders;  // the top folder first, every folder before its children
};

// An Internet mail message (.eml) as the readers see it: subject, sender, the first plain text
// part as the body, and every attachment (an attached message without name or bytes).
StoredMessage ReadEmlMessage(std::string_view text);

// True when the shell finds the program on PATH.
bool ProgramInstalled(const std::string& name);

// The text as one single-quoted shell word.
std::string ShellQuote(std::string_view text);

// Runs pffexport over the file (allocated items only, every body format, with its log) inside
// workDir and reads the export. The top folder is the root folder of the file, so the search
// folders and the top of the personal folders are children of it. itemCount counts the items
// pffexport exported and those it skipped; messages holds the exported ones.
StoredTree ExportWithPffexport(const std::string& pstPath, const std::string& workDir);

// Runs readpst over the file (deleted items included, messages as .eml files with UTF-8
// bodies, no RTF body attachments) inside workDir and reads the output. The top folder is the
// top of the personal folders, named by the store's display name. readpst writes no folder it
// wrote nothing into, and no file for items it cannot convert (distribution lists, for one), so
// its folders and its itemCount are the part of the store it converted.
StoredTree ExportWithReadpst(const std::string& pstPath, const std::string& workDir);

// Runs mapi-dump with --extract inside workDir, with TZ=UTC so that its local times are UTC,
// and reads its output. The top folder is the root folder, named by the store's display name.
StoredTree ReadMapiDump(const std::string& program, const std::string& pstPath,
                        const std::string& workDir);

}  // namespace mailsift::test
