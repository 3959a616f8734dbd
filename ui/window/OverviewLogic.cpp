#include "ui/window/OverviewLogic.h"

#include "core/common/SafeText.h"
#include "core/monitoring/DisplayFormat.h"

#include <QSet>
#include <algorithm>
#include <cmath>

namespace lunorvale::OverviewLogic {

const Finding* findingOf(const QList<Finding>& findings, const std::optional<ProcessIdentity>& identity) {
    if (!identity)
        return nullptr;
    for (const Finding& finding : findings) {
        if (finding.sample.identity == *identity)
            return &finding;
    }
    return nullptr;
}

FindingOrder findingOrder(const QList<Finding>& findings, const std::optional<ProcessIdentity>& preferred,
                          const FindingOrder& shown) {
    QSet<ProcessIdentity> flagged;
    for (const Finding& finding : findings)
        flagged.insert(finding.sample.identity);
    FindingOrder order;
    QSet<ProcessIdentity> placed;
    for (const ProcessIdentity& identity : shown.chips) {
        if (flagged.contains(identity) && !placed.contains(identity)) {
            order.chips.append(identity);
            placed.insert(identity);
        }
    }
    for (const Finding& finding : findings) {
        if (!placed.contains(finding.sample.identity)) {
            order.chips.append(finding.sample.identity);
            placed.insert(finding.sample.identity);
        }
    }
    if (preferred && flagged.contains(*preferred))
        order.primary = preferred;
    else if (shown.primary && flagged.contains(*shown.primary))
        order.primary = shown.primary;
    else if (!order.chips.isEmpty())
        order.primary = order.chips.first();
    return order;
}

QList<ProcessSample> topList(const QList<ProcessSample>& orderedByCPU, const Finding* primary) {
    QList<ProcessSample> top;
    for (const ProcessSample& sample : orderedByCPU) {
        if (top.size() == 3)
            break;
        if (primary && sample.identity == primary->sample.identity)
            continue;
        top.append(sample);
    }
    return top;
}

QString topListTitle(const Finding* primary) {
    return primary ? QStringLiteral("其他进程") : QStringLiteral("资源占用靠前");
}

QString chipTitle(const Finding& finding, bool namesake) {
    return SafeText::isolated(finding.sample.name) + chipFigures(finding, namesake);
}

QString chipFigures(const Finding& finding, bool namesake) {
    QString figures = QStringLiteral(" · ");
    if (namesake)
        figures +=
            QStringLiteral("PID ") + QString::number(finding.sample.identity.pid) + QStringLiteral(" · ");
    return figures + DisplayFormat::cpu(finding.sample.cpuPercent);
}

int chipWidth(int natural, int smallest, int room) {
    return std::min(natural, std::max(smallest, room));
}

bool hasNamesake(const QList<Finding>& findings, const Finding& finding) {
    return std::any_of(findings.cbegin(), findings.cend(), [&](const Finding& other) {
        return other.sample.name == finding.sample.name &&
               !(other.sample.identity == finding.sample.identity);
    });
}

RestingState restingState(const RestingInputs& in) {
    using Kind = RestingState::Kind;
    using Action = RestingState::Action;
    RestingState state;
    if (in.collectionError) {
        state = {Kind::collectionError, QStringLiteral("暂时无法读取进程"),
                 *in.collectionError,   QStringLiteral("重新采样"),
                 Action::sampleNow,     !in.isSampling && !in.isPreview};
    } else if (!in.isMonitoring) {
        state = {Kind::paused,
                 QStringLiteral("观察已暂停"),
                 QStringLiteral("这里保留最近一次采样。恢复后，会重新累计持续高占用的观察时间。"),
                 QStringLiteral("恢复观察"),
                 Action::resumeMonitoring,
                 !in.isPreview};
    } else {
        if (!in.hasSample) {
            state.kind = Kind::baseline;
            state.title = QStringLiteral("正在建立观察基线");
            state.detail = QStringLiteral(
                "首次采样识别进程，第二次开始计算 CPU。你可以先查看设置，或让岚栖在系统托盘继续观察。");
        } else if (in.attentionCount > 0) {
            state.kind = Kind::resourceChanges;
            state.title = QStringLiteral("资源变化值得查看");
            state.detail = QStringLiteral("查看应用整体占用和内存变化，先核对任务进度，再决定是否需要处理。");
        } else {
            state.kind = Kind::quiet;
            state.title = QStringLiteral("目前没有持续高占用提醒");
            state.detail = QStringLiteral(
                "短时编译、渲染和计算可能正常占用 CPU。达到你设置的持续时间后，岚栖会提醒你查看。");
        }
        // Chosen by the attention count alone, whichever of the three states shows.
        if (in.attentionCount > 0) {
            state.buttonTitle = QStringLiteral("查看资源趋势");
            state.action = Action::showResources;
        } else {
            state.buttonTitle = QStringLiteral("查看全部进程");
            state.action = Action::showProcesses;
        }
        state.buttonEnabled = true;
    }
    state.offersReminderSettings = !in.notificationsEnabled;
    return state;
}

bool isHighCPU(LocalProcessAdvice::State state) {
    return state == LocalProcessAdvice::State::sustainedHigh ||
           state == LocalProcessAdvice::State::transientHigh;
}

AnalysisRoute analysisRoute(const AnalysisInputs& in) {
    if (!isHighCPU(in.adviceState))
        return AnalysisRoute::openProcessOnly;
    if (in.aiModel.trimmed().isEmpty())
        return AnalysisRoute::openAISettings;
    if (in.entry && in.entry->advice)
        return AnalysisRoute::showExistingAdvice;
    if (in.hasManualDecision)
        return AnalysisRoute::showExistingAdvice;
    if (in.entry && in.entry->pending)
        return AnalysisRoute::showExistingAdvice;
    return in.automaticAdviceEnabled ? AnalysisRoute::analyze : AnalysisRoute::askConsent;
}

AdviceAILine adviceAILine(LocalProcessAdvice::State state, const std::optional<ProcessDecisionAdvice>& manual,
                          const std::optional<AutomaticProcessAdvice::Entry>& entry) {
    std::optional<ProcessDecisionAdvice> shown;
    if (isHighCPU(state))
        shown = manual ? manual : (entry ? entry->advice : std::nullopt);
    if (shown)
        return {AdviceAILine::Kind::decision, shown->reason};
    if (entry && entry->pending)
        return {AdviceAILine::Kind::pending, QStringLiteral("AI 正在补充建议，可先按上方步骤处理。")};
    if (entry && entry->failure)
        return {AdviceAILine::Kind::failure, QStringLiteral("AI 暂不可用，上方处理步骤仍可使用。")};
    return {};
}

PriorityTaskTexts priorityTask(const Finding& finding, const PriorityTaskInputs& in) {
    const ProcessSample& sample = finding.sample;
    PriorityTaskTexts texts;
    texts.subtitle = SafeText::isolated(sample.displaySource()) + QStringLiteral("  ·  ") +
                     SafeText::isolated(sample.name);
    if (in.isPreview)
        texts.inspectTitle = QStringLiteral("查看任务进度");
    else if (in.ownerFound && in.ownerFound())
        texts.inspectTitle = QStringLiteral("打开所属应用");
    else
        texts.inspectTitle = QStringLiteral("在系统监视器中查看");
    texts.inspectEnabled = !in.isPreview;
    texts.stopEnabled = !in.isPreview && !in.stopping && in.canStop && in.canStop();
    texts.muteEnabled = !in.isPreview;
    texts.footnote = in.stopping ? QStringLiteral("已发送请求，正在复查退出结果…")
                                 : QStringLiteral("退出前会再次确认，仅处理选中的进程。");
    texts.thresholdNote = QStringLiteral("采样区间均值已连续 ") +
                          DisplayFormat::duration(finding.sustainedSeconds) + QStringLiteral(" 高于 ") +
                          QString::number(static_cast<qint64>(std::trunc(in.settings.safeThreshold()))) +
                          QStringLiteral("%");
    return texts;
}

PressureLabel pressure(const std::optional<SystemMemorySnapshot>& memory) {
    switch (memory ? memory->pressure : SystemMemoryPressure::unknown) {
    case SystemMemoryPressure::unknown:
        break;
    case SystemMemoryPressure::normal:
        return {QStringLiteral("正常"), Palette::success};
    case SystemMemoryPressure::warning:
        return {QStringLiteral("偏高"), Palette::amber};
    case SystemMemoryPressure::critical:
        return {QStringLiteral("很高"), Palette::danger};
    }
    return {QStringLiteral("暂不可读取"), Palette::muted};
}

std::optional<QString> stripObservation(const QList<MemoryObservation>& memory,
                                        const QList<ApplicationCPUFinding>& applications) {
    if (!memory.isEmpty())
        return memory.first().title + QStringLiteral("。") + memory.first().detail;
    if (!applications.isEmpty()) {
        const ApplicationCPUFinding& finding = applications.first();
        return SafeText::isolated(finding.group.name) + QStringLiteral(" 的 ") +
               QString::number(finding.group.members.size()) + QStringLiteral(" 个进程合计 ") +
               DisplayFormat::cpu(finding.group.cpuPercent()) + QStringLiteral("，已持续 ") +
               DisplayFormat::duration(finding.sustainedSeconds) + QStringLiteral("。可展开查看所属任务。");
    }
    return std::nullopt;
}

} // namespace lunorvale::OverviewLogic
