#include "ui/window/HistoryList.h"

#include "core/common/SafeText.h"
#include "ui/kit/Elided.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/kit/LVSymbol.h"
#include "ui/kit/LVText.h"
#include "ui/window/HistoryLogic.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <cmath>

namespace lunorvale {

namespace {

constexpr int padding = 22;
constexpr int iconColumn = 28;
constexpr int columnGap = 16;
constexpr int textLeft = padding + iconColumn + columnGap; // also the divider's indent
constexpr int titleGap = 7;
constexpr qreal detailSpacing = 4;

QFont titleFont() {
    return Fonts::system(13, FontWeight::semibold);
}
QFont dateFont() {
    return Fonts::system(10);
}
QFont detailFont() {
    return Fonts::system(12);
}
int titleHeight() {
    return static_cast<int>(std::ceil(QFontMetricsF(titleFont()).height()));
}

// Lays `text` out at `width`; returns its height. Paints it at `origin` when a painter is given.
qreal layoutText(const QString& text, const QFont& font, qreal width, QPainter* painter = nullptr,
                 QPointF origin = {}) {
    QString prepared = text;
    prepared.replace(u'\n', QChar::LineSeparator);
    QTextLayout layout(prepared, font);
    // As the kit lays out the selectable text that replaces it when the entry opens.
    QTextOption option = leftToRight();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal y = 0;
    int lines = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max<qreal>(1, width));
        line.setPosition(QPointF(0, y));
        y += line.height() + detailSpacing;
        ++lines;
    }
    layout.endLayout();
    if (painter)
        layout.draw(painter, origin);
    return lines > 0 ? y - detailSpacing : 0;
}

int rowWidth(const QStyleOptionViewItem& option) {
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget))
        return view->viewport()->width();
    return option.rect.width();
}

} // namespace

void HistoryListModel::setEvents(QList<ActivityEvent> events) {
    replaceRows(
        {}, m_events, std::move(events), [](const ActivityEvent& event) { return event.id; },
        [](const ActivityEvent& before, const ActivityEvent& after) {
            RoleSet roles;
            if (before.title != after.title)
                roles |= {Qt::DisplayRole, Qt::AccessibleTextRole, TitleRole};
            if (before.date != after.date)
                roles |= {Qt::AccessibleTextRole, DateRole, DateTextRole};
            if (before.detail != after.detail)
                roles |= {Qt::AccessibleTextRole, DetailRole};
            return roles;
        });
}

int HistoryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_events.size());
}

QVariant HistoryListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const ActivityEvent& event = m_events[index.row()];
    switch (role) {
    // The title and detail come from the history file: shown as SafeText shows a stored text, which
    // copying turns back into what the file holds.
    case Qt::DisplayRole:
        return SafeText::stored(event.title);
    case Qt::AccessibleTextRole:
        return SafeText::stored(event.title) + QStringLiteral("，") +
               HistoryLogic::dateText(event.date.toDateTime()) + QStringLiteral("，") +
               SafeText::stored(event.detail);
    case IdRole:
        return event.id;
    case TitleRole:
        return event.title;
    case DateRole:
        return event.date.toDateTime();
    case DateTextRole:
        return HistoryLogic::dateText(event.date.toDateTime());
    case DetailRole:
        return SafeText::stored(event.detail);
    default:
        return {};
    }
}

Qt::ItemFlags HistoryListModel::flags(const QModelIndex& index) const {
    // Editable only so that the open detail can be a selectable text; nothing is ever written back.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsEditable : Qt::NoItemFlags;
}

QRect HistoryDelegate::detailRect(const QRect& entry, const QString& detail) {
    const int width = std::max(1, entry.width() - textLeft - padding);
    const int top = entry.top() + padding + titleHeight() + titleGap;
    return {entry.left() + textLeft, top, width,
            static_cast<int>(std::ceil(layoutText(detail, detailFont(), width)))};
}

QSize HistoryDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const int width = rowWidth(option);
    Height& cached = m_heights[index.data(HistoryListModel::IdRole).toUuid()];
    if (cached.width != width || cached.height == 0) {
        const int textWidth = std::max(1, width - textLeft - padding);
        const QString detail = index.data(HistoryListModel::DetailRole).toString();
        cached = {width, padding + titleHeight() + titleGap +
                             static_cast<int>(std::ceil(layoutText(detail, detailFont(), textWidth))) +
                             padding};
    }
    const bool last = index.row() == index.model()->rowCount(index.parent()) - 1;
    return {width, cached.height + (last ? 0 : 1)};
}

void HistoryDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    const QString title = index.data(HistoryListModel::TitleRole).toString();
    const QString shownTitle = index.data(Qt::DisplayRole).toString();
    const QWidget* widget = option.widget;
    const QRect rect = option.rect;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);

    const HistoryLogic::EventIcon icon = HistoryLogic::eventIcon(title);
    const int side = LVSymbol::side(17);
    LVSymbol(icon.symbol)
        .paint(
            *painter,
            QRectF(rect.left() + padding + (iconColumn - side) / 2.0, rect.top() + padding + 2, side, side),
            icon.color.in(widget));

    const int left = rect.left() + textLeft;
    const int width = std::max(1, rect.width() - textLeft - padding);
    const int top = rect.top() + padding;
    const QString date = index.data(HistoryListModel::DateTextRole).toString();
    const QFontMetricsF dateMetrics(dateFont());
    const qreal dateWidth = dateMetrics.horizontalAdvance(date);
    painter->setFont(dateFont());
    painter->setPen(Palette::muted.in(widget));
    painter->drawText(QRectF(left + width - dateWidth, top, dateWidth, titleHeight()),
                      Qt::AlignRight | Qt::AlignVCenter, date);
    painter->setFont(titleFont());
    painter->setPen(Palette::ink.in(widget));
    const qreal titleRoom = std::max<qreal>(0, width - dateWidth - 8);
    painter->drawText(QRectF(left, top, titleRoom, titleHeight()), Qt::AlignLeft | Qt::AlignVCenter,
                      elidedRight(QFontMetricsF(titleFont()), shownTitle, titleRoom));

    if (index.data(HistoryListModel::IdRole).toUuid() != m_open) {
        painter->setFont(detailFont());
        painter->setPen(Palette::muted.in(widget));
        layoutText(index.data(HistoryListModel::DetailRole).toString(), detailFont(), width, painter,
                   QPointF(left, top + titleHeight() + titleGap));
    }
    if (index.row() != index.model()->rowCount(index.parent()) - 1)
        painter->fillRect(QRect(rect.left() + textLeft, rect.bottom(), rect.width() - textLeft, 1),
                          Palette::line.in(widget));
    // The view's focus, on its current row: otherwise a list reached with Tab shows nothing.
    if ((option.state & QStyle::State_HasFocus) && widget && FocusRing::shown(*widget))
        FocusRing::paint(*painter, QRectF(rect).adjusted(2, 2, -2, -2), 8, *widget);
    painter->restore();
}

void HistoryDelegate::keepHeightsOf(const QList<ActivityEvent>& events) {
    // Events come and go for as long as the program runs; the heights of gone ones are dropped now and
    // then, not on every change.
    if (m_heights.size() <= 2 * events.size() + 64)
        return;
    QHash<QUuid, Height> kept;
    for (const ActivityEvent& event : events)
        if (const auto it = m_heights.constFind(event.id); it != m_heights.cend())
            kept.insert(event.id, *it);
    m_heights = std::move(kept);
}

QWidget* HistoryDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                       const QModelIndex&) const {
    auto* text = new LVSelectableText(QString(), detailFont(), Palette::muted, parent);
    text->setLineSpacing(detailSpacing);
    return text;
}

void HistoryDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (auto* text = qobject_cast<LVSelectableText*>(editor))
        text->setText(index.data(HistoryListModel::DetailRole).toString());
}

void HistoryDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                           const QModelIndex& index) const {
    editor->setGeometry(detailRect(option.rect, index.data(HistoryListModel::DetailRole).toString()));
}

HistoryListView::HistoryListView(QWidget* parent) : AnchoredListView(parent) {
    m_model = new HistoryListModel(this);
    m_delegate = new HistoryDelegate(this);
    setModel(m_model);
    setItemDelegate(m_delegate);
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setResizeMode(QListView::Adjust);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
    // The detail under the pointer, or of the entry clicked or reached by keyboard, can be selected.
    connect(this, &QListView::entered, this, &HistoryListView::openDetail);
    connect(this, &QListView::clicked, this, &HistoryListView::openDetail);
}

void HistoryListView::setEvents(QList<ActivityEvent> events, const QList<ActivityEvent>& history,
                                Change change) {
    m_delegate->keepHeightsOf(history);
    applying(change, [&] { m_model->setEvents(std::move(events)); });
    // An entry that left the list takes its editor with it (the view releases it).
    if (!m_open.isValid())
        m_delegate->setOpenEvent({});
}

void HistoryListView::openDetail(const QModelIndex& index) {
    if (!index.isValid() || index == m_open)
        return;
    if (m_open.isValid())
        closePersistentEditor(m_open);
    m_open = index;
    m_delegate->setOpenEvent(index.data(HistoryListModel::IdRole).toUuid());
    openPersistentEditor(index);
}

QSize HistoryListView::sizeHint() const {
    return {AnchoredListView::sizeHint().width(), m_contentHeight};
}

QSize HistoryListView::minimumSizeHint() const {
    return {0, 0};
}

void HistoryListView::updateGeometries() {
    AnchoredListView::updateGeometries();
    const int height = contentsSize().height();
    if (height != m_contentHeight) {
        m_contentHeight = height;
        updateGeometry();
    }
}

void HistoryListView::resizeEvent(QResizeEvent* event) {
    AnchoredListView::resizeEvent(event);
    updateGeometries();
}

} // namespace lunorvale
