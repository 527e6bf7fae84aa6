// The engine's own library of procedures and functions, dispatched by index.
#include "Conversions.h"
#include "Errors.h"
#include "Interpreter.h"
#include "KSLParser.h"
#include "Text.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Messages.h"
#include "platform/Process.h"

#include <cmath>
#include <cstring>

namespace ksl {

namespace {

const std::string& Str(const TArgument* args, size_t i) {
    return args[i].ArgString;
}
int64_t Int(const TArgument* args, size_t i) {
    return args[i].ArgInteger;
}

std::string Copy(const std::string& s, int64_t start, int64_t length) {
    const int64_t size = int64_t(s.size());
    if (start < 1) start = 1;
    if (start > size || length <= 0) return {};
    return s.substr(size_t(start - 1), size_t(std::min(length, size - start + 1)));
}

std::string Delete(std::string s, int64_t index, int64_t count) {
    const int64_t size = int64_t(s.size());
    if (index < 1 || index > size || count <= 0) return s;
    s.erase(size_t(index - 1), size_t(std::min(count, size - index + 1)));
    return s;
}

std::string Insert(const std::string& source, const std::string& s, int64_t index, size_t cap) {
    if (source.size() > cap || s.size() > cap - source.size()) Fail(errStringTooLong);
    const int64_t size = int64_t(s.size());
    if (index < 1) index = 1;
    if (index > size + 1) index = size + 1;
    std::string result;
    result.reserve(s.size() + source.size());
    result.append(s, 0, size_t(index - 1)).append(source).append(s, size_t(index - 1));
    return result;
}

// A UTF-8 continuation byte never starts a character.
bool StartsCharacter(unsigned char c) {
    return (c & 0xC0) != 0x80;
}

int64_t Pos(const std::string& substr, const std::string& s) {
    if (substr.empty()) return 0;
    for (size_t at = s.find(substr); at != std::string::npos; at = s.find(substr, at + 1))
        if (StartsCharacter((unsigned char)s[at])) return int64_t(at) + 1;
    return 0;
}

int64_t CompareStr(const std::string& a, const std::string& b) {
    const int order = strcoll(a.c_str(), b.c_str());
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

// -1 when a process started; 0 when it could not start; the exit code when waited for.
int64_t Exec(const std::string& path, const std::string& cmdLine, int64_t wait) {
    const auto argv = platform::SplitCommandLine("\"" + path + "\" " + cmdLine);
    const platform::Started started = platform::StartProgram(argv, wait == -1);
    if (!started.started) return 0;
    return started.exitCode ? int64_t(*started.exitCode) : -1;
}

// Halves go to the even neighbour: the default rounding mode of the processor.
int64_t Round(double x) {
    return TruncateToInt64(std::nearbyint(x));
}

} // namespace

void Interpreter::RunBuiltinProc(int32_t index, TArgument* args, std::string_view failToken) {
    switch (index) {
    case pidx_ProcessMessages:
        platform::ProcessMessages();
        break;
    case pidx_Sleep:
        // A Stop or an interrupt during the sleep must end the run before the next statement.
        platform::SleepMs(uint32_t(Int(args, 0)), [this] { return Abort_Flg; });
        break;
    case pidx_pause:
        PauseScript();
        break;
    default:
        Fail(errDeclareProc, failToken);
    }
}

void Interpreter::PauseScript() {
    Pause_Flg = true;
    if (host.PauseProc) host.PauseProc();
    while (Pause_Flg) {
        platform::ProcessMessages();
        if (Pause_Flg) platform::WaitForMessage(-1);
    }
}

namespace {

// How many arguments a computing function takes.
size_t Arity(int32_t index) {
    switch (index) {
    case fidx_Copy:
    case fidx_Delete:
    case fidx_Insert:
        return 3;
    case fidx_CompareStr:
    case fidx_Pos:
        return 2;
    default:
        return 1;
    }
}

// A call's arguments, as the computing functions take them.
LibraryArguments LibraryArgumentsOf(int32_t index, const TArgument* args) {
    LibraryArguments a;
    for (size_t i = 0; i < Arity(index); ++i) {
        a.text[i] = &args[i].ArgString;
        a.integer[i] = args[i].ArgInteger;
        a.real[i] = args[i].ArgReal;
    }
    return a;
}

} // namespace

bool Interpreter::Computes(int32_t index) {
    switch (index) {
    case fidx_Copy:
    case fidx_Delete:
    case fidx_Insert:
    case fidx_IntToStr:
    case fidx_LowerCase:
    case fidx_Trim:
    case fidx_TrimLeft:
    case fidx_TrimRight:
    case fidx_UpperCase:
    case fidx_FloatToStr:
    case fidx_CompareStr:
    case fidx_Length:
    case fidx_Pos:
    case fidx_StrToInt:
    case fidx_IsDefine:
    case fidx_Trunc:
    case fidx_Round:
    case fidx_Frac:
    case fidx_Int:
    case fidx_StrToFloat:
        return true;
    default:
        return false;
    }
}

std::string Interpreter::ComputeStr(int32_t index, const LibraryArguments& a) const {
    switch (index) {
    case fidx_Copy:
        return Copy(*a.text[0], a.integer[1], a.integer[2]);
    case fidx_Delete:
        return Delete(*a.text[0], a.integer[1], a.integer[2]);
    case fidx_Insert:
        return Insert(*a.text[0], *a.text[1], a.integer[2], FMaxStringLength);
    case fidx_IntToStr:
        return IntToText(a.integer[0]);
    case fidx_LowerCase:
        return LowerCase(*a.text[0]);
    case fidx_Trim:
        return std::string(Trim(*a.text[0], IsBlankOrNul));
    case fidx_TrimLeft:
        return std::string(TrimLeft(*a.text[0], IsBlankOrNul));
    case fidx_TrimRight:
        return std::string(TrimRight(*a.text[0], IsBlankOrNul));
    case fidx_UpperCase:
        return UpperCase(*a.text[0]);
    default:
        return FloatToStr(a.real[0]);
    }
}

int64_t Interpreter::ComputeInt(int32_t index, const LibraryArguments& a) const {
    switch (index) {
    case fidx_CompareStr:
        return CompareStr(*a.text[0], *a.text[1]);
    case fidx_Length:
        return int64_t(a.text[0]->size());
    case fidx_Pos:
        return Pos(*a.text[0], *a.text[1]);
    case fidx_StrToInt:
        return TextToInt(*a.text[0]).value_or(0);
    case fidx_IsDefine:
        return IsDefine(*a.text[0]) ? -1 : 0;
    case fidx_Trunc:
        return TruncateToInt64(a.real[0]);
    default:
        return Round(a.real[0]);
    }
}

double Interpreter::ComputeReal(int32_t index, const LibraryArguments& a) const {
    switch (index) {
    case fidx_Frac:
        return a.real[0] - std::trunc(a.real[0]);
    case fidx_Int:
        return std::trunc(a.real[0]);
    default:
        return TextToFloat(*a.text[0]).value_or(0.0);
    }
}

std::string Interpreter::RunBuiltinStrFunc(int32_t index, TArgument* args,
                                           std::string_view failToken) {
    if (Computes(index)) return ComputeStr(index, LibraryArgumentsOf(index, args));
    if (index == fidx_InputBox)
        return platform::Dialogs().InputBox(Str(args, 0), Str(args, 1), Str(args, 2));
    Fail(errDeclareFunc, failToken);
}

int64_t Interpreter::RunBuiltinIntFunc(int32_t index, TArgument* args, std::string_view failToken) {
    if (Computes(index)) return ComputeInt(index, LibraryArgumentsOf(index, args));
    switch (index) {
    case fidx_Exec:
        return Exec(Str(args, 0), Str(args, 1), Int(args, 2));
    case fidx_MessageBox:
        return platform::Dialogs().MessageBox(Str(args, 0), Str(args, 1), uint32_t(Int(args, 2)));
    case fidx_Shell:
        return platform::ShellOpen(Str(args, 0));
    case fidx_RegisterRoutine:
        return RegisterRoutine(Str(args, 0), Str(args, 1), Str(args, 2), Str(args, 3)) ? -1 : 0;
    default:
        Fail(errDeclareFunc, failToken);
    }
}

double Interpreter::RunBuiltinRealFunc(int32_t index, TArgument* args, std::string_view failToken) {
    if (Computes(index)) return ComputeReal(index, LibraryArgumentsOf(index, args));
    Fail(errDeclareFunc, failToken);
}

bool Interpreter::IsDefine(const std::string& S) const {
    for (const std::string& name : FDefine)
        if (SameText(name, S)) return true;
    return false;
}

} // namespace ksl
