// The one alert every confirmation of the program goes through.
#include "support/EventLoop.h"
#include "ui/kit/LVAlert.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVText.h"
#include "ui_kit/WindowWaits.h"

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace lunorvale;

namespace {

// Runs `alert` as the program does and acts on it once it is shown.
int runAndThen(LVAlert& alert, const std::function<void()>& act) {
    QTimer::singleShot(0, &alert, [&] {
        EXPECT_TRUE(test::waitForExposed(&alert));
        act();
    });
    return presentAlertModally(alert);
}

} // namespace

TEST(KitAlert, CancelComesFirstAndKeysTakeTheRightButton) {
    const QString message =
        QStringLiteral("本机保存的全部记录将被删除，无法恢复。观察规则和已保存的 AI 配置会保留。");
    // The button Return takes is the one drawn as the default (primary).
    using enum LVButtonKind;
    const struct {
        bool destructive;
        bool returnConfirms;
        LVButtonKind cancelKind;
        LVButtonKind confirmKind;
        int onReturn; // the button Return takes
    } cases[] = {
        {true, false, primary, danger, 0},
        {true, true, primary, danger, 0}, // a destructive button never takes Return
        {false, false, primary, secondary, 0},
        {false, true, secondary, primary, 1},
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
                                     EXPECT_EQ(buttons[0]->kind(), c.cancelKind);
                                     EXPECT_EQ(buttons[1]->kind(), c.confirmKind);
                                     EXPECT_EQ(alert.defaultButton(), buttons[c.onReturn]);
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

// Seen under xfwm4: when an alert asked over a sheet closed, the window manager activated the main
// window, and Escape no longer reached the sheet.
TEST(KitAlert, TheWindowItWasAskedOverIsActiveAgain) {
    QWidget main;
    main.resize(800, 600);
    main.show();
    QWidget sheet(&main, Qt::Dialog);
    sheet.resize(400, 300);
    sheet.show();
    sheet.activateWindow();
    ASSERT_TRUE(test::waitForActive(&sheet));

    // The window manager's part: the main window takes the activation as the alert goes.
    struct ManagerActivatesMain final : QObject {
        QWidget* main = nullptr;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Hide)
                main->activateWindow();
            return false;
        }
    } manager;
    manager.main = &main;
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        LVAlert alert({QStringLiteral("清空卸载操作清单？"), {}, QStringLiteral("清空清单"), true}, &sheet);
        alert.installEventFilter(&manager);
        EXPECT_EQ(runAndThen(alert, [&] { QTest::keyClick(&alert, key); }), 0);
        EXPECT_TRUE(test::deliverDue());
        EXPECT_EQ(QApplication::activeWindow(), &sheet) << key;
    }
    // An alert that was never shown (a test's answer) changes no activation.
    main.activateWindow();
    ASSERT_TRUE(test::waitForActive(&main));
    LVAlert unseen({QStringLiteral("清空卸载操作清单？"), {}, QStringLiteral("清空清单"), true}, &sheet);
    unseen.reject();
    EXPECT_TRUE(test::deliverDue());
    EXPECT_EQ(QApplication::activeWindow(), &main);
}
