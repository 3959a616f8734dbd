#include "ui/window/ListEdits.h"

#include <QHash>
#include <algorithm>
#include <vector>

namespace lunorvale {

namespace {

// Marks the members of one longest strictly increasing subsequence of `values`.
std::vector<char> longestIncreasingRun(const std::vector<int>& values) {
    std::vector<int> tails; // index into values of the smallest tail of each length
    std::vector<int> previous(values.size(), -1);
    for (int i = 0; i < static_cast<int>(values.size()); ++i) {
        const auto at = std::lower_bound(tails.begin(), tails.end(), values[i],
                                         [&values](int index, int value) { return values[index] < value; });
        if (at != tails.begin())
            previous[i] = *(at - 1);
        if (at == tails.end())
            tails.push_back(i);
        else
            *at = i;
    }
    std::vector<char> member(values.size(), 0);
    for (int i = tails.empty() ? -1 : tails.back(); i >= 0; i = previous[i])
        member[i] = 1;
    return member;
}

QList<ListEdit> listEditsOfMiddle(const QList<QString>& before, const QList<QString>& after);

} // namespace

QList<ListEdit> listEdits(const QList<QString>& before, const QList<QString>& after) {
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
    QList<ListEdit> edits = listEditsOfMiddle(before.mid(head, before.size() - head - tail),
                                              after.mid(head, after.size() - head - tail));
    for (ListEdit& edit : edits) {
        edit.first += head;
        edit.last += edit.kind == ListEdit::Kind::remove ? head : 0;
        edit.destination += edit.kind == ListEdit::Kind::move ? head : 0;
        edit.source += edit.kind == ListEdit::Kind::insert ? head : 0;
    }
    return edits;
}

namespace {

QList<ListEdit> listEditsOfMiddle(const QList<QString>& before, const QList<QString>& after) {
    QList<ListEdit> edits;
    QHash<QString, int> target;
    target.reserve(after.size());
    for (int i = 0; i < after.size(); ++i)
        target.insert(after[i], i);

    // Removals, highest runs first, so that each run's rows are still where `before` has them.
    std::vector<int> kept; // target positions of the rows that stay, in their current order
    kept.reserve(before.size());
    std::vector<char> known(after.size(), 0);
    for (int i = before.size() - 1; i >= 0;) {
        const auto found = target.constFind(before[i]);
        if (found != target.cend()) {
            --i;
            continue;
        }
        int first = i;
        while (first > 0 && !target.contains(before[first - 1]))
            --first;
        edits.append({ListEdit::Kind::remove, first, i, 0, 0, 0});
        i = first - 1;
    }
    for (const QString& key : before) {
        const auto found = target.constFind(key);
        if (found != target.cend()) {
            kept.push_back(*found);
            known[*found] = 1;
        }
    }

    // Moves: rows on a longest increasing run stay; every other row goes right after the nearest row
    // before it in the target order that is already in place.
    const std::vector<char> inRun = longestIncreasingRun(kept);
    std::vector<char> placed(after.size(), 0);
    std::vector<int> toPlace;
    for (size_t i = 0; i < kept.size(); ++i) {
        if (inRun[i])
            placed[kept[i]] = 1;
        else
            toPlace.push_back(kept[i]);
    }
    std::sort(toPlace.begin(), toPlace.end());
    std::vector<int> current = kept;
    for (const int position : toPlace) {
        const int from =
            static_cast<int>(std::find(current.begin(), current.end(), position) - current.begin());
        int destination = 0;
        for (int i = 0; i < static_cast<int>(current.size()); ++i) {
            if (placed[current[i]] && current[i] < position)
                destination = i + 1;
        }
        if (destination != from && destination != from + 1) {
            edits.append({ListEdit::Kind::move, from, from, destination, 0, 0});
            current.erase(current.begin() + from);
            current.insert(current.begin() + (destination > from ? destination - 1 : destination), position);
        }
        placed[position] = 1;
    }

    // Insertions in runs; what stays is now in target order, so each run goes where the target has it.
    for (int i = 0; i < after.size();) {
        if (known[i]) {
            ++i;
            continue;
        }
        int end = i;
        while (end < after.size() && !known[end])
            ++end;
        edits.append({ListEdit::Kind::insert, i, 0, 0, end - i, i});
        i = end;
    }
    return edits;
}

} // namespace

} // namespace lunorvale
