#include "Extraction.h"

namespace ksl {

namespace {

int DepthChange(const TKSLParser& parser) {
    switch (parser.Word()) {
    case Kw::Begin:
    case Kw::Repeat:
    case Kw::Case:
        return 1;
    case Kw::End:
    case Kw::Until:
        return -1;
    default:
        return 0;
    }
}

bool IsStopWord(const TKSLParser& parser, uint8_t BreakWord) {
    return ((BreakWord & bwThen) && parser.Is(Kw::Then)) ||
           ((BreakWord & bwDo) && parser.Is(Kw::Do)) || ((BreakWord & bwTo) && parser.Is(Kw::To)) ||
           ((BreakWord & bwDownTo) && parser.Is(Kw::DownTo)) ||
           ((BreakWord & bwOf) && parser.Is(Kw::Of)) ||
           ((BreakWord & bwSemiColon) && parser.Is(";")) ||
           ((BreakWord & bwRange) && parser.Is("..")) || ((BreakWord & bwColon) && parser.Is(":"));
}

TokenRange From(const TKSLParser& parser, size_t begin) {
    return TokenRange{uint32_t(begin), uint32_t(parser.Position())};
}

TokenRange BlockSentence(TKSLParser& parser, Kw closingWord) {
    parser.NextToken();
    const size_t begin = parser.Position();
    if (parser.Is(Kw::End) || parser.Is(Kw::Until)) return From(parser, begin);
    int depth = 0;
    while (parser.Token() != toEOF) {
        depth += DepthChange(parser);
        parser.NextToken();
        if (depth == 0 && parser.Is(closingWord)) break;
    }
    return From(parser, begin);
}

// Once an IF has been seen, an ELSE at depth 0 belongs to it and no longer ends the statement.
TokenRange SingleSentence(TKSLParser& parser) {
    const size_t begin = parser.Position();
    int depth = 0;
    bool sawIf = false;
    while (parser.Token() != toEOF) {
        depth += DepthChange(parser);
        if (parser.Is(Kw::If)) sawIf = true;
        parser.NextToken();
        if (depth != 0) continue;
        if (!sawIf && parser.Is(Kw::Else)) break;
        if (parser.Is(";")) break;
    }
    return From(parser, begin);
}

bool OpensBlockSentence(const TKSLParser& parser, bool nested) {
    return parser.Is(Kw::Begin) || parser.Is(Kw::Else) || (parser.Is(Kw::Repeat) && !nested);
}

} // namespace

std::string TextOf(const TokenStream& stream, TokenRange range) {
    std::string text;
    if (range.begin >= range.end) return text;
    const Token& first = stream.tokens[range.begin];
    const Token& last = stream.tokens[range.end - 1];
    text.reserve(last.start + last.length - first.start + range.Size());
    for (uint32_t i = range.begin; i < range.end; ++i) {
        text += stream.View(i);
        text += ' ';
    }
    return text;
}

void SplitStatements(const TokenStream& stream, TokenRange block, std::string_view Delimiter,
                     std::vector<TokenRange>& statements) {
    statements.clear();
    TKSLParser parser(stream, block, block.begin);
    size_t begin = block.begin;
    int depth = 0;
    while (parser.Token() != toEOF) {
        if (depth == 0 && parser.Is(Delimiter)) {
            if (parser.Position() > begin) statements.push_back(From(parser, begin));
            parser.NextToken();
            begin = parser.Position();
            continue;
        }
        depth += DepthChange(parser);
        parser.NextToken();
    }
    if (parser.Position() > begin) statements.push_back(From(parser, begin));
}

void ExtractDelimiter(std::string_view Delimiter, std::string_view Str,
                      std::vector<std::string>& List, std::vector<size_t>* offsets) {
    List.clear();
    if (offsets) offsets->clear();
    const std::shared_ptr<TokenStream> stream = Tokenize(Str);
    std::vector<TokenRange> statements;
    SplitStatements(*stream, TokenRange{0, uint32_t(stream->tokens.size() - 1)}, Delimiter,
                    statements);
    for (const TokenRange& statement : statements) {
        List.push_back(TextOf(*stream, statement));
        if (offsets) offsets->push_back(stream->tokens[statement.begin].start);
    }
}

TokenRange ExpressionRange(TKSLParser& parser, uint8_t BreakWord) {
    const size_t begin = parser.Position();
    do {
        parser.NextToken();
    } while (parser.Token() != toEOF && !IsStopWord(parser, BreakWord));
    return From(parser, begin);
}

TokenRange SentenceRange(TKSLParser& parser, bool nested) {
    if (!OpensBlockSentence(parser, nested)) return SingleSentence(parser);
    return BlockSentence(parser, parser.Is(Kw::Repeat) ? Kw::Until : Kw::End);
}

TokenRange ArgumentRange(TKSLParser& parser) {
    const size_t begin = parser.Position();
    int depth = 0;
    while (parser.Token() != toEOF) {
        if (depth == 0 && (parser.Operator() == Op::Close || parser.Is(","))) break;
        if (parser.Operator() == Op::Open)
            ++depth;
        else if (parser.Operator() == Op::Close)
            --depth;
        parser.NextToken();
    }
    return From(parser, begin);
}

std::string Get_ExpString(TKSLParser& parser, uint8_t BreakWord) {
    return TextOf(parser.Stream(), ExpressionRange(parser, BreakWord));
}

std::string Get_Sentence(TKSLParser& parser, bool nested) {
    return TextOf(parser.Stream(), SentenceRange(parser, nested));
}

size_t SentenceStart(const TKSLParser& parser, bool nested) {
    return parser.Index() + (OpensBlockSentence(parser, nested) ? 1 : 0);
}

} // namespace ksl
