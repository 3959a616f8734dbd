#pragma once

#include <QListView>
#include <QScrollBar>

namespace lunorvale {

// A list view that keeps its place while its model changes, as long as the user's choices stay: new
// data in a list scrolled down leaves the row at the top of the view where it stood, found again by its
// key; a list at its top stays at its top, so a row that now comes first is seen. Another order,
// search or filter is another list: it shows from its top, or at the row the user holds (the
// selection) where that row is listed.
class AnchoredListView : public QListView {
public:
    using QListView::QListView;

protected:
    // Applies `change`, new data under the same choices; `keyOf(index)` gives a row's key and
    // `rowOf(key)` the row that holds it after the change, or -1.
    template <typename KeyOf, typename RowOf, typename Change>
    void keepingPlace(KeyOf keyOf, RowOf rowOf, Change&& change) {
        QScrollBar* bar = verticalScrollBar();
        const QModelIndex top = indexAt(QPoint(1, 1));
        if (bar->value() == bar->minimum() || !top.isValid()) {
            change();
            executeDelayedItemsLayout(); // the scroll range of the new rows
            bar->setValue(bar->minimum());
            return;
        }
        const int offset = visualRect(top).top();
        const auto key = keyOf(top);
        change();
        const int row = rowOf(key);
        if (row < 0)
            return;
        executeDelayedItemsLayout();
        const int shift = visualRect(model()->index(row, 0, rootIndex())).top() - offset;
        bar->setValue(bar->value() + shift);
    }

    // Applies `change`, which makes another list of the rows (a new order, search or filter), and shows
    // it from its top, or down to the row `heldRow()` gives afterwards when that is not -1.
    template <typename Change, typename HeldRow> void showingTop(Change&& change, HeldRow heldRow) {
        change();
        executeDelayedItemsLayout();
        verticalScrollBar()->setValue(verticalScrollBar()->minimum());
        const int row = heldRow();
        if (row >= 0)
            scrollTo(model()->index(row, 0, rootIndex()), QAbstractItemView::EnsureVisible);
    }
};

} // namespace lunorvale
