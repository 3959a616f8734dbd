#include "ui/library/ApplicationList.h"

#include "core/common/SafeText.h"
#include "ui/kit/Elided.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVSymbol.h"
#include "ui/kit/Palette.h"
#include "ui/library/ApplicationIcon.h"
#include "ui/library/ApplicationLibraryLogic.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSet>
#include <cmath>

namespace lunorvale {

namespace {

constexpr int horizontalPadding = 14;
constexpr int spacing = 12;
constexpr int checkBoxSide = 16;

QString sizeText(const ApplicationRow& row, bool sizing) {
    if (row.bytes)
        return ApplicationLibraryLogic::formattedSize(*row.bytes);
    if (row.sizeError)
        return QStringLiteral("大小未知");
    return sizing ? QStringLiteral("计算中…") : QStringLiteral("未计算");
}

QString subtitle(const ApplicationRow& row) {
    return SafeText::isolated(row.version) + QStringLiteral(" · ") +
           ApplicationManagementGuidance::title(row.shownKind);
}

} // namespace

// --- Model ---

int ApplicationListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant ApplicationListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const ApplicationRow& row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return row.name;
    case Qt::AccessibleDescriptionRole:
        return subtitle(row) + QStringLiteral("，") + sizeText(row, m_sizing);
    case Qt::CheckStateRole:
        return m_showTicks ? QVariant(row.checked ? Qt::Checked : Qt::Unchecked) : QVariant();
    case PathRole:
        return row.path;
    case SubtitleRole:
        return subtitle(row);
    case SizeRole:
        return sizeText(row, m_sizing);
    case SelectedRole:
        return m_selected == row.path;
    case TickNameRole:
        return m_showTicks ? QVariant(ApplicationLibraryLogic::tickAccessibleName(row.name)) : QVariant();
    default:
        return {};
    }
}

Qt::ItemFlags ApplicationListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractListModel::flags(index);
    if (index.isValid() && m_showTicks)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

void ApplicationListModel::changedRows(int first, int last, const QList<int>& roles) {
    if (first <= last)
        emit dataChanged(index(first), index(last), roles);
}

void ApplicationListModel::setRows(QList<ApplicationRow> rows) {
    replaceRows(
        {}, m_rows, std::move(rows), [](const ApplicationRow& row) -> const QString& { return row.path; },
        [](const ApplicationRow& before, const ApplicationRow& after) {
            RoleSet roles;
            if (before.name != after.name)
                roles |= {Qt::DisplayRole, Qt::AccessibleTextRole, TickNameRole};
            if (before.version != after.version || before.shownKind != after.shownKind)
                roles |= {Qt::AccessibleDescriptionRole, SubtitleRole};
            if (before.bytes != after.bytes || before.sizeError != after.sizeError)
                roles |= {Qt::AccessibleDescriptionRole, SizeRole};
            if (before.checked != after.checked)
                roles |= {Qt::CheckStateRole};
            return roles;
        });
}

int ApplicationListModel::rowOf(const QString& path) const {
    for (qsizetype row = 0; row < m_rows.size(); ++row)
        if (m_rows[row].path == path)
            return int(row);
    return -1;
}

void ApplicationListModel::setSizing(bool sizing) {
    if (sizing == m_sizing)
        return;
    m_sizing = sizing;
    changedRows(0, int(m_rows.size()) - 1, {SizeRole, Qt::AccessibleDescriptionRole});
}

void ApplicationListModel::setShowTicks(bool show) {
    if (show == m_showTicks)
        return;
    m_showTicks = show;
    changedRows(0, int(m_rows.size()) - 1, {Qt::CheckStateRole, TickNameRole});
}

void ApplicationListModel::setSelectedPath(const std::optional<QString>& path) {
    if (path == m_selected)
        return;
    const int before = m_selected ? rowOf(*m_selected) : -1;
    m_selected = path;
    const int after = path ? rowOf(*path) : -1;
    for (const int row : {before, after}) {
        if (row >= 0)
            changedRows(row, row, {SelectedRole});
    }
}

void ApplicationListModel::iconLoaded(const QString& path) {
    if (const int row = rowOf(path); row >= 0)
        changedRows(row, row, {Qt::DecorationRole});
}

// --- Delegate ---

ApplicationRowDelegate::ApplicationRowDelegate(ApplicationIconLoader* icons, QObject* parent)
    : QStyledItemDelegate(parent), m_icons(icons) {}

QRect ApplicationRowDelegate::checkBoxHitArea(const QRect& row) {
    return QRect(row.left(), row.top(), horizontalPadding + checkBoxSide + spacing / 2, rowHeight);
}

QSize ApplicationRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {option.rect.width(), rowHeight + rowGap};
}

void ApplicationRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    const QWidget* widget = option.widget;
    const QRect row(option.rect.left(), option.rect.top(), option.rect.width(), rowHeight);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    if (index.data(ApplicationListModel::SelectedRole).toBool())
        painter->fillRect(row, Palette::soft.in(widget));

    int x = row.left() + horizontalPadding;
    const int middle = row.center().y();
    const QVariant check = index.data(Qt::CheckStateRole);
    if (check.isValid()) {
        const QRectF box(x + 0.5, middle - checkBoxSide / 2.0 + 0.5, checkBoxSide - 1, checkBoxSide - 1);
        const bool on = check.value<Qt::CheckState>() == Qt::Checked;
        QPainterPath shape;
        shape.addRoundedRect(box, 4, 4);
        if (on) {
            painter->fillPath(shape, Palette::accent.in(widget));
            LVSymbol("checkmark").paint(*painter, box.adjusted(3, 3, -3, -3), Palette::onAccent.in(widget));
        } else {
            painter->fillPath(shape, Palette::surface.in(widget));
            painter->setPen(QPen(Palette::muted.in(widget), 1));
            painter->drawPath(shape);
        }
        x += checkBoxSide + spacing;
    }

    const QRect icon(x, middle - iconSide / 2, iconSide, iconSide);
    ApplicationIcon::paint(*painter, icon, m_icons, index.data(ApplicationListModel::PathRole).toString(),
                           widget);
    x += iconSide + spacing;

    const QFont sizeFont = Fonts::monospacedDigits(11);
    const QString size = index.data(ApplicationListModel::SizeRole).toString();
    const qreal sizeWidth = QFontMetricsF(sizeFont).horizontalAdvance(size);
    const qreal sizeLeft = row.right() - horizontalPadding - sizeWidth;
    painter->setFont(sizeFont);
    painter->setPen(Palette::muted.in(widget));
    painter->drawText(QRectF(sizeLeft, row.top(), sizeWidth + 1, row.height()),
                      Qt::AlignVCenter | Qt::AlignLeft, size);

    const QFont nameFont = Fonts::system(12, FontWeight::medium);
    const QFont subtitleFont = Fonts::system(10);
    const QFontMetricsF nameMetrics(nameFont), subtitleMetrics(subtitleFont);
    const qreal textWidth = std::max<qreal>(0, sizeLeft - spacing - 6 - x);
    const qreal textHeight = nameMetrics.height() + 4 + subtitleMetrics.height();
    const qreal top = middle - textHeight / 2;
    painter->setFont(nameFont);
    painter->setPen(Palette::ink.in(widget));
    painter->drawText(QRectF(x, top, textWidth, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      elidedRight(nameMetrics, index.data(Qt::DisplayRole).toString(), textWidth));
    painter->setFont(subtitleFont);
    painter->setPen(Palette::muted.in(widget));
    painter->drawText(QRectF(x, top + nameMetrics.height() + 4, textWidth, subtitleMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      subtitleMetrics.elidedText(index.data(ApplicationListModel::SubtitleRole).toString(),
                                                 Qt::ElideRight, textWidth));
    // The view's focus, on its current row: otherwise a list reached with Tab shows nothing.
    if ((option.state & QStyle::State_HasFocus) && widget && FocusRing::shown(*widget))
        FocusRing::paint(*painter, row, 6, *widget);
    painter->restore();
}

// --- View ---

ApplicationListView::ApplicationListView(QWidget* parent) : AnchoredListView(parent) {
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setViewportMargins(0, 4, 0, 4);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setFocusPolicy(Qt::StrongFocus);
}

void ApplicationListView::setRows(QList<ApplicationRow> rows, Change change) {
    ApplicationListModel* model = this->rows();
    if (!model)
        return;
    applying(change, [&] { model->setRows(std::move(rows)); });
}

ApplicationListModel* ApplicationListView::rows() const {
    return qobject_cast<ApplicationListModel*>(model());
}

void ApplicationListView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid() || event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    const QString path = index.data(ApplicationListModel::PathRole).toString();
    const QVariant check = index.data(Qt::CheckStateRole);
    if (check.isValid() &&
        ApplicationRowDelegate::checkBoxHitArea(visualRect(index)).contains(event->position().toPoint()))
        emit tickRequested(path, check.value<Qt::CheckState>() != Qt::Checked);
    else if (!m_blocked)
        emit selectRequested(path);
    event->accept();
}

// The view's own handling would select, drag or edit: all of it is ours.
void ApplicationListView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}
void ApplicationListView::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}
void ApplicationListView::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
}

void ApplicationListView::keyPressEvent(QKeyEvent* event) {
    ApplicationListModel* model = rows();
    if (!model || model->rowCount() == 0) {
        QListView::keyPressEvent(event);
        return;
    }
    const int count = model->rowCount();
    const int current = model->selectedPath() ? model->rowOf(*model->selectedPath()) : -1;
    const int page = std::max(1, viewport()->height() / (ApplicationRowDelegate::rowHeight + 1));
    int target = -1;
    switch (event->key()) {
    case Qt::Key_Up:
        target = current < 0 ? 0 : std::max(0, current - 1);
        break;
    case Qt::Key_Down:
        target = current < 0 ? 0 : std::min(count - 1, current + 1);
        break;
    case Qt::Key_PageUp:
        target = std::max(0, current - page);
        break;
    case Qt::Key_PageDown:
        target = std::min(count - 1, std::max(0, current) + page);
        break;
    case Qt::Key_Home:
        target = 0;
        break;
    case Qt::Key_End:
        target = count - 1;
        break;
    case Qt::Key_Space:
        if (current >= 0 && model->showsTicks()) {
            const QModelIndex index = model->index(current);
            emit tickRequested(model->rows().at(current).path,
                               index.data(Qt::CheckStateRole).value<Qt::CheckState>() != Qt::Checked);
        }
        event->accept();
        return;
    default:
        QListView::keyPressEvent(event);
        return;
    }
    event->accept();
    if (m_blocked || target == current)
        return;
    emit selectRequested(model->rows().at(target).path);
    scrollTo(model->index(target));
}

} // namespace lunorvale
