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

QString withReason(const QString& reason) {
    return QStringLiteral(R"({"decision":"check_progress","reason":"%1"})").arg(reason);
}

const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
QDateTime ago(qint64 seconds) {
    return now.addSecs(-seconds);
}

} // namespace

TEST(ProcessDecisionAdvice, Parse) {
    const QString object = QStringLiteral(R"({"decision":"keep_observing","reason":"进度在推进"})");
    const ProcessDecisionAdvice observing{Decision::keepObserving, QStringLiteral("进度在推进")};
    const QString head = QStringLiteral(R"({"decision":"check_progress","reason":"ok","pad":")");
    const auto padded = [&](int bytes) {
        return head + QString(bytes - head.size() - 2, 'x') + "\"}";
    };
    QString flags; // 80 flags: 160 code points, 80 characters
    for (int i = 0; i < 80; ++i)
        flags += QStringLiteral("🇨🇳");
    const QList<QPair<QString, bool>> cases{
        {"```json\n" + object + "\n```", true},
        {"```\n" + object + "```", true},
        {" \n" + object + "\n ", true},
        {"```JSON\n" + object + "\n```", false},
        {"``` json\n" + object + "\n```", false},
        {"```json\n" + object, false},
        {"```json\n```", false},
        {R"({"decision":"check_progress"})", false},
        {R"({"decision":"Check_Progress","reason":"x"})", false},
        {R"({"decision":"check_progress","reason":5})", false},
        {R"(["check_progress"])", false},
        {withReason(QString(80, QChar(0x6C49))), true},
        {withReason(QString(81, QChar(0x6C49))), false},
        {withReason(flags), true},
        {withReason("   "), false},
        {withReason("第一行\\n第二行"), false},
        {withReason("右\\u202e左"), false},
        {withReason("\\udc00"), false},
        {padded(2048), true},
        {"```json\n" + padded(2048) + "```", true},
        {padded(2049), false},
    };
    for (const auto& [reply, accepted] : cases)
        EXPECT_EQ(parsed(reply).has_value(), accepted) << reply.left(80).toStdString();
    EXPECT_EQ(parsed("```json\n" + object + "\n```"), observing);
    EXPECT_EQ(parsed(R"({"decision":"consider_quitting","reason":" 可退出 ","extra":1})"),
              (ProcessDecisionAdvice{Decision::considerQuitting, QStringLiteral("可退出")}));
    // An unpaired surrogate is not a character: it is left out, not refused.
    EXPECT_EQ(parsed(withReason("可\\ud800行")),
              (ProcessDecisionAdvice{Decision::checkProgress, QStringLiteral("可行")}));
    EXPECT_EQ(ProcessDecisionAdvice::title(Decision::considerQuitting),
              QStringLiteral("确认无进展后，再考虑正常退出"));
}

TEST(AutomaticAdviceBudget, HourAndDayBoundaries) {
    QList<QDateTime> twelve, eleven{ago(86400)};
    for (int i = 0; i < 12; ++i)
        twelve.append(ago(86399 - i * 3600));
    for (int i = 0; i < 11; ++i)
        eleven.append(ago(86000 - i * 3600));
    const QList<std::tuple<QList<QDateTime>, bool, QList<QDateTime>>> cases{
        {{ago(3599), ago(1800), ago(60)}, false, {ago(3599), ago(1800), ago(60)}},
        {{ago(3600), ago(1800), ago(60)}, true, {ago(3600), ago(1800), ago(60), now}},
        {twelve, false, twelve},
        {eleven, true, eleven.mid(1) << now}, // the attempt exactly a day old is dropped first
        {{ago(90000), ago(10), ago(20), ago(30)}, false, {ago(10), ago(20), ago(30)}}, // dropped even on no
        {{ago(100), now.addSecs(1)}, false, {ago(100), now.addSecs(1)}},               // clock set back
        {{now.addSecs(86400)}, false, {now.addSecs(86400)}},
        // More than a day ahead is damage from a clock that was once wrong: dropped, not obeyed.
        {{ago(100), now.addSecs(86401), now.addSecs(86400LL * 365), QDateTime()}, true, {ago(100), now}},
    };
    for (qsizetype i = 0; i < cases.size(); ++i) {
        const auto& [attempts, granted, after] = cases[i];
        AutomaticAdviceBudget budget{attempts};
        EXPECT_EQ(budget.reserve(now), granted) << "case " << i;
        EXPECT_EQ(budget.attempts, after) << "case " << i;
    }
    AutomaticAdviceBudget invalidDate{{ago(100)}};
    EXPECT_FALSE(invalidDate.reserve(QDateTime()));
    EXPECT_EQ(invalidDate.attempts.size(), 1);
}
