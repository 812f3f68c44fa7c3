// Renders every window of the desktop program in each language, without a display, into
// DIR/<language folder>/<FormName>.png, so that anyone can look at every window. The windows
// run in a throwaway program folder over sample stores, so that those that show stores show
// real content.
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QWidget>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>

#include "config/folders.h"
#include "config/outlook_store_list.h"
#include "config/settings.h"
#include "outlook/default_store_backends.h"
#include "samples/demo_stores.h"
#include "ui/mailsift_application.h"
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

// A window with pages is drawn once more for every page after the first, as
// "<FormName>.<page name>.png".
bool RenderOtherPages(QWidget& window, const std::filesystem::path& folder) {
    for (QTabWidget* pages : window.findChildren<QTabWidget*>()) {
        // Dialogs owned by the window hold their own pages.
        if (pages->window() != &window) continue;
        for (int page = 1; page < pages->count(); ++page) {
            pages->setCurrentIndex(page);
            QApplication::processEvents();
            const std::filesystem::path file =
                folder / (window.objectName().toStdString() + "." +
                          pages->widget(page)->objectName().toStdString() + ".png");
            if (!window.grab().save(QString::fromStdString(file.string()))) return false;
            std::cout << file.string() << '\n';
        }
        pages->setCurrentIndex(0);
    }
    return true;
}

bool RenderLanguage(int language, const std::filesystem::path& output) {
    mailsift::WriteSetting("SelectedLanguage", std::to_string(language));
    std::unique_ptr<mailsift::ui::Windows> windows = mailsift::ui::StartUp({});
    if (!windows) return false;
    const std::filesystem::path folder =
        output / mailsift::Settings.LanguageNames.at(static_cast<size_t>(language));
    std::filesystem::create_directories(folder);
    for (QWidget* window : windows->All()) {
        window->show();
        QApplication::processEvents();
        const std::filesystem::path file = folder / (window->objectName().toStdString() + ".png");
        if (!window->grab().save(QString::fromStdString(file.string()))) {
            std::cerr << "mailsift-screenshots: cannot write " << file << '\n';
            return false;
        }
        std::cout << file.string() << '\n';
        if (!RenderOtherPages(*window, folder)) {
            std::cerr << "mailsift-screenshots: cannot write the pages of "
                      << window->objectName().toStdString() << '\n';
            return false;
        }
        window->hide();
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

        bool rendered = true;
        for (int language = 0; rendered && language < 3; ++language) {
            rendered = RenderLanguage(language, output);
        }
        std::filesystem::remove_all(work);
        return rendered ? 0 : 1;
    } catch (const std::exception& error) {
        std::cerr << "mailsift-screenshots: " << error.what() << '\n';
        return 1;
    }
}
