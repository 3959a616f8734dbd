#include "ui/window/ProcessList.h"

#include "core/monitoring/DisplayFormat.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Palette.h"
#include "ui/window/ProcessRow.h"

#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace lunorvale {

namespace {

constexpr int insetX = 7;
constexpr int insetY = 1;

// The roles in which two samples of one process differ.
RoleSet changedRoles(const ProcessSample& before, const ProcessSample& after) {
    using Model = ProcessListModel;
    RoleSet roles;
    if (before.name != after.name)
        roles |= {Qt::DisplayRole, Qt::AccessibleTextRole, Model::NameRole, Model::SourceLineRole,
                  Model::SearchTextRole};
    if (before.source != after.source)
        roles |= {Qt::AccessibleTextRole, Model::SourceLineRole, Model::SearchTextRole};
    if (before.cpuPercent != after.cpuPercent)
        roles |= {Qt::AccessibleTextRole, Model::CpuRole, Model::CpuTextRole};
    if (before.residentBytes != after.residentBytes)
        roles |= {Qt::AccessibleTextRole, Model::MemoryRole, Model::MemoryTextRole};
    if (before.elapsedSeconds != after.elapsedSeconds)
        roles |= {Qt::AccessibleTextRole, Model::RunTimeRole, Model::RunTimeTextRole};
    return roles;
}

} // namespace

// ---- Model ----

void ProcessListModel::setProcesses(const QList<ProcessSample>& processes) {
    // The page passes the model's list on every refresh (a keystroke, a click); the same list again
    // changes nothing.
    if (processes.isSharedWith(m_sample))
        return;
    m_sample = processes;
    // The sample lists the busiest first; the rows keep their own order, so that a new order moves
    // nothing here (the proxy sorts) and the diff meets only removals and one run of insertions.
    QHash<ProcessIdentity, qsizetype> placeOf;
    placeOf.reserve(processes.size());
    for (qsizetype i = 0; i < processes.size(); ++i)
        placeOf.insert(processes[i].identity, i);
    QList<ProcessSample> next;
    next.reserve(processes.size());
    std::vector<char> kept(static_cast<size_t>(processes.size()), 0);
    for (const ProcessSample& row : std::as_const(m_processes)) {
        if (const auto place = placeOf.constFind(row.identity); place != placeOf.cend()) {
            next.append(processes[*place]);
            kept[static_cast<size_t>(*place)] = 1;
        }
    }
    for (qsizetype i = 0; i < processes.size(); ++i) {
        if (!kept[static_cast<size_t>(i)])
            next.append(processes[i]);
    }
    replaceRows(
        {}, m_processes, std::move(next), [](const ProcessSample& sample) { return sample.identity; },
        [this](const ProcessSample& before, const ProcessSample& after) {
            const RoleSet roles = changedRoles(before, after);
            if (before.name != after.name || before.source != after.source)
                m_searchTexts.remove(after.identity);
            return roles;
        });
    // Processes come and go for as long as the program runs; the texts of gone ones are dropped now and
    // then, not on every sample.
    if (m_searchTexts.size() > 2 * m_processes.size() + 64) {
        QHash<ProcessIdentity, QString> kept;
        for (const ProcessSample& sample : std::as_const(m_processes))
            if (const auto it = m_searchTexts.constFind(sample.identity); it != m_searchTexts.cend())
                kept.insert(sample.identity, *it);
        m_searchTexts = std::move(kept);
    }
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
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const ProcessSample& sample = m_processes[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return ProcessesLogic::oneLine(sample.name);
    case Qt::AccessibleTextRole:
        return ProcessRow(sample, 0, false, false).accessibleText();
    case NameRole:
        return sample.name;
    case IdentityRole:
        return QVariant::fromValue(sample.identity);
    case SourceLineRole:
        return ProcessRow::sourceLine(sample);
    case CpuRole:
        return sample.cpuPercent ? QVariant(*sample.cpuPercent) : QVariant();
    case CpuTextRole:
        return DisplayFormat::cpu(sample.cpuPercent);
    case MemoryRole:
        return QVariant::fromValue<qulonglong>(sample.residentBytes);
    case MemoryTextRole:
        return DisplayFormat::memory(sample.residentBytes);
    case RunTimeRole:
        return sample.elapsedSeconds;
    case RunTimeTextRole:
        return DisplayFormat::duration(sample.elapsedSeconds);
    case SearchTextRole: {
        auto text = m_searchTexts.find(sample.identity);
        if (text == m_searchTexts.end())
            text = m_searchTexts.insert(sample.identity, ProcessesLogic::foldedSearchText(sample));
        return *text;
    }
    default:
        return {};
    }
}

// ---- Order and filter ----

namespace {

int sortRoleOf(ProcessOrder::Key key) {
    switch (key) {
    case ProcessOrder::Key::memory:
        return ProcessListModel::MemoryRole;
    case ProcessOrder::Key::duration:
        return ProcessListModel::RunTimeRole;
    case ProcessOrder::Key::cpu:
        break;
    }
    return ProcessListModel::CpuRole;
}

} // namespace

ProcessSortFilterModel::ProcessSortFilterModel(ProcessListModel* processes, QObject* parent)
    : QSortFilterProxyModel(parent), m_processes(processes) {
    // Connected before the proxy's own handlers, so that the ranks are stale before it sorts.
    const auto stale = [this] {
        m_ranked = false;
    };
    connect(processes, &QAbstractItemModel::dataChanged, this, stale);
    connect(processes, &QAbstractItemModel::rowsInserted, this, stale);
    connect(processes, &QAbstractItemModel::rowsRemoved, this, stale);
    connect(processes, &QAbstractItemModel::rowsMoved, this, stale);
    connect(processes, &QAbstractItemModel::layoutChanged, this, stale);
    connect(processes, &QAbstractItemModel::modelReset, this, stale);
    setSortRole(sortRoleOf(m_key));
    setSourceModel(processes);
    sort(0, Qt::AscendingOrder);
}

void ProcessSortFilterModel::setOrder(ProcessOrder::Key key) {
    if (key == m_key)
        return;
    m_key = key;
    m_ranked = false;
    setSortRole(sortRoleOf(key)); // sorts again
}

void ProcessSortFilterModel::setFilter(const ProcessesLogic::Filter& filter, const QString& search) {
    const QString query = ProcessesLogic::foldedQuery(search);
    if (filter == m_filter && query == m_query)
        return;
    m_filter = filter;
    m_query = query;
    invalidateRowsFilter();
}

bool ProcessSortFilterModel::isShowing(ProcessOrder::Key key, ProcessFilter filter,
                                       const QString& search) const {
    return key == m_key && filter == m_filter.key && ProcessesLogic::foldedQuery(search) == m_query;
}

const ProcessSample& ProcessSortFilterModel::sample(int row) const {
    return m_processes->sample(mapToSource(index(row)).row());
}

int ProcessSortFilterModel::rowOf(const ProcessIdentity& identity) const {
    const int row = m_processes->rowOf(identity);
    return row < 0 ? -1 : mapFromSource(m_processes->index(row)).row();
}

bool ProcessSortFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    const QModelIndex row = m_processes->index(sourceRow, 0, sourceParent);
    if (!m_query.isEmpty() &&
        !ProcessesLogic::matches(row.data(ProcessListModel::SearchTextRole).toString(), m_query))
        return false;
    return m_filter.key == ProcessFilter::all ||
           m_filter.keeps(row.data(ProcessListModel::IdentityRole).value<ProcessIdentity>());
}

bool ProcessSortFilterModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    if (!m_ranked)
        rankRows();
    return m_ranks[static_cast<size_t>(left.row())] < m_ranks[static_cast<size_t>(right.row())];
}

void ProcessSortFilterModel::rankRows() const {
    const int rows = m_processes->rowCount();
    QList<ProcessOrder::Entry> entries;
    entries.reserve(rows);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex index = m_processes->index(row);
        const QVariant figure = index.data(sortRole());
        entries.append({figure.isValid() ? figure.toDouble() : -1,
                        index.data(ProcessListModel::NameRole).toString(),
                        index.data(ProcessListModel::IdentityRole).value<ProcessIdentity>().pid});
    }
    m_ranks.assign(static_cast<size_t>(rows), 0);
    const QList<int> order = m_order.order(entries);
    for (int place = 0; place < order.size(); ++place)
        m_ranks[static_cast<size_t>(order[place])] = place;
    m_ranked = true;
}

// ---- Delegate ----

void ProcessRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
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
    // An unmeasured share highlights nothing, as 0 would.
    ProcessRow::Content content{index.data(ProcessListModel::NameRole).toString(),
                                index.data(ProcessListModel::SourceLineRole).toString(),
                                index.data(ProcessListModel::CpuTextRole).toString(),
                                index.data(ProcessListModel::MemoryTextRole).toString(),
                                index.data(ProcessListModel::RunTimeTextRole).toString(),
                                index.data(ProcessListModel::CpuRole).toDouble() >= m_threshold};
    ProcessRow(std::move(content), false, selected)
        .paint(*painter, row, Palette::appearanceOf(option.widget));
    // The view's focus, shown on its current row: otherwise a list reached with Tab shows nothing.
    if ((option.state & QStyle::State_HasFocus) && option.widget && FocusRing::shown(*option.widget))
        FocusRing::paint(*painter, row, 8, *option.widget);
}

QSize ProcessRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {option.rect.width(), ProcessRow::height(false) + 2 * insetY};
}

// ---- View ----

ProcessListView::ProcessListView(QWidget* parent) : AnchoredListView(parent) {
    m_processes = new ProcessListModel(this);
    m_model = new ProcessSortFilterModel(m_processes, this);
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
    verticalScrollBar()->installEventFilter(this);
}

void ProcessListView::setProcesses(const QList<ProcessSample>& processes,
                                   const ProcessesLogic::Filter& filter, const QString& search,
                                   ProcessOrder::Key key, const std::optional<ProcessIdentity>& selected) {
    // Read before the change: the view moves its current row to a neighbour when the row goes.
    const std::optional<ProcessIdentity> keyboard = currentProcess();
    const auto apply = [&] {
        m_model->setOrder(key);
        m_model->setFilter(filter, search);
        m_processes->setProcesses(processes);
        showSelection(selected, false, keyboard);
    };
    applying(m_model->isShowing(key, filter.key, search) ? Change::refresh : Change::newChoice, apply);
}

void ProcessListView::showSelection(const std::optional<ProcessIdentity>& selected, bool scrollToIt) {
    showSelection(selected, scrollToIt, currentProcess());
}

void ProcessListView::showSelection(const std::optional<ProcessIdentity>& selected, bool scrollToIt,
                                    const std::optional<ProcessIdentity>& keyboard) {
    m_selected = selected;
    const int row = selected ? m_model->rowOf(*selected) : -1;
    QItemSelectionModel* selection = selectionModel();
    if (row < 0) {
        // No row stands for the selection. The current row is then where the keyboard stands (Tab puts
        // it on the first row), and the list draws its ring there: it stays on its process. Where that
        // process went, the view put it on a neighbour; the keys start from the list's first row instead.
        selection->clearSelection();
        if (selection->currentIndex().isValid() && currentProcess() != keyboard)
            selection->clearCurrentIndex();
    } else {
        const QModelIndex index = m_model->index(row);
        if (!selection->isSelected(index) || selection->selectedIndexes().size() != 1)
            selection->select(index, QItemSelectionModel::ClearAndSelect);
        if (selection->currentIndex() != index) {
            // A new current row scrolls the view to it, at once or when the list is next shown; only the
            // user's own request may.
            const bool scrolls = hasAutoScroll();
            setAutoScroll(scrollToIt);
            selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
            setAutoScroll(scrolls);
        }
        if (scrollToIt)
            scrollTo(index);
    }
}

std::optional<ProcessIdentity> ProcessListView::currentProcess() const {
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return std::nullopt;
    return current.data(ProcessListModel::IdentityRole).value<ProcessIdentity>();
}

void ProcessListView::mousePressEvent(QMouseEvent* event) {
    AnchoredListView::mousePressEvent(event);
    chooseHighlighted();
}

void ProcessListView::mouseMoveEvent(QMouseEvent* event) {
    AnchoredListView::mouseMoveEvent(event);
    if (event->buttons() != Qt::NoButton)
        chooseHighlighted();
}

void ProcessListView::keyPressEvent(QKeyEvent* event) {
    AnchoredListView::keyPressEvent(event);
    chooseHighlighted();
}

void ProcessListView::chooseHighlighted() {
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    if (rows.size() != 1) {
        // Nothing highlighted (a Ctrl+click took it away): the row of the selection shows it again.
        showSelection(m_selected, false);
        return;
    }
    const auto identity = rows.first().data(ProcessListModel::IdentityRole).value<ProcessIdentity>();
    if (identity == m_selected)
        return;
    m_selected = identity;
    emit processChosen(identity);
}

int ProcessListView::leadingInset() const {
    return frameWidth() + insetX;
}

int ProcessListView::trailingInset() const {
    const QScrollBar* bar = verticalScrollBar();
    return frameWidth() + insetX + (bar->isVisibleTo(this) ? bar->width() : 0);
}

bool ProcessListView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == verticalScrollBar() &&
        (event->type() == QEvent::Show || event->type() == QEvent::Hide || event->type() == QEvent::Resize))
        emit insetsChanged();
    return AnchoredListView::eventFilter(watched, event);
}

} // namespace lunorvale
