#include "ui/window/SheetContent.h"

#include "ui/kit/Palette.h"

#include <QAction>
#include <QPainter>
#include <QVBoxLayout>

namespace lunorvale {

SheetContent::SheetContent(int width, int padding, int spacing, std::function<void()> onCancel,
                           QWidget* parent)
    : QWidget(parent), m_onCancel(std::move(onCancel)) {
    setFixedWidth(width);
    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(padding, padding, padding, padding);
    m_column->setSpacing(spacing);
    // A shortcut takes the key before the dialog's own Escape handling could reject it.
    auto* escape = new QAction(this);
    escape->setShortcut(QKeySequence(Qt::Key_Escape));
    escape->setShortcutContext(Qt::WindowShortcut);
    connect(escape, &QAction::triggered, this, &SheetContent::cancel);
    addAction(escape);
}

QSize SheetContent::sizeHint() const {
    const int height = m_column->totalHeightForWidth(width());
    return {width(), height >= 0 ? height : m_column->totalSizeHint().height()};
}

QSize SheetContent::minimumSizeHint() const {
    return sizeHint();
}

void SheetContent::cancel() {
    if (m_onCancel)
        m_onCancel();
}

void SheetContent::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Palette::surface.in(this));
}

} // namespace lunorvale
