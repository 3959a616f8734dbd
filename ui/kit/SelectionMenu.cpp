#include "ui/kit/SelectionMenu.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeySequence>
#include <QMenu>

namespace lunorvale {

namespace {

constexpr char menuName[] = "lunorvale-selection-menu";

// As Qt's own text menus write their entries: the shortcut after a tab, shown but not bound, so the
// owner's keys stay the owner's.
QString entry(const QString& title, QKeySequence::StandardKey key) {
    return title + u'\t' + QKeySequence(key).toString(QKeySequence::NativeText);
}

} // namespace

void SelectionMenu::popup(QWidget& owner, const QPoint& globalPosition,
                          const std::function<QString()>& copied, const std::function<void()>& selectAll) {
    auto* menu = new QMenu(&owner);
    menu->setObjectName(QLatin1String(menuName));
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

bool SelectionMenu::isOpen(const QWidget& owner) {
    const QWidget* popup = QApplication::activePopupWidget();
    return popup && popup->parent() == &owner && popup->objectName() == QLatin1String(menuName);
}

} // namespace lunorvale
