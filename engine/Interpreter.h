#pragma once
// The interpreter behind TKestrel: its tables, run flags and everything a run works with. Hosts
// see only kestrel/Kestrel.h; this header is the engine's own.
//
// Its parts (run driver, executor, evaluators, calls, compiled form) are parts of one object and
// reach each other's members; the header is private to engine/, so nothing here is hidden.
// Members carry the names the system's design gives them (the run flags `X_Flg`, the tables
// `BuiltinProc`, `BuiltinFunc` and `Variable`, `lpArgArray`, `DLL_Index`, and the operations
// such as `BSExecute`, `IEExecute` or `ProcessRelation`); the backing fields of properties start
// with F; the engine's own working state is named in camelCase.
#include "kestrel/Kestrel.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ksl {

class TKSLParser;
class TextCache;
struct TokenStream;
struct StatementList;
struct BlockFrame;
struct TokenRange;
// The compiled form (Compiled.h, CompiledNodes.h).
enum class Level : uint8_t;
struct Continuation;
struct IntNode;
struct RealNode;
struct StrNode;
template <class Node> struct ExpressionEntry;
using IntEntry = ExpressionEntry<IntNode>;
using RealEntry = ExpressionEntry<RealNode>;
using StrEntry = ExpressionEntry<StrNode>;
struct CallSite;
struct StatementEntry;
struct CompiledBlock;
struct CompiledProgram;
struct CompiledLink;
struct CallStatement;
struct AssignStatement;
struct IfStatement;
struct ForStatement;
struct WhileStatement;
struct RepeatStatement;
struct CaseStatement;
struct CaseLabel;
struct CaseBranch;

// The arguments of a built-in function that only computes: strings by reference, valid during
// the call.
struct LibraryArguments {
    const std::string* text[3] = {};
    int64_t integer[3] = {};
    double real[3] = {};
};

class Interpreter {
public:
    explicit Interpreter(TKestrel& host);
    ~Interpreter();
    Interpreter(const Interpreter&) = delete;
    Interpreter& operator=(const Interpreter&) = delete;

    // The host's callbacks live on the TKestrel the host holds.
    TKestrel& host;

    bool Abort_Flg = false;
    bool Break_Flg = false;
    bool Continue_Flg = false;
    bool Pause_Flg = false;
    bool Exit_Flg = false;
    bool Exec_Flg = false;
    TRoutineTable BuiltinProc;
    TRoutineTable BuiltinFunc;
    TVariableTable Variable;
    TStrings FDefine;
    TStrings FSource;
    TStrings FDeclarePrototype;
    TStrings FYieldingRoutines;
    // Host routines that gave way during this run; kept until the next, as a call of one may be
    // in progress when it gives way.
    std::vector<std::unique_ptr<TFuncStatus>> yieldedRoutines;
    std::array<uintptr_t, MaxExternalArguments> lpArgArray{};
    int32_t DLL_Index = 0;
    bool FUseCache = true;
    bool FUseCompiler = true;
    size_t FMaxStringLength = DefaultMaxStringLength;
    int32_t FErrorLine = 0;
    std::string FErrorStatement;

    void Execute();
    void RequestAbort() noexcept;
    void Abort();
    size_t CacheBytes() const;
    size_t CacheCapBytes() const;

    // Tables.
    void AddInt(const std::string& Name, int64_t IntVal, bool Constant, bool Obj, int32_t Index);
    void AddStr(const std::string& Name, const std::string& StrVal, bool Constant, bool Obj,
                int32_t Index);
    void AddReal(const std::string& Name, double RealVal, bool Constant, bool Obj, int32_t Index);
    void ReportHostError(int32_t Err_CD) const;
    void DeleteVar(const std::string& Name);

    // Declarations.
    void AddFunction(const std::string& Definition, bool Mode);
    bool RegisterRoutine(const std::string& FileName, const std::string& APIName,
                         const std::string& Argument, const std::string& Return);

    using Parser = TKSLParser;

    // Blocks and factors being evaluated inside one another.
    int nestingDepth = 0;
    // The evaluated arguments of the calls whose argument lists are being read, innermost last.
    std::vector<TArgument> pendingArguments;
    std::unique_ptr<TextCache> textCache;
    const BlockFrame* innermostFrame = nullptr;
    bool failureNoted = false;
    // Variables the host deleted during the run, kept until it ends.
    std::vector<std::unique_ptr<TVarState>> deletedVariables;

    TVarState& AddEntry(const std::string& Name, uint8_t VarType, bool Constant, bool Obj,
                        int32_t Index);

    // Declarations.
    void ProcessDmyArgument(Parser& parser, TArgumentList& DmyArg);
    // Removes the host routine `name` when it is one that gives way to the macro's own.
    void YieldRoutine(std::string_view name);
    void YieldToDeclaredVariables();

    // Run driver.
    void Run();
    // Also gives, when asked, the line of Value that each line of the program comes from.
    static std::string SkipComment(const TStrings& Value, std::vector<int32_t>* lines = nullptr);
    void ProcessVariableLocated(Parser& parser);
    void ProcessVariable(Parser& parser);
    std::string ProcessVarname(Parser& parser);

    // Cached forms of texts that run again and again; empty without the cache.
    std::shared_ptr<const StatementList> PrepareBlock(const std::string& S);
    std::shared_ptr<const TokenStream> PrepareExpression(const std::string& S);
    Parser ParserFor(const std::string& S, const TokenStream* prepared = nullptr);
    // Get_ExpString and Get_Sentence, remembered per token of a cached statement.
    std::string CutExpression(Parser& parser, uint8_t BreakWord);
    std::string CutSentence(Parser& parser, bool nested);
    // An argument's text, in `scratch` or remembered with its tokens (then returned as well).
    const TokenStream* CutArgument(Parser& parser, std::string& scratch, const std::string*& text);

    // Locating a failure.
    void ForgetFailure();
    void NoteFailure(const BlockFrame& frame) noexcept;
    void NoteFailureAtProgramToken(size_t index) noexcept;
    // Notes the place of the program's token `index`; `firstToken`, when given, is the text that
    // token must have.
    void NoteFailureAt(size_t index, size_t tokenCount, std::optional<std::string_view> firstToken);

    // Statements. `start` is where the block's text begins among the tokens of the statement
    // running (see BlockFrame).
    void BSExecute(const std::string& S, int64_t start);
    void RunBlock(const std::string& S, const StatementList* prepared, int64_t start);
    void ExecuteLocated(Parser& parser, const BlockFrame& frame);
    void ExecuteStatement(Parser& parser);
    bool ExecuteCall(Parser& parser);
    bool ExecuteAssignment(Parser& parser);
    bool ExecuteKeyword(Parser& parser);
    void ExecuteIf(Parser& parser);
    // The IF after an ELSE, still to run: its text and where it starts (as for BSExecute).
    struct ChainLink {
        std::string text;
        int64_t start;
    };
    std::optional<ChainLink> RunIf(Parser& parser);
    void RunElseIfChain(ChainLink link);
    std::optional<ChainLink> RunChainLink(Parser& parser);
    void ExecuteFor(Parser& parser);
    void ExecuteWhile(Parser& parser);
    void ExecuteRepeat(Parser& parser);
    void ExecuteCase(Parser& parser);
    bool LoopMustStop() const { return Exit_Flg || Break_Flg; }
    // Checked before each statement of a block.
    bool BlockMustStop() const { return Abort_Flg || Break_Flg || Continue_Flg || Exit_Flg; }
    bool CaseSelector(const std::string& S, int64_t Value);

    // Expressions (the grammar is Grammar.h's); reading variables that may live in the host.
    int64_t IEExecute(const std::string& S, const TokenStream* prepared = nullptr);
    double REExecute(const std::string& S, const TokenStream* prepared = nullptr);
    std::string SEExecute(const std::string& S, const TokenStream* prepared = nullptr);
    int64_t ReadIntVariable(const std::string& storedName, const TVarState& var);
    double ReadRealVariable(const std::string& storedName, const TVarState& var);
    void ReadStrVariable(const std::string& storedName, const TVarState& var, std::string& value);

    // Calls, given the name as stored in the tables.
    void ExecProc(Parser& parser, const std::string& ProcName, TFuncStatus& routine);
    int64_t ExecIntFunc(Parser& parser, const std::string& FuncName, TFuncStatus& routine);
    double ExecRealFunc(Parser& parser, const std::string& FuncName, TFuncStatus& routine);
    std::string ExecStrFunc(Parser& parser, const std::string& FuncName, TFuncStatus& routine);
    void CollectArguments(Parser& parser, const TFuncStatus& routine);
    std::string CollectArgumentText(Parser& parser);
    TDLLRet CallExternal(const std::string& name, TFuncStatus& routine);

    // The dispatch of a call whose arguments are evaluated, in `args`: to the built-in library,
    // an external library or the host. `failToken` is the token an undeclared built-in names.
    void DispatchProc(const std::string& name, TFuncStatus& routine, TArgument* args,
                      std::string_view failToken);
    int64_t DispatchInt(const std::string& name, TFuncStatus& routine, TArgument* args,
                        std::string_view failToken);
    double DispatchReal(const std::string& name, TFuncStatus& routine, TArgument* args,
                        std::string_view failToken);
    std::string DispatchStr(const std::string& name, TFuncStatus& routine, TArgument* args,
                            std::string_view failToken);

    // Built-in library. The functions that only compute also serve the compiled form, which
    // hands them its arguments without copying a string variable.
    static bool Computes(int32_t index);
    std::string ComputeStr(int32_t index, const LibraryArguments& a) const;
    int64_t ComputeInt(int32_t index, const LibraryArguments& a) const;
    double ComputeReal(int32_t index, const LibraryArguments& a) const;
    void RunBuiltinProc(int32_t index, TArgument* args, std::string_view failToken);
    int64_t RunBuiltinIntFunc(int32_t index, TArgument* args, std::string_view failToken);
    double RunBuiltinRealFunc(int32_t index, TArgument* args, std::string_view failToken);
    std::string RunBuiltinStrFunc(int32_t index, TArgument* args, std::string_view failToken);
    void PauseScript();
    bool IsDefine(const std::string& S) const;

    // The compiled form: run by Compiled.cpp, translated by Compiler.cpp.
    std::unique_ptr<CompiledProgram> compiledProgram;
    const TokenStream* programTokens = nullptr; // the program's tokens, while a run uses them
    // The tables' epoch the code running was translated at.
    uint64_t activeEpoch = 0;
    // Set when the rest of the entry running is read by the text interpreter, from deoptAt on.
    bool deopt = false;
    uint32_t deoptAt = 0;

    // Changes with every change of a symbol table (of any engine, which only costs a translation).
    uint64_t Epoch() const { return lastSymbolGeneration.load(std::memory_order_relaxed); }
    // The program's tokens; kept with its compiled form while the program stays the same.
    std::shared_ptr<const TokenStream> ProgramTokens(const std::string& program);
    // The main block: `text` as the text interpreter runs it, starting at the program's token
    // `start`; `range`, its tokens.
    void RunMainBlock(const std::string& text, int64_t start, TokenRange range);
    void RunCompiledBlock(CompiledBlock& block);
    void RunCompiledChain(CompiledLink& link);
    void RunStatement(StatementEntry& statement);
    void RunCallStatement(CallStatement& statement);
    void RunAssignment(AssignStatement& statement);
    void AppendInPlace(const AssignStatement& statement);
    CompiledLink* RunIfHead(IfStatement& statement);
    void RunFor(ForStatement& statement);
    void RunWhile(WhileStatement& statement);
    void RunRepeat(RepeatStatement& statement);
    void RunCase(CaseStatement& statement);
    bool Matches(CaseBranch& branch, int64_t value);
    bool CaseMatches(std::vector<CaseLabel>& labels, int64_t value);
    // Inline for the common case (Compiled.h): translated, not too deep, nothing to hand over.
    int64_t EvalInt(IntEntry& entry);
    double EvalReal(RealEntry& entry);
    std::string EvalStr(StrEntry& entry);
    int64_t EvalIntInFull(IntEntry& entry);
    double EvalRealInFull(RealEntry& entry);
    std::string EvalStrInFull(StrEntry& entry);
    int64_t CallInt(CallSite& site);
    double CallReal(CallSite& site);
    std::string CallStr(CallSite& site);
    void CallProc(CallSite& site);
    void EvaluateArguments(CallSite& site);
    // After a node that may have changed the tables: the rest of the entry is the text
    // interpreter's from `end` on, when they have changed.
    void AfterOpaque(uint32_t end);
    int64_t Continue(Level level, int64_t value, const Continuation& at);
    double Continue(Level level, double value, const Continuation& at);
    std::string Continue(Level level, std::string value, const Continuation& at);
    void CloseAfterDeopt(const Continuation& at);
    double ParenthesisedStringText(uint32_t start, uint32_t end, const Continuation& at);
    // The text interpreter on a range of the program's tokens.
    Parser ProgramParser(TokenRange range, size_t at) const;

    // Translation.
    void Split(CompiledBlock& block);
    void SplitLink(CompiledLink& link);
    void DecideLink(CompiledLink& link);
    void Compile(StatementEntry& statement);
    void Compile(IntEntry& entry);
    void Compile(RealEntry& entry);
    void Compile(StrEntry& entry);
};

// Drops a call's pending arguments when it leaves, however it leaves.
class PopArgumentsAtEnd {
public:
    explicit PopArgumentsAtEnd(std::vector<TArgument>& stack) : stack(stack), base(stack.size()) {}
    ~PopArgumentsAtEnd() { stack.resize(base); }
    PopArgumentsAtEnd(const PopArgumentsAtEnd&) = delete;
    PopArgumentsAtEnd& operator=(const PopArgumentsAtEnd&) = delete;
    size_t Base() const { return base; }

private:
    std::vector<TArgument>& stack;
    size_t base;
};

} // namespace ksl
