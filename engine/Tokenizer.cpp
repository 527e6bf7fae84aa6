#include "KSLParser.h"
#include "Text.h"
#include "kestrel/Kestrel.h"

namespace ksl {

namespace {

bool IsTwoByteOperator(char a, char b) {
    return (a == ':' && b == '=') || (a == '<' && (b == '=' || b == '>')) ||
           (a == '>' && b == '=') || (a == '.' && b == '.');
}

} // namespace

TKSLParser::TKSLParser(std::string_view S) : FBuffer(S), FBufSize(int32_t(S.size())) {
    NextToken();
}

void TKSLParser::SkipBlanks() {
    const char* p = FBuffer.c_str();
    while (IsBlank(p[FSourcePtr]))
        ++FSourcePtr;
}

char TKSLParser::NextToken() {
    SkipBlanks();
    const char* p = FBuffer.c_str();
    FTokenPtr = FSourcePtr;
    size_t& i = FSourcePtr;
    const char c = p[i];
    if (c == '\0') {
        FToken = toEOF;
    } else if (c == '/' && p[i + 1] == '/') {
        while (p[i] != '\0' && p[i] != '\r' && p[i] != '\n')
            ++i;
        FToken = toComment;
    } else if (c == '\'') {
        ScanString();
    } else if (c == '$') {
        ++i;
        while (IsHexDigit(p[i]))
            ++i;
        FToken = toInteger;
    } else if (c == '#') {
        ++i;
        if (p[i] == '$') {
            ++i;
            while (IsHexDigit(p[i]))
                ++i;
        } else {
            while (IsDigit(p[i]))
                ++i;
        }
        FToken = toString;
    } else if (IsTwoByteOperator(c, p[i + 1])) {
        i += 2;
        FToken = toOperator;
    } else if (IsLetter(c)) {
        while (IsLetter(p[i]) || IsDigit(p[i]))
            ++i;
        FToken = toAnk;
    } else if (IsDigit(c)) {
        ScanNumber();
    } else {
        ++i;
        FToken = toSymbol;
    }
    return FToken;
}

void TKSLParser::ScanString() {
    const char* p = FBuffer.c_str();
    size_t& i = FSourcePtr;
    ++i;
    for (;;) {
        if (p[i] == '\0') break;
        if (p[i] == '\'') {
            if (p[i + 1] == '\'') {
                i += 2;
                continue;
            }
            ++i;
            break;
        }
        ++i;
    }
    FToken = toString;
}

void TKSLParser::ScanNumber() {
    const char* p = FBuffer.c_str();
    size_t& i = FSourcePtr;
    while (IsDigit(p[i]))
        ++i;
    FToken = toInteger;
    if (p[i] == '.' && IsDigit(p[i + 1])) {
        ++i;
        while (IsDigit(p[i]))
            ++i;
        if (p[i] == 'E' || p[i] == 'e') ScanExponent();
        FToken = toFloat;
    } else if (p[i] == '.' && (p[i + 1] == 'E' || p[i + 1] == 'e')) {
        ++i;
        ScanExponent();
        FToken = toFloat;
    } else if (p[i] == 'E' || p[i] == 'e') {
        ScanExponent();
        FToken = toFloat;
    }
}

void TKSLParser::ScanExponent() {
    const char* p = FBuffer.c_str();
    size_t& i = FSourcePtr;
    ++i;
    if (p[i] == '+' || p[i] == '-') ++i;
    while (IsDigit(p[i]))
        ++i;
}

bool TKSLParser::IsSym(std::string_view S) const {
    return SameText(TokenView(), S);
}

bool AMatch(TKSLParser& parser, std::string_view S) {
    if (!parser.IsSym(S)) return false;
    parser.NextToken();
    return true;
}

std::string GetSym(const TKSLParser& parser) {
    return UpperCase(parser.TokenView());
}

} // namespace ksl
