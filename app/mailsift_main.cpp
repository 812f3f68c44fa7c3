// The desktop program.
#include "outlook/default_store_backends.h"
#include "ui/startup.h"

int main(int argc, char** argv) {
    mailsift::UseDefaultStoreBackends();
    return mailsift::ui::RunMailsift(argc, argv);
}
