#pragma once

#include "ui/kit/LVAlert.h"
#include "ui/kit/SheetContent.h"

#include <QDialog>
#include <QString>
#include <QWidget>
#include <functional>

class QBoxLayout;
class QLayout;
class QTimer;

namespace lunorvale {

// A confirmation the library page asks for: the quit request and clearing the receipts. "取消" is the
// default button, so Return never confirms.
using LibraryAlert = AlertText;
// True when the user chose the confirm button. Tests answer without showing anything.
using LibraryConfirmer = std::function<bool(const LibraryAlert& alert, QWidget* parent)>;
// The kit's alert, window-modal over `parent`.
bool presentLibraryAlert(const LibraryAlert& alert, QWidget* parent);

// A window-modal sheet around one content widget. It never closes itself: Escape and the window
// manager's close ask `onCancel`, and the host closes it; Return does nothing.
class LibrarySheet final : public QDialog {
    Q_OBJECT
public:
    LibrarySheet(QWidget* content, std::function<void()> onCancel, QWidget* parent);

    QWidget* content() const { return m_content; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* m_content;
    std::function<void()> m_onCancel;
};

// A sheet's content as the library sizes it: `frame` is the content inside the padding, and a frame
// height of 0 leaves the height to the content.
class LibrarySheetContent : public SheetContent {
    Q_OBJECT
public:
    LibrarySheetContent(QSize frame, int padding, int spacing, std::function<void()> onCancel,
                        QWidget* parent = nullptr);
};

// The small indeterminate spinner of progress rows: turns only while shown and told to.
class BusyIndicator final : public QWidget {
    Q_OBJECT
public:
    explicit BusyIndicator(int side = 14, QWidget* parent = nullptr);
    // Preview images hold still.
    void setAnimated(bool animated);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer* m_timer;
    int m_side;
    int m_angle = 0;
    bool m_animated = true;
};

namespace LibraryLayout {
// A widget laid out by a new vertical or horizontal box with these margins and spacing.
QBoxLayout* column(QWidget* owner, int margin, int spacing);
QBoxLayout* row(QWidget* owner, int margin, int spacing);
// A widget holding `layout`'s items: handy for rows placed in columns.
QWidget* wrap(QLayout* layout);
} // namespace LibraryLayout

} // namespace lunorvale
