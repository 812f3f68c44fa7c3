#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "config/folders.h"
#include "config/outlook_store_list.h"
#include "config/settings.h"
#include "outlook/default_store_backends.h"
#include "platform/thousands.h"
#include "samples/demo_personal_folders.h"
#include "samples/demo_stores.h"
#include "samples/mailbox_writer.h"
#include "samples/pst_store_writer.h"
#include "ui/browse_form.h"
#include "ui/dbx_view_form.h"
#include "ui/message_list_model.h"
#include "ui/message_view_form.h"
#include "ui/preview_browser.h"
#include "ui/startup.h"
#include "ui/windows.h"
#include "ui_test_classes.h"
#include "ui_test_support.h"

namespace mailsift::ui::test {

namespace {

namespace fs = std::filesystem;
using samples::MailboxMessage;
using samples::MailboxWriter;
using samples::MailClient;

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A Thunderbird folder tree under root with one mailbox "Inbox" holding messages.
std::string WriteInbox(const std::string& root, const std::vector<MailboxMessage>& messages) {
    fs::create_directories(root);
    MailboxWriter writer(samples::AddMailboxFolder(MailClient::Thunderbird, root, "Inbox"));
    for (const MailboxMessage& message : messages) writer.Add(message);
    writer.Close();
    return root;
}

// A mailbox "Inbox" whose messages are given as raw text, each after its separator line.
std::string WriteRawInbox(const std::string& root, const std::vector<std::string>& texts) {
    fs::create_directories(root);
    MailboxWriter writer(samples::AddMailboxFolder(MailClient::Thunderbird, root, "Inbox"));
    for (const std::string& text : texts) {
        writer.AddRaw("From someone@example.org Mon Jan  1 10:00:00 2024\n" + text + "\n\n");
    }
    writer.Close();
    return root;
}

QList<QTreeWidgetItem*> Children(QTreeWidgetItem* node) {
    QList<QTreeWidgetItem*> children;
    for (int i = 0; i < node->childCount(); ++i) children.append(node->child(i));
    return children;
}

// Every node below node, in tree order.
QList<QTreeWidgetItem*> Below(QTreeWidgetItem* node) {
    QList<QTreeWidgetItem*> all;
    for (QTreeWidgetItem* child : Children(node)) all << child << Below(child);
    return all;
}

// The shape of a subtree: each node's depth and text.
QStringList Shape(QTreeWidgetItem* node, int depth = 0) {
    QStringList shape;
    for (QTreeWidgetItem* child : Children(node)) {
        shape << QString(depth, QLatin1Char('-')) + child->text(0) << Shape(child, depth + 1);
    }
    return shape;
}

// The message count a folder node's text shows, 0 without one.
int CountOf(const QTreeWidgetItem* node) {
    const QString text = node->text(0);
    if (!text.endsWith(QLatin1Char(')'))) return 0;
    const qsizetype open = text.lastIndexOf(QLatin1Char('('));
    return text.mid(open + 1, text.size() - open - 2).toInt();
}

class ViewerFixture {
  public:
    ViewerFixture() : windows_(StartUp({})) {}
    DBXViewForm& viewer() { return windows_->dbxViewForm(); }
    Windows& windows() { return *windows_; }
    WindowTestFolder& folder() { return folder_; }

    // Adds the store at path and reads its first folder's messages into the list.
    QTreeWidgetItem* ListFirstFolder(const std::string& path) {
        QTreeWidgetItem* store = viewer().AddStorageToTree(DBXViewForm::UserDefinedCaption(), path);
        viewer().Tree().setCurrentItem(store);
        viewer().Tree().setCurrentItem(store->child(0));
        return store->child(0);
    }
    QString Field(const char* name) { return viewer().findChild<QLineEdit*>(name)->text(); }
    void Select(std::initializer_list<int> rows) {
        QItemSelectionModel& selection = *viewer().List().selectionModel();
        selection.clearSelection();
        for (int row : rows) {
            selection.select(viewer().Messages().index(row, 0),
                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    // Makes row the current one, as a click on it does.
    void Click(int row) {
        viewer().List().selectionModel()->setCurrentIndex(
            viewer().Messages().index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    QStringList Column(int column) {
        QStringList texts;
        for (int row = 0; row < viewer().Messages().rowCount(); ++row) {
            texts << viewer().Messages().index(row, column).data().toString();
        }
        return texts;
    }

  private:
    WindowTestFolder folder_;
    std::unique_ptr<Windows> windows_;
};

MailboxMessage Mail(std::string from, std::string subject, std::string date, size_t bodyLines) {
    MailboxMessage message;
    message.FromName = std::move(from);
    message.FromAddress = "sender@example.org";
    message.Subject = std::move(subject);
    message.Date = std::move(date);
    message.Body.assign(bodyLines, "A line of the body.");
    return message;
}

class StoreViewerTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { UseDefaultStoreBackends(); }

    void treeHangsFoldersByTheirFileAndParentAndCountsEveryMessage() {
        ViewerFixture fixture;
        WriteSetting("MSOutlookLibraryPath", MAPI_PROVIDER_PATH);
        const std::string stores = fixture.folder() / "stores";
        const samples::DemoStores demo = samples::WriteDemoStores(stores);
        const std::string secondPst = samples::WriteDemoPersonalFolderFile(stores + "/second");
        SaveMSOutlookFileList({{.Path = demo.MSOutlook, .Selected = true, .Exists = true},
                               {.Path = secondPst, .Selected = false, .Exists = true}});
        Settings.OutlookExpressBaseFile = demo.OutlookExpress;
        Settings.ThunderbirdBaseFile = demo.Thunderbird;
        Settings.EudoraBaseFile.clear();
        fixture.windows().ShowViewer();
        QTreeWidget& tree = fixture.viewer().Tree();
        // Both MS Outlook files, ticked or not; no node for an empty Eudora setting.
        QCOMPARE(tree.topLevelItemCount(), 4);
        QCOMPARE(tree.topLevelItem(2)->text(0), QStringLiteral("Folders.dbx"));
        QCOMPARE(tree.topLevelItem(3)->text(0), QStringLiteral("Local Folders"));

        QTreeWidgetItem* first = tree.topLevelItem(0);
        QTreeWidgetItem* second = tree.topLevelItem(1);
        tree.setCurrentItem(first);
        const QStringList firstShape = Shape(first);
        QVERIFY(firstShape.size() > 2);
        // The personal folder file's folders hang below their parents, not all below the store.
        QVERIFY(std::any_of(firstShape.begin(), firstShape.end(),
                            [](const QString& line) { return line.startsWith(QLatin1Char('-')); }));
        tree.setCurrentItem(second);
        // The second file of the same shape gets a tree of its own; the first keeps its own.
        QCOMPARE(Shape(second), firstShape);
        QCOMPARE(Shape(first), firstShape);

        // The summary counts the messages of every folder, the first one's too.
        for (QTreeWidgetItem* store : {first, tree.topLevelItem(2), tree.topLevelItem(3)}) {
            tree.setCurrentItem(store);
            const QList<QTreeWidgetItem*> folders = Below(store);
            int messages = 0;
            for (const QTreeWidgetItem* node : folders) messages += CountOf(node);
            QVERIFY(messages > 0);
            QVERIFY2(
                store->text(0).endsWith(
                    QStringLiteral(" [%1 folders, %2 messages]").arg(folders.size()).arg(messages)),
                qPrintable(store->text(0)));
            for (const QTreeWidgetItem* node : folders) {
                QCOMPARE(node->foreground(0).color() == QColor(0, 128, 0), CountOf(node) > 0);
            }
            QVERIFY(store->font(0).bold());
        }
        // Outlook Express keeps each folder in a file of its own: all hang below the store.
        QCOMPARE(Children(tree.topLevelItem(2)).size(), Below(tree.topLevelItem(2)).size());

        // A store read once is not read again; a refresh rebuilds the tree from the settings.
        tree.setCurrentItem(first->child(0));
        tree.setCurrentItem(first);
        QCOMPARE(Shape(first), firstShape);
        fixture.viewer().RefreshStorages();
        QCOMPARE(tree.topLevelItem(0)->childCount(), 0);
    }

    void sortingFlipsWithEveryClickAndActionsFollowTheClickedRow() {
        ViewerFixture fixture;
        const std::string root =
            WriteInbox(fixture.folder() / "tb",
                       {Mail("bertha", "Carrots", "Mon, 01 Jan 2024 10:00:00 +0000", 1),
                        Mail("Anton", "apples", "Wed, 03 Jan 2024 10:00:00 +0000", 40),
                        Mail("celine", "Bananas", "Tue, 02 Jan 2024 10:00:00 +0000", 5)});
        fixture.ListFirstFolder(root);
        MessageListModel& model = fixture.viewer().Messages();
        QCOMPARE(model.rowCount(), 3);
        QHeaderView& header = *fixture.viewer().List().header();

        // From 0 the direction goes to -1, 1, -2 …: the sign flips whatever column is clicked.
        header.sectionClicked(MessageListModel::FromColumn);
        QCOMPARE(fixture.Column(0), QStringList({"celine", "bertha", "Anton"}));
        header.sectionClicked(MessageListModel::FromColumn);
        QCOMPARE(fixture.Column(0), QStringList({"Anton", "bertha", "celine"}));
        header.sectionClicked(MessageListModel::SubjectColumn);
        QCOMPARE(fixture.Column(1), QStringList({"Carrots", "Bananas", "apples"}));
        header.sectionClicked(MessageListModel::SendColumn);
        // A positive direction puts the latest first.
        QCOMPARE(fixture.Column(0), QStringList({"Anton", "celine", "bertha"}));
        header.sectionClicked(MessageListModel::SizeColumn);
        QCOMPARE(fixture.Column(0), QStringList({"bertha", "celine", "Anton"}));
        header.sectionClicked(MessageListModel::SizeColumn);
        QCOMPARE(fixture.Column(0), QStringList({"Anton", "celine", "bertha"}));
        QCOMPARE(model.index(0, MessageListModel::SizeColumn).data(Qt::BackgroundRole).isValid(),
                 true);
        QVERIFY(!model.index(0, MessageListModel::FromColumn).data(Qt::BackgroundRole).isValid());

        // The preview, the save and the source all take the message of the clicked row.
        fixture.Click(1);
        QCOMPARE(fixture.Field("Edit3"), QStringLiteral("Bananas"));
        QCOMPARE(fixture.Field("Edit1"), QStringLiteral("celine <sender@example.org>"));
        fixture.Select({1});
        const QStringList saved = fixture.viewer().SaveSelected(DBXViewForm::SaveUse::Save);
        QCOMPARE(saved.size(), 1);
        QVERIFY(ReadWhole(saved[0].toStdString()).find("Subject: Bananas") != std::string::npos);

        fixture.viewer().SaveSelected(DBXViewForm::SaveUse::ViewCode);
        const QList<MessageViewForm*> sources =
            fixture.viewer().findChildren<MessageViewForm*>(Qt::FindDirectChildrenOnly);
        QCOMPARE(sources.size(), 1);
        QVERIFY(sources[0]->TextBox().toPlainText().contains(QStringLiteral("Subject: Bananas")));
        // The file shown is gone; the one saved before stays.
        QCOMPARE(std::distance(fs::directory_iterator(DBXViewForm::ViewerFolder()),
                               fs::directory_iterator()),
                 1);
    }

    void savesAreNumberedNamedSafelyAndNeverReplaceAFile() {
        ViewerFixture fixture;
        const std::string longName(300, 'x');
        const std::string root =
            WriteInbox(fixture.folder() / "tb",
                       {Mail("Ann", "one", "Mon, 01 Jan 2024 10:00:00 +0000", 1),
                        Mail("../../evil/name", "two", "Mon, 01 Jan 2024 11:00:00 +0000", 1),
                        Mail(longName, "three", "Mon, 01 Jan 2024 12:00:00 +0000", 1),
                        Mail("", "four", "Mon, 01 Jan 2024 13:00:00 +0000", 1)});
        fixture.ListFirstFolder(root);
        fixture.Select({0, 1, 2, 3});
        const std::string viewer = DBXViewForm::ViewerFolder();
        QStringList saved = fixture.viewer().SaveSelected(DBXViewForm::SaveUse::Save);
        // The name the file system refuses is saved under a name of its own; the rest go on.
        QCOMPARE(saved, QStringList({QString::fromStdString(viewer + "1 Ann.eml"),
                                     QString::fromStdString(viewer + "2 .._.._evil_name.eml"),
                                     QString::fromStdString(viewer + "NoName 1.eml"),
                                     QString::fromStdString(viewer + "4 .eml")}));
        QVERIFY(!fs::exists(fixture.folder() / "evil"));
        QVERIFY(ReadWhole(saved[1].toStdString()).find("Subject: two") != std::string::npos);

        // Saving again keeps the first files and writes beside them.
        const std::string before = ReadWhole(viewer + "1 Ann.eml");
        fixture.Select({0});
        saved = fixture.viewer().SaveSelected(DBXViewForm::SaveUse::Save);
        QCOMPARE(saved, QStringList({QString::fromStdString(viewer + "1 Ann (2).eml")}));
        QCOMPARE(ReadWhole(viewer + "1 Ann.eml"), before);

        // Opening saves too, and hands the file to the desktop.
        saved = fixture.viewer().SaveSelected(DBXViewForm::SaveUse::OpenSelected);
        QCOMPARE(fixture.folder().opens().opened,
                 QList<QUrl>({QUrl::fromLocalFile(saved.value(0))}));

        // Save as goes to the folder chosen in the picker.
        const std::string chosen = fixture.folder() / "chosen";
        fs::create_directories(chosen);
        QTimer::singleShot(0, &fixture.windows().browseForm(), [&] {
            fixture.windows().browseForm().SetPath(QString::fromStdString(chosen));
            fixture.windows().browseForm().accept();
        });
        saved = fixture.viewer().SaveSelected(DBXViewForm::SaveUse::SaveAs);
        QCOMPARE(saved, QStringList({QString::fromStdString(chosen + "/1 Ann.eml")}));
    }

    void personalFolderMessagesSaveAsMsgFiles() {
        ViewerFixture fixture;
        WriteSetting("MSOutlookLibraryPath", MAPI_PROVIDER_PATH);
        const std::string pst = fixture.folder() / "three.pst";
        {
            samples::PstStoreWriter writer(pst, "Three");
            const uint32_t inbox = writer.AddFolder(writer.TopFolder(), std::string("Inbox"));
            for (const char* sender : {"Ann", "Bob", ""}) {
                samples::PstMessage message;
                message.Subject = std::string("from ") + sender;
                message.SenderName = sender;
                message.SenderAddress = "someone@example.org";
                message.Body = "Hello.";
                writer.AddMessage(inbox, message);
            }
            writer.Finish();
        }
        QTreeWidgetItem* store =
            fixture.viewer().AddStorageToTree(DBXViewForm::UserDefinedCaption(), pst);
        QTreeWidget& tree = fixture.viewer().Tree();
        tree.setCurrentItem(store);
        QTreeWidgetItem* inbox = nullptr;
        for (QTreeWidgetItem* node : Below(store)) {
            if (node->text(0).startsWith(QStringLiteral("Inbox"))) inbox = node;
        }
        QVERIFY(inbox != nullptr);
        QCOMPARE(CountOf(inbox), 3);
        tree.setCurrentItem(inbox);
        QCOMPARE(fixture.viewer().Messages().rowCount(), 3);
        fixture.viewer().List().selectAll();
        const QStringList saved = fixture.viewer().SaveSelected(DBXViewForm::SaveUse::Save);
        const std::string viewer = DBXViewForm::ViewerFolder();
        QCOMPARE(saved, QStringList({QString::fromStdString(viewer + "1 Ann.msg"),
                                     QString::fromStdString(viewer + "2 Bob.msg"),
                                     QString::fromStdString(viewer + "3 .msg")}));
        for (const QString& file : saved) {
            // Compound files, not MIME text.
            QCOMPARE(ReadWhole(file.toStdString()).substr(0, 4), std::string("\xD0\xCF\x11\xE0"));
        }
    }

    void previewShowsOnlyThePreviewFileAndFetchesNothing() {
        ViewerFixture fixture;
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        int connections = 0;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            ++connections;
            delete server.nextPendingConnection();
        });
        const QString remote = QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort());
        const std::string html =
            "<html><head><link rel=\"stylesheet\" href=\"" + remote.toStdString() +
            "style.css\"></head><body><p>Look <a href=\"" + remote.toStdString() +
            "page\">here</a></p><img src=\"" + remote.toStdString() +
            "image.png\"><img src=\"file:///etc/hostname\"></body></html>";
        const std::string root = WriteRawInbox(
            fixture.folder() / "tb",
            {"From: Ann <ann@example.org>\nTo: Bob <bob@example.org>\nSubject: html\n"
             "MIME-Version: 1.0\nContent-Type: multipart/alternative; boundary=\"b1\"\n\n"
             "--b1\nContent-Type: text/plain; charset=us-ascii\n\nPLAIN VERSION\n"
             "--b1\nContent-Type: text/html; charset=us-ascii\n\n" +
                 html + "\n--b1--",
             "From: Ann <ann@example.org>\nTo: Bob <bob@example.org>\nSubject: plain\n\n"
             "Use <b>bold</b> & more\nsecond line"});
        fixture.ListFirstFolder(root);
        PreviewBrowser& browser = fixture.viewer().Browser();
        const QUrl preview =
            QUrl::fromLocalFile(QString::fromStdString(DBXViewForm::PreviewFile()));
        // The message's HTML part is what shows, not its plain text.
        QCOMPARE(browser.source(), preview);
        QVERIFY(browser.toPlainText().contains(QStringLiteral("Look here")));
        QVERIFY(!browser.toPlainText().contains(QStringLiteral("PLAIN VERSION")));
        // Drawn, the page asks for its pictures and style sheet: each is refused.
        fixture.viewer().show();
        browser.grab();
        QVERIFY(browser.RefusedLoads() >= 2);

        // A link leads nowhere: neither a click nor a navigation leaves the preview file.
        const int refused = browser.RefusedLoads();
        emit browser.anchorClicked(QUrl(remote + QStringLiteral("page")));
        browser.setSource(QUrl(remote + QStringLiteral("page")));
        browser.setSource(QUrl::fromLocalFile(QStringLiteral("/etc/hostname")));
        browser.setSource(
            QUrl::fromLocalFile(QString::fromStdString(ConfigFolder() + "temp/../main.ini")));
        QCOMPARE(browser.source(), preview);
        QCOMPARE(browser.RefusedLoads(), refused + 3);
        QTest::qWait(200);
        QCOMPARE(connections, 0);

        // A plain-text body shows every character as written, line breaks kept.
        fixture.Click(1);
        QCOMPARE(fixture.Field("Edit3"), QStringLiteral("plain"));
        const QString shown = browser.toPlainText();
        QVERIFY2(shown.contains(QStringLiteral("Use <b>bold</b> & more\nsecond line")),
                 qPrintable(shown));
    }

    void aLongListingStopsWhenAnotherFolderIsClicked() {
        ViewerFixture fixture;
        const std::string root = fixture.folder() / "big";
        fs::create_directories(root);
        {
            MailboxWriter writer(samples::AddMailboxFolder(MailClient::Thunderbird, root, "All"));
            MailboxMessage message = Mail("Ann", "many", "Mon, 01 Jan 2024 10:00:00 +0000", 1);
            for (int i = 0; i < 100000; ++i) writer.Add(message);
            writer.Close();
            MailboxWriter small(samples::AddMailboxFolder(MailClient::Thunderbird, root, "Few"));
            small.Add(message);
            small.Close();
        }
        QTreeWidget& tree = fixture.viewer().Tree();
        QTreeWidgetItem* store =
            fixture.viewer().AddStorageToTree(DBXViewForm::UserDefinedCaption(), root);
        tree.setCurrentItem(store);
        QCOMPARE(store->childCount(), 2);
        QTreeWidgetItem* big = store->child(0)->text(0).startsWith(QStringLiteral("All"))
                                   ? store->child(0)
                                   : store->child(1);
        QTreeWidgetItem* few = big == store->child(0) ? store->child(1) : store->child(0);

        // The whole folder lists when nothing interrupts it.
        tree.setCurrentItem(big);
        QCOMPARE(fixture.viewer().Messages().rowCount(), 100000);
        tree.setCurrentItem(store);

        // A click on another folder while the listing runs ends it and keeps the selection.
        bool clicked = false;
        int listedAtClick = 0;
        std::function<void()> clickWhenListing = [&] {
            if (!fixture.viewer().Busy() || fixture.viewer().Messages().rowCount() == 0) {
                QTimer::singleShot(1, this, clickWhenListing);
                return;
            }
            listedAtClick = fixture.viewer().Messages().rowCount();
            tree.setCurrentItem(few);
            clicked = true;
        };
        QTimer::singleShot(0, this, clickWhenListing);
        tree.setCurrentItem(big);
        QVERIFY(clicked);
        QVERIFY(!fixture.viewer().Busy());
        QCOMPARE(tree.currentItem(), big);
        QVERIFY(fixture.viewer().Messages().rowCount() < 100000);
        QVERIFY(fixture.viewer().Messages().rowCount() >= listedAtClick);
        // The second click is taken.
        tree.setCurrentItem(few);
        QCOMPARE(fixture.viewer().Messages().rowCount(), 1);
    }

    void anEmptyOrUnreadableFolderShowsTheEmptyPanel() {
        ViewerFixture fixture;
        const std::string root = WriteInbox(
            fixture.folder() / "tb", {Mail("Ann", "hi", "Mon, 01 Jan 2024 10:00:00 +0000", 1)});
        QTreeWidgetItem* inbox = fixture.ListFirstFolder(root);
        QCOMPARE(fixture.viewer().Messages().rowCount(), 1);
        QVERIFY(fixture.viewer().findChild<QWidget*>("Panel6")->isHidden());
        // The folder's file is emptied after the tree was read: no message can be read.
        fs::resize_file(root + "/Inbox", 0);
        fixture.viewer().Tree().setCurrentItem(inbox->parent());
        fixture.viewer().Tree().setCurrentItem(inbox);
        QCOMPARE(fixture.viewer().Messages().rowCount(), 0);
        QVERIFY(!fixture.viewer().List().isEnabled());
        QVERIFY(!fixture.viewer().findChild<QWidget*>("Panel6")->isHidden());

        // A store that cannot be opened shows no folders and stays usable.
        QTreeWidgetItem* missing = fixture.viewer().AddStorageToTree(
            DBXViewForm::UserDefinedCaption(), fixture.folder() / "no such store");
        fixture.viewer().Tree().setCurrentItem(missing);
        QCOMPARE(missing->childCount(), 0);
        // A path that ends in its folder's separator is named by the caption.
        QCOMPARE(fixture.viewer()
                     .AddStorageToTree(DBXViewForm::UserDefinedCaption(), root + "/")
                     ->text(0),
                 DBXViewForm::UserDefinedCaption());
        QCOMPARE(fixture.viewer().AddStorageToTree(QStringLiteral("x"), ""), nullptr);
    }

    void commandLineStoresOpenInTheViewer() {
        WindowTestFolder folder;
        const std::string root = WriteInbox(folder / "tb", {Mail("Ann", "hi", "", 1)});
        QCOMPARE(StoreArguments({QStringLiteral("/extract"), QStringLiteral("relative")}),
                 QStringList({QDir::current().absoluteFilePath(QStringLiteral("relative"))}));
        std::unique_ptr<Windows> windows = StartUp({});
        windows->OpenStoresInViewer({QString::fromStdString(root)});
        DBXViewForm& viewer = windows->dbxViewForm();
        QVERIFY(viewer.isVisible());
        QTreeWidgetItem* added = viewer.Tree().topLevelItem(viewer.Tree().topLevelItemCount() - 1);
        QCOMPARE(viewer.Tree().currentItem(), added);
        QCOMPARE(added->childCount(), 1);

        // A dropped store is added the same way; what is not a local file is not.
        const int before = viewer.Tree().topLevelItemCount();
        QMimeData dropped;
        dropped.setUrls({QUrl::fromLocalFile(QString::fromStdString(root)),
                         QUrl(QStringLiteral("http://example.org/store.pst"))});
        viewer.AddDroppedStores(dropped);
        QCOMPARE(viewer.Tree().topLevelItemCount(), before + 1);
        QCOMPARE(viewer.Tree().topLevelItem(before)->data(0, Qt::UserRole).toString(),
                 QString::fromStdString(root));
    }
};

class MessageSourceTest : public QObject {
    Q_OBJECT
  private slots:
    void findIsCaseSensitiveAndStartsAfterTheSelection() {
        WindowTestFolder folder;
        const std::string file = folder / "m.eml";
        std::ofstream(file) << "alpha Beta alpha beta";
        MessageViewForm form;
        TMessage message;
        message.ToName = "Bob";
        message.Subject = "Hi";
        form.ShowMessageFile(file, message, 0);
        QCOMPARE(form.windowTitle(), QStringLiteral("Bob [Hi]"));
        QPlainTextEdit& box = form.TextBox();
        QVERIFY(box.isReadOnly());
        QVERIFY(form.FindNext(QStringLiteral("alpha")));
        QCOMPARE(box.textCursor().selectionStart(), 0);
        QVERIFY(form.FindNext(QStringLiteral("alpha")));
        QCOMPARE(box.textCursor().selectionStart(), 11);
        // Past the last one nothing changes.
        QVERIFY(!form.FindNext(QStringLiteral("alpha")));
        QCOMPARE(box.textCursor().selectionStart(), 11);
        QCOMPARE(box.textCursor().selectedText(), QStringLiteral("alpha"));
        // Letter case counts: "beta" is only found after "Beta".
        QTextCursor cursor = box.textCursor();
        cursor.setPosition(0);
        box.setTextCursor(cursor);
        QVERIFY(form.FindNext(QStringLiteral("beta")));
        QCOMPARE(box.textCursor().selectionStart(), 17);
        // A selection made by hand: the search starts after it, not at the caret.
        cursor.setPosition(12);
        cursor.setPosition(2, QTextCursor::KeepAnchor);
        box.setTextCursor(cursor);
        QVERIFY(form.FindNext(QStringLiteral("a")));
        QCOMPARE(box.textCursor().selectionStart(), 15);
        // Through the find box.
        cursor.setPosition(0);
        box.setTextCursor(cursor);
        form.findChild<QAction*>("FindAction")->trigger();
        QVERIFY(form.findChild<QDialog*>("FindDialog1")->isVisible());
        form.findChild<QLineEdit*>()->setText(QStringLiteral("Beta"));
        form.findChild<QDialog*>("FindDialog1")->findChild<QPushButton*>()->click();
        QCOMPARE(box.textCursor().selectionStart(), 6);
        form.close();
        QVERIFY(!form.findChild<QDialog*>("FindDialog1")->isVisible());
    }

    void statusCountsBytesAndLargeFilesShowTheirBeginning() {
        WindowTestFolder folder;
        const std::string empty = folder / "empty.eml";
        std::ofstream(empty).close();
        MessageViewForm first;
        first.ShowMessageFile(empty, {}, 0);
        QCOMPARE(first.findChild<QStatusBar*>()->currentMessage(), QStringLiteral("0 byte(s)"));
        QVERIFY(first.TextBox().toPlainText().isEmpty());

        const std::string large = folder / "large.eml";
        const int64_t size = MessageViewForm::kShownBytes + 1234567;
        std::ofstream(large) << std::string(static_cast<size_t>(size), 'x');
        MessageViewForm second;
        second.ShowMessageFile(large, {}, 2);
        QCOMPARE(second.TextBox().toPlainText().size(), MessageViewForm::kShownBytes);
        QVERIFY(second.findChild<QStatusBar*>()->currentMessage().startsWith(
            QString::fromStdString(FormatThousands(size)) + QStringLiteral(" byte(s) ")));
        // Windows of rows 0 and 2 cascade by 16 pixels a row.
        QCOMPARE(second.pos() - first.pos(), QPoint(32, 32));
    }
};

}  // namespace

std::unique_ptr<QObject> MakeStoreViewerTest() {
    return std::make_unique<StoreViewerTest>();
}

std::unique_ptr<QObject> MakeMessageSourceTest() {
    return std::make_unique<MessageSourceTest>();
}

}  // namespace mailsift::ui::test

#include "store_viewer_test.moc"
