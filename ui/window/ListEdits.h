#pragma once

#include <QList>
#include <QString>

namespace lunorvale {

// One step that turns a shown list of keyed rows into the next one. Steps apply in order, each to the
// list the previous ones left; they map one to one onto an item model's remove, move and insert calls.
struct ListEdit {
    enum class Kind { remove, move, insert };
    Kind kind = Kind::remove;
    // remove: rows first…last. move: row `first` to before row `destination` (of the list before the
    // move, as beginMoveRows counts). insert: `count` rows at `first`, taken from the target from `source`.
    int first = 0;
    int last = 0;
    int destination = 0;
    int count = 0;
    int source = 0;

    friend bool operator==(const ListEdit&, const ListEdit&) = default;
};

// The steps from `before` to `after` (keys unique within each list): removals from the highest rows
// down, then the fewest moves that order what stays (rows on a longest common ordered run stay put),
// then insertions in runs, lowest first.
QList<ListEdit> listEdits(const QList<QString>& before, const QList<QString>& after);

// `rows` after the steps; the template the item models and the tests share.
template <typename Row, typename Source>
void applyListEdits(QList<Row>& rows, const QList<ListEdit>& edits, const Source& target) {
    for (const ListEdit& edit : edits) {
        switch (edit.kind) {
        case ListEdit::Kind::remove:
            rows.remove(edit.first, edit.last - edit.first + 1);
            break;
        case ListEdit::Kind::move:
            rows.move(edit.first, edit.destination > edit.first ? edit.destination - 1 : edit.destination);
            break;
        case ListEdit::Kind::insert:
            for (int i = 0; i < edit.count; ++i)
                rows.insert(edit.first + i, target(edit.source + i));
            break;
        }
    }
}

} // namespace lunorvale
