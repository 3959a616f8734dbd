#include "ui/window/ResourceDashboardView.h"

#include "app/model/AppModel.h"
#include "core/monitoring/DisplayFormat.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVBadge.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVLabel.h"
#include "ui/kit/LVPlainButton.h"
#include "ui/kit/LVSegmentedControl.h"
#include "ui/kit/LVText.h"
#include "ui/kit/SectionHeading.h"
#include "ui/window/DashboardApplicationList.h"
#include "ui/window/ResourceCharts.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPropertyAnimation>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace lunorvale {

using namespace ResourceDashboardLogic;

// One memory or application finding: its title, an optional action and the detail.
class ResourceDashboardView::FindingRow final : public QWidget {
public:
    FindingRow(const LVSymbol& symbol, const QString& action, QWidget* parent) : QWidget(parent) {
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(5);
        auto* header = new QHBoxLayout;
        label = new LVLabel(symbol, {}, Fonts::system(12, FontWeight::medium), Palette::amber, this);
        header->addWidget(label, 1);
        button = new LVPlainButton(action, std::nullopt, Palette::accent, Fonts::system(12), this);
        header->addWidget(button);
        column->addLayout(header);
        detail = new LVText({}, Fonts::system(11), Palette::muted, this);
        column->addWidget(detail);
    }
    LVLabel* label;
    LVPlainButton* button;
    LVText* detail;
    std::function<void()> action;
};

ResourceDashboardView::ResourceDashboardView(AppModel& model, bool showApplicationsFirst, QWidget* parent)
    : QWidget(parent), m_model(model), m_showApplicationsFirst(showApplicationsFirst) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    // Tab stops at the controls in it, which it scrolls into view, never at the view itself.
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->viewport()->setAutoFillBackground(false);
    outer->addWidget(m_scroll);
    auto* content = new QWidget;
    content->setAutoFillBackground(false);
    m_scroll->setWidget(content);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(18);

    column->addWidget(new SectionHeading(
        QStringLiteral("资源趋势"),
        QStringLiteral("查看整机变化，再找到占用靠前的应用。应用合计可以展开到单个进程。")));

    m_notice = new LVLabel(LVSymbol("pause.circle"), {}, Fonts::system(12), Palette::amber, content);
    column->addWidget(m_notice);

    // The machine's memory.
    auto* memory = new QWidget;
    auto* memoryColumn = new QVBoxLayout(memory);
    memoryColumn->setContentsMargins(20, 20, 20, 20);
    memoryColumn->setSpacing(15);
    auto* memoryHeader = new QHBoxLayout;
    memoryHeader->addWidget(new LVLabel(LVSymbol("memorychip"), QStringLiteral("整机内存"),
                                        Fonts::system(15, FontWeight::semibold), Palette::ink, memory));
    memoryHeader->addStretch(1);
    m_badge = new LVBadge({}, Palette::muted, memory);
    memoryHeader->addWidget(m_badge);
    memoryColumn->addLayout(memoryHeader);
    auto* tiles = new QHBoxLayout;
    tiles->setSpacing(0);
    for (const QString& title : {QStringLiteral("物理内存"), QStringLiteral("已用（估算）"),
                                 QStringLiteral("已压缩"), QStringLiteral("交换空间已用")}) {
        auto* tile = new QVBoxLayout;
        tile->setSpacing(7);
        tile->addWidget(new LVText(title, Fonts::system(11), Palette::muted, memory));
        auto* value = new LVText({}, Fonts::monospacedDigits(19, FontWeight::medium), Palette::ink, memory);
        value->setMaximumLines(1);
        tile->addWidget(value);
        m_metrics.append(value);
        tiles->addLayout(tile, 1);
    }
    memoryColumn->addLayout(tiles);
    m_sentence = new LVText({}, Fonts::system(11), Palette::muted, memory);
    memoryColumn->addWidget(m_sentence);
    column->addWidget(card(memory));

    // The findings of the moment.
    auto* findings = new QWidget;
    m_findingsLayout = new QVBoxLayout(findings);
    m_findingsLayout->setContentsMargins(17, 17, 17, 17);
    m_findingsLayout->setSpacing(12);
    m_findings = lunorCard(findings);
    column->addWidget(m_findings);

    // The time window.
    auto* windowRow = new QHBoxLayout;
    windowRow->addWidget(new LVText(QStringLiteral("近期变化"), Fonts::system(15, FontWeight::semibold),
                                    Palette::ink, content));
    windowRow->addStretch(1);
    windowRow->addWidget(
        new LVText(QStringLiteral("仅保留本次运行最近 60 分钟"), Fonts::system(11), Palette::muted, content));
    m_window = new LVSegmentedControl({QStringLiteral("15 分钟"), QStringLiteral("60 分钟")}, content);
    m_window->setAccessibleName(QStringLiteral("趋势时间范围"));
    m_window->setFixedWidth(180);
    windowRow->addWidget(m_window);
    column->addLayout(windowRow);
    connect(m_window, &LVSegmentedControl::currentIndexChanged, this,
            [this](int index) { setMinutes(index == 1 ? 60 : 15); });

    auto* charts = new QHBoxLayout;
    charts->setSpacing(16);
    m_cpuChart = new ResourceChartCard(ResourceChartCard::Kind::cpu, content);
    m_memoryChart = new ResourceChartCard(ResourceChartCard::Kind::memory, content);
    charts->addWidget(m_cpuChart, 1, Qt::AlignTop);
    charts->addWidget(m_memoryChart, 1, Qt::AlignTop);
    column->addLayout(charts);

    m_applications = new DashboardApplicationList(content);
    column->addWidget(m_applications);
    column->addStretch(1);
    connect(m_applications, &DashboardApplicationList::searchEdited, this, &ResourceDashboardView::setSearch);
    connect(m_applications, &DashboardApplicationList::sortChosen, this, &ResourceDashboardView::setSort);
    connect(m_applications, &DashboardApplicationList::expansionChanged, this,
            &ResourceDashboardView::setExpanded);
    connect(m_applications, &DashboardApplicationList::showProcess, this,
            [this](const ProcessIdentity& identity) { m_model.showProcess(identity); });
    refresh();
}

QWidget* ResourceDashboardView::applicationCard() const {
    return m_applications->findChild<QWidget*>(QStringLiteral("application-resources"));
}

QList<QWidget*> ResourceDashboardView::findingButtons() const {
    QList<QWidget*> buttons;
    for (const QString& key : m_findingKeys) {
        FindingRow* row = m_findingRows.value(key);
        if (!row->button->isHidden())
            buttons.append(row->button);
    }
    return buttons;
}

void ResourceDashboardView::enter() {
    m_minutes = 15;
    m_sort = GroupSort::cpu;
    m_search.clear();
    m_expanded.clear();
    {
        const QSignalBlocker blocker(m_window);
        m_window->setCurrentIndex(0);
    }
    m_applications->setSearch(m_search);
    m_applications->setSort(m_sort);
    m_scroll->verticalScrollBar()->setValue(0);
    m_listStale = true;
    if (m_model.isPreview()) {
        if (const std::optional<QString> id = firstGroupWithSeveralMembers(m_model.resourceGroups()))
            m_expanded.insert(*id);
    }
    refresh();
    if (m_model.isPreview() && m_showApplicationsFirst)
        QMetaObject::invokeMethod(
            this, [this] { scrollToApplications(false); }, Qt::QueuedConnection);
}

void ResourceDashboardView::refresh() {
    const std::optional<QString> notice = collectionNotice(m_model.collectionError(), m_model.isMonitoring());
    m_notice->setText(notice.value_or(QString()));
    m_notice->setVisible(notice.has_value());

    const std::optional<SystemMemorySnapshot>& memory = m_model.systemMemory();
    const PressureBadge pressure = memoryPressure(memory);
    m_badge->setTitle(pressure.title);
    m_badge->setColor(pressure.color);
    m_sentence->setText(pressure.sentence);
    const SystemMemorySnapshot figures = memory.value_or(SystemMemorySnapshot{});
    m_metrics[0]->setText(metricValue(figures.physicalBytes));
    m_metrics[1]->setText(metricValue(figures.usedBytes));
    m_metrics[2]->setText(metricValue(figures.compressedBytes));
    m_metrics[3]->setText(metricValue(figures.swapUsedBytes));

    refreshFindings();
    refreshCharts();
    refreshList();
}

void ResourceDashboardView::refreshFindings() {
    struct Shown {
        QString key;
        bool application;
        QString title;
        QString detail;
        std::function<void()> action; // absent: no button
    };
    QList<Shown> shown;
    for (const MemoryObservation& observation : m_model.memoryObservations()) {
        std::function<void()> action;
        if (const std::optional<ProcessIdentity> identity = observation.processIdentity)
            action = [this, identity = *identity] {
                m_model.showProcess(identity);
            };
        shown.append({QStringLiteral("memory:") + observation.id(), false, observation.title,
                      observation.detail, action});
    }
    for (const ApplicationCPUFinding& finding : m_model.applicationCPUFindings()) {
        const QString id = finding.group.id;
        const QString name = finding.group.name;
        shown.append({QStringLiteral("application:") + id, true, applicationFindingTitle(finding),
                      applicationFindingDetail(finding), [this, id, name] {
                          expandApplication(id, name);
                      }});
    }

    QList<QString> keys;
    for (const Shown& item : shown) {
        if (keys.contains(item.key))
            continue;
        keys.append(item.key);
        FindingRow*& row = m_findingRows[item.key];
        if (!row) {
            row = new FindingRow(item.application ? LVSymbol("cpu") : LVSymbol("exclamationmark.circle"),
                                 item.application ? QStringLiteral("展开应用") : QStringLiteral("查看进程"),
                                 m_findingsLayout->parentWidget());
            connect(row->button, &QAbstractButton::clicked, this, [row] {
                if (row->action)
                    row->action();
            });
        }
        row->label->setText(item.title);
        row->detail->setText(item.detail);
        row->action = item.action;
        row->button->setVisible(static_cast<bool>(item.action));
    }
    for (auto it = m_findingRows.begin(); it != m_findingRows.end();) {
        if (keys.contains(it.key())) {
            ++it;
            continue;
        }
        // The row may be the one whose button was clicked, its click still running.
        it.value()->hide();
        it.value()->deleteLater();
        it = m_findingRows.erase(it);
    }
    if (keys != m_findingKeys) {
        for (int i = 0; i < keys.size(); ++i)
            m_findingsLayout->insertWidget(i, m_findingRows.value(keys[i]));
        m_findingKeys = keys;
    }
    m_findings->setVisible(!keys.isEmpty());
}

void ResourceDashboardView::refreshCharts() {
    const QList<ResourceHistoryPoint> points = windowPoints(m_model.resourceHistory().points(), m_minutes);
    const DateRange range = chartRange(points, m_minutes, QDateTime::currentDateTime());
    m_cpuChart->setData(points, range, m_minutes, m_model.systemCPUText());
    m_memoryChart->setData(points, range, m_minutes, {});
}

void ResourceDashboardView::refreshList() {
    const QList<ApplicationResourceGroup>& groups = m_model.resourceGroups();
    // The search texts and name keys are made once per sample; the same list shown the same way is
    // left alone (a refresh for another reason, such as a sample starting).
    m_applications->setSummary(
        summary(m_model.processes().size(), groups.size(), m_model.skippedProcessCount()));
    const bool sameGroups =
        groups.constData() == m_indexedGroups.constData() && groups.size() == m_indexedGroups.size();
    if (sameGroups && !m_listStale && !groups.isEmpty())
        return;
    m_listStale = false;
    if (!sameGroups) {
        m_indexedGroups = groups;
        m_index = GroupIndex(groups, true);
    }
    QList<ApplicationResourceGroup> shown;
    const QList<qsizetype> order = m_index.select(m_search, m_sort);
    shown.reserve(order.size());
    for (const qsizetype i : order)
        shown.append(groups[i]);
    m_applications->setContent(shown, m_expanded, emptyListText(!groups.isEmpty()));
}

void ResourceDashboardView::setMinutes(int minutes) {
    if (minutes == m_minutes)
        return;
    m_minutes = minutes;
    {
        const QSignalBlocker blocker(m_window);
        m_window->setCurrentIndex(minutes == 60 ? 1 : 0);
    }
    refreshCharts();
}

void ResourceDashboardView::setSort(GroupSort sort) {
    if (sort == m_sort)
        return;
    m_sort = sort;
    m_applications->setSort(sort);
    m_listStale = true;
    refreshList();
}

void ResourceDashboardView::setSearch(const QString& search) {
    if (search == m_search)
        return;
    m_search = search;
    m_applications->setSearch(search);
    m_listStale = true;
    refreshList();
}

void ResourceDashboardView::setExpanded(const QString& id, bool expanded) {
    if (expanded)
        m_expanded.insert(id);
    else
        m_expanded.remove(id);
    m_listStale = true;
}

void ResourceDashboardView::expandApplication(const QString& id, const QString& name) {
    m_search = name;
    m_applications->setSearch(name);
    m_expanded.insert(id);
    m_listStale = true;
    refreshList();
    scrollToApplications(QApplication::isEffectEnabled(Qt::UI_General));
}

void ResourceDashboardView::scrollToApplications(bool animated) {
    // The page is laid out first, so the card's place and the scroll range are current.
    QWidget* content = m_scroll->widget();
    content->layout()->activate();
    m_scroll->updateGeometry();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QScrollBar* bar = m_scroll->verticalScrollBar();
    const int target = std::min(m_applications->mapTo(content, QPoint(0, 0)).y(), bar->maximum());
    if (!animated) {
        bar->setValue(target);
        return;
    }
    auto* animation = new QPropertyAnimation(bar, "value", this);
    animation->setDuration(250);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->setEndValue(target);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

} // namespace lunorvale
