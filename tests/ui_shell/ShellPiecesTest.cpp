// The shell's parts that need no model: tray texts, popover sizes and placement, the popover's
// dismissal, the quit confirmation and the reading of a screenshot request.
#include "app/shell/MenuBarInteraction.h"
#include "app/shell/PopoverHost.h"
#include "app/shell/PreviewScenarios.h"
#include "app/shell/StatusItem.h"
#include "support/EventLoop.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/Palette.h"
#include "ui_kit/WindowWaits.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace lunorvale;

namespace {

ProcessSample sample(int32_t pid) {
    ProcessSample s;
    s.identity = {pid, static_cast<uint64_t>(pid) * 10};
    s.name = QStringLiteral("p%1").arg(pid);
    return s;
}

Finding finding(int32_t pid) {
    return Finding{sample(pid), 400, QStringLiteral("t"), QStringLiteral("e")};
}

ApplicationCPUFinding application(QList<int32_t> pids) {
    ApplicationCPUFinding f;
    f.group.id = QStringLiteral("application:/a%1").arg(pids.value(0));
    for (int32_t pid : pids)
        f.group.members << sample(pid);
    return f;
}

} // namespace

TEST(StatusItemText, CountTitleAndToolTip) {
    struct Case {
        int count;
        std::optional<QString> version;
        QString title;
        QString toolTip;
    };
    const Case cases[] = {
        {0, std::nullopt, "", "岚栖 · 当前没有资源提醒"},
        {2, std::nullopt, " 2", "岚栖 · 2 项资源提醒"},
        {3, "1.1.1", " 3 ↑", "岚栖 · 3 项资源提醒 · 1.1.1 可更新"},
        {0, "1.1.1", " ↑", "岚栖 · 当前没有资源提醒 · 1.1.1 可更新"},
    };
    for (const Case& c : cases) {
        const StatusItemState state{c.count, c.version};
        EXPECT_EQ(StatusItemText::title(state), c.title) << c.count;
        EXPECT_EQ(StatusItemText::toolTip(state), c.toolTip) << c.count;
    }

    // A version from the network is shown as the characters it holds: a panel that draws the tooltip
    // itself gets the plain text, Qt's own tooltip (which reads markup) the escaped text.
    const QString hostile = StatusItemText::toolTip({1, "<b>1</b>"});
    EXPECT_EQ(StatusItemText::toolTipForHost(hostile, false), hostile);
    QTextDocument document;
    document.setHtml(StatusItemText::toolTipForHost(hostile, true));
    EXPECT_EQ(document.toPlainText(), hostile);

    // An application finding holding a flagged process adds nothing; one without does; memory counts.
    const QList<MemoryObservation> memory(1);
    EXPECT_EQ(StatusItemText::reminderCount({finding(7)}, {}, {application({3, 7})}), 1);
    EXPECT_EQ(StatusItemText::reminderCount({finding(7)}, memory, {application({3, 4}), application({7})}),
              3);
    EXPECT_EQ(StatusItemText::reminderCount({}, {}, {}), 0);

    // The icon repaints for a new count or version only: two other findings keep " 2".
    StatusItem item(nullptr);
    QSignalSpy repaints(&item, &StatusItem::changed);
    for (const StatusItemState& state :
         {StatusItemState{2, {}}, StatusItemState{2, {}}, StatusItemState{2, "1.1"}})
        item.show(state);
    EXPECT_EQ(repaints.count(), 2);
    EXPECT_EQ(item.title(), " 2 ↑");
}

// Where the panel came after the program, the icon sits in the X11 system tray and Qt draws the
// tooltip itself, from markup: it stays on one line, as a panel's own tooltip does.
TEST(StatusItemText, QtsOwnTooltipKeepsItsLine) {
    for (const StatusItemState& state : {StatusItemState{0, {}}, StatusItemState{12, "1.2.3"}}) {
        const QString text = StatusItemText::toolTip(state);
        QToolTip::showText(QPoint(300, 10), StatusItemText::toolTipForHost(text, true));
        const QLabel* tip = nullptr;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->inherits("QTipLabel") && window->isVisible())
                tip = qobject_cast<const QLabel*>(window);
        ASSERT_NE(tip, nullptr);
        const QFontMetrics metrics(tip->font());
        EXPECT_LT(tip->height(), 2 * metrics.lineSpacing()) << text.toStdString();
        EXPECT_GE(tip->contentsRect().width(), metrics.horizontalAdvance(text)) << text.toStdString();
        QToolTip::hideText();
    }
}

TEST(PopoverGeometry, HeightAndPlacementInsideTheScreen) {
    // Opened, never shorter than the content, never taller than the screen's room.
    EXPECT_EQ(PopoverGeometry::openingHeight(505, 430, 900), 505);
    EXPECT_EQ(PopoverGeometry::openingHeight(405, 612, 900), 612);
    EXPECT_EQ(PopoverGeometry::openingHeight(405, 612, 560), 560);

    const QRect screen(0, 0, 1280, 800);
    const QRect available(0, 28, 1280, 772); // a panel at the top
    const QSize size(344, 585);
    const QRect anchors[] = {
        QRect(1250, 4, 22, 22),   // top right, the usual tray corner
        QRect(2, 4, 22, 22),      // top left
        QRect(1250, 776, 22, 22), // bottom right: opens upwards
        QRect(640, 400, 1, 1),    // the pointer in the middle
        QRect(0, 799, 1, 1),      // the pointer in the corner
    };
    for (const QRect& anchor : anchors) {
        const QRect placed(PopoverGeometry::origin(anchor, size, available), size);
        EXPECT_TRUE(available.contains(placed)) << anchor.x() << "," << anchor.y();
        EXPECT_TRUE(screen.contains(placed));
    }
    // Under the icon when there is room, over it when not.
    EXPECT_GT(PopoverGeometry::origin(anchors[0], size, available).y(), anchors[0].bottom());
    EXPECT_LT(PopoverGeometry::origin(anchors[2], size, QRect(0, 0, 1280, 772)).y() + size.height(),
              anchors[2].top());

    using namespace std::chrono_literals;
    const auto t = std::chrono::steady_clock::now();
    EXPECT_TRUE(PopoverGeometry::isEchoOfDismissal(t, t + 399ms));
    EXPECT_FALSE(PopoverGeometry::isEchoOfDismissal(t, t + 400ms));
    EXPECT_FALSE(PopoverGeometry::isEchoOfDismissal(std::nullopt, t));
}

TEST(MenuPopoverDismissal, WhichEventsDismiss) {
    using Kind = PopoverEvent::Kind;
    const QRect button(1200, 0, 24, 24);
    struct Case {
        PopoverEvent event;
        std::optional<QRect> statusButton;
        bool dismisses;
    };
    const Case cases[] = {
        {{Kind::keyDown, Qt::Key_Escape, true, {}}, button, true},
        {{Kind::keyDown, Qt::Key_Escape, false, {}}, button, false}, // Escape in the main window
        {{Kind::keyDown, Qt::Key_Return, true, {}}, button, false},
        {{Kind::mouseDown, 0, true, {10, 10}}, button, false}, // inside the popover
        {{Kind::mouseDown, 0, false, {10, 10}}, button, true}, // anywhere else
        {{Kind::mouseDown, 0, false, {10, 10}}, std::nullopt, true},
        {{Kind::mouseDown, 0, false, {1210, 10}}, button, false}, // the tray icon toggles itself
        {{Kind::mouseDown, 0, false, {1210, 10}}, std::nullopt, true},
        {{Kind::other, Qt::Key_Escape, true, {}}, button, false},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(MenuPopoverDismissal::shouldDismiss(cases[i].event, cases[i].statusButton),
                  cases[i].dismisses)
            << "case " << i;
}

TEST(MenuPopoverDismissal, ClosesOncePerWatchAndLetsClicksThrough) {
    QWidget mainWindow;
    auto* layout = new QVBoxLayout(&mainWindow);
    auto* button = new QPushButton(QStringLiteral("按钮"));
    layout->addWidget(button);
    mainWindow.resize(300, 200);
    mainWindow.show();
    ASSERT_TRUE(test::waitForExposed(&mainWindow));
    QSignalSpy clicks(button, &QPushButton::clicked);

    PopoverHost host;
    MenuPopoverDismissal dismissal;
    int closes = 0;
    const auto open = [&] {
        host.show(new QLabel(QStringLiteral("内容")), QSize(344, 405), QRect(10, 10, 1, 1));
        EXPECT_TRUE(test::waitForExposed(host.window()));
        dismissal.start(host.window(), std::nullopt, [&] {
            ++closes;
            host.close();
        });
    };

    // Escape in the popover closes it, once, and goes no further.
    open();
    QPointer<QWidget> firstContent = host.content();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    EXPECT_TRUE(QApplication::sendEvent(host.window()->windowHandle(), &escape) && escape.isAccepted());
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(host.isShown());
    // The content of a closed popover is hidden at once and gone once the closing event is over.
    EXPECT_TRUE(firstContent.isNull() || firstContent->isHidden());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(firstContent.isNull());
    EXPECT_FALSE(dismissal.isWatching());
    QApplication::sendEvent(host.window()->windowHandle(), &escape);
    EXPECT_EQ(closes, 1);

    // Escape in the main window leaves the popover open.
    open();
    QTest::keyClick(mainWindow.windowHandle(), Qt::Key_Escape);
    EXPECT_TRUE(host.isShown());

    // A click in the main window closes the popover and still presses the button there.
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(closes, 2);
    EXPECT_FALSE(host.isShown());
    EXPECT_EQ(clicks.count(), 1);

    // The program going inactive closes it; a second start replaces the watch: one close, the newest.
    open();
    int replacedCloses = 0;
    dismissal.start(host.window(), std::nullopt, [&] { ++replacedCloses; });
    int newestCloses = 0;
    dismissal.start(host.window(), std::nullopt, [&] {
        ++newestCloses;
        host.close();
    });
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    emit qApp->applicationStateChanged(Qt::ApplicationHidden);
    EXPECT_EQ(replacedCloses, 0);
    EXPECT_EQ(newestCloses, 1);
    EXPECT_EQ(closes, 2);
    EXPECT_FALSE(host.isShown());
}

namespace {

// Presses anywhere on the screen, made by the test where it moves the pointer.
class ScriptedPresses final : public PointerPresses {
public:
    bool available = true;
    int listening = 0;
    quint64 time = 1000;

    bool listen() override {
        if (available)
            ++listening;
        return available;
    }
    void stopListening() override { --listening; }
    // A press at `at`, at `when` (default: the next moment).
    void press(QPoint at, std::optional<quint64> when = std::nullopt) {
        QCursor::setPos(at);
        emit pressed(when.value_or(++time));
    }
};

} // namespace

TEST(MenuPopoverDismissal, PressesAnywhereOnTheScreenCloseItButOnItOrTheTrayIcon) {
    PopoverHost host;
    ScriptedPresses presses;
    MenuPopoverDismissal dismissal(&presses);
    const QRect icon(760, 0, 24, 24);
    int closes = 0;
    const auto open = [&] {
        host.show(new QLabel(QStringLiteral("内容")), QSize(344, 405), QRect(600, 10, 1, 1));
        ASSERT_TRUE(test::waitForExposed(host.window()));
        dismissal.start(host.window(), icon, [&] {
            ++closes;
            host.closeFromOutside();
        });
    };

    open();
    EXPECT_EQ(presses.listening, 1);
    // On the popover itself, and on the tray icon, whose own click toggles it: nothing.
    presses.press(host.window()->geometry().center());
    presses.press(icon.center());
    EXPECT_TRUE(host.isShown());
    // Anywhere else (another program, a panel, the bare desktop): closed, once, and no longer heard.
    presses.press(QPoint(5, 500));
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(host.isShown());
    EXPECT_EQ(presses.listening, 0);
    // Closed from outside: a tray click that follows at once is that same click.
    EXPECT_TRUE(
        PopoverGeometry::isEchoOfDismissal(host.lastOutsideDismissal(), std::chrono::steady_clock::now()));
    presses.press(QPoint(5, 500));
    EXPECT_EQ(closes, 1);

    // A click on the popover is heard twice, by the program and on the screen. Judged where it landed
    // first, it is not judged again by where the pointer is once the click has done its work (a
    // control that made the popover shorter, leaving the pointer outside).
    open();
    const QPoint inside = host.window()->geometry().center();
    QMouseEvent click(QEvent::MouseButtonPress, host.window()->mapFromGlobal(QPointF(inside)),
                      QPointF(inside), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    click.setTimestamp(++presses.time);
    QApplication::sendEvent(host.window()->windowHandle(), &click);
    presses.press(QPoint(5, 500), click.timestamp());
    EXPECT_TRUE(host.isShown());
    presses.press(QPoint(5, 500));
    EXPECT_EQ(closes, 2);

    // A new watch listens once, whatever it replaced.
    open();
    open();
    EXPECT_EQ(presses.listening, 1);
    dismissal.stop();
    EXPECT_EQ(presses.listening, 0);
    host.close();

    // Where the display tells of no presses, the watch stands on the program's own events.
    presses.available = false;
    open();
    presses.press(QPoint(5, 500));
    EXPECT_TRUE(host.isShown());
    EXPECT_TRUE(dismissal.isWatching());
    dismissal.stop();
    EXPECT_EQ(presses.listening, 0);
}

// A finding arriving while the popover is open makes its content taller: the popover follows, its
// corner at the tray icon kept, never beyond the screen, never shorter than the table's height.
TEST(PopoverHost, FollowsItsContentWhileOpen) {
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect top(available.right() - 40, available.top(), 22, 22);
    const QRect bottom(available.right() - 40, available.bottom() - 21, 22, 22);
    for (const QRect& anchor : {top, bottom}) {
        SCOPED_TRACE(anchor.y());
        PopoverHost host;
        auto* content = new QWidget;
        auto* block = new QWidget;
        (new QVBoxLayout(content))->addWidget(block);
        block->setFixedHeight(200);
        host.show(content, {344, 405}, anchor);
        ASSERT_TRUE(test::waitForExposed(host.window()));
        EXPECT_EQ(host.window()->size(), QSize(344, 405));
        const auto atAnchor = [&] {
            const QRect frame = host.window()->geometry();
            return anchor == top ? frame.top() > anchor.bottom() && frame.top() - anchor.bottom() < 8
                                 : frame.bottom() < anchor.top() && anchor.top() - frame.bottom() < 8;
        };
        EXPECT_TRUE(atAnchor());

        block->setFixedHeight(480);
        EXPECT_TRUE(test::deliverDue());
        EXPECT_EQ(host.window()->height(), content->sizeHint().height());
        EXPECT_GT(host.window()->height(), 480);
        EXPECT_TRUE(atAnchor());
        EXPECT_TRUE(available.contains(host.window()->geometry()));

        block->setFixedHeight(available.height() * 2);
        EXPECT_TRUE(test::deliverDue());
        EXPECT_EQ(host.window()->height(), available.height());

        block->setFixedHeight(100);
        EXPECT_TRUE(test::deliverDue());
        EXPECT_EQ(host.window()->height(), 405);
        host.setLeastHeight(505);
        EXPECT_EQ(host.window()->height(), 505);
        EXPECT_TRUE(atAnchor());
        host.close();
    }
}

namespace {

// Whether a colour is within `tolerance` (summed over the channels) of another.
bool closeTo(const QColor& a, const QColor& b, int tolerance) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) <=
           tolerance;
}

} // namespace

// The badges sit in the corners, each well under the whole icon, and the waveform stays whole beside
// them (it may move aside), at every size a tray asks for.
TEST(StatusItem, BadgesSitInCornersAndLeaveTheWaveformWhole) {
    const struct {
        StatusItemState state;
        QList<std::pair<Qt::Corner, AdaptiveColor>> badges;
    } cases[] = {
        {{3, std::nullopt}, {{Qt::TopRightCorner, Palette::danger}}},
        {{12, std::nullopt}, {{Qt::TopRightCorner, Palette::danger}}},
        {{0, QStringLiteral("1.2")}, {{Qt::BottomRightCorner, Palette::success}}},
        {{2, QStringLiteral("1.2")},
         {{Qt::TopRightCorner, Palette::danger}, {Qt::BottomRightCorner, Palette::success}}},
    };
    const auto reach = [](int side, QPoint point, Qt::Corner corner) {
        const bool right = corner == Qt::TopRightCorner || corner == Qt::BottomRightCorner;
        const bool bottom = corner == Qt::BottomLeftCorner || corner == Qt::BottomRightCorner;
        return std::max(std::abs(point.x() - (right ? side - 1 : 0)),
                        std::abs(point.y() - (bottom ? side - 1 : 0)));
    };
    const auto light = [](const QImage& image, QPoint point) {
        return image.rect().contains(point) && QColor(image.pixel(point)).lightnessF() > 0.6;
    };
    for (const int side : {16, 22, 32}) {
        const QImage plain = StatusItem::iconPixmap(side, {}).toImage();
        // The waveform: the light strokes on the tile.
        QList<QPoint> waveform;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                if (light(plain, {x, y}))
                    waveform.append({x, y});
        ASSERT_GT(waveform.size(), side / 2);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::to_string(side) + " px, count " + std::to_string(c.state.count));
            const QImage badged = StatusItem::iconPixmap(side, c.state).toImage();
            // Nearly all of the waveform is found again, as it was or moved a little.
            qsizetype kept = 0;
            for (int dy = -side / 4; dy <= side / 4; ++dy)
                for (int dx = -side / 4; dx <= side / 4; ++dx)
                    kept = std::max(kept, std::count_if(waveform.begin(), waveform.end(), [&](QPoint point) {
                                        return light(badged, point + QPoint(dx, dy));
                                    }));
            EXPECT_GE(kept * 10, waveform.size() * 9);
            // Each badge's colour is found at its corner and nowhere far from it.
            for (const auto& [corner, colour] : c.badges) {
                bool atCorner = false;
                for (int y = 0; y < side; ++y)
                    for (int x = 0; x < side; ++x) {
                        if (!closeTo(badged.pixel(x, y), colour.resolved(Appearance::light), 40))
                            continue;
                        atCorner = atCorner || reach(side, {x, y}, corner) < side / 4;
                        EXPECT_LT(reach(side, {x, y}, corner), side * 0.7) << x << "," << y;
                    }
                EXPECT_TRUE(atCorner);
            }
        }
    }
}

TEST(PopoverHost, ABorderFramesTheContentInEitherAppearance) {
    for (const Appearance appearance : {Appearance::light, Appearance::dark}) {
        PopoverHost host;
        host.window()->setPalette(Palette::qtPalette(appearance));
        auto* content = new QWidget;
        content->setAutoFillBackground(true);
        QPalette fill = Palette::qtPalette(appearance);
        fill.setColor(QPalette::Window, Palette::surface.resolved(appearance));
        content->setPalette(fill);
        host.show(content, {344, 405}, QRect(300, 10, 1, 1));
        ASSERT_TRUE(test::waitForExposed(host.window()));
        EXPECT_EQ(content->size(), QSize(344, 405));
        const QImage image = host.window()->grab().toImage();
        const QColor line = Palette::line.resolved(appearance);
        for (const QPoint edge : {QPoint(0, 200), QPoint(343, 200), QPoint(170, 0), QPoint(170, 404)})
            EXPECT_EQ(image.pixelColor(edge), line) << edge.x() << "," << edge.y();
        EXPECT_EQ(image.pixelColor(170, 200), Palette::surface.resolved(appearance));
        host.close();
    }
}

TEST(UserQuitConfirmation, AsksOnceAndQuitsOnlyOnTheSecondButton) {
    struct Case {
        bool removing;
        bool updateReady;
        int chosen;
        bool terminates;
        QString text;
        QStringList buttons;
        QString informativeEnd;
    };
    const QStringList confirm = {"取消", "退出岚栖"};
    const Case cases[] = {
        {false, false, 1, true, "退出岚栖？", confirm, "如果只是暂时不想观察，可以选择“暂停观察”。"},
        {false, false, 0, false, "退出岚栖？", confirm, "如果只是暂时不想观察，可以选择“暂停观察”。"},
        {false, true, 1, true, "退出岚栖？", confirm, "已准备好的更新可能在退出时安装。"},
        {true, true, 1, false, "正在移除应用，请稍候", {"知道了"}, "请等本次操作结束后再退出。"},
    };
    for (const Case& c : cases) {
        int terminations = 0;
        int presented = 0;
        UserQuitConfirmation* self = nullptr;
        UserQuitConfirmation confirmation(
            [&](LVAlert& alert) {
                ++presented;
                EXPECT_EQ(alert.text().title, c.text);
                EXPECT_TRUE(alert.text().message.endsWith(c.informativeEnd))
                    << alert.text().message.toStdString();
                QStringList titles;
                for (const LVButton* b : alert.buttons())
                    titles << b->text();
                EXPECT_EQ(titles, c.buttons);
                // Return takes the first button, and only that one is drawn as the default.
                EXPECT_EQ(alert.defaultButton(), alert.buttons().first());
                for (const LVButton* b : alert.buttons())
                    EXPECT_EQ(b->kind() == LVButtonKind::primary, b == alert.defaultButton())
                        << b->text().toStdString();
                // A request while the alert is up shows nothing more.
                EXPECT_TRUE(self->isPresenting());
                self->request(c.removing, c.updateReady);
                return c.chosen;
            },
            [&] { ++terminations; });
        self = &confirmation;
        confirmation.request(c.removing, c.updateReady);
        EXPECT_EQ(presented, 1);
        EXPECT_EQ(terminations, c.terminates ? 1 : 0) << c.text.toStdString() << c.chosen;
        EXPECT_FALSE(confirmation.isPresenting());
    }

    // The default presentation answers with the button the user took: Return and Escape keep running.
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        auto alert = UserQuitConfirmation::makeAlert(false, false);
        QTimer::singleShot(0, alert.get(), [&] { QTest::keyClick(alert.get(), key); });
        EXPECT_EQ(presentAlertModally(*alert), 0);
    }
}

// "现在安装并重启" was the user's choice already: no quit alert, unless a removal must finish first.
TEST(UserQuitConfirmation, AnUpdateInstalledNowEndsWithoutAskingUnlessARemovalRuns) {
    for (const bool removing : {false, true}) {
        QStringList shown;
        int terminations = 0;
        UserQuitConfirmation confirmation(
            [&](LVAlert& alert) {
                shown << alert.text().title;
                return 0;
            },
            [&] { ++terminations; });
        EXPECT_EQ(confirmation.endForUpdate(removing), !removing);
        EXPECT_EQ(terminations, removing ? 0 : 1);
        EXPECT_EQ(shown, removing ? QStringList{"正在移除应用，请稍候"} : QStringList{});
    }
}

TEST(PreviewRequest, ReadsTheCommandLine) {
    struct Case {
        QStringList arguments;
        std::optional<PreviewRequest> expected;
    };
    const auto request = [](QString path, std::optional<QString> page, QString appearance, bool compact) {
        return PreviewRequest{path, page, appearance, compact};
    };
    const Case cases[] = {
        {{"--render-preview", "/o.png"}, request("/o.png", std::nullopt, "light", false)},
        {{"--render-preview", "/o.png", "menu", "dark"}, request("/o.png", "menu", "dark", false)},
        {{"compact", "--render-preview", "/o.png"}, request("/o.png", std::nullopt, "light", true)},
        {{"--render-preview", "/o.png", "compact"}, request("/o.png", "compact", "light", true)},
        {{"--render-preview", "/o.png", "compact", "menu", "dark"},
         request("/o.png", "compact", "menu", true)},
        {{"--render-preview", "/o.png", "history", "compact", "dark"},
         request("/o.png", "history", "compact", true)},
        {{"--render-preview", "/a.png", "stop", "dark", "x", "--render-preview", "/b.png"},
         request("/a.png", "stop", "dark", false)},
        {{"--render-preview"}, std::nullopt},
        {{"--login-launch"}, std::nullopt},
    };
    for (const Case& c : cases) {
        QStringList arguments = c.arguments;
        arguments.prepend(QStringLiteral("/usr/bin/lunorvale"));
        EXPECT_EQ(PreviewRequest::fromArguments(arguments), c.expected)
            << c.arguments.join(' ').toStdString();
    }
    EXPECT_FALSE(request("/o.png", std::nullopt, "Dark", false).isDark());
    EXPECT_EQ(request("/o.png", std::nullopt, "light", false).configuredPage(), "overview");

    // Every listed page is known once; the scenes of their own keep the sizes of their screens.
    EXPECT_EQ(QSet<QString>(PreviewScenarios::pages().begin(), PreviewScenarios::pages().end()).size(),
              PreviewScenarios::pages().size());
    EXPECT_EQ(PreviewScenarios::sceneKind(QStringLiteral("menu-update-ready")), PreviewSceneKind::menu);
    EXPECT_EQ(PreviewScenarios::sceneKind(QStringLiteral("compact")), PreviewSceneKind::mainWindow);
    EXPECT_EQ(PreviewScenarios::sceneKind(std::nullopt), PreviewSceneKind::mainWindow);
}
