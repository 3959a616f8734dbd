#pragma once

#include "core/applications/InstalledApplication.h"
#include "ui/kit/AnchoredListView.h"
#include "ui/kit/KeyedModel.h"

#include <QListView>
#include <QStyledItemDelegate>
#include <optional>

namespace lunorvale {

class ApplicationIconLoader;

// One visible application as its row shows it: raw values only; the texts are made when painted.
struct ApplicationRow {
    QString path;
    QString name;
    QString version;
    ApplicationManagementGuidance::Kind shownKind = ApplicationManagementGuidance::Kind::checkable;
    std::optional<qint64> bytes;
    bool sizeError = false;
    bool checked = false;

    friend bool operator==(const ApplicationRow&, const ApplicationRow&) = default;
};

} // namespace lunorvale

// Its texts and values move as bytes: inserting or removing rows shifts the rest with one memmove.
Q_DECLARE_TYPEINFO(lunorvale::ApplicationRow, Q_RELOCATABLE_TYPE);

namespace lunorvale {

// The library's visible rows, keyed by bundle path. A new list changes rows in place: rows removed,
// moved and inserted as ranged steps, then one dataChanged per run of changed rows.
class ApplicationListModel final : public KeyedListModel {
    Q_OBJECT
public:
    enum Role {
        PathRole = Qt::UserRole + 1,
        SubtitleRole, // version · guidance title
        SizeRole,     // the size text
        SelectedRole,
        TickNameRole, // the check box's name, while ticks show
    };

    using KeyedListModel::KeyedListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void setRows(QList<ApplicationRow> rows);
    void setSizing(bool sizing);
    void setShowTicks(bool show);
    void setSelectedPath(const std::optional<QString>& path);
    // The row's icon arrived.
    void iconLoaded(const QString& path);

    const QList<ApplicationRow>& rows() const { return m_rows; }
    bool showsTicks() const { return m_showTicks; }
    const std::optional<QString>& selectedPath() const { return m_selected; }
    // -1 when the path is not shown.
    int rowOf(const QString& path) const;

private:
    void changedRows(int first, int last, const QList<int>& roles);

    QList<ApplicationRow> m_rows;
    std::optional<QString> m_selected;
    bool m_sizing = false;
    bool m_showTicks = false;
};

// Paints a row: the check box while ticks show, the icon, name and second line, and the size; the
// selected row on the soft colour. Uniform height.
class ApplicationRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    // No loader: every icon is the placeholder (preview reads no file).
    explicit ApplicationRowDelegate(ApplicationIconLoader* icons, QObject* parent = nullptr);

    static constexpr int rowHeight = 54;
    static constexpr int rowGap = 1;
    static constexpr int iconSide = 32;
    // The check box's square in a row's rectangle: the whole height of the row's left edge, for easy hits.
    static QRect checkBoxHitArea(const QRect& row);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    ApplicationIconLoader* m_icons;
};

// The list: a click on a row's check box ticks it even while rows may not be selected; a click elsewhere
// on a row and the arrow keys move the selection unless blocked; Space ticks the selected row.
class ApplicationListView final : public AnchoredListView {
    Q_OBJECT
public:
    explicit ApplicationListView(QWidget* parent = nullptr);

    // Shows `rows` through its ApplicationListModel: a refresh keeps the list's place and follows no
    // row, the selected one included; a new choice shows the list from its top (AnchoredListView).
    void setRows(QList<ApplicationRow> rows, Change change);

    void setSelectionBlocked(bool blocked) { m_blocked = blocked; }
    bool selectionBlocked() const { return m_blocked; }

signals:
    void selectRequested(const QString& path);
    void tickRequested(const QString& path, bool on);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    ApplicationListModel* rows() const;
    bool m_blocked = false;
};

} // namespace lunorvale
