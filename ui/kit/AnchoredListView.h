#pragma once

#include <QListView>
#include <QScrollBar>

namespace lunorvale {

// A list view that keeps its place while its model changes: the row at the top of the view, found again
// afterwards by its key, stands at the same offset when it is still listed.
class AnchoredListView : public QListView {
public:
    using QListView::QListView;

protected:
    // Applies `change`; `keyOf(index)` gives a row's key and `rowOf(key)` the row that holds it after
    // the change, or -1.
    template <typename KeyOf, typename RowOf, typename Change>
    void keepingTopRow(KeyOf keyOf, RowOf rowOf, Change&& change) {
        const QModelIndex top = indexAt(QPoint(1, 1));
        const int offset = top.isValid() ? visualRect(top).top() : 0;
        if (!top.isValid()) {
            change();
            return;
        }
        const auto key = keyOf(top);
        change();
        const int row = rowOf(key);
        if (row < 0)
            return;
        executeDelayedItemsLayout(); // the scroll range of the new rows
        const int shift = visualRect(model()->index(row, 0, rootIndex())).top() - offset;
        verticalScrollBar()->setValue(verticalScrollBar()->value() + shift);
    }
};

} // namespace lunorvale
