#pragma once
// The search window of the connection wizard: lists every file below a folder, or on all
// drives, whose name matches a mask; for the MAPI library, the file chosen with OK becomes the
// library the program loads.
#include <memory>
#include <string>

#include "ui/file_search_window.h"

namespace Ui {
class SearchLibraryForm;
}

namespace mailsift::ui {

class SearchLibraryForm : public FileSearchWindow {
    Q_OBJECT
  public:
    explicit SearchLibraryForm(QWidget* parent = nullptr);
    ~SearchLibraryForm() override;

    // Shows the window above the others with description, then searches root (all drives when
    // empty) for mask. The window stays open for the user afterwards. When choosesLibrary, OK
    // stores the selected file as the MAPI library's path.
    void SearchLibrary(const QString& description, const std::string& root, const std::string& mask,
                       bool choosesLibrary);

    void accept() override;

  private:
    std::unique_ptr<Ui::SearchLibraryForm> ui_;
    bool choosesLibrary_ = false;
};

}  // namespace mailsift::ui
