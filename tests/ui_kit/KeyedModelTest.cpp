#include "ui/kit/KeyedModel.h"
#include "support/ModelTesterGuard.h"

#include <QPersistentModelIndex>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <algorithm>
#include <random>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

struct Row {
    int key = 0;
    QString text;
    int figure = 0;
};

// The smallest keyed list: a text in DisplayRole, a figure in a role of its own.
class RowsModel final : public KeyedListModel {
public:
    static constexpr int FigureRole = Qt::UserRole + 1;

    void setRows(QList<Row> rows) {
        replaceRows(
            {}, m_rows, std::move(rows), [](const Row& row) { return row.key; },
            [](const Row& before, const Row& after) {
                RoleSet roles;
                if (before.text != after.text)
                    roles |= {Qt::DisplayRole};
                if (before.figure != after.figure)
                    roles |= {FigureRole};
                return roles;
            });
    }
    const QList<Row>& rows() const { return m_rows; }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
            return {};
        const Row& row = m_rows[index.row()];
        return role == Qt::DisplayRole ? QVariant(row.text)
               : role == FigureRole    ? QVariant(row.figure)
                                       : QVariant();
    }

private:
    QList<Row> m_rows;
};

} // namespace

TEST(KeyedModel, ChangedRowsAreAnnouncedInRunsNamingTheirRoles) {
    const RoleSet display{Qt::DisplayRole}, figure{RowsModel::FigureRole};
    struct Case {
        std::vector<RoleSet> changes;
        QList<ChangedRun> runs;
    };
    const QList<Case> cases{
        {{}, {}},
        {{{}, {}, {}}, {}},
        // Separate stretches, each naming only its own roles.
        {{{}, display, display, {}, figure, {}, {}, {}, {}}, {{1, 2, display}, {4, 4, figure}}},
        {{display, figure | display}, {{0, 1, figure | display}}},
        // More than half the rows changed: one run from the first to the last.
        {{display, {}, figure, display, {}}, {{0, 3, display | figure}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(changedRuns(c.changes), c.runs) << c.changes.size();
    EXPECT_EQ((RoleSet{Qt::UserRole + 32, Qt::AccessibleTextRole, Qt::UserRole + 1, Qt::DisplayRole}.roles()),
              (QList<int>{Qt::DisplayRole, Qt::AccessibleTextRole, Qt::UserRole + 1, Qt::UserRole + 32}));
}

// Lists of keys coming, going and changing places, applied one after another under the model tester:
// the rows end as the list, persistent indexes follow their keys, each changed row is announced with the
// roles that changed and no notice names a role nothing in it changed; the model is never reset.
TEST(KeyedModel, ScriptedListsChangeRowsInPlace) {
    ModelTesterGuard guard;
    RowsModel model;
    guard.watch(&model);
    QSignalSpy resets(&model, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy layouts(&model, &QAbstractItemModel::layoutAboutToBeChanged);
    QList<ChangedRun> notices;
    QObject::connect(&model, &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& first, const QModelIndex& last, const QList<int>& roles) {
                         RoleSet named;
                         for (const int role : roles)
                             named |= {role};
                         notices.append({first.row(), last.row(), named});
                     });

    QRandomGenerator random(11);
    for (int round = 0; round < 200; ++round) {
        QList<Row> next;
        for (int key = 0; key < 16; ++key) {
            if (random.bounded(3))
                next.append({key, QString::number(random.bounded(2)), static_cast<int>(random.bounded(2))});
        }
        if (round % 4)
            std::shuffle(next.begin(), next.end(), std::mt19937(round));
        const QList<Row> before = model.rows();
        QList<QPersistentModelIndex> held;
        for (int row = 0; row < model.rowCount(); ++row)
            held.append(model.index(row));
        notices.clear();

        model.setRows(next);

        ASSERT_EQ(model.rows().size(), next.size());
        for (qsizetype i = 0; i < next.size(); ++i) {
            ASSERT_EQ(model.rows()[i].key, next[i].key);
            ASSERT_EQ(model.rows()[i].text, next[i].text);
        }
        for (qsizetype i = 0; i < before.size(); ++i) {
            const auto kept = std::find_if(next.cbegin(), next.cend(),
                                           [&](const Row& row) { return row.key == before[i].key; });
            EXPECT_EQ(held[i].row(), kept == next.cend() ? -1 : static_cast<int>(kept - next.cbegin()));
        }
        std::vector<RoleSet> changed(static_cast<size_t>(next.size()));
        for (const Row& old : before) {
            const auto now =
                std::find_if(next.cbegin(), next.cend(), [&](const Row& row) { return row.key == old.key; });
            if (now == next.cend())
                continue;
            RoleSet& roles = changed[static_cast<size_t>(now - next.cbegin())];
            roles |= old.text != now->text ? RoleSet{Qt::DisplayRole} : RoleSet();
            roles |= old.figure != now->figure ? RoleSet{RowsModel::FigureRole} : RoleSet();
        }
        for (int row = 0; row < next.size(); ++row) {
            RoleSet announced;
            for (const ChangedRun& notice : std::as_const(notices))
                if (notice.first <= row && row <= notice.last)
                    announced |= notice.roles;
            EXPECT_EQ(announced | changed[static_cast<size_t>(row)], announced) << "round " << round;
        }
        for (const ChangedRun& notice : std::as_const(notices)) {
            RoleSet inside;
            for (int row = notice.first; row <= notice.last; ++row)
                inside |= changed[static_cast<size_t>(row)];
            EXPECT_EQ(inside, notice.roles) << "round " << round;
        }
    }
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(layouts.count(), 0); // moves are row moves, announced as such
}
