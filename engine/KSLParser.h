#pragma once
// The engine's one tokenizer. A parser has exactly one current token, moves only forward and
// never fails: any byte sequence yields tokens ending in toEOF. It walks a token stream, its own
// or one the cache shares.
#include "Text.h"
#include "TokenStream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace ksl {

inline constexpr char toEOF = 0;
inline constexpr char toSymbol = 1;
inline constexpr char toString = 2;
inline constexpr char toInteger = 3;
inline constexpr char toFloat = 4;
inline constexpr char toBracket = 6;
inline constexpr char toComment = 7;
inline constexpr char toAnk = 8;
inline constexpr char toTab = 9;
inline constexpr char toDBSymbol = 11;
inline constexpr char toDBInt = 12;
inline constexpr char toDBAlph = 14;
inline constexpr char toDBHira = 15;
inline constexpr char toDBKana = 16;
inline constexpr char toDBKanji = 17;
inline constexpr char toKanaSymbol = 18;
inline constexpr char toKana = 19;
inline constexpr char toUrl = 20;
inline constexpr char toMail = 21;
inline constexpr char toOperator = 100;

// A run of tokens of a stream, by their indexes: [begin, end).
struct TokenRange {
    uint32_t begin;
    uint32_t end;
    uint32_t Size() const { return end - begin; }
};

class TKSLParser {
public:
    // Tokenizes its own copy of S.
    explicit TKSLParser(std::string_view S);
    // Walks a shared stream from token `index` on.
    explicit TKSLParser(std::shared_ptr<const TokenStream> stream, size_t index = 0);
    // Walks a stream that outlives the parser, from token `index` on.
    TKSLParser(const TokenStream& stream, size_t index);
    // Walks the tokens of `range` of a stream that outlives the parser, from token `at` on, as if
    // they were a text of their own: the range's end reads as the end of the text, and Index
    // counts from the range's first token.
    TKSLParser(const TokenStream& stream, TokenRange range, size_t at);

    char NextToken() {
        if (index < end) ++index;
        return Token();
    }
    char Token() const { return index < end ? stream->tokens[index].kind : toEOF; }
    // The current token's raw text; empty at the end of the text.
    std::string TokenString() const { return std::string(TokenView()); }
    std::string_view TokenView() const {
        return index < end ? stream->View(index) : std::string_view();
    }
    Op Operator() const { return index < end ? stream->tokens[index].op : Op::None; }
    Kw Word() const { return index < end ? stream->tokens[index].word : Kw::None; }
    // The current token is the last one before the end of the text.
    bool IsLast() const { return index + 1 == end; }
    // Offset of the current token's first byte from the start of the stream's text.
    int64_t SourcePos() const { return int64_t(stream->tokens[index].start); }

    // The current token's text is exactly S (punctuation).
    bool Is(std::string_view S) const { return TokenView() == S; }
    // The current token is the keyword `word`.
    bool Is(Kw word) const { return Word() == word; }
    // The current token's text equals S without regard to ASCII letter case. Inline:
    // the executor and the evaluators try one keyword or operator after another.
    bool IsSym(std::string_view S) const {
        const std::string_view token = TokenView();
        if (token.size() != S.size()) return false;
        for (size_t i = 0; i < S.size(); ++i)
            if (UpperChar(token[i]) != UpperChar(S[i])) return false;
        return true;
    }

    const TokenStream& Stream() const { return *stream; }
    // The current token's index, counted from the first token the parser walks.
    size_t Index() const { return index - base; }
    void MoveTo(size_t tokenIndex) { index = base + tokenIndex; }
    // The current token's index in the stream, and the index that reads as the end of the text.
    size_t Position() const { return index; }
    size_t End() const { return end; }
    void MoveToPosition(size_t position) { index = position; }
    // A parser over the same tokens, standing where this one stands.
    TKSLParser Here() const {
        return TKSLParser(*stream, TokenRange{uint32_t(base), uint32_t(end)}, index);
    }

private:
    std::shared_ptr<const TokenStream> owner; // empty for a borrowed stream
    const TokenStream* stream;
    size_t base = 0;
    size_t index = 0;
    size_t end;
};

// On a match with S (ASCII letter case ignored), advances and returns true.
inline bool AMatch(TKSLParser& parser, std::string_view S) {
    if (!parser.IsSym(S)) return false;
    parser.NextToken();
    return true;
}
// On the keyword `word`, advances and returns true.
inline bool AMatch(TKSLParser& parser, Kw word) {
    if (!parser.Is(word)) return false;
    parser.NextToken();
    return true;
}
// On the operator `op`, advances and returns true.
inline bool AMatch(TKSLParser& parser, Op op) {
    if (parser.Operator() != op) return false;
    parser.NextToken();
    return true;
}
// The current token's text in upper case.
std::string GetSym(const TKSLParser& parser);

} // namespace ksl
