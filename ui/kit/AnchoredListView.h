#pragma once

#include <QListView>
#include <QScrollBar>

namespace lunorvale {

// A list view that keeps what the user reads where it stands while new data comes in under the same
// choices, and shows another list (another order, search or filter) from its top. It never scrolls to a
// row by itself, the selected one included: only the user's own acts do (a click, a key, a request to
// show a row), through scrollTo.
class AnchoredListView : public QListView {
public:
    using QListView::QListView;

    // How a new list of rows came about.
    enum class Change {
        refresh,   // new data under the same search, filter and order: the list keeps its place
        newChoice, // another search, filter or order: the list shows from its top
    };

protected:
    // Applies `change` and places the view as `how` asks. After a refresh a list at its top stays at its
    // top, so a row that now comes first is seen. Otherwise the scroll offset stays, counted in the
    // places of the list: rows that came or went above the view's top move it by their own height, so
    // what is shown does not shift, while a row that moved elsewhere in the order, the selected one too,
    // is never followed; clamped to the new length. After a new choice the list shows from its top.
    template <typename Apply> void applying(Change how, Apply&& change) {
        if (how == Change::newChoice) {
            change();
            showTop();
            return;
        }
        notePlace();
        change();
        restorePlace();
    }

private:
    void notePlace();
    void restorePlace();
    void showTop();

    // Where the view stood before a change, followed through the rows that come and go.
    struct Place {
        bool atTop = true;
        int row = 0;    // the place (not the row) at the view's top
        int within = 0; // how far down into that place the view's top stands
        QList<QMetaObject::Connection> watching;
    };
    Place m_place;
};

} // namespace lunorvale
