#pragma once

#include "core/monitoring/ProcessSample.h"
#include "ui/window/KeyedListModel.h"

#include <QListView>
#include <QStyledItemDelegate>
#include <optional>

namespace lunorvale {

// The processes the processes page shows, in the page's order, known by their identities.
class ProcessListModel final : public KeyedListModel {
    Q_OBJECT
public:
    using KeyedListModel::KeyedListModel;

    void setProcesses(QList<ProcessSample> processes);
    const QList<ProcessSample>& processes() const { return m_processes; }
    const ProcessSample& sample(int row) const { return m_processes[row]; }
    // The row of the process, or -1.
    int rowOf(const ProcessIdentity& identity) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    // Display and accessible text: every text of the row in one.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QList<ProcessSample> m_processes;
};

// Paints a full process row, inset from the list's edges, on the selection's soft fill when selected.
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
// selection is the model's selected process, written only by the user (a click, the arrow keys).
class ProcessListView final : public QListView {
    Q_OBJECT
public:
    explicit ProcessListView(QWidget* parent = nullptr);

    ProcessListModel* listModel() const { return m_model; }
    ProcessRowDelegate* rowDelegate() const { return m_delegate; }

    // Shows `processes` with `selected` highlighted (when listed), keeping the current row and the
    // process at the top of the view where they still are. Announces no selection of its own.
    void setProcesses(QList<ProcessSample> processes, const std::optional<ProcessIdentity>& selected);
    // Highlights the process (nothing when it is not listed) without announcing it.
    void showSelection(const std::optional<ProcessIdentity>& selected, bool scrollToIt);

signals:
    // The user chose another process.
    void processChosen(const lunorvale::ProcessIdentity& identity);

private:
    ProcessListModel* m_model;
    ProcessRowDelegate* m_delegate;
    bool m_applying = false;
};

} // namespace lunorvale
