#include "ui/window/ProcessRow.h"

#include "core/common/SafeText.h"
#include "core/monitoring/DisplayFormat.h"
#include "ui/kit/Elided.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVText.h"
#include "ui/kit/ProcessGlyph.h"
#include "ui/window/ProcessesLogic.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <cmath>

namespace lunorvale {

namespace {

// Made once (and kept to the end): the processes page paints thousands of rows with them.
const QFont& nameFont() {
    static const QFont* font = new QFont(Fonts::system(12, FontWeight::medium));
    return *font;
}
const QFont& sourceFont() {
    static const QFont* font = new QFont(Fonts::system(10));
    return *font;
}
const QFont& figureFont() {
    static const QFont* font = new QFont(Fonts::monospacedDigits(11));
    return *font;
}

int verticalPadding(bool compact) {
    return compact ? 9 : 8;
}

qreal lineHeight(const QFont& font) {
    return QFontMetricsF(font).height();
}

void drawLine(QPainter& painter, const QRectF& rect, const QFont& font, const QColor& color,
              const QString& text, Qt::Alignment alignment) {
    painter.setFont(font);
    painter.setPen(color);
    const QString shown = elidedRight(QFontMetricsF(font), text, rect.width());
    painter.drawText(rect, alignment | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

// Whether `text` holds a right-to-left letter, an Arabic-Indic digit or a direction mark: only these can
// carry what follows the text in a line to its other side.
bool turnsRound(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        if (c < 0x0590)
            continue; // Latin, Greek, Cyrillic and the rest before Hebrew run left to right
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text.at(i + 1).unicode()))
            c = QChar::surrogateToUcs4(static_cast<char16_t>(c), text.at(++i).unicode());
        switch (QChar::direction(c)) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirAN:
        case QChar::DirLRE:
        case QChar::DirLRO:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirPDF:
        case QChar::DirLRI:
        case QChar::DirRLI:
        case QChar::DirFSI:
        case QChar::DirPDI:
            return true;
        default:
            break;
        }
    }
    return false;
}

} // namespace

ProcessRow::Content ProcessRow::contentOf(const ProcessSample& sample, double threshold) {
    return {sample.name,
            sourceLine(sample),
            DisplayFormat::cpu(sample.cpuPercent),
            DisplayFormat::memory(sample.residentBytes),
            DisplayFormat::duration(sample.elapsedSeconds),
            isHighlighted(sample, threshold)};
}

ProcessRow::ProcessRow(const ProcessSample& sample, double threshold, bool compact, bool selected)
    : ProcessRow(contentOf(sample, threshold), compact, selected) {}

ProcessRow::ProcessRow(Content content, bool compact, bool selected)
    : m_content(std::move(content)), m_compact(compact), m_selected(selected) {}

int ProcessRow::cpuWidth(bool compact) {
    return compact ? 100 : 65;
}
int ProcessRow::memoryWidth(bool compact) {
    return compact ? 100 : 65;
}
int ProcessRow::runTimeWidth(bool compact) {
    return compact ? 120 : 75;
}
int ProcessRow::horizontalPadding(bool compact) {
    return compact ? 0 : 8;
}

int ProcessRow::height(bool compact) {
    const qreal text =
        compact ? lineHeight(nameFont()) : lineHeight(nameFont()) + 4 + lineHeight(sourceFont());
    return static_cast<int>(std::ceil(std::max<qreal>(ProcessGlyph::tileSide, text))) +
           2 * verticalPadding(compact);
}

bool ProcessRow::isHighlighted(const ProcessSample& sample, double threshold) {
    return sample.cpuPercent.value_or(0) >= threshold;
}

QString ProcessRow::sourceLine(const ProcessSample& sample) {
    // Only a source that can turn round is isolated: around any other the isolates change nothing on
    // screen, yet each row painted would lay them out through the full bidirectional analysis and the
    // fonts' fallbacks (the marks have no glyph), a sixth of a sample of the processes page.
    const QString source = ProcessesLogic::oneLine(sample.displaySource());
    return (turnsRound(source) ? SafeText::isolated(source) : source) + QStringLiteral(" · ") +
           QString::number(sample.identity.pid);
}

QString ProcessRow::accessibleText() const {
    QStringList parts{ProcessesLogic::oneLine(m_content.name)};
    if (!m_compact)
        parts.append(m_content.sourceLine);
    parts << m_content.cpu << m_content.memory << m_content.runTime;
    return parts.join(QStringLiteral("，"));
}

void ProcessRow::paint(QPainter& painter, const QRect& rect, Appearance appearance) const {
    painter.save();
    const int padding = horizontalPadding(m_compact);
    const QRectF area = QRectF(rect).adjusted(padding, 0, -padding, 0);
    ProcessGlyph::paint(painter, QPointF(area.left(), area.center().y() - ProcessGlyph::tileSide / 2.0),
                        m_content.name, appearance);

    // Figure columns from the trailing edge.
    qreal right = area.right();
    const auto column = [&right](int width) {
        const QRectF cell(right - width, 0, width, 0);
        right -= width + spacing;
        return cell;
    };
    const QRectF runTime = column(runTimeWidth(m_compact));
    const QRectF memory = column(memoryWidth(m_compact));
    const QRectF cpu = column(cpuWidth(m_compact));
    const auto placed = [&area](QRectF cell) {
        cell.setTop(area.top());
        cell.setBottom(area.bottom());
        return cell;
    };
    const QColor ink = Palette::ink.resolved(appearance);
    const QColor muted = Palette::muted.resolved(appearance);
    drawLine(painter, placed(cpu), figureFont(),
             (m_content.highlighted ? Palette::amber : Palette::ink).resolved(appearance), m_content.cpu,
             Qt::AlignRight);
    drawLine(painter, placed(memory), figureFont(), muted, m_content.memory, Qt::AlignRight);
    drawLine(painter, placed(runTime), figureFont(), muted, m_content.runTime, Qt::AlignRight);

    // The name (and the source line) in what is left.
    const qreal left = area.left() + ProcessGlyph::tileSide + spacing;
    const qreal width = std::max<qreal>(0, right - left);
    const qreal nameHeight = lineHeight(nameFont());
    // Names and sources are data: a line break or control character in them shows as a blank.
    const QString name = ProcessesLogic::oneLine(m_content.name);
    if (m_compact) {
        drawLine(painter, QRectF(left, area.top(), width, area.height()), nameFont(), ink, name,
                 Qt::AlignLeft);
    } else {
        const qreal sourceHeight = lineHeight(sourceFont());
        const qreal top = area.center().y() - (nameHeight + 4 + sourceHeight) / 2;
        drawLine(painter, QRectF(left, top, width, nameHeight), nameFont(), ink, name, Qt::AlignLeft);
        QColor second = m_selected ? ink : muted;
        if (m_selected)
            second.setAlphaF(0.8);
        drawLine(painter, QRectF(left, top + nameHeight + 4, width, sourceHeight), sourceFont(), second,
                 m_content.sourceLine, Qt::AlignLeft);
    }
    painter.restore();
}

ProcessColumnHeadings::ProcessColumnHeadings(bool compact, QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(ProcessRow::horizontalPadding(compact), 0, ProcessRow::horizontalPadding(compact),
                            0);
    row->setSpacing(ProcessRow::spacing);
    const QFont font = Fonts::system(10, FontWeight::medium);
    const auto heading = [&](const QString& text, int width) {
        auto* label = new LVText(text, font, Palette::muted, this);
        label->setMaximumLines(1);
        if (width > 0) {
            label->setFixedWidth(width);
            label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
        row->addWidget(label, width > 0 ? 0 : 1);
        return label;
    };
    heading(QStringLiteral("进程 / 来源"), 0);
    heading(QStringLiteral("CPU"), ProcessRow::cpuWidth(compact))
        ->setToolTip(
            QStringLiteral("最近两次采样之间的平均占用。手动采样会改变统计区间；100% 约等于一个逻辑核心。"));
    heading(QStringLiteral("内存"), ProcessRow::memoryWidth(compact));
    heading(QStringLiteral("运行时间"), ProcessRow::runTimeWidth(compact));
}

ProcessRowButton::ProcessRowButton(bool compact, QWidget* parent)
    : QAbstractButton(parent), m_compact(compact) {
    setFocusPolicy(Qt::StrongFocus);
    // The row's figures reach its right edge: a ring inside would cross them.
    FocusRing::surround(*this, 3, 9);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ProcessRowButton::setSample(const ProcessSample& sample, double threshold) {
    if (sample == m_sample && threshold == m_threshold)
        return;
    m_sample = sample;
    m_threshold = threshold;
    setAccessibleName(ProcessRow(m_sample, m_threshold, m_compact, false).accessibleText());
    update();
}

QSize ProcessRowButton::sizeHint() const {
    return {400, ProcessRow::height(m_compact)};
}

QSize ProcessRowButton::minimumSizeHint() const {
    return {200, ProcessRow::height(m_compact)};
}

void ProcessRowButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (isDown())
        painter.setOpacity(0.72);
    ProcessRow(m_sample, m_threshold, m_compact, false).paint(painter, rect(), Palette::appearanceOf(this));
}

} // namespace lunorvale
