#include "app/cli_commands.h"
#include "config/settings.h"
#include "platform/date_time.h"
#include "stores/store_facade.h"

namespace mailsift {

namespace {

// Header fields come from mail data: a TAB or line end inside one would shift or split the
// record, so each becomes a blank.
std::string Field(std::string text) {
    for (char& c : text) {
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    }
    return text;
}

}  // namespace

int RunHeadersCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1) {
        err << "usage: mailsift-cli headers STORE\n";
        return 2;
    }
    ReadStartupSettings();
    TFolderList folders;
    const StoreHandle handle = OpenMessageStore(args[0], folders);
    if (handle <= kMaxResultCode) {
        err << "mailsift-cli: cannot open " << args[0] << " (result " << handle << ")\n";
        return handle <= 255 ? static_cast<int>(handle) : 1;
    }
    int failures = 0;
    for (const TFolder* folder : folders) {
        for (int32_t index = 0; index < folder->MessageCount; ++index) {
            TMessage message;
            const int32_t result = GetMessageHeaders(handle, *folder, index, message);
            if (result != kResultSuccess) {
                err << "mailsift-cli: " << folder->Path << " message " << index << ": result "
                    << result << '\n';
                ++failures;
                continue;
            }
            out << Field(folder->Path) << '\t' << index << '\t' << Field(message.FromName) << '\t'
                << Field(message.FromAddress) << '\t' << Field(message.Subject) << '\t'
                << FormatDate(message.Received) << ' ' << FormatShortTime(message.Received) << '\t'
                << message.Size << '\t' << (message.HasAttachments ? 1 : 0) << '\n';
        }
    }
    CloseMessageStore(handle);
    return failures == 0 ? 0 : 1;
}

}  // namespace mailsift
