#pragma once

// A library model over scripted services: nothing reaches the disk, the processes, the removal service or
// the network unless a test puts the real thing in.

#include "app/library/ApplicationLibraryModel.h"
#include "platform/desktop/ApplicationLauncher.h"
#include "platform/desktop/FileReveal.h"
#include "support/EventLoop.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <system_error>

namespace lunorvale::test {

// Holds background work until the test opens it.
class Gate final {
public:
    void wait() {
        std::unique_lock lock(m_lock);
        m_waiting = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
    }
    void open() {
        const std::lock_guard lock(m_lock);
        m_open = true;
        m_changed.notify_all();
    }
    bool waiting() {
        const std::lock_guard lock(m_lock);
        return m_waiting;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_open = false;
    bool m_waiting = false;
};

struct FakeRevealer final : FileRevealer, UrlOpener {
    QList<QUrl> revealed;
    QList<QUrl> opened;
    void reveal(const QUrl& item) override { revealed.append(item); }
    bool open(const QUrl& url) override {
        opened.append(url);
        return true;
    }
};

inline InstalledApplication listedApplication(const QString& name, std::optional<QString> restriction = {},
                                              const QString& bundleID = {}) {
    return InstalledApplication(
        QUrl::fromLocalFile(QStringLiteral("/Applications/") + name + QStringLiteral(".app")), name,
        bundleID.isEmpty() ? QStringLiteral("example.") + name.toLower() : bundleID, QStringLiteral("1.0"),
        name, std::nullopt, std::move(restriction), std::nullopt);
}

inline ApplicationRunningTarget runningTarget(const InstalledApplication& application, bool accepts = true,
                                              bool byIdentifierOnly = false) {
    return ApplicationRunningTarget{byIdentifierOnly ? std::nullopt : std::optional(application.url()),
                                    application.bundleID(), [accepts] {
                                        return accepts;
                                    }};
}

struct LibraryHarness {
    QTemporaryDir folder;
    QList<InstalledApplication> listed;
    bool scanFails = false;
    QString unsizable; // the bundle whose size cannot be computed
    QList<ApplicationRunningTarget> running;
    FakeRevealer revealer;
    QList<QString> prepared; // ids handed to the removal check
    std::function<ApplicationRemovalPlan(const InstalledApplication&)> prepare =
        [](const InstalledApplication& a) {
            return ApplicationRemovalPlan{QUuid::createUuid(), a, QByteArray("hash"),
                                          QDateTime::currentDateTimeUtc()};
        };
    std::function<ApplicationRemovalResult(const ApplicationRemovalPlan&)> execute;
    ApplicationLibraryServices services;
    std::unique_ptr<ApplicationLibraryModel> model;

    LibraryHarness() {
        services.runningApplications = [this] {
            return running;
        };
        services.scan = [this](const CancellationToken&) {
            if (scanFails)
                throw std::runtime_error("unreadable folder");
            return ApplicationScan{listed, {}, {}};
        };
        services.bundleSize = [this](const InstalledApplication& a, const CancellationToken&) {
            if (a.id() == unsizable)
                throw std::system_error(EACCES, std::generic_category());
            return int64_t(a.name().size());
        };
        services.prepare = [this](const InstalledApplication& a,
                                  const ApplicationLibraryServices::PhaseCallback& phase,
                                  const CancellationToken&) {
            phase(ApplicationRemovalPhase::components);
            QMetaObject::invokeMethod(QCoreApplication::instance(),
                                      [this, id = a.id()] { prepared.append(id); });
            return prepare(a);
        };
        services.execute = [this](const ApplicationRemovalPlan& plan,
                                  const ApplicationLibraryServices::PhaseCallback& phase,
                                  const CancellationToken&) {
            phase(ApplicationRemovalPhase::moving);
            return execute(plan);
        };
        services.removalLog = [this] {
            return ApplicationRemovalLog(
                QUrl::fromLocalFile(folder.path() + QStringLiteral("/removals.json")));
        };
        services.revealer = &revealer;
    }

    ApplicationLibraryModel& start(bool preview = false) {
        model = std::make_unique<ApplicationLibraryModel>(preview, services);
        return *model;
    }
    // Starts the model, publishes `listed` and waits until every size is in.
    ApplicationLibraryModel& scanned(QList<InstalledApplication> applications) {
        listed = std::move(applications);
        ApplicationLibraryModel& library = model ? *model : start();
        library.scan();
        EXPECT_TRUE(spinUntil([&] { return !library.scanning() && !library.sizing(); }));
        return library;
    }
    // Selects the application, checks it and waits for the check to end.
    void check(const InstalledApplication& application) {
        model->setSelectedID(application.id());
        model->prepareRemoval(application);
        EXPECT_TRUE(spinUntil([&] { return !model->checkingRemoval(); }));
    }
};

} // namespace lunorvale::test
