// Renders every window of the desktop program in each language, without a display, into
// DIR/<language folder>/<FormName>.png, so that anyone can look at every window. The windows
// run in a throwaway program folder over sample stores, so that those that show stores show
// real content.
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QWidget>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "config/folders.h"
#include "config/outlook_store_list.h"
#include "config/settings.h"
#include "export/history_database.h"
#include "outlook/default_store_backends.h"
#include "samples/demo_stores.h"
#include "ui/dbx_view_form.h"
#include "ui/mailsift_application.h"
#include "ui/message_view_form.h"
#include "ui/startup.h"
#include "ui/windows.h"

namespace {

// The sample stores configured for every client, and every client chosen.
void ConfigureSampleStores(const mailsift::samples::DemoStores& stores) {
    mailsift::SaveMSOutlookFileList({{.Path = stores.MSOutlook, .Selected = true, .Exists = true}});
    mailsift::WriteSetting("OutlookExpressBaseFile", stores.OutlookExpress);
    mailsift::WriteSetting("ThunderbirdBaseFile", stores.Thunderbird);
    mailsift::WriteSetting("EudoraBaseFile", stores.Eudora);
    for (const char* key : {"ExtractFromMSOutlook", "ExtractFromOutlookExpress",
                            "ExtractFromThunderbird", "ExtractFromEudora"}) {
        mailsift::WriteSetting(key, "-1");
    }
    // Nothing goes to the network while the pictures are taken.
    mailsift::WriteSetting("CheckForUpdate", "0");
}

// A few exports in the history, one of them of a folder that is gone, for the storage manager.
void RecordSampleHistory(const std::string& work) {
    std::filesystem::create_directories(work + "/export/");
    mailsift::NewStorageRecord("MSOutlook", work + "/export/", 48213004, 1204, false, false);
    mailsift::NewStorageRecord("OutlookExpress", work + "/export/", 7340032, 312, true, false);
    mailsift::NewStorageRecord("Thunderbird", work + "/gone/", 1048576, 57, false, true);
}

// The windows that show content show some: the viewer a folder with a message previewed, the
// source viewer a message.
void PrepareWindow(mailsift::ui::Windows& windows, QWidget& window, const std::string& work) {
    if (&window == &windows.dbxViewForm()) {
        windows.ShowViewer();
        QTreeWidget& tree = windows.dbxViewForm().Tree();
        // The Outlook Express store, then its first folder that holds messages.
        for (int store = 0; store < tree.topLevelItemCount(); ++store) {
            if (!tree.topLevelItem(store)->text(0).contains(QStringLiteral(".dbx"),
                                                            Qt::CaseInsensitive)) {
                continue;
            }
            tree.setCurrentItem(tree.topLevelItem(store));
            for (QTreeWidgetItemIterator it(tree.topLevelItem(store)); *it != nullptr; ++it) {
                if ((*it)->parent() != nullptr && (*it)->text(0).endsWith(QLatin1Char(')'))) {
                    tree.setCurrentItem(*it);
                    break;
                }
            }
            break;
        }
    } else if (&window == &windows.messageViewForm()) {
        const std::string file = work + "/source.eml";
        std::ofstream(file, std::ios::binary)
            << "From: Anna Berg <anna@example.org>\r\nTo: Tom <tom@example.org>\r\n"
               "Subject: Photos\r\nDate: Tue, 8 Dec 2026 10:15:00 +0100\r\n"
               "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n"
               "Hello Tom,\r\n\r\nthe photos of Sunday are on their way.\r\n\r\nAnna\r\n";
        mailsift::TMessage message;
        message.ToName = "Tom";
        message.Subject = "Photos";
        windows.messageViewForm().ShowMessageFile(file, message, 0);
    }
}

bool RenderLanguage(int language, const std::filesystem::path& output, const std::string& work) {
    mailsift::WriteSetting("SelectedLanguage", std::to_string(language));
    std::unique_ptr<mailsift::ui::Windows> windows = mailsift::ui::StartUp({});
    if (!windows) return false;
    const std::filesystem::path folder =
        output / mailsift::Settings.LanguageNames.at(static_cast<size_t>(language));
    std::filesystem::create_directories(folder);
    for (QWidget* window : windows->All()) {
        window->show();
        QApplication::processEvents();
        PrepareWindow(*windows, *window, work);
        QApplication::processEvents();
        const std::filesystem::path file = folder / (window->objectName().toStdString() + ".png");
        if (!window->grab().save(QString::fromStdString(file.string()))) {
            std::cerr << "mailsift-screenshots: cannot write " << file << '\n';
            return false;
        }
        window->hide();
        std::cout << file.string() << '\n';
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: mailsift-screenshots DIR\n";
        return 2;
    }
    try {
        const std::filesystem::path output = std::filesystem::absolute(argv[1]);
        std::string work = std::filesystem::temp_directory_path() / "mailsift-screenshots-XXXXXX";
        if (mkdtemp(work.data()) == nullptr) {
            std::cerr << "mailsift-screenshots: cannot create a folder in the temporary folder\n";
            return 1;
        }
        const std::string program = work + "/program";
        setenv("MAILSIFT_HOME", program.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        mailsift::UseDefaultStoreBackends();
        mailsift::ui::MailsiftApplication application(argc, argv);
        mailsift::InitFolders(mailsift::ExecutablePath());
        ConfigureSampleStores(mailsift::samples::WriteDemoStores(work + "/stores"));
        RecordSampleHistory(work);

        bool rendered = true;
        for (int language = 0; rendered && language < 3; ++language) {
            rendered = RenderLanguage(language, output, work);
        }
        std::filesystem::remove_all(work);
        return rendered ? 0 : 1;
    } catch (const std::exception& error) {
        std::cerr << "mailsift-screenshots: " << error.what() << '\n';
        return 1;
    }
}
