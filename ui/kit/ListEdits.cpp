#include "ui/kit/ListEdits.h"

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

} // namespace

QList<ListEdit> listEditsOfPlaces(const std::vector<int>& targetOf, int targetSize) {
    QList<ListEdit> edits;

    // Removals, highest runs first, so that each run's rows are still where the list before has them.
    for (int i = static_cast<int>(targetOf.size()) - 1; i >= 0;) {
        if (targetOf[i] >= 0) {
            --i;
            continue;
        }
        int first = i;
        while (first > 0 && targetOf[first - 1] < 0)
            --first;
        edits.append({ListEdit::Kind::remove, first, i, 0, 0, 0});
        i = first - 1;
    }
    std::vector<int> kept; // target positions of the rows that stay, in their current order
    kept.reserve(targetOf.size());
    std::vector<char> known(static_cast<size_t>(targetSize), 0);
    for (const int place : targetOf) {
        if (place >= 0) {
            kept.push_back(place);
            known[place] = 1;
        }
    }

    // Moves: rows on a longest increasing run stay; every other row goes right after the nearest row
    // before it in the target order that is already in place.
    const std::vector<char> inRun = longestIncreasingRun(kept);
    std::vector<char> placed(static_cast<size_t>(targetSize), 0);
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
    for (int i = 0; i < targetSize;) {
        if (known[i]) {
            ++i;
            continue;
        }
        int end = i;
        while (end < targetSize && !known[end])
            ++end;
        edits.append({ListEdit::Kind::insert, i, 0, 0, end - i, i});
        i = end;
    }
    return edits;
}

QList<int> RoleSet::roles() const {
    QList<int> roles;
    for (int bit = 0; bit < 64; ++bit) {
        if (m_bits & (quint64(1) << bit))
            roles.append(bit < 32 ? bit : Qt::UserRole + 1 + bit - 32);
    }
    return roles;
}

QList<ChangedRun> changedRuns(const std::vector<RoleSet>& changes) {
    QList<ChangedRun> runs;
    size_t changed = 0;
    for (int row = 0; row < static_cast<int>(changes.size()); ++row) {
        if (changes[row].isEmpty())
            continue;
        ++changed;
        if (!runs.isEmpty() && runs.last().last == row - 1) {
            runs.last().last = row;
            runs.last().roles |= changes[row];
        } else {
            runs.append({row, row, changes[row]});
        }
    }
    if (runs.size() > 1 && 2 * changed > changes.size()) {
        ChangedRun whole{runs.first().first, runs.last().last, {}};
        for (const ChangedRun& run : std::as_const(runs))
            whole.roles |= run.roles;
        return {whole};
    }
    return runs;
}

} // namespace lunorvale
