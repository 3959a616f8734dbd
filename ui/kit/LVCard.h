#pragma once

#include <QWidget>

namespace lunorvale {

// The two frames of the design: `card` for the outer card of a page section, `lunorCard` for a panel
// inside or beside one.
enum class LVCardKind { card, lunorCard };

// A rounded frame behind its content, with its stroke drawn over the content. It adds no padding and
// clips nothing: callers pad their content first.
class LVCard final : public QWidget {
    Q_OBJECT
public:
    explicit LVCard(LVCardKind kind, QWidget* content = nullptr, QWidget* parent = nullptr);

    LVCardKind kind() const { return m_kind; }
    QWidget* content() const { return m_content; }
    // Replaces (and deletes) the previous content.
    void setContent(QWidget* content);

    qreal cornerRadius() const;
    qreal strokeOpacity() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    class Stroke;

    LVCardKind m_kind;
    QWidget* m_content = nullptr;
    Stroke* m_stroke = nullptr;
};

// The content, framed: the same as `new LVCard(kind, content)`.
LVCard* card(QWidget* content);
LVCard* lunorCard(QWidget* content);

} // namespace lunorvale
