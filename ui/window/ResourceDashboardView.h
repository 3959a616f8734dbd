#pragma once

#include "ui/window/ResourceDashboardLogic.h"

#include <QHash>
#include <QSet>
#include <QWidget>

class QScrollArea;
class QVBoxLayout;

namespace lunorvale {

class AppModel;
class DashboardApplicationList;
class LVBadge;
class LVLabel;
class LVSegmentedControl;
class LVText;
class ResourceChartCard;

// The resources page: the machine's memory, the memory and application findings, the CPU and memory
// curves of the last 15 or 60 minutes, and the processes grouped by application.
//
// Its own state (window, order, search, open groups) starts afresh each time the page comes on screen
// (`enter`), never on a sample.
class ResourceDashboardView final : public QWidget {
    Q_OBJECT
public:
    ResourceDashboardView(AppModel& model, bool showApplicationsFirst, QWidget* parent = nullptr);

    // The page comes on screen: its state starts afresh (and, in preview, opens a group and scrolls).
    void enter();
    void refresh();

    int minutes() const { return m_minutes; }
    ResourceDashboardLogic::GroupSort sort() const { return m_sort; }
    const QString& search() const { return m_search; }
    const QSet<QString>& expanded() const { return m_expanded; }
    void setMinutes(int minutes);
    void setSort(ResourceDashboardLogic::GroupSort sort);
    void setSearch(const QString& search);
    void setExpanded(const QString& id, bool expanded);
    // "展开应用": the application found, opened and scrolled to.
    void expandApplication(const QString& id, const QString& name);

    QScrollArea* scrollArea() const { return m_scroll; }
    LVBadge* pressureBadge() const { return m_badge; }
    QList<LVText*> metricValues() const { return m_metrics; }
    QWidget* findingsPanel() const { return m_findings; }
    LVSegmentedControl* windowControl() const { return m_window; }
    ResourceChartCard* cpuChart() const { return m_cpuChart; }
    ResourceChartCard* memoryChart() const { return m_memoryChart; }
    DashboardApplicationList* applications() const { return m_applications; }
    QWidget* applicationCard() const;
    // The buttons of the finding rows, in order ("查看进程", "展开应用").
    QList<QWidget*> findingButtons() const;

private:
    class FindingRow;
    void refreshFindings();
    void refreshCharts();
    void refreshList();
    void scrollToApplications(bool animated);

    AppModel& m_model;
    const bool m_showApplicationsFirst;
    int m_minutes = 15;
    ResourceDashboardLogic::GroupSort m_sort = ResourceDashboardLogic::GroupSort::cpu;
    QString m_search;
    QSet<QString> m_expanded;
    QList<ApplicationResourceGroup> m_indexedGroups;
    ResourceDashboardLogic::GroupIndex m_index;
    bool m_listStale = true; // the search, order or open groups changed since the list was filled

    QScrollArea* m_scroll;
    LVLabel* m_notice;
    LVBadge* m_badge;
    QList<LVText*> m_metrics;
    LVText* m_sentence;
    QWidget* m_findings;
    QVBoxLayout* m_findingsLayout;
    QList<QString> m_findingKeys;
    QHash<QString, FindingRow*> m_findingRows;
    LVSegmentedControl* m_window;
    ResourceChartCard* m_cpuChart;
    ResourceChartCard* m_memoryChart;
    DashboardApplicationList* m_applications;
};

} // namespace lunorvale
