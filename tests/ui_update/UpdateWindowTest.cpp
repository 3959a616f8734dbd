#include "ui/settings/UpdateWindow.h"

#include "ui/kit/LVButton.h"
#include "ui/kit/Palette.h"
#include "ui_kit/FocusWalk.h"
#include "ui_kit/WindowWaits.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

using namespace lunorvale;
using namespace lunorvale::test;

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

LVButton* button(UpdateWindow& window, const char* name) {
    return window.findChild<LVButton*>(QString::fromLatin1(name));
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
        window.activateWindow();
        ASSERT_TRUE(test::waitForActive(&window));
        EXPECT_TRUE(everyFocusShows(window, window, *button(window, "later"), {}));
        if (pressed)
            button(window, pressed)->click();
        else
            window.close();
        window.close(); // a second way out reports nothing more
        EXPECT_EQ(choices, QList<UpdateChoice>{expected});
        EXPECT_FALSE(window.isVisible());
    }
}

// The window opens centred over the main window, or on the screen while that is closed, stays centred
// there as the download chosen in it replaces the offer, and draws in the program's appearance, also
// when that changes while it is open.
TEST(UpdateWindow, OpensCentredOverTheMainWindowOrTheScreenInTheProgramsAppearance) {
    QWidget main;
    main.setGeometry(60, 40, 700, 500);
    main.show();
    for (const bool mainShown : {true, false}) {
        main.setVisible(mainShown);
        UpdateWindow window([&main] { return &main; });
        window.showUpdate(offer(UpdateStage::notDownloaded, InstallKind::selfContained),
                          [&](UpdateChoice) { window.showProgress({}, 1, 2, {}); });
        ASSERT_TRUE(test::waitForExposed(&window));
        const QRect over = mainShown ? main.frameGeometry() : window.screen()->availableGeometry();
        // Within the window manager's frame around it.
        EXPECT_LE((window.frameGeometry().center() - over.center()).manhattanLength(), 16) << mainShown;
        button(window, "install")->click();
        EXPECT_LE((window.frameGeometry().center() - over.center()).manhattanLength(), 16) << mainShown;
        for (const Appearance appearance : {Appearance::dark, Appearance::light}) {
            Palette::apply(appearance);
            QApplication::processEvents();
            const QImage image = window.grab().toImage();
            EXPECT_EQ(image.pixelColor(3, 3), Palette::canvas.resolved(appearance));
            EXPECT_EQ(window.findChild<QLabel*>()->palette().color(QPalette::WindowText),
                      Palette::ink.resolved(appearance));
        }
    }
}

// Return takes the button drawn as the default (the only primary one); Escape waits, as closing does.
TEST(UpdateWindow, ReturnTakesTheDefaultButtonAndEscapeWaits) {
    // The offer shown (none: a download's progress), the default button, what Return reports.
    const QList<std::tuple<std::optional<UpdateOffer>, const char*, UpdateChoice>> cases{
        {offer(UpdateStage::notDownloaded, InstallKind::selfContained), "install", UpdateChoice::install},
        {offer(UpdateStage::downloaded, InstallKind::selfContained), "install", UpdateChoice::install},
        {offer(UpdateStage::notDownloaded, InstallKind::packageManaged), "later", UpdateChoice::dismiss},
        {std::nullopt, nullptr, {}},
    };
    for (const auto& [shown, defaultName, onReturn] : cases) {
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            UpdateWindow window;
            QList<UpdateChoice> choices;
            if (shown)
                window.showUpdate(*shown, [&](UpdateChoice choice) { choices << choice; });
            else
                window.showProgress({}, 1, 2, [] { FAIL() << "a key cancelled the download"; });
            EXPECT_EQ(window.defaultButton(), defaultName ? button(window, defaultName) : nullptr);
            for (const LVButton* b : window.findChildren<LVButton*>())
                EXPECT_TRUE(b->isHidden() ||
                            (b->kind() == LVButtonKind::primary) == (b == window.defaultButton()));
            QTest::keyClick(&window, key);
            const UpdateChoice expected = key == Qt::Key_Return ? onReturn : UpdateChoice::dismiss;
            EXPECT_EQ(choices, shown ? QList<UpdateChoice>{expected} : QList<UpdateChoice>{});
            EXPECT_EQ(window.isVisible(), !shown && key == Qt::Key_Return); // a download's window stays
        }
    }
}
