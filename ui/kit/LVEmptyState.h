#pragma once

#include "ui/kit/LVSymbol.h"

#include <QWidget>

namespace lunorvale {

class LVText;

// What a list or panel shows when it has nothing to show: a symbol, a title and a detail that wraps in
// a centred column at most 480 px wide. The block spans the whole width it is given, 32 px around its
// content.
class LVEmptyState final : public QWidget {
    Q_OBJECT
public:
    LVEmptyState(const LVSymbol& symbol, const QString& title, const QString& detail,
                 QWidget* parent = nullptr);

    void setSymbol(const LVSymbol& symbol);
    void setTitle(const QString& title);
    void setDetail(const QString& detail);

    LVText* titleText() const { return m_title; }
    LVText* detailText() const { return m_detail; }

private:
    LVSymbolView* m_symbol;
    LVText* m_title;
    LVText* m_detail;
};

} // namespace lunorvale
