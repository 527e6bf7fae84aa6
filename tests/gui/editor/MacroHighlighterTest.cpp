#include "portwell/gui/MacroHighlighter.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace portwell::gui {
namespace {

const char* Name(TTokenClass c) {
    switch (c) {
    case TTokenClass::Keyword:
        return "K";
    case TTokenClass::String:
        return "S";
    case TTokenClass::Number:
        return "N";
    case TTokenClass::Comment:
        return "C";
    case TTokenClass::Builtin:
        return "B";
    case TTokenClass::HostRoutine:
        return "H";
    case TTokenClass::Plain:
        break;
    }
    return "P";
}

// The highlighted tokens of a line as "class:text" items.
QStringList Classified(const TMacroClassifier& classifier, const QString& line) {
    QStringList tokens;
    for (const TTokenSpan& span : classifier.Classify(line))
        tokens << QString(Name(span.Class)) + ":" + line.mid(span.Start, span.Length);
    return tokens;
}

struct TClassifyCase {
    const char* line;
    QStringList tokens;
};

TEST(MacroHighlighter, ClassifiesTokensAsTheEngineReadsThem) {
    const TMacroClassifier classifier(
        {"procedure Print(S:String); index 1;", "  FUNCTION ComWait(S:String; T:Integer):Integer"});
    const TClassifyCase table[] = {
        {"", {}},
        {"var i: Integer;", {"K:var", "K:Integer"}},
        {"BEGIN end.", {"K:BEGIN", "K:end"}},
        {"if a and not b then x := 1 else y := $1F;",
         {"K:if", "K:and", "K:not", "K:then", "N:1", "K:else", "N:$1F"}},
        {"for i := 1 to 10 do", {"K:for", "N:1", "K:to", "N:10", "K:do"}},
        {"Print('it''s' + #13#10 + #$0D);", {"H:Print", "S:'it''s'", "S:#13", "S:#10", "S:#$0D"}},
        {"print('unterminated", {"H:print", "S:'unterminated"}},
        {"x := 3.14 + 2.5E-3 + 1e5 + 1.e5 + 12E;",
         {"N:3.14", "N:2.5E-3", "N:1e5", "N:1.e5", "N:12E"}},
        {"case n of 1..5: ;", {"K:case", "K:of", "N:1", "N:5"}},
        {"9abc", {"N:9"}},
        {"_a1 := beginx;", {}},
        {"x := 1; // Print('not code')", {"N:1", "C:// Print('not code')"}},
        {"s := '// not a comment';", {"S:'// not a comment'"}},
        {"{ braces are not comments }", {"K:not"}},
        {"Sleep(100); ProcessMessages; s := IntToStr(Length(s));",
         {"B:Sleep", "N:100", "B:ProcessMessages", "B:IntToStr", "B:Length"}},
        {"if ComWait('OK', 500) = True then Exit;",
         {"K:if", "H:ComWait", "S:'OK'", "N:500", "B:True", "K:then", "K:Exit"}},
        {"ComRead; Nil; False", {"B:Nil", "B:False"}},
        {"s := 'テキスト' + 日本;", {"S:'テキスト'"}},
    };
    for (const TClassifyCase& c : table)
        EXPECT_EQ(Classified(classifier, c.line), c.tokens) << c.line;
}

TEST(MacroHighlighter, OnlyTheDeclaredRoutinesAreHostRoutines) {
    const TMacroClassifier withoutHost({});
    EXPECT_EQ(Classified(withoutHost, "Print('a');"), QStringList{"S:'a'"});
    const TMacroClassifier ignoresOtherLines({"var Print: Integer;", "// procedure ComRead;"});
    EXPECT_EQ(Classified(ignoresOtherLines, "Print; ComRead;"), QStringList{});
}

TEST(MacroHighlighter, EveryClassButPlainHasAFormat) {
    EXPECT_EQ(TMacroHighlighter::Format(TTokenClass::Plain), QTextCharFormat());
    for (TTokenClass c : {TTokenClass::Keyword, TTokenClass::String, TTokenClass::Number,
                          TTokenClass::Comment, TTokenClass::Builtin, TTokenClass::HostRoutine})
        EXPECT_NE(TMacroHighlighter::Format(c), QTextCharFormat()) << Name(c);
}

} // namespace
} // namespace portwell::gui
