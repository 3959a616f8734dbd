#include "ui/kit/AIStatusButton.h"
#include "Pixels.h"
#include "ui/kit/LVSymbol.h"
#include "ui/settings/SettingsLogic.h"

#include <QTest>

using namespace lunorvale;
using namespace lunorvale::test;

TEST(AIStatusButton, TextsAndColourFollowTheState) {
    const AIConfiguration remote{"https://api.deepseek.com", "deepseek-chat"};
    struct Case {
        AIStatus status;
        QString title, longTitle, explanation;
        AdaptiveColor color;
    };
    const Case cases[] = {
        {AIStatus({"", "m"}, AIKeyStatus::available, true, true), "AI 未配置", "AI 未配置",
         "填写服务、模型和所需密钥后保存。本地建议始终可用。", Palette::muted},
        {AIStatus(remote, AIKeyStatus::missing, true, true), "AI 缺密钥", "AI 缺少密钥",
         "配置已保存。填入此服务的 API Key 并保存后，才能请求 AI 建议。", Palette::amber},
        {AIStatus(remote, AIKeyStatus::authorizationRequired, true, true), "AI 待授权", "AI 等待密钥授权",
         "配置已保存。点击授权后才能读取密钥；后台不会反复弹窗。", Palette::amber},
        {AIStatus(remote, AIKeyStatus::unavailable, true, true), "AI 密钥异常", "AI 密钥暂不可用",
         "配置已保存，但暂时无法读取密钥。可重试读取，或重新填写并保存。", Palette::amber},
        {AIStatus(remote, AIKeyStatus::saved, true, true), "AI 自动已开启", "AI 自动建议已开启",
         "遇到持续高占用时自动请求简短建议。", Palette::success},
        {AIStatus(remote, AIKeyStatus::saved, true, false), "AI 自动已开启", "AI 自动建议已开启",
         "自动建议开关已开启，恢复观察后才会自动分析。", Palette::success},
        {AIStatus(remote, AIKeyStatus::available, false, true), "AI 仅手动", "AI 仅手动分析",
         "配置已保存。需要时在任务详情中手动请求 AI 建议。", Palette::muted},
    };
    for (const Appearance appearance : {Appearance::light, Appearance::dark}) {
        // One button, updated in place through every state.
        int clicks = 0;
        auto* button =
            new AIStatusButton(SettingsLogic::statusCapsule(cases[0].status), [&clicks] { ++clicks; });
        Window window(appearance, button);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.explanation.toStdString());
            button->setStatus(SettingsLogic::statusCapsule(c.status));
            EXPECT_TRUE(LVSymbol(button->status().symbol).isRegistered());
            window.widget.adjustSize();
            EXPECT_EQ(button->text(), c.title);
            EXPECT_EQ(button->toolTip(), c.longTitle + "。" + c.explanation + " 点击查看 AI 设置。");
            EXPECT_EQ(button->accessibleName(), c.longTitle + "，打开 AI 设置");
            EXPECT_EQ(button->objectName(), "ai-status-settings");
            // The capsule's outline at 0.22 over its fill at 0.09 over the window.
            const QColor color = c.color.resolved(appearance);
            const QColor expected =
                over(color, 0.22, over(color, 0.09, Palette::canvas.resolved(appearance)));
            EXPECT_TRUE(
                near(window.image().pixelColor(button->geometry().center().x(), button->y()), expected));
        }
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(button->width() - 8, button->height() / 2));
        EXPECT_EQ(clicks, 1);
    }
}
