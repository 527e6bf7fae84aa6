#pragma once
// The Kestrel script engine (KSL): the one header a host includes.
//
// A host creates one TKestrel, fills in Define, Source and DeclarePrototype, assigns the callbacks
// of the routines it declared, and calls Execute() for each run. Every failure leaves Execute() as
// an EKestrelError carrying its message, also an exception that a host callback throws.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ksl {

using TStrings = std::vector<std::string>;

inline constexpr int32_t KSL_VERSION = 125;

// Kinds of a variable (TVarState::VarType).
inline constexpr uint8_t vtInteger = 0, vtReal = 1, vtString = 2;
// Result kinds of a function (TFuncStatus::ResultType); rtLongInt only for external routines.
inline constexpr uint8_t rtInteger = 0, rtReal = 1, rtString = 2, rtLongInt = 3;
// Kinds of a parameter (TArgument::ArgType).
inline constexpr uint8_t atInteger = 0, atReal = 1, atString = 2, atLongInt = 3;
// Expression classes found by the type probe.
inline constexpr int ctUnKnown = -1, ctInteger = 0, ctReal = 1, ctString = 2;
// Access mode passed to the object callbacks.
inline constexpr uint8_t omGet = 0, omSet = 1;

// Indexes of the built-in library; the thousands digit gives the result kind.
inline constexpr int32_t pidx_ProcessMessages = 0x0001, pidx_Sleep = 0x0002, pidx_pause = 0x0003;
inline constexpr int32_t fidx_Copy = 0x1001, fidx_Delete = 0x1002, fidx_InputBox = 0x1003,
                         fidx_Insert = 0x1004, fidx_IntToStr = 0x1005, fidx_LowerCase = 0x1006,
                         fidx_Trim = 0x1007, fidx_TrimLeft = 0x1008, fidx_TrimRight = 0x1009,
                         fidx_UpperCase = 0x100A, fidx_FloatToStr = 0x100B;
inline constexpr int32_t fidx_CompareStr = 0x2001, fidx_Exec = 0x2002, fidx_Length = 0x2003,
                         fidx_MessageBox = 0x2004, fidx_Pos = 0x2005, fidx_Shell = 0x2006,
                         fidx_StrToInt = 0x2007, fidx_IsDefine = 0x2008, fidx_Trunc = 0x2009,
                         fidx_Round = 0x200A, fidx_RegisterRoutine = 0x200B;
inline constexpr int32_t fidx_Frac = 0x3001, fidx_Int = 0x3002, fidx_StrToFloat = 0x3003;

// The longest string value a script may build, unless the host sets another cap: 1 GiB.
inline constexpr size_t DefaultMaxStringLength = size_t(1) << 30;

// External routines take at most this many arguments.
inline constexpr size_t MaxExternalArguments = 32;

// The engine's messages. Those ending in "[%s]" name the offending token or name.
inline constexpr std::string_view errAbort = "実行を中断しました";
inline constexpr std::string_view errConstant = "読取専用オブジェクトには代入できません[%s]";
inline constexpr std::string_view errDeclareFunc = "未宣言の組み込み関数です[%s]";
inline constexpr std::string_view errDeclareProc = "未宣言の組み込み手続きです[%s]";
inline constexpr std::string_view errDefine = "定義エラーです";
inline constexpr std::string_view errDupDmyArg = "仮引数名の重複定義[%s]";
inline constexpr std::string_view errDupFunc = "手続き/関数の重複宣言[%s]";
inline constexpr std::string_view errDupVar = "変数/定数名の重複定義[%s]";
inline constexpr std::string_view errEnd = "endがありません[%s]";
inline constexpr std::string_view errOf = "ofがありません[%s]";
inline constexpr std::string_view errNoDefine = "変数または関数は定義されていません[%s]";
inline constexpr std::string_view errResultType = "関数の戻り値の型が違います[%s]";
inline constexpr std::string_view errRightBracket = "右括弧がありません";
inline constexpr std::string_view errSyntax = "文法エラーです[%s]";
inline constexpr std::string_view errVarType = "変数の型が違います[%s]";
inline constexpr std::string_view errExpression = "式が不正です[%s]";
// Run-time failures of arithmetic and conversion.
inline constexpr std::string_view errZeroDivide = "ゼロによる除算";
inline constexpr std::string_view errInvalidOp = "不正な浮動小数点数演算命令";
inline constexpr std::string_view errZeroDivideReal = "0 による浮動小数点数除算";
inline constexpr std::string_view errOverflow = "浮動小数点数のオーバーフロー";
inline constexpr std::string_view errNotInteger = "'%s' は整数ではありません";
// Statements or expressions nested deeper than the engine follows (nesting too deep).
inline constexpr std::string_view errNesting = "入れ子が深すぎます";
// A string value that would grow past the engine's cap (MaxStringLength): string too long.
inline constexpr std::string_view errStringTooLong = "文字列が長すぎます";
// Execute called while a run is in progress, as from a host routine (cannot run while running).
inline constexpr std::string_view errReentered = "実行中は実行できません";

// The one exception type of the engine: a message text and nothing else.
class EKestrelError : public std::runtime_error {
public:
    explicit EKestrelError(const std::string& message) : std::runtime_error(message) {}
};

// A variable or constant.
struct TVarState {
    bool BuiltIn = false;  // registered by the host or the engine; survives every run
    bool Constant = false; // read-only
    bool Obj = false;      // value lives in the host, reached through the object callbacks
    uint8_t VarType = vtInteger;
    int64_t ValInteger = 0;
    double ValReal = 0.0;
    std::string ValString; // never holds a NUL byte
    int32_t Index = 0;     // the host's number for an object variable
};

// One parameter of a routine; during a call it carries the call's value.
struct TArgument {
    uint8_t ArgType = atInteger;
    int64_t ArgInteger = 0;
    double ArgReal = 0.0;
    std::string ArgString; // never holds a NUL byte
};

struct TNamedArgument {
    std::string Name;
    TArgument Arg;
};

// Formal parameters in declaration order.
using TArgumentList = std::vector<TNamedArgument>;

// A procedure or function.
struct TFuncStatus {
    bool BuiltIn = false; // the engine's own library
    bool DLL = false;     // lives in an external shared library
    std::string DLLName;
    int32_t Index = 0;
    TArgumentList Argument;
    uint8_t ResultType = rtInteger;
};

// The result registers of an external call. On 64-bit Linux a register is pointer-sized.
struct TDLLRet {
    uintptr_t rEAX = 0;
    uintptr_t rEDX = 0;
};

struct TArgumentValue {
    int64_t AsInteger = 0;
    double AsReal = 0.0;
    std::string AsString;
};

// A real as scripts see it: general format with up to 15 significant digits, "." as decimal
// separator, scientific form below 0.0001 and from 1E15 on ("1E20", "5E-5").
std::string FloatToStr(double Value);

// Letter case is ignored for ASCII letters only; other bytes compare as they are.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);

// The last number handed out to a symbol table that changed, in this process.
inline std::atomic<uint64_t> lastSymbolGeneration{0};
// A new number, never handed out before in this process.
inline uint64_t NextSymbolGeneration() {
    return ++lastSymbolGeneration;
}

// A table sorted by name, names compared without regard to letter case, each entry owning its
// record. A name occurs at most once. Its generation changes with every change of its entries, so
// that a name resolved earlier is known to be still valid while the generation stays the same.
template <class Record> class TSymbolTable {
public:
    uint64_t Generation() const { return generation; }
    size_t Count() const { return entries.size(); }
    const std::string& Name(size_t i) const { return entries[i].name; }
    Record& At(size_t i) const { return *entries[i].record; }

    // The record of `name`, or nullptr; `storedName`, when given, receives the name as stored.
    Record* Find(std::string_view name, const std::string** storedName = nullptr) const {
        size_t i = LowerBound(name);
        if (i == entries.size() || CompareText(entries[i].name, name) != 0) return nullptr;
        if (storedName) *storedName = &entries[i].name;
        return entries[i].record.get();
    }
    bool Contains(std::string_view name) const { return Find(name) != nullptr; }

    // Adds the entry unless the name is present; returns whether it was added.
    bool Add(std::string name, std::unique_ptr<Record> record) {
        size_t i = LowerBound(name);
        if (i < entries.size() && CompareText(entries[i].name, name) == 0) return false;
        entries.insert(entries.begin() + ptrdiff_t(i), Entry{std::move(name), std::move(record)});
        generation = NextSymbolGeneration();
        return true;
    }
    // Takes the entry out of the table and hands its record over; nullptr when there is none.
    std::unique_ptr<Record> Remove(std::string_view name) {
        std::unique_ptr<Record> record;
        size_t i = LowerBound(name);
        if (i < entries.size() && CompareText(entries[i].name, name) == 0) {
            record = std::move(entries[i].record);
            entries.erase(entries.begin() + ptrdiff_t(i));
        }
        generation = NextSymbolGeneration();
        return record;
    }
    template <class Pred> void RemoveIf(Pred pred) {
        for (size_t i = entries.size(); i-- > 0;)
            if (pred(*entries[i].record)) entries.erase(entries.begin() + ptrdiff_t(i));
        generation = NextSymbolGeneration();
    }

private:
    struct Entry {
        std::string name;
        std::unique_ptr<Record> record;
    };
    size_t LowerBound(std::string_view name) const {
        size_t lo = 0, hi = entries.size();
        while (lo < hi) {
            size_t mid = (lo + hi) / 2;
            if (CompareText(entries[mid].name, name) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }
    std::vector<Entry> entries;
    uint64_t generation = NextSymbolGeneration();
};

using TVariableTable = TSymbolTable<TVarState>;
using TRoutineTable = TSymbolTable<TFuncStatus>;

// Host callbacks. Err_CD comes in as 0; a non-zero value reports a failure whose message the
// engine asks from ErrorProc.
using TProcParam = std::function<void(const std::string& ProcName, int32_t Index,
                                      TArgumentList& Argument, int32_t& Err_CD)>;
using TIntFuncParam =
    std::function<void(const std::string& FuncName, int32_t Index, TArgumentList& Argument,
                       int32_t& Err_CD, int64_t& ResultValue)>;
using TRealFuncParam =
    std::function<void(const std::string& FuncName, int32_t Index, TArgumentList& Argument,
                       int32_t& Err_CD, double& ResultValue)>;
using TStrFuncParam =
    std::function<void(const std::string& FuncName, int32_t Index, TArgumentList& Argument,
                       int32_t& Err_CD, std::string& ResultValue)>;
using TErrorProc = std::function<void(int32_t Error_CD, std::string& Err_Message)>;
using TIntObjParam = std::function<void(const std::string& ObjName, int32_t Index, uint8_t GS_Mode,
                                        int32_t& Err_CD, int64_t& Value)>;
using TRealObjParam = std::function<void(const std::string& ObjName, int32_t Index, uint8_t GS_Mode,
                                         int32_t& Err_CD, double& Value)>;
using TStrObjParam = std::function<void(const std::string& ObjName, int32_t Index, uint8_t GS_Mode,
                                        int32_t& Err_CD, std::string& Value)>;
using TPauseProc = std::function<void()>;

class Interpreter;

class TKestrel {
public:
    TKestrel();
    ~TKestrel();
    TKestrel(const TKestrel&) = delete;
    TKestrel& operator=(const TKestrel&) = delete;

    // Names the host defines, tested by the built-in IsDefine.
    const TStrings& Define() const;
    void SetDefine(const TStrings& lines);
    // The program, one line per entry.
    const TStrings& Source() const;
    void SetSource(const TStrings& lines);
    // One prototype per line for the host's own routines, declared anew at every run.
    const TStrings& DeclarePrototype() const;
    void SetDeclarePrototype(const TStrings& lines);
    // Names of the host's routines that give way to a macro's own use of the name: a variable
    // the macro declares, or an external routine it registers, takes the name for that run. So a
    // host can add a routine without breaking the macros that already use its name.
    const TStrings& YieldingRoutines() const;
    void SetYieldingRoutines(const TStrings& names);

    TProcParam ProcParam;
    TIntFuncParam IntFuncParam;
    TRealFuncParam RealFuncParam;
    TStrFuncParam StrFuncParam;
    TErrorProc ErrorProc;
    TIntObjParam IntObjParam;
    TRealObjParam RealObjParam;
    TStrObjParam StrObjParam;
    TPauseProc PauseProc;

    // Runs Source to its end, to an exit, or until aborted. Throws EKestrelError on any error; a
    // std::exception from a host callback becomes an EKestrelError with the same message.
    // While a run is in progress (a host routine calling it), fails with errReentered.
    void Execute();
    // Asks a run in progress to stop at its next check, where Execute returns as at the end of
    // the program; ends a pause. Does nothing when no run is in progress. Never throws.
    void RequestAbort() noexcept;
    // RequestAbort, then throws errAbort to the caller, which leaves a host routine that calls it
    // at once. Does nothing when no run is in progress.
    void Abort();
    bool IsRunning() const;
    // Where the last run failed: the line of Source (from 1) holding the statement that was
    // running, or the declaration being read, and that statement as it is written on its line.
    // 0 and "" when the failure stands on no line, or when the last run did not fail.
    int32_t ErrorLine() const;
    const std::string& ErrorStatement() const;

    // Whether the engine remembers how it cut texts it has seen before (on by default). Results
    // are the same either way; off, every text is cut again each time it runs.
    bool UseCache() const;
    void SetUseCache(bool use);
    // Whether the engine translates what it runs into a compiled form, once, and runs that (on by
    // default; it takes the cache with it). Results are the same either way.
    bool UseCompiler() const;
    void SetUseCompiler(bool use);
    // The bytes the cache holds, and the most it holds.
    size_t CacheBytes() const;
    size_t CacheCapBytes() const;

    // The most bytes a string value may hold: a concatenation or Insert that would make a longer
    // one ends the run with errStringTooLong instead of exhausting the machine.
    size_t MaxStringLength() const;
    void SetMaxStringLength(size_t bytes);

    void AddIntVar(const std::string& Name, int64_t IntVal, bool Constant);
    void AddStrVar(const std::string& Name, const std::string& StrVal, bool Constant);
    void AddRealVar(const std::string& Name, double RealVal, bool Constant);
    void AddIntObj(const std::string& Name, int64_t IntVal, bool Constant, int32_t Index);
    void AddRealObj(const std::string& Name, double RealVal, bool Constant, int32_t Index);
    void AddStrObj(const std::string& Name, const std::string& StrVal, bool Constant,
                   int32_t Index);
    int64_t GetIntVar(const std::string& Name) const;
    double GetRealVar(const std::string& Name) const;
    std::string GetStrVar(const std::string& Name) const;
    bool SetIntVar(const std::string& Name, int64_t Value);
    bool SetRealVar(const std::string& Name, double Value);
    bool SetStrVar(const std::string& Name, const std::string& Value);
    // Removes the variable. During a run its record outlives the entry until the run ends: the
    // statement running may be assigning to it.
    void DeleteVar(const std::string& Name);
    // The variable's kind (vtInteger, vtReal, vtString), or -1 when there is none.
    int32_t GetVarType(const std::string& Name) const;
    // Ends a pause of the script (the built-in Pause) without aborting the run.
    void Continue();
    int32_t GetVersion() const { return KSL_VERSION; }
    static TArgumentValue Arguments(const TArgumentList& Argument, int32_t Position);
    static TArgumentValue ArgumentByName(const TArgumentList& Argument, std::string_view Name);

    // Declares a routine from a prototype such as "procedure Print(S:String); index 1;".
    // Mode true marks it as part of the engine's library.
    void AddFunction(const std::string& Definition, bool Mode);
    // Declares a routine of an external shared library. Argument holds one type letter per
    // parameter (I, L, R, S), Return the result letter or nothing for a procedure. Returns false
    // when the name is already a routine or there are more than 32 parameters.
    bool RegisterRoutine(const std::string& FileName, const std::string& APIName,
                         const std::string& Argument, const std::string& Return);
    // Calls APIName of FileName with the first ArgCount slots; argTypes gives each slot's kind.
    // Both registers are 0 when the library or the routine cannot be found.
    static TDLLRet CallDLL(const std::string& FileName, const std::string& APIName,
                           const uintptr_t* lpArg, int32_t ArgCount, const uint8_t* argTypes);

    const TVariableTable& Variables() const;
    const TRoutineTable& Procedures() const;
    const TRoutineTable& Functions() const;

private:
    std::unique_ptr<Interpreter> impl;
};

} // namespace ksl
