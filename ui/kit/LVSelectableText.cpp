#include "ui/kit/LVSelectableText.h"

#include "core/common/SafeText.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/LVText.h"
#include "ui/kit/SelectionMenu.h"

#include <QAbstractTextDocumentLayout>
#include <QContextMenuEvent>
#include <QEvent>
#include <QFontMetricsF>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextLayout>
#include <cmath>

namespace lunorvale {

LVSelectableText::LVSelectableText(const QString& text, const QFont& font, std::optional<AdaptiveColor> color,
                                   QWidget* parent)
    : QTextEdit(parent), m_color(color) {
    setFont(font);
    document()->setDefaultFont(font);
    setReadOnly(true);
    setCursorWidth(0); // selectable, not editable: no caret
    setAcceptRichText(false);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // Left to right whatever letter comes first, as every text of the kit.
    QTextOption direction = document()->defaultTextOption();
    direction.setTextDirection(leftToRight().textDirection());
    document()->setDefaultTextOption(direction);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    document()->setDocumentMargin(0);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setText(text);
    applyColor();
    // Tab reaches the text for selecting it with the keyboard; the ring keeps clear of the letters.
    FocusRing::surround(*this, 3, 6);
}

void LVSelectableText::setText(const QString& text) {
    if (text == m_text && !document()->isEmpty())
        return;
    m_text = text;
    setAccessibleName(text);
    applyText();
}

void LVSelectableText::setColor(std::optional<AdaptiveColor> color) {
    m_color = color;
    applyColor();
}

void LVSelectableText::setLineSpacing(qreal spacing) {
    m_lineSpacing = spacing;
    applyText();
}

void LVSelectableText::setMaximumLines(int lines) {
    m_maximumLines = std::max(0, lines);
    applyText();
}

void LVSelectableText::setPadding(int padding) {
    document()->setDocumentMargin(padding);
    updateGeometry();
}

QString LVSelectableText::cutText() const {
    const qreal width = document()->textWidth() - 2 * document()->documentMargin();
    if (m_maximumLines == 0 || m_text.isEmpty() || width <= 0)
        return {};
    // Lines counted as the document breaks them; the positions stay those of the text.
    QString prepared = m_text;
    prepared.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(prepared, font());
    QTextOption option = leftToRight();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    int lines = 0, lastStart = 0;
    bool cut = false;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        if (lines == m_maximumLines) {
            cut = true;
            break;
        }
        line.setLineWidth(width);
        lastStart = line.textStart();
        ++lines;
    }
    layout.endLayout();
    if (!cut)
        return {};
    QString rest = m_text.mid(lastStart);
    rest.replace(QLatin1Char('\n'), QLatin1Char(' '));
    // A pixel to spare, so the document never breaks the shortened last line again.
    QString last = QFontMetricsF(font()).elidedText(rest, Qt::ElideRight, width - 1);
    if (!last.endsWith(QChar(0x2026)))
        last = rest.left(std::max<qsizetype>(0, last.size() - 1)) + QChar(0x2026);
    return m_text.left(lastStart) + last;
}

void LVSelectableText::refit() {
    if (m_maximumLines == 0)
        return;
    const QString cut = cutText();
    if ((cut.isEmpty() ? m_text : cut) != toPlainText())
        applyText();
}

void LVSelectableText::applyText() {
    // Plain text always: whatever the text holds is never read as markup.
    const QString cut = cutText();
    m_cut = !cut.isEmpty();
    m_shown = m_cut ? cut : m_text;
    setPlainText(m_shown);
    setToolTip(m_cut ? plainToolTip(m_text) : QString());
    if (m_lineSpacing > 0) {
        QTextCursor cursor(document());
        cursor.select(QTextCursor::Document);
        QTextBlockFormat format;
        format.setLineHeight(m_lineSpacing, QTextBlockFormat::LineDistanceHeight);
        cursor.mergeBlockFormat(format);
    }
    updateGeometry();
}

void LVSelectableText::applyColor() {
    QPalette palette = this->palette();
    const QColor color = m_color ? m_color->in(this) : palette.color(QPalette::WindowText);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::Base, Qt::transparent);
    setPalette(palette);
}

bool LVSelectableText::hasHeightForWidth() const {
    return true;
}

int LVSelectableText::heightForWidth(int width) const {
    QTextDocument* doc = document();
    // The document is laid out at the asked width and back again. Told of that, the text edit would
    // adjust its scroll bars, which asks the layout again: a text that scrolls at a fixed height went
    // round that loop for ever.
    const QSignalBlocker quiet(doc->documentLayout());
    const qreal previous = doc->textWidth();
    doc->setTextWidth(width);
    qreal height = doc->size().height();
    if (m_maximumLines > 0) {
        const QFontMetricsF metrics(font());
        const qreal cap = m_maximumLines * metrics.lineSpacing() + (m_maximumLines - 1) * m_lineSpacing +
                          2 * doc->documentMargin();
        height = std::min(height, cap);
    }
    doc->setTextWidth(previous);
    return static_cast<int>(std::ceil(height));
}

// The width is the layout's to give; the height follows it.
QSize LVSelectableText::sizeHint() const {
    return {100, heightForWidth(std::max(width(), 100))};
}

QSize LVSelectableText::minimumSizeHint() const {
    return {20, heightForWidth(std::max(width(), 20))};
}

void LVSelectableText::resizeEvent(QResizeEvent* event) {
    QTextEdit::resizeEvent(event);
    refit();
    updateGeometry();
}

// Drawn as the text edit draws itself, but without a caret: nothing is typed here. (Qt marks the caret of
// a line that holds a bidirectional mark, such as the isolates around a path, with a small flag even
// where the caret has no width; it would stand before the text like a stray letter.)
void LVSelectableText::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QPoint scrolled(horizontalScrollBar()->value(), verticalScrollBar()->value());
    painter.translate(-scrolled);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = palette();
    context.clip = event->rect().translated(scrolled);
    painter.setClipRect(context.clip);
    if (const QTextCursor cursor = textCursor(); cursor.hasSelection()) {
        const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
        QAbstractTextDocumentLayout::Selection selection{cursor, {}};
        selection.format.setBackground(context.palette.brush(group, QPalette::Highlight));
        selection.format.setForeground(context.palette.brush(group, QPalette::HighlightedText));
        context.selections.append(selection);
    }
    document()->documentLayout()->draw(&painter, context);
}

QString LVSelectableText::copiedSelection() const {
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return {};
    qsizetype from = cursor.selectionStart(), to = cursor.selectionEnd();
    const qsizetype end = document()->characterCount() - 1;
    // The "…" stands for the rest of the text: that is what the user copies.
    if (m_cut && to >= end)
        to = m_text.size();
    // Up to the "…" the document's positions are the text's, unless it counts its line breaks otherwise
    // (it reads "\r\n" as one): then its own text stands in.
    const QString source = end == m_shown.size() ? m_text : toPlainText();
    // Paths and names in sentences paste as themselves: without the program's isolates, and with the
    // characters a path shows as escapes.
    return SafeText::copied(source, from, to);
}

QMimeData* LVSelectableText::createMimeDataFromSelection() const {
    auto* data = new QMimeData;
    data->setText(copiedSelection());
    return data;
}

void LVSelectableText::contextMenuEvent(QContextMenuEvent* event) {
    SelectionMenu::popup(
        *this, event->globalPos(), [this] { return copiedSelection(); }, [this] { selectAll(); });
}

void LVSelectableText::changeEvent(QEvent* event) {
    QTextEdit::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_color) {
        // Only the appearance of the window can change the resolved colour.
        const QColor wanted = m_color->in(this);
        if (palette().color(QPalette::Text) != wanted)
            applyColor();
    } else if (event->type() == QEvent::FontChange) {
        document()->setDefaultFont(font());
        applyText();
    }
}

void LVSelectableText::focusOutEvent(QFocusEvent* event) {
    QTextEdit::focusOutEvent(event);
    // A selection left behind in one text while another is used would look like two selections. A menu
    // of the program (the text's own, the menu bar's) gives the focus back and copies the selection.
    if (event->reason() == Qt::PopupFocusReason)
        return;
    QTextCursor cursor = textCursor();
    cursor.clearSelection();
    setTextCursor(cursor);
}

} // namespace lunorvale
