#include "portwell/gui/MacroHighlighter.h"

#include "kestrel/Kestrel.h"

#include <QRegularExpression>

namespace portwell::gui {
namespace {

// The words the engine reads as statements, operators and types.
const QSet<QString>& Keywords() {
    static const QSet<QString> words{
        "AND",  "BEGIN",  "BREAK", "CASE", "CONTINUE",  "DIV",  "DO",     "DOWNTO",
        "ELSE", "END",    "EXIT",  "FOR",  "FUNCTION",  "IF",   "INDEX",  "INTEGER",
        "MOD",  "NOT",    "OF",    "OR",   "PROCEDURE", "REAL", "REPEAT", "SHL",
        "SHR",  "STRING", "THEN",  "TO",   "UNTIL",     "VAR",  "WHILE",  "XOR"};
    return words;
}

template <class Table> void AddBuiltinNames(const Table& table, QSet<QString>& names) {
    for (size_t i = 0; i < table.Count(); ++i)
        if (table.At(i).BuiltIn) names.insert(QString::fromStdString(table.Name(i)).toUpper());
}

// The routines and constants every engine starts with, read from a fresh engine.
const QSet<QString>& BuiltinNames() {
    static const QSet<QString> names = [] {
        QSet<QString> all;
        const ksl::TKestrel engine;
        AddBuiltinNames(engine.Procedures(), all);
        AddBuiltinNames(engine.Functions(), all);
        AddBuiltinNames(engine.Variables(), all);
        return all;
    }();
    return names;
}

bool IsIdentStart(QChar c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsIdentPart(QChar c) {
    return IsIdentStart(c) || (c >= '0' && c <= '9');
}
bool IsDigit(QChar c) {
    return c >= '0' && c <= '9';
}
bool IsHexDigit(QChar c) {
    return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// A cursor over one line that scans tokens as the engine's tokenizer does.
class TLineScanner {
public:
    explicit TLineScanner(const QString& line) : text(line) {}

    bool AtEnd() const { return pos >= text.size(); }
    int Pos() const { return pos; }
    QChar At(int offset = 0) const {
        return pos + offset < text.size() ? text[pos + offset] : QChar();
    }
    void Skip(int count = 1) { pos = std::min<int>(pos + count, int(text.size())); }
    template <class Pred> void SkipWhile(Pred pred) {
        while (!AtEnd() && pred(At()))
            Skip();
    }

    void SkipQuoted() {
        Skip();
        while (!AtEnd()) {
            if (At() != '\'') {
                Skip();
            } else if (At(1) == '\'') {
                Skip(2);
            } else {
                Skip();
                return;
            }
        }
    }
    void SkipCharacterCode() {
        Skip();
        if (At() == '$') {
            Skip();
            SkipWhile(IsHexDigit);
        } else {
            SkipWhile(IsDigit);
        }
    }
    void SkipExponent() {
        Skip();
        if (At() == '+' || At() == '-') Skip();
        SkipWhile(IsDigit);
    }
    void SkipNumber() {
        SkipWhile(IsDigit);
        if (At() == '.' && IsDigit(At(1))) {
            Skip();
            SkipWhile(IsDigit);
            if (At() == 'E' || At() == 'e') SkipExponent();
        } else if (At() == '.' && (At(1) == 'E' || At(1) == 'e')) {
            Skip();
            SkipExponent();
        } else if (At() == 'E' || At() == 'e') {
            SkipExponent();
        }
    }

private:
    const QString& text;
    int pos = 0;
};

} // namespace

TMacroClassifier::TMacroClassifier(const QStringList& declarePrototype) {
    static const QRegularExpression declared(
        R"(^\s*(?:procedure|function)\s+([A-Za-z_][A-Za-z0-9_]*))",
        QRegularExpression::CaseInsensitiveOption);
    for (const QString& prototype : declarePrototype) {
        const QRegularExpressionMatch match = declared.match(prototype);
        if (match.hasMatch()) hostRoutines.insert(match.captured(1).toUpper());
    }
}

TTokenClass TMacroClassifier::ClassOfName(const QString& name) const {
    const QString upper = name.toUpper();
    if (Keywords().contains(upper)) return TTokenClass::Keyword;
    if (hostRoutines.contains(upper)) return TTokenClass::HostRoutine;
    if (BuiltinNames().contains(upper)) return TTokenClass::Builtin;
    return TTokenClass::Plain;
}

std::vector<TTokenSpan> TMacroClassifier::Classify(const QString& line) const {
    std::vector<TTokenSpan> spans;
    TLineScanner scan(line);
    while (!scan.AtEnd()) {
        const int start = scan.Pos();
        TTokenClass tokenClass = TTokenClass::Plain;
        const QChar c = scan.At();
        if (c == '/' && scan.At(1) == '/') {
            scan.Skip(int(line.size()));
            tokenClass = TTokenClass::Comment;
        } else if (c == '\'') {
            scan.SkipQuoted();
            tokenClass = TTokenClass::String;
        } else if (c == '#') {
            scan.SkipCharacterCode();
            tokenClass = TTokenClass::String;
        } else if (c == '$') {
            scan.Skip();
            scan.SkipWhile(IsHexDigit);
            tokenClass = TTokenClass::Number;
        } else if (IsIdentStart(c)) {
            scan.SkipWhile(IsIdentPart);
            tokenClass = ClassOfName(line.mid(start, scan.Pos() - start));
        } else if (IsDigit(c)) {
            scan.SkipNumber();
            tokenClass = TTokenClass::Number;
        } else {
            scan.Skip();
        }
        if (tokenClass != TTokenClass::Plain)
            spans.push_back({start, scan.Pos() - start, tokenClass});
    }
    return spans;
}

TMacroHighlighter::TMacroHighlighter(QTextDocument* document, const QStringList& declarePrototype)
    : QSyntaxHighlighter(document), classifier(declarePrototype) {}

QTextCharFormat TMacroHighlighter::Format(TTokenClass tokenClass) {
    QTextCharFormat format;
    switch (tokenClass) {
    case TTokenClass::Keyword:
        format.setForeground(QColor(0x00, 0x00, 0x99));
        format.setFontWeight(QFont::Bold);
        break;
    case TTokenClass::String:
        format.setForeground(QColor(0xa3, 0x15, 0x15));
        break;
    case TTokenClass::Number:
        format.setForeground(QColor(0x09, 0x86, 0x58));
        break;
    case TTokenClass::Comment:
        format.setForeground(QColor(0x6a, 0x73, 0x7d));
        format.setFontItalic(true);
        break;
    case TTokenClass::Builtin:
        format.setForeground(QColor(0x79, 0x5e, 0x26));
        break;
    case TTokenClass::HostRoutine:
        format.setForeground(QColor(0x80, 0x00, 0x80));
        format.setFontWeight(QFont::Bold);
        break;
    case TTokenClass::Plain:
        break;
    }
    return format;
}

void TMacroHighlighter::highlightBlock(const QString& text) {
    for (const TTokenSpan& span : classifier.Classify(text))
        setFormat(span.Start, span.Length, Format(span.Class));
}

} // namespace portwell::gui
