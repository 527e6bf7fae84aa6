#include "Extraction.h"

#include <gtest/gtest.h>

using namespace ksl;

namespace {

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> list;
    ExtractDelimiter(";", text, list);
    return list;
}

TEST(ExtractDelimiter, SplitsAtSemicolonsOutsideNestedStructures) {
    struct Case {
        std::string text;
        std::vector<std::string> statements;
    } cases[] = {
        {"a:=1;b:=2", {"a := 1 ", "b := 2 "}},
        {"begin a:=1; b:=2 end; c:=3", {"begin a := 1 ; b := 2 end ", "c := 3 "}},
        {"repeat x:=x+1; until x>3; y:=0", {"repeat x := x + 1 ; until x > 3 ", "y := 0 "}},
        {"", {}},
        {";;", {}},
        {"a;;b;", {"a ", "b "}},
        {"s:='a;b'", {"s := 'a;b' "}},
        {"BEGIN x:=1; End; y:=2", {"BEGIN x := 1 ; End ", "y := 2 "}},
        {"case k of 1: a; 2: b end; c", {"case k of 1 : a ; 2 : b end ", "c "}},
        {"end; a:=1; b:=2", {"end ; a := 1 ; b := 2 "}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Split(c.text), c.statements) << c.text;
}

TEST(Get_ExpString, StopsAtTheFirstSelectedStopWord) {
    struct Case {
        std::string text;
        uint8_t stops;
        std::string expression;
        std::string stoppedAt;
    } cases[] = {
        {"a > 0 then x := 1", bwThen, "a > 0 ", "then"},
        {"i := 10 downto 1 do", bwTo | bwDownTo, "i := 10 ", "downto"},
        {"f(a, b) do", bwDo, "f ( a , b ) ", "do"},
        {"1, 3..5: x", bwColon, "1 , 3 .. 5 ", ":"},
        {"then x then", bwThen, "then x ", "then"},
        {"a b", bwThen, "a b ", ""},
    };
    for (const Case& c : cases) {
        TKSLParser parser(c.text);
        EXPECT_EQ(Get_ExpString(parser, c.stops), c.expression) << c.text;
        EXPECT_EQ(parser.TokenString(), c.stoppedAt) << c.text;
    }
}

TEST(Get_Sentence, TakesABlockOrOneStatement) {
    struct Case {
        std::string text;
        bool nested;
        std::string sentence;
        std::string stoppedAt;
    } cases[] = {
        {"begin end", false, "", "end"},
        {"repeat until c", false, "", "until"},
        {"begin a; begin b end end else c", false, "a ; begin b end ", "end"},
        {"repeat a; repeat b until d; c until e", false, "a ; repeat b until d ; c ", "until"},
        {"x := 1 else y := 2", false, "x := 1 ", "else"},
        {"x := 1; y := 2", false, "x := 1 ", ";"},
        {"if a then b else c else d", false, "if a then b else c else d ", ""},
        {"case k of 1: a; end else z", false, "case k of 1 : a ; end ", "else"},
        {"a := 1 end", false, "a := 1 end ", ""},
        // A REPEAT standing as a nested statement is taken whole, with its condition.
        {"repeat a until b else c", true, "repeat a until b ", "else"},
        {"repeat a until b; c", true, "repeat a until b ", ";"},
    };
    for (const Case& c : cases) {
        TKSLParser parser(c.text);
        EXPECT_EQ(Get_Sentence(parser, c.nested), c.sentence) << c.text;
        EXPECT_EQ(parser.TokenString(), c.stoppedAt) << c.text;
    }
}

} // namespace
