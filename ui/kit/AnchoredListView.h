#pragma once

#include <QListView>
#include <QPersistentModelIndex>
#include <QScrollBar>

namespace lunorvale {

// A list view that keeps what the user reads where it stands while new data comes in under the same
// choices, and shows another list (another order, search or filter) from its top, or at the row the
// user holds (the selection) where that row is listed.
class AnchoredListView : public QListView {
public:
    using QListView::QListView;

    // How a new list of rows came about.
    enum class Change {
        refresh,   // new data under the same search, filter and order: the list keeps its place
        newChoice, // another search, filter or order: the list shows from its top
    };

protected:
    // Applies `change` as keepingPlace does for a refresh and showingTop for a new choice, with
    // `heldRow()` the row of the selection (-1 for none): asked before a refresh, after a new choice.
    template <typename Apply, typename HeldRow> void applying(Change how, Apply&& change, HeldRow heldRow) {
        if (how == Change::newChoice) {
            showingTop(change, heldRow);
            return;
        }
        const int held = heldRow();
        keepingPlace(held >= 0 ? model()->index(held, 0, rootIndex()) : QModelIndex(), change);
    }

private:
    // Applies `change`, new data under the same choices. A list at its top stays at its top, so a row
    // that now comes first is seen. Otherwise `held` (the selected row, or an invalid index), while it
    // is seen and stays listed, stays at the same height on screen. Otherwise the scroll offset stays:
    // counted in the places of the list, so rows that came or went above the view's top move it by
    // their own height and what is shown does not shift, while a row that moved elsewhere in the order
    // is never followed; clamped to the new length.
    template <typename Apply> void keepingPlace(const QModelIndex& held, Apply&& change) {
        notePlace(held);
        change();
        restorePlace();
    }

    // Applies `change`, which makes another list of the rows (a new order, search or filter), and shows
    // it from its top, or down to the row `heldRow()` gives afterwards when that is not -1.
    template <typename Apply, typename HeldRow> void showingTop(Apply&& change, HeldRow heldRow) {
        change();
        executeDelayedItemsLayout();
        verticalScrollBar()->setValue(verticalScrollBar()->minimum());
        const int row = heldRow();
        if (row >= 0)
            scrollTo(model()->index(row, 0, rootIndex()), QAbstractItemView::EnsureVisible);
    }

    void notePlace(const QModelIndex& held);
    void restorePlace();

    // Where the view stood before a change, followed through the rows that come and go.
    struct Place {
        bool atTop = true;
        QPersistentModelIndex held; // while it was seen
        int heldTop = 0;
        int row = 0;    // the place (not the row) at the view's top
        int within = 0; // how far down into that place the view's top stands
        QList<QMetaObject::Connection> watching;
    };
    Place m_place;
};

} // namespace lunorvale
