#include "app/model/NotificationDeliveryState.h"

#include <gtest/gtest.h>

using namespace lunorvale;

namespace {

const double start = 5000; // seconds of the monotonic clock

ProcessSample process(int32_t pid, uint64_t startTime = 1) {
    ProcessSample sample;
    sample.identity = {pid, startTime};
    sample.executable = QStringLiteral("/usr/bin/encoder");
    sample.command = QStringLiteral("encoder --all");
    sample.uid = 1000;
    return sample;
}

Finding flagged(const ProcessSample& sample) {
    return Finding{sample, 300, QStringLiteral("持续高占用"), {}};
}

} // namespace

TEST(NotificationDeliveryState, OneReminderPerProcessUntilTheCooldownEnds) {
    NotificationDeliveryState state;
    const ProcessSample busy = process(10);
    state.reconcile({busy}, {flagged(busy)});

    const auto first = state.begin(busy, start);
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->identifier.startsWith(QStringLiteral("10:1:")));
    EXPECT_FALSE(state.begin(busy, start)) << "a second offer while the first is being posted";
    EXPECT_TRUE(state.complete(*first, true, start));
    EXPECT_FALSE(state.complete(*first, true, start)) << "answered twice";

    EXPECT_FALSE(state.begin(busy, start + 1799));
    const auto second = state.begin(busy, start + 1800);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->replacingIdentifier, first->identifier);

    // A process that is not flagged (or flagged under another program) is never reminded.
    const ProcessSample calm = process(11);
    ProcessSample changed = busy;
    changed.command = QStringLiteral("encoder --other");
    EXPECT_FALSE(state.begin(calm, start));
    EXPECT_FALSE(state.begin(changed, start + 4000));
}

TEST(NotificationDeliveryState, WithdrawsWhatNoLongerHolds) {
    NotificationDeliveryState state;
    const ProcessSample a = process(30);
    const ProcessSample b = process(31);
    state.reconcile({a, b}, {flagged(a), flagged(b)});
    const auto shownA = state.begin(a, start);
    const auto pendingB = state.begin(b, start);
    ASSERT_TRUE(shownA && pendingB);
    ASSERT_TRUE(state.complete(*shownA, true, start));

    // a calms down, b is still being posted: both go, and b's late answer is refused.
    const QStringList withdrawn = state.reconcile({a, b}, {});
    EXPECT_EQ(QSet<QString>(withdrawn.cbegin(), withdrawn.cend()),
              (QSet<QString>{shownA->identifier, pendingB->identifier}));
    EXPECT_FALSE(state.complete(*pendingB, true, start));
    // a keeps its cooldown when it comes back soon.
    state.reconcile({a, b}, {flagged(a)});
    EXPECT_FALSE(state.begin(a, start + 600));

    // A reused pid is another process: the old entry goes with its timing.
    const ProcessSample reused = process(30, 2);
    EXPECT_TRUE(state.reconcile({reused}, {flagged(reused)}).isEmpty());
    EXPECT_TRUE(state.begin(reused, start + 600));
    const auto cancelled = state.cancel(reused.identity);
    EXPECT_EQ(cancelled.size(), 1);
    EXPECT_TRUE(state.reset().isEmpty());
}
