#pragma once

#include <QListView>
#include <QScrollBar>

namespace lunorvale {

// A list view that keeps its place while its model changes: the row at the top of the view, found again
// afterwards by its value in `keyRole`, stands at the same offset when it is still listed.
class AnchoredListView : public QListView {
public:
    using QListView::QListView;

protected:
    template <typename Change> void keepingTopRow(int keyRole, Change&& change) {
        const QModelIndex top = indexAt(QPoint(1, 1));
        const QVariant key = top.isValid() ? top.data(keyRole) : QVariant();
        const int offset = top.isValid() ? visualRect(top).top() : 0;
        change();
        if (!key.isValid() || !model() || model()->rowCount(rootIndex()) == 0)
            return;
        executeDelayedItemsLayout(); // the scroll range of the new rows
        const QModelIndexList found =
            model()->match(model()->index(0, 0, rootIndex()), keyRole, key, 1, Qt::MatchExactly);
        if (!found.isEmpty())
            verticalScrollBar()->setValue(verticalScrollBar()->value() + visualRect(found.first()).top() -
                                          offset);
    }
};

} // namespace lunorvale
