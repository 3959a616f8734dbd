#include "ui/kit/SheetActivation.h"

#include <QDialog>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <algorithm>

namespace lunorvale {

namespace {

// Whether `focused` is a window `dialog` is shown over: its parent window or one further down.
bool liesUnder(const QDialog& dialog, const QWindow* focused) {
    for (const QWidget* below = dialog.parentWidget(); below; below = below->parentWidget()) {
        below = below->window();
        if (below->windowHandle() == focused)
            return true;
    }
    return false;
}

bool showsModalOverItself(const QDialog& dialog) {
    const QList<QDialog*> over = dialog.findChildren<QDialog*>(Qt::FindDirectChildrenOnly);
    return std::any_of(over.begin(), over.end(),
                       [](const QDialog* child) { return child->isVisible() && child->isModal(); });
}

} // namespace

void keepActivation(QDialog& dialog) {
    QObject::connect(qGuiApp, &QGuiApplication::focusWindowChanged, &dialog, [&dialog](QWindow* focused) {
        if (!focused || !dialog.isVisible() || !dialog.isModal() || !liesUnder(dialog, focused) ||
            showsModalOverItself(dialog))
            return;
        // Queued: asked at once, the window manager may still be handing the activation over.
        QTimer::singleShot(0, &dialog, [sheet = QPointer<QDialog>(&dialog)] {
            if (sheet && sheet->isVisible() && !showsModalOverItself(*sheet))
                sheet->activateWindow();
        });
    });
}

} // namespace lunorvale
