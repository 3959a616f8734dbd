#pragma once

#include <QWidget>
#include <functional>

class QVBoxLayout;

namespace lunorvale {

// The content of a sheet, shown in the host's window-modal dialog or drawn alone for a screenshot: one
// column on the surface colour, at a fixed width, its height from the content. Escape is the sheet's
// cancel, handed to the host, which closes the sheet; nothing here closes anything. No button is a
// default one: Return and Enter do nothing.
class SheetContent : public QWidget {
    Q_OBJECT
public:
    SheetContent(int width, int padding, int spacing, std::function<void()> onCancel,
                 QWidget* parent = nullptr);

    QVBoxLayout* column() const { return m_column; }
    // Its fixed width and the height the content needs at it.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void cancel();

private:
    QVBoxLayout* m_column;
    std::function<void()> m_onCancel;
};

} // namespace lunorvale
