// Renders every window of the desktop program in each language, without a display, into
// DIR/<language folder>/<FormName>.png, so that anyone can look at every window. The windows
// run in a throwaway program folder over sample stores, so that those that show stores show
// real content.
#include <stdlib.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QTabWidget>
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
#include "outlook/outlook_discovery.h"
#include "samples/demo_stores.h"
#include "ui/dbx_view_form.h"
#include "ui/eae_wizard_form.h"
#include "ui/mailsift_application.h"
#include "ui/message_boxes.h"
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
    // The bundled MAPI library reads the personal folder file.
    mailsift::FillMapiLibraryPath();
    // Nothing goes to the network while the pictures are taken.
    mailsift::WriteSetting("CheckForUpdate", "0");
}

// No question may wait for a click while the pictures are taken; each is answered No.
class AnsweringNo : public mailsift::ui::MessageBoxes {
  public:
    bool Ask(QWidget*, const QString&) override { return false; }
    void Tell(QWidget*, const QString&) override {}
};

bool Save(QWidget& window, const std::filesystem::path& file) {
    QApplication::processEvents();
    if (!window.grab().save(QString::fromStdString(file.string()))) {
        std::cerr << "mailsift-screenshots: cannot write " << file << '\n';
        return false;
    }
    std::cout << file.string() << '\n';
    return true;
}

// The address wizard's later pages, over the sample stores: its checks, the statistics of a
// finished extraction, the addresses found and the output options.
bool RenderWizardSteps(QWidget& wizard, const std::filesystem::path& folder) {
    QAction* next = wizard.findChild<QAction*>(QStringLiteral("Next_Action"));
    QAction* back = wizard.findChild<QAction*>(QStringLiteral("Prev_Action"));
    if (next == nullptr || back == nullptr) return false;
    wizard.show();
    const auto shot = [&](int step) {
        return Save(wizard, folder / ("EAEWizardFrm." + std::to_string(step) + ".png"));
    };
    next->trigger();
    bool saved = shot(2);
    next->trigger();  // the extraction goes on to the review by itself
    saved = saved && shot(4);
    back->trigger();
    saved = saved && shot(3);
    next->trigger();
    next->trigger();
    saved = saved && shot(5);
    wizard.hide();
    return saved;
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

// A window with pages is drawn once more for every page after the first, as
// "<FormName>.<page name>.png".
bool RenderOtherPages(QWidget& window, const std::filesystem::path& folder) {
    for (QTabWidget* pages : window.findChildren<QTabWidget*>()) {
        // Dialogs owned by the window hold their own pages.
        if (pages->window() != &window) continue;
        for (int page = 1; page < pages->count(); ++page) {
            pages->setCurrentIndex(page);
            QApplication::processEvents();
            if (!Save(window,
                      folder / (window.objectName().toStdString() + "." +
                                pages->widget(page)->objectName().toStdString() + ".png"))) {
                return false;
            }
        }
        pages->setCurrentIndex(0);
    }
    return true;
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
        const bool saved = Save(*window, folder / (window->objectName().toStdString() + ".png")) &&
                           RenderOtherPages(*window, folder);
        window->hide();
        if (!saved) return false;
    }
    return RenderWizardSteps(windows->eaeWizardFrm(), folder);
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
        mailsift::ui::InstallMessageBoxes(std::make_unique<AnsweringNo>());
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
