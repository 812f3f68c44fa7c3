#include "stores/output_formats.h"

#include <cerrno>
#include <filesystem>
#include <map>
#include <string_view>
#include <system_error>

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

// Writes the rendering of the message with write; the code of the body read when it failed.
template <typename Render, typename Write>
int32_t SaveRendered(StoreHandle handle, const TFolder& folder, int32_t index, Render render,
                     Write write) {
    if (ReportHeard()) WriteReport(StoreLogLine("GetMessageSaveToTextFile"));
    TMessage message;
    const int32_t result = GetMessageBody(handle, folder, index, message);
    if (result != kResultSuccess) return result;
    return write(render(message));
}

template <typename Render>
int32_t SaveRendered(StoreHandle handle, const TFolder& folder, int32_t index,
                     const std::string& targetFile, Render render) {
    return SaveRendered(handle, folder, index, render, [&targetFile](const std::string& text) {
        WriteWholeFile(targetFile, text);
        return kResultSuccess;
    });
}

template <typename Render>
int32_t SaveRendered(StoreHandle handle, const TFolder& folder, int32_t index, NewFile& target,
                     Render render) {
    return SaveRendered(handle, folder, index, render, [&target](const std::string& text) {
        return target.Write(text) ? kResultSuccess : kResultWriteFailed;
    });
}

// The next "NoName n" to try per folder and extension, so that an export which needs many of
// them does not try the taken ones again for every file.
std::map<std::string, unsigned>& NextNoNameNumbers() {
    static std::map<std::string, unsigned> numbers;
    return numbers;
}

// Errors that say the file system will not take the name (a character a FAT stick refuses,
// a name too long), as opposed to a name that is taken or a folder that cannot be written.
bool NameRefused(int error) {
    return error == EINVAL || error == ENAMETOOLONG || error == EILSEQ;
}

std::unique_ptr<NewFile> CreateNoNameFile(const std::string& directory, std::string extension,
                                          int& error) {
    // An extension the file system would refuse as well is left off.
    if (extension.size() > 32 || extension.find('\0') != std::string::npos) extension.clear();
    unsigned& next = NextNoNameNumbers()[directory + "/" + extension];
    for (unsigned n = next == 0 ? 1 : next;; ++n) {
        auto file = NewFile::Create(directory + "/NoName " + std::to_string(n) + extension, error);
        if (file) {
            next = n;
            return file;
        }
        if (NameRefused(error) && !extension.empty()) return CreateNoNameFile(directory, "", error);
        if (error != EEXIST) return nullptr;
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

int32_t SaveMessageToTextFile(StoreHandle handle, const TFolder& folder, int32_t index,
                              NewFile& target) {
    return SaveRendered(handle, folder, index, target, TextSummary);
}

int32_t SaveMessageToHTMLFile(StoreHandle handle, const TFolder& folder, int32_t index,
                              NewFile& target) {
    return SaveRendered(handle, folder, index, target, HtmlPage);
}

std::unique_ptr<NewFile> CreateSafeFile(const std::string& path, int& error) {
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // The creation is the test of the name: only the file system knows what it takes. Names
    // that would not stay one component in the folder are refused here.
    const bool plain = !name.empty() && name != "." && name != ".." &&
                       name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
    std::unique_ptr<NewFile> file;
    error = EINVAL;
    if (plain) {
        file = NewFile::Create(directory + "/" + name, error);
        if (!file && error == ENOENT && ForceDirectories(directory)) {
            file = NewFile::Create(directory + "/" + name, error);
        }
        if (file || !NameRefused(error)) return file;
    }
    ForceDirectories(directory);
    return CreateNoNameFile(directory, std::filesystem::path(name).extension().string(), error);
}

std::unique_ptr<NewFile> CreateUnusedFile(const std::string& path) {
    int error = 0;
    if (std::unique_ptr<NewFile> file = CreateSafeFile(path, error)) return file;
    const std::filesystem::path name(path);
    const std::string stem = (name.parent_path() / name.stem()).string();
    const std::string extension = name.extension().string();
    for (int n = 2; error == EEXIST; ++n) {
        std::unique_ptr<NewFile> file =
            CreateSafeFile(stem + " (" + std::to_string(n) + ")" + extension, error);
        if (file) return file;
    }
    throw std::system_error(error, std::generic_category(), "Cannot create file " + path);
}

}  // namespace mailsift
