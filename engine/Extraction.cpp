#include "Extraction.h"

namespace ksl {

namespace {

int DepthChange(const TKSLParser& parser) {
    if (parser.Token() != toAnk) return 0;
    if (parser.IsSym("BEGIN") || parser.IsSym("REPEAT") || parser.IsSym("CASE")) return 1;
    if (parser.IsSym("END") || parser.IsSym("UNTIL")) return -1;
    return 0;
}

void Append(std::string& text, const TKSLParser& parser) {
    text += parser.TokenView();
    text += ' ';
}

bool IsStopWord(const TKSLParser& parser, uint8_t BreakWord) {
    return ((BreakWord & bwThen) && parser.IsSym("THEN")) ||
           ((BreakWord & bwDo) && parser.IsSym("DO")) ||
           ((BreakWord & bwTo) && parser.IsSym("TO")) ||
           ((BreakWord & bwDownTo) && parser.IsSym("DOWNTO")) ||
           ((BreakWord & bwOf) && parser.IsSym("OF")) ||
           ((BreakWord & bwSemiColon) && parser.Is(";")) ||
           ((BreakWord & bwRange) && parser.Is("..")) || ((BreakWord & bwColon) && parser.Is(":"));
}

std::string BlockSentence(TKSLParser& parser, std::string_view closingWord) {
    std::string text;
    parser.NextToken();
    if (parser.IsSym("END") || parser.IsSym("UNTIL")) return text;
    int depth = 0;
    while (parser.Token() != toEOF) {
        depth += DepthChange(parser);
        Append(text, parser);
        parser.NextToken();
        if (depth == 0 && parser.IsSym(closingWord)) break;
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
        if (parser.IsSym("IF")) ++ifCount;
        Append(text, parser);
        parser.NextToken();
        if (depth != 0) continue;
        if (ifCount == 0 && parser.IsSym("ELSE")) break;
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
    return parser.IsSym("BEGIN") || parser.IsSym("ELSE") || (parser.IsSym("REPEAT") && !nested);
}

} // namespace

std::string Get_Sentence(TKSLParser& parser, bool nested) {
    if (!OpensBlockSentence(parser, nested)) return SingleSentence(parser);
    return BlockSentence(parser, parser.IsSym("REPEAT") ? "UNTIL" : "END");
}

size_t SentenceStart(const TKSLParser& parser, bool nested) {
    return parser.Index() + (OpensBlockSentence(parser, nested) ? 1 : 0);
}

} // namespace ksl
