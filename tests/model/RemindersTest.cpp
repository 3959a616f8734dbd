#include "ModelHarness.h"
#include "platform/desktop/FreedesktopNotifications.h"
#include "support/FakeDesktop.h"
#include "support/PrivateBus.h"

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

struct Desktop {
    PrivateBus bus;
    FakeNotificationServer server{bus.connect(QStringLiteral("server"))};
    FreedesktopNotifications center{bus.connect(QStringLiteral("client"))};

    // Returns once the server has handled everything the model sent before.
    void sync() {
        bool answered = false;
        center.authorizationStatus([&](NotificationAuthorization) { answered = true; });
        ASSERT_TRUE(waitUntil([&] { return answered; }));
    }
};

} // namespace

TEST(Reminders, PostedOncePerHalfHourRetriedAndWithdrawn) {
    Desktop desktop;
    ASSERT_TRUE(desktop.bus.isRunning());
    FakeNotificationServer& server = desktop.server;
    ModelHarness h;
    h.quickRules(true);
    h.add(600, "encoder");
    h.add(601, "renderer");
    h.services.notifications = &desktop.center;
    AppModel& model = h.start();
    ASSERT_TRUE(waitUntil([&] { return model.notificationStatus() == QStringLiteral("系统已允许"); }));

    // Samples at `at` seconds after `from`, the busy processes at a whole core since the last one.
    const auto sampleAt = [&](const QDateTime& from, qint64 at, const QList<int32_t>& busy) {
        h.advance(h.clock.secsTo(from.addSecs(at)), busy);
        h.sample();
        desktop.sync();
    };
    h.sample();
    while (model.findings().isEmpty())
        sampleAt(h.clock, 30, {600});
    desktop.sync();
    ASSERT_EQ(server.log, QStringList{QStringLiteral("notify:1")});
    // Led by a left-to-right mark: a server would read a body led by a Hebrew or Arabic name right to left.
    EXPECT_EQ(server.shown[0].summary, QStringLiteral("\u200E岚栖：持续高占用，请查看进度"));
    EXPECT_TRUE(server.shown[0].body.startsWith(QStringLiteral("\u200E\u2068") +
                                                h.listed(600)->displaySource() +
                                                QStringLiteral("\u2069 已持续高占用 ")));
    EXPECT_TRUE(
        server.shown[0].body.endsWith(QStringLiteral("。点此查看当前状态；若任务仍有进展，可以继续等待。")));
    EXPECT_TRUE(server.shown[0].actions.contains(QStringLiteral("default")));

    // Samples up to just before `wait` seconds after the last post (nothing new is posted), then at
    // `wait` (the next post comes).
    const auto nothingUntil = [&](qint64 wait, const QList<int32_t>& busy) {
        const QDateTime last = h.clock;
        const qsizetype before = server.log.size();
        for (qint64 at = 120; at < wait - 1; at += 120)
            sampleAt(last, at, busy);
        sampleAt(last, wait - 1, busy);
        EXPECT_EQ(server.log.size(), before) << wait;
        sampleAt(last, wait, busy);
    };

    // A wall clock stepped 6 h ahead is no half hour gone: neither the reminder nor the finding's
    // event repeats until the monotonic clock has gone that far.
    h.clock = h.clock.addSecs(6 * 3600);
    sampleAt(h.clock, 120, {600});
    EXPECT_EQ(server.log, QStringList{QStringLiteral("notify:1")});
    EXPECT_EQ(h.historyTitles().count(QStringLiteral("发现持续高占用")), 1);

    // Nothing more until half an hour after the delivery; then the old one goes before the new.
    nothingUntil(1800 - 120, {600});
    EXPECT_EQ(server.log, (QStringList{QStringLiteral("notify:1"), QStringLiteral("close:1"),
                                       QStringLiteral("notify:2")}));

    // The finding ends: its reminder is withdrawn.
    sampleAt(h.clock, 30, {});
    EXPECT_EQ(server.log.last(), QStringLiteral("close:2"));

    // Failed posts are retried after 30 s, 60 s and half an hour.
    server.log.clear();
    server.failures = 3;
    while (model.findings().isEmpty())
        sampleAt(h.clock, 30, {601});
    EXPECT_EQ(server.log, QStringList{QStringLiteral("fail")});
    EXPECT_EQ(model.statusMessage(),
              QStringLiteral("系统通知发送失败，将稍后重试：桌面通知服务拒绝了这条提醒。"));
    for (qint64 wait : {30, 60, 1800})
        nothingUntil(wait, {601});
    EXPECT_EQ(server.log, (QStringList{QStringLiteral("fail"), QStringLiteral("fail"), QStringLiteral("fail"),
                                       QStringLiteral("notify:3")}));

    // A click selects the process and asks for the main window.
    int windowRequests = 0;
    QObject::connect(&model, &AppModel::mainWindowRequested, [&] { ++windowRequests; });
    const QUuid navigation = model.navigationRequest();
    server.click(3);
    ASSERT_TRUE(waitUntil([&] { return windowRequests == 1; }));
    EXPECT_EQ(model.selectedID(), (ProcessIdentity{601, 5601}));
    EXPECT_EQ(model.openedNotificationID(), model.selectedID());
    EXPECT_NE(model.navigationRequest(), navigation);
}

TEST(Reminders, OpeningAReminderKey) {
    const std::vector<std::pair<std::optional<QString>, std::optional<ProcessIdentity>>> cases{
        {QStringLiteral("5:6"), ProcessIdentity{5, 6}},
        {QStringLiteral("::5::6"), ProcessIdentity{5, 6}},
        {std::nullopt, std::nullopt},
        {QStringLiteral(""), std::nullopt},
        {QStringLiteral("56"), std::nullopt},
        {QStringLiteral("0:6"), std::nullopt},
        {QStringLiteral("-5:6"), std::nullopt},
        {QStringLiteral("5:6:7"), std::nullopt},
        {QStringLiteral("5:x"), std::nullopt},
    };
    ModelHarness h;
    AppModel& model = h.start();
    for (const auto& [key, identity] : cases) {
        model.setOperationMessage(std::nullopt);
        model.openNotification(key);
        EXPECT_EQ(model.selectedID(), identity) << key.value_or(QStringLiteral("(none)")).toStdString();
        EXPECT_EQ(model.openedNotificationID(), identity);
        EXPECT_EQ(model.operationMessage().has_value(), !identity);
    }
}
