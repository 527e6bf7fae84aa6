#include "ProgramGenerator.h"

#include <string_view>
#include <vector>

namespace ksltest {

namespace {

// Host, Temp and Name live in the host; `late` is a variable the host adds when Grow is called.
const std::vector<std::string_view> intVars = {"a", "b", "k", "Host"};
const std::vector<std::string_view> realVars = {"r", "q", "Temp"};
const std::vector<std::string_view> strVars = {"s", "t", "Name"};

// Loop counters and guards belong to one nesting depth each, so no other statement changes them.
std::string Counter(int depth) {
    return "c" + std::to_string(depth);
}
std::string Guard(int depth) {
    return "g" + std::to_string(depth);
}

constexpr int maxDepth = 3;

} // namespace

std::string ProgramGenerator::Program() {
    std::string program = "var a, b, k: Integer; r, q: Real; s, t: String;\n"
                          "  c0, c1, c2, c3, g0, g1, g2, g3: Integer;\nbegin\n";
    const int count = 2 + Pick(6);
    for (int i = 0; i < count; ++i)
        program += "  " + Statement(0, false) + ";\n";
    return program + "end.\n";
}

std::string ProgramGenerator::Block(int depth, bool inLoop) {
    std::string text = "begin ";
    const int count = Pick(4);
    for (int i = 0; i < count; ++i)
        text += Statement(depth + 1, inLoop) + "; ";
    return text + "end";
}

std::string ProgramGenerator::Statement(int depth, bool inLoop) {
    const int kind = depth >= maxDepth ? Pick(3) : Pick(16);
    switch (kind) {
    case 0:
    case 1:
        return Assignment();
    case 2:
        return "Print(" + StrExpr(1) + ")";
    case 3:
        return If(depth, inLoop);
    case 4:
        return For(depth);
    case 5:
        return While(depth);
    case 6:
        return Repeat(depth);
    case 7:
        return Case(depth, inLoop);
    case 8:
        return Block(depth, inLoop);
    case 9:
        return inLoop ? "break" : "ProcessMessages";
    case 10:
        return inLoop ? "continue" : Assignment();
    case 11:
        return Chance(15) ? "exit" : "Print(IntToStr(" + IntExpr(1) + "))";
    case 12:
        return Chance(20) ? Mistake() : Assignment();
    case 13:
        return HostChange();
    case 14:
        return Chance(3) ? Deep() : Assignment();
    default:
        return Assignment();
    }
}

// Statements in which a host routine changes the tables in the middle, so that what follows
// means something else than when the statement started.
std::string ProgramGenerator::HostChange() {
    static const std::vector<std::string_view> changes = {
        "a := Grow + late",
        "a := late",
        "Drop; a := k",
        "b := Grow * 2 + late div 3",
        "s := Echo(IntToStr(Grow)) + IntToStr(late)",
        "if Grow = 1 then a := late else a := -late",
        "a := RegisterRoutine('libc.so.6', 'labs', 'I', 'I') + labs(-3)",
        "a := labs(-4)",
        "Print(IntToStr(Grow + late))",
        "a := Length(Echo(s)) + (Grow + late)",
        "k := Grow; k := late",
        "Grow := 1",
        "Print(Echo('x')) late := 2",
        "r := (Grow + late) / 2",
        "r := ('1.5' + Echo(s))",
        "r := ('x' + zz) + 1",
        "Drop",
        // strlen is the host's until libc's own takes the name.
        "a := strlen(s)",
        "a := strlen(s) + RegisterRoutine('libc.so.6', 'strlen', 'S', 'I') + strlen(s)",
        "Print(IntToStr(strlen(Echo(t))))",
    };
    return std::string(changes[size_t(Pick(int(changes.size())))]);
}

// Nesting beyond the engine's limit, in blocks or in parentheses.
std::string ProgramGenerator::Deep() {
    const int levels = 250 + Pick(10);
    if (Chance(50)) {
        std::string text;
        for (int i = 0; i < levels; ++i)
            text += "begin ";
        text += "a := 1";
        for (int i = 0; i < levels; ++i)
            text += " end";
        return text;
    }
    return "a := " + std::string(size_t(levels), '(') + "1" + std::string(size_t(levels), ')');
}

std::string ProgramGenerator::Assignment() {
    switch (Pick(3)) {
    case 0:
        return std::string(intVars[size_t(Pick(int(intVars.size())))]) + " := " + IntExpr(0);
    case 1:
        return std::string(realVars[size_t(Pick(2))]) + " := " + RealExpr(0);
    default:
        // Cut, so that a loop doubling a string cannot grow it without bound.
        return std::string(strVars[size_t(Pick(2))]) + " := Copy(" + StrExpr(0) + ", 1, 40)";
    }
}

std::string ProgramGenerator::If(int depth, bool inLoop) {
    std::string text = "if " + Condition(0) + " then " + Statement(depth + 1, inLoop);
    // An ELSE IF chain, now and then a long one.
    const int links = Chance(30) ? Pick(Chance(10) ? 40 : 4) : 0;
    for (int i = 0; i < links; ++i)
        text += " else if " + Condition(1) + " then " + Statement(depth + 1, inLoop);
    if (Chance(50)) text += " else " + Statement(depth + 1, inLoop);
    return text;
}

std::string ProgramGenerator::For(int depth) {
    const std::string from = std::to_string(Pick(4) - 1), to = std::to_string(Pick(5));
    const std::string direction = Chance(30) ? " downto " : " to ";
    return "for " + Counter(depth) + " := " + from + direction + to + " do " + Block(depth, true);
}

std::string ProgramGenerator::While(int depth) {
    const std::string g = Guard(depth);
    std::string body = Block(depth, true);
    body.insert(6, g + " := " + g + " + 1; ");
    return "begin " + g + " := 0; while (" + g + " < " + std::to_string(1 + Pick(4)) + ") and (" +
           Condition(1) + ") do " + body + " end";
}

std::string ProgramGenerator::Repeat(int depth) {
    const std::string g = Guard(depth);
    std::string text = "begin " + g + " := 0; repeat " + g + " := " + g + " + 1; ";
    const int count = Pick(3);
    for (int i = 0; i < count; ++i)
        text += Statement(depth + 1, true) + "; ";
    return text + "until (" + g + " >= " + std::to_string(1 + Pick(4)) + ") or (" + Condition(1) +
           ") end";
}

std::string ProgramGenerator::Case(int depth, bool inLoop) {
    std::string text = "case " + IntExpr(1) + " of ";
    const int branches = 1 + Pick(3);
    for (int i = 0; i < branches; ++i) {
        const int low = Pick(6) - 2;
        text += std::to_string(low);
        if (Chance(30)) text += ".." + std::to_string(low + Pick(4));
        if (Chance(20)) text += ", " + IntLeaf();
        text += ": " + Statement(depth + 1, inLoop) + "; ";
    }
    if (Chance(40)) text += "else " + Statement(depth + 1, inLoop) + "; ";
    return text + "end";
}

std::string ProgramGenerator::Mistake() {
    static const std::vector<std::string_view> mistakes = {"zz := 1",
                                                           "a = 1",
                                                           "a := (1 + 2",
                                                           "a := 1 div 0",
                                                           "s := 'x' + 1",
                                                           "a := r + s",
                                                           "if a then",
                                                           "for r := 1 to 2 do a := 1",
                                                           "case a 1: b := 1; end",
                                                           "True := 0",
                                                           "a := Length('x', 'y')",
                                                           "Print(1",
                                                           "r := 1 / 0",
                                                           "a := Copy('abc', 1)",
                                                           "while 0 do",
                                                           "a := zz",
                                                           "t := UpperCase(a)",
                                                           "a := PtrToInt(5)",
                                                           "if a x := 1",
                                                           "for a := 1 to 3",
                                                           "for a 1 to 3 do b := 1",
                                                           "while a",
                                                           "case a of 1: b := 1 end",
                                                           "case a of end",
                                                           "case a of 1 b := 1; end",
                                                           "a := 5 6",
                                                           "a := (1 + (2 * 3)",
                                                           "a := Pos('a', 'b', 'c') + 1",
                                                           "Print('a' 'b') a := 3",
                                                           "a := ) 1",
                                                           "s := #",
                                                           "s := 'a' s",
                                                           "r := 1e300 * 1e300",
                                                           "a := 1 + r",
                                                           "a := Trunc(1e30)",
                                                           "repeat a := a + 1 until",
                                                           "begin a := 1",
                                                           "a := Copy('abc', 1, 2",
                                                           "s := Copy(s, Length(Copy(t, 1, 1)), 2)",
                                                           "a := not 1 and not 2",
                                                           "case a of '1..2': b := 1; end",
                                                           "ProcessMessages() a := 2"};
    return std::string(mistakes[size_t(Pick(int(mistakes.size())))]);
}

std::string ProgramGenerator::IntLeaf() {
    switch (Pick(7)) {
    case 0:
        return std::to_string(Pick(200) - 50);
    case 1:
        return "$" + std::string(Chance(50) ? "FF" : "7FFFFFFFFFFFFFFF");
    case 2:
        return Chance(50) ? "True" : "False";
    case 3:
        return Counter(Pick(maxDepth + 1));
    default:
        return std::string(intVars[size_t(Pick(int(intVars.size())))]);
    }
}

std::string ProgramGenerator::IntExpr(int depth) {
    if (depth >= 3 || Chance(30)) return IntLeaf();
    static const std::vector<std::string_view> ops = {
        " + ",   " - ",   " * ", " div ", " mod ", " and ", " or ", " xor ",
        " shl ", " shr ", " = ", " <> ",  " < ",   " <= ",  " > ",  " >= "};
    switch (Pick(9)) {
    case 0:
        return "(" + IntExpr(depth + 1) + ")";
    case 1:
        return "-" + IntExpr(depth + 1);
    case 2:
        return "not " + IntLeaf();
    case 3:
        return "Length(" + StrExpr(depth + 1) + ")";
    case 4:
        return "Pos(" + StrExpr(depth + 1) + ", " + StrExpr(depth + 1) + ")";
    case 5:
        return Chance(50) ? "Trunc(" + RealExpr(depth + 1) + ")"
                          : "Round(" + RealExpr(depth + 1) + ")";
    case 6:
        return Chance(80) ? "StrToInt(" + StrExpr(depth + 1) + ")" : "(" + StrExpr(depth + 1) + ")";
    default:
        return IntExpr(depth + 1) + std::string(ops[size_t(Pick(int(ops.size())))]) +
               IntExpr(depth + 1);
    }
}

std::string ProgramGenerator::RealExpr(int depth) {
    if (depth >= 3 || Chance(30)) {
        switch (Pick(4)) {
        case 0:
            return std::to_string(Pick(100)) + ".5";
        case 1:
            return std::string(realVars[size_t(Pick(2))]);
        case 2:
            return "1e3";
        default:
            return std::to_string(Pick(9));
        }
    }
    static const std::vector<std::string_view> ops = {" + ", " - ", " * ",  " / ",
                                                      " < ", " = ", " <> ", " >= "};
    switch (Pick(7)) {
    case 0:
        return "(" + RealExpr(depth + 1) + ")";
    case 5:
        return Chance(50) ? "-" + RealExpr(depth + 1) : "(" + IntExpr(depth + 1) + ")";
    case 6:
        return "Int(" + RealExpr(depth + 1) + ") + ('2.5')";
    case 1:
        return "Frac(" + RealExpr(depth + 1) + ")";
    case 2:
        return "StrToFloat(" + StrExpr(depth + 1) + ")";
    default:
        return RealExpr(depth + 1) + std::string(ops[size_t(Pick(int(ops.size())))]) +
               RealExpr(depth + 1);
    }
}

std::string ProgramGenerator::StrExpr(int depth) {
    if (depth >= 3 || Chance(30)) {
        switch (Pick(5)) {
        case 0:
            return "'ab''c'";
        case 1:
            return "#65#$42";
        case 2:
            return "' 12 '";
        default:
            return std::string(strVars[size_t(Pick(2))]);
        }
    }
    switch (Pick(10)) {
    case 8:
        return Chance(50) ? "Delete(" + StrExpr(depth + 1) + ", 2, " + IntLeaf() + ")"
                          : "Insert('-', " + StrExpr(depth + 1) + ", " + IntLeaf() + ")";
    case 9:
        return StrExpr(depth + 1) + "#9'x'";
    case 0:
        return "IntToStr(" + IntExpr(depth + 1) + ")";
    case 1:
        return "FloatToStr(" + RealExpr(depth + 1) + ")";
    case 2:
        return "Copy(" + StrExpr(depth + 1) + ", " + IntLeaf() + ", " + IntLeaf() + ")";
    case 3:
        return "UpperCase(" + StrExpr(depth + 1) + ")";
    case 4:
        return "Trim(" + StrExpr(depth + 1) + ")";
    case 5:
        return "(" + StrExpr(depth + 1) + " < " + StrExpr(depth + 1) + ")";
    default:
        return StrExpr(depth + 1) + " + " + StrExpr(depth + 1);
    }
}

std::string ProgramGenerator::Condition(int depth) {
    switch (Pick(4)) {
    case 0:
        return StrExpr(depth + 1) + " = " + StrExpr(depth + 1);
    case 1:
        return RealExpr(depth + 1) + " < " + RealExpr(depth + 1);
    default:
        return IntExpr(depth);
    }
}

} // namespace ksltest
