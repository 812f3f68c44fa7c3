#pragma once
// Address extraction over the mail clients' stores: the sources and their store files, the
// extraction run with its counts, the review list and the files the result is saved to.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "addresses/address_list.h"

namespace mailsift {

// The first four are the mail clients in the order of ExtractSource; the fifth, text or HTML
// files, has its list, tag and file but nothing selects or scans it yet.
enum class AddressSource : size_t {
    MSOutlook = 0,
    OutlookExpress = 1,
    Thunderbird = 2,
    Eudora = 3,
    TextFiles = 4,
};
constexpr size_t kAddressSourceCount = 5;

constexpr std::array<AddressSource, kAddressSourceCount> kAllAddressSources = {
    AddressSource::MSOutlook, AddressSource::OutlookExpress, AddressSource::Thunderbird,
    AddressSource::Eudora, AddressSource::TextFiles};
// The order in which the sources' addresses are listed for review and saved in one file.
constexpr std::array<AddressSource, kAddressSourceCount> kReviewOrder = {
    AddressSource::TextFiles, AddressSource::MSOutlook, AddressSource::OutlookExpress,
    AddressSource::Thunderbird, AddressSource::Eudora};

enum class Recogniser { None, MessageScan, BracketedScan };

struct AddressSourceInfo {
    std::string_view Tag;   // names the source on review items and on the command line
    std::string_view Mask;  // the store files searched under its folder; empty: none
    Recogniser Kind;
    std::string_view OutputFile;  // its file when each source is saved apart
    std::string_view CaptionKey;  // language key of the name shown while it is scanned
    std::string_view CaptionDefault;
};

const AddressSourceInfo& SourceInfo(AddressSource source);
std::optional<AddressSource> SourceFromTag(std::string_view tag);
// The source's name in the selected language.
std::string SourceCaption(AddressSource source);

// Appends to list folder + name of every regular file under folder whose name matches mask,
// descending depth first into every subfolder whose own name matches the mask too: "*.dbx"
// stays in folder, "*" walks the whole tree. Names are taken in byte order, so the list does
// not depend on the file system's order. A folder reached twice (through a link) is walked
// once, and folders that cannot be read are passed over.
void FindStoreFiles(const std::string& folder, std::string_view mask,
                    std::vector<std::string>& list);

// Where an extraction run ended. All but Failed go on to the review as usual.
enum class ExtractionEnd {
    Finished,
    Stopped,          // the stop flag was set
    NoOutlookStores,  // MS Outlook was selected and its store list is empty
    Failed,           // a Thunderbird file could not be scanned
};

// What a window shows while a run goes on; every member may be left empty.
struct ExtractionObserver {
    std::function<void(AddressSource source)> SourceStarted;
    std::function<void(AddressSource source)> SourceEnded;
    // The running count of the source being scanned: new entries for the bracketed sources,
    // the size of its list for MS Outlook.
    std::function<void(int64_t count)> SourceCountChanged;
    // The addresses of the sources finished so far, told when each source ends.
    std::function<void(int64_t total)> TotalChanged;
    // Store files done, of those of all selected sources.
    std::function<void(int64_t position, int64_t maximum)> ProgressChanged;
    // A store file that could not be opened or read whole; the run goes on without it.
    std::function<void(const std::string& path)> FileUnreadable;
};

// The state of one extraction, kept from one run to the next as the wizard keeps it: going
// back and running again adds to the lists.
struct AddressExtraction {
    std::array<bool, kAddressSourceCount> Selected{};
    // Per source the stores to scan: for MS Outlook its personal folder files (the whole store
    // list, whether ticked there or not), for the others what FindSourceStores found.
    std::array<std::vector<std::string>, kAddressSourceCount> StoreFiles;
    std::array<AddressList, kAddressSourceCount> Lists;
    int64_t SourceCount = 0;
    int64_t Total = 0;
    std::string FailureMessage;  // of the last run that ended Failed

    bool IsSelected(AddressSource source) const { return Selected[Index(source)]; }
    std::vector<std::string>& FilesOf(AddressSource source) { return StoreFiles[Index(source)]; }
    AddressList& ListOf(AddressSource source) { return Lists[Index(source)]; }
    const AddressList& ListOf(AddressSource source) const { return Lists[Index(source)]; }

    static size_t Index(AddressSource source) { return static_cast<size_t>(source); }
};

// Searches location (a folder of a bracketed source) with the source's mask. When at least one
// file is found they replace the source's store files and the answer is true; otherwise the
// store files stay as they were.
bool FindSourceStores(AddressExtraction& run, AddressSource source, const std::string& location);

// Scans the selected sources in the order MS Outlook, Outlook Express, Thunderbird, Eudora
// into their lists. Clears the stop flag first. The run ends early, skipping the sources after
// it, when the stop flag is set or MS Outlook is selected without stores; the total then leaves
// out the source that was under way. Missing and empty store files are passed over.
ExtractionEnd RunAddressExtraction(AddressExtraction& run, const ExtractionObserver& observer = {});

// The review list: per selected source in review order, its list sorted (and left sorted) and
// one item per address, tagged with the source. An address found by two sources is listed
// twice.
std::vector<ReviewItem> MakeReviewList(AddressExtraction& run);

enum class OutputMode { OneFile = 0, PerSource = 1 };
// Text files hold one address a line; CSV files (RFC 4180) a header row, then one address a
// row, with the source's tag in a second column when each source is saved apart.
enum class OutputFormat { Text = 0, Csv = 1 };

// The name of the one file that holds every address, when no other name is given.
constexpr std::string_view kAllAddressesFile = "addresses.txt";

// Where and how the review list is saved.
struct AddressOutput {
    OutputMode Mode = OutputMode::OneFile;
    OutputFormat Format = OutputFormat::Text;
    std::string Folder = {};
    // The one file's name; the CSV format puts ".csv" in place of a ".txt" ending, as it does
    // for the files of the sources.
    std::string OneFileName = std::string(kAllAddressesFile);
};

// The one file's name in folder: the name of addressFile (the address file the settings
// name) when folder is that file's folder, so that saving there writes that very file;
// "addresses.txt" anywhere else.
std::string OneFileNameIn(const std::string& folder, const std::string& addressFile);

struct AddressFile {
    std::string Path;
    std::string Text;  // the whole file, lines ended by CR LF
};

// The files that saving the review list makes: OneFile one file with every caption in list
// order (also when there are none); PerSource one file per source with its captions in list
// order, none for a source without items. Captions keep the marks a check gave them.
std::vector<AddressFile> ComposeAddressFiles(const std::vector<ReviewItem>& items,
                                             const AddressOutput& output);

struct WrittenFiles {
    std::vector<std::string> Written;
    std::vector<std::string> Failed;
};

// Writes each file whole, replacing a file of that name; a file whose write fails stays as it
// was and is listed as failed.
WrittenFiles WriteAddressFiles(const std::vector<AddressFile>& files);
WrittenFiles WriteAddressFiles(const std::vector<ReviewItem>& items, const AddressOutput& output);

}  // namespace mailsift
