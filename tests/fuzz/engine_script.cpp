// The engine on whole scripts. Every run ends: the message hook counts the engine's calls (once
// per block and loop pass, and in every wait) and stops the run after a fixed number, and waits
// return at once. Strings that grow without end stop the run as well. Scripts that could reach
// outside the process (Exec, Shell, shared libraries) are skipped, dialogs answer at once.
// Whatever the script, the run ends normally or with the engine's own error.
#include "Pieces.h"
#include "kestrel/Kestrel.h"
#include "platform/Dialogs.h"
#include "platform/Messages.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>

namespace {

constexpr int maxMessageCalls = 2000;
constexpr size_t maxStringBytes = 64 * 1024;

class ImmediateDialogs : public platform::DialogProvider {
public:
    int32_t MessageBox(const std::string&, const std::string&, uint32_t flags) override {
        return platform::MessageBoxDefaultButton(flags);
    }
    std::string InputBox(const std::string&, const std::string&,
                         const std::string& preset) override {
        return preset;
    }
};

std::string Lowered(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return lower;
}

bool ReachesOutside(std::string_view script) {
    const std::string lower = Lowered(script);
    for (const char* word : {"exec", "shell", "registerroutine"})
        if (lower.find(word) != std::string::npos) return true;
    return false;
}

bool HoldsAHugeString(const ksl::TKestrel& engine) {
    const ksl::TVariableTable& table = engine.Variables();
    for (size_t i = 0; i < table.Count(); ++i)
        if (table.At(i).ValString.size() > maxStringBytes) return true;
    return false;
}

void Prepare(ksl::TKestrel& engine) {
    engine.SetDeclarePrototype(
        {"procedure Print(S:String); index 1;", "function Twice(I:Integer):Integer; index 2;"});
    engine.SetDefine({"FUZZ"});
    engine.ProcParam = [](const std::string&, int32_t, ksl::TArgumentList&, int32_t&) {};
    engine.IntFuncParam = [](const std::string&, int32_t, ksl::TArgumentList& args, int32_t&,
                             int64_t& result) {
        result = int64_t(uint64_t(args[0].Arg.ArgInteger) * 2);
    };
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view script(reinterpret_cast<const char*>(data), size);
    if (ReachesOutside(script)) return 0;
    static ImmediateDialogs dialogs;
    platform::SetDialogProvider(&dialogs);
    ksl::TKestrel engine;
    Prepare(engine);
    engine.SetSource(Pieces(script, '\n'));
    int calls = 0;
    platform::SetMessageHook([&] {
        if (++calls > maxMessageCalls || HoldsAHugeString(engine)) engine.RequestAbort();
    });
    platform::SetWaitHook([](int) {});
    try {
        engine.Execute();
    } catch (const ksl::EKestrelError&) {}
    platform::SetMessageHook(nullptr);
    platform::SetWaitHook(nullptr);
    return 0;
}
