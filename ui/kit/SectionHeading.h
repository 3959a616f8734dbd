#pragma once

#include "ui/kit/LVSymbol.h"

#include <QWidget>
#include <optional>

namespace lunorvale {

class LVText;

// A section's title, with an optional symbol before it and an optional subtitle under it that wraps
// and is never cut. Without a symbol the title starts at the leading edge.
class SectionHeading final : public QWidget {
    Q_OBJECT
public:
    explicit SectionHeading(const QString& title, const std::optional<QString>& subtitle = std::nullopt,
                            const std::optional<LVSymbol>& symbol = std::nullopt, QWidget* parent = nullptr);

    void setTitle(const QString& title);
    void setSubtitle(const std::optional<QString>& subtitle);
    void setSymbol(const std::optional<LVSymbol>& symbol);

    LVText* titleText() const { return m_title; }
    LVText* subtitleText() const { return m_subtitle; }

private:
    QWidget* m_symbolFrame;
    LVSymbolView* m_symbol;
    LVText* m_title;
    LVText* m_subtitle;
};

} // namespace lunorvale
