#include "ui/window/PageParts.h"

#include "ui/kit/LVText.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace lunorvale::PageParts {

QFont monospaced(int pixelSize) {
    QFont font(QStringLiteral("Noto Sans Mono CJK SC"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(pixelSize);
    return font;
}

QWidget* symbolText(const LVSymbol& symbol, const QString& text, const QFont& font, AdaptiveColor color,
                    qreal lineSpacing, LVText** textOut) {
    auto* box = new QWidget;
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    row->addWidget(new LVSymbolView(symbol, font.pixelSize(), color, box), 0, Qt::AlignTop);
    auto* label = new LVText(text, font, color, box);
    label->setLineSpacing(lineSpacing);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    row->addWidget(label, 1);
    if (textOut)
        *textOut = label;
    return box;
}

QWidget* padded(QWidget* content, int left, int top, int right, int bottom) {
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(left, top, right, bottom);
    layout->setSpacing(0);
    layout->addWidget(content);
    return box;
}

void keepFocusNear(QWidget* leaving, std::initializer_list<QWidget*> nearby, QWidget* page) {
    const QWidget* focus = QApplication::focusWidget();
    if (!focus || (focus != leaving && !leaving->isAncestorOf(focus)))
        return;
    for (QWidget* widget : nearby) {
        if (widget && widget != leaving && !leaving->isAncestorOf(widget) && widget->isVisible() &&
            widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus)) {
            widget->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    page->setFocus(Qt::OtherFocusReason);
}

} // namespace lunorvale::PageParts
