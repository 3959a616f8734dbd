#pragma once

#include "ui/kit/LVSymbol.h"
#include "ui/kit/Palette.h"

#include <QWidget>

class QPainter;

namespace lunorvale {

// The 32 px tile that stands for a process or an application in lists, details and confirmations.
class ProcessGlyph final : public QWidget {
    Q_OBJECT
public:
    explicit ProcessGlyph(const QString& name, QWidget* parent = nullptr);

    // The symbol for a name: the first of these substring tests on the lower-cased name decides —
    // a browser, this program, a runtime or terminal, anything else.
    static LVSymbol symbolFor(const QString& name);

    const QString& name() const { return m_name; }
    void setName(const QString& name);
    LVSymbol symbol() const { return symbolFor(m_name); }
    // The tile for `name` with its top left at `topLeft`, for lists that paint their rows.
    static void paint(QPainter& painter, const QPointF& topLeft, const QString& name, Appearance appearance);
    static constexpr int tileSide = 32;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_name;
};

} // namespace lunorvale
