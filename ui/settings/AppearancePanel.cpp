#include "ui/settings/AppearancePanel.h"

#include "app/model/AppModel.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVLabel.h"
#include "ui/kit/LVRule.h"
#include "ui/kit/LVSymbol.h"
#include "ui/kit/LVText.h"
#include "ui/kit/SectionHeading.h"
#include "ui/settings/SettingsCards.h"
#include "ui/settings/SettingsView.h"

#include <QFocusEvent>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace lunorvale {

namespace {

constexpr int cardPadding = 12;
constexpr int swatchHeight = 69;
constexpr qreal cardRadius = 12;

// The swatches preview their own appearance, so their colours do not follow the current one.
const QColor lightBase = QColor::fromRgbF(0.93f, 0.95f, 0.98f);
const QColor darkBase = QColor::fromRgbF(0.09f, 0.12f, 0.17f);
const QColor windowBar = QColor::fromRgbF(0.36f, 0.49f, 0.85f);
const QColor systemGrey(0x8E, 0x8E, 0x93);

QColor grey(qreal opacity) {
    QColor color = systemGrey;
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

} // namespace

AppearanceCard::AppearanceCard(const QString& label, const QString& value, const QString& symbol,
                               QWidget* parent)
    : QAbstractButton(parent), m_value(value), m_symbol(symbol) {
    setText(label);
    setAccessibleName(label);
    setFont(Fonts::system(12, FontWeight::medium));
    setFocusPolicy(Qt::StrongFocus);
    FocusRing::follow();
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setSelected(false);
}

void AppearanceCard::setSelected(bool selected) {
    if (selected == m_selected && !accessibleDescription().isEmpty())
        return;
    m_selected = selected;
    setAccessibleDescription(selected ? QStringLiteral("已选择") : QStringLiteral("未选择"));
    update();
}

QSize AppearanceCard::sizeHint() const {
    const QFontMetricsF metrics(font());
    const int caption = static_cast<int>(std::ceil(std::max<qreal>(metrics.height(), LVSymbol::side(12))));
    return {160, cardPadding + swatchHeight + 12 + caption + cardPadding};
}

QSize AppearanceCard::minimumSizeHint() const {
    return {96, sizeHint().height()};
}

bool AppearanceCard::hitButton(const QPoint& position) const {
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), cardRadius, cardRadius);
    return shape.contains(position);
}

void AppearanceCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(LVButtonStyle::opacity(isEnabled(), isDown()));
    const QRectF bounds = QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75);
    QPainterPath shape;
    shape.addRoundedRect(bounds, cardRadius, cardRadius);
    painter.fillPath(shape, Palette::canvas.in(this));

    // The swatch: the base, a dark right half for "system", a miniature window over it.
    const QRectF swatch(cardPadding, cardPadding, width() - 2 * cardPadding, swatchHeight);
    QPainterPath swatchShape;
    swatchShape.addRoundedRect(swatch, 8, 8);
    painter.fillPath(swatchShape, m_value == QLatin1String("dark") ? darkBase : lightBase);
    if (m_value == QLatin1String("system")) {
        painter.save();
        painter.setClipPath(swatchShape);
        painter.fillRect(QRectF(swatch.center().x(), swatch.top(), swatch.width() / 2, swatch.height()),
                         darkBase);
        painter.restore();
    }
    const QRectF inner = swatch.adjusted(11, 11, -11, -11);
    painter.setPen(Qt::NoPen);
    painter.setBrush(grey(0.45));
    for (int i = 0; i < 3; ++i)
        painter.drawEllipse(QRectF(inner.left() + i * 7, inner.top(), 4, 4));
    painter.setBrush(windowBar);
    painter.drawRoundedRect(QRectF(inner.left(), inner.top() + 11, 45, 9), 3, 3);
    painter.setBrush(grey(0.2));
    painter.drawRoundedRect(QRectF(inner.left(), inner.top() + 27, inner.width(), 16), 3, 3);

    // The caption, centred under the swatch.
    const QColor colour = (m_selected ? Palette::accent : Palette::muted).in(this);
    const QFontMetricsF metrics(font());
    const int side = LVSymbol::side(12);
    const qreal captionWidth = side + 6 + metrics.horizontalAdvance(text());
    const qreal captionTop = swatch.bottom() + 12;
    const qreal captionHeight = std::max<qreal>(metrics.height(), side);
    const qreal left = (width() - captionWidth) / 2;
    (m_selected ? LVSymbol("checkmark.circle.fill") : LVSymbol(m_symbol))
        .paint(painter, QRectF(left, captionTop + (captionHeight - side) / 2, side, side), colour);
    painter.setPen(colour);
    painter.drawText(QRectF(left + side + 6, captionTop, captionWidth, captionHeight),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen((m_selected ? Palette::accent : Palette::line).in(this), m_selected ? 1.5 : 1));
    painter.drawPath(shape);
    if (FocusRing::shown(*this))
        FocusRing::paint(painter, bounds.adjusted(1.5, 1.5, -1.5, -1.5), cardRadius - 2, *this);
}

AppearancePanel::AppearancePanel(SettingsView& view, QWidget* parent) : QWidget(parent), m_view(view) {
    QVBoxLayout* column = panelCard(this, 22);
    QWidget* host = column->parentWidget();
    column->addWidget(new SectionHeading(QStringLiteral("让岚栖融入这台电脑"),
                                         QStringLiteral("浅色与深色使用相同的信息层次和操作方式。"),
                                         LVSymbol("circle.lefthalf.filled"), host));
    auto* cards = new QHBoxLayout;
    cards->setSpacing(13);
    for (size_t i = 0; i < m_cards.size(); ++i) {
        const SettingsLogic::AppearanceChoice& choice = SettingsLogic::appearanceChoices()[i];
        m_cards[i] = new AppearanceCard(choice.label, choice.value, choice.symbol, host);
        cards->addWidget(m_cards[i], 1);
        connect(m_cards[i], &QAbstractButton::clicked, this,
                [this, value = choice.value] { m_view.chooseAppearance(value); });
    }
    column->addLayout(cards);
    column->addWidget(new LVRule({}, 1.0, host));
    column->addWidget(
        new SectionHeading(QStringLiteral("本地操作记录"),
                           QStringLiteral("保留最近 30 天，最多 500 条。用于回看提醒与处理结果。"),
                           LVSymbol("clock.arrow.circlepath"), host));
    auto* data = new QHBoxLayout;
    auto* texts = new QVBoxLayout;
    texts->setSpacing(6);
    m_count = new LVText({}, Fonts::system(13, FontWeight::medium), std::nullopt, host);
    texts->addWidget(m_count);
    texts->addWidget(
        new LVText(QStringLiteral("可在“操作记录”页面按需导出。"), Fonts::system(11), Palette::muted, host));
    data->addLayout(texts, 1);
    m_clear = settingsButton(LVButtonKind::danger, QStringLiteral("清空记录"), host);
    data->addWidget(m_clear);
    column->addLayout(data);
    m_error = new LVLabel(LVSymbol("exclamationmark.circle"), {}, Fonts::system(11), Palette::danger, host);
    m_error->text()->setMaximumLines(0);
    column->addWidget(m_error);

    auto* note = new QWidget;
    column->addWidget(lunorCard(note));
    auto* noteRow = new QHBoxLayout(note);
    noteRow->setContentsMargins(15, 15, 15, 15);
    noteRow->addWidget(new LVSymbolView(LVSymbol("lock.shield"), 12, Palette::accent, note));
    noteRow->addWidget(new LVText(QStringLiteral("记录不保存完整命令行、文件路径或 API Key。"),
                                  Fonts::system(12), Palette::muted, note),
                       1);
    m_privacy = settingsButton(LVButtonKind::lunor, QStringLiteral("隐私说明"), note);
    noteRow->addWidget(m_privacy);

    connect(m_clear, &QAbstractButton::clicked, this, [this] { m_view.clearHistoryAfterConfirmation(); });
    connect(m_privacy, &QAbstractButton::clicked, this, [this] { m_view.showPrivacy(); });
}

void AppearancePanel::refresh() {
    const AppModel& model = m_view.model();
    for (AppearanceCard* card : m_cards) {
        card->setSelected(card->value() == model.appearance());
        card->setEnabled(true);
    }
    // What the file holds, events dated ahead of the clock too: the confirmation warns that all go.
    m_count->setText(SettingsLogic::historyCountText(model.savedHistoryCount()));
    const std::optional<QString>& error = model.historyStorageError();
    m_clear->setEnabled(model.canClearHistory());
    m_error->setText(error.value_or(QString()));
    m_error->setVisible(error.has_value());
}

} // namespace lunorvale
