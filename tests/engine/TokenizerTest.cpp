#include "KSLParser.h"

#include <gtest/gtest.h>

using namespace ksl;

namespace {

struct Token {
    char kind;
    std::string text;
    bool operator==(const Token&) const = default;
};

std::vector<Token> Tokens(std::string_view text) {
    std::vector<Token> tokens;
    TKSLParser parser(text);
    for (; parser.Token() != toEOF; parser.NextToken())
        tokens.push_back({parser.Token(), parser.TokenString()});
    return tokens;
}

struct TokenCase {
    std::string text;
    std::vector<Token> expected;
};

class Tokenizing : public testing::TestWithParam<TokenCase> {};

TEST_P(Tokenizing, YieldsTheExpectedTokens) {
    EXPECT_EQ(Tokens(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Tokenizing,
    testing::Values(
        TokenCase{"", {}}, TokenCase{" \t\r\n ", {}},
        TokenCase{
            "a:=b+1",
            {{toAnk, "a"}, {toOperator, ":="}, {toAnk, "b"}, {toSymbol, "+"}, {toInteger, "1"}}},
        TokenCase{"x // note", {{toAnk, "x"}, {toComment, "// note"}}},
        TokenCase{"x / y", {{toAnk, "x"}, {toSymbol, "/"}, {toAnk, "y"}}},
        TokenCase{"'it''s'", {{toString, "'it''s'"}}}, TokenCase{"'abc", {{toString, "'abc"}}},
        TokenCase{"$1F $", {{toInteger, "$1F"}, {toInteger, "$"}}},
        TokenCase{"#13 #$0D #", {{toString, "#13"}, {toString, "#$0D"}, {toString, "#"}}},
        TokenCase{"'a'#13'b'", {{toString, "'a'"}, {toString, "#13"}, {toString, "'b'"}}},
        TokenCase{"3.14 2.5E-3 1e5 1.e5 12E 12e+",
                  {{toFloat, "3.14"},
                   {toFloat, "2.5E-3"},
                   {toFloat, "1e5"},
                   {toFloat, "1.e5"},
                   {toFloat, "12E"},
                   {toFloat, "12e+"}}},
        TokenCase{"1..5", {{toInteger, "1"}, {toOperator, ".."}, {toInteger, "5"}}},
        TokenCase{"1.x", {{toInteger, "1"}, {toSymbol, "."}, {toAnk, "x"}}},
        TokenCase{"9abc _a1", {{toInteger, "9"}, {toAnk, "abc"}, {toAnk, "_a1"}}},
        TokenCase{"{}[]^%",
                  {{toSymbol, "{"},
                   {toSymbol, "}"},
                   {toSymbol, "["},
                   {toSymbol, "]"},
                   {toSymbol, "^"},
                   {toSymbol, "%"}}},
        TokenCase{"<= <> >= < > :",
                  {{toOperator, "<="},
                   {toOperator, "<>"},
                   {toOperator, ">="},
                   {toSymbol, "<"},
                   {toSymbol, ">"},
                   {toSymbol, ":"}}},
        // A multi-byte character outside quotes: each byte from 0x80 up is a symbol of its own.
        TokenCase{"\xE3\x81\x82", {{toSymbol, "\xE3"}, {toSymbol, "\x81"}, {toSymbol, "\x82"}}},
        TokenCase{"'\xE3\x81\x82'", {{toString, "'\xE3\x81\x82'"}}},
        TokenCase{std::string("a\0b", 3), {{toAnk, "a"}}}));

TEST(Tokenizer, SourcePosCountsBytesFromTheStart) {
    TKSLParser parser("  BEGIN x");
    EXPECT_EQ(parser.SourcePos(), 2);
    parser.NextToken();
    EXPECT_EQ(parser.SourcePos(), 8);
}

TEST(Tokenizer, StaysAtTheEndOnceReached) {
    TKSLParser parser("x");
    EXPECT_EQ(parser.NextToken(), toEOF);
    EXPECT_EQ(parser.NextToken(), toEOF);
    EXPECT_EQ(parser.TokenString(), "");
}

TEST(Tokenizer, AMatchIgnoresLetterCaseAndMatchesWholeTokensOnly) {
    TKSLParser parser("Begin Beginx");
    EXPECT_TRUE(AMatch(parser, "begin"));
    EXPECT_FALSE(AMatch(parser, "begin"));
    EXPECT_EQ(parser.TokenString(), "Beginx");
}

TEST(Tokenizer, GetSymKeepsTheQuotesOfAStringToken) {
    TKSLParser parser("'end'");
    EXPECT_EQ(GetSym(parser), "'END'");
}

} // namespace

namespace {

// A token carries an operator's code exactly when its text is that operator, in any letter case.
struct OperatorCase {
    std::string text;
    std::vector<Op> expected;
};

class OperatorCodes : public testing::TestWithParam<OperatorCase> {};

TEST_P(OperatorCodes, FollowTheTextOfEveryToken) {
    std::vector<Op> codes;
    for (TKSLParser parser(GetParam().text); parser.Token() != toEOF; parser.NextToken())
        codes.push_back(parser.Operator());
    EXPECT_EQ(codes, GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, OperatorCodes,
    testing::Values(OperatorCase{"= <> < <= > >= + - * / ( )",
                                 {Op::Equal, Op::NotEqual, Op::Less, Op::LessEqual, Op::Greater,
                                  Op::GreaterEqual, Op::Plus, Op::Minus, Op::Times, Op::Slash,
                                  Op::Open, Op::Close}},
                    OperatorCase{
                        "or XOR Not dIv mod AND shl Shr",
                        {Op::Or, Op::Xor, Op::Not, Op::Div, Op::Mod, Op::And, Op::Shl, Op::Shr}},
                    OperatorCase{"< > := .. , ; : [ ]",
                                 {Op::Less, Op::Greater, Op::None, Op::None, Op::None, Op::None,
                                  Op::None, Op::None, Op::None}},
                    OperatorCase{"divide modx ord 'or' #43 1 1.5 x_or",
                                 {Op::None, Op::None, Op::None, Op::None, Op::None, Op::None,
                                  Op::None, Op::None}}));

} // namespace

namespace {

// A token carries a keyword's code exactly when it is a name spelling that keyword.
TEST(KeywordCodes, FollowTheTextOfEveryToken) {
    const struct {
        std::string text;
        std::vector<Kw> expected;
    } cases[] = {
        {"begin END Repeat until CASE of IF then ELSE for TO downto DO while",
         {Kw::Begin, Kw::End, Kw::Repeat, Kw::Until, Kw::Case, Kw::Of, Kw::If, Kw::Then, Kw::Else,
          Kw::For, Kw::To, Kw::DownTo, Kw::Do, Kw::While}},
        {"Break continue EXIT var Integer real STRING index",
         {Kw::Break, Kw::Continue, Kw::Exit, Kw::Var, Kw::Integer, Kw::Real, Kw::String,
          Kw::Index}},
        {"'end' Beginx _if en #69 1E5 endx IFF do1 integers",
         {Kw::None, Kw::None, Kw::None, Kw::None, Kw::None, Kw::None, Kw::None, Kw::None, Kw::None,
          Kw::None}},
    };
    for (const auto& c : cases) {
        std::vector<Kw> codes;
        for (TKSLParser parser(c.text); parser.Token() != toEOF; parser.NextToken())
            codes.push_back(parser.Word());
        EXPECT_EQ(codes, c.expected) << c.text;
    }
}

} // namespace
