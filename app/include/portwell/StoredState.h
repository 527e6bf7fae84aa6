#pragma once
// Everything the main window keeps from one start to the next: its position, the port-setting
// lists, the stored macros, the run controls, the log and the properties of the engine and the
// serial component. Free of any toolkit; the window copies it into its controls and back.
#include "kestrel/Kestrel.h"
#include "portwell/LogText.h"
#include "portwell/PortSettings.h"
#include "portwell/SendText.h"
#include "serial/CommTypes.h"

#include <array>
#include <string>
#include <vector>

namespace portwell {

// Item 0 of the macro list: it carries no macro and, when selected, means none is selected.
inline constexpr const char* NewFileItem = "（New File）";

// A drop-down list: its items and the selected one (-1 for none).
struct TStoredList {
    std::vector<std::string> Items;
    int ItemIndex = -1;
    bool operator==(const TStoredList&) const = default;
};

struct TMacro {
    std::string Title;
    ksl::TStrings Lines;
    bool operator==(const TMacro&) const = default;
};

// The six port-setting lists, in the order of the window: device, baud rate, data bits, stop
// bits, parity, flow control (ComboBox1 to ComboBox6).
enum TPortList { plDeviceName, plBaudRate, plDatabits, plStopbits, plParity, plFlowControl };
inline constexpr int PortListCount = 6;

// The lists as the window lays them out at first start: the devices "COM1" to "COM8" and the
// captions of each line setting in ordinal order, with "COM1", 9600 baud, 8 data bits, 1 stop
// bit, no parity and no flow control selected.
std::array<TStoredList, PortListCount> DefaultPortLists();

// The send bar under the traffic log and the look of the log: display choices and what was sent.
struct TConsoleState {
    std::vector<std::string> SendHistory; // oldest first, at most TSendHistory::MaxEntries
    TSendMode SendMode = DefaultSendMode;
    TLineEnd LineEnd = DefaultLineEnd;
    TLineLook Look;
    bool operator==(const TConsoleState&) const = default;
};

struct TStoredState {
    int Left = 260;
    int Top = 138;
    int Width = 512;
    int Height = 300;
    std::string Caption = "Portwell";

    std::array<TStoredList, PortListCount> PortLists = DefaultPortLists();

    // The macro list without its fixed item 0; MacroIndex is the list's selected index, so 0
    // selects "（New File）" and i selects Macros[i - 1].
    std::vector<TMacro> Macros;
    int MacroIndex = 0;

    bool AutoRun = false;
    bool Loop = false;
    std::string IntervalText = "1000";
    bool RunDown = false;
    bool RecDown = false;
    bool StopDown = true;

    // The traffic log as it was at the last save; the window clears its pane after loading.
    ksl::TStrings LogLines;
    ksl::TStrings DeclarePrototype = DefaultPrototypes();
    ksl::TStrings Source;
    TConsoleState Console;
    // The serial component's properties, which the lists overwrite at every run.
    TPortSettings COMPort{"Com2",       serial::cbr9600, serial::da8,
                          serial::sb10, serial::paNone,  serial::fcDefault};

    bool operator==(const TStoredState&) const = default;

    // The prototypes the engine is given at every run.
    static ksl::TStrings DefaultPrototypes();
};

// The settings a run starts with: the text of the device list's selected item, and each other
// list's index as the ordinal of its setting. An index outside the setting's values gives the
// setting's default.
TPortSettings PortSettingsOf(const TStoredState& state);

// The macro list's items in the file: "（New File）", then for each macro its title, "=", and
// every line followed by CR LF.
std::string EncodeMacroItem(const TMacro& macro);
std::vector<std::string> EncodeMacroList(const std::vector<TMacro>& macros);

// The reverse: the title is the text before the first "=" (the whole item when there is none),
// the lines are what follows, each ended by CR LF; a last line without one counts too. Item 0 is
// the fixed entry and carries no macro.
TMacro DecodeMacroItem(const std::string& item);
std::vector<TMacro> DecodeMacroList(const std::vector<std::string>& items);

// Why a title cannot be stored, or empty when it can: a title ends at its first "=" in the file.
std::string TitleProblem(const std::string& title);

} // namespace portwell
