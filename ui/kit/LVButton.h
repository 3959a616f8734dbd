#pragma once

#include "ui/kit/LVSymbol.h"
#include "ui/kit/Palette.h"

#include <QAbstractButton>
#include <optional>

namespace lunorvale {

enum class LVButtonKind { primary, secondary, danger, lunor };

// The look of the action buttons of every page, sheet and popover.
struct LVButtonStyle {
    LVButtonKind kind = LVButtonKind::primary;

    AdaptiveColor text() const;
    // Absent where the kind draws nothing (clear).
    std::optional<AdaptiveColor> fill() const;
    std::optional<AdaptiveColor> stroke() const;

    static constexpr qreal cornerRadius = 8;
    static constexpr int horizontalPadding = 15;
    static constexpr int minimumHeight = 35;
    static QFont font();
    // A disabled button is dimmed whether or not it is pressed; pressing is the only other feedback.
    static qreal opacity(bool enabled, bool pressed);
};

// A push button drawn in the kit's style: its label (and an optional leading symbol) padded 15 px on
// each side, at least 35 px high, growing with a taller (multi-line) label. The whole rounded shape,
// padding included, takes clicks, even where a `lunor` button draws nothing. Drawn disabled when it
// or any parent is disabled.
class LVButton final : public QAbstractButton {
    Q_OBJECT
public:
    LVButton(LVButtonKind kind, const QString& text, QWidget* parent = nullptr);

    LVButtonKind kind() const { return m_style.kind; }
    void setKind(LVButtonKind kind);
    void setSymbol(std::optional<LVSymbol> symbol);
    const std::optional<LVSymbol>& symbol() const { return m_symbol; }
    // A label that starts with a name from outside the program: `name` in an isolate (as
    // SafeText::isolated puts a name into a sentence), then `rest`, such as a figure. The button may then
    // be narrower than its label: the name gives way, cut with "…", down to its first letter, and the rest
    // always shows whole. text() is the whole label; setText makes it an ordinary one again.
    void setNamedText(const QString& name, const QString& rest);
    // The label as drawn at the button's width.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;

private:
    struct NamedText {
        QString name;
        QString rest;
    };
    // The named label, unless setText replaced it.
    const NamedText* namedText() const;
    QSizeF labelSize(const QString& label) const;

    LVButtonStyle m_style;
    std::optional<LVSymbol> m_symbol;
    std::optional<NamedText> m_named;
};

} // namespace lunorvale
