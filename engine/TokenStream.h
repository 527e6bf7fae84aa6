#pragma once
// The tokens of one piece of text, cut once by the engine's one tokenizer. A parser walks them;
// the cache shares one stream among every parser over the same text, and keeps beside it what
// the executor worked out from its tokens (resolved names, values of literals, extracted parts).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ksl {

// The operators and operator words of expressions, known from a token's text when it is cut, so
// that the evaluators try one operator after another by a code rather than by text.
enum class Op : uint8_t {
    None,
    Equal,
    NotEqual,
    Less,
    LessEqual,
    Greater,
    GreaterEqual,
    Plus,
    Minus,
    Times,
    Slash,
    Open,
    Close,
    Or,
    Xor,
    Not,
    Div,
    Mod,
    And,
    Shl,
    Shr,
};

// The keywords of statements, declarations and prototypes, also known when a token is cut, so
// that the executor matches a keyword by its code rather than by its text.
enum class Kw : uint8_t {
    None,
    Begin,
    End,
    Repeat,
    Until,
    Case,
    Of,
    If,
    Then,
    Else,
    For,
    To,
    DownTo,
    Do,
    While,
    Break,
    Continue,
    Exit,
    Var,
    Integer,
    Real,
    String,
    Index,
};

struct Token {
    char kind;
    Op op;           // Op::None for any other token
    Kw word;         // Kw::None for any other token
    uint32_t start;  // offset of the first byte in the text
    uint32_t length; // 0 for the end of the text
};

// A name's entry in one symbol table, valid while that table's generation is unchanged.
struct Resolution {
    uint64_t generation = 0; // 0: not resolved yet
    void* record = nullptr;  // nullptr: the name is not in the table
    const std::string* storedName = nullptr;
};

// The tables a name is looked up in.
enum class Table : uint8_t { Variable, Procedure, Function };
inline constexpr size_t TableCount = 3;

struct TokenStream;

// Text cut out of a stream from one token on: the text, the token the cut stopped at, and for
// an argument the tokens of its text.
struct Extract {
    std::string text;
    uint32_t end;
    std::shared_ptr<const TokenStream> tokens;
};

// An extract stays where it is while more are added: callers hold on to one while they cut more.
struct KeyedExtract {
    uint64_t key;
    std::unique_ptr<const Extract> extract;
};

struct TokenStream {
    std::string text;
    std::vector<Token> tokens; // always ends with a toEOF token

    // Filled only for streams the cache shares; one Resolution per token and table.
    mutable std::vector<Resolution> resolutions;
    // Filled only for streams the cache shares, one per token: an integer literal's value, or for
    // a string literal the index of its value in literalTexts (-1 when reading it fails).
    std::vector<int64_t> literals;
    std::vector<std::string> literalTexts;
    // Extracts keyed by token index and the kind of cut, sorted by key. A statement has few, so
    // a search through them is quicker than hashing.
    mutable std::vector<KeyedExtract> extracts;
    // Filled only for streams the cache shares: the argument cut at each token, once cut. Calls
    // run far more often than anything else is cut, so they find theirs without a search.
    mutable std::vector<std::unique_ptr<const Extract>> arguments;

    std::string_view View(size_t i) const {
        return std::string_view(text.data() + tokens[i].start, tokens[i].length);
    }
    Resolution* ResolutionOf(size_t i, Table table) const {
        if (resolutions.empty()) return nullptr;
        return &resolutions[i * TableCount + size_t(table)];
    }
    // A rough count of the bytes the stream holds, for the cache's cap.
    size_t Footprint() const;
};

// Cuts `text` into tokens.
std::shared_ptr<TokenStream> Tokenize(std::string_view text);

} // namespace ksl
