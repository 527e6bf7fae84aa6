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

class TKSLParser {
public:
    // Tokenizes its own copy of S.
    explicit TKSLParser(std::string_view S);
    // Walks a shared stream from token `index` on.
    explicit TKSLParser(std::shared_ptr<const TokenStream> stream, size_t index = 0);
    // Walks a stream that outlives the parser, from token `index` on.
    TKSLParser(const TokenStream& stream, size_t index);

    char NextToken() {
        if (index + 1 < stream->tokens.size()) ++index;
        return Token();
    }
    char Token() const { return stream->tokens[index].kind; }
    // The current token's raw text; empty at the end of the text.
    std::string TokenString() const { return std::string(TokenView()); }
    std::string_view TokenView() const { return stream->View(index); }
    Op Operator() const { return stream->tokens[index].op; }
    Kw Word() const { return stream->tokens[index].word; }
    // The current token is the last one before the end of the text.
    bool IsLast() const { return index + 2 == stream->tokens.size(); }
    // Offset of the current token's first byte from the start of the text.
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
    size_t Index() const { return index; }
    void MoveTo(size_t tokenIndex) { index = tokenIndex; }

private:
    std::shared_ptr<const TokenStream> owner; // empty for a borrowed stream
    const TokenStream* stream;
    size_t index = 0;
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
