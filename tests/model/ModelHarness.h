#pragma once

// A model over a scripted process table, a clock the test moves, and files in a temporary folder.

#include "app/model/AppModel.h"
#include "app/preview/PreviewServices.h"
#include "core/monitoring/InMemoryProcessPlatform.h"
#include "platform/desktop/AIClient.h"
#include "support/EventLoop.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace lunorvale::test {

inline const QDateTime modelStart = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);

struct ModelHarness {
    // Runs the samples when the test says so.
    ManualExecutor executor;
    QTemporaryDir dir;
    InMemoryProcessPlatform platform{1000, 99};
    QDateTime clock = modelStart;
    AppModelServices services;
    // A preview model's, as the program gives them to a screenshot run.
    std::unique_ptr<PreviewServices> preview;
    std::unique_ptr<AppModel> model;

    ModelHarness() {
        services.processPlatform = &platform;
        services.now = [this] {
            return clock;
        };
        services.historyStore = [this] {
            return LocalHistoryStore(path(QStringLiteral("history.json")));
        };
        services.stopRecheckDelay = std::chrono::milliseconds(0);
        services.sampling = &executor;
        // The program's own client: the tests give it services on this machine or under .invalid.
        services.analyze = AIClient().request();
    }

    QString path(const QString& name) const { return dir.filePath(name); }
    QString settingsPath = path(QStringLiteral("defaults.json"));
    SettingsStore store() const { return SettingsStore(settingsPath); }
    // Rules that flag a process after two measured samples 30 s apart.
    void quickRules(bool reminders = false) {
        store().setValue(AppModel::Keys::monitorSettings, MonitorSettings{120, 90, 30, reminders}.toJson());
    }

    // A new run of the program over the folder; a screenshot run over services in memory, on the
    // test's clock.
    AppModel& start(bool previewModel = false) {
        model.reset();
        if (previewModel) {
            preview = std::make_unique<PreviewServices>();
            AppModelServices given = preview->modelServices();
            given.now = services.now;
            model = std::make_unique<AppModel>(true, std::move(given));
            return *model;
        }
        services.settingsStore = store();
        model = std::make_unique<AppModel>(false, services);
        return *model;
    }

    void add(int32_t pid, const QByteArray& name, uint64_t startTime = 0) {
        platform.put(InMemoryProcessPlatform::process(pid, startTime ? startTime : 5000 + pid, name,
                                                      QStringLiteral("/usr/bin/") + QString::fromUtf8(name),
                                                      QString::fromUtf8(name) + QStringLiteral(" --run")));
    }
    // Moves both clocks; each busy process uses a whole core meanwhile.
    void advance(double seconds, const QList<int32_t>& busy = {}) {
        clock = clock.addMSecs(static_cast<qint64>(seconds * 1000));
        platform.advance(seconds);
        for (int32_t pid : busy)
            platform.change(pid, [seconds](InMemoryProcessPlatform::Process& p) {
                p.record.cpu_ns += static_cast<uint64_t>(seconds * 1e9);
            });
    }
    // Runs the samples asked for and applies them.
    void runSamples() {
        ASSERT_TRUE(executor.settle());
        ASSERT_FALSE(model->isSampling());
    }
    void sample() {
        model->sampleNow();
        runSamples();
    }
    // Samples every `step` seconds for `seconds`, the busy processes at a whole core.
    void run(double seconds, const QList<int32_t>& busy, double step = 30) {
        for (double done = 0; done < seconds; done += step) {
            advance(step, busy);
            sample();
        }
    }
    const ProcessSample* listed(int32_t pid) const {
        for (const ProcessSample& sample : model->processes())
            if (sample.identity.pid == pid)
                return &sample;
        return nullptr;
    }
    QStringList historyTitles() const {
        QStringList titles;
        for (const ActivityEvent& event : model->history())
            titles.append(event.title);
        return titles;
    }
};

} // namespace lunorvale::test
