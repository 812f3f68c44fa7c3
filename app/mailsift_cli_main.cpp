#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "config/folders.h"
#include "outlook/default_store_backends.h"

int main(int argc, char** argv) {
    try {
        mailsift::InitFolders(mailsift::ExecutablePath());
    } catch (const std::exception& error) {
        std::cerr << "mailsift-cli: cannot set up the program folder: " << error.what() << '\n';
        return 1;
    }
    mailsift::UseDefaultStoreBackends();
    return mailsift::RunCli(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
