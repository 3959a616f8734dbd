#pragma once

#include "ui/window/HistoryExport.h"
#include "ui/window/HistoryLogic.h"

#include <QWidget>

class QLineEdit;
class QStackedWidget;

namespace lunorvale {

class HistoryListView;
class LVButton;
class LVEmptyState;
class LVSegmentedControl;
class LVText;
class MainView;

// The "操作记录" page: the local activity history, newest first, narrowed by type and a search, with
// the export of the whole history and the way to clear it (the window asks first). Reads the model
// and the window's two values; the list changes in place.
class HistoryPage final : public QWidget {
    Q_OBJECT
public:
    explicit HistoryPage(MainView& view, HistoryExport::Services exportServices = {},
                         QWidget* parent = nullptr);

    LVButton* exportButton() const { return m_export; }
    LVButton* clearButton() const { return m_clear; }
    LVSegmentedControl* filterControl() const { return m_filter; }
    QLineEdit* searchField() const { return m_search; }
    QWidget* storageLine() const { return m_storage; }
    LVEmptyState* emptyState() const { return m_empty; }
    HistoryListView* list() const { return m_list; }
    LVText* countText() const { return m_count; }
    HistoryExport& exporter() { return m_exporter; }

    // Applies the model and the window's state now, while shown (normally once per pass of the event
    // loop, and on showing).
    void refresh();

private:
    MainView& m_view;
    HistoryExport m_exporter;
    // The filter and search the list shows: another one shows the list from its top.
    struct ListChoice {
        HistoryFilter filter = HistoryFilter::all;
        QString search;
        friend bool operator==(const ListChoice&, const ListChoice&) = default;
    };
    ListChoice m_listedChoice;
    LVButton* m_export;
    LVButton* m_clear;
    LVSegmentedControl* m_filter;
    QLineEdit* m_search;
    QWidget* m_storage;
    LVText* m_storageText;
    QStackedWidget* m_stack;
    LVEmptyState* m_empty;
    HistoryListView* m_list;
    LVText* m_count;
};

} // namespace lunorvale
