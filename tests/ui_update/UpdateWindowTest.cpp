#include "platform/update/window/UpdateWindow.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace lunorvale;

namespace {

UpdateOffer offer(UpdateStage stage, InstallKind kind, bool critical = false) {
    UpdateOffer shown;
    shown.item.version = shown.item.displayVersion = QStringLiteral("1.2.0");
    shown.item.critical = critical;
    shown.item.releaseNotes = QStringLiteral("<b>说明</b>");
    shown.currentVersion = QStringLiteral("1.0.0");
    shown.stage = stage;
    shown.installKind = kind;
    return shown;
}

QPushButton* button(UpdateWindow& window, const char* name) {
    return window.findChild<QPushButton*>(QString::fromLatin1(name));
}

} // namespace

TEST(UpdateWindow, ButtonsReportTheirChoiceOnce) {
    using Stage = UpdateStage;
    using Kind = InstallKind;
    // The button pressed (none: the window is closed), the choice reported, whether "skip" is offered.
    const QList<std::tuple<UpdateOffer, const char*, UpdateChoice, bool>> cases{
        {offer(Stage::notDownloaded, Kind::selfContained), "skip", UpdateChoice::skip, true},
        {offer(Stage::notDownloaded, Kind::selfContained, true), "install", UpdateChoice::install, false},
        {offer(Stage::downloaded, Kind::selfContained), "later", UpdateChoice::dismiss, false},
        {offer(Stage::notDownloaded, Kind::packageManaged), nullptr, UpdateChoice::dismiss, true},
        {offer(Stage::notDownloaded, Kind::notWritable), "later", UpdateChoice::dismiss, true},
    };
    for (const auto& [shown, pressed, expected, skipShown] : cases) {
        UpdateWindow window;
        QList<UpdateChoice> choices;
        window.showUpdate(shown, [&](UpdateChoice choice) { choices.append(choice); });
        EXPECT_EQ(button(window, "skip")->isVisible(), skipShown);
        // An installation that cannot be replaced from here says why and offers no installation.
        const QString restriction = UpdateWindow::installRestriction(shown.installKind);
        EXPECT_EQ(button(window, "install")->isEnabled(), restriction.isEmpty());
        bool explained = restriction.isEmpty();
        for (const QLabel* label : window.findChildren<QLabel*>()) {
            EXPECT_EQ(label->textFormat(), Qt::PlainText);
            explained = explained || (label->isVisible() && label->text() == restriction);
        }
        EXPECT_TRUE(explained);
        if (pressed)
            button(window, pressed)->click();
        else
            window.close();
        window.close(); // a second way out reports nothing more
        EXPECT_EQ(choices, QList<UpdateChoice>{expected});
        EXPECT_FALSE(window.isVisible());
    }
}
