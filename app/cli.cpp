#include "app/cli.h"

#include <exception>
#include <string_view>

#include "app/cli_commands.h"
#include "outlook/outlook_discovery.h"

namespace mailsift {

namespace {

constexpr std::string_view kUsage =
    R"(usage: mailsift-cli [--help] [--version] COMMAND [ARGS]

Salvages mail from the local stores of MS Outlook (.pst), Outlook Express (.dbx),
Thunderbird and Eudora (mailbox files).

commands:
  config                 print every setting, one Name<TAB>value per line
  config get KEY         print the value of KEY in main.ini ("%KEY" when it is not set;
                         a missing key is added to the file with an empty value)
  config set KEY VALUE   store VALUE under KEY in main.ini
  list STORE             open STORE (a .pst or .dbx file, a mailbox file or folder) and print
                         "result<TAB>N", then one line per folder:
                         Id<TAB>ParentId<TAB>MessageCount<TAB>Size<TAB>Path
  headers STORE          open STORE and print one line per message of every folder:
                         Path<TAB>index<TAB>FromName<TAB>FromAddress<TAB>Subject<TAB>
                         Received (dd.mm.yyyy hh.mm.ss)<TAB>Size<TAB>HasAttachments (0/1)
  show FILE [--json]     read FILE as one Internet mail message (.eml) and print its header
                         fields, texts and attachments (size and SHA-256 of each); --json
                         prints one UTF-8 JSON object
  export STORE... [--to DIR] [--format eml|msg|txt|html|attach] [--zip|--no-zip]
         [--date-folder|--no-date-folder] [--client NAME]
                         export every message of each STORE into the storage folder (DIR, or
                         the StoragePath setting): message files (msg only for .pst files),
                         text summaries, HTML pages or only the attachments, optionally packed
                         into one ZIP archive per store; NAME (MSOutlook, OutlookExpress,
                         Thunderbird, Eudora) names the archive and the history row. Options
                         override the settings for this run only. Ctrl+C stops after the
                         current message; what was exported is still packed and recorded.
                         Exit status 0 when every store opened and every message was
                         written (and packed).
  extract                export the mail clients chosen in the settings, as "/extract" does
  addresses [--source SOURCE]... [STORE...] [--out DIR] [--per-source] [--check]
                         extract e-mail addresses; SOURCE is outlook, outlookexpress,
                         thunderbird or eudora. Without STORE: the sources ticked in the
                         settings (or the ones given), searched in their configured places.
                         With STOREs: those files and folders under the one SOURCE given,
                         else under outlook (.pst: read message by message), outlookexpress
                         (.dbx) or thunderbird (anything else). Writes DIR/addresses.txt
                         (default: the ExtractAddressesPath file) or, with --per-source, one
                         file per source; --check appends " [not exists]" to addresses whose
                         domain does not resolve. Prints SOURCE<TAB>stores<TAB>addresses,
                         total<TAB>N, not-exists<TAB>N (with --check), end<TAB>REASON
                         (finished, stopped, no-outlook-stores, failed), written<TAB>PATH
  history                print the export history, newest first: ID<TAB>Date<TAB>Client<TAB>
                         OnlyAttach<TAB>ZIP<TAB>Count<TAB>TotalSize<TAB>RootFolder<TAB>
                         FolderExists
  history delete ID --yes
                         delete history row ID and its storage folder with everything in it

Settings and logs live in the program folder: the folder of this program, or the folder
named by the environment variable MAILSIFT_HOME.
)";

struct Command {
    std::string_view name;
    int (*run)(const std::vector<std::string>&, std::ostream&, std::ostream&);
};

constexpr Command kCommands[] = {
    {"addresses", RunAddressesCommand}, {"config", RunConfigCommand},
    {"export", RunExportCommand},       {"extract", RunExtractCommand},
    {"headers", RunHeadersCommand},     {"history", RunHistoryCommand},
    {"list", RunListCommand},           {"show", RunShowCommand},
};

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << kUsage;
        return 2;
    }
    const std::string& name = args.front();
    if (name == "--help" || name == "-h" || name == "help") {
        out << kUsage;
        return 0;
    }
    if (name == "--version") {
        out << "mailsift-cli " << MAILSIFT_VERSION << '\n';
        return 0;
    }
    for (const Command& command : kCommands) {
        if (command.name != name) continue;
        try {
            // As the main window does on start: personal folder files open without set-up.
            FillMapiLibraryPath();
            return command.run({args.begin() + 1, args.end()}, out, err);
        } catch (const std::exception& error) {
            err << "mailsift-cli: " << error.what() << '\n';
            return 1;
        }
    }
    err << "mailsift-cli: unknown command '" << name << "' (see mailsift-cli --help)\n";
    return 2;
}

}  // namespace mailsift
