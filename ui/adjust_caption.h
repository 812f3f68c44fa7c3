#pragma once
// Re-labels every window from the selected language file: at start-up once all windows exist,
// and again when the user chooses another language.

namespace mailsift::ui {

class Windows;

void AdjustCaption(Windows& windows);

}  // namespace mailsift::ui
