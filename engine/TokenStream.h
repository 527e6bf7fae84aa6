#pragma once
// The tokens of one piece of text, cut once by the engine's one tokenizer. A parser walks them;
// the cache shares one stream among every parser over the same text, and keeps beside it what
// the executor worked out from its tokens (resolved names, extracted parts).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ksl {

struct Token {
    char kind;
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

struct TokenStream {
    std::string text;
    std::vector<Token> tokens; // always ends with a toEOF token

    // Filled only for streams the cache shares; one Resolution per token and table.
    mutable std::vector<Resolution> resolutions;
    // Extracts keyed by token index and the kind of cut.
    mutable std::unordered_map<uint64_t, Extract> extracts;

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
