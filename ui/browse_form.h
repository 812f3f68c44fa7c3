#pragma once
// The folder picker: a tree of the file system with a path box that follows the tree and that
// the tree follows.
#include <QDialog>
#include <memory>

class QFileSystemModel;

namespace Ui {
class BrowseForm;
}

namespace mailsift::ui {

class BrowseForm : public QDialog {
    Q_OBJECT
  public:
    explicit BrowseForm(QWidget* parent = nullptr);
    ~BrowseForm() override;

    // Selects folder in the tree, as the caller does with the configured folder before showing
    // the picker.
    void SetPath(const QString& folder);
    // The selected folder's path; empty when nothing is selected.
    QString SelectedPath() const;

    // OK with no folder selected says so and keeps the picker open.
    void accept() override;

  private:
    void SelectionChanged();

    std::unique_ptr<Ui::BrowseForm> ui_;
    QFileSystemModel* model_;
};

}  // namespace mailsift::ui
