#pragma once

#include "core/monitoring/ProcessOrder.h"
#include "core/monitoring/ProcessSample.h"
#include "ui/kit/AnchoredListView.h"
#include "ui/kit/KeyedModel.h"
#include "ui/window/ProcessesLogic.h"

#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <optional>
#include <vector>

namespace lunorvale {

// Every process of the sample, known by its identity, in no particular order: rows that stay keep their
// places and new ones come last, so that a sample only removes, inserts and changes rows. The processes
// page shows them through a ProcessSortFilterModel.
class ProcessListModel final : public KeyedListModel {
    Q_OBJECT
public:
    enum Role {
        NameRole = Qt::UserRole + 1, // the name as sampled (DisplayRole: on one line)
        IdentityRole,                // ProcessIdentity
        SourceLineRole,              // the source (or the name) and the pid
        CpuRole,                     // percent of one core, a double; invalid until measured
        CpuTextRole,
        MemoryRole, // resident bytes
        MemoryTextRole,
        RunTimeRole, // seconds since the start, a double
        RunTimeTextRole,
        SearchTextRole, // what a search runs against, folded
    };

    using KeyedListModel::KeyedListModel;

    void setProcesses(const QList<ProcessSample>& processes);
    const QList<ProcessSample>& processes() const { return m_processes; }
    const ProcessSample& sample(int row) const { return m_processes[row]; }
    // The row of the process, or -1.
    int rowOf(const ProcessIdentity& identity) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    // AccessibleTextRole: every text of the row in one. A text role changes with its raw value.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QList<ProcessSample> m_processes;
    QList<ProcessSample> m_sample; // the list last given, shared with the giver
    // Folded search texts, made when a search first reads them and kept while name and source stay.
    mutable QHash<ProcessIdentity, QString> m_searchTexts;
};

// The processes page's rows: those the filter and the search keep, in ProcessOrder by the chosen figure
// (the sort role). Rows come, go and move in place as the source or the choices change.
class ProcessSortFilterModel final : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit ProcessSortFilterModel(ProcessListModel* processes, QObject* parent = nullptr);

    void setOrder(ProcessOrder::Key key);
    ProcessOrder::Key order() const { return m_key; }
    // `search` as typed.
    void setFilter(const ProcessesLogic::Filter& filter, const QString& search);
    // Whether these are the order, filter and search (as typed) shown now.
    bool isShowing(ProcessOrder::Key key, ProcessFilter filter, const QString& search) const;

    using QSortFilterProxyModel::index;
    QModelIndex index(int row) const { return index(row, 0); }
    const ProcessSample& sample(int row) const;
    // The row of the process, or -1 when it is not shown.
    int rowOf(const ProcessIdentity& identity) const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    void rankRows() const;

    ProcessListModel* m_processes;
    mutable ProcessOrder m_order;
    ProcessOrder::Key m_key = ProcessOrder::Key::cpu;
    ProcessesLogic::Filter m_filter;
    QString m_query; // folded
    // Each source row's place in the order. Sorting compares rows tens of thousands of times per
    // sample; ranking them once per change of the source costs a sort of plain values instead.
    mutable std::vector<int> m_ranks;
    mutable bool m_ranked = false;
};

// Paints a full process row from its roles, inset from the list's edges, on the selection's soft fill
// when selected.
class ProcessRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setThreshold(double threshold) { m_threshold = threshold; }
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    double m_threshold = 90;
};

// The processes page's list: one painted row per process, rows of one height, single selection. Its
// selection is the model's selected process, written only by the user: every click on a row and every
// key that moves the highlight chooses the row then highlighted, whatever the list did before.
class ProcessListView final : public AnchoredListView {
    Q_OBJECT
public:
    explicit ProcessListView(QWidget* parent = nullptr);

    // Every process; the list shows `listModel()`.
    ProcessListModel* processModel() const { return m_processes; }
    ProcessSortFilterModel* listModel() const { return m_model; }
    ProcessRowDelegate* rowDelegate() const { return m_delegate; }

    // Shows those of `processes` the filter and the search keep, in the order of `key`, with `selected`
    // highlighted (when listed) wherever it stands. A new sample keeps the list's place and never follows
    // a row, the selected one included; another order, filter or search shows the list from its top.
    // Announces no selection of its own.
    void setProcesses(const QList<ProcessSample>& processes, const ProcessesLogic::Filter& filter,
                      const QString& search, ProcessOrder::Key key,
                      const std::optional<ProcessIdentity>& selected);
    // Highlights the process (nothing when it is not listed) without announcing it, and scrolls to it
    // only when `scrollToIt`: the user asked to see it.
    void showSelection(const std::optional<ProcessIdentity>& selected, bool scrollToIt);

    // How far a row's content stands inside the view's edges: headings above the list use the same
    // room, the scroll bar's included while it is shown.
    int leadingInset() const;
    int trailingInset() const;

signals:
    // The user chose another process.
    void processChosen(const lunorvale::ProcessIdentity& identity);
    // The scroll bar came or went: `trailingInset()` changed.
    void insetsChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Announces the highlighted row when it is not the selection already.
    void chooseHighlighted();
    // `keyboard`: the process of the current row before a change of the rows.
    void showSelection(const std::optional<ProcessIdentity>& selected, bool scrollToIt,
                       const std::optional<ProcessIdentity>& keyboard);
    std::optional<ProcessIdentity> currentProcess() const;

    ProcessListModel* m_processes;
    ProcessSortFilterModel* m_model;
    ProcessRowDelegate* m_delegate;
    std::optional<ProcessIdentity> m_selected; // as last shown or chosen
};

} // namespace lunorvale
