#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QList>

namespace lunorvale {

// A list model whose rows are known by a key (a process identity, an event id). A new list replaces the
// rows as one layout change: every persistent index (the selection, the current row, an open editor)
// moves to its key's new row, or becomes invalid when its key is gone. The same keys in the same order
// change only data. The view is never reset, so nothing that follows its selection hears of a change
// that was not one.
class KeyedListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

protected:
    // Replaces `rows` by `next`; `keyOf` gives a row's key (unique within each list).
    template <typename Row, typename KeyOf> void replaceRows(QList<Row>& rows, QList<Row> next, KeyOf keyOf) {
        bool sameKeys = rows.size() == next.size();
        for (qsizetype i = 0; sameKeys && i < rows.size(); ++i)
            sameKeys = keyOf(rows[i]) == keyOf(next[i]);
        if (sameKeys) {
            const bool changed = rows != next;
            rows = std::move(next);
            if (changed && !rows.isEmpty())
                emit dataChanged(index(0), index(static_cast<int>(rows.size()) - 1));
            return;
        }
        emit layoutAboutToBeChanged({}, QAbstractItemModel::NoLayoutChangeHint);
        const QModelIndexList before = persistentIndexList();
        using Key = std::decay_t<decltype(keyOf(rows.front()))>;
        QList<Key> keys;
        keys.reserve(before.size());
        for (const QModelIndex& index : before)
            keys.append(keyOf(rows[index.row()]));
        rows = std::move(next);
        if (!before.isEmpty()) {
            QHash<Key, int> rowOf;
            rowOf.reserve(rows.size());
            for (qsizetype i = 0; i < rows.size(); ++i)
                rowOf.insert(keyOf(rows[i]), static_cast<int>(i));
            QModelIndexList after;
            after.reserve(before.size());
            for (qsizetype i = 0; i < before.size(); ++i) {
                const int row = rowOf.value(keys[i], -1);
                after.append(row < 0 ? QModelIndex() : index(row, before[i].column()));
            }
            changePersistentIndexList(before, after);
        }
        emit layoutChanged({}, QAbstractItemModel::NoLayoutChangeHint);
    }
};

} // namespace lunorvale
