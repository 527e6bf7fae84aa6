#include "portwell/StoredState.h"

#include "portwell/MacroHost.h"
#include "serial/SettingNames.h"

namespace portwell {

namespace {

const std::string LineEnd = "\r\n";

template <typename E> TStoredList CaptionList(E selected) {
    TStoredList list;
    for (const serial::TSettingName& row : serial::SettingNames<E>().All())
        list.Items.emplace_back(row.Caption);
    list.ItemIndex = int(selected);
    return list;
}

TStoredList DeviceList() {
    TStoredList list;
    for (int i = 1; i <= 8; ++i)
        list.Items.push_back("COM" + std::to_string(i));
    list.ItemIndex = 0;
    return list;
}

// The list's index as a value of E, or `fallback` when it names none.
template <typename E> E SettingAt(const TStoredList& list, E fallback) {
    return serial::SettingNames<E>().At(list.ItemIndex) ? E(list.ItemIndex) : fallback;
}

} // namespace

std::array<TStoredList, PortListCount> DefaultPortLists() {
    const TPortSettings preset;
    return {DeviceList(),
            CaptionList(preset.BaudRate),
            CaptionList(preset.Databits),
            CaptionList(preset.Stopbits),
            CaptionList(preset.Parity),
            CaptionList(preset.FlowControl)};
}

ksl::TStrings TStoredState::DefaultPrototypes() {
    return TMacroHost::Prototypes;
}

TPortSettings PortSettingsOf(const TStoredState& state) {
    const auto& lists = state.PortLists;
    const TStoredList& devices = lists[plDeviceName];
    TPortSettings settings;
    const bool deviceSelected =
        devices.ItemIndex >= 0 && size_t(devices.ItemIndex) < devices.Items.size();
    settings.DeviceName = deviceSelected ? devices.Items[devices.ItemIndex] : "";
    settings.BaudRate = SettingAt(lists[plBaudRate], settings.BaudRate);
    settings.Databits = SettingAt(lists[plDatabits], settings.Databits);
    settings.Stopbits = SettingAt(lists[plStopbits], settings.Stopbits);
    settings.Parity = SettingAt(lists[plParity], settings.Parity);
    settings.FlowControl = SettingAt(lists[plFlowControl], settings.FlowControl);
    return settings;
}

std::string EncodeMacroItem(const TMacro& macro) {
    size_t size = macro.Title.size() + 1;
    for (const std::string& line : macro.Lines)
        size += line.size() + LineEnd.size();
    std::string item;
    item.reserve(size);
    (item += macro.Title) += '=';
    for (const std::string& line : macro.Lines)
        (item += line) += LineEnd;
    return item;
}

std::vector<std::string> EncodeMacroList(const std::vector<TMacro>& macros) {
    std::vector<std::string> items{NewFileItem};
    for (const TMacro& macro : macros)
        items.push_back(EncodeMacroItem(macro));
    return items;
}

// Lines end at CR LF only, so a lone CR or LF inside a line survives a save and a load.
TMacro DecodeMacroItem(const std::string& item) {
    const size_t equals = item.find('=');
    TMacro macro{item.substr(0, equals), {}};
    if (equals == std::string::npos) return macro;
    size_t start = equals + 1;
    for (size_t end; (end = item.find(LineEnd, start)) != std::string::npos;
         start = end + LineEnd.size())
        macro.Lines.push_back(item.substr(start, end - start));
    if (start < item.size()) macro.Lines.push_back(item.substr(start));
    return macro;
}

std::vector<TMacro> DecodeMacroList(const std::vector<std::string>& items) {
    std::vector<TMacro> macros;
    for (size_t i = 1; i < items.size(); ++i)
        macros.push_back(DecodeMacroItem(items[i]));
    return macros;
}

std::string TitleProblem(const std::string& title) {
    if (title.find('=') != std::string::npos)
        return "a title cannot hold \"=\": the settings file ends a title at its first \"=\"";
    return "";
}

} // namespace portwell
