#pragma once

#include "core/ai/AIAnalysisPurpose.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace lunorvale {

// The self-test's children: a sleeping one to find and stop, a busy one to measure. Program first.
struct SmokeTestChildren {
    QStringList sleeper{QStringLiteral("/bin/sleep"), QStringLiteral("20")};
    QStringList busy{QStringLiteral("/usr/bin/yes")};
};

// The program's entry: command-line dispatch and the modes that print one JSON object and exit.
// Every mode returns the process's exit status instead of ending the process itself, so the
// dispatch stays testable. The modes need nothing above the platform layers; `main` and the desktop
// program (`application`) are defined with the interface, in app/shell.
class LunorvaleEntry final {
public:
    static int main(int argc, char** argv);

    // Which mode the arguments (program path first, and looked at like the others) select; the first
    // applicable rule wins.
    struct Dispatch {
        enum class Mode {
            probe,
            smokeTest,
            applicationsProbe,
            applicationsAISmoke,
            decisionAISmoke,
            aiSmoke,
            application
        };
        Mode mode = Mode::application;
        QString address; // the argument after an AI smoke flag
    };
    static Dispatch dispatch(const QStringList& arguments);

    // The desktop program, or a screenshot run with `--render-preview`.
    static int application(int argc, char** argv, const QStringList& arguments);

    // 0 after the success report, 1 after a failure report or when the report could not be written.
    static int probe();
    static int smokeTest(const SmokeTestChildren& children = {});
    static int applicationsProbe();
    // One request of the given purpose with fixed sample data. 0 success, 1 failure report or time-out,
    // 2 refused address (nothing printed).
    static int aiSmoke(const QString& address, AIAnalysisPurpose purpose);

    // Pretty-printed, sorted keys, one line feed after it. False when nothing could be written.
    static bool printReport(const QJsonObject& report);
    // The report of a mode that failed: its status and the sentence saying why.
    static QJsonObject failureReport(const QString& error);
};

} // namespace lunorvale
