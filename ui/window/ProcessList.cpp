#include "ui/window/ProcessList.h"

#include "ui/kit/Palette.h"
#include "ui/window/ProcessRow.h"

#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>

namespace lunorvale {

namespace {
constexpr int insetX = 7;
constexpr int insetY = 1;
} // namespace

void ProcessListModel::setProcesses(QList<ProcessSample> processes) {
    replaceRows(m_processes, std::move(processes),
                [](const ProcessSample& sample) { return sample.identity; });
}

int ProcessListModel::rowOf(const ProcessIdentity& identity) const {
    for (qsizetype i = 0; i < m_processes.size(); ++i)
        if (m_processes[i].identity == identity)
            return static_cast<int>(i);
    return -1;
}

int ProcessListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_processes.size());
}

QVariant ProcessListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_processes.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return ProcessRow(m_processes[index.row()], 0, false, false).accessibleText();
    return {};
}

void ProcessRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const auto* model = qobject_cast<const ProcessListModel*>(index.model());
    if (!model)
        return;
    const bool selected = option.state & QStyle::State_Selected;
    const QRect row = option.rect.adjusted(insetX, insetY, -insetX, -insetY);
    painter->save();
    if (selected) {
        painter->setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(row), 8, 8);
        painter->fillPath(shape, Palette::soft.in(option.widget));
    }
    painter->restore();
    ProcessRow(model->sample(index.row()), m_threshold, false, selected)
        .paint(*painter, row, Palette::appearanceOf(option.widget));
}

QSize ProcessRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {option.rect.width(), ProcessRow::height(false) + 2 * insetY};
}

ProcessListView::ProcessListView(QWidget* parent) : QListView(parent) {
    m_model = new ProcessListModel(this);
    m_delegate = new ProcessRowDelegate(this);
    setModel(m_model);
    setItemDelegate(m_delegate);
    setUniformItemSizes(true);
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setAccessibleName(QStringLiteral("进程列表"));
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (m_applying || !current.isValid())
            return;
        emit processChosen(m_model->sample(current.row()).identity);
    });
}

void ProcessListView::setProcesses(QList<ProcessSample> processes,
                                   const std::optional<ProcessIdentity>& selected) {
    // The process at the top stays at the top, at the same offset, when it is still listed.
    const QModelIndex top = indexAt(QPoint(1, 1));
    const std::optional<ProcessIdentity> topIdentity =
        top.isValid() ? std::optional(m_model->sample(top.row()).identity) : std::nullopt;
    const int topOffset = top.isValid() ? visualRect(top).top() : 0;

    m_applying = true;
    m_model->setProcesses(std::move(processes));
    showSelection(selected, false);
    if (topIdentity) {
        executeDelayedItemsLayout(); // the scroll range of the new rows
        const int row = m_model->rowOf(*topIdentity);
        if (row >= 0) {
            const int rowHeight = sizeHintForRow(0);
            verticalScrollBar()->setValue(row * rowHeight - topOffset);
        }
    }
    m_applying = false;
}

void ProcessListView::showSelection(const std::optional<ProcessIdentity>& selected, bool scrollToIt) {
    const bool applying = m_applying;
    m_applying = true;
    const int row = selected ? m_model->rowOf(*selected) : -1;
    QItemSelectionModel* selection = selectionModel();
    if (row < 0) {
        selection->clearSelection();
    } else {
        const QModelIndex index = m_model->index(row);
        if (!selection->isSelected(index) || selection->selectedIndexes().size() != 1)
            selection->select(index, QItemSelectionModel::ClearAndSelect);
        if (selection->currentIndex() != index)
            selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        if (scrollToIt)
            scrollTo(index);
    }
    m_applying = applying;
}

} // namespace lunorvale
