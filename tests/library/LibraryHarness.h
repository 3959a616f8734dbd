#pragma once

// A library model over scripted services: nothing reaches the disk, the processes, the removal service or
// the network unless a test puts the real thing in.

#include "app/library/ApplicationLibraryModel.h"
#include "app/ports/FileRevealer.h"
#include "app/ports/UrlOpener.h"
#include "support/EventLoop.h"

#include <QTemporaryDir>
#include <atomic>
#include <gtest/gtest.h>

namespace lunorvale::test {

struct FakeRevealer final : FileRevealer, UrlOpener {
    QList<QUrl> revealed, opened;
    void reveal(const QUrl& item) override { revealed.append(item); }
    bool open(const QUrl& url) override { return opened.append(url), true; }
};

inline InstalledApplication listedApplication(const QString& name, std::optional<QString> restriction = {}) {
    return InstalledApplication(QUrl::fromLocalFile("/Applications/" + name + ".app"), name,
                                "example." + name, "1.0", name, std::nullopt, std::move(restriction),
                                std::nullopt);
}

inline ApplicationRunningTarget runningTarget(const InstalledApplication& application, bool accepts = true,
                                              bool byIdentifierOnly = false) {
    return {byIdentifierOnly ? std::nullopt : std::optional(application.url()), application.bundleID(),
            [accepts] { return accepts; }, std::nullopt};
}

struct LibraryHarness {
    // Runs the scan, the sizing, the checks, the removals and the looks when the test says so. A test on
    // real threads gives services.work and services.looks pools of its own.
    ManualExecutor executor;
    QTemporaryDir folder;
    QList<InstalledApplication> listed;
    QList<ApplicationRunningTarget> running;
    FakeRevealer revealer;
    std::atomic<int> checks = 0; // removal checks that reached the service
    // Told which service was reached (the disk, the processes, the removal service, the network, the clock).
    std::function<void(const char*)> reached = [](const char*) {
    };
    // The removal service's answers, called off the interface thread.
    std::function<ApplicationRemovalPlan(const InstalledApplication&)> prepare =
        [](const InstalledApplication& a) {
            return ApplicationRemovalPlan{QUuid::createUuid(), a, "hash", QDateTime::currentDateTimeUtc()};
        };
    std::function<ApplicationRemovalResult(const ApplicationRemovalPlan&)> execute;
    ApplicationLibraryServices services;
    std::unique_ptr<ApplicationLibraryModel> model;

    LibraryHarness() {
        services.runningApplications = [this](const CancellationToken&) {
            return reached("processes"), running;
        };
        services.scan = [this](const CancellationToken&) {
            return reached("disk"), ApplicationScan{listed, {}, {}};
        };
        services.bundleSize = [this](const InstalledApplication& a, const CancellationToken&) {
            return reached("disk"), int64_t(a.name().size());
        };
        services.prepare = [this](const InstalledApplication& a, const auto& phase,
                                  const CancellationToken&) {
            reached("removal"), ++checks, phase(ApplicationRemovalPhase::components);
            return prepare(a);
        };
        services.execute = [this](const ApplicationRemovalPlan& plan, const auto& phase,
                                  const CancellationToken&) {
            reached("removal"), phase(ApplicationRemovalPhase::moving);
            return execute(plan);
        };
        services.removeUnfinishedTrashRecords = [this](const QList<ApplicationRemovalReceipt>&,
                                                       const QDateTime&) {
            reached("removal");
        };
        services.removalLog = [this] {
            return reached("disk"), ApplicationRemovalLog(QUrl::fromLocalFile(folder.filePath("r.json")));
        };
        services.analyze = [this](auto&&...) {
            return reached("network"), AIRequestHandle();
        };
        services.uptime = [this] {
            return reached("clock"), 0.0;
        };
        services.revealer = &revealer;
        services.work = &executor;
        services.looks = &executor;
    }

    ApplicationLibraryModel& start(bool preview = false) {
        model = std::make_unique<ApplicationLibraryModel>(preview, services);
        return *model;
    }
    // Starts the model, publishes `applications` and runs the work until every size is in.
    ApplicationLibraryModel& scanned(QList<InstalledApplication> applications) {
        listed = std::move(applications);
        ApplicationLibraryModel& library = model ? *model : start();
        library.scan();
        EXPECT_TRUE(executor.settle());
        EXPECT_FALSE(library.scanning() || library.sizing());
        return library;
    }
    // Selects the application, checks it and runs the check to its end.
    void check(const InstalledApplication& application) {
        model->setSelectedID(application.id());
        model->prepareRemoval(application);
        EXPECT_TRUE(executor.settle());
        EXPECT_FALSE(model->checkingRemoval());
    }
};

} // namespace lunorvale::test
