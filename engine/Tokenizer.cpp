#include "KSLParser.h"
#include "Text.h"
#include "kestrel/Kestrel.h"

namespace ksl {

namespace {

bool IsTwoByteOperator(char a, char b) {
    return (a == ':' && b == '=') || (a == '<' && (b == '=' || b == '>')) ||
           (a == '>' && b == '=') || (a == '.' && b == '.');
}

// Scans one token from p[i] on; leaves i after it and returns its kind.
class Scanner {
public:
    explicit Scanner(const char* p) : p(p) {}

    void SkipBlanks(size_t& i) const {
        while (IsBlank(p[i]))
            ++i;
    }

    char Next(size_t& i) const {
        const char c = p[i];
        if (c == '\0') return toEOF;
        if (c == '/' && p[i + 1] == '/') {
            while (p[i] != '\0' && p[i] != '\r' && p[i] != '\n')
                ++i;
            return toComment;
        }
        if (c == '\'') return ScanString(i);
        if (c == '$') {
            ++i;
            SkipHexDigits(i);
            return toInteger;
        }
        if (c == '#') return ScanCharacterCode(i);
        if (IsTwoByteOperator(c, p[i + 1])) {
            i += 2;
            return toOperator;
        }
        if (IsLetter(c)) {
            while (IsLetter(p[i]) || IsDigit(p[i]))
                ++i;
            return toAnk;
        }
        if (IsDigit(c)) return ScanNumber(i);
        ++i;
        return toSymbol;
    }

private:
    void SkipHexDigits(size_t& i) const {
        while (IsHexDigit(p[i]))
            ++i;
    }
    void SkipDigits(size_t& i) const {
        while (IsDigit(p[i]))
            ++i;
    }

    char ScanCharacterCode(size_t& i) const {
        ++i;
        if (p[i] == '$') {
            ++i;
            SkipHexDigits(i);
        } else {
            SkipDigits(i);
        }
        return toString;
    }

    char ScanString(size_t& i) const {
        ++i;
        while (p[i] != '\0') {
            if (p[i] != '\'') {
                ++i;
            } else if (p[i + 1] == '\'') {
                i += 2;
            } else {
                ++i;
                break;
            }
        }
        return toString;
    }

    char ScanNumber(size_t& i) const {
        SkipDigits(i);
        if (p[i] == '.' && IsDigit(p[i + 1])) {
            ++i;
            SkipDigits(i);
            if (p[i] == 'E' || p[i] == 'e') ScanExponent(i);
            return toFloat;
        }
        if (p[i] == '.' && (p[i + 1] == 'E' || p[i + 1] == 'e')) {
            ++i;
            ScanExponent(i);
            return toFloat;
        }
        if (p[i] == 'E' || p[i] == 'e') {
            ScanExponent(i);
            return toFloat;
        }
        return toInteger;
    }

    void ScanExponent(size_t& i) const {
        ++i;
        if (p[i] == '+' || p[i] == '-') ++i;
        SkipDigits(i);
    }

    const char* p;
};

// The codes follow TKSLParser::IsSym: symbols match exactly, words without regard to ASCII letter
// case. They are found for every token cut, so by length and first byte rather than by a search.
Op SymbolOperator(std::string_view text) {
    if (text == "<>") return Op::NotEqual;
    if (text == "<=") return Op::LessEqual;
    if (text == ">=") return Op::GreaterEqual;
    if (text.size() != 1) return Op::None;
    switch (text[0]) {
    case '=':
        return Op::Equal;
    case '<':
        return Op::Less;
    case '>':
        return Op::Greater;
    case '+':
        return Op::Plus;
    case '-':
        return Op::Minus;
    case '*':
        return Op::Times;
    case '/':
        return Op::Slash;
    case '(':
        return Op::Open;
    case ')':
        return Op::Close;
    default:
        return Op::None;
    }
}

Op WordOperator(std::string_view text) {
    static constexpr std::pair<std::string_view, Op> words[] = {
        {"OR", Op::Or},   {"XOR", Op::Xor}, {"NOT", Op::Not}, {"DIV", Op::Div},
        {"MOD", Op::Mod}, {"AND", Op::And}, {"SHL", Op::Shl}, {"SHR", Op::Shr}};
    if (text.size() < 2 || text.size() > 3) return Op::None;
    char upper[3];
    for (size_t i = 0; i < text.size(); ++i)
        upper[i] = UpperChar(text[i]);
    const std::string_view word(upper, text.size());
    for (const auto& [name, op] : words)
        if (name == word) return op;
    return Op::None;
}

// Keywords are names: only a name can spell one, in any letter case.
Kw KeywordOf(char kind, std::string_view text) {
    static constexpr std::pair<std::string_view, Kw> words[] = {
        {"BEGIN", Kw::Begin},     {"END", Kw::End},
        {"REPEAT", Kw::Repeat},   {"UNTIL", Kw::Until},
        {"CASE", Kw::Case},       {"OF", Kw::Of},
        {"IF", Kw::If},           {"THEN", Kw::Then},
        {"ELSE", Kw::Else},       {"FOR", Kw::For},
        {"TO", Kw::To},           {"DOWNTO", Kw::DownTo},
        {"DO", Kw::Do},           {"WHILE", Kw::While},
        {"BREAK", Kw::Break},     {"CONTINUE", Kw::Continue},
        {"EXIT", Kw::Exit},       {"VAR", Kw::Var},
        {"INTEGER", Kw::Integer}, {"REAL", Kw::Real},
        {"STRING", Kw::String},   {"INDEX", Kw::Index}};
    if (kind != toAnk || text.size() < 2 || text.size() > 8) return Kw::None;
    char upper[8];
    for (size_t i = 0; i < text.size(); ++i)
        upper[i] = UpperChar(text[i]);
    const std::string_view word(upper, text.size());
    for (const auto& [name, code] : words)
        if (name == word) return code;
    return Kw::None;
}

Op OperatorOf(char kind, std::string_view text) {
    if (kind == toAnk) return WordOperator(text);
    if (kind == toSymbol || kind == toOperator) return SymbolOperator(text);
    return Op::None;
}

} // namespace

std::shared_ptr<TokenStream> Tokenize(std::string_view text) {
    auto stream = std::make_shared<TokenStream>();
    stream->text = text;
    const Scanner scanner(stream->text.c_str());
    size_t i = 0;
    for (;;) {
        scanner.SkipBlanks(i);
        const size_t start = i;
        const char kind = scanner.Next(i);
        const std::string_view token(stream->text.data() + start, i - start);
        stream->tokens.push_back(Token{kind, OperatorOf(kind, token), KeywordOf(kind, token),
                                       uint32_t(start), uint32_t(i - start)});
        if (kind == toEOF) return stream;
    }
}

size_t TokenStream::Footprint() const {
    return sizeof *this + text.capacity() + tokens.capacity() * sizeof(Token) +
           resolutions.capacity() * sizeof(Resolution) + literals.capacity() * sizeof(int64_t) +
           arguments.capacity() * sizeof(arguments[0]) +
           literalTexts.capacity() * sizeof(std::string) + extracts.size() * 64 +
           (literalTexts.empty() ? 0 : text.size()); // no value is longer than its literal
}

TKSLParser::TKSLParser(std::string_view S)
    : owner(Tokenize(S)), stream(owner.get()), end(stream->tokens.size() - 1) {}

TKSLParser::TKSLParser(std::shared_ptr<const TokenStream> shared, size_t index)
    : owner(std::move(shared)), stream(owner.get()), index(index), end(stream->tokens.size() - 1) {}

TKSLParser::TKSLParser(const TokenStream& borrowed, size_t index)
    : stream(&borrowed), index(index), end(borrowed.tokens.size() - 1) {}

TKSLParser::TKSLParser(const TokenStream& borrowed, TokenRange range, size_t at)
    : stream(&borrowed), base(range.begin), index(at), end(range.end) {}

std::string GetSym(const TKSLParser& parser) {
    return UpperCase(parser.TokenView());
}

} // namespace ksl
