#include "ui/storage_manager_form.h"

#include <QDateTime>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIcon>
#include <QPainter>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <exception>

#include "config/report_log.h"
#include "platform/work_hooks.h"
#include "ui/caption_walk.h"
#include "ui/message_boxes.h"
#include "ui/shell_open.h"
#include "ui/window_work_hooks.h"
#include "ui_storage_manager_form.h"

namespace mailsift::ui {

namespace {

constexpr int kIdRole = Qt::UserRole;
constexpr int kColumnCount = 4;
const QColor kSortColumnBackground(245, 245, 245);
const QColor kGreyText(128, 128, 128);
constexpr int kPictureSize = 16;

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// A history row's picture: its client (MS Outlook or another), with a paper clip when only
// attachments were saved, and the ZIP mark before it when the export was packed.
QIcon HistoryPicture(int image, bool zip) {
    QPixmap picture(kPictureSize * 2 + 4, kPictureSize);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    if (zip) {
        painter.drawPixmap(0, 0, QIcon(QStringLiteral(":/pictures/zip.svg")).pixmap(kPictureSize));
    }
    const QString client = image % 2 == 0 ? QStringLiteral(":/pictures/client-msoutlook.svg")
                                          : QStringLiteral(":/pictures/client-outlookexpress.svg");
    painter.drawPixmap(kPictureSize + 4, 0, QIcon(client).pixmap(kPictureSize));
    if (image >= 2) {
        painter.drawPixmap(
            kPictureSize + 4 + kPictureSize / 2, kPictureSize / 2,
            QIcon(QStringLiteral(":/pictures/attachment.svg")).pixmap(kPictureSize / 2 + 2));
    }
    painter.end();
    return QIcon(picture);
}

// What tells one state of the history file from another: its time and size.
QString HistoryStamp() {
    const QFileInfo file(Text(HistoryDatabasePath()));
    if (!file.exists()) return {};
    return file.lastModified().toString(Qt::ISODateWithMs) + QString::number(file.size());
}

}  // namespace

StorageManagerForm::StorageManagerForm(QWidget* parent)
    : QMainWindow(parent),
      ui_(std::make_unique<Ui::StorageManagerForm>()),
      files_(new QFileSystemModel(this)) {
    ui_->setupUi(this);
    for (int image = 0; image < 4; ++image) {
        pictures_[static_cast<size_t>(image)] = HistoryPicture(image, false);
        pictures_[static_cast<size_t>(image) + 4] = HistoryPicture(image, true);
    }
    // The pane shows what an export wrote; nothing in it can be renamed or moved from here.
    files_->setReadOnly(true);
    files_->setFilter(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    ui_->ShellTreeView1->setEnabled(false);
    ui_->Panel2->setAutoFillBackground(true);
    ui_->Panel2->hide();
    ui_->FilePanel->installEventFilter(this);
    ui_->Splitter1->setSizes({540, 320});
    QHeaderView& header = *ui_->ListView1->header();
    header.setStretchLastSection(false);
    header.setSectionsClickable(true);
    header.resizeSection(0, 150);
    header.resizeSection(1, 80);
    header.resizeSection(2, 110);
    for (int column : {1, 2}) {
        ui_->ListView1->headerItem()->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    }

    connect(&header, &QHeaderView::sectionClicked, this, &StorageManagerForm::ClickColumn);
    connect(ui_->ListView1, &QTreeWidget::currentItemChanged, this,
            &StorageManagerForm::RowSelected);
    connect(ui_->ListView1, &QTreeWidget::itemActivated, ui_->BrowseAction, &QAction::trigger);
    connect(ui_->ShowFileViewAction, &QAction::toggled, this, [this](bool shown) {
        ui_->FilePanel->setVisible(shown);
        FitLastColumn();
    });
    connect(ui_->BrowseAction, &QAction::triggered, this, &StorageManagerForm::Browse);
    connect(ui_->ClearAction, &QAction::triggered, this, &StorageManagerForm::Clear);
    connect(ui_->CloseAction, &QAction::triggered, this, &QWidget::close);
    for (auto [menu, action] :
         {std::pair{ui_->FilesMenu, ui_->FilesAction}, std::pair{ui_->ViewMenu, ui_->ViewAction}}) {
        connect(action, &QAction::changed, menu,
                [menu = menu, action = action] { menu->setTitle(action->text()); });
    }
    addActions({ui_->ShowFileViewAction, ui_->BrowseAction, ui_->ClearAction, ui_->CloseAction});
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    ui_->ListView1->addActions(
        {ui_->ShowFileViewAction, ui_->BrowseAction, separator, ui_->ClearAction});
}

StorageManagerForm::~StorageManagerForm() = default;

QTreeWidget& StorageManagerForm::List() {
    return *ui_->ListView1;
}

QTreeView& StorageManagerForm::FileTree() {
    return *ui_->ShellTreeView1;
}

bool StorageManagerForm::HistoryChanged() const {
    return HistoryStamp() != historyStamp_;
}

void StorageManagerForm::RefreshTable() {
    historyStamp_ = HistoryStamp();
    try {
        rows_ = ReadHistoryRows();
    } catch (const std::exception& failure) {
        rows_.clear();
        WriteReport(std::string("Storage manager: ") + failure.what());
    }
    sortColumn_ = 0;
    direction_ = 0;
    ClickColumn(0);
}

void StorageManagerForm::ClickColumn(int column) {
    if (column < 0 || column >= kColumnCount) return;
    direction_ = direction_ == 0 ? 1 : ~direction_;
    sortColumn_ = column;
    const bool forward = direction_ > 0;
    // Rows that compare equal keep the order they had, rather than an order left undefined.
    std::stable_sort(
        rows_.begin(), rows_.end(), [column, forward](const HistoryRow& a, const HistoryRow& b) {
            switch (column) {
                case 0:
                    return forward ? a.Date > b.Date : a.Date < b.Date;
                case 1:
                    return forward ? a.Count > b.Count : a.Count < b.Count;
                case 2:
                    return forward ? a.TotalSize > b.TotalSize : a.TotalSize < b.TotalSize;
                default: {
                    const int order = QString::compare(Text(a.RootFolder), Text(b.RootFolder),
                                                       Qt::CaseInsensitive);
                    return forward ? order < 0 : order > 0;
                }
            }
        });
    FillList(0);
}

void StorageManagerForm::FillList(int selectRow) {
    QTreeWidget& list = *ui_->ListView1;
    list.setUpdatesEnabled(false);
    {
        const QSignalBlocker blocker(&list);
        list.clear();
        QList<QTreeWidgetItem*> items;
        items.reserve(static_cast<qsizetype>(rows_.size()));
        for (const HistoryRow& row : rows_) {
            auto* item = new QTreeWidgetItem({Text(row.DateText), Text(row.CountText),
                                              Text(row.TotalSizeText), Text(row.RootFolder)});
            item->setData(0, kIdRole, QVariant::fromValue<qlonglong>(row.Id));
            const size_t picture =
                static_cast<size_t>(std::clamp(row.ImageIndex, 0, 3)) + (row.Zip ? 4 : 0);
            item->setIcon(0, pictures_[picture]);
            // Looked at now: a Clear may just have taken the folder of other rows too.
            const bool folderExists = QFileInfo(Text(row.RootFolder)).isDir();
            item->setForeground(0, folderExists ? QColor(Qt::black) : kGreyText);
            item->setForeground(1, QColor(Qt::black));
            item->setForeground(2, QColor(Qt::black));
            item->setForeground(3, kGreyText);
            item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
            item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
            item->setBackground(sortColumn_, kSortColumnBackground);
            items.append(item);
        }
        list.addTopLevelItems(items);
    }
    if (!rows_.empty()) {
        const int row = std::clamp(selectRow, 0, static_cast<int>(rows_.size()) - 1);
        list.setCurrentItem(list.topLevelItem(row));
    }
    RowSelected();
    list.setUpdatesEnabled(true);
    for (int column = 0; column < 3; ++column) list.resizeColumnToContents(column);
    FitLastColumn();
    ShowItemCount();
}

void StorageManagerForm::ShowItemCount() {
    ui_->StatusBar1->showMessage(LanguageText("Items") + QStringLiteral(" ") +
                                 QString::number(rows_.size()));
}

void StorageManagerForm::FitLastColumn() {
    QHeaderView& header = *ui_->ListView1->header();
    const int others = header.sectionSize(0) + header.sectionSize(1) + header.sectionSize(2);
    header.resizeSection(3, std::max(ui_->ListView1->viewport()->width() - others - 16, 80));
}

void StorageManagerForm::RowSelected() {
    QTreeWidgetItem* item = ui_->ListView1->currentItem();
    const int row = item != nullptr ? ui_->ListView1->indexOfTopLevelItem(item) : -1;
    QTreeView& pane = *ui_->ShellTreeView1;
    if (row >= 0 && QFileInfo(Text(rows_[static_cast<size_t>(row)].RootFolder)).isDir()) {
        ui_->Panel2->hide();
        const QString folder = Text(rows_[static_cast<size_t>(row)].RootFolder);
        pane.setPalette(QPalette());
        if (pane.model() != files_) {
            pane.setModel(files_);
            pane.setColumnWidth(0, 200);
        }
        pane.setRootIndex(files_->setRootPath(folder));
        pane.setEnabled(true);
        return;
    }
    // Without a folder the pane shows nothing, not the file system's top.
    pane.setModel(nullptr);
    QPalette palette = pane.palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    pane.setPalette(palette);
    pane.setEnabled(false);
    if (row >= 0) {
        ui_->Panel2->show();
        PlaceFolderMissingPanel();
    } else {
        ui_->Panel2->hide();
    }
}

void StorageManagerForm::Browse() {
    QTreeWidgetItem* item = ui_->ListView1->currentItem();
    if (item == nullptr) return;
    const int row = ui_->ListView1->indexOfTopLevelItem(item);
    ShellOpen(QUrl::fromLocalFile(Text(rows_[static_cast<size_t>(row)].RootFolder)));
}

void StorageManagerForm::Clear() {
    QTreeWidgetItem* item = ui_->ListView1->currentItem();
    if (item == nullptr) return;
    const int row = ui_->ListView1->indexOfTopLevelItem(item);
    if (!CurrentMessageBoxes().Ask(this, LanguageText("StorageManagerForm.AreYouSure"))) return;
    const int64_t id = rows_[static_cast<size_t>(row)].Id;
    HistoryDeletion deletion;
    try {
        const ScopedWorkHooks hooks(EventLoopHooks());
        deletion = DeleteHistoryRow(id);
    } catch (const std::exception& failure) {
        WriteReport(std::string("Storage manager: ") + failure.what());
        CurrentMessageBoxes().Tell(this, Text(failure.what()));
        return;
    }
    if (!deletion.Refusal.empty()) {
        CurrentMessageBoxes().Tell(this, LanguageText("StorageManagerForm.FolderKept") +
                                             QStringLiteral("\n") + Text(deletion.RootFolder) +
                                             QStringLiteral("\n") + Text(deletion.Refusal));
    }
    // The list may have been rebuilt while the folder went; the row is found by its ID.
    const auto gone = std::find_if(rows_.begin(), rows_.end(), [id](const HistoryRow& candidate) {
        return candidate.Id == id;
    });
    if (gone != rows_.end()) rows_.erase(gone);
    historyStamp_ = HistoryStamp();
    // The row that took the old place is selected, or the first when it was the last.
    FillList(row < static_cast<int>(rows_.size()) ? row : 0);
}

void StorageManagerForm::PlaceFolderMissingPanel() {
    const QRect pane = ui_->ShellTreeView1->geometry();
    ui_->Panel2->setGeometry(pane.x() + 10, pane.y() + 30, std::max(pane.width() - 20, 0),
                             std::max(ui_->Panel2->heightForWidth(pane.width() - 20), 50));
    ui_->Panel2->raise();
}

bool StorageManagerForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->FilePanel && event->type() == QEvent::Resize) PlaceFolderMissingPanel();
    return QMainWindow::eventFilter(watched, event);
}

void StorageManagerForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    RefreshTable();
}

void StorageManagerForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // Back from another window, the list follows an export or a command-line change made
    // meanwhile; an unchanged history keeps the row the user was on.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && HistoryChanged()) {
        RefreshTable();
    }
}

void StorageManagerForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FitLastColumn();
}

}  // namespace mailsift::ui
