#pragma once

#include "core/monitoring/ProcessSample.h"

#include <QAbstractButton>
#include <QWidget>

class QLineEdit;
class QMenu;
class QScrollArea;
class QStackedWidget;

namespace lunorvale {

class LVButton;
class LVEmptyState;
class LVPlainButton;
class LVSegmentedControl;
class LVText;
class MainView;
class ProcessDetailPane;
class ProcessListView;

// The search box of a page: a magnifying glass, the field and, while it holds anything, a clear button;
// or, plain, a rounded field alone.
class SearchBox final : public QWidget {
    Q_OBJECT
public:
    enum class Style { search, plain };
    SearchBox(const QString& placeholder, const QString& accessibleName, Style style = Style::search,
              QWidget* parent = nullptr);
    QLineEdit* field() const { return m_field; }
    LVPlainButton* clearButton() const { return m_clear; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyFieldColors();

    QLineEdit* m_field;
    LVPlainButton* m_clear;
    Style m_style;
};

// The sort menu's button: the current order's name and an up-down chevron, on the surface colour.
class SortButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit SortButton(QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The "全部进程" page: the searchable, filterable process list in the model's order and, beside it, the
// selected process (or why it is missing, or a prompt to choose one). Reads the model and the window's
// three values; writes only the model's selection and the window's search, filter and sort. A sample
// changes rows in place: the field's text and cursor, the pickers, the selection and the list's place
// stay.
class ProcessesPage final : public QWidget {
    Q_OBJECT
public:
    explicit ProcessesPage(MainView& view, QWidget* parent = nullptr);

    SearchBox* searchBox() const { return m_search; }
    SortButton* sortButton() const { return m_sort; }
    QMenu* sortMenu() const { return m_sortMenu; }
    LVSegmentedControl* filterControl() const { return m_filter; }
    LVText* countText() const { return m_count; }
    LVEmptyState* emptyState() const { return m_empty; }
    ProcessListView* list() const { return m_list; }
    ProcessDetailPane* detailPane() const { return m_detail; }
    QWidget* missingCard() const { return m_missing; }
    LVText* missingTitle() const { return m_missingTitle; }
    QWidget* sidePane() const;
    QScrollArea* detailScroll() const { return m_detailScroll; }

    // Applies the model and the window's state now, while shown (normally once per pass of the event
    // loop, and on showing).
    void refresh();

private:
    MainView& m_view;

    SearchBox* m_search;
    SortButton* m_sort;
    QMenu* m_sortMenu;
    LVSegmentedControl* m_filter;
    LVText* m_count;
    QStackedWidget* m_listStack;
    LVEmptyState* m_empty;
    ProcessListView* m_list;
    QStackedWidget* m_side;
    QScrollArea* m_detailScroll;
    ProcessDetailPane* m_detail;
    std::optional<ProcessIdentity> m_detailShown; // the process the pane showed last
    int m_reveals = 0; // the window's requests to show the selected process, as far as handled
    QWidget* m_missing;
    LVText* m_missingTitle;
    LVText* m_missingReason;
    LVText* m_missingNext;
    LVButton* m_missingButton;
};

} // namespace lunorvale
