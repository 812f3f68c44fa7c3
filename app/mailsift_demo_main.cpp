// A first look at Mailsift: writes small sample stores of Outlook Express, Thunderbird and
// Eudora into a throwaway folder, exports them in every form through the command line, and
// says where everything went. A written personal folder file is exported as .msg and as .eml
// files, and so is one named by MAILSIFT_DEMO_PST.
#include <stdlib.h>

#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "config/folders.h"
#include "outlook/default_store_backends.h"
#include "samples/demo_stores.h"

namespace {

int Cli(const std::vector<std::string>& args) {
    std::cout << "\n$ mailsift-cli";
    for (const std::string& arg : args) std::cout << ' ' << arg;
    std::cout << '\n';
    return mailsift::RunCli(args, std::cout, std::cerr);
}

}  // namespace

int main() {
    try {
        std::string folder = std::filesystem::temp_directory_path() / "mailsift-demo-XXXXXX";
        if (mkdtemp(folder.data()) == nullptr) {
            std::cerr << "mailsift-demo: cannot create a folder in the temporary folder\n";
            return 1;
        }
        // A program folder of its own, so that the demo's settings and history stay out of
        // the user's.
        const std::string program = folder + "/program";
        setenv("MAILSIFT_HOME", program.c_str(), 1);
        mailsift::InitFolders(mailsift::ExecutablePath());
        mailsift::UseDefaultStoreBackends();

        const std::string stores = folder + "/stores";
        const mailsift::samples::DemoStores written = mailsift::samples::WriteDemoStores(stores);
        const std::string express = written.OutlookExpress;
        const std::string& thunderbird = written.Thunderbird;
        const std::string& eudora = written.Eudora;
        std::cout << "Sample stores written to " << stores << '\n';

        const std::string output = folder + "/export";
        const std::string& personal = written.MSOutlook;
        int status = 0;
        for (const char* form : {"eml", "txt", "html", "attach"}) {
            status |= Cli({"export", express + "/Folders.dbx", thunderbird, eudora, "--to",
                           output + "/" + form, "--format", form, "--no-date-folder", "--no-zip"});
        }
        status |= Cli({"export", express + "/Folders.dbx", thunderbird, eudora, "--to",
                       output + "/zip", "--format", "eml", "--zip"});
        const char* pst = std::getenv("MAILSIFT_DEMO_PST");
        for (const char* form : {"msg", "eml"}) {
            std::vector<std::string> args{"export", personal};
            if (pst != nullptr && pst[0] != '\0') args.emplace_back(pst);
            args.insert(args.end(), {"--to", output + "/pst-" + form, "--format", form,
                                     "--no-date-folder", "--no-zip"});
            status |= Cli(args);
        }
        status |= Cli({"history"});

        std::cout << "\nExported files are in " << output
                  << "\n  eml/     messages as .eml files (open them in any mail client)"
                     "\n  txt/     text summaries\n  html/    HTML pages"
                     "\n  attach/  attachments only"
                     "\n  zip/     one archive per mail client"
                  << "\n  pst-msg/ pst-eml/  the personal folder file"
                  << (pst != nullptr && pst[0] != '\0' ? "s" : "") << " as .msg and .eml\n"
                  << "Settings, report log and history of the demo are in " << program
                  << "\nRemove " << folder << " when you are done.\n";
        return status == 0 ? 0 : 1;
    } catch (const std::exception& error) {
        std::cerr << "mailsift-demo: " << error.what() << '\n';
        return 1;
    }
}
