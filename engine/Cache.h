#pragma once
// The engine's memo of the pure steps of interpretation, keyed by text: the tokens of a piece of
// text and the statements of a block. Interpretation gives the same results with or without it;
// it only spares cutting the same text again on every loop iteration.
//
// Bounded by a cap on the bytes it holds: when a new entry would pass the cap, everything is
// dropped and the cache fills again. Dropping all at once keeps the bookkeeping to one counter,
// and a loop's working set is small, so it is back after one iteration. The cache survives runs,
// so a macro run again and again is cut once; what it resolved against the symbol tables is
// checked against the tables' generations, which every change of a table renews.
#include "Conversions.h"
#include "KSLParser.h"
#include "kestrel/Kestrel.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ksl {

// One statement of a block: its tokens (whose text is the statement's text) and where the
// statement starts in the block's text.
struct Statement {
    std::shared_ptr<const TokenStream> tokens;
    uint32_t offset;
};
struct StatementList : std::vector<Statement> {};

class TextCache {
public:
    static constexpr size_t DefaultCapBytes = size_t(4) << 20;

    explicit TextCache(size_t capBytes = DefaultCapBytes) : capBytes(capBytes) {}

    std::shared_ptr<const TokenStream> Tokens(const std::string& text);
    std::shared_ptr<const StatementList> Statements(const std::string& blockText);
    // Looks up what was cut from `stream` at `key`; nullptr when it was not cut yet.
    static const Extract* FindExtract(const TokenStream& stream, uint64_t key);
    void RememberExtract(const TokenStream& stream, uint64_t key, Extract extract);
    // The same for the argument whose text starts at token `index`.
    static const Extract* FindArgument(const TokenStream& stream, size_t index) {
        return stream.arguments.empty() ? nullptr : stream.arguments[index].get();
    }
    void RememberArgument(const TokenStream& stream, size_t index, Extract extract);

    size_t Bytes() const { return bytes; }
    size_t CapBytes() const { return capBytes; }

private:
    void MakeRoom(size_t needed);

    size_t capBytes;
    size_t bytes = 0;
    std::unordered_map<std::string, std::shared_ptr<const TokenStream>> streams;
    std::unordered_map<std::string, std::shared_ptr<const StatementList>> blocks;
};

// Looks the name up again after a change of the table. Kept out of line, so that what the
// evaluators call for every name stays small enough to be inlined.
template <class Record>
[[gnu::noinline]] void Resolve(const TSymbolTable<Record>& table, Resolution& r,
                               std::string_view name) {
    const std::string* stored = nullptr;
    r.record = table.Find(name, &stored);
    r.storedName = stored;
    r.generation = table.Generation();
}

// The entry a parser's current token names in `table`. A stream the cache shares remembers it
// for as long as the table's generation stays the same; any other stream looks it up.
template <class Record>
[[gnu::always_inline]] inline Record* Lookup(const TSymbolTable<Record>& table, Table which,
                                             const TKSLParser& parser,
                                             const std::string** storedName = nullptr) {
    Resolution* r = parser.Stream().ResolutionOf(parser.Position(), which);
    if (!r) return table.Find(parser.TokenView(), storedName);
    if (r->generation != table.Generation()) Resolve(table, *r, parser.TokenView());
    if (storedName && r->record) *storedName = r->storedName;
    return static_cast<Record*>(r->record);
}

// The value of the integer literal a parser stands on; a stream the cache shares has it ready.
inline int64_t IntegerLiteral(const TKSLParser& parser) {
    const TokenStream& stream = parser.Stream();
    if (!stream.literals.empty()) return stream.literals[parser.Position()];
    return LiteralToInt(parser.TokenView()).value_or(0);
}

// The value of the string literal a parser stands on; a literal whose reading fails is read
// again, so that it fails as it did.
inline std::string StringLiteral(const TKSLParser& parser) {
    const TokenStream& stream = parser.Stream();
    if (!stream.literals.empty()) {
        const int64_t text = stream.literals[parser.Position()];
        if (text >= 0) return stream.literalTexts[size_t(text)];
    }
    return FormatString(parser.TokenView());
}

} // namespace ksl
