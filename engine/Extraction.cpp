#include "Extraction.h"

namespace ksl {

namespace {

int DepthChange(const TKSLParser& parser) {
    if (parser.Token() != toAnk) return 0;
    if (parser.Is(Kw::Begin) || parser.Is(Kw::Repeat) || parser.Is(Kw::Case)) return 1;
    if (parser.Is(Kw::End) || parser.Is(Kw::Until)) return -1;
    return 0;
}

void Append(std::string& text, const TKSLParser& parser) {
    text += parser.TokenView();
    text += ' ';
}

bool IsStopWord(const TKSLParser& parser, uint8_t BreakWord) {
    return ((BreakWord & bwThen) && parser.Is(Kw::Then)) ||
           ((BreakWord & bwDo) && parser.Is(Kw::Do)) || ((BreakWord & bwTo) && parser.Is(Kw::To)) ||
           ((BreakWord & bwDownTo) && parser.Is(Kw::DownTo)) ||
           ((BreakWord & bwOf) && parser.Is(Kw::Of)) ||
           ((BreakWord & bwSemiColon) && parser.Is(";")) ||
           ((BreakWord & bwRange) && parser.Is("..")) || ((BreakWord & bwColon) && parser.Is(":"));
}

std::string BlockSentence(TKSLParser& parser, Kw closingWord) {
    std::string text;
    parser.NextToken();
    if (parser.Is(Kw::End) || parser.Is(Kw::Until)) return text;
    int depth = 0;
    while (parser.Token() != toEOF) {
        depth += DepthChange(parser);
        Append(text, parser);
        parser.NextToken();
        if (depth == 0 && parser.Is(closingWord)) break;
    }
    return text;
}

// Once an IF has been seen, an ELSE at depth 0 belongs to it and no longer ends the statement.
std::string SingleSentence(TKSLParser& parser) {
    std::string text;
    int depth = 0;
    int ifCount = 0;
    while (parser.Token() != toEOF) {
        depth += DepthChange(parser);
        if (parser.Is(Kw::If)) ++ifCount;
        Append(text, parser);
        parser.NextToken();
        if (depth != 0) continue;
        if (ifCount == 0 && parser.Is(Kw::Else)) break;
        if (parser.Is(";")) break;
    }
    return text;
}

} // namespace

void ExtractDelimiter(std::string_view Delimiter, std::string_view Str,
                      std::vector<std::string>& List, std::vector<size_t>* offsets) {
    List.clear();
    if (offsets) offsets->clear();
    TKSLParser parser(Str);
    std::string statement;
    int depth = 0;
    while (parser.Token() != toEOF) {
        if (depth == 0 && parser.Is(Delimiter)) {
            if (!statement.empty()) List.push_back(std::move(statement));
            statement.clear();
        } else {
            if (statement.empty() && offsets) offsets->push_back(size_t(parser.SourcePos()));
            depth += DepthChange(parser);
            Append(statement, parser);
        }
        parser.NextToken();
    }
    if (!statement.empty()) List.push_back(std::move(statement));
}

std::string Get_ExpString(TKSLParser& parser, uint8_t BreakWord) {
    std::string text;
    do {
        Append(text, parser);
        parser.NextToken();
    } while (parser.Token() != toEOF && !IsStopWord(parser, BreakWord));
    return text;
}

namespace {

bool OpensBlockSentence(const TKSLParser& parser, bool nested) {
    return parser.Is(Kw::Begin) || parser.Is(Kw::Else) || (parser.Is(Kw::Repeat) && !nested);
}

} // namespace

std::string Get_Sentence(TKSLParser& parser, bool nested) {
    if (!OpensBlockSentence(parser, nested)) return SingleSentence(parser);
    return BlockSentence(parser, parser.Is(Kw::Repeat) ? Kw::Until : Kw::End);
}

size_t SentenceStart(const TKSLParser& parser, bool nested) {
    return parser.Index() + (OpensBlockSentence(parser, nested) ? 1 : 0);
}

} // namespace ksl
