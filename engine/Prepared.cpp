// Where the engine takes texts from its cache: blocks, expressions and the parts cut out of a
// statement. Without the cache every text is cut afresh.
#include "Cache.h"
#include "Extraction.h"
#include "Interpreter.h"

namespace ksl {

namespace {

// Keys of the parts cut at one token: an expression by its stop words, or a statement.
uint64_t ExpressionKey(size_t index, uint8_t BreakWord) {
    return uint64_t(index) << 9 | BreakWord;
}
uint64_t SentenceKey(size_t index, bool nested) {
    return uint64_t(index) << 9 | 256 | uint64_t(nested);
}

// Only the streams the cache shares carry resolutions, and only they keep what was cut.
bool IsShared(const TokenStream& stream) {
    return !stream.resolutions.empty();
}

} // namespace

size_t Interpreter::CacheBytes() const {
    return textCache->Bytes();
}

size_t Interpreter::CacheCapBytes() const {
    return textCache->CapBytes();
}

std::shared_ptr<const StatementList> Interpreter::PrepareBlock(const std::string& S) {
    return FUseCache ? textCache->Statements(S) : nullptr;
}

std::shared_ptr<const TokenStream> Interpreter::PrepareExpression(const std::string& S) {
    return FUseCache ? textCache->Tokens(S) : nullptr;
}

TKSLParser Interpreter::ParserFor(const std::string& S, const TokenStream* prepared) {
    if (prepared) return TKSLParser(*prepared, 0);
    if (FUseCache) return TKSLParser(textCache->Tokens(S));
    return TKSLParser(S);
}

template <class Cut>
std::string Remembered(TextCache& cache, TKSLParser& parser, uint64_t key, Cut cut) {
    const TokenStream& stream = parser.Stream();
    if (!IsShared(stream)) return cut();
    if (const Extract* known = TextCache::FindExtract(stream, key)) {
        parser.MoveToPosition(known->end);
        return known->text;
    }
    std::string text = cut();
    cache.RememberExtract(stream, key, Extract{text, uint32_t(parser.Position()), nullptr});
    return text;
}

std::string Interpreter::CutExpression(Parser& parser, uint8_t BreakWord) {
    return Remembered(*textCache, parser, ExpressionKey(parser.Position(), BreakWord),
                      [&] { return Get_ExpString(parser, BreakWord); });
}

std::string Interpreter::CutSentence(Parser& parser, bool nested) {
    return Remembered(*textCache, parser, SentenceKey(parser.Position(), nested),
                      [&] { return Get_Sentence(parser, nested); });
}

} // namespace ksl

namespace ksl {

const TokenStream* Interpreter::CutArgument(Parser& parser, std::string& scratch,
                                            const std::string*& text) {
    const TokenStream& stream = parser.Stream();
    const size_t start = parser.Position();
    const Extract* known = TextCache::FindArgument(stream, start);
    if (!known) {
        scratch = CollectArgumentText(parser);
        text = &scratch;
        if (!IsShared(stream)) return nullptr;
        auto tokens = textCache->Tokens(scratch);
        textCache->RememberArgument(stream, start,
                                    Extract{scratch, uint32_t(parser.Position()), tokens});
        return tokens.get();
    }
    parser.MoveToPosition(known->end);
    text = &known->text;
    return known->tokens.get();
}

} // namespace ksl
