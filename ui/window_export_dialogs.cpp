#include "ui/window_export_dialogs.h"

#include "ui/caption_walk.h"
#include "ui/message_boxes.h"
#include "ui/windows.h"

namespace mailsift::ui {

bool WindowExportDialogs::Confirm(std::string_view key) {
    return CurrentMessageBoxes().Ask(parent_, LanguageText(key));
}

void WindowExportDialogs::OpenSetup(std::optional<ExtractSource> source) {
    windows_.OpenSetup(source);
}

void WindowExportDialogs::OpenOutlookWizard() {
    windows_.OpenOutlookWizard();
}

}  // namespace mailsift::ui
