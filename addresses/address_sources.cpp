#include "addresses/address_sources.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <set>
#include <utility>

#include "addresses/address_scanner.h"
#include "config/language.h"
#include "platform/file_system.h"
#include "platform/text_match.h"
#include "platform/work_hooks.h"

namespace mailsift {

namespace {

namespace fs = std::filesystem;

constexpr std::array<AddressSourceInfo, kAddressSourceCount> kSources = {{
    {"outlook", "", Recogniser::MessageScan, "outlookddresses.txt",
     "EAEWizardFrm.EAEStorage1Caption", "MS Outlook"},
    {"outlookexpress", "*.dbx", Recogniser::BracketedScan, "outlookexpressddresses.txt",
     "EAEWizardFrm.EAEStorage2Caption", "MS Outlook Express"},
    {"thunderbird", "*", Recogniser::BracketedScan, "thunderbirdddresses.txt",
     "EAEWizardFrm.EAEStorage3Caption", "Thunderbird"},
    {"eudora", "*", Recogniser::BracketedScan, "eudoraddresses.txt",
     "EAEWizardFrm.EAEStorage4Caption", "Eudora"},
    {"file", "", Recogniser::None, "filaddresses.txt", "EAEWizardFrm.EAEStorage5Caption",
     "Text or HTML files"},
}};

// An empty folder is the current one, never the file-system root.
std::string WithSlash(std::string folder) {
    if (folder.empty()) return "./";
    if (folder.back() != '/') folder += '/';
    return folder;
}

void WalkStoreFolder(const std::string& folder, std::string_view mask,
                     std::vector<std::string>& list, std::set<fs::path>& visited) {
    std::error_code error;
    const fs::path real = fs::canonical(folder, error);
    if (error || !visited.insert(real).second) return;

    std::vector<std::pair<std::string, bool>> entries;  // name, whether a folder
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        std::string name = it->path().filename().string();
        if (!MatchesMask(name, mask)) continue;
        // Pipes and devices are no store files: reading one could wait for ever.
        std::error_code typeError;
        if (it->is_directory(typeError)) {
            entries.emplace_back(std::move(name), true);
        } else if (it->is_regular_file(typeError)) {
            entries.emplace_back(std::move(name), false);
        }
    }
    std::sort(entries.begin(), entries.end());
    for (const auto& [name, isFolder] : entries) {
        if (isFolder) {
            WalkStoreFolder(folder + name + "/", mask, list, visited);
        } else {
            list.push_back(folder + name);
        }
    }
}

// The size from the file's directory entry; 0 when it cannot be had.
int64_t FileSize(const std::string& path) {
    std::error_code error;
    const uintmax_t size = fs::file_size(path, error);
    return error ? 0 : static_cast<int64_t>(size);
}

// A folder as one spelling: links resolved, no trailing "/", the empty folder the current one.
fs::path Place(const std::string& folder) {
    const fs::path path = folder.empty() ? fs::path(".") : fs::path(folder);
    std::error_code error;
    fs::path place = fs::weakly_canonical(path, error);
    if (error) place = fs::absolute(path, error);
    place = place.lexically_normal();
    return place.has_filename() ? place : place.parent_path();
}

// A field of a CSV row (RFC 4180): quoted, with its quotes doubled, when it holds a comma, a
// quote or a line break.
std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string field = "\"";
    for (char c : text) {
        if (c == '"') field += '"';
        field += c;
    }
    return field + '"';
}

// name with ".csv" in place of its ".txt" ending, or after it when it has none.
std::string CsvName(std::string_view name) {
    std::string base(name);
    if (base.size() >= 4 && MatchesMask(base.substr(base.size() - 4), ".txt")) {
        base.resize(base.size() - 4);
    }
    return base + ".csv";
}

// The bookkeeping of one run that every source shares.
class ExtractionSteps {
  public:
    ExtractionSteps(AddressExtraction& run, const ExtractionObserver& observer)
        : run_(run), observer_(observer) {
        for (AddressSource source : {AddressSource::MSOutlook, AddressSource::OutlookExpress,
                                     AddressSource::Thunderbird, AddressSource::Eudora}) {
            if (run.IsSelected(source)) {
                maximum_ += static_cast<int64_t>(run.FilesOf(source).size());
            }
        }
        run.Total = 0;
        if (observer_.TotalChanged) observer_.TotalChanged(0);
        SetSourceCount(0);
        if (observer_.ProgressChanged) observer_.ProgressChanged(0, maximum_);
    }

    void SetSourceCount(int64_t count) {
        run_.SourceCount = count;
        if (observer_.SourceCountChanged) observer_.SourceCountChanged(count);
    }

    AddressProgress CountProgress() {
        return [this](int64_t count) { SetSourceCount(count); };
    }

    void Advance() {
        ++position_;
        if (observer_.ProgressChanged) observer_.ProgressChanged(position_, maximum_);
    }

    void Start(AddressSource source) {
        if (observer_.SourceStarted) observer_.SourceStarted(source);
    }

    void End(AddressSource source) {
        run_.Total += run_.SourceCount;
        if (observer_.TotalChanged) observer_.TotalChanged(run_.Total);
        if (observer_.SourceEnded) observer_.SourceEnded(source);
    }

    void ScanFile(const std::string& path, int64_t size, AddressSource source) {
        const bool whole =
            ScanStoreFileRaw(path, size, run_.ListOf(source), run_.SourceCount, CountProgress());
        if (!whole && observer_.FileUnreadable) observer_.FileUnreadable(path);
    }

  private:
    AddressExtraction& run_;
    const ExtractionObserver& observer_;
    int64_t position_ = 0;
    int64_t maximum_ = 0;
};

ExtractionEnd ScanOutlook(AddressExtraction& run, ExtractionSteps& steps) {
    constexpr AddressSource source = AddressSource::MSOutlook;
    steps.Start(source);
    if (run.FilesOf(source).empty()) return ExtractionEnd::NoOutlookStores;
    for (const std::string& path : run.FilesOf(source)) {
        if (StopRequested()) return ExtractionEnd::Stopped;
        if (IsExistingFile(path)) {
            ScanStoreMessages(path, run.ListOf(source), steps.CountProgress());
        }
        LetMessageLoopRun();
        steps.Advance();
    }
    steps.End(source);
    return ExtractionEnd::Finished;
}

ExtractionEnd ScanExpress(AddressExtraction& run, ExtractionSteps& steps) {
    constexpr AddressSource source = AddressSource::OutlookExpress;
    steps.Start(source);
    try {
        for (const std::string& path : run.FilesOf(source)) {
            if (!IsExistingFile(path)) continue;
            if (StopRequested()) {
                steps.Advance();
                return ExtractionEnd::Stopped;
            }
            // An empty folder file is a folder without messages, common enough that ending the
            // whole extraction at it would lose every source after it.
            const int64_t size = FileSize(path);
            if (size > 0) steps.ScanFile(path, size, source);
            LetMessageLoopRun();
            steps.Advance();
        }
    } catch (const std::exception&) {
        // A failure costs this source the files after it, not the sources after it.
    }
    steps.End(source);
    return ExtractionEnd::Finished;
}

// Thunderbird and Eudora. A failure while a Thunderbird file is scanned ends the run; for
// Eudora it costs only that file.
ExtractionEnd ScanMailboxes(AddressExtraction& run, ExtractionSteps& steps, AddressSource source) {
    steps.Start(source);
    for (const std::string& path : run.FilesOf(source)) {
        if (StopRequested()) {
            steps.Advance();
            return ExtractionEnd::Stopped;
        }
        const int64_t size = FileSize(path);
        if (size > 0) {
            try {
                steps.ScanFile(path, size, source);
            } catch (const std::exception& error) {
                if (source != AddressSource::Eudora) {
                    run.FailureMessage = error.what();
                    return ExtractionEnd::Failed;
                }
            }
            LetMessageLoopRun();
        }
        steps.Advance();
    }
    steps.End(source);
    return ExtractionEnd::Finished;
}

}  // namespace

const AddressSourceInfo& SourceInfo(AddressSource source) {
    return kSources[static_cast<size_t>(source)];
}

std::optional<AddressSource> SourceFromTag(std::string_view tag) {
    for (AddressSource source : kAllAddressSources) {
        if (SourceInfo(source).Tag == tag) return source;
    }
    return std::nullopt;
}

std::string SourceCaption(AddressSource source) {
    const AddressSourceInfo& info = SourceInfo(source);
    return LanguageStringDef(info.CaptionKey, info.CaptionDefault);
}

void FindStoreFiles(const std::string& folder, std::string_view mask,
                    std::vector<std::string>& list) {
    std::set<fs::path> visited;
    WalkStoreFolder(WithSlash(folder), mask, list, visited);
}

bool FindSourceStores(AddressExtraction& run, AddressSource source, const std::string& location) {
    const std::string_view mask = SourceInfo(source).Mask;
    if (mask.empty()) return false;
    std::vector<std::string> found;
    FindStoreFiles(location, mask, found);
    if (found.empty()) return false;
    run.FilesOf(source) = std::move(found);
    return true;
}

ExtractionEnd RunAddressExtraction(AddressExtraction& run, const ExtractionObserver& observer) {
    ClearStopRequest();
    ExtractionSteps steps(run, observer);
    if (run.IsSelected(AddressSource::MSOutlook)) {
        const ExtractionEnd end = ScanOutlook(run, steps);
        if (end != ExtractionEnd::Finished) return end;
    }
    steps.SetSourceCount(0);
    if (run.IsSelected(AddressSource::OutlookExpress)) {
        const ExtractionEnd end = ScanExpress(run, steps);
        if (end != ExtractionEnd::Finished) return end;
    }
    for (AddressSource source : {AddressSource::Thunderbird, AddressSource::Eudora}) {
        steps.SetSourceCount(0);
        if (!run.IsSelected(source)) continue;
        const ExtractionEnd end = ScanMailboxes(run, steps, source);
        if (end != ExtractionEnd::Finished) return end;
    }
    return ExtractionEnd::Finished;
}

std::vector<ReviewItem> MakeReviewList(AddressExtraction& run) {
    std::vector<ReviewItem> items;
    for (AddressSource source : kReviewOrder) {
        if (!run.IsSelected(source)) continue;
        AddressList& list = run.ListOf(source);
        list.Sort();
        const std::string tag(SourceInfo(source).Tag);
        for (const std::string& address : list) items.push_back({address, tag});
    }
    return items;
}

std::string OneFileNameIn(const std::string& folder, const std::string& addressFile) {
    const fs::path file(addressFile);
    if (!file.has_filename() || Place(folder) != Place(file.parent_path().string())) {
        return std::string(kAllAddressesFile);
    }
    return file.filename().string();
}

std::vector<AddressFile> ComposeAddressFiles(const std::vector<ReviewItem>& items,
                                             const AddressOutput& output) {
    const bool csv = output.Format == OutputFormat::Csv;
    const bool withSource = csv && output.Mode == OutputMode::PerSource;
    const std::string target = WithSlash(output.Folder);
    const auto compose = [&](std::string_view name, const std::vector<const ReviewItem*>& rows) {
        AddressFile file{.Path = target + (csv ? CsvName(name) : std::string(name)), .Text = {}};
        if (csv) file.Text = withSource ? "Address,Source\r\n" : "Address\r\n";
        for (const ReviewItem* item : rows) {
            file.Text += csv ? CsvField(item->Caption) : item->Caption;
            if (withSource) file.Text += "," + CsvField(item->Tag);
            file.Text += "\r\n";
        }
        return file;
    };

    if (output.Mode == OutputMode::OneFile) {
        std::vector<const ReviewItem*> rows;
        for (const ReviewItem& item : items) rows.push_back(&item);
        return {compose(output.OneFileName, rows)};
    }
    std::vector<AddressFile> files;
    for (AddressSource source : kReviewOrder) {
        const AddressSourceInfo& info = SourceInfo(source);
        std::vector<const ReviewItem*> rows;
        for (const ReviewItem& item : items) {
            if (item.Tag == info.Tag) rows.push_back(&item);
        }
        if (!rows.empty()) files.push_back(compose(info.OutputFile, rows));
    }
    return files;
}

WrittenFiles WriteAddressFiles(const std::vector<AddressFile>& files) {
    WrittenFiles written;
    for (const AddressFile& file : files) {
        try {
            WriteWholeFile(file.Path, file.Text);
            written.Written.push_back(file.Path);
        } catch (const std::exception&) {
            written.Failed.push_back(file.Path);
        }
    }
    return written;
}

WrittenFiles WriteAddressFiles(const std::vector<ReviewItem>& items, const AddressOutput& output) {
    return WriteAddressFiles(ComposeAddressFiles(items, output));
}

}  // namespace mailsift
