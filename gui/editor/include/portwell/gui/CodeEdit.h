#pragma once
// A plain-text edit for macros: fixed-pitch font, Tab inserts a tab, and the line numbers in a
// margin on its left.
#include <QPlainTextEdit>

namespace portwell::gui {

class TCodeEdit : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit TCodeEdit(QWidget* parent = nullptr);

    int LineNumberAreaWidth() const;
    void PaintLineNumbers(QPaintEvent* event);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* lineNumberArea;

    void UpdateLineNumberAreaWidth();
    void UpdateLineNumberArea(const QRect& rect, int dy);
};

} // namespace portwell::gui
