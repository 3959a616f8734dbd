#include "core/ai/AIServiceError.h"
#include "core/ai/AutomaticAdviceBudget.h"
#include "core/ai/ProcessDecisionAdvice.h"

#include <gtest/gtest.h>

using namespace lunorvale;
using Decision = ProcessDecisionAdvice::Decision;

namespace {

std::optional<ProcessDecisionAdvice> parsed(const QString& reply) {
    try {
        return ProcessDecisionAdvice::parse(reply);
    } catch (const AIServiceError& error) {
        EXPECT_EQ(error.kind(), AIServiceError::Kind::invalidResponse);
        return std::nullopt;
    }
}

QString replyWithReason(const QString& reason) {
    return QStringLiteral(R"({"decision":"check_progress","reason":"%1"})").arg(reason);
}

const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
QDateTime ago(qint64 seconds) {
    return now.addSecs(-seconds);
}

} // namespace

TEST(ProcessDecisionAdvice, Fences) {
    const QString object = QStringLiteral(R"({"decision":"keep_observing","reason":"进度在推进"})");
    const ProcessDecisionAdvice expected{Decision::keepObserving, QStringLiteral("进度在推进")};
    EXPECT_EQ(parsed("```json\n" + object + "\n```"), expected);
    EXPECT_EQ(parsed("```\n" + object + "```"), expected);
    EXPECT_EQ(parsed(" \n" + object + "\n "), expected);
    EXPECT_FALSE(parsed("```JSON\n" + object + "\n```"));
    EXPECT_FALSE(parsed("``` json\n" + object + "\n```"));
    EXPECT_FALSE(parsed("```json\n" + object));
    EXPECT_FALSE(parsed("```json\n```"));
}

TEST(ProcessDecisionAdvice, ShapeAndReason) {
    EXPECT_EQ(parsed(R"({"decision":"consider_quitting","reason":" 可退出 ","extra":1})"),
              (ProcessDecisionAdvice{Decision::considerQuitting, QStringLiteral("可退出")}));
    EXPECT_FALSE(parsed(R"({"decision":"check_progress"})"));
    EXPECT_FALSE(parsed(R"({"decision":"Check_Progress","reason":"x"})"));
    EXPECT_FALSE(parsed(R"({"decision":"check_progress","reason":5})"));
    EXPECT_FALSE(parsed(R"(["check_progress"])"));
    EXPECT_FALSE(parsed("not json"));
    EXPECT_TRUE(parsed(replyWithReason(QString(80, QChar(0x6C49)))));
    EXPECT_FALSE(parsed(replyWithReason(QString(81, QChar(0x6C49)))));
    // 80 flags are 160 code points but 80 characters.
    QString flags;
    for (int i = 0; i < 80; ++i)
        flags += QStringLiteral("🇨🇳");
    EXPECT_TRUE(parsed(replyWithReason(flags)));
    EXPECT_FALSE(parsed(replyWithReason(QStringLiteral("   "))));
    EXPECT_FALSE(parsed(replyWithReason(QStringLiteral("第一行\\n第二行"))));
}

TEST(ProcessDecisionAdvice, ReplySizeLimit) {
    const QString head = QStringLiteral(R"({"decision":"check_progress","reason":"ok","pad":")");
    const QString tail = QStringLiteral("\"}");
    const QString exact = head + QString(2048 - head.size() - tail.size(), 'x') + tail;
    EXPECT_TRUE(parsed(exact));
    EXPECT_TRUE(parsed("```json\n" + exact + "```"));
    EXPECT_FALSE(parsed(head + QString(2049 - head.size() - tail.size(), 'x') + tail));
}

TEST(ProcessDecisionAdvice, TitlesAndRawValues) {
    EXPECT_EQ(ProcessDecisionAdvice::title(Decision::considerQuitting),
              QStringLiteral("确认无进展后，再考虑正常退出"));
    EXPECT_EQ(ProcessDecisionAdvice::decisionFromRawValue(QStringLiteral("keep_observing")),
              Decision::keepObserving);
    EXPECT_FALSE(ProcessDecisionAdvice::decisionFromRawValue(QStringLiteral("KEEP_OBSERVING")));
}

TEST(AutomaticAdviceBudget, HourBoundary) {
    AutomaticAdviceBudget full{{ago(3599), ago(1800), ago(60)}};
    EXPECT_FALSE(full.reserve(now));
    EXPECT_EQ(full.attempts.size(), 3);
    AutomaticAdviceBudget room{{ago(3600), ago(1800), ago(60)}};
    EXPECT_TRUE(room.reserve(now));
    EXPECT_EQ(room.attempts.last(), now);
    EXPECT_EQ(room.attempts.size(), 4);
}

TEST(AutomaticAdviceBudget, DayBoundary) {
    QList<QDateTime> twelve;
    for (int i = 0; i < 12; ++i)
        twelve.append(ago(86399 - i * 3600));
    AutomaticAdviceBudget full{twelve};
    EXPECT_FALSE(full.reserve(now));

    QList<QDateTime> eleven{ago(86400)};
    for (int i = 0; i < 11; ++i)
        eleven.append(ago(86000 - i * 3600));
    AutomaticAdviceBudget dropped{eleven};
    EXPECT_TRUE(dropped.reserve(now));
    EXPECT_EQ(dropped.attempts.size(), 12);
    EXPECT_EQ(dropped.attempts.first(), ago(86000));

    // The old attempt is gone even when the answer is no.
    AutomaticAdviceBudget refused{{ago(90000), ago(10), ago(20), ago(30)}};
    EXPECT_FALSE(refused.reserve(now));
    EXPECT_EQ(refused.attempts.size(), 3);
}

TEST(AutomaticAdviceBudget, FutureAttempts) {
    AutomaticAdviceBudget soon{{ago(100), now.addSecs(1)}};
    EXPECT_FALSE(soon.reserve(now));
    EXPECT_EQ(soon.attempts.size(), 2);

    AutomaticAdviceBudget lastDay{{now.addSecs(86400)}};
    EXPECT_FALSE(lastDay.reserve(now));
    EXPECT_EQ(lastDay.attempts.size(), 1);

    // A time more than a day ahead is damage from a clock that was once wrong: dropped, not obeyed.
    AutomaticAdviceBudget damaged{{ago(100), now.addSecs(86401), now.addSecs(86400LL * 365), QDateTime()}};
    EXPECT_TRUE(damaged.reserve(now));
    EXPECT_EQ(damaged.attempts, (QList<QDateTime>{ago(100), now}));

    AutomaticAdviceBudget invalidDate{{ago(100)}};
    EXPECT_FALSE(invalidDate.reserve(QDateTime()));
    EXPECT_EQ(invalidDate.attempts.size(), 1);
}
