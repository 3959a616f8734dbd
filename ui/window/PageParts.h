#pragma once

#include "ui/kit/LVSymbol.h"
#include "ui/kit/Palette.h"

#include <QAbstractButton>
#include <QFont>
#include <QWidget>
#include <initializer_list>
#include <memory>
#include <optional>
#include <type_traits>

class QLayout;

namespace lunorvale {

class LVText;

// Small pieces the processes and history pages, their sheets and the popover build from.
namespace PageParts {

// The monospaced design (commands, paths, addresses), CJK included.
QFont monospaced(int pixelSize);
// A symbol before a wrapping text, both in one colour, the symbol on the first line.
QWidget* symbolText(const LVSymbol& symbol, const QString& text, const QFont& font, AdaptiveColor color,
                    qreal lineSpacing = 0, LVText** textOut = nullptr);
// `content` with `padding` around it.
QWidget* padded(QWidget* content, int left, int top, int right, int bottom);
inline QWidget* padded(QWidget* content, int padding) {
    return padded(content, padding, padding, padding, padding);
}

// To be called before `leaving` is hidden or deleted. Left to Qt, focus inside it would pass along the
// focus chain to whatever control comes next, and a scroll area around the page would scroll there;
// instead it moves to the first of `nearby` that can take it (shown, enabled, taking focus), else to
// `page`, and nothing scrolls.
void keepFocusNear(QWidget* leaving, std::initializer_list<QWidget*> nearby, QWidget* page);

// Connects a click of `button` to `act`, called with what `shown()` gave when the button went down:
// the process the user saw there. A refresh between press and release (the finding ended, another
// process took the place) never turns the click on something the user did not aim at.
template <typename Shown, typename Act>
void actOnWhatWasShown(QAbstractButton* button, Shown shown, Act act) {
    using Value = std::decay_t<decltype(shown())>;
    auto held = std::make_shared<std::optional<Value>>();
    QObject::connect(button, &QAbstractButton::pressed, button, [held, shown] { *held = shown(); });
    QObject::connect(button, &QAbstractButton::clicked, button, [held, shown, act] {
        const Value value = held->has_value() ? **held : shown();
        held->reset();
        act(value);
    });
}

} // namespace PageParts
} // namespace lunorvale
