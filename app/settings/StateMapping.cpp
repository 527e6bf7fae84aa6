// The stored state under the fixed component and property names of the settings file.
#include "portwell/settings/StateMapping.h"

#include "serial/SettingNames.h"

#include <algorithm>
#include <limits>

namespace portwell::settings {

namespace {

const char* const PortListNames[PortListCount] = {"ComboBox1", "ComboBox2", "ComboBox3",
                                                  "ComboBox4", "ComboBox5", "ComboBox6"};
const char* const MacroListName = "ComboBox7";
const char* const ItemsProperty = "Items.Strings";

TComponent Component(std::string className, std::string name) {
    TComponent component;
    component.ClassName = std::move(className);
    component.Name = std::move(name);
    return component;
}

TComponent ListComponent(const std::string& name, const std::vector<std::string>& items,
                         int itemIndex) {
    TComponent list = Component("TComboBox", name);
    list.SetProperty(ItemsProperty, TValue::TextList(items));
    list.SetProperty("ItemIndex", TValue::Integer(itemIndex));
    return list;
}

TComponent Toggle(const std::string& className, const std::string& name,
                  const std::string& property, bool value, bool preset) {
    TComponent toggle = Component(className, name);
    if (value != preset) toggle.SetProperty(property, TValue::Boolean(value));
    return toggle;
}

void SetIfChanged(TComponent& component, const std::string& property, const TValue& value,
                  const TValue& preset) {
    if (!(value == preset)) component.SetProperty(property, value);
}

template <typename E> TValue IdentOf(E value) {
    return TValue::Ident(std::string(serial::NamesOf(value)->Identifier));
}

TComponent ComPortComponent(const TPortSettings& port) {
    const TPortSettings preset = TStoredState().COMPort;
    TComponent comm = Component("TComm", "COMPort");
    SetIfChanged(comm, "DeviceName", TValue::Text(port.DeviceName),
                 TValue::Text(preset.DeviceName));
    SetIfChanged(comm, "BaudRate", IdentOf(port.BaudRate), IdentOf(preset.BaudRate));
    SetIfChanged(comm, "Databits", IdentOf(port.Databits), IdentOf(preset.Databits));
    SetIfChanged(comm, "Stopbits", IdentOf(port.Stopbits), IdentOf(preset.Stopbits));
    SetIfChanged(comm, "Parity", IdentOf(port.Parity), IdentOf(preset.Parity));
    SetIfChanged(comm, "FlowControl", IdentOf(port.FlowControl), IdentOf(preset.FlowControl));
    return comm;
}

TComponent FormComponent(const TStoredState& state) {
    const TStoredState preset;
    TComponent form = Component("TForm1", "Form1");
    SetIfChanged(form, "Left", TValue::Integer(state.Left), TValue::Integer(preset.Left));
    SetIfChanged(form, "Top", TValue::Integer(state.Top), TValue::Integer(preset.Top));
    SetIfChanged(form, "Width", TValue::Integer(state.Width), TValue::Integer(preset.Width));
    SetIfChanged(form, "Height", TValue::Integer(state.Height), TValue::Integer(preset.Height));
    SetIfChanged(form, "Caption", TValue::Text(state.Caption), TValue::Text(preset.Caption));
    return form;
}

TComponent TextComponent(const std::string& className, const std::string& name,
                         const std::string& property, const ksl::TStrings& lines,
                         const ksl::TStrings& preset) {
    TComponent component = Component(className, name);
    SetIfChanged(component, property, TValue::TextList(lines), TValue::TextList(preset));
    return component;
}

TComponent EngineComponent(const TStoredState& state) {
    TComponent engine = TextComponent("TKestrel", "Kestrel1", "DeclarePrototype.Strings",
                                      state.DeclarePrototype, TStoredState::DefaultPrototypes());
    SetIfChanged(engine, "Source.Strings", TValue::TextList(state.Source), TValue::TextList({}));
    return engine;
}

std::vector<TComponent> RunControls(const TStoredState& state) {
    const TStoredState preset;
    TComponent interval = Component("TEdit", "IntervalEdit");
    SetIfChanged(interval, "Text", TValue::Text(state.IntervalText),
                 TValue::Text(preset.IntervalText));
    return {Toggle("TCheckBox", "AutoRunCheck", "Checked", state.AutoRun, preset.AutoRun),
            Toggle("TCheckBox", "LoopCheck", "Checked", state.Loop, preset.Loop),
            std::move(interval),
            Toggle("TSpeedButton", "RunButton", "Down", state.RunDown, preset.RunDown),
            Toggle("TSpeedButton", "RecButton", "Down", state.RecDown, preset.RecDown),
            Toggle("TSpeedButton", "StopButton", "Down", state.StopDown, preset.StopDown)};
}

// The send bar and the log's menu: components of their own, so that a reader that does not know
// them skips them whole.
std::vector<TComponent> ConsoleControls(const TConsoleState& console) {
    const TConsoleState preset;
    TComponent history = Component("TComboBox", "SendEdit");
    SetIfChanged(history, ItemsProperty, TValue::TextList(console.SendHistory),
                 TValue::TextList(preset.SendHistory));
    TComponent mode = Component("TComboBox", "SendModeBox");
    SetIfChanged(mode, "ItemIndex", TValue::Integer(int(console.SendMode)),
                 TValue::Integer(int(preset.SendMode)));
    TComponent lineEnd = Component("TComboBox", "LineEndBox");
    SetIfChanged(lineEnd, "ItemIndex", TValue::Integer(int(console.LineEnd)),
                 TValue::Integer(int(preset.LineEnd)));
    TComponent menu = Component("TPopupMenu", "LogMenu");
    menu.Children.push_back(Toggle("TMenuItem", "TimeStampsItem", "Checked",
                                   console.Look.TimeStamps, preset.Look.TimeStamps));
    menu.Children.push_back(Toggle("TMenuItem", "DataAsTextItem", "Checked",
                                   console.Look.DataAsText, preset.Look.DataAsText));
    return {std::move(history), std::move(mode), std::move(lineEnd), std::move(menu)};
}

// --- reading ---------------------------------------------------------------------------------

int ReadInt(const TComponent* component, const std::string& property, int fallback) {
    if (!component) return fallback;
    const int64_t value = component->ReadInteger(property, fallback);
    constexpr int64_t low = std::numeric_limits<int>::min(), high = std::numeric_limits<int>::max();
    return value < low || value > high ? fallback : int(value);
}

bool ReadBool(const TComponent* component, const std::string& property, bool fallback) {
    return component ? component->ReadBoolean(property, fallback) : fallback;
}

std::string ReadText(const TComponent* component, const std::string& property,
                     const std::string& fallback) {
    return component ? component->ReadText(property, fallback) : fallback;
}

ksl::TStrings ReadLines(const TComponent* component, const std::string& property,
                        const ksl::TStrings& fallback) {
    return component ? component->ReadTextList(property, fallback) : fallback;
}

template <typename E>
E ReadSetting(const TComponent* component, const std::string& property, E fallback) {
    if (!component) return fallback;
    const std::string name = component->ReadIdent(property, "");
    return serial::FindSetting<E>(serial::TNameKind::Identifier, name).value_or(fallback);
}

TStoredList ReadList(const TComponent* list, const TStoredList& preset) {
    return {ReadLines(list, ItemsProperty, preset.Items),
            ReadInt(list, "ItemIndex", preset.ItemIndex)};
}

// Element by element, so that one item that is not a text costs only its own macro.
std::vector<std::string> ReadMacroItems(const TComponent* list) {
    const TValue* items = list ? list->FindProperty(ItemsProperty) : nullptr;
    std::vector<std::string> texts;
    if (!items || items->Kind != TValueKind::List) return texts;
    for (const TValue& element : items->Elements)
        texts.push_back(element.Kind == TValueKind::Text ? element.Bytes : "");
    return texts;
}

void ReadMacroList(const TComponent& root, TStoredState& state) {
    const TComponent* list = root.FindComponent(MacroListName);
    state.Macros = DecodeMacroList(ReadMacroItems(list));
    const int index = ReadInt(list, "ItemIndex", 0);
    state.MacroIndex = index >= 0 && size_t(index) <= state.Macros.size() ? index : 0;
}

TPortSettings ReadComPort(const TComponent* comm) {
    const TPortSettings preset = TStoredState().COMPort;
    return {ReadText(comm, "DeviceName", preset.DeviceName),
            ReadSetting(comm, "BaudRate", preset.BaudRate),
            ReadSetting(comm, "Databits", preset.Databits),
            ReadSetting(comm, "Stopbits", preset.Stopbits),
            ReadSetting(comm, "Parity", preset.Parity),
            ReadSetting(comm, "FlowControl", preset.FlowControl)};
}

void ReadForm(const TComponent& form, TStoredState& state) {
    state.Left = ReadInt(&form, "Left", state.Left);
    state.Top = ReadInt(&form, "Top", state.Top);
    state.Width = ReadInt(&form, "Width", state.Width);
    state.Height = ReadInt(&form, "Height", state.Height);
    state.Caption = ReadText(&form, "Caption", state.Caption);
}

// An index that names no choice keeps the default.
template <typename E> E ReadChoice(const TComponent* list, E last, E fallback) {
    const int index = ReadInt(list, "ItemIndex", int(fallback));
    return index >= 0 && index <= int(last) ? E(index) : fallback;
}

TConsoleState ReadConsole(const TComponent& root) {
    TConsoleState console;
    console.SendHistory =
        TSendHistory(ReadLines(root.FindComponent("SendEdit"), ItemsProperty, {})).Entries();
    console.SendMode =
        ReadChoice(root.FindComponent("SendModeBox"), TSendMode::Hex, console.SendMode);
    console.LineEnd = ReadChoice(root.FindComponent("LineEndBox"), TLineEnd::CRLF, console.LineEnd);
    console.Look.TimeStamps =
        ReadBool(root.FindComponent("TimeStampsItem"), "Checked", console.Look.TimeStamps);
    console.Look.DataAsText =
        ReadBool(root.FindComponent("DataAsTextItem"), "Checked", console.Look.DataAsText);
    return console;
}

void ReadRunControls(const TComponent& root, TStoredState& state) {
    state.AutoRun = ReadBool(root.FindComponent("AutoRunCheck"), "Checked", state.AutoRun);
    state.Loop = ReadBool(root.FindComponent("LoopCheck"), "Checked", state.Loop);
    state.IntervalText = ReadText(root.FindComponent("IntervalEdit"), "Text", state.IntervalText);
    state.RunDown = ReadBool(root.FindComponent("RunButton"), "Down", state.RunDown);
    state.RecDown = ReadBool(root.FindComponent("RecButton"), "Down", state.RecDown);
    state.StopDown = ReadBool(root.FindComponent("StopButton"), "Down", state.StopDown);
}

} // namespace

TComponent StateToComponents(const TStoredState& state) {
    TComponent form = FormComponent(state);
    for (int i = 0; i < PortListCount; ++i)
        form.Children.push_back(ListComponent(PortListNames[i], state.PortLists[i].Items,
                                              state.PortLists[i].ItemIndex));
    form.Children.push_back(
        ListComponent(MacroListName, EncodeMacroList(state.Macros), state.MacroIndex));
    for (TComponent& control : RunControls(state))
        form.Children.push_back(std::move(control));
    form.Children.push_back(
        TextComponent("TRichEdit", "RichEdit1", "Lines.Strings", state.LogLines, {}));
    form.Children.push_back(EngineComponent(state));
    form.Children.push_back(ComPortComponent(state.COMPort));
    for (TComponent& control : ConsoleControls(state.Console))
        form.Children.push_back(std::move(control));
    return form;
}

TStoredState StateFromComponents(const TComponent& root) {
    TStoredState state;
    const TComponent* form = root.FindComponent("Form1");
    ReadForm(form ? *form : root, state);
    for (int i = 0; i < PortListCount; ++i)
        state.PortLists[i] = ReadList(root.FindComponent(PortListNames[i]), state.PortLists[i]);
    ReadMacroList(root, state);
    ReadRunControls(root, state);
    state.LogLines = ReadLines(root.FindComponent("RichEdit1"), "Lines.Strings", {});
    const TComponent* engine = root.FindComponent("Kestrel1");
    state.DeclarePrototype = ReadLines(engine, "DeclarePrototype.Strings", state.DeclarePrototype);
    state.Source = ReadLines(engine, "Source.Strings", {});
    state.COMPort = ReadComPort(root.FindComponent("COMPort"));
    state.Console = ReadConsole(root);
    return state;
}

} // namespace portwell::settings
