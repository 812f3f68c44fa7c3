#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <optional>
#include <string_view>

#include "app/cli_commands.h"
#include "app/cli_interrupt.h"
#include "config/language.h"
#include "config/settings.h"
#include "export/export_command.h"
#include "platform/text_case.h"
#include "platform/text_match.h"
#include "platform/thousands.h"
#include "platform/tick_count.h"
#include "platform/work_hooks.h"
#include "stores/store_facade.h"

namespace mailsift {

namespace {

constexpr std::string_view kExportUsage =
    "usage: mailsift-cli export STORE... [--to DIR] [--format eml|msg|txt|html|attach]\n"
    "           [--zip|--no-zip] [--date-folder|--no-date-folder]\n"
    "           [--client MSOutlook|OutlookExpress|Thunderbird|Eudora]\n";

struct ExportCommandLine {
    std::vector<std::string> stores;
    std::optional<std::string> to;
    std::optional<std::string> format;
    std::optional<std::string> client;
    std::optional<bool> zip;
    std::optional<bool> dateFolder;
};

std::optional<ExportCommandLine> ParseExportCommandLine(const std::vector<std::string>& args,
                                                        std::ostream& err) {
    ExportCommandLine line;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::optional<std::string>& target) {
            if (i + 1 >= args.size()) return false;
            target = args[++i];
            return true;
        };
        bool ok = true;
        if (arg == "--to") {
            ok = value(line.to);
        } else if (arg == "--format") {
            ok = value(line.format);
        } else if (arg == "--client") {
            ok = value(line.client);
        } else if (arg == "--zip" || arg == "--no-zip") {
            line.zip = arg == "--zip";
        } else if (arg == "--date-folder" || arg == "--no-date-folder") {
            line.dateFolder = arg == "--date-folder";
        } else if (arg.starts_with("--")) {
            err << "mailsift-cli: unknown option " << arg << '\n';
            ok = false;
        } else {
            line.stores.push_back(arg);
        }
        if (!ok) {
            err << kExportUsage;
            return std::nullopt;
        }
    }
    if (line.stores.empty()) {
        err << kExportUsage;
        return std::nullopt;
    }
    return line;
}

// The message-file form of a personal folder file follows its own setting; other stores always
// give their stored MIME text.
struct FormChoice {
    int form = 0;
    std::optional<bool> saveAsEml;  // only for the message-file form
};

std::optional<FormChoice> ParseFormat(std::string_view format) {
    if (format == "eml") return FormChoice{0, true};
    if (format == "msg") return FormChoice{0, false};
    if (format == "txt") return FormChoice{1, std::nullopt};
    if (format == "html") return FormChoice{2, std::nullopt};
    if (format == "attach") return FormChoice{3, std::nullopt};
    return std::nullopt;
}

constexpr ExtractSource kSources[] = {SourceMSOutlook, SourceOutlookExpress, SourceThunderbird,
                                      SourceEudora};

std::optional<ExtractSource> SourceNamed(std::string_view name) {
    for (ExtractSource source : kSources) {
        if (EqualsIgnoringCase(ClientName(source), name)) return source;
    }
    return std::nullopt;
}

// Eudora keeps ".mbx" files and their ".toc" tables side by side; Thunderbird has neither.
bool HoldsEudoraMailboxes(const std::string& folder) {
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (MatchesMask(name, "*.mbx") || MatchesMask(name, "*.toc")) return true;
    }
    return false;
}

ExtractSource SourceOfStore(const std::string& store) {
    switch (StoreKindOfPath(store).value_or(StoreKind::MailboxFolder)) {
        case StoreKind::PersonalFolders:
            return SourceMSOutlook;
        case StoreKind::OutlookExpress:
            return SourceOutlookExpress;
        case StoreKind::MailboxMbx:
            return SourceEudora;
        case StoreKind::MailboxFolder:
            return HoldsEudoraMailboxes(store) ? SourceEudora : SourceThunderbird;
        case StoreKind::MailboxFile:
            return SourceThunderbird;
    }
    return SourceThunderbird;
}

// On a terminal the running counter is one line rewritten in place, at most ten times a second.
class TerminalProgress {
  public:
    explicit TerminalProgress(std::ostream& err) : err_(err) {
        if (&err != &std::cerr || !isatty(STDERR_FILENO)) return;
        WorkHooks hooks;
        hooks.CounterChanged = [this](const std::string& text) { Show(text); };
        hooks_.emplace(std::move(hooks));
    }
    ~TerminalProgress() {
        if (shown_) err_ << '\n';
    }
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

  private:
    void Show(const std::string& text) {
        const uint32_t now = GetTickCount();
        if (shown_ && now - lastShown_ < 100) return;
        lastShown_ = now;
        shown_ = true;
        err_ << '\r' << text << std::flush;
    }

    std::ostream& err_;
    std::optional<ScopedWorkHooks> hooks_;
    uint32_t lastShown_ = 0;
    bool shown_ = false;
};

// One line per exported store, and the totals at the end.
class ExportSummary : public ExportObserver {
  public:
    ExportSummary(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    void StoreExported(const std::string& client, const std::string& storePath,
                       const ExportStoreResult& result) override {
        if (!result.Opened()) {
            err_ << "mailsift-cli: cannot open " << storePath << " (result " << result.OpenResult
                 << ")\n";
            ++unopened_;
        }
        out_ << client << '\t' << storePath << ": " << FormatThousands(result.Messages)
             << " messages, " << FormatThousands(result.Files) << " files, "
             << FormatThousands(result.Bytes) << " bytes";
        if (result.WriteFailures != 0) {
            out_ << ", " << FormatThousands(result.WriteFailures) << " not written";
        }
        if (!result.Archive.empty()) out_ << ", packed into " << result.Archive;
        if (!result.PackFailure.empty()) {
            out_ << ", not packed: " << result.PackFailure;
            ++incomplete_;
        }
        if (result.WriteFailures != 0) ++incomplete_;
        if (result.Failed) out_ << ", ended by an error (see report.txt)";
        out_ << '\n';
        messages_ += result.Messages;
        files_ += result.Files;
        bytes_ += result.Bytes;
        failed_ = failed_ || result.Failed;
    }

    int Finish(bool stopped) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
        if (stopped) out_ << "Stopped on request.\n";
        out_ << "Total: " << FormatThousands(messages_) << " messages, " << FormatThousands(files_)
             << " files, " << FormatThousands(bytes_) << " bytes in " << std::fixed
             << std::setprecision(1) << seconds << " seconds\n";
        return unopened_ == 0 && incomplete_ == 0 && !failed_ ? 0 : 1;
    }

  private:
    std::ostream& out_;
    std::ostream& err_;
    const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    int64_t messages_ = 0;
    int64_t files_ = 0;
    int64_t bytes_ = 0;
    int unopened_ = 0;
    int incomplete_ = 0;  // stores with messages not written or files not packed
    bool failed_ = false;
};

// Nobody is there to answer: each question is shown and answered No.
class CommandLineDialogs : public ExportDialogs {
  public:
    explicit CommandLineDialogs(std::ostream& err) : err_(err) {}
    bool Confirm(std::string_view key) override {
        err_ << "mailsift-cli: " << LanguageString(key) << " (answered No)\n";
        return false;
    }
    void OpenSetup(std::optional<ExtractSource>) override {}
    void OpenOutlookWizard() override {}

  private:
    std::ostream& err_;
};

std::string StorageFolder(const std::string& folder) {
    std::error_code error;
    std::string path = std::filesystem::absolute(folder, error).lexically_normal().string();
    if (error) path = folder;
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

}  // namespace

int RunExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::optional<ExportCommandLine> line = ParseExportCommandLine(args, err);
    if (!line) return 2;
    std::optional<FormChoice> form;
    if (line->format) {
        form = ParseFormat(*line->format);
        if (!form) {
            err << "mailsift-cli: unknown format " << *line->format << '\n' << kExportUsage;
            return 2;
        }
    }
    std::optional<ExtractSource> chosenClient;
    if (line->client) {
        chosenClient = SourceNamed(*line->client);
        if (!chosenClient) {
            err << "mailsift-cli: unknown client " << *line->client << '\n' << kExportUsage;
            return 2;
        }
    }
    for (const std::string& store : line->stores) {
        if (form && form->saveAsEml == false &&
            StoreKindOfPath(store) != StoreKind::PersonalFolders) {
            err << "mailsift-cli: the msg format is for personal folder files (.pst) only; "
                << store << " holds Internet messages: use --format eml\n";
            return 2;
        }
    }
    ReadStartupSettings();
    LoadSettings();
    ExportOptions options = ExportOptions::FromSettings();
    if (line->to) options.StoragePath = StorageFolder(*line->to);
    if (line->zip) options.ZipEmails = *line->zip;
    if (line->dateFolder) options.AppendPath = *line->dateFolder;
    if (form) options.ExtractOptions = form->form;

    const StopOnInterrupt interrupt;
    const TerminalProgress progress(err);
    ExportSummary summary(out, err);
    // One run for all stores, so that no store's files replace another's; the counter starts
    // again with each client, as in an export of the configured clients.
    ExportRun run(options);
    std::optional<ExtractSource> previous;
    for (const std::string& store : line->stores) {
        if (StopRequested()) break;
        const ExtractSource source = chosenClient.value_or(SourceOfStore(store));
        if (previous != source) run.StartClient(options);
        previous = source;
        const bool personalFolders = StoreKindOfPath(store) == StoreKind::PersonalFolders;
        const bool saveAsEml =
            !personalFolders ||
            form.value_or(FormChoice{}).saveAsEml.value_or(Settings.MSOutlookStoreInEml);
        const ExportStoreResult result =
            run.ExtractAllMessages(store, ClientName(source), saveAsEml);
        summary.StoreExported(ClientName(source), store, result);
    }
    return summary.Finish(StopRequested());
}

int RunExtractCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (!args.empty()) {
        err << "usage: mailsift-cli extract\n";
        return 2;
    }
    ReadStartupSettings();
    LoadSettings();
    const StopOnInterrupt interrupt;
    const TerminalProgress progress(err);
    CommandLineDialogs dialogs(err);
    ExportSummary summary(out, err);
    if (!ExportChosenClients(dialogs, &summary)) return 1;
    return summary.Finish(StopRequested());
}

}  // namespace mailsift
