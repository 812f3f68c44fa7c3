#pragma once
// The storage manager: the history of exported stores, the files of the chosen store's folder,
// and the removal of an export with its folder.
#include <QMainWindow>
#include <QStringList>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "export/history_database.h"

namespace Ui {
class StorageManagerForm;
}

class QFileSystemModel;
class QTreeView;
class QTreeWidget;

namespace mailsift::ui {

class StorageManagerForm : public QMainWindow {
    Q_OBJECT
  public:
    explicit StorageManagerForm(QWidget* parent = nullptr);
    ~StorageManagerForm() override;

    // Rebuilds the list from the history, newest first, and selects the first row.
    void RefreshTable();
    // A click on column's header: that column sorts, and the direction flips.
    void ClickColumn(int column);
    // Opens the selected row's folder in the desktop's file manager.
    void Browse();
    // Asks, then deletes the selected row's folder (unless it must be kept) and the row.
    void Clear();

    QTreeWidget& List();
    QTreeView& FileTree();
    // The history rows in list order.
    const std::vector<HistoryRow>& Rows() const { return rows_; }
    int SortColumn() const { return sortColumn_; }

  protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FillList(int selectRow);
    void RowSelected();
    void ShowItemCount();
    void FitLastColumn();
    void PlaceFolderMissingPanel();
    // Whether the history file changed since the list was last read from it.
    bool HistoryChanged() const;

    std::unique_ptr<Ui::StorageManagerForm> ui_;
    QFileSystemModel* files_;
    std::vector<HistoryRow> rows_;
    // 0–3 the pictures of the history list, each with and without the ZIP mark.
    std::array<QIcon, 8> pictures_;
    int sortColumn_ = 0;
    int direction_ = 0;
    QString historyStamp_;
};

}  // namespace mailsift::ui
