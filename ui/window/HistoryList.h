#pragma once

#include "core/monitoring/ActivityEvent.h"
#include "ui/kit/AnchoredListView.h"
#include "ui/kit/KeyedModel.h"

#include <QStyledItemDelegate>
#include <QUuid>

namespace lunorvale {

// The events the history page shows, known by their ids.
class HistoryListModel final : public KeyedListModel {
    Q_OBJECT
public:
    enum Role {
        IdRole = Qt::UserRole + 1, // QUuid
        TitleRole,                 // as recorded (DisplayRole: as shown, SafeText::stored)
        DateRole,                  // QDateTime
        DateTextRole,              // the local date
        DetailRole,                // as shown
    };

    using KeyedListModel::KeyedListModel;

    void setEvents(QList<ActivityEvent> events);
    const QList<ActivityEvent>& events() const { return m_events; }
    const ActivityEvent& eventAt(int row) const { return m_events[row]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    // AccessibleTextRole: title, date and detail in one.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QList<ActivityEvent> m_events;
};

// Paints one entry from its roles: the icon its title calls for, the title, the local date, the wrapping
// detail, and a divider under every entry but the last. The detail of a clicked entry becomes a read-only
// text the user can select and copy.
class HistoryDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

    // The event whose detail is open for selection; its painted detail gives way to the editor.
    void setOpenEvent(const QUuid& id) { m_open = id; }
    // Forgets the measured heights of events no longer listed.
    void keepHeightsOf(const QList<ActivityEvent>& events);

private:
    struct Height {
        int width;
        int height;
    };
    // The detail's room in an entry of `width`.
    static QRect detailRect(const QRect& entry, const QString& detail);
    mutable QHash<QUuid, Height> m_heights; // per event, for the last width asked
    QUuid m_open;
};

// The list of the history page: as tall as its entries, scrolling only when the page is shorter. New
// events leave what is shown where it stands (AnchoredListView).
class HistoryListView final : public AnchoredListView {
    Q_OBJECT
public:
    explicit HistoryListView(QWidget* parent = nullptr);

    HistoryListModel* historyModel() const { return m_model; }
    // Shows `events`, some or all of `history`.
    void setEvents(QList<ActivityEvent> events, const QList<ActivityEvent>& history, Change change);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void updateGeometries() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void openDetail(const QModelIndex& index);

    HistoryListModel* m_model;
    HistoryDelegate* m_delegate;
    QPersistentModelIndex m_open;
    int m_contentHeight = 0;
};

} // namespace lunorvale
