#include "ui/library/LibraryParts.h"

#include "ui/kit/Palette.h"
#include "ui/kit/SheetActivation.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QTimer>

namespace lunorvale {

bool presentLibraryAlert(const LibraryAlert& alert, QWidget* parent) {
    return confirmAlert({}, parent, alert);
}

LibrarySheet::LibrarySheet(QWidget* content, std::function<void()> onCancel, QWidget* parent)
    : QDialog(parent), m_content(content), m_onCancel(std::move(onCancel)) {
    setWindowTitle(QStringLiteral("岚栖"));
    setWindowModality(Qt::WindowModal);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSizeConstraint(QLayout::SetFixedSize);
    column->addWidget(content);
    keepActivation(*this);
}

void LibrarySheet::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        if (m_onCancel)
            m_onCancel();
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // No button of these sheets is a default one.
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void LibrarySheet::closeEvent(QCloseEvent* event) {
    // Only the host closes a sheet; a close asked from outside counts as cancelling.
    event->ignore();
    if (m_onCancel)
        m_onCancel();
}

LibrarySheetContent::LibrarySheetContent(QSize frame, int padding, int spacing,
                                         std::function<void()> onCancel, QWidget* parent)
    : SheetContent(frame.width() + 2 * padding, padding, spacing, std::move(onCancel), parent) {
    if (frame.height() > 0)
        setFixedHeight(frame.height() + 2 * padding);
}

BusyIndicator::BusyIndicator(int side, QWidget* parent)
    : QWidget(parent), m_timer(new QTimer(this)), m_side(side) {
    setFixedSize(side, side);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_timer->setInterval(80);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 30) % 360;
        update();
    });
}

void BusyIndicator::setAnimated(bool animated) {
    m_animated = animated;
    if (!animated)
        m_timer->stop();
    else if (isVisible())
        m_timer->start();
}

QSize BusyIndicator::sizeHint() const {
    return {m_side, m_side};
}

void BusyIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF ring = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    QColor faint = Palette::muted.in(this);
    faint.setAlphaF(0.25);
    painter.setPen(QPen(faint, 2));
    painter.drawEllipse(ring);
    painter.setPen(QPen(Palette::accent.in(this), 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(ring, -m_angle * 16, 100 * 16);
}

void BusyIndicator::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_animated)
        m_timer->start();
}

void BusyIndicator::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_timer->stop();
}

namespace LibraryLayout {

QBoxLayout* column(QWidget* owner, int margin, int spacing) {
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(spacing);
    return layout;
}

QBoxLayout* row(QWidget* owner, int margin, int spacing) {
    auto* layout = new QHBoxLayout(owner);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(spacing);
    return layout;
}

QWidget* wrap(QLayout* layout) {
    auto* widget = new QWidget;
    widget->setLayout(layout);
    return widget;
}

} // namespace LibraryLayout
} // namespace lunorvale
