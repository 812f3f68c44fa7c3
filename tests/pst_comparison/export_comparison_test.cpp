// What the export writes of personal folder files, in every form, held against what readpst
// extracts from the same files written by Outlook.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "config/settings.h"
#include "export/export_run.h"
#include "outlook/default_store_backends.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"
#include "support/test_program_folder.h"
#include "tests/pst_comparison/reference_export.h"
#include "tests/pst_comparison/tree_comparison.h"

namespace mailsift::test {
namespace {

namespace fs = std::filesystem;

const char* const kFixtures[] = {"dist-list", "sample1", "sample2", "submessage"};

// The files an export wrote into one folder, in the order of the number they begin with.
std::vector<fs::path> NumberedFiles(const fs::path& dir, const std::string& extension) {
    std::vector<std::pair<unsigned long, fs::path>> numbered;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (!entry.is_regular_file() || entry.path().extension() != extension) continue;
        numbered.emplace_back(std::stoul(entry.path().filename().string()), entry.path());
    }
    std::sort(numbered.begin(), numbered.end());
    std::vector<fs::path> files;
    for (auto& [number, path] : numbered) files.push_back(std::move(path));
    return files;
}

// The export's folders below the store's top folder ("<storage>/MS Outlook/<store>"), with a
// message per file of the extension, as `read` makes of it.
void ReadExportedFolder(const fs::path& dir, const std::vector<std::string>& path,
                        const std::string& extension,
                        const std::function<StoredMessage(const fs::path&)>& read,
                        StoredTree& tree) {
    StoredFolder folder{path, 0, {}};
    for (const fs::path& file : NumberedFiles(dir, extension)) {
        ++folder.itemCount;
        folder.messages.push_back(read(file));
    }
    tree.folders.push_back(std::move(folder));
    std::vector<fs::path> subfolders;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.is_directory()) subfolders.push_back(entry.path());
    }
    std::sort(subfolders.begin(), subfolders.end());
    for (const fs::path& subfolder : subfolders) {
        std::vector<std::string> subpath = path;
        subpath.push_back(subfolder.filename().string());
        ReadExportedFolder(subfolder, subpath, extension, read, tree);
    }
}

StoredTree ReadExportedTree(const fs::path& storage, const std::string& extension,
                            const std::function<StoredMessage(const fs::path&)>& read) {
    StoredTree tree;
    const fs::path top = storage / "MS Outlook";
    std::vector<fs::path> stores;
    for (const auto& entry : fs::directory_iterator(top)) stores.push_back(entry.path());
    if (stores.size() != 1) throw std::runtime_error("not one store below " + top.string());
    tree.storeName = stores.front().filename().string();
    ReadExportedFolder(stores.front(), {}, extension, read, tree);
    return tree;
}

StoredMessage ReadEmlFile(const fs::path& file) {
    return ReadEmlMessage(ReadFileBytes(file.string()));
}

// What msgconvert, a reader of .msg files of its own, makes of the file.
StoredMessage ReadMsgFile(const fs::path& file) {
    const std::string eml = file.string() + ".converted";
    const std::string command = "msgconvert --outfile " + ShellQuote(eml) + " " +
                                ShellQuote(file.string()) + " > " + ShellQuote(eml + ".log") +
                                " 2>&1";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("msgconvert cannot read " + file.string() + ": " +
                                 ReadFileBytes(eml + ".log"));
    }
    return ReadEmlMessage(ReadFileBytes(eml));
}

struct Exports {
    TempDir dir;
    StoredTree readpst;
    StoredTree eml;
    std::optional<StoredTree> msg;  // when msgconvert is there to read the files
    fs::path storage(const std::string& form) const { return dir.path() / form; }
};

void ExportAs(const std::string& pst, const fs::path& storage, ExportForm form,
              const std::string& extension) {
    ExportOptions options;
    options.StoragePath = storage.string() + "/";
    options.AppendPath = false;
    options.ExtractOptions = static_cast<int>(form);
    ExportRun run(options);
    const ExportStoreResult result = run.ExtractAllMessages(pst, "MSOutlook", extension == ".eml");
    if (!result.Opened() || result.WriteFailures != 0) {
        throw std::runtime_error("the export of " + pst + " failed: open result " +
                                 std::to_string(result.OpenResult) + ", " +
                                 std::to_string(result.WriteFailures) + " write failures");
    }
}

// Each file is exported once by readpst and once per form, and shared by the tests.
const Exports& ExportsOf(const std::string& fixture) {
    static std::map<std::string, std::unique_ptr<Exports>> cache;
    std::unique_ptr<Exports>& exports = cache[fixture];
    if (exports) return *exports;
    auto fresh = std::make_unique<Exports>();
    const std::string pst = SharedFixturesDir() + "/pst/" + fixture + ".pst";
    fresh->readpst = ExportWithReadpst(pst, fresh->dir.path().string());
    {
        TestProgramFolder program;
        WriteSetting("MSOutlookLibraryPath", MAPI_PROVIDER_PATH);
        ExportAs(pst, fresh->storage("eml"), ExportForm::MessageFiles, ".eml");
        ExportAs(pst, fresh->storage("msg"), ExportForm::MessageFiles, ".msg");
        ExportAs(pst, fresh->storage("txt"), ExportForm::TextSummaries, ".eml");
        ExportAs(pst, fresh->storage("html"), ExportForm::HtmlPages, ".eml");
        ExportAs(pst, fresh->storage("attach"), ExportForm::AttachmentsOnly, ".eml");
    }
    fresh->eml = ReadExportedTree(fresh->storage("eml"), ".eml", ReadEmlFile);
    if (ProgramInstalled("msgconvert")) {
        fresh->msg = ReadExportedTree(fresh->storage("msg"), ".msg", ReadMsgFile);
    }
    exports = std::move(fresh);
    return *exports;
}

// readpst gives an Exchange sender address (one without "@") instead of the internet one of
// the message's headers; a message file carries the headers' one, so that is not compared.
StoredTree WithInternetSendersOnly(StoredTree tree) {
    for (StoredFolder& folder : tree.folders) {
        for (StoredMessage& message : folder.messages) {
            if (message.senderAddress && message.senderAddress->find('@') == std::string::npos) {
                message.senderAddress.reset();
            }
        }
    }
    return tree;
}

class ExportComparison : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        if (SharedFixturesDir().empty()) {
            GTEST_SKIP() << "../shared is absent: no personal folder files to compare";
        }
        if (!ProgramInstalled("readpst")) {
            GTEST_SKIP() << "readpst is not installed (Debian pst-utils)";
        }
        UseDefaultStoreBackends();
        exports_ = &ExportsOf(GetParam());
        readpst_ = WithInternetSendersOnly(exports_->readpst);
    }

    // The exported message files: as .eml, and as .msg read back by msgconvert.
    std::vector<std::pair<std::string, const StoredTree*>> MessageTrees() const {
        std::vector<std::pair<std::string, const StoredTree*>> trees{
            {"the .eml export", &exports_->eml}};
        if (exports_->msg) {
            trees.emplace_back("the .msg export", &*exports_->msg);
        } else {
            ADD_FAILURE() << "msgconvert is not installed (Debian "
                             "libemail-outlook-message-perl): the .msg files are not compared";
        }
        return trees;
    }

    void CompareWithReadpst(Aspect aspect) const {
        for (const auto& [name, tree] : MessageTrees()) {
            CompareMessages("readpst", readpst_, ReferenceTopIn(readpst_, *tree), name, *tree,
                            aspect);
        }
    }

    const Exports* exports_ = nullptr;
    StoredTree readpst_;
};

TEST_P(ExportComparison, FoldersHoldWhatReadpstWrote) {
    ASSERT_TRUE(readpst_.storeName.has_value()) << "readpst wrote nothing";
    for (const auto& [name, tree] : MessageTrees()) {
        SCOPED_TRACE(name);
        EXPECT_EQ(tree->storeName, readpst_.storeName);
        const std::vector<std::string> top = ReferenceTopIn(readpst_, *tree);
        for (const StoredFolder& folder : readpst_.folders) {
            const StoredFolder* exported = FindFolder(*tree, Concatenated(top, folder.path));
            ASSERT_NE(exported, nullptr) << JoinedPath(folder.path);
            EXPECT_GE(exported->itemCount, folder.itemCount) << JoinedPath(folder.path);
        }
    }
    // Every message the .eml export wrote, the .msg export wrote too.
    if (exports_->msg) {
        EXPECT_EQ(FolderLines(*exports_->msg), FolderLines(exports_->eml));
    }
}

TEST_P(ExportComparison, SubjectsAndSendersMatch) {
    CompareWithReadpst(Aspect::kSubjectsAndSenders);
}

TEST_P(ExportComparison, BodiesMatch) {
    CompareWithReadpst(Aspect::kBodies);
}

TEST_P(ExportComparison, AttachmentNamesAndBytesMatch) {
    CompareWithReadpst(Aspect::kAttachments);
}

// The summaries and the attachment files: one summary per message file, in the same folders,
// and every attachment readpst wrote as a file of the same bytes in its message's folder.
TEST_P(ExportComparison, SummariesAndAttachmentFilesCoverEveryMessage) {
    const auto folderFiles = [](const fs::path& storage, const std::string& extension) {
        StoredTree tree = ReadExportedTree(storage, extension, [](const fs::path& file) {
            StoredMessage message;
            message.body = ReadFileBytes(file.string());
            return message;
        });
        return tree;
    };
    for (const char* form : {"txt", "html"}) {
        SCOPED_TRACE(form);
        const StoredTree summaries =
            folderFiles(exports_->storage(form), std::string(form) == "txt" ? ".txt" : ".htm");
        EXPECT_EQ(FolderLines(summaries), FolderLines(exports_->eml));
        for (const StoredFolder& folder : exports_->eml.folders) {
            const StoredFolder* written = FindFolder(summaries, folder.path);
            ASSERT_NE(written, nullptr) << JoinedPath(folder.path);
            for (size_t i = 0; i < folder.messages.size() && i < written->messages.size(); ++i) {
                EXPECT_NE(written->messages[i].body->find(folder.messages[i].subject),
                          std::string::npos)
                    << JoinedPath(folder.path) << ": " << folder.messages[i].subject;
            }
        }
    }
    const fs::path attachTop = exports_->storage("attach") / "MS Outlook";
    const std::vector<std::string> top = ReferenceTopIn(readpst_, exports_->eml);
    for (const StoredFolder& folder : readpst_.folders) {
        fs::path dir = attachTop / *exports_->eml.storeName;
        for (const std::string& name : Concatenated(top, folder.path)) dir /= name;
        std::vector<std::string> written;
        if (fs::exists(dir)) {
            for (const auto& entry : fs::directory_iterator(dir)) {
                if (entry.is_regular_file()) written.push_back(ReadFileBytes(entry.path()));
            }
        }
        for (const StoredMessage& message : folder.messages) {
            for (const StoredAttachment& attachment :
                 message.attachments.value_or(std::vector<StoredAttachment>{})) {
                if (!attachment.bytes) continue;
                EXPECT_NE(std::find(written.begin(), written.end(), *attachment.bytes),
                          written.end())
                    << JoinedPath(folder.path) << ": " << attachment.name.value_or("(no name)");
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(OutlookFiles, ExportComparison, ::testing::ValuesIn(kFixtures),
                         [](const ::testing::TestParamInfo<const char*>& fixture) {
                             std::string name = fixture.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
}  // namespace mailsift::test
