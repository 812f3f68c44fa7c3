#include "tests/pst_comparison/reference_export.h"

#include <sys/wait.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "mime/address_headers.h"
#include "mime/base64.h"
#include "mime/encoded_words.h"
#include "mime/header_list.h"
#include "mime/quoted_printable.h"
#include "platform/text_case.h"
#include "support/file_helpers.h"

namespace mailsift::test {

namespace fs = std::filesystem;

namespace {

// The lines of text without their line ends (LF or CR LF).
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::string_view TrimmedBlanks(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::optional<uint64_t> ParseNumber(std::string_view text) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::string AsciiLowerCased(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

// Runs a shell command with its output sent to logPath; throws with that output when the
// command does not end with exit code 0.
void RunOrThrow(const std::string& command, const std::string& logPath) {
    const int status = std::system((command + " >" + ShellQuote(logPath) + " 2>&1").c_str());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error(command + " failed: " + ReadFileBytes(logPath));
    }
}

// The entries of a folder sorted by name, so that the readers do not depend on the order in
// which the file system lists them.
std::vector<fs::directory_entry> SortedEntries(const fs::path& dir) {
    std::vector<fs::directory_entry> entries(fs::directory_iterator(dir), {});
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.path() < b.path(); });
    return entries;
}

// ---- pffexport ----

constexpr std::string_view kCreatedDirectory = "Created directory: ";
constexpr std::string_view kProcessing = "Processing ";
constexpr std::string_view kInPath = " in path: ";
constexpr std::string_view kFolderName = "Saving folder with name: ";
constexpr std::string_view kAttachmentName = "Saving attachment with filename: ";
constexpr std::string_view kSkipped = "Skipped export of item: ";

// "A as: B" split at the last " as: ".
std::pair<std::string, std::string> SplitSavedAs(std::string_view text) {
    const size_t as = text.rfind(" as: ");
    if (as == std::string_view::npos) return {std::string(text), std::string(text)};
    return {std::string(text.substr(0, as)), std::string(text.substr(as + 5))};
}

// pffexport writes times as "Mar 15, 2010 17:12:05.000000000 UTC"; anything else is kept as
// it stands, so that a comparison shows it.
std::string SubmitTimeFromPffexport(const std::string& text) {
    static constexpr std::string_view kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
    char month[4] = {};
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    if (std::sscanf(text.c_str(), "%3s %d, %d %d:%d:%d", month, &day, &year, &hour, &minute,
                    &second) != 6) {
        return text;
    }
    const size_t monthAt = kMonths.find(month);
    if (std::string_view(month).size() != 3 || monthAt == std::string_view::npos ||
        monthAt % 3 != 0) {
        return text;
    }
    char formatted[32];
    std::snprintf(formatted, sizeof formatted, "%02d.%02d.%04d %02d.%02d.%02d", day,
                  static_cast<int>(monthAt / 3 + 1), year, hour, minute, second);
    return formatted;
}

// The "Message:" block that pffexport writes at the top of OutlookHeaders.txt for e-mail and
// of Contact.txt, Appointment.txt and the like for other items: "Name:<TABs>value" lines.
std::map<std::string, std::string> PffexportMessageBlock(const fs::path& itemDir) {
    for (const auto& entry : SortedEntries(itemDir)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".txt" ||
            entry.path().filename() == "Message.txt") {
            continue;
        }
        const std::string text = ReadFileBytes(entry.path().string());
        const std::vector<std::string_view> lines = Lines(text);
        if (lines.empty() || lines.front() != "Message:") continue;
        std::map<std::string, std::string> values;
        for (size_t i = 1; i < lines.size() && !lines[i].empty(); ++i) {
            const size_t colon = lines[i].find(':');
            if (colon == std::string_view::npos) continue;
            values.emplace(lines[i].substr(0, colon), TrimmedBlanks(lines[i].substr(colon + 1)));
        }
        return values;
    }
    throw std::runtime_error("pffexport wrote no message properties into " + itemDir.string());
}

// pffexport names an attachment file "<number>_<long file name>" (made safe for the file
// system; the log keeps the name as stored) and one without a long file name
// "Attachment<5 digits>", even when the attachment has a short file name (PR_ATTACH_FILENAME),
// which then names it in the provider's list; so there the name is unknown. An attached item
// becomes a folder of that name holding the item.
std::vector<StoredAttachment> PffexportAttachments(
    const fs::path& itemDir, const std::multimap<std::string, std::string>& originalNames) {
    std::vector<std::pair<uint64_t, StoredAttachment>> numbered;
    const fs::path dir = itemDir / "Attachments";
    if (!fs::is_directory(dir)) return {};
    for (const auto& entry : SortedEntries(dir)) {
        const std::string file = entry.path().filename().string();
        std::optional<uint64_t> number;
        std::optional<std::string> name;
        if (file.size() == 15 && file.starts_with("Attachment")) {
            number = ParseNumber(std::string_view(file).substr(10));
        }
        if (!number) {
            const size_t underscore = file.find('_');
            if (underscore != std::string::npos) {
                number = ParseNumber(std::string_view(file).substr(0, underscore));
            }
            if (!number) throw std::runtime_error("unexpected attachment file " + file);
            name = file.substr(underscore + 1);
            const auto [first, last] = originalNames.equal_range(file);
            if (first != last && std::all_of(first, last, [first](const auto& other) {
                    return other.second == first->second;
                })) {
                name = first->second;
            }
        }
        StoredAttachment attachment{name, std::nullopt};
        if (!entry.is_directory()) attachment.bytes = ReadFileBytes(entry.path().string());
        numbered.emplace_back(*number, std::move(attachment));
    }
    std::stable_sort(numbered.begin(), numbered.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<StoredAttachment> attachments;
    for (auto& [number, attachment] : numbered) attachments.push_back(std::move(attachment));
    return attachments;
}

StoredMessage ReadPffexportItem(const fs::path& itemDir, bool isEmail,
                                const std::multimap<std::string, std::string>& attachmentNames) {
    const std::map<std::string, std::string> block = PffexportMessageBlock(itemDir);
    const auto value = [&block](const std::string& name) {
        const auto found = block.find(name);
        return found == block.end() ? std::string() : found->second;
    };
    StoredMessage message;
    message.subject = value("Subject");
    message.senderName = value("Sender name");
    message.senderAddress = value("Sender email address");
    const std::string submitted = value("Client submit time");
    message.submitTime = submitted.empty() ? submitted : SubmitTimeFromPffexport(submitted);
    message.size = ParseNumber(value("Size"));
    // pffexport writes Message.txt for every e-mail with a plain text body. For appointments it
    // leaves the body out even when the item holds one (PR_BODY), where readpst writes it, so
    // for other items its absence says nothing.
    const fs::path bodyFile = itemDir / "Message.txt";
    if (fs::is_regular_file(bodyFile)) {
        message.body = ReadFileBytes(bodyFile.string());
    } else if (isEmail) {
        message.body = std::string();
    }
    message.attachments = PffexportAttachments(itemDir, attachmentNames);
    return message;
}

// pffexport's log is the only place that says which item belongs to which folder, and which
// items it skipped (free/busy data, for one).
class PffexportLogReader {
  public:
    StoredTree Read(std::string_view log) {
        for (std::string_view line : Lines(log)) ReadLine(line);
        if (tree_.folders.empty()) throw std::runtime_error("pffexport log names no export");
        PlaceSkippedRun();
        for (const Item& item : items_) {
            tree_.folders[item.folder].messages.push_back(
                ReadPffexportItem(item.dir, item.isEmail, attachmentNames_));
        }
        return std::move(tree_);
    }

  private:
    enum class Awaiting { kRoot, kNothing, kFolderDir, kItemDir };
    struct Item {
        size_t folder;
        fs::path dir;
        bool isEmail;
    };

    void ReadLine(std::string_view line) {
        if (line.starts_with(kCreatedDirectory) && line.ends_with(".")) {
            Created(std::string(
                line.substr(kCreatedDirectory.size(), line.size() - kCreatedDirectory.size() - 1)));
        } else if (line.starts_with(kProcessing) && line.find(kInPath) != std::string_view::npos) {
            Processing(line.substr(kProcessing.size()));
        } else if (line.starts_with(kFolderName)) {
            pendingName_ = SplitSavedAs(line.substr(kFolderName.size())).first;
        } else if (line.starts_with(kAttachmentName)) {
            auto [original, saved] = SplitSavedAs(line.substr(kAttachmentName.size()));
            attachmentNames_.emplace(std::move(saved), std::move(original));
        } else if (line.starts_with(kSkipped)) {
            std::string_view rest = line.substr(kSkipped.size());
            const auto index = ParseNumber(rest.substr(0, rest.find(' ')));
            if (!index || *index == 0) {
                throw std::runtime_error("pffexport log: " + std::string(line));
            }
            Skipped(*index - 1);
        }
    }

    void Created(std::string dir) {
        if (awaiting_ == Awaiting::kRoot) {
            tree_.folders.push_back(StoredFolder{});
            folderByDir_[dir] = 0;
            lastFolder_ = 0;
        } else if (awaiting_ == Awaiting::kFolderDir) {
            const auto parent = folderByDir_.find(pendingParent_);
            if (parent == folderByDir_.end()) {
                throw std::runtime_error("pffexport log: folder outside the export: " + dir);
            }
            StoredFolder folder{tree_.folders[parent->second].path, 0, {}};
            folder.path.push_back(pendingName_);
            tree_.folders.push_back(std::move(folder));
            lastFolder_ = tree_.folders.size() - 1;
            folderByDir_[dir] = lastFolder_;
        } else if (awaiting_ == Awaiting::kItemDir) {
            items_.push_back(Item{pendingItemFolder_, dir, pendingIsEmail_});
        }
        awaiting_ = Awaiting::kNothing;
    }

    // "<kind>: <5 digits> (identifier: <n>) in path: <folder>/"
    void Processing(std::string_view rest) {
        const size_t colon = rest.find(": ");
        const std::string_view kind = rest.substr(0, colon);
        const std::optional<uint64_t> index =
            colon == std::string_view::npos
                ? std::nullopt
                : ParseNumber(rest.substr(colon + 2, rest.find(' ', colon + 2) - colon - 2));
        std::string_view dir = rest.substr(rest.find(kInPath) + kInPath.size());
        if (dir.ends_with('/')) dir.remove_suffix(1);
        if (!index) throw std::runtime_error("pffexport log: Processing " + std::string(rest));
        if (kind == "folder") {
            PlaceSkippedRun();
            pendingParent_ = std::string(dir);
            pendingName_.clear();
            awaiting_ = Awaiting::kFolderDir;
            return;
        }
        const auto folder = folderByDir_.find(std::string(dir));
        if (folder == folderByDir_.end()) {
            // An item attached to another item: it is read as that item's attachment.
            awaiting_ = Awaiting::kNothing;
            return;
        }
        Exported(folder->second, *index);
        pendingItemFolder_ = folder->second;
        pendingIsEmail_ = kind == "email";
        awaiting_ = Awaiting::kItemDir;
    }

    // pffexport lists a folder's items after its subfolders and names no folder when it skips
    // an item. A run of items numbered from the first belongs to one folder: to the folder of
    // an exported item in the run, or, when it skipped them all, to the folder created last,
    // which is right for folders without subfolders, where such data lives.
    void Exported(size_t folder, uint64_t index) {
        if (run_.unplaced > 0 && index != run_.next) PlaceSkippedRun();
        tree_.folders[folder].itemCount += run_.unplaced + 1;
        run_ = Run{folder, index + 1, 0};
    }

    void Skipped(uint64_t index) {
        if (index == run_.next && (run_.folder || run_.unplaced > 0)) {
            if (run_.folder) {
                ++tree_.folders[*run_.folder].itemCount;
            } else {
                ++run_.unplaced;
            }
            ++run_.next;
            return;
        }
        PlaceSkippedRun();
        run_ = Run{std::nullopt, index + 1, 1};
    }

    void PlaceSkippedRun() {
        if (run_.unplaced > 0) tree_.folders.at(lastFolder_).itemCount += run_.unplaced;
        run_ = Run{};
    }

    struct Run {
        std::optional<size_t> folder;
        uint64_t next = 0;
        uint32_t unplaced = 0;
    };

    StoredTree tree_;
    std::map<std::string, size_t> folderByDir_;
    std::multimap<std::string, std::string> attachmentNames_;
    std::vector<Item> items_;
    Awaiting awaiting_ = Awaiting::kRoot;
    std::string pendingParent_;
    std::string pendingName_;
    size_t pendingItemFolder_ = 0;
    bool pendingIsEmail_ = false;
    size_t lastFolder_ = 0;
    Run run_;
};

// ---- readpst ----

struct MimeEntity {
    TIdHeaderList headers;
    std::string_view body;
};

MimeEntity SplitEntity(std::string_view text) {
    MimeEntity entity;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) break;
        entity.headers.Add(std::string(line));
    }
    entity.body = text;
    return entity;
}

// The parts between "--boundary" lines, each without the line break before the next
// delimiter, which belongs to the delimiter.
std::vector<std::string_view> MultipartParts(std::string_view body, std::string_view boundary) {
    const std::string delimiter = "--" + std::string(boundary);
    std::vector<std::string_view> parts;
    std::optional<size_t> partStart;
    size_t pos = 0;
    while (pos < body.size()) {
        const size_t end = std::min(body.find('\n', pos), body.size());
        const size_t next = std::min(end + 1, body.size());
        std::string_view line = TrimmedBlanks(body.substr(pos, end - pos));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.starts_with(delimiter) &&
            (line.size() == delimiter.size() || line.substr(delimiter.size()) == "--")) {
            if (partStart) {
                size_t partEnd = pos;
                if (partEnd > *partStart && body[partEnd - 1] == '\n') --partEnd;
                if (partEnd > *partStart && body[partEnd - 1] == '\r') --partEnd;
                parts.push_back(body.substr(*partStart, partEnd - *partStart));
            }
            if (line.size() != delimiter.size()) break;
            partStart = next;
        }
        pos = next;
    }
    return parts;
}

std::string DecodedContent(const MimeEntity& entity) {
    const std::string encoding = AsciiLowerCased(entity.headers.Value("Content-Transfer-Encoding"));
    if (encoding == "base64") return DecodeBase64(entity.body);
    if (encoding != "quoted-printable") return std::string(entity.body);
    std::string decoded;
    for (std::string_view line : Lines(entity.body)) DecodeQuotedPrintableLine(line, decoded);
    return decoded;
}

// readpst nests its parts a few levels deep; anything deeper is damage.
constexpr int kMaxMimeDepth = 16;

void ReadMimeEntity(const MimeEntity& entity, int depth, StoredMessage& message) {
    if (depth > kMaxMimeDepth) throw std::runtime_error("readpst output nests too deep");
    const std::string contentType = entity.headers.Value("Content-Type");
    const std::string media =
        AsciiLowerCased(contentType.empty() ? "text/plain" : MediaType(contentType));
    if (media.starts_with("multipart/")) {
        for (std::string_view part :
             MultipartParts(entity.body, HeaderParameter(contentType, "boundary"))) {
            ReadMimeEntity(SplitEntity(part), depth + 1, message);
        }
        return;
    }
    const std::string disposition = entity.headers.Value("Content-Disposition");
    std::string name = HeaderParameter(disposition, "filename");
    if (name.empty()) name = HeaderParameter(contentType, "name");
    name = DecodeHeader(name);
    if (media == "message/rfc822") {
        message.attachments->push_back(StoredAttachment{std::nullopt, std::nullopt});
    } else if (AsciiLowerCased(disposition).starts_with("attachment") || !name.empty()) {
        message.attachments->push_back(StoredAttachment{name, DecodedContent(entity)});
    } else if (media == "text/plain" && message.body->empty()) {
        message.body =
            ConvertToUtf8(DecodedContent(entity), HeaderParameter(contentType, "charset"));
    }
}

}  // namespace

// readpst takes From and Subject from the message's internet headers when it has them. The
// stored sender address, when it is no internet address (an Exchange one), it adds as
// X-libpst-forensic-sender.
StoredMessage ReadEmlMessage(std::string_view text) {
    const MimeEntity entity = SplitEntity(text);
    StoredMessage message;
    message.subject = DecodeHeader(entity.headers.Value("Subject"));
    const TIdEmailAddressItem from = ParseAddress(entity.headers.Value("From"));
    message.senderName = from.Name;
    const std::string storedAddress = entity.headers.Value("X-libpst-forensic-sender");
    message.senderAddress = storedAddress.empty() ? from.Address : storedAddress;
    message.body = std::string();
    message.attachments.emplace();
    ReadMimeEntity(entity, 0, message);
    return message;
}

namespace {

std::string UnescapedCalendarText(std::string_view text) {
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            result += text[i];
            continue;
        }
        const char escaped = text[++i];
        result += (escaped == 'n' || escaped == 'N') ? '\n' : escaped;
    }
    return result;
}

// An appointment, as readpst writes it: the summary is the subject, the description the body.
// The exceptions of a recurring appointment, which the file keeps as attached appointments,
// are not written, so the attachments stay unknown.
StoredMessage ReadReadpstCalendar(std::string_view text) {
    std::string unfolded;
    for (std::string_view line : Lines(text)) {
        if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            unfolded += line.substr(1);
        } else {
            if (!unfolded.empty()) unfolded += '\n';
            unfolded += line;
        }
    }
    const auto property = [&unfolded](std::string_view name) -> std::optional<std::string> {
        for (std::string_view line : Lines(unfolded)) {
            const size_t colon = line.find(':');
            if (colon == std::string_view::npos) continue;
            const std::string_view key = line.substr(0, std::min(colon, line.find(';')));
            if (EqualsIgnoringCase(key, name)) return UnescapedCalendarText(line.substr(colon + 1));
        }
        return std::nullopt;
    };
    StoredMessage message;
    message.subject = property("SUMMARY").value_or("");
    message.body = property("DESCRIPTION").value_or("");
    return message;
}

void ReadReadpstFolder(const fs::path& dir, const std::vector<std::string>& path,
                       StoredTree& tree) {
    const size_t index = tree.folders.size();
    tree.folders.push_back(StoredFolder{path, 0, {}});
    std::vector<std::pair<uint64_t, fs::path>> items;
    std::vector<fs::path> subfolders;
    for (const auto& entry : SortedEntries(dir)) {
        if (entry.is_directory()) {
            subfolders.push_back(entry.path());
            continue;
        }
        const auto number = ParseNumber(entry.path().stem().string());
        if (!number) throw std::runtime_error("unexpected readpst file " + entry.path().string());
        items.emplace_back(*number, entry.path());
    }
    std::sort(items.begin(), items.end());
    for (const auto& [number, file] : items) {
        ++tree.folders[index].itemCount;
        if (file.extension() == ".eml") {
            tree.folders[index].messages.push_back(ReadEmlMessage(ReadFileBytes(file.string())));
        } else if (file.extension() == ".ics") {
            tree.folders[index].messages.push_back(
                ReadReadpstCalendar(ReadFileBytes(file.string())));
        }
    }
    for (const fs::path& subfolder : subfolders) {
        std::vector<std::string> subpath = path;
        subpath.push_back(subfolder.filename().string());
        ReadReadpstFolder(subfolder, subpath, tree);
    }
}

// ---- mapi-dump ----

std::vector<std::string> SplitFields(std::string_view line, char separator) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        const size_t end = line.find(separator, start);
        fields.emplace_back(line.substr(start, end - start));
        if (end == std::string_view::npos) return fields;
        start = end + 1;
    }
}

uint64_t DumpNumber(const std::string& text, std::string_view line) {
    const auto number = ParseNumber(text);
    if (!number) throw std::runtime_error("mapi-dump: bad number in: " + std::string(line));
    return *number;
}

// Attachment files are "<row>-<safe name>"; only the row ties them to the names listed.
std::map<uint64_t, std::string> DumpAttachmentFiles(const fs::path& dir) {
    std::map<uint64_t, std::string> files;
    if (!fs::is_directory(dir)) return files;
    for (const auto& entry : SortedEntries(dir)) {
        const std::string file = entry.path().filename().string();
        const auto row = ParseNumber(std::string_view(file).substr(0, file.find('-')));
        if (!row) throw std::runtime_error("unexpected mapi-dump attachment file " + file);
        files[*row] = ReadFileBytes(entry.path().string());
    }
    return files;
}

}  // namespace

bool ProgramInstalled(const std::string& name) {
    return std::system(("command -v " + ShellQuote(name) + " >/dev/null 2>&1").c_str()) == 0;
}

std::string ShellQuote(std::string_view text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

StoredTree ExportWithPffexport(const std::string& pstPath, const std::string& workDir) {
    // The allocated items only (-m items), as a walk of the folder tree sees them; every body
    // format (-f all), so that Message.txt is exactly the plain text body when there is one.
    const std::string log = workDir + "/pffexport.log";
    RunOrThrow("pffexport -q -m items -f all -l " + ShellQuote(log) + " -t " +
                   ShellQuote(workDir + "/pffexport") + " " + ShellQuote(pstPath),
               workDir + "/pffexport.out");
    return PffexportLogReader().Read(ReadFileBytes(log));
}

StoredTree ExportWithReadpst(const std::string& pstPath, const std::string& workDir) {
    // -D: deleted items too, or the Deleted Items folder is left out; -e: one .eml file per
    // message (attachments inside, in their order), .ics and .vcf for appointments and
    // contacts; -b: no RTF body as an extra attachment; -8: plain text bodies in UTF-8; -j 0:
    // one process, as its parallel jobs, on a busy machine, now and then leave messages of a
    // large folder unwritten.
    const fs::path out = fs::path(workDir) / "readpst";
    fs::create_directories(out);
    RunOrThrow(
        "readpst -q -j 0 -D -e -b -8 -o " + ShellQuote(out.string()) + " " + ShellQuote(pstPath),
        workDir + "/readpst.out");
    StoredTree tree;
    const std::vector<fs::directory_entry> tops = SortedEntries(out);
    if (tops.empty()) return tree;
    if (tops.size() != 1 || !tops.front().is_directory()) {
        throw std::runtime_error("readpst wrote more than one top folder into " + out.string());
    }
    tree.storeName = tops.front().path().filename().string();
    ReadReadpstFolder(tops.front().path(), {}, tree);
    return tree;
}

StoredTree ReadMapiDump(const std::string& program, const std::string& pstPath,
                        const std::string& workDir) {
    const fs::path extract = fs::path(workDir) / "mapi-dump";
    fs::create_directories(extract);
    const std::string output = workDir + "/mapi-dump.txt";
    const std::string errors = workDir + "/mapi-dump.err";
    const int status = std::system(("TZ=UTC " + ShellQuote(program) + " --extract " +
                                    ShellQuote(extract.string()) + " " + ShellQuote(pstPath) +
                                    " >" + ShellQuote(output) + " 2>" + ShellQuote(errors))
                                       .c_str());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("mapi-dump failed: " + ReadFileBytes(errors));
    }
    const std::string text = ReadFileBytes(output);
    StoredTree tree;
    std::vector<std::string> names;  // the folder names down to the last folder read
    for (std::string_view line : Lines(text)) {
        const std::vector<std::string> fields = SplitFields(line, '\t');
        if (fields.size() == 4 && fields[0] == "F") {
            const uint64_t depth = DumpNumber(fields[1], line);
            if (depth > names.size() || (depth == 0) != tree.folders.empty()) {
                throw std::runtime_error("mapi-dump: folder out of place: " + std::string(line));
            }
            names.resize(depth);
            names.push_back(fields[2]);
            if (depth == 0) tree.storeName = fields[2];
            tree.folders.push_back(
                StoredFolder{std::vector<std::string>(names.begin() + 1, names.end()),
                             static_cast<uint32_t>(DumpNumber(fields[3], line)),
                             {}});
        } else if (fields.size() == 8 && fields[0] == "M" && !tree.folders.empty()) {
            StoredMessage message{
                fields[1],     fields[2], fields[3], fields[4], DumpNumber(fields[5], line),
                std::string(), {}};
            const fs::path messageDir = extract / fields[7];
            const fs::path body = messageDir / "body.txt";
            if (fs::is_regular_file(body)) message.body = ReadFileBytes(body.string());
            const std::map<uint64_t, std::string> files =
                DumpAttachmentFiles(messageDir / "attachments");
            message.attachments.emplace();
            if (!fields[6].empty()) {
                for (const std::string& name : SplitFields(fields[6], '|')) {
                    const auto file = files.find(message.attachments->size());
                    message.attachments->push_back(StoredAttachment{
                        name, file == files.end() ? std::nullopt
                                                  : std::optional<std::string>(file->second)});
                }
            }
            tree.folders.back().messages.push_back(std::move(message));
        } else if (!line.empty()) {
            throw std::runtime_error("mapi-dump: unexpected line: " + std::string(line));
        }
    }
    return tree;
}

}  // namespace mailsift::test
