#include "platform/Dialogs.h"

#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace platform {

namespace {
DialogProvider* installed = nullptr;
} // namespace

std::vector<int32_t> MessageBoxButtons(uint32_t flags) {
    switch (flags & 0xF) {
    case 1:
        return {IDOK, IDCANCEL};
    case 2:
        return {IDABORT, IDRETRY, IDIGNORE};
    case 3:
        return {IDYES, IDNO, IDCANCEL};
    case 4:
        return {IDYES, IDNO};
    case 5:
        return {IDRETRY, IDCANCEL};
    case 6:
        return {IDCANCEL, IDTRYAGAIN, IDCONTINUE};
    default:
        return {IDOK};
    }
}

int32_t MessageBoxDefaultButton(uint32_t flags) {
    const std::vector<int32_t> buttons = MessageBoxButtons(flags);
    const size_t chosen = (flags >> 8) & 0x3;
    return chosen < buttons.size() ? buttons[chosen] : buttons.front();
}

int32_t ConsoleDialogs::MessageBox(const std::string& text, const std::string& caption,
                                   uint32_t flags) {
    std::cerr << caption << ": " << text << std::endl;
    return MessageBoxDefaultButton(flags);
}

std::string ConsoleDialogs::InputBox(const std::string& caption, const std::string& prompt,
                                     const std::string& preset) {
    if (!isatty(STDIN_FILENO)) return preset;
    std::cerr << caption << " - " << prompt << " [" << preset << "]: " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line) || line.empty()) return preset;
    return line;
}

DialogProvider& Dialogs() {
    static ConsoleDialogs console;
    return installed ? *installed : console;
}

void SetDialogProvider(DialogProvider* provider) {
    installed = provider;
}

} // namespace platform
