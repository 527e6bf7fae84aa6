#include "Cache.h"

#include "Extraction.h"

#include <algorithm>

namespace ksl {

namespace {

// What an entry costs beyond its text: the node, the key and the bookkeeping.
constexpr size_t EntryOverhead = 96;

void ReadLiterals(TokenStream& stream) {
    stream.literals.assign(stream.tokens.size(), 0);
    for (size_t i = 0; i < stream.tokens.size(); ++i) {
        const std::string_view text = stream.View(i);
        if (stream.tokens[i].kind == toInteger) {
            stream.literals[i] = LiteralToInt(text).value_or(0);
        } else if (stream.tokens[i].kind == toString) {
            try {
                stream.literalTexts.push_back(FormatString(text));
                stream.literals[i] = int64_t(stream.literalTexts.size() - 1);
            } catch (const EKestrelError&) {
                stream.literals[i] = -1;
            }
        }
    }
}

} // namespace

void TextCache::MakeRoom(size_t needed) {
    if (bytes + needed <= capBytes) return;
    // Entries in use live on through the shared pointers their users hold.
    streams.clear();
    blocks.clear();
    bytes = 0;
}

std::shared_ptr<const TokenStream> TextCache::Tokens(const std::string& text) {
    if (auto found = streams.find(text); found != streams.end()) return found->second;
    std::shared_ptr<TokenStream> stream = Tokenize(text);
    stream->resolutions.resize(stream->tokens.size() * TableCount);
    ReadLiterals(*stream);
    stream->arguments.resize(stream->tokens.size());
    const size_t cost = stream->Footprint() + text.size() + EntryOverhead;
    MakeRoom(cost);
    bytes += cost;
    streams.emplace(text, stream);
    return stream;
}

std::shared_ptr<const StatementList> TextCache::Statements(const std::string& blockText) {
    if (auto found = blocks.find(blockText); found != blocks.end()) return found->second;
    std::vector<std::string> texts;
    std::vector<size_t> offsets;
    ExtractDelimiter(";", blockText, texts, &offsets);
    auto list = std::make_shared<StatementList>();
    list->reserve(texts.size());
    for (size_t i = 0; i < texts.size(); ++i)
        list->push_back(Statement{Tokens(texts[i]), uint32_t(offsets[i])});
    const size_t cost = blockText.size() + list->size() * sizeof(Statement) + EntryOverhead;
    MakeRoom(cost);
    bytes += cost;
    blocks.emplace(blockText, list);
    return list;
}

namespace {

std::vector<KeyedExtract>::iterator PlaceOf(const TokenStream& stream, uint64_t key) {
    return std::lower_bound(stream.extracts.begin(), stream.extracts.end(), key,
                            [](const KeyedExtract& e, uint64_t k) { return e.key < k; });
}

} // namespace

const Extract* TextCache::FindExtract(const TokenStream& stream, uint64_t key) {
    const auto at = PlaceOf(stream, key);
    return at != stream.extracts.end() && at->key == key ? at->extract.get() : nullptr;
}

void TextCache::RememberExtract(const TokenStream& stream, uint64_t key, Extract extract) {
    if (FindExtract(stream, key)) return;
    const size_t cost = extract.text.size() + EntryOverhead;
    MakeRoom(cost);
    bytes += cost;
    stream.extracts.insert(PlaceOf(stream, key),
                           KeyedExtract{key, std::make_unique<const Extract>(std::move(extract))});
}

void TextCache::RememberArgument(const TokenStream& stream, size_t index, Extract extract) {
    const size_t cost = extract.text.size() + EntryOverhead;
    MakeRoom(cost);
    bytes += cost;
    stream.arguments[index] = std::make_unique<const Extract>(std::move(extract));
}

} // namespace ksl
