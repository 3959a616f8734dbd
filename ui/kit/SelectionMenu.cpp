#include "ui/kit/SelectionMenu.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>

namespace lunorvale {

namespace {

// As Qt's own text menus write their entries: the shortcut after a tab, shown but not bound, so the
// owner's keys stay the owner's.
QString entry(const QString& title, QKeySequence::StandardKey key) {
    return title + u'\t' + QKeySequence(key).toString(QKeySequence::NativeText);
}

} // namespace

void SelectionMenu::popup(QWidget& owner, const QPoint& globalPosition,
                          const std::function<QString()>& copied, const std::function<void()>& selectAll) {
    auto* menu = new QMenu(&owner);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copy = menu->addAction(entry(QStringLiteral("复制(&C)"), QKeySequence::Copy));
    copy->setEnabled(!copied().isEmpty());
    QObject::connect(copy, &QAction::triggered, menu, [copied] {
        if (const QString selection = copied(); !selection.isEmpty())
            QGuiApplication::clipboard()->setText(selection, QClipboard::Clipboard);
    });
    menu->addSeparator();
    QObject::connect(menu->addAction(entry(QStringLiteral("全选"), QKeySequence::SelectAll)),
                     &QAction::triggered, menu, selectAll);
    menu->popup(globalPosition);
}

} // namespace lunorvale
