#pragma once

#include "core/monitoring/ApplicationResourceGroup.h"
#include "ui/kit/KeyedModel.h"
#include "ui/window/ResourceDashboardLogic.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QSet>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QWidget>
#include <memory>

class QLineEdit;

namespace lunorvale {

class LVSegmentedControl;
class LVText;

// The groups shown on the resources page, each with its bundle path (when it has one) and its members
// as children. A new list changes rows in place by group id and member identity (removals, moves,
// insertions, changed data), never by a reset.
class ApplicationGroupsModel final : public KeyedModel<QAbstractItemModel> {
    Q_OBJECT
public:
    enum class RowKind { group, path, member };

    using KeyedModel<QAbstractItemModel>::KeyedModel;
    ~ApplicationGroupsModel() override;

    void setGroups(const QList<ApplicationResourceGroup>& groups);

    RowKind kind(const QModelIndex& index) const;
    // The group of a group row, or of a child row's parent.
    const ApplicationResourceGroup& group(const QModelIndex& index) const;
    const ProcessSample& member(const QModelIndex& index) const;
    QModelIndex indexOfGroup(const QString& id) const;
    QString groupID(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

protected:
    void rowsReshaped(const QModelIndex& parent, int from) override;

private:
    // A child row reads only itself, so that it stays readable while its group changes around it.
    struct Child {
        QString key;                  // "path", or the member's identity key
        QString path;                 // the bundle path, on the path row
        QList<ProcessSample> members; // the group's members when the row was made
        int member = -1;              // its place in them; -1 on the path row
    };
    struct Node {
        ApplicationResourceGroup group;
        QList<Child> children; // the bundle path first when there is one, then the members as shown
        int row = 0;
    };
    static QList<Child> childrenOf(const ApplicationResourceGroup& group);
    Node* nodeOf(const QModelIndex& index) const;

    QList<std::shared_ptr<Node>> m_nodes;
    QHash<QString, Node*> m_byID;
};

// Paints the rows: a group with its sums, the bundle path, a member with its "查看任务" link.
class GroupRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit GroupRowDelegate(ApplicationGroupsModel& model, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    int height(const QModelIndex& index) const;
    // Where the link of a member row lies.
    static QRect linkRect(const QRect& row);

    // The path row of an open group is a field the user can select and copy the path from (opened as
    // a persistent editor by the list); it is never written back.
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

signals:
    void showProcess(const ProcessIdentity& identity);

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
    bool eventFilter(QObject* editor, QEvent* event) override;

private:
    // The text band of a child row: indented, with the group's padding above its first and below its
    // last row.
    QRectF childText(const QRect& row, const QModelIndex& index) const;

    ApplicationGroupsModel& m_model;
};

// The application card of the resources page: search, sort, summary, the grouped list and its note.
// It shows what it is given and reports what the user does; the page keeps the state.
class DashboardApplicationList final : public QWidget {
    Q_OBJECT
public:
    explicit DashboardApplicationList(QWidget* parent = nullptr);

    // The groups to show (searched and ordered), the open ones, and what stands there when none is.
    void setContent(const QList<ApplicationResourceGroup>& shown, const QSet<QString>& expanded,
                    const QString& emptyText);
    void setSummary(const QString& summary);
    void setSearch(const QString& search);
    void setSort(ResourceDashboardLogic::GroupSort sort);

    QLineEdit* searchField() const { return m_search; }
    QTreeView* view() const { return m_view; }
    ApplicationGroupsModel* model() const { return m_model; }
    LVText* summaryText() const { return m_summary; }
    LVText* emptyText() const { return m_empty; }

signals:
    void searchEdited(const QString& search);
    void sortChosen(ResourceDashboardLogic::GroupSort sort);
    void expansionChanged(const QString& id, bool expanded);
    void showProcess(const ProcessIdentity& identity);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyExpanded(const QSet<QString>& expanded);
    // The path row of an open group gets its selectable field; a closed group's goes.
    void showPathField(const QModelIndex& group, bool open);
    void fitHeight();

    QLineEdit* m_search;
    LVSegmentedControl* m_sort;
    LVText* m_summary;
    QTreeView* m_view;
    ApplicationGroupsModel* m_model;
    GroupRowDelegate* m_delegate;
    LVText* m_empty;
    QWidget* m_emptyFrame;
    QSet<QString> m_open; // the groups the view shows open
    bool m_applying = false;
};

} // namespace lunorvale
