#pragma once
// The store viewer: the configured stores and their folders in a tree, the messages of the
// folder chosen in a sortable list, a preview of the message chosen, and the selected messages
// saved, opened or shown as source. No store stays open between two actions: each one opens
// the store it needs and closes it before it returns.
#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "stores/core_types.h"
#include "stores/store_facade.h"

namespace Ui {
class DBXViewForm;
}

class QLabel;
class QMimeData;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

namespace mailsift::ui {

class BrowseForm;
class MessageListModel;
class PreviewBrowser;

class DBXViewForm : public QMainWindow {
    Q_OBJECT
  public:
    explicit DBXViewForm(BrowseForm& browseForm, QWidget* parent = nullptr);
    ~DBXViewForm() override;

    // The caption of stores added by the user (Open, the command line, a drop).
    static QString UserDefinedCaption() { return QStringLiteral("User define: "); }

    // Rebuilds the tree from the configured stores: every MS Outlook file of the list, then
    // Outlook Express, Thunderbird and Eudora.
    void RefreshStorages();
    // Adds a store node for path (nothing for an empty path), named after the path's last
    // component or caption when that is empty. Returns the node, or null.
    QTreeWidgetItem* AddStorageToTree(const QString& caption, const std::string& path);
    // Adds every local file or folder that dropped names as a store of the user's.
    void AddDroppedStores(const QMimeData& dropped);
    // Reads a store node's folders into the tree (once), or lists a folder node's messages.
    void ViewFolder(QTreeWidgetItem* node);

    enum class SaveUse { Save, SaveAs, OpenSelected, ViewCode };
    // Saves the selected messages, for use: into the viewer folder (a chosen folder for
    // SaveAs), then opens each file or shows its source. Returns the files kept.
    QStringList SaveSelected(SaveUse use);

    // The viewer folder: the storage folder + "Viewer folder/".
    static std::string ViewerFolder();
    // The preview page's file.
    static std::string PreviewFile();

    QTreeWidget& Tree();
    QTreeView& List();
    MessageListModel& Messages() { return *messages_; }
    PreviewBrowser& Browser();
    bool Busy() const { return busy_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    class BusyScope;

    void BindActions();
    void TreeSelectionChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void ReadStore(QTreeWidgetItem* storeNode);
    void ListFolder(QTreeWidgetItem* folderNode);
    void ShowPreview(const QModelIndex& current);
    void ClearPreview();
    void ShowCount(int count);
    void SetColumnWidths();
    void PlaceOverlays();
    void OpenDBX();
    QTreeWidgetItem* FindParentNode(const TFolder& folder) const;
    // The folder record of a folder node, null for a store node.
    const TFolder* FolderOf(const QTreeWidgetItem* node) const;
    static std::string StorePathOf(const QTreeWidgetItem* node);

    std::unique_ptr<Ui::DBXViewForm> ui_;
    BrowseForm& browseForm_;
    MessageListModel* messages_;
    QLabel* countPanel_;
    QLabel* pathPanel_;
    // The folder records of the tree's folder nodes, which outlive the store's open.
    std::deque<TFolder> folders_;
    StoreKind kind_ = StoreKind::OutlookExpress;
    bool busy_ = false;
    bool abort_ = false;
    bool refreshPending_ = false;
    QTreeWidgetItem* listedNode_ = nullptr;
    // The longest texts of the "From", "Send" and "Size" columns listed so far.
    QString widestFrom_;
    QString widestSend_;
    QString widestSize_;
    QString countFormat_ = QStringLiteral("%1 items");
};

}  // namespace mailsift::ui
