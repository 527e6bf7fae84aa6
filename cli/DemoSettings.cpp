// portwell-demo-settings [--autorun] FILE MACRO_FILE...: writes a settings file for a first look
// at the desktop program: the macro files as stored macros, the first one selected, and the
// echoing loop:// device chosen, so that Run works at once without hardware. With --autorun the
// first macro runs as the window opens (for screenshots).
#include "portwell/MacroLibrary.h"
#include "portwell/settings/SettingsStore.h"

#include <iostream>
#include <string>

using namespace portwell;
using namespace portwell::settings;

int main(int argc, char** argv) {
    const bool autoRun = argc > 1 && std::string(argv[1]) == "--autorun";
    const int first = autoRun ? 2 : 1;
    if (argc < first + 2) {
        std::cerr << "usage: portwell-demo-settings [--autorun] FILE MACRO_FILE...\n";
        return 2;
    }
    try {
        TStoredState state;
        for (int i = first + 1; i < argc; ++i)
            state.Macros.push_back({TitleOfFile(argv[i]), ReadMacroFile(argv[i])});
        state.AutoRun = autoRun;
        state.MacroIndex = 1;
        TStoredList& devices = state.PortLists[plDeviceName];
        devices.Items.push_back("loop://");
        devices.ItemIndex = int(devices.Items.size()) - 1;
        SaveSettings(argv[first], state);
    } catch (const std::exception& e) {
        std::cerr << "portwell-demo-settings: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
