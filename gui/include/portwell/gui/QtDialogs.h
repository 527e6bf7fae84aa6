#pragma once
// The dialogs scripts open (MessageBox, InputBox), as Qt dialogs over the active window.
#include "platform/Dialogs.h"

namespace portwell::gui {

class TQtDialogs : public platform::DialogProvider {
public:
    int32_t MessageBox(const std::string& text, const std::string& caption,
                       uint32_t flags) override;
    std::string InputBox(const std::string& caption, const std::string& prompt,
                         const std::string& preset) override;
};

// Installs the Qt dialogs for as long as it lives.
class TQtDialogsInstalled {
public:
    TQtDialogsInstalled() { platform::SetDialogProvider(&dialogs); }
    ~TQtDialogsInstalled() { platform::SetDialogProvider(nullptr); }
    TQtDialogsInstalled(const TQtDialogsInstalled&) = delete;
    TQtDialogsInstalled& operator=(const TQtDialogsInstalled&) = delete;

private:
    TQtDialogs dialogs;
};

} // namespace portwell::gui
