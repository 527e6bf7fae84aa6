// Construction, destruction and the variable table of the engine.
#include "Cache.h"
#include "Compiled.h"
#include "Errors.h"
#include "Interpreter.h"
#include "KSLParser.h"
#include "Text.h"

namespace ksl {

namespace {

const char* const LibraryPrototypes[] = {
    "procedure ProcessMessages;Index $0001;",
    "procedure Sleep(Milliseconds:Integer);Index $0002;",
    "procedure Pause;Index $0003;",
    "function Copy(S:String;Start,Length:Integer):String;Index $1001;",
    "function Delete(S:String;Index,Count:Integer):String;Index $1002;",
    "function InputBox(ACaption,APrompt,ADefault:String):String;Index $1003;",
    "function Insert(Source:String;S:String;Index:Integer):String;Index $1004;",
    "function IntToStr(Value:Integer):String;Index $1005;",
    "function LowerCase(S:String):String;Index $1006;",
    "function Trim(S:String):String;Index $1007;",
    "function TrimLeft(S:String):String;Index $1008;",
    "function TrimRight(S:String):String;Index $1009;",
    "function UpperCase(S:String):String;Index $100A;",
    "function FloatToStr(Value:Real):String;Index $100B;",
    "function PtrToStr(p:Integer):String;Index $100C;",
    "function CompareStr(S1,S2:String):Integer;Index $2001;",
    "function Exec(Path,CmdLine:String;Wait:Integer):Integer;Index $2002;",
    "function Length(S:String):Integer;Index $2003;",
    "function MessageBox(Text,Caption:String;Flags:Integer):Integer;Index $2004;",
    "function Pos(Substr:String;S:String): Integer;Index $2005;",
    "function Shell(Path,CmdLine:String):Integer;Index $2006;",
    "function StrToInt(S: String):Integer;Index $2007;",
    "function IsDefine(S:String):Integer;Index $2008;",
    "function Trunc(X:Real):Integer;Index $2009;",
    "function Round(X:Real):Integer;Index $200A;",
    "function RegisterRoutine(D,A,G,R:String):Integer;Index $200B;",
    "function IntToPtr(i:Integer):Integer;Index $200C;",
    "function FloatToPtr(f:Real):Integer;Index $200D;",
    "function StrToPtr(s:String):Integer;Index $200E;",
    "function PtrToInt(p:Integer):Integer;Index $200F;",
    "function Frac(X:Real):Real;Index $3001;",
    "function Int(X:Real):Real;Index $3002;",
    "function StrToFloat(S:String):Real;Index $3003;",
    "function PtrToFloat(p:Integer):Real;Index $3004;",
};

// A string value held by the engine ends at its first NUL byte.
std::string UpToNul(std::string s) {
    CutAtNul(s);
    return s;
}

} // namespace

std::string FormatMessage(std::string_view message, std::string_view arg) {
    std::string text(message);
    if (size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, arg);
    return text;
}

void Fail(std::string_view message, std::string_view arg) {
    throw EKestrelError(FormatMessage(message, arg));
}

Interpreter::Interpreter(TKestrel& host) : host(host), textCache(std::make_unique<TextCache>()) {
    AddInt("True", -1, true, false, 0);
    AddInt("False", 0, true, false, 0);
    AddStr("Nil", "", true, false, 0);
    for (const char* prototype : LibraryPrototypes)
        AddFunction(prototype, true);
}

Interpreter::~Interpreter() = default;

// Registers a host entry; it survives every run.
TVarState& Interpreter::AddEntry(const std::string& Name, uint8_t VarType, bool Constant, bool Obj,
                                 int32_t Index) {
    if (Variable.Contains(Name)) Fail(errDupVar, Name);
    auto state = std::make_unique<TVarState>();
    state->BuiltIn = true;
    state->Constant = Constant;
    state->Obj = Obj;
    state->Index = Index;
    state->VarType = VarType;
    TVarState& entry = *state;
    Variable.Add(Name, std::move(state));
    return entry;
}

void Interpreter::AddInt(const std::string& Name, int64_t IntVal, bool Constant, bool Obj,
                         int32_t Index) {
    TVarState& entry = AddEntry(Name, vtInteger, Constant, Obj, Index);
    entry.ValInteger = IntVal;
    entry.ValReal = double(IntVal);
}

void Interpreter::AddStr(const std::string& Name, const std::string& StrVal, bool Constant,
                         bool Obj, int32_t Index) {
    AddEntry(Name, vtString, Constant, Obj, Index).ValString = UpToNul(StrVal);
}

void Interpreter::AddReal(const std::string& Name, double RealVal, bool Constant, bool Obj,
                          int32_t Index) {
    AddEntry(Name, vtReal, Constant, Obj, Index).ValReal = RealVal;
}

void Interpreter::DeleteVar(const std::string& Name) {
    std::unique_ptr<TVarState> record = Variable.Remove(Name);
    if (record && Exec_Flg) deletedVariables.push_back(std::move(record));
}

TKestrel::TKestrel() : impl(std::make_unique<Interpreter>(*this)) {}

TKestrel::~TKestrel() = default;

const TStrings& TKestrel::Define() const {
    return impl->FDefine;
}
void TKestrel::SetDefine(const TStrings& lines) {
    impl->FDefine = lines;
}
const TStrings& TKestrel::Source() const {
    return impl->FSource;
}
void TKestrel::SetSource(const TStrings& lines) {
    impl->FSource = lines;
}
const TStrings& TKestrel::DeclarePrototype() const {
    return impl->FDeclarePrototype;
}
void TKestrel::SetDeclarePrototype(const TStrings& lines) {
    impl->FDeclarePrototype = lines;
}
const TStrings& TKestrel::YieldingRoutines() const {
    return impl->FYieldingRoutines;
}
void TKestrel::SetYieldingRoutines(const TStrings& names) {
    impl->FYieldingRoutines = names;
}

void TKestrel::Execute() {
    impl->Execute();
}
void TKestrel::RequestAbort() noexcept {
    impl->RequestAbort();
}
void TKestrel::Abort() {
    impl->Abort();
}
bool TKestrel::IsRunning() const {
    return impl->Exec_Flg;
}
int32_t TKestrel::ErrorLine() const {
    return impl->FErrorLine;
}
const std::string& TKestrel::ErrorStatement() const {
    return impl->FErrorStatement;
}
bool TKestrel::UseCache() const {
    return impl->FUseCache;
}
void TKestrel::SetUseCache(bool use) {
    impl->FUseCache = use;
}
bool TKestrel::UseCompiler() const {
    return impl->FUseCompiler;
}
void TKestrel::SetUseCompiler(bool use) {
    impl->FUseCompiler = use;
}
size_t TKestrel::MaxStringLength() const {
    return impl->FMaxStringLength;
}
void TKestrel::SetMaxStringLength(size_t bytes) {
    impl->FMaxStringLength = bytes;
}
size_t TKestrel::CacheBytes() const {
    return impl->CacheBytes();
}
size_t TKestrel::CacheCapBytes() const {
    return impl->CacheCapBytes();
}
void TKestrel::Continue() {
    impl->Pause_Flg = false;
}

void TKestrel::AddIntVar(const std::string& Name, int64_t IntVal, bool Constant) {
    impl->AddInt(Name, IntVal, Constant, false, 0);
}

void TKestrel::AddStrVar(const std::string& Name, const std::string& StrVal, bool Constant) {
    impl->AddStr(Name, StrVal, Constant, false, 0);
}

void TKestrel::AddRealVar(const std::string& Name, double RealVal, bool Constant) {
    impl->AddReal(Name, RealVal, Constant, false, 0);
}

void TKestrel::AddIntObj(const std::string& Name, int64_t IntVal, bool Constant, int32_t Index) {
    impl->AddInt(Name, IntVal, Constant, true, Index);
}

void TKestrel::AddRealObj(const std::string& Name, double RealVal, bool Constant, int32_t Index) {
    impl->AddReal(Name, RealVal, Constant, true, Index);
}

void TKestrel::AddStrObj(const std::string& Name, const std::string& StrVal, bool Constant,
                         int32_t Index) {
    impl->AddStr(Name, StrVal, Constant, true, Index);
}

int64_t TKestrel::GetIntVar(const std::string& Name) const {
    const TVarState* v = impl->Variable.Find(Name);
    return v && v->VarType == vtInteger ? v->ValInteger : 0;
}

double TKestrel::GetRealVar(const std::string& Name) const {
    const TVarState* v = impl->Variable.Find(Name);
    return v && v->VarType == vtReal ? v->ValReal : 0.0;
}

std::string TKestrel::GetStrVar(const std::string& Name) const {
    const TVarState* v = impl->Variable.Find(Name);
    return v && v->VarType == vtString ? v->ValString : std::string();
}

bool TKestrel::SetIntVar(const std::string& Name, int64_t Value) {
    TVarState* v = impl->Variable.Find(Name);
    if (!v || v->VarType != vtInteger) return false;
    v->ValInteger = Value;
    return true;
}

bool TKestrel::SetRealVar(const std::string& Name, double Value) {
    TVarState* v = impl->Variable.Find(Name);
    if (!v || v->VarType != vtReal) return false;
    v->ValReal = Value;
    return true;
}

bool TKestrel::SetStrVar(const std::string& Name, const std::string& Value) {
    TVarState* v = impl->Variable.Find(Name);
    if (!v || v->VarType != vtString) return false;
    v->ValString = UpToNul(Value);
    return true;
}

void TKestrel::DeleteVar(const std::string& Name) {
    impl->DeleteVar(Name);
}

int32_t TKestrel::GetVarType(const std::string& Name) const {
    const TVarState* v = impl->Variable.Find(Name);
    return v ? v->VarType : -1;
}

TArgumentValue TKestrel::Arguments(const TArgumentList& Argument, int32_t Position) {
    TArgumentValue value;
    if (Position < 0 || size_t(Position) >= Argument.size()) return value;
    const TArgument& a = Argument[size_t(Position)].Arg;
    value.AsInteger = a.ArgInteger;
    value.AsReal = a.ArgReal;
    value.AsString = a.ArgString;
    return value;
}

TArgumentValue TKestrel::ArgumentByName(const TArgumentList& Argument, std::string_view Name) {
    for (size_t i = 0; i < Argument.size(); ++i)
        if (SameText(Argument[i].Name, Name)) return Arguments(Argument, int32_t(i));
    return {};
}

void TKestrel::AddFunction(const std::string& Definition, bool Mode) {
    impl->AddFunction(Definition, Mode);
}

bool TKestrel::RegisterRoutine(const std::string& FileName, const std::string& APIName,
                               const std::string& Argument, const std::string& Return) {
    return impl->RegisterRoutine(FileName, APIName, Argument, Return);
}

const TVariableTable& TKestrel::Variables() const {
    return impl->Variable;
}
const TRoutineTable& TKestrel::Procedures() const {
    return impl->BuiltinProc;
}
const TRoutineTable& TKestrel::Functions() const {
    return impl->BuiltinFunc;
}

void Interpreter::ReportHostError(int32_t Err_CD) const {
    if (Err_CD == 0) return;
    std::string message;
    if (host.ErrorProc) host.ErrorProc(Err_CD, message);
    throw EKestrelError(message);
}

} // namespace ksl
