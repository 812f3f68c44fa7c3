#pragma once
// The storage search: finds personal folder files below a folder or on all drives and hands
// the ticked ones to the Setup window's list when closed with OK.
#include <memory>

#include "ui/file_search_window.h"

namespace Ui {
class SearchStoragesForm;
}

namespace mailsift::ui {

class Windows;

class SearchStoragesForm : public FileSearchWindow {
    Q_OBJECT
  public:
    SearchStoragesForm(Windows& windows, QWidget* parent = nullptr);
    ~SearchStoragesForm() override;

    // What the Setup window does before showing it: root in the root field, an empty list,
    // "searching in all system" cleared.
    void Prepare(const QString& root);
    // The Search button: starts a search, or stops the one running.
    void SearchAction();

    // OK keeps the list for the caller; Cancel empties it, so that nothing is added.
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void ApplyGlobalSearch();
    void PickRoot();
    void SetSearchCaption(bool running);

    std::unique_ptr<Ui::SearchStoragesForm> ui_;
    Windows& windows_;
    QString restCaption_;
    bool stopCaption_ = false;
};

}  // namespace mailsift::ui
