#include "Cache.h"

#include "Extraction.h"

namespace ksl {

namespace {

// What an entry costs beyond its text: the node, the key and the bookkeeping.
constexpr size_t EntryOverhead = 96;

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

const Extract* TextCache::FindExtract(const TokenStream& stream, uint64_t key) {
    auto found = stream.extracts.find(key);
    return found == stream.extracts.end() ? nullptr : &found->second;
}

void TextCache::RememberExtract(const TokenStream& stream, uint64_t key, Extract extract) {
    const size_t cost = extract.text.size() + EntryOverhead;
    MakeRoom(cost);
    bytes += cost;
    stream.extracts.emplace(key, std::move(extract));
}

} // namespace ksl
