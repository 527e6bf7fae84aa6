// Writing and reading a settings file with 1,000 macros of 50 lines each, in the list
// "Items.Strings" of the macro list: the median time of each step over 21 runs, for the component
// stream alone and for the whole store (the window state with its macros decoded, written
// atomically and flushed to disk).
#include "portwell/settings/ComponentReader.h"
#include "portwell/settings/ComponentWriter.h"
#include "portwell/settings/SettingsStore.h"
#include "portwell/settings/StateMapping.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

using namespace portwell;
using namespace portwell::settings;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kMacros = 1000;
constexpr int kLines = 50;
constexpr int kRuns = 21;

std::string MacroLine(int line) {
    return "ComWrite('AT+CMD=" + std::to_string(line) + "'#13); if ComWait('OK', 500) then " +
           "Print('step " + std::to_string(line) + " done');";
}

std::string Macro(int number) {
    std::string text = "Macro " + std::to_string(number) + "=";
    for (int line = 1; line <= kLines; ++line)
        text += MacroLine(line) + "\r\n";
    return text;
}

TStoredState StoredState() {
    TStoredState state;
    for (int i = 1; i <= kMacros; ++i) {
        TMacro macro{"Macro " + std::to_string(i), {}};
        for (int line = 1; line <= kLines; ++line)
            macro.Lines.push_back(MacroLine(line));
        state.Macros.push_back(std::move(macro));
    }
    state.MacroIndex = 1;
    return state;
}

TComponent Window() {
    std::vector<std::string> items{"（New File）"};
    for (int i = 1; i <= kMacros; ++i)
        items.push_back(Macro(i));
    TComponent macroList{0, 0, "TComboBox", "ComboBox7", {}, {}};
    macroList.SetProperty("Items.Strings", TValue::TextList(items));
    macroList.SetProperty("ItemIndex", TValue::Integer(1));
    TComponent form{0, 0, "TForm1", "Form1", {}, {macroList}};
    form.SetProperty("Caption", TValue::Text("Portwell"));
    return form;
}

double MedianMs(const std::function<void()>& step) {
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = Clock::now();
        step();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::nth_element(times.begin(), times.begin() + kRuns / 2, times.end());
    return times[kRuns / 2];
}

void WriteFile(const std::string& path, const std::string& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
    std::fclose(file);
}

// The store as the window uses it: the state with its macros decoded, saved atomically.
void BenchStore(const std::string& path) {
    const TStoredState state = StoredState();
    TStoredState loaded;
    std::string bytes;
    const double encode = MedianMs([&] { bytes = WriteComponentStream(StateToComponents(state)); });
    const double save = MedianMs([&] { SaveSettings(path, state); });
    const double load = MedianMs([&] { loaded = LoadSettings(path); });
    std::remove(path.c_str());
    if (!(loaded == state)) std::abort();
    std::printf(
        "Settings store with %d macros x %d lines: save %.2f ms (of which %.2f ms encoding; "
        "the rest is writing and flushing to disk), load %.2f ms (median of %d; target "
        "under 50 ms each)\n",
        kMacros, kLines, save, encode, load, kRuns);
}

} // namespace

int main() {
    const TComponent window = Window();
    const std::string path = "/tmp/portwell-settings-bench-" + std::to_string(getpid()) + ".ini";
    std::string bytes;
    TComponent read;
    const double encode = MedianMs([&] { bytes = WriteComponentStream(window); });
    const double decode = MedianMs([&] { read = ReadComponentStream(bytes); });
    const double save = MedianMs([&] { WriteFile(path, WriteComponentStream(window)); });
    const double load = MedianMs([&] { read = ReadComponentFile(path); });
    std::remove(path.c_str());
    if (!(read == window)) std::abort();
    std::printf("Settings file of %d macros x %d lines (%.2f MB): write %.2f ms, read %.2f ms in "
                "memory; save %.2f ms, load %.2f ms through a file (median of %d)\n",
                kMacros, kLines, double(bytes.size()) / 1e6, encode, decode, save, load, kRuns);
    BenchStore(path);
}
