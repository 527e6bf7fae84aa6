#pragma once
// Dialogs a script may open (MessageBox, InputBox). The desktop program installs Qt dialogs;
// command-line programs keep the console provider.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Button identifiers a message box returns, as scripts know them.
enum : int32_t {
    IDOK = 1,
    IDCANCEL = 2,
    IDABORT = 3,
    IDRETRY = 4,
    IDIGNORE = 5,
    IDYES = 6,
    IDNO = 7,
    IDTRYAGAIN = 10,
    IDCONTINUE = 11,
};

// The buttons a message-box style shows (low four bits: MB_OK 0 ... MB_CANCELTRYCONTINUE 6).
std::vector<int32_t> MessageBoxButtons(uint32_t flags);

// The identifier of the default button (bits 0x300 choose the first to fourth button).
int32_t MessageBoxDefaultButton(uint32_t flags);

class DialogProvider {
public:
    virtual ~DialogProvider() = default;
    // Shows a message box and returns the identifier of the button pressed.
    virtual int32_t MessageBox(const std::string& text, const std::string& caption,
                               uint32_t flags) = 0;
    // Asks for a line of text; returns the text on OK and `preset` on Cancel.
    virtual std::string InputBox(const std::string& caption, const std::string& prompt,
                                 const std::string& preset) = 0;
};

// Without a terminal to ask, MessageBox writes to standard error and answers with the default
// button; InputBox reads a line from standard input when it is a terminal, else returns `preset`.
class ConsoleDialogs : public DialogProvider {
public:
    int32_t MessageBox(const std::string& text, const std::string& caption,
                       uint32_t flags) override;
    std::string InputBox(const std::string& caption, const std::string& prompt,
                         const std::string& preset) override;
};

// The provider in use; a console provider until a host installs its own. The host keeps
// ownership of what it installs; nullptr restores the console provider.
DialogProvider& Dialogs();
void SetDialogProvider(DialogProvider* provider);

} // namespace platform
