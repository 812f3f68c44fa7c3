#include "ui/file_search_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>

#include "platform/date_time.h"
#include "platform/folder_search.h"
#include "platform/mounted_roots.h"
#include "platform/thousands.h"
#include "ui/window_work_hooks.h"

namespace mailsift::ui {

namespace {

constexpr int kShownFolderLength = 60;

}  // namespace

FileSearchWindow::FileSearchWindow(QWidget* parent)
    : QDialog(parent), model_(new QStandardItemModel(0, 3, this)) {
    model_->setHorizontalHeaderLabels(
        {QStringLiteral("File name"), QStringLiteral("Size"), QStringLiteral("Date")});
}

void FileSearchWindow::Attach(QTreeView* list, QLabel* currentFolder, QPushButton* ok,
                              bool checkable) {
    list_ = list;
    currentFolder_ = currentFolder;
    ok_ = ok;
    checkable_ = checkable;
    list_->setModel(model_);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    list_->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
}

QList<FoundRow> FileSearchWindow::FoundFiles() const {
    QList<FoundRow> rows;
    for (int row = 0; row < model_->rowCount(); ++row) {
        const QStandardItem* item = model_->item(row, 0);
        rows.append({item->text(), item->checkState() == Qt::Checked});
    }
    return rows;
}

QString FileSearchWindow::SelectedFile() const {
    const QModelIndex current = list_->currentIndex();
    return current.isValid() ? model_->item(current.row(), 0)->text() : QString();
}

void FileSearchWindow::done(int result) {
    stopped_ = true;
    QDialog::done(result);
}

void FileSearchWindow::ClearFound() {
    model_->removeRows(0, model_->rowCount());
}

void FileSearchWindow::SetCurrentFolder(const QString& folder) {
    currentFolder_->setText(folder.size() > kShownFolderLength
                                ? folder.left(kShownFolderLength) + QStringLiteral("...")
                                : folder);
}

void FileSearchWindow::BeginSearch() {
    currentFolder_->clear();
    ClearFound();
    ok_->setEnabled(false);
    stopped_ = false;
    searching_ = true;
}

void FileSearchWindow::AddFound(const QString& path, int64_t size, double date) {
    auto* name = new QStandardItem(path);
    if (checkable_) {
        name->setCheckable(true);
        name->setCheckState(Qt::Checked);
    }
    auto* sizeItem = new QStandardItem(QString::fromStdString(FormatThousands(size)));
    sizeItem->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* dateItem = new QStandardItem(QString::fromStdString(FormatDateTime(date)));
    model_->appendRow({name, sizeItem, dateItem});
    list_->setCurrentIndex(model_->index(model_->rowCount() - 1, 0));
    ok_->setEnabled(true);
}

bool FileSearchWindow::Search(const std::string& root, const std::string& mask,
                              const std::function<void(const QString&)>& showRoot) {
    ScopedWorkHooks hooks(WindowWorkHooks({}));
    const FolderSearch search{.Mask = mask,
                              .Stopped = [this] { return stopped_; },
                              .FolderEntered =
                                  [this](const std::string& folder) {
                                      SetCurrentFolder(QString::fromStdString(folder));
                                      currentFolder_->repaint();
                                  },
                              .Found =
                                  [this](const FoundFile& file) {
                                      AddFound(QString::fromStdString(file.Path), file.Size,
                                               file.Date);
                                  },
                              // A drive of its own is walked on its own, as a drive letter is.
                              .StayOnFileSystem = root.empty()};
    bool finished = true;
    if (!root.empty()) {
        finished = SearchFolderTree(root, search);
    } else {
        for (const std::string& drive : AllDrivesRoots()) {
            showRoot(QString::fromStdString(drive));
            LetMessageLoopRun();
            if (stopped_ || !SearchFolderTree(drive, search)) {
                finished = false;
                break;
            }
        }
    }
    currentFolder_->clear();
    searching_ = false;
    return finished;
}

}  // namespace mailsift::ui
