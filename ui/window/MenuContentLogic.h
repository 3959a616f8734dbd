#pragma once

#include "core/monitoring/ApplicationResourceGroup.h"
#include "core/monitoring/Finding.h"
#include "core/monitoring/MemoryObservation.h"
#include "core/monitoring/SystemMemory.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace lunorvale {

// What the tray popover shows, derived from the model without a widget.
namespace MenuContentLogic {

// The status card's first line: the first of read failure, paused, no sample yet, no reminder, the count.
QString stateLine(bool collectionFailed, bool isMonitoring, bool hasSample, int attentionCount);
// "正常", "偏高", "很高", or "暂不可读取" without a reading.
QString pressureWord(const std::optional<SystemMemorySnapshot>& memory);
// "整机 CPU 12.5% · 内存压力正常"
QString resourceLine(const QString& systemCPUText, const std::optional<SystemMemorySnapshot>& memory);
// The resource row's title: the first memory observation, else the first application finding; none
// without either.
std::optional<QString> observationTitle(const QList<MemoryObservation>& memory,
                                        const QList<ApplicationCPUFinding>& applications);
// The first three of the CPU order.
QList<ProcessSample> busiest(const QList<ProcessSample>& byCPU);
// Amber only for a process with a finding of its own (same pid and start time).
bool isFlagged(const ProcessSample& sample, const QList<Finding>& findings);

} // namespace MenuContentLogic
} // namespace lunorvale
