#include "ui/adjust_caption.h"

#include <QAbstractItemModel>
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

}  // namespace

void AdjustCaption(Windows& windows) {
    MainForm& mainForm = windows.mainForm();
    AboutForm& aboutForm = windows.aboutForm();
    ExtractDialogForm& extractDialog = windows.extractDialogForm();
    for (QWidget* window : {static_cast<QWidget*>(&mainForm), static_cast<QWidget*>(&aboutForm),
                            static_cast<QWidget*>(&extractDialog),
                            static_cast<QWidget*>(&windows.storageManagerForm())}) {
        PaintPanelsOwnColour(*window);
    }

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
}

}  // namespace mailsift::ui
