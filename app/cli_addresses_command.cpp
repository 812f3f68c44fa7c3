#include <algorithm>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "addresses/address_check.h"
#include "addresses/address_list.h"
#include "addresses/address_sources.h"
#include "app/cli_commands.h"
#include "app/cli_interrupt.h"
#include "config/outlook_store_list.h"
#include "config/settings.h"
#include "platform/file_system.h"
#include "platform/text_match.h"
#include "platform/work_hooks.h"

namespace mailsift {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kUsage =
    "usage: mailsift-cli addresses [--source outlook|outlookexpress|thunderbird|eudora]... "
    "[STORE...] [--out DIR] [--per-source] [--check]\n";

constexpr std::string_view kPersonalFoldersMask = "*.pst";

struct Options {
    std::vector<AddressSource> sources;
    std::vector<std::string> stores;
    std::optional<std::string> out;
    bool perSource = false;
    bool check = false;
};

// Nullopt after telling err what is wrong.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::ostream& err) {
    Options options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--source" && hasValue) {
            const std::optional<AddressSource> source = SourceFromTag(args[++i]);
            if (!source || *source == AddressSource::TextFiles) {
                err << "mailsift-cli: unknown source '" << args[i] << "'\n" << kUsage;
                return std::nullopt;
            }
            options.sources.push_back(*source);
        } else if (arg == "--out" && hasValue && !args[i + 1].empty()) {
            options.out = args[++i];
        } else if (arg == "--per-source") {
            options.perSource = true;
        } else if (arg == "--check") {
            options.check = true;
        } else if (arg.starts_with("--") || arg.empty()) {
            err << kUsage;
            return std::nullopt;
        } else {
            options.stores.push_back(arg);
        }
    }
    if (!options.stores.empty() && options.sources.size() > 1) {
        err << "mailsift-cli: the STOREs given belong to one source: give --source at most once\n"
            << kUsage;
        return std::nullopt;
    }
    return options;
}

// The configured sources, searched as the extraction wizard searches them.
// False when no source is selected. unconfigured counts the selected sources whose store
// folder is not configured or gone: they contribute nothing, and the command says so in its
// status.
bool CollectConfiguredStores(const Options& options, AddressExtraction& run, std::ostream& err,
                             size_t& unconfigured) {
    if (options.sources.empty()) {
        for (size_t i = 0; i < Settings.ExtractFrom.size(); ++i) {
            run.Selected[i] = Settings.ExtractFrom[i];
        }
    } else {
        for (AddressSource source : options.sources)
            run.Selected[AddressExtraction::Index(source)] = true;
    }
    if (std::find(run.Selected.begin(), run.Selected.end(), true) == run.Selected.end()) {
        err << "mailsift-cli: no source selected: tick one in the settings or give --source\n";
        return false;
    }
    if (run.IsSelected(AddressSource::MSOutlook)) {
        for (const TMSOutlookStore& store : LoadMSOutlookFileList()) {
            run.FilesOf(AddressSource::MSOutlook).push_back(store.Path);
        }
    }
    const std::pair<AddressSource, const std::string*> folders[] = {
        {AddressSource::OutlookExpress, &Settings.OutlookExpressBaseFile},
        {AddressSource::Thunderbird, &Settings.ThunderbirdBaseFile},
        {AddressSource::Eudora, &Settings.EudoraBaseFile},
    };
    for (const auto& [source, location] : folders) {
        if (!run.IsSelected(source)) continue;
        const std::string_view tag = SourceInfo(source).Tag;
        std::error_code error;
        if (location->empty() || !fs::exists(*location, error)) {
            err << "mailsift-cli: " << tag << ": the store folder is not configured or missing ("
                << *location << ")\n";
            ++unconfigured;
        } else if (!FindSourceStores(run, source, *location)) {
            err << "mailsift-cli: " << tag << ": no store files in " << *location << '\n';
        }
    }
    return true;
}

AddressSource SourceByForm(const std::string& store) {
    if (MatchesMask(store, kPersonalFoldersMask)) return AddressSource::MSOutlook;
    if (MatchesMask(store, "*.dbx")) return AddressSource::OutlookExpress;
    return AddressSource::Thunderbird;
}

// STOREs named on the command line: each file as it is, each folder searched with the source's
// mask (personal folder files for MS Outlook).
bool CollectGivenStores(const Options& options, AddressExtraction& run, std::ostream& err) {
    for (const std::string& store : options.stores) {
        std::error_code error;
        const fs::file_status status = fs::status(store, error);
        if (!fs::exists(status)) {
            err << "mailsift-cli: cannot find " << store << '\n';
            return false;
        }
        const AddressSource source =
            options.sources.empty() ? SourceByForm(store) : options.sources.front();
        run.Selected[AddressExtraction::Index(source)] = true;
        std::vector<std::string>& files = run.FilesOf(source);
        if (fs::is_directory(status)) {
            const std::string_view mask =
                source == AddressSource::MSOutlook ? kPersonalFoldersMask : SourceInfo(source).Mask;
            FindStoreFiles(store, mask, files);
        } else {
            files.push_back(store);
        }
    }
    return true;
}

std::string_view EndName(ExtractionEnd end) {
    switch (end) {
        case ExtractionEnd::Finished:
            return "finished";
        case ExtractionEnd::Stopped:
            return "stopped";
        case ExtractionEnd::NoOutlookStores:
            return "no-outlook-stores";
        case ExtractionEnd::Failed:
            return "failed";
    }
    return "failed";
}

// Without --out the addresses go where the settings say the address file is: one file is that
// file itself, the files per source go beside it.
WrittenFiles WriteResult(const Options& options, const std::vector<ReviewItem>& items) {
    AddressOutput output{.Mode = options.perSource ? OutputMode::PerSource : OutputMode::OneFile};
    if (options.out) {
        output.Folder = *options.out;
    } else {
        const fs::path file(Settings.ExtractAddressesPath);
        output.Folder = file.parent_path().empty() ? "." : file.parent_path().string();
        output.OneFileName = file.filename().string();
    }
    ForceDirectories(output.Folder);
    return WriteAddressFiles(items, output);
}

}  // namespace

int RunAddressesCommand(const std::vector<std::string>& args, std::ostream& out,
                        std::ostream& err) {
    const std::optional<Options> options = ParseOptions(args, err);
    if (!options) return 2;
    ReadStartupSettings();
    LoadSettings();

    AddressExtraction run;
    size_t unconfigured = 0;
    const bool collected = options->stores.empty()
                               ? CollectConfiguredStores(*options, run, err, unconfigured)
                               : CollectGivenStores(*options, run, err);
    if (!collected) return options->stores.empty() ? 2 : 1;

    ExtractionObserver observer;
    size_t unreadable = 0;
    observer.FileUnreadable = [&err, &unreadable](const std::string& path) {
        err << "mailsift-cli: cannot read " << path << '\n';
        ++unreadable;
    };
    const StopOnInterrupt interrupt;
    ExtractionEnd end = RunAddressExtraction(run, observer);
    // A stop during the last file of the last source ends the run as if it had finished.
    if (end == ExtractionEnd::Finished && StopRequested()) end = ExtractionEnd::Stopped;
    if (end == ExtractionEnd::Failed) {
        err << "mailsift-cli: extraction failed: " << run.FailureMessage << '\n';
    }
    std::vector<ReviewItem> items = MakeReviewList(run);

    size_t missing = 0;
    if (options->check) missing = CheckAllReviewItems(items, HostResolves, StopRequested);

    const WrittenFiles files = WriteResult(*options, items);

    for (AddressSource source : kReviewOrder) {
        if (!run.IsSelected(source)) continue;
        out << SourceInfo(source).Tag << '\t' << run.FilesOf(source).size() << '\t'
            << run.ListOf(source).size() << '\n';
    }
    out << "total\t" << items.size() << '\n';
    if (options->check) out << "not-exists\t" << missing << '\n';
    out << "end\t" << EndName(end) << '\n';
    for (const std::string& path : files.Written) out << "written\t" << path << '\n';
    for (const std::string& path : files.Failed)
        err << "mailsift-cli: cannot write " << path << '\n';

    // Everything asked for was scanned and written; an early end for want of MS Outlook stores
    // skipped the sources after it.
    const bool complete = end == ExtractionEnd::Finished && unreadable == 0 && unconfigured == 0;
    return complete && files.Failed.empty() ? 0 : 1;
}

}  // namespace mailsift
