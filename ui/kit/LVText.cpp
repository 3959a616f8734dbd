#include "ui/kit/LVText.h"

#include "ui/kit/PhraseBreaks.h"

#include <QEvent>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>
#include <cmath>
#include <memory>

namespace lunorvale {

struct LVText::Layout {
    qreal width = -1;
    std::unique_ptr<QTextLayout> text;
    std::unique_ptr<QTextLayout> tail; // the last line, ellipsised, when the text was cut
    int lines = 0;
    bool truncated = false;
    qreal height = 0;
    qreal naturalWidth = 0;
    int pixelSize = 0;
};

namespace {

constexpr qreal unlimited = 1e6;

// `text` with a line separator wherever a paragraph that wraps at `width` is to break at a pause.
QString breakAtPauses(const QString& text, const QFont& font, qreal width, const QTextOption& option) {
    const QFontMetricsF metrics(font);
    const auto measure = [&metrics](QStringView line) {
        return metrics.horizontalAdvance(line.toString());
    };
    QStringList paragraphs = text.split(QChar::LineSeparator);
    for (QString& paragraph : paragraphs) {
        QTextLayout plain(paragraph, font);
        plain.setTextOption(option);
        plain.beginLayout();
        int lines = 0;
        for (QTextLine line = plain.createLine(); line.isValid(); line = plain.createLine(), ++lines)
            line.setLineWidth(width);
        plain.endLayout();
        // A pixel to spare, so that the layout's own measure never wraps a line chosen here again.
        const QList<qsizetype> breaks = PhraseBreaks::breaks(paragraph, width - 1, lines, measure);
        for (auto at = breaks.rbegin(); at != breaks.rend(); ++at)
            paragraph.insert(*at, QChar::LineSeparator);
    }
    return paragraphs.join(QChar::LineSeparator);
}

} // namespace

std::unique_ptr<LVText::Layout> LVText::build(const QString& text, const QFont& font, qreal width,
                                              int maximumLines, qreal spacing, Qt::Alignment alignment,
                                              bool pauses) {
    auto out = std::make_unique<Layout>();
    out->width = width;
    out->pixelSize = QFontInfo(font).pixelSize();
    QString prepared = text;
    prepared.replace(QLatin1Char('\n'), QChar::LineSeparator);
    const qreal lineWidth = width < 0 ? unlimited : width;
    QTextOption option = leftToRight(alignment & Qt::AlignHorizontal_Mask);
    option.setWrapMode(maximumLines == 1 || width < 0 ? QTextOption::NoWrap
                                                      : QTextOption::WrapAtWordBoundaryOrAnywhere);
    if (pauses && maximumLines == 0 && width >= 0)
        prepared = breakAtPauses(prepared, font, width, option);
    out->text = std::make_unique<QTextLayout>(prepared, font);
    out->text->setTextOption(option);
    out->text->setCacheEnabled(true);
    out->text->beginLayout();
    qreal y = 0;
    for (QTextLine line = out->text->createLine(); line.isValid(); line = out->text->createLine()) {
        if (maximumLines > 0 && out->lines == maximumLines) {
            out->truncated = true;
            break;
        }
        line.setLineWidth(lineWidth);
        line.setPosition(QPointF(0, y));
        y += line.height() + spacing;
        out->naturalWidth = std::max(out->naturalWidth, line.naturalTextWidth());
        ++out->lines;
    }
    out->text->endLayout();
    out->height = out->lines > 0 ? y - spacing : 0;
    if (width >= 0 && out->naturalWidth > width + 0.01)
        out->truncated = true; // one unwrapped line wider than the room
    if (out->truncated && out->lines > 0) {
        const QTextLine last = out->text->lineAt(out->lines - 1);
        QString rest = prepared.mid(last.textStart());
        rest.replace(QChar::LineSeparator, QLatin1Char(' '));
        const QString elided = QFontMetricsF(font).elidedText(rest, Qt::ElideRight, lineWidth);
        out->tail = std::make_unique<QTextLayout>(elided, font);
        QTextOption tailOption = leftToRight(alignment & Qt::AlignHorizontal_Mask);
        tailOption.setWrapMode(QTextOption::NoWrap);
        out->tail->setTextOption(tailOption);
        out->tail->beginLayout();
        QTextLine line = out->tail->createLine();
        line.setLineWidth(lineWidth);
        line.setPosition(last.position());
        out->tail->endLayout();
    }
    return out;
}

LVText::LVText(const QString& text, QWidget* parent) : QWidget(parent), m_text(text) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    QSizePolicy policy = sizePolicy();
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setAccessibleName(text);
}

LVText::LVText(const QString& text, const QFont& font, std::optional<AdaptiveColor> color, QWidget* parent)
    : LVText(text, parent) {
    setFont(font);
    m_color = color;
}

LVText::~LVText() = default;

void LVText::setText(const QString& text) {
    if (text == m_text)
        return;
    m_text = text;
    setAccessibleName(text);
    invalidate();
}

void LVText::setColor(std::optional<AdaptiveColor> color) {
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void LVText::setMaximumLines(int lines) {
    lines = std::max(0, lines);
    if (lines == m_maximumLines)
        return;
    m_maximumLines = lines;
    QSizePolicy policy = sizePolicy();
    policy.setHeightForWidth(hasHeightForWidth());
    setSizePolicy(policy);
    invalidate();
}

void LVText::setLineSpacing(qreal spacing) {
    if (spacing == m_lineSpacing)
        return;
    m_lineSpacing = spacing;
    invalidate();
}

void LVText::setBreaksAtPauses(bool pauses) {
    if (pauses == m_pauses)
        return;
    m_pauses = pauses;
    invalidate();
}

void LVText::setMinimumScaleFactor(qreal factor) {
    factor = std::clamp(factor, 0.1, 1.0);
    if (factor == m_minimumScale)
        return;
    m_minimumScale = factor;
    invalidate();
}

void LVText::setAlignment(Qt::Alignment alignment) {
    if (alignment == m_alignment)
        return;
    m_alignment = alignment;
    invalidate();
}

bool LVText::isTruncated() const {
    return layoutFor(width()).truncated;
}

int LVText::lineCount() const {
    return layoutFor(width()).lines;
}

QStringList LVText::lines() const {
    const Layout& layout = layoutFor(width());
    QStringList out;
    for (int i = 0; i < layout.lines; ++i) {
        const QTextLine line = layout.text->lineAt(i);
        QString text = layout.text->text().mid(line.textStart(), line.textLength());
        if (text.endsWith(QChar::LineSeparator))
            text.chop(1);
        out.append(text);
    }
    return out;
}

int LVText::shownPixelSize() const {
    return layoutFor(width()).pixelSize;
}

void LVText::invalidate() {
    m_cache.reset();
    m_natural.reset();
    updateGeometry();
    update();
}

const LVText::Layout& LVText::layoutFor(qreal width) const {
    if (width < 0) {
        if (!m_natural)
            m_natural = build(m_text, font(), -1, m_maximumLines, m_lineSpacing, m_alignment, m_pauses);
        return *m_natural;
    }
    if (m_cache && m_cache->width == width)
        return *m_cache;
    m_cache = build(m_text, font(), width, m_maximumLines, m_lineSpacing, m_alignment, m_pauses);
    if (m_cache->truncated && m_minimumScale < 1) {
        const int full = m_cache->pixelSize;
        const int smallest = static_cast<int>(std::ceil(full * m_minimumScale));
        for (int size = full - 1; size >= smallest && m_cache->truncated; --size) {
            QFont smaller = font();
            smaller.setPixelSize(size);
            m_cache = build(m_text, smaller, width, m_maximumLines, m_lineSpacing, m_alignment, m_pauses);
            m_cache->width = width;
        }
    }
    return *m_cache;
}

QSize LVText::sizeHint() const {
    const Layout& natural = layoutFor(-1);
    return {static_cast<int>(std::ceil(natural.naturalWidth)), static_cast<int>(std::ceil(natural.height))};
}

QSize LVText::minimumSizeHint() const {
    // Narrower than its text, a line is cut or wrapped, never the whole widget hidden.
    const QSize natural = sizeHint();
    const int narrow = std::min(natural.width(), 3 * QFontInfo(font()).pixelSize());
    const int lineHeight = static_cast<int>(std::ceil(QFontMetricsF(font()).height()));
    return {narrow, m_text.isEmpty() ? 0 : std::min(natural.height(), lineHeight)};
}

bool LVText::hasHeightForWidth() const {
    return m_maximumLines != 1;
}

int LVText::heightForWidth(int width) const {
    // Layouts ask with the width of the whole row, also when an alignment keeps the text narrower.
    width = std::min(width, maximumWidth());
    return static_cast<int>(std::ceil(layoutFor(width).height));
}

void LVText::paintEvent(QPaintEvent*) {
    const Layout& layout = layoutFor(width());
    QPainter painter(this);
    painter.setPen(m_color ? m_color->in(this) : palette().color(foregroundRole()));
    qreal top = 0;
    if (m_alignment & Qt::AlignBottom)
        top = height() - layout.height;
    else if (!(m_alignment & Qt::AlignTop))
        top = (height() - layout.height) / 2;
    const int whole = layout.tail ? layout.lines - 1 : layout.lines;
    for (int i = 0; i < whole; ++i)
        layout.text->lineAt(i).draw(&painter, QPointF(0, top));
    if (layout.tail)
        layout.tail->draw(&painter, QPointF(0, top));
}

QTextOption leftToRight(Qt::Alignment alignment) {
    QTextOption option(alignment);
    option.setTextDirection(Qt::LeftToRight);
    return option;
}

QString plainToolTip(const QString& text) {
    // Qt shows a tooltip that looks like markup as rich text; escaped markup is shown as written.
    return text.isEmpty() ? QString()
                          : QStringLiteral("<p dir='ltr' style='white-space:pre-wrap'>") +
                                text.toHtmlEscaped() + QStringLiteral("</p>");
}

void LVText::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        m_cache.reset();
        m_natural.reset();
    }
    QWidget::changeEvent(event);
}

} // namespace lunorvale
