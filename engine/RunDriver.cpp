// One run of the program: reset, declare, strip comments, read the variable section, execute.
#include "Errors.h"
#include "Interpreter.h"
#include "KSLParser.h"
#include "Text.h"

namespace ksl {

namespace {

// Marks the run as running for as long as it lives; when the run leaves, however it leaves, the
// records of variables deleted during it go as well.
class RunningGuard {
public:
    RunningGuard(bool& flag, std::vector<std::unique_ptr<TVarState>>& deleted)
        : flag(flag), deleted(deleted) {
        flag = true;
    }
    ~RunningGuard() {
        flag = false;
        deleted.clear();
    }
    RunningGuard(const RunningGuard&) = delete;
    RunningGuard& operator=(const RunningGuard&) = delete;

private:
    bool& flag;
    std::vector<std::unique_ptr<TVarState>>& deleted;
};

} // namespace

void Interpreter::Execute() {
    // A second run would remove the routines and variables the first one is still using.
    if (Exec_Flg) throw EKestrelError(std::string(errReentered));
    try {
        Run();
    } catch (const EKestrelError&) {
        throw;
    } catch (const std::exception& e) {
        // A host callback's own exception; hosts see one type, with its message unchanged.
        throw EKestrelError(e.what());
    }
}

void Interpreter::Run() {
    ForgetFailure();
    Abort_Flg = Break_Flg = Continue_Flg = Pause_Flg = Exit_Flg = false;
    DLL_Index = 0;
    yieldedRoutines.clear();
    Variable.RemoveIf([](const TVarState& v) { return !v.BuiltIn; });
    BuiltinFunc.RemoveIf([](const TFuncStatus& f) { return !f.BuiltIn; });
    BuiltinProc.RemoveIf([](const TFuncStatus& f) { return !f.BuiltIn; });
    for (const std::string& line : FDeclarePrototype) {
        const std::string_view prototype = Trim(line, IsBlankOrNul);
        if (!prototype.empty()) AddFunction(std::string(prototype), false);
    }
    const std::string program = SkipComment(FSource);

    const std::shared_ptr<const TokenStream> tokens = ProgramTokens(program);
    TKSLParser parser(tokens);
    RunningGuard running(Exec_Flg, deletedVariables);
    const bool Block_Flg = parser.Is(Kw::Var);
    if (Block_Flg) {
        parser.NextToken();
        do {
            ProcessVariableLocated(parser);
        } while (!parser.Is(Kw::Begin) && parser.Token() != toEOF);
        YieldToDeclaredVariables();
    }
    if (!Block_Flg) {
        RunMainBlock(program, 0, TokenRange{0, uint32_t(parser.End())});
        return;
    }
    const int64_t StartPos = parser.SourcePos();
    const int64_t startToken = int64_t(parser.Index());
    int64_t EndPos = 0;
    size_t endToken = 0;
    for (; parser.Token() != toEOF; parser.NextToken()) {
        if (!parser.Is(Kw::End)) continue;
        EndPos = parser.SourcePos();
        endToken = parser.Index();
    }
    if (EndPos == 0) Fail(errEnd, "Block");
    // The block runs up to the blank before the last END, so that END and a closing "." drop.
    const int64_t length = EndPos - 1 - StartPos;
    RunMainBlock(program.substr(size_t(StartPos), size_t(length > 0 ? length : 0)), startToken,
                 TokenRange{uint32_t(startToken), uint32_t(endToken)});
}

void Interpreter::RequestAbort() noexcept {
    if (!Exec_Flg) return;
    Pause_Flg = false;
    Abort_Flg = true;
}

void Interpreter::Abort() {
    if (!Exec_Flg) return;
    RequestAbort();
    throw EKestrelError(std::string(errAbort));
}

std::string Interpreter::SkipComment(const TStrings& Value, std::vector<int32_t>* lines) {
    std::string program;
    if (lines) lines->clear();
    for (size_t i = 0; i < Value.size(); ++i) {
        const std::string& sourceLine = Value[i];
        std::string line;
        for (TKSLParser parser(sourceLine); parser.Token() != toEOF; parser.NextToken()) {
            if (parser.Token() == toComment) continue;
            line += parser.TokenView();
            line += ' ';
        }
        line.resize(TrimRight(line, IsBlankOrNul).size());
        if (line.empty()) continue;
        program += line;
        program += "\r\n";
        if (lines) lines->push_back(int32_t(i + 1));
    }
    return program;
}

// A declaration that fails names the line of the token it failed at.
void Interpreter::ProcessVariableLocated(Parser& parser) {
    try {
        ProcessVariable(parser);
    } catch (...) {
        NoteFailureAtProgramToken(parser.Index());
        throw;
    }
}

void Interpreter::ProcessVariable(Parser& parser) {
    std::vector<std::string> names{ProcessVarname(parser)};
    while (AMatch(parser, ","))
        names.push_back(ProcessVarname(parser));
    if (!AMatch(parser, ":")) Fail(errSyntax, parser.TokenView());
    uint8_t type;
    if (parser.Is(Kw::Integer))
        type = vtInteger;
    else if (parser.Is(Kw::Real))
        type = vtReal;
    else if (parser.Is(Kw::String))
        type = vtString;
    else
        Fail(errSyntax, parser.TokenView());
    for (const std::string& name : names) {
        auto state = std::make_unique<TVarState>();
        state->VarType = type;
        Variable.Add(name, std::move(state));
    }
    parser.NextToken();
    if (!parser.Is(";")) Fail(errSyntax, parser.TokenView());
    parser.NextToken();
}

std::string Interpreter::ProcessVarname(Parser& parser) {
    if (parser.Token() != toAnk) Fail(errSyntax, parser.TokenView());
    std::string name = parser.TokenString();
    if (Variable.Contains(name)) Fail(errDupVar, name);
    parser.NextToken();
    return name;
}

} // namespace ksl
