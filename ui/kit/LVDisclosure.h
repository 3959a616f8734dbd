#pragma once

#include "ui/kit/Palette.h"

#include <QWidget>

class QAbstractButton;

namespace lunorvale {

// A section that opens and closes under its title, collapsed at first: a chevron (right when closed,
// down when open) and the title form one button; the content shows below it while open.
class LVDisclosure final : public QWidget {
    Q_OBJECT
public:
    LVDisclosure(const QString& title, QWidget* content, QWidget* parent = nullptr);

    bool isExpanded() const { return m_expanded; }
    // A change is announced.
    void setExpanded(bool expanded);
    QAbstractButton* header() const;
    QWidget* content() const { return m_content; }
    // The title's and chevron's colour and the title's font.
    void setHeaderStyle(AdaptiveColor color, const QFont& font);

signals:
    void expandedChanged(bool expanded);

private:
    class Header;
    Header* m_header;
    QWidget* m_content;
    bool m_expanded = false;
};

} // namespace lunorvale
