#include "portwell/gui/CodeEdit.h"

#include <QFontDatabase>
#include <QPainter>
#include <QTextBlock>

namespace portwell::gui {
namespace {

constexpr int TabWidthInCharacters = 4;
constexpr int MarginPadding = 4;

// The margin is a child of the edit that asks the edit to paint it.
class TLineNumberArea : public QWidget {
public:
    explicit TLineNumberArea(TCodeEdit* edit) : QWidget(edit), edit(edit) {
        setObjectName("LineNumberArea");
    }
    QSize sizeHint() const override { return QSize(edit->LineNumberAreaWidth(), 0); }

protected:
    void paintEvent(QPaintEvent* event) override { edit->PaintLineNumbers(event); }

private:
    TCodeEdit* edit;
};

// IPA Gothic stands in for the Japanese fixed-pitch face; the system's fixed font otherwise.
QFont FixedPitchFont(const QFont& base) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (QFontDatabase::families().contains("IPAGothic")) font.setFamily("IPAGothic");
    font.setFixedPitch(true);
    font.setStyleHint(QFont::TypeWriter);
    if (base.pointSizeF() > 0) font.setPointSizeF(base.pointSizeF());
    return font;
}

} // namespace

TCodeEdit::TCodeEdit(QWidget* parent)
    : QPlainTextEdit(parent), lineNumberArea(new TLineNumberArea(this)) {
    setFont(FixedPitchFont(font()));
    setTabChangesFocus(false);
    setTabStopDistance(fontMetrics().horizontalAdvance(' ') * TabWidthInCharacters);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    connect(this, &QPlainTextEdit::blockCountChanged, this, &TCodeEdit::UpdateLineNumberAreaWidth);
    connect(this, &QPlainTextEdit::updateRequest, this, &TCodeEdit::UpdateLineNumberArea);
    UpdateLineNumberAreaWidth();
}

int TCodeEdit::LineNumberAreaWidth() const {
    const int digits = int(QString::number(std::max(1, blockCount())).size());
    return 2 * MarginPadding + fontMetrics().horizontalAdvance(QLatin1Char('9')) * digits;
}

void TCodeEdit::UpdateLineNumberAreaWidth() {
    setViewportMargins(LineNumberAreaWidth(), 0, 0, 0);
}

void TCodeEdit::UpdateLineNumberArea(const QRect& rect, int dy) {
    if (dy != 0)
        lineNumberArea->scroll(0, dy);
    else
        lineNumberArea->update(0, rect.y(), lineNumberArea->width(), rect.height());
    if (rect.contains(viewport()->rect())) UpdateLineNumberAreaWidth();
}

void TCodeEdit::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    const QRect area = contentsRect();
    lineNumberArea->setGeometry(
        QRect(area.left(), area.top(), LineNumberAreaWidth(), area.height()));
}

void TCodeEdit::PaintLineNumbers(QPaintEvent* event) {
    QPainter painter(lineNumberArea);
    painter.fillRect(event->rect(), palette().color(QPalette::AlternateBase));
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.setFont(font());
    const int width = lineNumberArea->width() - MarginPadding;
    const int lineHeight = fontMetrics().height();
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    while (block.isValid() && top <= event->rect().bottom()) {
        if (block.isVisible() && top + lineHeight >= event->rect().top())
            painter.drawText(0, top, width, lineHeight, Qt::AlignRight,
                             QString::number(block.blockNumber() + 1));
        top += qRound(blockBoundingRect(block).height());
        block = block.next();
    }
}

} // namespace portwell::gui
