#include "ui/settings/MenuSoftwareUpdateReminder.h"

#include "app/model/SoftwareUpdater.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVSymbol.h"
#include "ui/kit/Palette.h"
#include "ui/settings/SoftwareUpdateLogic.h"

#include <QFocusEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace lunorvale {

namespace {
constexpr qreal horizontalPadding = 10;
constexpr qreal verticalPadding = 8;
constexpr qreal spacing = 7;
} // namespace

MenuSoftwareUpdateReminder::MenuSoftwareUpdateReminder(SoftwareUpdater* updater,
                                                       std::function<void()> openMain, QWidget* parent)
    : QAbstractButton(parent), m_updater(updater), m_openMain(std::move(openMain)) {
    setFont(Fonts::system(11));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    FocusRing::follow();
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, [this] {
        // Opening the window closes the popover this row lies in, which hides the row and deletes it
        // only once this click's event is over: the row is whole for the rest of the handler. The window
        // first, so that whatever the check shows opens over it.
        if (m_openMain)
            m_openMain();
        if (m_updater)
            m_updater->checkForUpdates();
    });
    if (updater) {
        connect(updater, &SoftwareUpdater::availableVersionChanged, this,
                &MenuSoftwareUpdateReminder::refresh);
        connect(updater, &SoftwareUpdater::readyToInstallChanged, this, &MenuSoftwareUpdateReminder::refresh);
    }
    refresh();
}

void MenuSoftwareUpdateReminder::refresh() {
    const std::optional<QString> version = m_updater ? m_updater->availableVersion() : std::nullopt;
    const bool ready = m_updater && m_updater->readyToInstall();
    setText(SoftwareUpdateTexts::reminderText(version, ready));
    setAccessibleName(SoftwareUpdateTexts::reminderAccessibleName(ready));
    setVisible(version.has_value());
    updateGeometry();
    update();
}

QSize MenuSoftwareUpdateReminder::sizeHint() const {
    const QFontMetricsF metrics(font());
    const int side = LVSymbol::side(11);
    return {static_cast<int>(std::ceil(2 * horizontalPadding + side + spacing +
                                       metrics.horizontalAdvance(text()) + spacing + LVSymbol::side(8))),
            static_cast<int>(std::ceil(2 * verticalPadding + std::max<qreal>(side, metrics.height())))};
}

QSize MenuSoftwareUpdateReminder::minimumSizeHint() const {
    return {static_cast<int>(2 * horizontalPadding + LVSymbol::side(11) + LVSymbol::side(8) + 40),
            sizeHint().height()};
}

void MenuSoftwareUpdateReminder::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(LVButtonStyle::opacity(isEnabled(), isDown()));
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 13, 13);
    painter.fillPath(shape, Palette::secondary.in(this));
    QColor stroke = Palette::line.in(this);
    stroke.setAlphaF(stroke.alphaF() * 0.65f);
    painter.setPen(QPen(stroke, 1));
    painter.drawPath(shape);

    const QColor colour = Palette::accent.in(this);
    const int side = LVSymbol::side(11);
    const int chevron = LVSymbol::side(8);
    LVSymbol("arrow.down.circle")
        .paint(painter, QRectF(horizontalPadding, (height() - side) / 2.0, side, side), colour);
    const QRectF chevronRect(width() - horizontalPadding - chevron, (height() - chevron) / 2.0, chevron,
                             chevron);
    LVSymbol("chevron.right").paint(painter, chevronRect, colour);
    const qreal left = horizontalPadding + side + spacing;
    const QRectF textRect(left, 0, chevronRect.left() - spacing - left, height());
    painter.setPen(colour);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     QFontMetricsF(font()).elidedText(text(), Qt::ElideRight, textRect.width()));
    if (FocusRing::shown(*this))
        FocusRing::paint(painter, QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 12, *this);
}

} // namespace lunorvale
