#include <string>
#include <string_view>

#include "app/cli_commands.h"
#include "config/settings.h"

namespace mailsift {

namespace {

// Every field of the settings record, named as its key in main.ini and written as stored there.
void PrintSettings(std::ostream& out) {
    for (const auto& [name, value] : ListSettings(Settings)) out << name << '\t' << value << '\n';
}

// A key holding a separator or a line break would be read back as another key, or split the
// file's one-line-per-key layout.
bool IsValidKey(std::string_view key) {
    return !key.empty() && key.find_first_of("\t =:\r\n") == std::string_view::npos;
}

}  // namespace

int RunConfigCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        // A broken language choice must not hide the rest: report it and show what loaded.
        int status = 0;
        try {
            ReadStartupSettings();
        } catch (const StartupError& error) {
            err << "mailsift-cli: " << error.what() << '\n';
            status = 1;
        }
        LoadSettings();
        PrintSettings(out);
        return status;
    }
    if ((args[0] == "get" || args[0] == "set") && args.size() >= 2 && !IsValidKey(args[1])) {
        err << "mailsift-cli: '" << args[1]
            << "' is no key: a key is not empty and holds no blank, TAB, '=', ':' or line break\n";
        return 2;
    }
    if (args[0] == "get" && args.size() == 2) {
        out << ReadSetting(args[1]) << '\n';
        return 0;
    }
    if (args[0] == "set" && args.size() == 3) {
        WriteSetting(args[1], args[2]);
        return 0;
    }
    err << "usage: mailsift-cli config [get KEY | set KEY VALUE]\n";
    return 2;
}

}  // namespace mailsift
