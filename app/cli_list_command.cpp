#include "app/cli_commands.h"
#include "config/settings.h"
#include "stores/store_facade.h"

namespace mailsift {

int RunListCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1) {
        err << "usage: mailsift-cli list STORE\n";
        return 2;
    }
    ReadStartupSettings();
    TFolderList folders;
    const StoreHandle result = OpenMessageStore(args[0], folders);
    out << "result\t" << result << '\n';
    if (result <= kMaxResultCode) {
        err << "mailsift-cli: cannot open " << args[0] << " (result " << result << ")\n";
        return result <= 255 ? static_cast<int>(result) : 1;
    }
    for (const TFolder* folder : folders) {
        out << folder->Id << '\t' << folder->ParentId << '\t' << folder->MessageCount << '\t'
            << folder->Size << '\t' << folder->Path << '\n';
    }
    CloseMessageStore(result);
    return 0;
}

}  // namespace mailsift
