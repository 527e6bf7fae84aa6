#include "ScriptHarness.h"

#include <gtest/gtest.h>

using ksltest::Script;

namespace {

// A host that added a routine Fail after macros were written, and lets it give way to a macro's
// own use of the name.
class Host : public Script {
public:
    explicit Host(bool failYields) {
        engine.SetDeclarePrototype(
            {"procedure Print(S:String); index 1;", "procedure Fail(Reason:String); index 2;"});
        if (failYields) engine.SetYieldingRoutines({"fail"});
        engine.ProcParam = [this](const std::string&, int32_t index, ksl::TArgumentList& args,
                                  int32_t&) {
            (index == 1 ? printed : failed).push_back(args[0].Arg.ArgString);
        };
    }
    std::vector<std::string> failed;
};

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "|") + line;
    return text;
}

struct YieldCase {
    std::string program;
    bool failYields;
    std::string printed, failed, error;
};

TEST(YieldingRoutines, GiveWayToTheMacrosOwnVariableOrRoutineOnly) {
    const std::string registerFail = "RegisterRoutine('no-such-library.so', 'Fail', 'S', '')";
    const YieldCase cases[] = {
        {"Fail('bad')", true, "", "bad", ""},
        {"var Fail: Integer; begin Fail := 3; Print(IntToStr(Fail)) end.", true, "3", "", ""},
        {"var FAIL: String; begin fail := 'own'; Print(Fail) end.", true, "own", "", ""},
        // A routine that does not give way keeps its name, as before.
        {"var Fail: Integer; begin Fail := 3 end.", false, "", "", "文法エラーです[:=]"},
        {"var i: Integer; begin i := " + registerFail + "; Print(IntToStr(i)); Fail('x') end.",
         true, "-1", "", ""},
        {"var i: Integer; begin i := " + registerFail + "; Print(IntToStr(i)); Fail('x') end.",
         false, "0", "x", ""},
        // Only the listed name gives way.
        {"var i: Integer; begin i := RegisterRoutine('x.so', 'Print', 'S', ''); "
         "Print(IntToStr(i)) end.",
         true, "0", "", ""},
        // A statement that ran with the host's routine meets the registered one on its next pass.
        {"var i: Integer; begin for i := 1 to 2 do begin Fail(IntToStr(i)); i := i + 0 * " +
             registerFail + " end end.",
         true, "", "1", ""},
        // A call already under way finishes with the host's routine.
        {"Fail(IntToStr(" + registerFail + "))", true, "", "-1", ""},
    };
    for (const YieldCase& c : cases) {
        Host host(c.failYields);
        EXPECT_EQ(host.Run(c.program), c.error) << c.program;
        EXPECT_EQ(Joined(host.printed), c.printed) << c.program;
        EXPECT_EQ(Joined(host.failed), c.failed) << c.program;
    }
}

TEST(YieldingRoutines, ComeBackAtTheNextRun) {
    Host host(true);
    EXPECT_EQ(host.Run("var Fail: Integer; begin Fail := 1 end."), "");
    EXPECT_EQ(host.Run("Fail('again')"), "");
    EXPECT_EQ(Joined(host.failed), "again");
}

} // namespace
