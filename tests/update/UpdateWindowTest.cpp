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
    struct Case {
        UpdateOffer offer;
        const char* pressed; // nullptr: the window is closed
        std::optional<UpdateChoice> expected;
        bool skipShown;
        bool installEnabled;
    };
    const QList<Case> cases{
        {offer(UpdateStage::notDownloaded, InstallKind::selfContained), "skip", UpdateChoice::skip, true, true},
        {offer(UpdateStage::notDownloaded, InstallKind::selfContained), "later", UpdateChoice::dismiss, true, true},
        {offer(UpdateStage::notDownloaded, InstallKind::selfContained, true), "install", UpdateChoice::install, false, true},
        {offer(UpdateStage::downloaded, InstallKind::selfContained), "install", UpdateChoice::install, false, true},
        {offer(UpdateStage::notDownloaded, InstallKind::packageManaged), nullptr, UpdateChoice::dismiss, true, false},
        {offer(UpdateStage::notDownloaded, InstallKind::notWritable), "later", UpdateChoice::dismiss, true, false},
    };
    for (const Case& c : cases) {
        UpdateWindow window;
        QList<UpdateChoice> choices;
        window.showUpdate(c.offer, [&](UpdateChoice choice) { choices.append(choice); });
        EXPECT_EQ(button(window, "skip")->isVisible(), c.skipShown);
        EXPECT_EQ(button(window, "install")->isEnabled(), c.installEnabled);
        const QString restriction = UpdateWindow::installRestriction(c.offer.installKind);
        bool explained = restriction.isEmpty();
        for (const QLabel* label : window.findChildren<QLabel*>()) {
            EXPECT_EQ(label->textFormat(), Qt::PlainText);
            explained = explained || (label->isVisible() && label->text() == restriction);
        }
        EXPECT_TRUE(explained);
        if (c.pressed)
            button(window, c.pressed)->click();
        else
            window.close();
        window.QWidget::close(); // a second way out reports nothing more
        EXPECT_EQ(choices, QList<UpdateChoice>{*c.expected});
        EXPECT_FALSE(window.isVisible());
    }
}
