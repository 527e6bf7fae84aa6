#pragma once
// Syntax highlighting of the macro language: keywords, strings and character codes, numbers,
// comments, the engine's built-in names and the host's routines. A line is scanned with the
// engine's token rules, so what looks like one token here is one token when the macro runs.
#include <QSet>
#include <QString>
#include <QStringList>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>
#include <vector>

namespace portwell::gui {

enum class TTokenClass { Plain, Keyword, String, Number, Comment, Builtin, HostRoutine };

struct TTokenSpan {
    int Start;
    int Length;
    TTokenClass Class;
};

class TMacroClassifier {
public:
    // The host's routines are the names that `declarePrototype` declares.
    explicit TMacroClassifier(const QStringList& declarePrototype);

    // The highlighted tokens of one line; plain tokens and blanks are left out.
    std::vector<TTokenSpan> Classify(const QString& line) const;

private:
    QSet<QString> hostRoutines; // upper case, as names compare without regard to case

    TTokenClass ClassOfName(const QString& name) const;
};

class TMacroHighlighter : public QSyntaxHighlighter {
public:
    TMacroHighlighter(QTextDocument* document, const QStringList& declarePrototype);

    // The format given to a token class; Plain has none.
    static QTextCharFormat Format(TTokenClass tokenClass);

protected:
    void highlightBlock(const QString& text) override;

private:
    TMacroClassifier classifier;
};

} // namespace portwell::gui
