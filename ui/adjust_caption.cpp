#include "ui/adjust_caption.h"

#include <QLabel>

#include "ui/about_form.h"
#include "ui/browse_form.h"
#include "ui/caption_walk.h"
#include "ui/component_class.h"
#include "ui/eae_wizard_form.h"
#include "ui/extract_dialog_form.h"
#include "ui/main_form.h"
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

}  // namespace

void AdjustCaption(Windows& windows) {
    MainForm& mainForm = windows.mainForm();
    AboutForm& aboutForm = windows.aboutForm();
    ExtractDialogForm& extractDialog = windows.extractDialogForm();
    for (QWidget* window : {static_cast<QWidget*>(&mainForm), static_cast<QWidget*>(&aboutForm),
                            static_cast<QWidget*>(&extractDialog)}) {
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
