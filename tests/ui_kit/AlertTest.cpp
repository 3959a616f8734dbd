// The one alert every confirmation of the program goes through.
#include "ui/kit/LVAlert.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVText.h"

#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace lunorvale;

namespace {

// Runs `alert` as the program does and acts on it once it is shown.
int runAndThen(LVAlert& alert, const std::function<void()>& act) {
    QTimer::singleShot(0, &alert, [&] {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&alert));
        act();
    });
    return presentAlertModally(alert);
}

} // namespace

TEST(KitAlert, CancelComesFirstAndKeysTakeTheRightButton) {
    const QString message =
        QStringLiteral("本机保存的全部记录将被删除，无法恢复。观察规则和已保存的 AI 配置会保留。");
    const struct {
        bool destructive;
        bool returnConfirms;
        LVButtonKind confirmKind;
        int onReturn; // the button Return takes
    } cases[] = {
        {true, false, LVButtonKind::danger, 0},
        {true, true, LVButtonKind::danger, 0}, // a destructive button never takes Return
        {false, false, LVButtonKind::primary, 0},
        {false, true, LVButtonKind::primary, 1},
    };
    QWidget owner;
    owner.resize(800, 600);
    owner.show();
    for (const auto& c : cases) {
        AlertText text{QStringLiteral("清空本机操作记录？"), message, QStringLiteral("清空记录"),
                       c.destructive};
        text.returnConfirms = c.returnConfirms;
        const auto describe = [&] {
            return std::to_string(c.destructive) + std::to_string(c.returnConfirms);
        };
        {
            LVAlert alert(text, &owner);
            EXPECT_EQ(runAndThen(alert,
                                 [&] {
                                     // "取消" is drawn left of the confirming button.
                                     const QList<LVButton*>& buttons = alert.buttons();
                                     ASSERT_EQ(buttons.size(), 2);
                                     EXPECT_EQ(buttons[0]->text(), QStringLiteral("取消"));
                                     EXPECT_EQ(buttons[1]->text(), QStringLiteral("清空记录"));
                                     EXPECT_LT(buttons[0]->mapToGlobal(QPoint()).x(),
                                               buttons[1]->mapToGlobal(QPoint()).x());
                                     EXPECT_EQ(buttons[1]->kind(), c.confirmKind);
                                     // A short sentence of a message stays on one or two lines.
                                     EXPECT_LE(alert.messageView()->lineCount(), 2);
                                     EXPECT_EQ(alert.titleView()->lineCount(), 1);
                                     QTest::keyClick(&alert, Qt::Key_Return);
                                 }),
                      c.onReturn)
                << describe();
        }
        for (const auto& step : std::initializer_list<std::pair<std::function<void(LVAlert&)>, int>>{
                 {[](LVAlert& alert) { QTest::keyClick(&alert, Qt::Key_Escape); }, 0},
                 {[](LVAlert& alert) { alert.close(); }, 0},
                 {[](LVAlert& alert) { QTest::mouseClick(alert.buttons()[1], Qt::LeftButton); }, 1},
                 {[](LVAlert& alert) { QTest::mouseClick(alert.buttons()[0], Qt::LeftButton); }, 0},
             }) {
            LVAlert alert(text, &owner);
            EXPECT_EQ(runAndThen(alert, [&] { step.first(alert); }), step.second) << describe();
        }
        EXPECT_EQ(confirmAlert([](LVAlert&) { return 1; }, &owner, text), true);
        EXPECT_EQ(confirmAlert([](LVAlert&) { return 0; }, &owner, text), false);
        EXPECT_EQ(confirmAlert([](LVAlert&) { return -1; }, &owner, text), false);
    }

    // An alert that only informs has its one button, which Return takes.
    LVAlert notice({QStringLiteral("正在移除应用，请稍候"), message, {}, false, QStringLiteral("知道了")});
    ASSERT_EQ(notice.buttons().size(), 1);
    EXPECT_EQ(notice.buttons()[0]->text(), QStringLiteral("知道了"));
    EXPECT_EQ(runAndThen(notice, [&] { QTest::keyClick(&notice, Qt::Key_Return); }), 0);
}
