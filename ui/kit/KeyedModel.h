#pragma once

#include "ui/kit/ListEdits.h"

#include <QAbstractItemModel>
#include <QAbstractListModel>
#include <algorithm>
#include <type_traits>

namespace lunorvale {

namespace keyed {
// What a diff compares for a key: a text key is looked at where its row holds it, not copied.
template <typename Key> struct Compared { using type = Key; };
template <> struct Compared<QString> { using type = QStringView; };
} // namespace keyed

// An item model whose rows are known by a key (a process identity, an event id, a bundle path). A new
// list is applied in place, as ranged steps: rows that went are removed (highest first), rows that stay
// move to where the list has them, new rows are inserted, and then each run of changed rows is announced
// once, naming the roles that changed. Persistent indexes (a selection, the current row, an open editor)
// follow their rows and a view keeps its scroll position; nothing resets the model. One column.
template <typename Base> class KeyedModel : public Base {
public:
    using Base::Base;

protected:
    // Removes, moves and inserts the children of `parent` until the keys of `rows` are `after`, in its
    // order; `keyOf` gives a row's key (unique within each list) and `make(i)` the row to insert for
    // `after[i]`. The rows that stay keep their values, so that every step reads consistent rows.
    // Returns whether any row came, went or moved.
    template <typename Row, typename Key, typename KeyOf, typename Make>
    bool reshapeRows(const QModelIndex& parent, QList<Row>& rows, const QList<Key>& after, KeyOf keyOf,
                     Make make) {
        QList<Key> before;
        before.reserve(rows.size());
        for (const Row& row : std::as_const(rows))
            before.append(Key(keyOf(row)));
        const QList<ListEdit> edits = listEdits(before, after);
        before = {}; // it may look into rows the steps remove
        rows.reserve(std::max(rows.size(), after.size()));
        for (const ListEdit& edit : edits) {
            switch (edit.kind) {
            case ListEdit::Kind::remove:
                this->beginRemoveRows(parent, edit.first, edit.last);
                rows.remove(edit.first, edit.last - edit.first + 1);
                rowsReshaped(parent, edit.first);
                this->endRemoveRows();
                break;
            case ListEdit::Kind::move: {
                this->beginMoveRows(parent, edit.first, edit.first, parent, edit.destination);
                const int to = edit.destination > edit.first ? edit.destination - 1 : edit.destination;
                rows.move(edit.first, to);
                rowsReshaped(parent, std::min(edit.first, to));
                this->endMoveRows();
                break;
            }
            case ListEdit::Kind::insert:
                this->beginInsertRows(parent, edit.first, edit.first + edit.count - 1);
                insertRun(rows, edit.first, edit.count, [&](int i) { return make(edit.source + i); });
                rowsReshaped(parent, edit.first);
                this->endInsertRows();
                break;
            }
        }
        return !edits.isEmpty();
    }

    // Inserts `count` rows made by `make(0…count-1)` at `first`: one shift of the rows after the run,
    // however long it is, over places held by a moved-from row, which costs nothing to copy.
    template <typename Row, typename Make>
    static void insertRun(QList<Row>& rows, int first, int count, Make make) {
        Row made = make(0);
        Row kept = std::move(made);
        rows.insert(first, count, made);
        rows[first] = std::move(kept);
        for (int i = 1; i < count; ++i)
            rows[first + i] = make(i);
    }

    // Called within each step of reshapeRows, before it is announced as done: the children of `parent`
    // from row `from` on may have new places (a tree renumbers what its indexes point to).
    virtual void rowsReshaped(const QModelIndex& parent, int from) {
        Q_UNUSED(parent);
        Q_UNUSED(from);
    }

    // Announces `changes` (what changed in each child of `parent`, in order) as changedRuns says.
    void announceChanges(const QModelIndex& parent, const std::vector<RoleSet>& changes) {
        for (const ChangedRun& run : changedRuns(changes))
            emit this->dataChanged(this->index(run.first, 0, parent), this->index(run.last, 0, parent),
                                   run.roles.roles());
    }

    // Replaces `rows`, the children of `parent`, by `next`: reshaped, then `changes(old, new)` tells
    // the roles in which each row that stayed changed, announced once the new values are in.
    template <typename Row, typename KeyOf, typename Changes>
    void replaceRows(const QModelIndex& parent, QList<Row>& rows, QList<Row> next, KeyOf keyOf,
                     Changes changes) {
        const QList<Row>& target = next;
        using KeyType = decltype(keyOf(target.front()));
        static_assert(!std::is_same_v<KeyType, QString>, "a text key is returned by reference into its row");
        bool sameKeys = rows.size() == target.size();
        for (qsizetype i = 0; sameKeys && i < rows.size(); ++i)
            sameKeys = keyOf(std::as_const(rows)[i]) == keyOf(target[i]);
        // Inserted rows are moved out of `next`; they are new, so nothing in them is a change.
        std::vector<char> inserted;
        if (!sameKeys) {
            next.detach(); // rows are moved out of it, and text keys looked at in place
            using Key = typename keyed::Compared<std::decay_t<KeyType>>::type;
            QList<Key> after;
            after.reserve(target.size());
            for (const Row& row : target)
                after.append(Key(keyOf(row)));
            inserted.assign(static_cast<size_t>(target.size()), 0);
            reshapeRows(parent, rows, after, keyOf, [&](int i) {
                inserted[static_cast<size_t>(i)] = 1;
                return std::move(next[i]);
            });
        }
        std::vector<RoleSet> changed(static_cast<size_t>(rows.size()));
        bool anyInserted = false;
        for (qsizetype i = 0; i < rows.size(); ++i) {
            if (!inserted.empty() && inserted[static_cast<size_t>(i)])
                anyInserted = true;
            else
                changed[static_cast<size_t>(i)] = changes(std::as_const(rows)[i], target[i]);
        }
        if (!anyInserted) {
            rows = std::move(next);
        } else {
            for (qsizetype i = 0; i < rows.size(); ++i)
                if (!inserted[static_cast<size_t>(i)])
                    rows[i] = std::move(next[i]);
        }
        announceChanges(parent, changed);
    }
};

using KeyedListModel = KeyedModel<QAbstractListModel>;

} // namespace lunorvale
