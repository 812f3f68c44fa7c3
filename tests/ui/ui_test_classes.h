#pragma once
// The window test classes, each made by name, so that CTest runs and reports them one by one.
#include <QObject>
#include <memory>

namespace mailsift::ui::test {

std::unique_ptr<QObject> MakeStartupTest();
std::unique_ptr<QObject> MakeCaptionWalkTest();
std::unique_ptr<QObject> MakeMainFormTest();
std::unique_ptr<QObject> MakeExportButtonTest();
std::unique_ptr<QObject> MakeSmallWindowsTest();
std::unique_ptr<QObject> MakeUpdateCheckTest();
std::unique_ptr<QObject> MakeEAEWizardTest();
std::unique_ptr<QObject> MakeAddressListPageTest();
std::unique_ptr<QObject> MakeStoreViewerTest();
std::unique_ptr<QObject> MakeMessageSourceTest();
std::unique_ptr<QObject> MakeStorageManagerTest();
std::unique_ptr<QObject> MakeSetupFormTest();
std::unique_ptr<QObject> MakeOutlookWizardsTest();

}  // namespace mailsift::ui::test
