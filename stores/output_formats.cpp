#include "stores/output_formats.h"

#include <fcntl.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <map>
#include <string_view>

#include "config/report_log.h"
#include "config/text_file.h"
#include "platform/date_time.h"
#include "platform/file_system.h"
#include "stores/store_facade.h"
#include "stores/store_log.h"

namespace mailsift {

namespace {

constexpr std::string_view kTab = "\t";
constexpr std::string_view kLineEnd = "\r\n";
// Without it a browser reads the page in its own legacy default and garbles every non-ASCII
// letter; the mark is the one declaration that leaves the page's lines as they are.
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// Text for an HTML page, where the message's own text must stay text: neither markup nor
// script, inside an element or inside a quoted attribute.
std::string EscapeHtml(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string TextSummary(const TMessage& message) {
    std::string text;
    auto line = [&](std::initializer_list<std::string_view> parts) {
        for (std::string_view part : parts) text += part;
        text += kLineEnd;
    };
    line({"From:", kTab, message.FromName, " <", message.FromAddress, ">"});
    line({"To:", kTab, message.ToName, " ", message.ToAddress});
    line({"Subject:", kTab, message.Subject});
    line({"Create:", kTab, FormatDateTime(message.Created)});
    line({"Recive:", kTab, FormatDateTime(message.Received)});
    line({"Size:", kTab, std::to_string(message.Size), " byte"});
    line({"Body:"});
    line({message.Body});
    return text;
}

std::string HtmlPage(const TMessage& message) {
    std::string page(kUtf8ByteOrderMark);
    auto line = [&](std::initializer_list<std::string_view> parts) {
        for (std::string_view part : parts) page += part;
        page += kLineEnd;
    };
    auto link = [&](std::string_view label, const std::string& name, const std::string& address) {
        const std::string escapedAddress = EscapeHtml(address);
        line({"<b>", label, "</b>", kTab, EscapeHtml(name), " <a href=\"mailto:", escapedAddress,
              "\">", escapedAddress, "</a><br>"});
    };
    auto field = [&](std::string_view label, const std::string& value) {
        line({"<b>", label, "</b>", kTab, EscapeHtml(value), "<br>"});
    };
    line({"<html>"});
    line({"<title>", EscapeHtml(message.Subject), "</title>"});
    line({"<body>"});
    link("From:", message.FromName, message.FromAddress);
    link("To:", message.ToName, message.ToAddress);
    field("Subject:", message.Subject);
    field("Create:", FormatDateTime(message.Created));
    field("Recive:", FormatDateTime(message.Received));
    line({"<b>Size:</b>", kTab, std::to_string(message.Size), " byte<br><br><br>"});
    for (const std::string& body : SplitLines(message.Body)) {
        line({"<p>", EscapeHtml(body), "</p>"});
    }
    line({"</body>"});
    line({"</html>"});
    return page;
}

template <typename Render>
int32_t SaveRendered(StoreHandle handle, const TFolder& folder, int32_t index,
                     const std::string& targetFile, Render render) {
    WriteReport(StoreLogLine("GetMessageSaveToTextFile"));
    TMessage message;
    const int32_t result = GetMessageBody(handle, folder, index, message);
    if (result != kResultSuccess) return result;
    WriteWholeFile(targetFile, render(message));
    return kResultSuccess;
}

// What the folder's file system allows in a name: its longest name, and whether every byte but
// "/" and NUL is taken (the native Linux file systems), so that no test file is needed.
struct NameRules {
    size_t maxLength = NAME_MAX;
    bool anyByte = false;
};

NameRules NameRulesOf(const std::string& directory) {
    // An export asks once per file, mostly for the folder it asked about before.
    static std::string lastDirectory;
    static NameRules lastRules;
    if (directory == lastDirectory) return lastRules;
    NameRules rules;
    struct statfs status {};
    if (statfs(directory.c_str(), &status) != 0) return rules;
    if (status.f_namelen > 0) rules.maxLength = static_cast<size_t>(status.f_namelen);
    constexpr unsigned long kExt = 0xEF53, kXfs = 0x58465342, kBtrfs = 0x9123683E,
                            kTmpfs = 0x01021994;
    const auto type = static_cast<unsigned long>(status.f_type);
    rules.anyByte = type == kExt || type == kXfs || type == kBtrfs || type == kTmpfs;
    lastDirectory = directory;
    lastRules = rules;
    return rules;
}

// Whether the folder's file system takes name. Where the rules are not known, the file is
// created when it is not there yet, which is the only test that knows the rules of every file
// system (a FAT stick refuses ":" and "?", which Linux itself allows). Errors that say nothing
// about the name (no permission, a full disk) let the name pass; writing the file later reports
// them.
bool FileSystemTakesName(const std::string& directory, const std::string& name) {
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string_view("/\0", 2)) != std::string::npos) {
        return false;
    }
    const NameRules rules = NameRulesOf(directory);
    if (name.size() > rules.maxLength) return false;
    if (rules.anyByte) return true;
    const std::string path = directory + "/" + name;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        close(fd);
        unlink(path.c_str());
        return true;
    }
    return errno != EINVAL && errno != ENAMETOOLONG && errno != EILSEQ;
}

// The next "NoName n" to try per folder and extension, so that an export which needs many of
// them does not test the taken ones again for every file.
std::map<std::string, unsigned>& NextNoNameNumbers() {
    static std::map<std::string, unsigned> numbers;
    return numbers;
}

std::string FreeNoNamePath(const std::string& directory, std::string extension) {
    // An extension the file system would refuse as well is left off.
    if (extension.size() > 32 || extension.find('\0') != std::string::npos) extension.clear();
    unsigned& next = NextNoNameNumbers()[directory + "/" + extension];
    for (unsigned n = next == 0 ? 1 : next;; ++n) {
        const std::string candidate = directory + "/NoName " + std::to_string(n) + extension;
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::symlink_status(candidate, error))) {
            next = n;
            return candidate;
        }
    }
}

}  // namespace

int32_t SaveMessageToTextFile(StoreHandle handle, const TFolder& folder, int32_t index,
                              const std::string& targetFile) {
    return SaveRendered(handle, folder, index, targetFile, TextSummary);
}

int32_t SaveMessageToHTMLFile(StoreHandle handle, const TFolder& folder, int32_t index,
                              const std::string& targetFile) {
    return SaveRendered(handle, folder, index, targetFile, HtmlPage);
}

std::string CollapseDoubleSeparators(const std::string& path) {
    std::string collapsed;
    collapsed.reserve(path.size());
    for (char c : path) {
        if (c == '/' && !collapsed.empty() && collapsed.back() == '/') continue;
        collapsed += c;
    }
    return collapsed;
}

std::string MakeSafeFileName(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    ForceDirectories(directory);
    if (FileSystemTakesName(directory, name)) return path;
    return FreeNoNamePath(directory, std::filesystem::path(name).extension().string());
}

}  // namespace mailsift
