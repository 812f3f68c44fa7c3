#pragma once
// What the two search windows share: a walk below a root or over all drives that lists every
// file matching a mask with its size and date, shows the folder it is in, and ends at once on
// Stop, OK, Cancel or when the window closes.
#include <QDialog>
#include <QList>
#include <QString>
#include <functional>
#include <string>

class QLabel;
class QPushButton;
class QStandardItemModel;
class QTreeView;

namespace mailsift::ui {

struct FoundRow {
    QString path;
    bool checked = false;
};

class FileSearchWindow : public QDialog {
    Q_OBJECT
  public:
    // The rows found, in list order, with their check marks.
    QList<FoundRow> FoundFiles() const;
    // The path of the selected row; "" when none is.
    QString SelectedFile() const;
    bool Searching() const { return searching_; }
    // Ends a running search at its next entry.
    void StopSearch() { stopped_ = true; }

    // Closing the window in any way stops the search.
    void done(int result) override;

  protected:
    explicit FileSearchWindow(QWidget* parent);
    // Called by the window once its form is set up; checkable rows get check boxes.
    void Attach(QTreeView* list, QLabel* currentFolder, QPushButton* ok, bool checkable);

    // Empties the list and the current folder, disables OK and clears the stop flag; the
    // search counts as running from here until Search returns.
    void BeginSearch();
    // Walks root, or every mounted file system holding the user's files when root is empty,
    // telling showRoot each one before walking it. False when stopped.
    bool Search(const std::string& root, const std::string& mask,
                const std::function<void(const QString&)>& showRoot);
    void ClearFound();
    void SetCurrentFolder(const QString& folder);

  private:
    void AddFound(const QString& path, int64_t size, double date);

    QStandardItemModel* model_;
    QTreeView* list_ = nullptr;
    QLabel* currentFolder_ = nullptr;
    QPushButton* ok_ = nullptr;
    bool checkable_ = false;
    bool stopped_ = true;
    bool searching_ = false;
};

}  // namespace mailsift::ui
