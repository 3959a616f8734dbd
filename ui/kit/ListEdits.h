#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <initializer_list>
#include <vector>

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

// The steps for lists whose rows at both ends already agree have been left out: `targetOf[i]` is the
// place in the target of row i of the list before, -1 for a row that goes; the target has `targetSize`
// rows. Rows are counted from the first one that differs.
QList<ListEdit> listEditsOfPlaces(const std::vector<int>& targetOf, int targetSize);

// The steps from `before` to `after` (keys unique within each list, compared with == and qHash):
// removals from the highest rows down, then the fewest moves that order what stays (rows on a longest
// common ordered run stay put), then insertions in runs, lowest first.
template <typename Key> QList<ListEdit> listEdits(const QList<Key>& before, const QList<Key>& after) {
    // Rows that stay at both ends are left out: a sample usually reorders a few rows, and hashing
    // thousands of keys would cost more than the rest of an update.
    qsizetype head = 0;
    const qsizetype shorter = std::min(before.size(), after.size());
    while (head < shorter && before[head] == after[head])
        ++head;
    qsizetype tail = 0;
    while (tail < shorter - head && before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    if (head == before.size() && head == after.size())
        return {};
    const qsizetype targetSize = after.size() - head - tail;
    QHash<Key, int> target;
    target.reserve(targetSize);
    for (qsizetype i = 0; i < targetSize; ++i)
        target.insert(after[head + i], static_cast<int>(i));
    std::vector<int> targetOf(static_cast<size_t>(before.size() - head - tail));
    for (size_t i = 0; i < targetOf.size(); ++i)
        targetOf[i] = target.value(before[head + static_cast<qsizetype>(i)], -1);
    QList<ListEdit> edits = listEditsOfPlaces(targetOf, static_cast<int>(targetSize));
    for (ListEdit& edit : edits) {
        edit.first += head;
        edit.last += edit.kind == ListEdit::Kind::remove ? head : 0;
        edit.destination += edit.kind == ListEdit::Kind::move ? head : 0;
        edit.source += edit.kind == ListEdit::Kind::insert ? head : 0;
    }
    return edits;
}

// Text keys, also written as braced lists.
inline QList<ListEdit> listEdits(const QList<QString>& before, const QList<QString>& after) {
    return listEdits<QString>(before, after);
}

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
            rows.insert(edit.first, edit.count, target(edit.source));
            for (int i = 1; i < edit.count; ++i)
                rows[edit.first + i] = target(edit.source + i);
            break;
        }
    }
}

// A set of item roles in one word: the standard roles below 32 (display, decoration, check state,
// accessible text…) and the first 32 user roles (Qt::UserRole + 1 and on).
class RoleSet final {
public:
    constexpr RoleSet() = default;
    constexpr RoleSet(std::initializer_list<int> roles) {
        for (const int role : roles) {
            Q_ASSERT(role >= 0 && (role < 32 || (role > Qt::UserRole && role <= Qt::UserRole + 32)));
            m_bits |= quint64(1) << (role < 32 ? role : 32 + role - (Qt::UserRole + 1));
        }
    }

    constexpr bool isEmpty() const { return m_bits == 0; }
    constexpr RoleSet& operator|=(RoleSet other) {
        m_bits |= other.m_bits;
        return *this;
    }
    friend constexpr RoleSet operator|(RoleSet a, RoleSet b) { return a |= b; }
    // The roles, lowest first, as dataChanged names them.
    QList<int> roles() const;

    friend bool operator==(const RoleSet&, const RoleSet&) = default;

private:
    quint64 m_bits = 0;
};

// Rows first…last changed in `roles`.
struct ChangedRun {
    int first = 0;
    int last = 0;
    RoleSet roles;

    friend bool operator==(const ChangedRun&, const ChangedRun&) = default;
};

// What to announce for `changes` (what changed in each row, empty for an unchanged row): one run per
// stretch of changed rows, naming every role changed in it. When more than half the rows changed, one
// run from the first changed row to the last: a view and a sorting proxy take one wide notice faster
// than hundreds of narrow ones, and repaint no more for it.
QList<ChangedRun> changedRuns(const std::vector<RoleSet>& changes);

} // namespace lunorvale
