// portwell-demo-settings FILE MACRO_FILE...: writes a settings file for a first look at the
// desktop program: the macro files as stored macros, the first one selected, and the echoing
// loop:// device chosen, so that Run works at once without hardware.
#include "portwell/MacroLibrary.h"
#include "portwell/settings/SettingsStore.h"

#include <iostream>

using namespace portwell;
using namespace portwell::settings;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: portwell-demo-settings FILE MACRO_FILE...\n";
        return 2;
    }
    try {
        TStoredState state;
        for (int i = 2; i < argc; ++i)
            state.Macros.push_back({TitleOfFile(argv[i]), ReadMacroFile(argv[i])});
        state.MacroIndex = 1;
        TStoredList& devices = state.PortLists[plDeviceName];
        devices.Items.push_back("loop://");
        devices.ItemIndex = int(devices.Items.size()) - 1;
        SaveSettings(argv[1], state);
    } catch (const std::exception& e) {
        std::cerr << "portwell-demo-settings: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
