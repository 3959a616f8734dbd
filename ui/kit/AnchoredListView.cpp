#include "ui/kit/AnchoredListView.h"

#include <algorithm>

namespace lunorvale {

void AnchoredListView::notePlace() {
    for (const QMetaObject::Connection& connection : std::as_const(m_place.watching))
        disconnect(connection);
    m_place = {};
    QAbstractItemModel* rows = model();
    if (!rows)
        return;
    executeDelayedItemsLayout(); // where the rows stand now, not at the last paint
    const QScrollBar* bar = verticalScrollBar();
    const QModelIndex top = indexAt(QPoint(1, 1));
    m_place.atTop = bar->value() == bar->minimum() || !top.isValid();
    if (m_place.atTop)
        return;
    m_place.row = top.row();
    m_place.within = -visualRect(top).top();
    // Only rows that come or go shift the places; a new order (layoutChanged, rows moved) keeps them, so
    // that the view never follows a row to where it went.
    m_place.watching = {
        connect(rows, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex& parent, int first, int last) {
                    if (parent == rootIndex() && first <= m_place.row)
                        m_place.row += last - first + 1;
                }),
        connect(rows, &QAbstractItemModel::rowsRemoved, this,
                [this](const QModelIndex& parent, int first, int last) {
                    // The rows above the top place; when the top row itself went, the row that took
                    // its place is the top.
                    if (parent == rootIndex() && first < m_place.row)
                        m_place.row -= std::min(last, m_place.row - 1) - first + 1;
                }),
    };
}

void AnchoredListView::restorePlace() {
    for (const QMetaObject::Connection& connection : std::as_const(m_place.watching))
        disconnect(connection);
    m_place.watching.clear();
    QAbstractItemModel* rows = model();
    if (!rows)
        return;
    executeDelayedItemsLayout(); // the scroll range and places of the new rows
    QScrollBar* bar = verticalScrollBar();
    if (m_place.atTop) {
        bar->setValue(bar->minimum());
        return;
    }
    const int count = rows->rowCount(rootIndex());
    if (count == 0)
        return;
    const QModelIndex top = rows->index(std::clamp(m_place.row, 0, count - 1), 0, rootIndex());
    bar->setValue(bar->value() + visualRect(top).top() + m_place.within);
}

void AnchoredListView::showTop() {
    executeDelayedItemsLayout(); // the scroll range of the new rows
    verticalScrollBar()->setValue(verticalScrollBar()->minimum());
}

} // namespace lunorvale
