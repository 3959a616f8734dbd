#pragma once

#include <QWidget>
#include <functional>

namespace lunorvale {

class AppModel;
class LVLabel;
class LVText;

// The overview's one-card summary of the machine: CPU, memory pressure, a link to the resources page,
// and under it the most pressing resource observation, when there is one.
class ResourceOverviewStrip final : public QWidget {
    Q_OBJECT
public:
    ResourceOverviewStrip(AppModel& model, std::function<void()> open, QWidget* parent = nullptr);

    void refresh();

private:
    AppModel& m_model;
    LVLabel* m_cpu;
    LVLabel* m_pressure;
    LVText* m_observation;
};

} // namespace lunorvale
