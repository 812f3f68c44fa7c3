#include "ui/adjust_caption.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QLabel>
#include <QTreeView>
#include <QTreeWidget>

#include "ui/about_form.h"
#include "ui/browse_form.h"
#include "ui/caption_walk.h"
#include "ui/component_class.h"
#include "ui/dbx_view_form.h"
#include "ui/eae_wizard_form.h"
#include "ui/extract_dialog_form.h"
#include "ui/main_form.h"
#include "ui/message_view_form.h"
#include "ui/ms_outlook_step_by_step_form.h"
#include "ui/ms_outlook_wizard_form.h"
#include "ui/search_library_form.h"
#include "ui/search_storages_form.h"
#include "ui/setup_form.h"
#include "ui/storage_manager_form.h"
#include "ui/windows.h"

namespace mailsift::ui {

namespace {

using enum Property;

const WalkRule kCaptionAndHint{component::Label, {Caption, Hint}};
const WalkRule kCaption{component::Label, {Caption}};
const WalkRule kActionWithShortcut{component::Action, {Caption, Hint, Shortcut}};
const WalkRule kButton{component::Button, {Caption, Hint}};

// The windows' own titles and the pictures' hints have keys of their own.
void SetTitle(QWidget& window, const QString& key) {
    if (const std::optional<QString> text = LanguageTextIfSet(key)) window.setWindowTitle(*text);
}

void SetHintOf(QWidget& window, const QString& name, const QString& key) {
    QWidget* widget = window.findChild<QWidget*>(name);
    if (widget == nullptr) return;
    if (const std::optional<QString> text = LanguageTextIfSet(key)) widget->setToolTip(*text);
}

// Each column of a window's list is titled by prefix + "Column" + its number + ".caption".
void TitleColumns(QAbstractItemModel& list, const QString& prefix) {
    for (int column = 0; column < list.columnCount(); ++column) {
        if (const std::optional<QString> text =
                LanguageTextIfSet(QStringLiteral("%1Column%2.caption").arg(prefix).arg(column))) {
            list.setHeaderData(column, Qt::Horizontal, *text);
        }
    }
}

void AdjustStoreViewer(DBXViewForm& viewer) {
    SetTitle(viewer, QStringLiteral("DBXViewer.Caption"));
    WalkWindow(viewer, {.keyPrefix = QStringLiteral("DBXViewForm."), .rules = {kCaption}});
    WalkWindow(viewer, {.keyPrefix = QStringLiteral("DBXViewer."),
                        .shortcutPrefix = QStringLiteral("DBXViewer."),
                        .rules = {kActionWithShortcut}});
    TitleColumns(*viewer.List().model(), QStringLiteral("DBXViewer."));
}

void AdjustStorageManager(StorageManagerForm& manager) {
    SetTitle(manager, QStringLiteral("StorageManagerForm.Caption"));
    WalkWindow(manager, {.keyPrefix = QStringLiteral("StorageManagerForm."),
                         .shortcutPrefix = QStringLiteral("StorageManagerForm."),
                         .rules = {kCaption, kActionWithShortcut}});
    TitleColumns(*manager.List().model(), QStringLiteral("StorageManagerForm."));
    if (auto* panel = manager.findChild<QLabel*>(QStringLiteral("Panel2"))) {
        if (const std::optional<QString> text =
                LanguageTextIfSet(QStringLiteral("StorageManagerForm.Panel2.Caption"))) {
            panel->setText(*text);
        }
    }
}

// Columns are numbered from 0: prefix + "Column" + N + ".caption".
void SetColumnCaptions(QWidget& window, const QString& prefix) {
    auto* list = window.findChild<QTreeView*>(QStringLiteral("FoundList"));
    if (list != nullptr && list->model() != nullptr) TitleColumns(*list->model(), prefix);
}

// The windows that search for MS Outlook's files, with the picture that starts it.
void AdjustOutlookWindows(Windows& windows) {
    const WalkRule labels{component::Label, {Caption}};
    const WalkRule buttons{component::Button, {Caption, Hint}};
    const WalkRule radioButtons{component::RadioButton, {Caption}};
    const WalkRule checkBoxes{component::CheckBox, {Caption}};
    const QString startOutlook = QStringLiteral("StartMSOutlookHint");

    MSOutlookWizardForm& wizard = windows.msOutlookWizardForm();
    WalkWindow(wizard, {.keyPrefix = QStringLiteral("MSOutlookWizardForm."),
                        .rules = {labels, radioButtons, buttons}});
    MSOutlookStepByStepForm& steps = windows.msOutlookStepByStepForm();
    WalkWindow(steps, {.keyPrefix = QStringLiteral("MSOutlookStepByStepForm."),
                       .rules = {labels, buttons}});
    SearchLibraryForm& library = windows.searchLibraryForm();
    WalkWindow(library,
               {.keyPrefix = QStringLiteral("SearchLibraryForm."), .rules = {labels, buttons}});
    SetColumnCaptions(library, QStringLiteral("SearchLibraryForm."));
    // The storage search speaks the user's language like the search it was made from.
    SearchStoragesForm& storages = windows.searchStoragesForm();
    WalkWindow(storages, {.keyPrefix = QStringLiteral("SearchStoragesForm."),
                          .rules = {labels, buttons, checkBoxes}});
    SetColumnCaptions(storages, QStringLiteral("SearchLibraryForm."));
    if (auto* description = storages.findChild<QLabel*>(QStringLiteral("Label1"))) {
        description->setText(LanguageText("SearchLibraryForm.SearchPSTFilesCaption"));
    }

    SetTitle(wizard, QStringLiteral("MSOutlookWizardForm.Caption"));
    SetHintOf(wizard, QStringLiteral("Image1"), startOutlook);
    SetTitle(steps, QStringLiteral("MSOutlookStepByStepForm.Caption"));
    SetHintOf(steps, QStringLiteral("Image2"), startOutlook);
    SetTitle(library, QStringLiteral("SearchLibraryForm.Caption"));
    SetHintOf(library, QStringLiteral("Image2"), startOutlook);
    SetTitle(storages, QStringLiteral("SearchStoragesForm.Caption"));
    SetHintOf(storages, QStringLiteral("Image2"), startOutlook);
}

}  // namespace

void AdjustCaption(Windows& windows) {
    MainForm& mainForm = windows.mainForm();
    AboutForm& aboutForm = windows.aboutForm();
    ExtractDialogForm& extractDialog = windows.extractDialogForm();
    SetupForm& setupForm = windows.setupForm();
    for (QWidget* window : {static_cast<QWidget*>(&mainForm), static_cast<QWidget*>(&aboutForm),
                            static_cast<QWidget*>(&extractDialog),
                            static_cast<QWidget*>(&windows.storageManagerForm())}) {
        PaintPanelsOwnColour(*window);
    }
    PaintPanelsOwnColour(setupForm);

    WalkWindow(mainForm, {.keyPrefix = QStringLiteral("MainForm."),
                          .shortcutPrefix = QStringLiteral("MainForm."),
                          .rules = {kCaptionAndHint, kActionWithShortcut}});
    for (const char* picture : {"Image1", "Image2", "MSOutlookImage", "OutlookExpressImage",
                                "ThunderbirdImage", "EudoraImage"}) {
        SetHintOf(mainForm, QString::fromLatin1(picture),
                  QStringLiteral("MainForm.%1.Hint").arg(QString::fromLatin1(picture)));
    }

    // The source viewer re-labels itself for each message it shows; the one made at start-up
    // speaks the language from the start as well.
    windows.messageViewForm().Relabel();
    AdjustStoreViewer(windows.dbxViewForm());
    AdjustStorageManager(windows.storageManagerForm());
    WalkWindow(setupForm,
               {.keyPrefix = QStringLiteral("SetupForm."),
                .shortcutPrefix = QStringLiteral("SetupForm."),
                .rules = {kCaption,
                          {component::TabSheet, {Caption}},
                          {component::SpeedButton, {Caption, Hint}},
                          {component::CheckBox, {Caption, Hint}},
                          {component::Image, {Hint}},
                          kActionWithShortcut,
                          // Its push buttons speak the user's language too.
                          {component::Button, {Caption}}},
                // Buttons bound to an action show the action's caption.
                .keepDesignText = {QStringLiteral("Button10"), QStringLiteral("Button11"),
                                   QStringLiteral("MSOutlookReplaceButton"),
                                   QStringLiteral("MSOutlookAddButton"),
                                   QStringLiteral("MSOutlookDeleteButton"),
                                   QStringLiteral("MSOutlookDeleteInvalidButton"),
                                   QStringLiteral("MSOutlookSearchButton"),
                                   QStringLiteral("ConnectionWizardButton")},
                .labelCaptionDefaultsToDesign = true});

    WalkWindow(aboutForm, {.keyPrefix = QStringLiteral("AboutForm."),
                           .rules = {kCaption, kButton},
                           .keepDesignText = {QStringLiteral("Label1"), QStringLiteral("Label2"),
                                              QStringLiteral("Label3"), QStringLiteral("Label7")}});
    WalkWindow(extractDialog,
               {.keyPrefix = QStringLiteral("ExtractDialogForm."), .rules = {kCaption, kButton}});

    // The folder picker is re-labelled too, so that it speaks the user's language like the
    // windows that open it.
    BrowseForm& browseForm = windows.browseForm();
    SetTitle(browseForm, QStringLiteral("BrowseForm.Caption"));
    WalkWindow(browseForm,
               {.keyPrefix = QStringLiteral("BrowseForm."), .rules = {kCaption, kButton}});

    AdjustOutlookWindows(windows);
    SetTitle(setupForm, QStringLiteral("SetupForm.Captions"));

    if (auto* statusLine = mainForm.findChild<QLabel*>(QStringLiteral("Label9"))) {
        statusLine->clear();
    }

    // The texts the wizard itself puts into its labels at run time keep out of the walk. The
    // walk lets no events run between components: at start-up that would polish the hidden
    // main window under its style sheet and wash out its lit section.
    EAEWizardFrm& wizard = windows.eaeWizardFrm();
    PaintPanelsOwnColour(wizard);
    SetTitle(wizard, QStringLiteral("EAEWizardFrm.Caption"));
    WalkWindow(wizard,
               {.keyPrefix = QStringLiteral("EAEWizardFrm."),
                .rules = {kCaptionAndHint,
                          {component::Action, {Caption, Hint}},
                          {component::GroupBox, {Caption, Hint}}},
                .keepDesignText = {QStringLiteral("Label10"), QStringLiteral("Label19"),
                                   QStringLiteral("StorageLabel"), QStringLiteral("StartedLabel"),
                                   QStringLiteral("NowLabel"), QStringLiteral("TotalLabel"),
                                   QStringLiteral("CountLabel")},
                .captionSuffix = QStringLiteral(".Caption")});
    wizard.AdjustFixedCaptions();
    // Entry i of the language list stands for language folder i.
    if (auto* languages = setupForm.findChild<QComboBox*>(QStringLiteral("ComboBox1"))) {
        languages->clear();
        for (const char* key : {"Engish", "Russian", "France"}) {
            languages->addItem(LanguageText(key));
        }
        languages->setCurrentIndex(Settings.SelectedLanguage);
    }
}

}  // namespace mailsift::ui
