// Runs the window tests of one class (named by the first argument) or of all, under whatever
// platform QT_QPA_PLATFORM names; CTest runs them offscreen, one class per test.
#include <QTest>
#include <cstring>
#include <memory>

#include "ui/mailsift_application.h"
#include "ui_test_classes.h"

int main(int argc, char** argv) {
    mailsift::ui::MailsiftApplication application(argc, argv);
    const char* only = argc > 1 ? argv[1] : nullptr;
    int failed = 0;
    bool ran = false;
    using namespace mailsift::ui::test;
    const struct {
        const char* name;
        std::unique_ptr<QObject> (*make)();
    } classes[] = {{"StartupTest", MakeStartupTest},
                   {"CaptionWalkTest", MakeCaptionWalkTest},
                   {"MainFormTest", MakeMainFormTest},
                   {"ExportButtonTest", MakeExportButtonTest},
                   {"SmallWindowsTest", MakeSmallWindowsTest},
                   {"UpdateCheckTest", MakeUpdateCheckTest},
                   {"EAEWizardTest", MakeEAEWizardTest},
                   {"AddressListPageTest", MakeAddressListPageTest},
                   {"StoreViewerTest", MakeStoreViewerTest},
                   {"MessageSourceTest", MakeMessageSourceTest},
                   {"StorageManagerTest", MakeStorageManagerTest},
                   {"SetupFormTest", MakeSetupFormTest},
                   {"OutlookWizardsTest", MakeOutlookWizardsTest}};
    for (const auto& [name, make] : classes) {
        if (only != nullptr && std::strcmp(only, name) != 0) continue;
        ran = true;
        std::unique_ptr<QObject> tests = make();
        char* testArguments[] = {argv[0]};
        failed += QTest::qExec(tests.get(), 1, testArguments);
    }
    return ran && failed == 0 ? 0 : 1;
}
