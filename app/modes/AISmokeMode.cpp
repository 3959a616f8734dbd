#include "app/modes/LunorvaleEntry.h"

#include "core/ai/AIConfiguration.h"
#include "core/ai/AIText.h"
#include "core/ai/ApplicationAdviceSummary.h"
#include "core/ai/ProcessDecisionAdvice.h"
#include "core/applications/InstalledApplication.h"
#include "platform/desktop/AIClient.h"

#include <QEventLoop>
#include <QJsonObject>
#include <QTimer>
#include <QUrl>
#include <atomic>

namespace lunorvale {

namespace {

constexpr int refusedAddress = 2;
constexpr int failed = 1;
constexpr int succeeded = 0;
constexpr std::chrono::seconds smokeDeadline{50};

// Only a server on this machine may receive the sample data. The host is compared exactly as typed: a URL
// parser would lower "LOCALHOST" and turn "127.1" into "127.0.0.1".
bool isSmokeHost(const QString& address) {
    if (!QUrl(address, QUrl::StrictMode).isValid())
        return false;
    const QStringView host = AIText::hostAsWritten(address);
    return host == u"127.0.0.1" || host == u"localhost" || host == u"[::1]" || host == u"::1";
}

// A made-up application whose location must never reach the service: the advice item carries no path,
// and the smoke test against a local server checks exactly that.
QString sampleApplicationSummary() {
    const InstalledApplication application(
        QUrl::fromLocalFile(QStringLiteral("/synthetic/never-send-this-path.app")),
        QStringLiteral("Fixture Notes"), QStringLiteral("example.fixture.notes"), QStringLiteral("1.0"),
        QString(), std::nullopt, std::nullopt, std::nullopt);
    return ApplicationAdviceSummary::make({ApplicationAdviceItem(application, 1234, false)});
}

} // namespace

int LunorvaleEntry::aiSmoke(const QString& address, AIAnalysisPurpose purpose) {
    if (!isSmokeHost(address))
        return refusedAddress;

    const AIConfiguration configuration{address, QStringLiteral("mock-model")};
    QString summary = QStringLiteral("合成测试：CPU 95%，任务运行 600 秒。");
    if (purpose == AIAnalysisPurpose::applications) {
        try {
            summary = sampleApplicationSummary();
        } catch (const ApplicationManagementError& error) {
            printReport(failureReport(error.errorDescription()));
            return failed;
        }
    }

    // The deadline and the request race to end the mode; whichever claims `finished` first prints (or not)
    // and sets the exit status, the other does nothing, so a report is never cut or paired with the wrong
    // status.
    std::atomic<bool> finished{false};
    int status = failed;
    QEventLoop loop;
    const auto claim = [&finished] {
        return !finished.exchange(true);
    };

    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        if (!claim())
            return;
        status = failed; // nothing printed
        loop.quit();
    });

    AIRequestHandle request =
        AIClient().analyze(summary, configuration, QString(), purpose, [&](const AIAnalysisOutcome& outcome) {
            if (!claim())
                return;
            QJsonObject report;
            if (outcome.error) {
                report = failureReport(outcome.error->errorDescription());
            } else if (outcome.cancelled || !outcome.text) {
                report = failureReport(
                    AIServiceError(AIServiceError::Kind::networkUnavailable).errorDescription());
            } else {
                report = QJsonObject{{QStringLiteral("status"), QStringLiteral("ok")},
                                     {QStringLiteral("receivedText"), !outcome.text->isEmpty()},
                                     {QStringLiteral("response"), *outcome.text}};
                if (purpose == AIAnalysisPurpose::processDecision) {
                    try {
                        ProcessDecisionAdvice::parse(*outcome.text);
                    } catch (const AIServiceError& error) {
                        report = failureReport(error.errorDescription());
                    }
                }
            }
            const bool ok = report.value(QStringLiteral("status")).toString() == QLatin1String("ok");
            status = printReport(report) && ok ? succeeded : failed;
            loop.quit();
        });
    deadline.start(smokeDeadline);
    loop.exec();
    // An abandoned request must not print after the deadline ended the mode.
    request.cancel();
    return status;
}

} // namespace lunorvale
