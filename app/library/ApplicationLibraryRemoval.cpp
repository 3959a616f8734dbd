#include "app/library/ApplicationLibraryErrors.h"
#include "app/library/ApplicationLibraryModel.h"
#include "app/library/BackgroundWork.h"
#include "app/ports/ApplicationLauncher.h"
#include "app/ports/FileRevealer.h"
#include "core/ai/AIServiceError.h"
#include "core/ai/ApplicationAdviceSummary.h"
#include "core/ai/KeychainStore.h"
#include "core/common/SafeText.h"
#include "platform/files/CheckedFiles.h"

#include <QPointer>
#include <algorithm>

namespace lunorvale {

// --- Removal check ---

void ApplicationLibraryModel::prepareRemoval(const InstalledApplication& application) {
    if (m_checkingRemoval || m_removing || m_quittingApplicationID)
        return;
    // The check is under way from here, and cancelled like one, while it looks at what runs.
    const QUuid token = QUuid::createUuid();
    m_preparationID = token;
    auto task = std::make_shared<Task>();
    m_preparationTask = task;
    publish(m_checkingRemoval, true, &ApplicationLibraryModel::checkingRemovalChanged);
    publish(m_cancellingRemovalCheck, false, &ApplicationLibraryModel::cancellingRemovalCheckChanged);
    refreshRunning([this, token, task, application] {
        if (m_preparationID != token || task->source.isCancelled()) {
            checkEnded(token, task, application, std::nullopt, std::make_exception_ptr(CancellationError()));
            return;
        }
        if (m_runningIDs.contains(application.id())) {
            checkEnded(token, task, application, std::nullopt, {});
            setRemovalGuidance(
                stillRunning(application, QStringLiteral("先保存工作，再请求正常退出并重新检查。")),
                application);
            return;
        }
        startCheck(token, task, application);
    });
}

void ApplicationLibraryModel::startCheck(const QUuid& token, const std::shared_ptr<Task>& task,
                                         const InstalledApplication& application) {
    stopScanning();
    publish(m_message, std::nullopt, &ApplicationLibraryModel::messageChanged);
    publish(m_removalPhase, std::optional(ApplicationRemovalPhase::identity),
            &ApplicationLibraryModel::removalPhaseChanged);
    publish(m_removalFeedback, std::nullopt, &ApplicationLibraryModel::removalFeedbackChanged);
    publish(m_removalFeedbackID, std::nullopt, &ApplicationLibraryModel::removalFeedbackIDChanged);
    setRemovalPlan(std::nullopt);

    BackgroundWork<ApplicationRemovalPlan, ApplicationRemovalPhase>::start(
        m_delivery, *m_services.work,
        [prepare = m_services.prepare, application,
         cancellation = task->source.token()](const std::function<void(ApplicationRemovalPhase)>& report) {
            return prepare(application, report, cancellation);
        },
        [this, token](ApplicationRemovalPhase phase) {
            // A late report never revives a finished, cancelled or superseded check.
            if (m_preparationID == token && m_checkingRemoval && !m_cancellingRemovalCheck)
                publish(m_removalPhase, std::optional(phase), &ApplicationLibraryModel::removalPhaseChanged);
        },
        [this, token, task, application](std::optional<ApplicationRemovalPlan> plan,
                                         std::exception_ptr error) {
            checkEnded(token, task, application, std::move(plan), error);
        });
}

void ApplicationLibraryModel::checkEnded(const QUuid& token, const std::shared_ptr<Task>& task,
                                         const InstalledApplication& application,
                                         std::optional<ApplicationRemovalPlan> plan,
                                         const std::exception_ptr& error) {
    const bool current = m_preparationID == token && !task->source.isCancelled();
    if (plan && current) {
        const bool unchanged = m_applications.contains(application) && m_selectedID == application.id();
        if (unchanged)
            setRemovalPlan(std::move(plan));
        else
            publish(m_message, std::optional(QStringLiteral("所选应用已变化，请重新检查。")),
                    &ApplicationLibraryModel::messageChanged);
    } else if (error && !isCancellation(error) && current && !m_cancellingRemovalCheck) {
        setRemovalFailure(error, application);
    }
    if (m_preparationID != token)
        return;
    publish(m_checkingRemoval, false, &ApplicationLibraryModel::checkingRemovalChanged);
    publish(m_cancellingRemovalCheck, false, &ApplicationLibraryModel::cancellingRemovalCheckChanged);
    publish(m_removalPhase, std::nullopt, &ApplicationLibraryModel::removalPhaseChanged);
    m_preparationTask.reset();
}

void ApplicationLibraryModel::cancelRemovalCheck(bool showMessage) {
    const bool wasChecking = m_checkingRemoval;
    if (m_preparationTask)
        m_preparationTask->source.cancel();
    setRemovalPlan(std::nullopt);
    if (wasChecking) {
        // The check's own end clears the flags, so the page shows it as cancelling until then.
        publish(m_cancellingRemovalCheck, true, &ApplicationLibraryModel::cancellingRemovalCheckChanged);
    } else {
        m_preparationID = QUuid::createUuid();
        m_preparationTask.reset();
    }
    if (!m_removing)
        publish(m_removalPhase, std::nullopt, &ApplicationLibraryModel::removalPhaseChanged);
    if (showMessage && wasChecking)
        publish(m_message, std::optional(QStringLiteral("已取消检查，没有移除应用。")),
                &ApplicationLibraryModel::messageChanged);
}

// --- Removal ---

void ApplicationLibraryModel::remove(ApplicationRemovalPlan plan) {
    if (m_removing || m_checkingRemoval)
        return;
    if (!m_removalPlan || m_removalPlan->id != plan.id)
        return;
    setRemovalPlan(std::nullopt);
    // The removal is under way from here: it begins with a look at what runs.
    publish(m_removing, true, &ApplicationLibraryModel::removingChanged);
    auto task = std::make_shared<Task>();
    m_removalTask = task;
    refreshRunning([this, plan = std::move(plan), task] {
        if (m_removalTask != task)
            return;
        if (m_runningIDs.contains(plan.application.id())) {
            m_removalTask.reset();
            publish(m_removing, false, &ApplicationLibraryModel::removingChanged);
            setRemovalGuidance({ApplicationManagementGuidance::Kind::requiresQuit,
                                QStringLiteral("此应用已重新运行。"),
                                QStringLiteral("请先保存工作并正常退出，再重新检查。"), std::nullopt},
                               plan.application);
            return;
        }
        execute(plan, task);
    });
}

void ApplicationLibraryModel::execute(const ApplicationRemovalPlan& plan, const std::shared_ptr<Task>& task) {
    cancelAI();
    publish(m_aiResult, QString(), &ApplicationLibraryModel::aiResultChanged);
    publish(m_removalPhase, std::optional(ApplicationRemovalPhase::identity),
            &ApplicationLibraryModel::removalPhaseChanged);

    // A removal is never cancelled by the user; the source only lets destruction stop it between steps.
    BackgroundWork<ApplicationRemovalResult, ApplicationRemovalPhase>::start(
        m_delivery, *m_services.work,
        [execute = m_services.execute, plan,
         cancellation = task->source.token()](const std::function<void(ApplicationRemovalPhase)>& report) {
            return execute(plan, report, cancellation);
        },
        [this](ApplicationRemovalPhase phase) {
            if (m_removing)
                publish(m_removalPhase, std::optional(phase), &ApplicationLibraryModel::removalPhaseChanged);
        },
        [this, plan](std::optional<ApplicationRemovalResult> result, std::exception_ptr error) {
            removed(plan, std::move(result), error);
        });
}

void ApplicationLibraryModel::removed(const ApplicationRemovalPlan& plan,
                                      std::optional<ApplicationRemovalResult> result,
                                      const std::exception_ptr& error) {
    m_removalTask.reset();
    if (result) {
        const QString path = plan.application.id();
        if (!result->sourceStillExists) {
            QList<InstalledApplication> applications = m_applications;
            applications.removeIf(
                [&path](const InstalledApplication& application) { return application.id() == path; });
            publish(m_applications, std::move(applications), &ApplicationLibraryModel::applicationsChanged);
            if (m_checked.contains(path)) {
                m_checked.remove(path);
                emit checkedChanged();
            }
            if (m_sizes.remove(path) > 0)
                emit sizesChanged();
            if (m_selectedID == path)
                publish(m_selectedID,
                        m_applications.isEmpty() ? std::nullopt : std::optional(m_applications.first().id()),
                        &ApplicationLibraryModel::selectedIDChanged);
        }
        const ApplicationRemovalReceipt& receipt = result->receipt;
        QString text = SafeText::isolated(plan.application.shownName()) + QStringLiteral("：") +
                       ApplicationRemovalReceipt::shownState(receipt.state) +
                       QStringLiteral("。程序包外的资料、缓存和共享组件保留；回收站尚未清空。");
        if (!result->logSaved) {
            text += QStringLiteral("操作清单更新失败，请记录原位置：") +
                    SafeText::verbatim(receipt.originalPath) + QStringLiteral("；回收站位置：") +
                    (receipt.trashPath ? SafeText::verbatim(*receipt.trashPath)
                                       : QStringLiteral("请在文件管理器中查看")) +
                    QStringLiteral("。");
        }
        publish(m_message, std::optional(std::move(text)), &ApplicationLibraryModel::messageChanged);
    } else {
        setRemovalFailure(error, plan.application);
    }
    publish(m_removing, false, &ApplicationLibraryModel::removingChanged);
    publish(m_removalPhase, std::nullopt, &ApplicationLibraryModel::removalPhaseChanged);
    loadReceipts();
}

// --- Receipts ---

void ApplicationLibraryModel::loadReceipts() {
    // A screenshot shows its scenario's receipts.
    if (m_preview)
        return;
    publish(m_receiptActionMessage, std::nullopt, &ApplicationLibraryModel::receiptActionMessageChanged);
    // The banner that tells of the log follows it; one that tells of something else stays.
    const bool bannerTellsOfLog = m_message && m_message == m_receiptError;
    const ApplicationRemovalLog log = removalLog();
    try {
        QList<ApplicationRemovalReceipt> receipts = log.load();
        std::reverse(receipts.begin(), receipts.end());
        publish(m_receipts, std::move(receipts), &ApplicationLibraryModel::receiptsChanged);
        publish(m_receiptError, std::nullopt, &ApplicationLibraryModel::receiptErrorChanged);
        if (bannerTellsOfLog)
            publish(m_message, std::nullopt, &ApplicationLibraryModel::messageChanged);
    } catch (const std::exception&) {
        const QString sentence = log.unreadableSentence(std::current_exception());
        publish(m_receipts, QList<ApplicationRemovalReceipt>(), &ApplicationLibraryModel::receiptsChanged);
        publish(m_receiptError, std::optional(sentence), &ApplicationLibraryModel::receiptErrorChanged);
        if (!m_message || bannerTellsOfLog)
            publish(m_message, std::optional(sentence), &ApplicationLibraryModel::messageChanged);
    }
}

void ApplicationLibraryModel::clearReceipts() {
    // A log that could not be read is never overwritten from here.
    if (m_removing || m_receiptError)
        return;
    try {
        removalLog().save({});
        publish(m_receipts, QList<ApplicationRemovalReceipt>(), &ApplicationLibraryModel::receiptsChanged);
    } catch (const std::exception&) {
        publish(m_message, std::optional(QStringLiteral("无法清空卸载操作清单。")),
                &ApplicationLibraryModel::messageChanged);
    }
}

void ApplicationLibraryModel::removeUnfinishedTrashRecords() {
    if (m_preview)
        return;
    m_services.work->run(
        [log = removalLog(), before = now(), remove = m_services.removeUnfinishedTrashRecords] {
            try {
                remove(log.load(), before);
            } catch (const std::exception&) {
                // A log that cannot be read is the receipts sheet's to tell; the records wait for a removal.
            }
        });
}

// --- Reveals and opening ---

void ApplicationLibraryModel::reveal(const QUrl& item) {
    if (m_services.revealer)
        m_services.revealer->reveal(item);
}

void ApplicationLibraryModel::revealReceipt(const ApplicationRemovalReceipt& receipt, bool inTrash) {
    const std::optional<QString> path = inTrash ? receipt.trashPath : std::optional(receipt.originalPath);
    if (!path || !path->startsWith(u'/')) {
        publish(m_receiptActionMessage,
                std::optional(QStringLiteral("没有记录可定位的位置，请在文件管理器中复查。")),
                &ApplicationLibraryModel::receiptActionMessageChanged);
        return;
    }
    if (!CheckedFiles::exists(*path)) {
        publish(m_receiptActionMessage,
                std::optional(inTrash
                                  ? QStringLiteral("记录中的回收站项目已不存在或不可访问，可能已放回或清空；"
                                                   "请在文件管理器中复查。")
                                  : QStringLiteral("原位置已不存在或不可访问；可查看记录中的回收站位置。")),
                &ApplicationLibraryModel::receiptActionMessageChanged);
        return;
    }
    publish(m_receiptActionMessage, std::nullopt, &ApplicationLibraryModel::receiptActionMessageChanged);
    reveal(QUrl::fromLocalFile(*path));
}

void ApplicationLibraryModel::revealRemovalLog() {
    const QUrl file = removalLog().fileURL();
    if (CheckedFiles::exists(file.toLocalFile()))
        reveal(file);
    else
        reveal(FileRevealer::parentFolder(file));
}

void ApplicationLibraryModel::revealRelated(const ApplicationManagementGuidance& guidance) {
    if (!guidance.relatedURL)
        return;
    // Remote or non-file locations are never opened from here.
    const QUrl& url = *guidance.relatedURL;
    if (url.scheme() == u"file" && url.host().isEmpty())
        reveal(url);
}

void ApplicationLibraryModel::open(const InstalledApplication& application) {
    if (m_removing || m_checkingRemoval)
        return;
    const bool started =
        m_services.launcher && m_services.launcher->open(application.url(), application.executable());
    if (!started)
        publish(m_message, std::optional(QStringLiteral("无法打开此应用，请在文件管理器中检查。")),
                &ApplicationLibraryModel::messageChanged);
    refreshRunning();
}

// --- Application advice ---

QList<ApplicationAdviceItem> ApplicationLibraryModel::adviceItems() const {
    QList<ApplicationAdviceItem> items;
    for (const InstalledApplication& application : m_applications) {
        const QString path = application.id();
        if (!m_checked.contains(path))
            continue;
        const auto size = m_sizes.constFind(path);
        items.append(ApplicationAdviceItem(
            application, size != m_sizes.cend() ? std::optional<int64_t>(*size) : std::nullopt,
            m_runningIDs.contains(path)));
    }
    return items;
}

QString ApplicationLibraryModel::summary() const {
    return ApplicationAdviceSummary::make(adviceItems());
}

void ApplicationLibraryModel::analyze(const QString& summary, const AIConfiguration& configuration,
                                      const QDateTime& snapshotDate) {
    if (m_aiBusy)
        return;
    cancelAI();
    const QUuid token = QUuid::createUuid();
    m_aiGeneration = token;
    publish(m_aiBusy, true, &ApplicationLibraryModel::aiBusyChanged);
    publish(m_aiResult, QString(), &ApplicationLibraryModel::aiResultChanged);
    publish(m_aiError, std::nullopt, &ApplicationLibraryModel::aiErrorChanged);
    publish(m_aiSnapshotDate, std::optional(snapshotDate), &ApplicationLibraryModel::aiSnapshotDateChanged);

    const QPointer<ApplicationLibraryModel> self(this);
    const auto finish = [self, token](const std::optional<QString>& text,
                                      const std::optional<QString>& error) {
        if (!self || self->m_aiGeneration != token)
            return;
        if (text)
            self->publish(self->m_aiResult, *text, &ApplicationLibraryModel::aiResultChanged);
        else if (error)
            self->publish(self->m_aiError, error, &ApplicationLibraryModel::aiErrorChanged);
        self->m_aiTask = AIRequestHandle();
        self->publish(self->m_aiBusy, false, &ApplicationLibraryModel::aiBusyChanged);
    };

    // A missing key still goes to the service, which then answers with its own error.
    QString key;
    try {
        key = requestKey(m_services.keychain.get(), configuration).value_or(QString());
    } catch (const AIServiceError& error) {
        finish(std::nullopt, error.errorDescription());
        return;
    }
    m_aiTask = m_services.analyze(summary, configuration, key, AIAnalysisPurpose::applications,
                                  [finish](const AIAnalysisOutcome& outcome) {
                                      if (outcome.cancelled)
                                          finish(std::nullopt, std::nullopt);
                                      else if (outcome.error)
                                          finish(std::nullopt, outcome.error->errorDescription());
                                      else
                                          finish(outcome.text.value_or(QString()), std::nullopt);
                                  });
}

void ApplicationLibraryModel::cancelAI() {
    m_aiGeneration = QUuid::createUuid();
    m_aiTask.cancel();
    m_aiTask = AIRequestHandle();
    publish(m_aiBusy, false, &ApplicationLibraryModel::aiBusyChanged);
}

} // namespace lunorvale
