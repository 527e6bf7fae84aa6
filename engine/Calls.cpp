// Procedure and function calls: argument collection, evaluation by parameter kind, and dispatch
// to the built-in library, external libraries or the host.
//
// Each call evaluates its arguments onto the engine's stack of pending arguments and moves them
// into the routine's parameter records only just before the dispatch, so that a nested call of
// the same routine (Copy(s, Length(Copy(t, 1, 1)), 2)) cannot overwrite the values of the outer
// one.
//
// An external function's result may point into its library, which CallDLL unloads after the call;
// the callers hold the library loaded (pinned) until they have read the value.
#include "Errors.h"
#include "Extraction.h"
#include "Interpreter.h"
#include "KSLParser.h"
#include "Text.h"
#include "platform/SharedLibrary.h"

#include <cstring>

namespace ksl {

namespace {

void OpenArguments(TKSLParser& parser, const TFuncStatus& routine) {
    if (routine.Argument.empty()) return;
    if (parser.Operator() != Op::Open) Fail(errSyntax, parser.TokenView());
    parser.NextToken();
}

// The closing ")" is looked for only after the routine has run.
void CloseArguments(TKSLParser& parser, const TFuncStatus& routine) {
    if (routine.Argument.empty()) return;
    if (parser.Operator() != Op::Close) Fail(errSyntax, parser.TokenView());
    parser.NextToken();
}

// Host and external routines are called by name. It is copied before the arguments run, as a
// RegisterRoutine among them moves the names stored in the tables; the library needs none.
std::string CallName(const std::string& storedName, const TFuncStatus& routine) {
    return routine.BuiltIn ? std::string() : storedName;
}

// Gives back the value's buffer on the heap; a short value has none and is only cleared, which
// costs less than swapping it with an empty string.
void Release(std::string& s) {
    if (s.capacity() > std::string().capacity())
        std::string().swap(s);
    else
        s.clear();
}

// String values are valid only during the call: they are released when it ends, however it
// ends, a host routine's exception included.
class ReleaseStringsAtEnd {
public:
    explicit ReleaseStringsAtEnd(TFuncStatus& routine) : routine(routine) {}
    ~ReleaseStringsAtEnd() {
        for (TNamedArgument& a : routine.Argument)
            if (a.Arg.ArgType == atString) Release(a.Arg.ArgString);
    }
    ReleaseStringsAtEnd(const ReleaseStringsAtEnd&) = delete;
    ReleaseStringsAtEnd& operator=(const ReleaseStringsAtEnd&) = delete;

private:
    TFuncStatus& routine;
};

// Calls a host function callback when one is assigned; returns the host's error code.
template <class Callback, class Result>
int32_t CallHost(const Callback& callback, const std::string& name, TFuncStatus& routine,
                 Result& result) {
    int32_t Err_CD = 0;
    if (callback) callback(name, routine.Index, routine.Argument, Err_CD, result);
    return Err_CD;
}

template <class T> T ReadPointee(uintptr_t address) {
    T value{};
    if (address) std::memcpy(&value, reinterpret_cast<const void*>(address), sizeof value);
    return value;
}

} // namespace

// Each token of the argument preceded by a blank. The blanks are where they always were: an
// unterminated string literal keeps what follows it, and so the blank before its end.
std::string Interpreter::CollectArgumentText(Parser& parser) {
    const TokenRange range = ArgumentRange(parser);
    std::string text;
    for (uint32_t i = range.begin; i < range.end; ++i) {
        text += ' ';
        text += parser.Stream().View(i);
    }
    return text;
}

void Interpreter::CollectArguments(Parser& parser, const TFuncStatus& routine) {
    OpenArguments(parser, routine);
    const size_t count = routine.Argument.size();
    for (size_t i = 0; i < count; ++i) {
        std::string scratch;
        const std::string* text;
        const TokenStream* tokens = CutArgument(parser, scratch, text);
        const uint8_t type = routine.Argument[i].Arg.ArgType;
        // Nested calls push theirs beyond this slot and may move the stack: it is found by index.
        const size_t slot = pendingArguments.size();
        pendingArguments.emplace_back().ArgType = type;
        switch (type) {
        case atReal: {
            const double value = REExecute(*text, tokens);
            pendingArguments[slot].ArgReal = value;
            break;
        }
        case atString: {
            std::string value = SEExecute(*text, tokens);
            CutAtNul(value);
            pendingArguments[slot].ArgString = std::move(value);
            break;
        }
        default: {
            const int64_t value = IEExecute(*text, tokens);
            pendingArguments[slot].ArgInteger = value;
            break;
        }
        }
        // The separator is skipped without looking at it.
        if (i + 1 < count) parser.NextToken();
    }
}

TDLLRet Interpreter::CallExternal(const std::string& name, TFuncStatus& routine) {
    const size_t count = routine.Argument.size();
    if (count > MaxExternalArguments) return {};
    uint8_t types[MaxExternalArguments];
    for (size_t i = 0; i < count; ++i) {
        TArgument& a = routine.Argument[i].Arg;
        types[i] = a.ArgType;
        switch (a.ArgType) {
        case atInteger:
            lpArgArray[i] = uint32_t(a.ArgInteger);
            break;
        case atReal:
            lpArgArray[i] = reinterpret_cast<uintptr_t>(&a.ArgReal);
            break;
        case atString:
            lpArgArray[i] = reinterpret_cast<uintptr_t>(a.ArgString.c_str());
            break;
        default:
            lpArgArray[i] = reinterpret_cast<uintptr_t>(&a.ArgInteger);
            break;
        }
    }
    return TKestrel::CallDLL(routine.DLLName, name, lpArgArray.data(), int32_t(count), types);
}

namespace {

// Host and external routines read their arguments from their parameter records.
void MoveIntoRecords(TFuncStatus& routine, TArgument* args) {
    for (size_t i = 0; i < routine.Argument.size(); ++i)
        routine.Argument[i].Arg = std::move(args[i]);
}

} // namespace

void Interpreter::DispatchProc(const std::string& ProcName, TFuncStatus& routine, TArgument* args,
                               std::string_view failToken) {
    if (routine.BuiltIn) {
        RunBuiltinProc(routine.Index, args, failToken);
        return;
    }
    MoveIntoRecords(routine, args);
    const ReleaseStringsAtEnd release(routine);
    if (routine.DLL) {
        CallExternal(ProcName, routine);
    } else {
        int32_t Err_CD = 0;
        if (host.ProcParam) host.ProcParam(ProcName, routine.Index, routine.Argument, Err_CD);
        ReportHostError(Err_CD);
    }
}

int64_t Interpreter::DispatchInt(const std::string& FuncName, TFuncStatus& routine, TArgument* args,
                                 std::string_view failToken) {
    if (routine.BuiltIn) return RunBuiltinIntFunc(routine.Index, args, failToken);
    MoveIntoRecords(routine, args);
    const ReleaseStringsAtEnd release(routine);
    int64_t result = 0;
    if (routine.DLL) {
        const platform::SharedLibrary pinned(routine.DLLName);
        const uintptr_t rEAX = CallExternal(FuncName, routine).rEAX;
        // A long result is read through the returned pointer; a missing routine gives 0.
        result =
            routine.ResultType == rtLongInt ? ReadPointee<int64_t>(rEAX) : int64_t(uint32_t(rEAX));
    } else {
        ReportHostError(CallHost(host.IntFuncParam, FuncName, routine, result));
    }
    return result;
}

double Interpreter::DispatchReal(const std::string& FuncName, TFuncStatus& routine, TArgument* args,
                                 std::string_view failToken) {
    if (routine.BuiltIn) return RunBuiltinRealFunc(routine.Index, args, failToken);
    MoveIntoRecords(routine, args);
    const ReleaseStringsAtEnd release(routine);
    double result = 0.0;
    if (routine.DLL) {
        const platform::SharedLibrary pinned(routine.DLLName);
        result = ReadPointee<double>(CallExternal(FuncName, routine).rEAX);
    } else {
        ReportHostError(CallHost(host.RealFuncParam, FuncName, routine, result));
    }
    return result;
}

std::string Interpreter::DispatchStr(const std::string& FuncName, TFuncStatus& routine,
                                     TArgument* args, std::string_view failToken) {
    if (routine.BuiltIn) return RunBuiltinStrFunc(routine.Index, args, failToken);
    MoveIntoRecords(routine, args);
    const ReleaseStringsAtEnd release(routine);
    std::string result;
    if (routine.DLL) {
        const platform::SharedLibrary pinned(routine.DLLName);
        const uintptr_t rEAX = CallExternal(FuncName, routine).rEAX;
        if (rEAX) result = reinterpret_cast<const char*>(rEAX);
    } else {
        ReportHostError(CallHost(host.StrFuncParam, FuncName, routine, result));
    }
    return result;
}

void Interpreter::ExecProc(Parser& parser, const std::string& storedName, TFuncStatus& routine) {
    const std::string ProcName = CallName(storedName, routine);
    const PopArgumentsAtEnd pop(pendingArguments);
    CollectArguments(parser, routine);
    DispatchProc(ProcName, routine, pendingArguments.data() + pop.Base(), parser.TokenView());
    CloseArguments(parser, routine);
}

int64_t Interpreter::ExecIntFunc(Parser& parser, const std::string& storedName,
                                 TFuncStatus& routine) {
    const std::string FuncName = CallName(storedName, routine);
    const PopArgumentsAtEnd pop(pendingArguments);
    CollectArguments(parser, routine);
    const int64_t result =
        DispatchInt(FuncName, routine, pendingArguments.data() + pop.Base(), parser.TokenView());
    CloseArguments(parser, routine);
    return result;
}

double Interpreter::ExecRealFunc(Parser& parser, const std::string& storedName,
                                 TFuncStatus& routine) {
    const std::string FuncName = CallName(storedName, routine);
    const PopArgumentsAtEnd pop(pendingArguments);
    CollectArguments(parser, routine);
    const double result =
        DispatchReal(FuncName, routine, pendingArguments.data() + pop.Base(), parser.TokenView());
    CloseArguments(parser, routine);
    return result;
}

std::string Interpreter::ExecStrFunc(Parser& parser, const std::string& storedName,
                                     TFuncStatus& routine) {
    const std::string FuncName = CallName(storedName, routine);
    const PopArgumentsAtEnd pop(pendingArguments);
    CollectArguments(parser, routine);
    std::string result =
        DispatchStr(FuncName, routine, pendingArguments.data() + pop.Base(), parser.TokenView());
    CloseArguments(parser, routine);
    return result;
}

} // namespace ksl
