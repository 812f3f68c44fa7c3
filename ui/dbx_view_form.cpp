#include "ui/dbx_view_form.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QTreeWidgetItemIterator>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <exception>
#include <filesystem>
#include <fstream>

#include "config/folders.h"
#include "config/outlook_store_list.h"
#include "config/report_log.h"
#include "config/settings.h"
#include "platform/date_time.h"
#include "platform/file_system.h"
#include "platform/safe_path_component.h"
#include "platform/text_case.h"
#include "platform/text_match.h"
#include "platform/thousands.h"
#include "platform/work_hooks.h"
#include "stores/message_preview.h"
#include "stores/output_formats.h"
#include "ui/browse_form.h"
#include "ui/caption_walk.h"
#include "ui/message_list_model.h"
#include "ui/message_view_form.h"
#include "ui/preview_browser.h"
#include "ui/shell_open.h"
#include "ui/window_work_hooks.h"
#include "ui_dbx_view_form.h"

namespace mailsift::ui {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kFolderRole = Qt::UserRole + 1;
constexpr int kNotAFolder = -1;
const QColor kCountedFolder(0, 128, 0);
constexpr std::chrono::milliseconds kInsertionInterval{250};

// A store opened for one action and closed, whatever happens, before the action returns, so
// that the next action can open a store of the same backend again.
class OpenedStore {
  public:
    OpenedStore(const std::string& path, StoreKind& kind)
        : handle_(OpenMessageStoreOfKind(path, folders_, kind)) {}
    ~OpenedStore() {
        if (Opened()) CloseMessageStore(handle_);
    }
    OpenedStore(const OpenedStore&) = delete;
    OpenedStore& operator=(const OpenedStore&) = delete;

    bool Opened() const { return handle_ > kMaxResultCode; }
    StoreHandle Handle() const { return handle_; }
    const TFolderList& Folders() const { return folders_; }

  private:
    TFolderList folders_;
    StoreHandle handle_;
};

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// The Outlook Express folder list in the store folder, found whatever the letter case of its
// name on disk.
std::string OutlookExpressFolderList(const std::string& storeFolder) {
    std::string folder = storeFolder;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (EqualsIgnoringCase(name, "folders.dbx")) return folder + "/" + name;
    }
    return folder + "/Folders.dbx";
}

}  // namespace

// Marks the viewer busy for one operation that holds a store: the tree keeps its selection
// meanwhile, and a refresh asked for meanwhile runs when the outermost operation ends.
class DBXViewForm::BusyScope {
  public:
    explicit BusyScope(DBXViewForm& form) : form_(form), wasBusy_(form.busy_) { form.busy_ = true; }
    ~BusyScope() {
        form_.busy_ = wasBusy_;
        if (!wasBusy_ && form_.refreshPending_) {
            form_.refreshPending_ = false;
            form_.RefreshStorages();
        }
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    DBXViewForm& form_;
    bool wasBusy_;
};

DBXViewForm::DBXViewForm(BrowseForm& browseForm, QWidget* parent)
    : QMainWindow(parent),
      ui_(std::make_unique<Ui::DBXViewForm>()),
      browseForm_(browseForm),
      messages_(new MessageListModel(this)),
      countPanel_(new QLabel(this)),
      pathPanel_(new QLabel(this)) {
    ui_->setupUi(this);
    setAcceptDrops(true);
    ui_->StatusBar1->addWidget(countPanel_);
    ui_->StatusBar1->addWidget(pathPanel_, 1);
    ui_->ListView1->setModel(messages_);
    ui_->ListView1->setSortingEnabled(false);
    ui_->ListView1->header()->setSectionsClickable(true);
    ui_->ListView1->header()->setStretchLastSection(false);
    ui_->ListView1->header()->resizeSection(MessageListModel::FromColumn, 150);
    ui_->ListView1->header()->resizeSection(MessageListModel::SubjectColumn, 300);
    ui_->ListView1->header()->resizeSection(MessageListModel::SendColumn, 75);
    ui_->ListView1->header()->resizeSection(MessageListModel::SizeColumn, 100);
    ui_->Browser->SetAllowedFolder(Text(ConfigFolder() + "temp/"));
    ui_->Splitter1->setStretchFactor(1, 1);
    ui_->Splitter1->setSizes({230, 670});
    ui_->Splitter2->setSizes({330, 250});
    ui_->EnumMessagesPanel->setAutoFillBackground(true);
    ui_->EnumMessagesPanel->hide();
    ui_->Panel6->hide();
    ui_->ListPanel->installEventFilter(this);
    ui_->TreeView->setIconSize(QSize(16, 16));
    BindActions();
}

DBXViewForm::~DBXViewForm() = default;

QTreeWidget& DBXViewForm::Tree() {
    return *ui_->TreeView;
}

QTreeView& DBXViewForm::List() {
    return *ui_->ListView1;
}

PreviewBrowser& DBXViewForm::Browser() {
    return *ui_->Browser;
}

std::string DBXViewForm::ViewerFolder() {
    return Settings.StoragePath + "Viewer folder/";
}

std::string DBXViewForm::PreviewFile() {
    return ConfigFolder() + "temp/temp.html";
}

void DBXViewForm::BindActions() {
    connect(ui_->OpenDBXAction, &QAction::triggered, this, &DBXViewForm::OpenDBX);
    connect(ui_->SaveAction, &QAction::triggered, this, [this] { SaveSelected(SaveUse::Save); });
    connect(ui_->SaveAsAction, &QAction::triggered, this,
            [this] { SaveSelected(SaveUse::SaveAs); });
    connect(ui_->OpenSelectedAction, &QAction::triggered, this,
            [this] { SaveSelected(SaveUse::OpenSelected); });
    connect(ui_->ViewCodeAction, &QAction::triggered, this,
            [this] { SaveSelected(SaveUse::ViewCode); });
    connect(ui_->SelectAllAction, &QAction::triggered, ui_->ListView1, &QTreeView::selectAll);
    connect(ui_->EmailDetelisAction, &QAction::toggled, ui_->Panel1, &QWidget::setVisible);
    connect(ui_->CloseAction, &QAction::triggered, this, &QWidget::close);
    // The menus are titled by their actions, so that the language file names them too.
    for (auto [menu, action] :
         {std::pair{ui_->FileMenu, ui_->FileAction}, std::pair{ui_->ViewMenu, ui_->ViewAction}}) {
        connect(action, &QAction::changed, menu,
                [menu = menu, action = action] { menu->setTitle(action->text()); });
    }
    // Actions of the toolbar and menus answer their shortcuts in the whole window; the list's
    // popup menu offers the ones for the selected messages.
    addActions({ui_->OpenDBXAction, ui_->SaveAction, ui_->SaveAsAction, ui_->OpenSelectedAction,
                ui_->ViewCodeAction, ui_->SelectAllAction, ui_->EmailDetelisAction,
                ui_->CloseAction});
    ui_->ListView1->addActions({ui_->SaveAction, ui_->SaveAsAction, ui_->OpenSelectedAction,
                                ui_->ViewCodeAction, ui_->SelectAllAction,
                                ui_->EmailDetelisAction});
    connect(ui_->ListView1, &QTreeView::doubleClicked, ui_->OpenSelectedAction, &QAction::trigger);
    connect(ui_->ListView1->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        messages_->ClickColumn(column);
        ui_->ListView1->viewport()->update();
    });
    connect(ui_->ListView1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { ShowPreview(current); });
    connect(ui_->TreeView, &QTreeWidget::currentItemChanged, this,
            &DBXViewForm::TreeSelectionChanged);
}

void DBXViewForm::RefreshStorages() {
    if (busy_) {
        // The tree holds the nodes the running operation works on: it is rebuilt afterwards.
        abort_ = true;
        refreshPending_ = true;
        return;
    }
    {
        const QSignalBlocker blocker(ui_->TreeView);
        ui_->TreeView->clear();
    }
    folders_.clear();
    listedNode_ = nullptr;
    messages_->Clear();
    ShowCount(0);
    ClearPreview();
    for (const TMSOutlookStore& store : LoadMSOutlookFileList()) {
        AddStorageToTree(QStringLiteral("MS Outlook"), store.Path);
    }
    if (!Settings.OutlookExpressBaseFile.empty()) {
        AddStorageToTree(QStringLiteral("Outlook Express"),
                         OutlookExpressFolderList(Settings.OutlookExpressBaseFile));
    }
    AddStorageToTree(QStringLiteral("Thunderbird"), Settings.ThunderbirdBaseFile);
    AddStorageToTree(QStringLiteral("Eudora"), Settings.EudoraBaseFile);
}

QTreeWidgetItem* DBXViewForm::AddStorageToTree(const QString& caption, const std::string& path) {
    if (path.empty()) return nullptr;
    ClearStopRequest();
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    auto* node = new QTreeWidgetItem(ui_->TreeView);
    node->setText(0, name.empty() ? caption : Text(name));
    node->setData(0, kPathRole, Text(path));
    node->setData(0, kFolderRole, kNotAFolder);
    node->setIcon(0, QIcon(QStringLiteral(":/pictures/store.svg")));
    QFont bold = node->font(0);
    bold.setBold(true);
    node->setFont(0, bold);
    return node;
}

const TFolder* DBXViewForm::FolderOf(const QTreeWidgetItem* node) const {
    if (node == nullptr) return nullptr;
    const int index = node->data(0, kFolderRole).toInt();
    if (index < 0 || static_cast<size_t>(index) >= folders_.size()) return nullptr;
    return &folders_[static_cast<size_t>(index)];
}

std::string DBXViewForm::StorePathOf(const QTreeWidgetItem* node) {
    while (node->parent() != nullptr) node = node->parent();
    return node->data(0, kPathRole).toString().toStdString();
}

void DBXViewForm::TreeSelectionChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous) {
    abort_ = true;
    if (busy_) {
        // The listing under way stops at its next message; the tree stays on its folder until
        // the user chooses again.
        if (previous != nullptr && current != previous) {
            const QSignalBlocker blocker(ui_->TreeView);
            ui_->TreeView->setCurrentItem(previous);
        }
        return;
    }
    ViewFolder(current);
}

void DBXViewForm::ClearPreview() {
    ui_->Edit1->clear();
    ui_->Edit2->clear();
    ui_->Edit3->clear();
    ui_->RichEdit1->clear();
    ui_->Browser->clear();
}

void DBXViewForm::ShowCount(int count) {
    countPanel_->setText(countFormat_.arg(count));
}

void DBXViewForm::ViewFolder(QTreeWidgetItem* node) {
    messages_->Clear();
    // Looked up once here: the count changes many times a second while a folder is listed.
    countFormat_ =
        LanguageTextIfSet(QStringLiteral("DBXViewer.Items")).value_or(QStringLiteral("%1 items"));
    ShowCount(0);
    ClearPreview();
    ui_->ListView1->setEnabled(true);
    ui_->Panel6->hide();
    listedNode_ = node;
    if (node == nullptr) return;
    if (node->parent() == nullptr) {
        if (node->childCount() == 0) ReadStore(node);
        return;
    }
    ListFolder(node);
}

QTreeWidgetItem* DBXViewForm::FindParentNode(const TFolder& folder) const {
    for (QTreeWidgetItemIterator it(ui_->TreeView); *it != nullptr; ++it) {
        const TFolder* candidate = FolderOf(*it);
        if (candidate != nullptr && candidate->StoreFile == folder.StoreFile &&
            candidate->Id == folder.ParentId) {
            return *it;
        }
    }
    return nullptr;
}

void DBXViewForm::ReadStore(QTreeWidgetItem* storeNode) {
    const BusyScope busy(*this);
    // A mailbox folder tree is scanned as it opens: the window stays alive meanwhile, and its
    // closing stops the scan.
    const ScopedWorkHooks hooks(EventLoopHooks());
    const std::string path = StorePathOf(storeNode);
    ui_->EmailsProgress->setValue(0);
    ui_->EnumMessagesPanel->show();
    PlaceOverlays();
    pathPanel_->setText(Text(path));
    try {
        const OpenedStore store(path, kind_);
        const TFolderList& listed = store.Folders();
        if (store.Opened() && !listed.empty()) {
            ui_->EmailsProgress->setRange(0, static_cast<int>(listed.size()));
            int64_t messages = 0;
            for (size_t i = 0; i < listed.size(); ++i) {
                const TFolder& folder = *listed[i];
                QTreeWidgetItem* parent = i == 0 ? storeNode : FindParentNode(folder);
                if (parent == nullptr) parent = storeNode;
                auto* node = new QTreeWidgetItem(parent);
                folders_.push_back(folder);
                node->setData(0, kFolderRole, static_cast<int>(folders_.size() - 1));
                QString text = Text(folder.Name);
                if (folder.MessageCount > 0) {
                    text += QStringLiteral(" (%1)").arg(folder.MessageCount);
                }
                node->setText(0, text);
                node->setIcon(0, QIcon(QStringLiteral(":/pictures/folder.svg")));
                if (MatchesMask(text.toStdString(), "*(*)")) {
                    node->setForeground(0, kCountedFolder);
                }
                messages += std::max(folder.MessageCount, 0);
                ui_->EmailsProgress->setValue(static_cast<int>(i));
            }
            storeNode->setText(
                0,
                storeNode->text(0) +
                    QStringLiteral(" [%1 folders, %2 messages]").arg(listed.size()).arg(messages));
        }
    } catch (const std::exception& failure) {
        WriteReport(std::string("Viewer: cannot read the store: ") + failure.what());
    }
    ui_->EnumMessagesPanel->hide();
    // The whole tree is open at once: a personal folder file keeps its mail a few levels down.
    storeNode->setExpanded(true);
    for (QTreeWidgetItemIterator it(storeNode); *it != nullptr; ++it) {
        if ((*it)->parent() == nullptr && *it != storeNode) break;
        (*it)->setExpanded(true);
    }
}

void DBXViewForm::ListFolder(QTreeWidgetItem* folderNode) {
    const BusyScope busy(*this);
    abort_ = false;
    ClearStopRequest();
    const TFolder* folder = FolderOf(folderNode);
    if (folder == nullptr) return;
    const std::string storePath = StorePathOf(folderNode);
    ui_->EmailsProgress->setRange(0, std::max(folder->MessageCount, 1));
    ui_->EmailsProgress->setValue(0);
    ui_->EnumMessagesPanel->show();
    PlaceOverlays();
    pathPanel_->setText(Text(folder->StoreFile));
    std::string widestFrom;
    std::string widestSend;
    int32_t largestSize = 0;

    std::vector<MessageRow> pending;
    int32_t position = 0;
    // Rows reach the list a few times a second, not each time the message loop runs: every
    // insertion makes the view lay out all its rows again.
    auto lastInsertion = std::chrono::steady_clock::now();
    const ScopedWorkHooks hooks(EventLoopHooks([&] {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastInsertion >= kInsertionInterval) {
            messages_->Append(pending);
            lastInsertion = now;
        }
        ShowCount(messages_->rowCount() + static_cast<int>(pending.size()));
        ui_->EmailsProgress->setValue(position);
    }));
    try {
        const OpenedStore store(storePath, kind_);
        if (store.Opened() && folder->MessageCount > 0) {
            for (position = 0; position < folder->MessageCount; ++position) {
                if (abort_ || StopRequested()) break;
                LetMessageLoopRun();
                TMessage message;
                if (GetMessageHeaders(store.Handle(), *folder, position, message) !=
                    kResultSuccess) {
                    continue;
                }
                MessageRow row{.From = message.FromName.empty() ? std::move(message.FromAddress)
                                                                : std::move(message.FromName),
                               .Subject = std::move(message.Subject),
                               .Received = message.Received,
                               .Size = message.Size,
                               .Index = position,
                               .HasAttachments = message.HasAttachments};
                if (row.From.size() > widestFrom.size()) widestFrom = row.From;
                std::string send = FormatDateTime(row.Received);
                if (send.size() > widestSend.size()) widestSend = std::move(send);
                largestSize = std::max(largestSize, row.Size);
                pending.push_back(std::move(row));
                LetMessageLoopRun();
            }
        }
    } catch (const std::exception& failure) {
        WriteReport(std::string("Viewer: cannot list the folder: ") + failure.what());
    }
    messages_->Append(pending);
    ShowCount(messages_->rowCount());
    widestFrom_ = Text(widestFrom);
    widestSend_ = Text(widestSend);
    widestSize_ = Text(FormatThousands(int64_t{largestSize}));

    if (messages_->rowCount() > 0) {
        SetColumnWidths();
        ui_->ListView1->setCurrentIndex(messages_->index(0, 0));
    } else {
        ui_->ListView1->setEnabled(false);
        ui_->Panel6->show();
        PlaceOverlays();
    }
    ui_->EnumMessagesPanel->hide();
}

void DBXViewForm::SetColumnWidths() {
    const QFontMetrics metrics(ui_->ListView1->font());
    const int from = metrics.horizontalAdvance(widestFrom_);
    const int send = metrics.horizontalAdvance(widestSend_);
    const int size = metrics.horizontalAdvance(widestSize_);
    QHeaderView& header = *ui_->ListView1->header();
    header.resizeSection(MessageListModel::FromColumn, from + 48);
    header.resizeSection(MessageListModel::SendColumn, send + 16);
    header.resizeSection(MessageListModel::SizeColumn, size + 16);
    // The subject takes exactly what the others leave, so that the size stays in sight, but
    // stays readable in a narrow window.
    header.resizeSection(
        MessageListModel::SubjectColumn,
        std::max(ui_->ListView1->viewport()->width() - (from + 48) - (send + 16) - (size + 16),
                 100));
}

void DBXViewForm::ShowPreview(const QModelIndex& current) {
    ClearPreview();
    if (!current.isValid() || current.row() >= messages_->rowCount()) return;
    const MessageRow& row = messages_->Row(current.row());
    const QTreeWidgetItem* node = ui_->TreeView->currentItem();
    const TFolder* folder = FolderOf(node);
    if (folder == nullptr) return;
    const std::string tempFolder = ConfigFolder() + "temp/";
    const std::string messageFile = tempFolder + "preview.eml";
    ForceDirectories(tempFolder);
    std::string body;
    try {
        const OpenedStore store(StorePathOf(node), kind_);
        if (store.Opened() && folder->MessageCount > 0) {
            TMessage message;
            if (GetMessageBody(store.Handle(), *folder, row.Index, message) == kResultSuccess) {
                body = message.Body;
                ui_->RichEdit1->setPlainText(Text(message.Body));
                ui_->Edit1->setText(Text(message.FromName + " <" + message.FromAddress + ">"));
                std::string to = message.ToName;
                if (!message.ToAddress.empty()) {
                    to += message.ToAddress.starts_with("<") ? message.ToAddress
                                                             : "<" + message.ToAddress + ">";
                }
                ui_->Edit2->setText(Text(to));
                ui_->Edit3->setText(Text(message.Subject));
            }
            SaveMessageToFile(store.Handle(), *folder, row.Index, messageFile, true);
        }
    } catch (const std::exception& failure) {
        WriteReport(std::string("Viewer: cannot preview the message: ") + failure.what());
    }
    const std::string page = PreviewPage(messageFile, body);
    std::error_code ignored;
    std::filesystem::remove(messageFile, ignored);
    {
        std::ofstream out(PreviewFile(), std::ios::binary | std::ios::trunc);
        out << page;
    }
    // The page keeps its address from one message to the next: it is read again.
    const QUrl address = QUrl::fromLocalFile(Text(PreviewFile()));
    if (ui_->Browser->source() == address) {
        ui_->Browser->reload();
    } else {
        ui_->Browser->setSource(address);
    }
}

QStringList DBXViewForm::SaveSelected(SaveUse use) {
    QStringList kept;
    const QTreeWidgetItem* node = ui_->TreeView->currentItem();
    const TFolder* folder = FolderOf(node);
    QModelIndexList selected = ui_->ListView1->selectionModel()->selectedRows();
    if (folder == nullptr || selected.isEmpty()) return kept;
    std::string target;
    if (use == SaveUse::SaveAs) {
        browseForm_.SetPath(Text(Settings.StoragePath));
        if (browseForm_.exec() != QDialog::Accepted) return kept;
        target = browseForm_.SelectedPath().toStdString();
        if (!target.ends_with('/')) target += '/';
    } else {
        target = ViewerFolder();
        ForceDirectories(target);
    }
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    // The rows' messages are taken now: the list may change while the messages are saved.
    std::vector<std::pair<int, int32_t>> rows;
    for (const QModelIndex& index : selected) {
        rows.emplace_back(index.row(), messages_->Row(index.row()).Index);
    }
    const TFolder record = *folder;
    const std::string storePath = StorePathOf(node);

    const BusyScope busy(*this);
    ClearStopRequest();
    const ScopedWorkHooks hooks(EventLoopHooks());
    const OpenedStore store(storePath, kind_);
    const std::string extension = kind_ == StoreKind::PersonalFolders ? ".msg" : ".eml";
    if (!store.Opened() || record.MessageCount <= 0) return kept;
    int counter = 0;
    for (const auto& [row, index] : rows) {
        LetMessageLoopRun();
        TMessage message;
        GetMessageHeaders(store.Handle(), record, index, message);
        ++counter;
        // The sender's name comes from the mail: it may hold "/" or be "..".
        const std::string path = target + std::to_string(counter) + " " +
                                 SafePathComponent(message.FromName) + extension;
        std::string saved;
        try {
            std::unique_ptr<NewFile> file = CreateUnusedFile(path);
            const int32_t result = SaveMessageToFile(store.Handle(), record, index, *file, false);
            if (result != kResultSuccess || file->Untouched() || !file->Finish(0)) {
                WriteReport("Viewer: cannot save " + path + ", result " + std::to_string(result));
                file->Discard();
                continue;
            }
            saved = file->Path();
        } catch (const std::exception& failure) {
            WriteReport("Viewer: cannot save " + path + ": " + failure.what());
            continue;
        }
        if (use == SaveUse::OpenSelected) {
            ShellOpen(QUrl::fromLocalFile(Text(saved)));
        } else if (use == SaveUse::ViewCode) {
            auto* source = new MessageViewForm(this);
            source->setAttribute(Qt::WA_DeleteOnClose);
            source->ShowMessageFile(saved, message, row);
            std::error_code ignored;
            std::filesystem::remove(saved, ignored);
            continue;
        }
        kept.append(Text(saved));
    }
    return kept;
}

void DBXViewForm::OpenDBX() {
    const QString file = QFileDialog::getOpenFileName(
        this, ui_->OpenDBXAction->text(), Text(Settings.StoragePath),
        QStringLiteral(
            "Any file (*);;MS Outlook (*.pst);;Outlook Express (*.dbx);;Eudora (*.mbx)"));
    if (!file.isEmpty()) AddStorageToTree(UserDefinedCaption(), file.toStdString());
}

void DBXViewForm::PlaceOverlays() {
    const QRect list = ui_->ListView1->geometry();
    QWidget& progress = *ui_->EnumMessagesPanel;
    progress.adjustSize();
    progress.resize(std::max(progress.width(), 300), progress.height());
    progress.move(list.center() - progress.rect().center());
    progress.raise();
    QWidget& empty = *ui_->Panel6;
    empty.setGeometry(list.x() + 5, list.y() + 30, std::max(list.width() - 10, 0),
                      empty.sizeHint().height());
    empty.raise();
}

bool DBXViewForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->ListPanel && event->type() == QEvent::Resize) PlaceOverlays();
    return QMainWindow::eventFilter(watched, event);
}

void DBXViewForm::closeEvent(QCloseEvent* event) {
    // A listing under way ends at its next message and closes its store.
    RequestStop();
    abort_ = true;
    QMainWindow::closeEvent(event);
}

void DBXViewForm::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); })) {
        event->acceptProposedAction();
    }
}

void DBXViewForm::dropEvent(QDropEvent* event) {
    AddDroppedStores(*event->mimeData());
    event->acceptProposedAction();
}

void DBXViewForm::AddDroppedStores(const QMimeData& dropped) {
    for (const QUrl& url : dropped.urls()) {
        if (url.isLocalFile()) {
            AddStorageToTree(UserDefinedCaption(), url.toLocalFile().toStdString());
        }
    }
}

}  // namespace mailsift::ui
