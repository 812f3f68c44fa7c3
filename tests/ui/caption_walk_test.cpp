#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <fstream>
#include <sstream>

#include "config/folders.h"
#include "config/key_file.h"
#include "config/language.h"
#include "config/settings.h"
#include "ui/about_form.h"
#include "ui/caption_walk.h"
#include "ui/component_class.h"
#include "ui/main_form.h"
#include "ui/startup.h"
#include "ui/windows.h"
#include "ui_test_classes.h"
#include "ui_test_support.h"

namespace mailsift::ui::test {

namespace {

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool HasKeyLine(const std::string& file, const QString& key) {
    return FileText(file).find("\n" + key.toStdString() + "\t") != std::string::npos ||
           FileText(file).rfind(key.toStdString() + "\t", 0) == 0;
}

class CaptionWalkTest : public QObject {
    Q_OBJECT
  private slots:
    void emptyLanguageFileCollectsEveryKeyAndKeepsDesignTexts() {
        WindowTestFolder folder;
        const std::string language = LanguageFilePath();
        std::ofstream(language, std::ios::trunc).close();
        std::unique_ptr<Windows> windows = StartUp({});
        QVERIFY(windows);
        MainForm& main = windows->mainForm();

        // Every label and action of the main window was asked for, caption and hint, and
        // keeps its design text.
        int walked = 0;
        for (QObject* component : main.findChildren<QObject*>()) {
            const QString componentClass = ComponentClass(component);
            if (componentClass != component::Label && componentClass != component::Action) {
                continue;
            }
            // The dialogs the main window owns have keys of their own.
            QObject* owner = component->parent();
            while (owner != nullptr &&
                   !(owner->isWidgetType() && static_cast<QWidget*>(owner)->isWindow())) {
                owner = owner->parent();
            }
            if (owner != &main) continue;
            ++walked;
            const QString name = component->objectName();
            QVERIFY2(HasKeyLine(language, "MainForm." + name + ".caption"), qPrintable(name));
            QVERIFY2(HasKeyLine(language, "MainForm." + name + ".Hint"), qPrintable(name));
        }
        QVERIFY(walked >= 20);
        QCOMPARE(main.findChild<QLabel*>("Label1")->text(),
                 QStringLiteral("MS Outlook emails extract"));
        QCOMPARE(main.findChild<QAction*>("MSOutlookAction")->text(), QStringLiteral("&Export"));
        QVERIFY(HasKeyLine(language, "MainForm.EudoraImage.Hint"));
        QVERIFY(HasKeyLine(language, "ExtractDialogForm.Button3.Hint"));
        QVERIFY(HasKeyLine(language, "BrowseForm.Caption"));
        // Each action's shortcut was looked for in the settings.
        QVERIFY(HasKeyLine(ConfigFolder() + "main.ini", "MainForm.CloseActionShortCut"));

        // The About window's product lines are never re-labelled, nor asked for.
        AboutForm& about = windows->aboutForm();
        for (const char* name : {"Label1", "Label2", "Label3", "Label7"}) {
            QVERIFY(!HasKeyLine(language, QStringLiteral("AboutForm.%1.caption").arg(name)));
        }
        QVERIFY(HasKeyLine(language, "AboutForm.Label4.caption"));
        QVERIFY(about.findChild<QLabel*>("Label2")->text().startsWith("Mailsift "));
    }

    void languageTextsAndShortcutsReachTheControls() {
        WindowTestFolder folder;
        // Keys match in any letter case; "/ln" breaks the line.
        WriteKey(LanguageFilePath(), "mainform.LABEL3.Caption", "First/lnSecond");
        WriteKey(LanguageFilePath(), "MainForm.CloseAction.caption", "Quit");
        WriteKey(LanguageFilePath(), "MainForm.CloseAction.Hint", "Leave the program");
        WriteSetting("MainForm.CloseActionShortCut", "Ctrl+Q");
        WriteSetting("MainForm.HelpActionShortCut", "Shift+Ctrl+F1");
        WriteSetting("MainForm.AboutActionShortCut", "Ctrl+A, B");
        std::unique_ptr<Windows> windows = StartUp({});
        QVERIFY(windows);
        MainForm& main = windows->mainForm();

        QCOMPARE(main.findChild<QLabel*>("Label3")->text(), QStringLiteral("First\nSecond"));
        auto* close = main.findChild<QAction*>("CloseAction");
        QCOMPARE(close->text(), QStringLiteral("Quit"));
        // A control bound to the action shows what the action was given.
        QCOMPARE(main.findChild<QToolButton*>("Button3")->text(), QStringLiteral("Quit"));
        QCOMPARE(main.findChild<QToolButton*>("Button3")->toolTip(),
                 QStringLiteral("Leave the program"));
        QCOMPARE(close->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
        QCOMPARE(main.findChild<QAction*>("HelpAction")->shortcut(),
                 QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_F1));
        QVERIFY(main.findChild<QAction*>("AboutAction")->shortcut().isEmpty());
    }

    // The other windows' walks: tab sheets by their tab, group boxes, labels whose design text
    // becomes the language text, other key suffixes, and components of an owned dialog left to
    // that dialog's walk.
    void walkOptionsOfTheOtherWindows() {
        WindowTestFolder folder;
        QWidget window;
        auto tag = [](QObject* component, const QString& name, const QString& componentClass) {
            component->setObjectName(name);
            component->setProperty(kComponentClassProperty, componentClass);
        };
        auto* tabs = new QTabWidget(&window);
        auto* page = new QWidget;
        tabs->addTab(page, "Design tab");
        tag(page, "TabSheet1", component::TabSheet);
        auto* label = new QLabel("Design label", page);
        tag(label, "Label1", component::Label);
        auto* group = new QGroupBox("Design group", &window);
        tag(group, "GroupBox1", component::GroupBox);
        auto* untouched = new QCheckBox("Design check", &window);
        tag(untouched, "CheckBox1", component::CheckBox);
        QDialog owned(&window);
        auto* ownedLabel = new QLabel("Owned label", &owned);
        tag(ownedLabel, "Label2", component::Label);
        WriteKey(LanguageFilePath(), "Test.TabSheet1.Caption", "Translated tab");
        WriteKey(LanguageFilePath(), "Test.GroupBox1.Caption", "Translated group");

        WalkWindow(window, {.keyPrefix = "Test.",
                            .rules = {{component::Label, {Property::Caption}},
                                      {component::TabSheet, {Property::Caption}},
                                      {component::GroupBox, {Property::Caption}}},
                            .labelCaptionDefaultsToDesign = true,
                            .captionSuffix = ".Caption",
                            .yieldPerComponent = true});
        QCOMPARE(tabs->tabText(0), QStringLiteral("Translated tab"));
        QCOMPARE(group->title(), QStringLiteral("Translated group"));
        QCOMPARE(label->text(), QStringLiteral("Design label"));
        QCOMPARE(LanguageString("Test.Label1.Caption"), std::string("Design label"));
        QCOMPARE(untouched->text(), QStringLiteral("Design check"));
        QVERIFY(!HasKeyLine(LanguageFilePath(), "Test.CheckBox1.Caption"));
        QVERIFY(!HasKeyLine(LanguageFilePath(), "Test.Label2.Caption"));
        QCOMPARE(ownedLabel->text(), QStringLiteral("Owned label"));
    }

    void shortcutTextsThatNameNoSingleKeyGiveNone() {
        QCOMPARE(ParseShortcut("Alt+X"), QKeySequence(Qt::ALT | Qt::Key_X));
        QCOMPARE(ParseShortcut("ctrl+shift+delete"),
                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete));
        QCOMPARE(ParseShortcut("F5"), QKeySequence(Qt::Key_F5));
        for (const char* text : {"", "%MainForm.CloseActionShortCut", "Ctrl+", "Bogus",
                                 "Ctrl+A, Ctrl+B", "Meta+X", "Ctrl+Hyper+X"}) {
            QVERIFY2(ParseShortcut(text).isEmpty(), text);
        }
    }

    // A translation that lacks a caption would show the design text in English.
    void shippedLanguagesHaveEveryCaption() {
        for (int language = 0; language < 3; ++language) {
            WindowTestFolder folder;
            WriteSetting("SelectedLanguage", std::to_string(language));
            QVERIFY(StartUp({}));
            std::istringstream lines(FileText(LanguageFilePath()));
            for (std::string line; std::getline(lines, line);) {
                const size_t tab = line.find('\t');
                const std::string key = line.substr(0, tab);
                // The status line and the address counter show only what the program puts there.
                if (key.find(".Hint") != std::string::npos || key == "MainForm.Label9.caption" ||
                    key == "MainForm.Label12.caption") {
                    continue;
                }
                QVERIFY2(tab != std::string::npos && tab + 1 < line.size(),
                         qPrintable(QString::fromStdString(LanguageFilePath() + ": " + key)));
            }
        }
    }
};

}  // namespace

std::unique_ptr<QObject> MakeCaptionWalkTest() {
    return std::make_unique<CaptionWalkTest>();
}

}  // namespace mailsift::ui::test

#include "caption_walk_test.moc"
