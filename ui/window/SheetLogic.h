#pragma once

#include "core/ai/AIConfiguration.h"
#include "core/monitoring/Finding.h"
#include "core/monitoring/ProcessSample.h"
#include "ui/kit/Palette.h"

#include <QList>
#include <QString>

namespace lunorvale {

// The stop confirmation's texts for a normal quit request or a forced end.
namespace StopSheet {

struct Texts {
    const char* symbol;
    AdaptiveColor color;
    QString title;
    QString subtitle;
    QString warning;
    QString confirmTitle;
};
Texts texts(bool force);
// "NAME · PID N"
QString processLine(const ProcessSample& sample);
// Not in preview mode, not while this very process's stop is being rechecked, and only for a process
// this program may stop.
bool confirmEnabled(bool isPreview, bool stopping, bool canStop);

} // namespace StopSheet

// What the AI consent sheet shows and sends: taken once when the sheet opens, never recomputed.
namespace AnalysisConsent {

struct Snapshot {
    QString summary;
    AIConfiguration configuration;

    friend bool operator==(const Snapshot&, const Snapshot&) = default;
};
// The summary of the sample (with its own finding, if any) and the service as configured now.
Snapshot snapshot(const ProcessSample& sample, const QList<Finding>& findings,
                  const AIConfiguration& configuration);
bool confirmEnabled(bool isPreview, bool aiBusy);

} // namespace AnalysisConsent
} // namespace lunorvale
