#include "ui/window/MenuContent.h"

#include "app/model/AppModel.h"
#include "core/monitoring/DisplayFormat.h"
#include "ui/kit/AIStatusButton.h"
#include "ui/kit/Elided.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVBadge.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVRule.h"
#include "ui/kit/LVSymbol.h"
#include "ui/kit/LVText.h"
#include "ui/kit/RefreshCoalescer.h"
#include "ui/settings/MenuSoftwareUpdateReminder.h"
#include "ui/settings/SettingsLogic.h"
#include "ui/window/MenuContentLogic.h"
#include "ui/window/PageParts.h"
#include "ui/window/ProcessAdviceView.h"
#include "ui/window/ProcessesLogic.h"

#include <QAction>
#include <QFocusEvent>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QUuid>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace lunorvale {

namespace {

constexpr int contentWidth = 344;
constexpr int margin = 20;
constexpr int spacing = 15;
// How far a process row's ring lies outside its bounds, which its text and symbols lie inside of.
constexpr int rowRingMargin = 3;
// A pressable section's text reaches its bounds: its ring lies this much farther out, so that the text has
// the room from it that a row's text has.
constexpr int sectionRingMargin = rowRingMargin + 2;
// The rings lie outside their controls, and the middle clips what lies outside it: the middle reaches this
// far into the side margins and its column as far in again, so that a ring shows whole and everything
// stays in line with the header and the controls.
constexpr int ringReach = std::max(rowRingMargin, sectionRingMargin);

QFont rowFont() {
    return Fonts::system(12);
}

// The scroll area of the middle: clear, no frame, never wider than the popover.
// The middle of the popover: as tall as its content at the popover's inner width, shorter (scrolling)
// only where the popover is.
class MiddleArea final : public QScrollArea {
public:
    explicit MiddleArea(int width) : m_width(width) {
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    }
    QSize sizeHint() const override {
        const QLayout* column = widget()->layout();
        const int height = column->hasHeightForWidth() ? column->totalHeightForWidth(m_width)
                                                       : column->totalSizeHint().height();
        return {m_width, height + 2 * frameWidth()};
    }

protected:
    bool event(QEvent* event) override {
        // Its content's layout changed (the update reminder shows or hides itself): the hint above
        // changed with it, which the popover's layout hears of only when told. Untold, it kept the
        // controls below where they were until the next refresh (a sample) moved them, perhaps between
        // the press and the release of a click on one of them.
        if (event->type() == QEvent::LayoutRequest)
            updateGeometry();
        return QScrollArea::event(event);
    }

private:
    int m_width;
};

QScrollArea* makeMiddle(QWidget* content, int width) {
    auto* area = new MiddleArea(width);
    area->setFrameShape(QFrame::NoFrame);
    // Tab stops at the controls in it, which it scrolls into view, never at the view itself.
    area->setFocusPolicy(Qt::NoFocus);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area->setWidget(content);
    // Clear, so the popover's surface shows through (setWidget turns filling on).
    area->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    area->setMinimumHeight(0);
    return area;
}

} // namespace

PressableArea::PressableArea(QWidget* content, QWidget* parent)
    : QAbstractButton(parent), m_content(content) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    // The content only shows; the area takes every click on it.
    content->setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::TabFocus);
    // Its content's text reaches its edges: the ring goes around it, with the room the rows have.
    FocusRing::surround(*this, sectionRingMargin, 6);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

// Its ring is drawn around it (see the constructor); the content paints the rest.
void PressableArea::paintEvent(QPaintEvent*) {}

MenuProcessRow::MenuProcessRow(QWidget* parent) : QAbstractButton(parent) {
    setFont(rowFont());
    setCursor(Qt::PointingHandCursor);
    // The row's bounds are its line of text and symbols: its ring goes around them.
    FocusRing::surround(*this, rowRingMargin, 6);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void MenuProcessRow::setSample(const ProcessSample& sample, bool flagged) {
    if (sample == m_sample && flagged == m_flagged)
        return;
    m_sample = sample;
    m_flagged = flagged;
    setAccessibleName(ProcessesLogic::oneLine(sample.name) + QStringLiteral("，") +
                      DisplayFormat::cpu(sample.cpuPercent));
    update();
}

QSize MenuProcessRow::sizeHint() const {
    return {200, static_cast<int>(std::ceil(QFontMetricsF(rowFont()).height()))};
}

void MenuProcessRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = rect();
    const QColor muted = Palette::muted.in(this);
    const int side = LVSymbol::side(12);
    LVSymbol("app.dashed").paint(painter, QRectF(0, (area.height() - side) / 2, side, side), muted);
    const int chevron = LVSymbol::side(8);
    LVSymbol("chevron.right")
        .paint(painter, QRectF(area.width() - chevron, (area.height() - chevron) / 2, chevron, chevron),
               muted);

    const QFont figures = Fonts::monospacedDigits(12);
    const QString cpu = DisplayFormat::cpu(m_sample.cpuPercent);
    const qreal cpuWidth = QFontMetricsF(figures).horizontalAdvance(cpu);
    const qreal cpuRight = area.width() - chevron - 9;
    painter.setFont(figures);
    painter.setPen((m_flagged ? Palette::amber : Palette::muted).in(this));
    painter.drawText(QRectF(cpuRight - cpuWidth, 0, cpuWidth, area.height()),
                     Qt::AlignRight | Qt::AlignVCenter, cpu);

    const qreal nameLeft = side + 9;
    const qreal nameWidth = std::max<qreal>(0, cpuRight - cpuWidth - 9 - nameLeft);
    painter.setFont(rowFont());
    painter.setPen(Palette::ink.in(this));
    painter.drawText(
        QRectF(nameLeft, 0, nameWidth, area.height()), Qt::AlignLeft | Qt::AlignVCenter,
        elidedRight(QFontMetricsF(rowFont()), ProcessesLogic::oneLine(m_sample.name), nameWidth));
}

MenuControlButton::MenuControlButton(bool iconOnly, QWidget* parent)
    : QAbstractButton(parent), m_iconOnly(iconOnly) {
    setFont(Fonts::system(11, FontWeight::medium));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    FocusRing::follow();
}

void MenuControlButton::setSymbol(const char* symbol) {
    m_symbol = symbol;
    update();
}

QSize MenuControlButton::sizeHint() const {
    const int side = LVSymbol::side(11);
    if (m_iconOnly)
        return {std::max(28, side), 30};
    const qreal label = side + (text().isEmpty() ? 0 : 4 + QFontMetricsF(font()).horizontalAdvance(text()));
    return {static_cast<int>(std::ceil(label)) + 18, 30};
}

qreal MenuControlButton::opacity() const {
    if (!isEnabled())
        return 0.4;
    return isDown() ? 0.65 : 1;
}

void MenuControlButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(opacity());
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);
    painter.fillPath(shape, (m_iconOnly ? Palette::secondary : Palette::soft).in(this));
    QColor stroke = (m_iconOnly ? Palette::line : Palette::accent).in(this);
    if (!m_iconOnly)
        stroke.setAlphaF(0.35);
    painter.setPen(QPen(stroke, 1));
    painter.drawPath(shape);
    if (FocusRing::shown(*this)) {
        painter.setOpacity(1);
        FocusRing::paint(painter, rect(), 7, *this);
        painter.setOpacity(opacity());
    }

    const QColor color = (m_iconOnly ? Palette::ink : Palette::accent).in(this);
    const int side = LVSymbol::side(11);
    if (m_iconOnly) {
        LVSymbol(m_symbol).paint(painter, QRectF((width() - side) / 2.0, (height() - side) / 2.0, side, side),
                                 color);
        return;
    }
    const QFontMetricsF metrics(font());
    const qreal labelWidth = side + 4 + metrics.horizontalAdvance(text());
    const qreal left = (width() - labelWidth) / 2;
    LVSymbol(m_symbol).paint(painter, QRectF(left, (height() - side) / 2.0, side, side), color);
    painter.setPen(color);
    painter.drawText(QRectF(left + side + 4, 0, labelWidth - side - 4, height()),
                     Qt::AlignLeft | Qt::AlignVCenter, text());
}

MenuContent::MenuContent(AppModel& model, MenuActions actions, QWidget* parent)
    : QWidget(parent), m_model(model), m_actions(std::move(actions)) {
    setObjectName(QStringLiteral("MenuContent"));
    setFixedWidth(contentWidth);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(margin - ringReach, margin, margin - ringReach, margin);
    root->setSpacing(spacing);
    const auto inLine = [](QBoxLayout* layout) {
        layout->setContentsMargins(ringReach, 0, ringReach, 0);
        return layout;
    };

    // Header.
    auto* header = inLine(new QHBoxLayout);
    header->addWidget(new LVSymbolView(LVSymbol("waveform.path.ecg"), 20, Palette::accent, this));
    header->addWidget(
        new LVText(QStringLiteral("岚栖"), Fonts::system(16, FontWeight::semibold), Palette::ink, this));
    header->addStretch();
    m_badge = new LVBadge(QStringLiteral("观察中"), Palette::success, this);
    header->addWidget(m_badge);
    root->addLayout(header);

    // The middle, scrolling when the popover is shorter than the content.
    m_middleContent = new QWidget;
    m_middleColumn = new QVBoxLayout(m_middleContent);
    inLine(m_middleColumn);
    m_middleColumn->setSpacing(spacing);

    auto* status = new QWidget;
    auto* statusColumn = new QVBoxLayout(status);
    statusColumn->setContentsMargins(14, 14, 14, 14);
    statusColumn->setSpacing(7);
    m_state = new LVText({}, Fonts::system(13, FontWeight::medium), Palette::ink, status);
    m_resources = new LVText({}, Fonts::monospacedDigits(11), Palette::muted, status);
    statusColumn->addWidget(m_state);
    statusColumn->addWidget(m_resources);
    m_aiStatus = new AIStatusButton(
        SettingsLogic::statusCapsule(AIStatus(model.aiConfiguration(), model.aiKeyStatus(),
                                              model.automaticAdviceEnabled(), model.isMonitoring())),
        [this] {
            // Opening the window closes the popover, which hides this content and deletes it only once
            // this click's event is over: the content is whole for the rest of the handler.
            if (m_actions.openMain)
                m_actions.openMain();
            if (m_actions.showAISettings)
                m_actions.showAISettings();
        });
    statusColumn->addSpacing(3);
    statusColumn->addWidget(m_aiStatus, 0, Qt::AlignLeft);
    m_middleColumn->addWidget(lunorCard(status));

    m_advice = new ProcessAdviceView(model.automaticAdvice(), true);
    m_adviceButton = new PressableArea(m_advice);
    m_middleColumn->addWidget(m_adviceButton);
    connect(m_adviceButton, &QAbstractButton::clicked, this, [this] {
        if (!m_adviceSample)
            return;
        m_model.showProcess(m_adviceSample->identity);
        if (m_actions.openMain)
            m_actions.openMain();
    });

    QWidget* observation = PageParts::symbolText(LVSymbol("chart.xyaxis.line"), {}, Fonts::system(11),
                                                 Palette::amber, 0, &m_observation);
    m_observation->setMaximumLines(2);
    m_observationButton = new PressableArea(observation);
    m_middleColumn->addWidget(m_observationButton);
    connect(m_observationButton, &QAbstractButton::clicked, this, [this] {
        m_model.setResourceNavigationRequest(QUuid::createUuid());
        if (m_actions.openMain)
            m_actions.openMain();
    });

    m_noProcesses =
        new LVText(QStringLiteral("采样后会显示占用靠前的进程。"), Fonts::system(11), Palette::muted);
    m_middleColumn->addWidget(PageParts::padded(m_noProcesses, 0, 5, 0, 5));
    // A widget of their own (not a nested layout), so hiding rows before the first show is counted in
    // the size hint at once.
    m_rowsBox = new QWidget(m_middleContent);
    auto* rows = new QVBoxLayout(m_rowsBox);
    rows->setContentsMargins(0, 3, 0, 3);
    rows->setSpacing(12);
    for (int i = 0; i < 3; ++i) {
        auto* row = new MenuProcessRow(m_rowsBox);
        rows->addWidget(row);
        m_rows.append(row);
        connect(row, &QAbstractButton::clicked, this, [this, row] {
            m_model.showProcess(row->sample().identity);
            if (m_actions.openMain)
                m_actions.openMain();
        });
    }
    m_middleColumn->addWidget(m_rowsBox);

    m_open = new LVButton(LVButtonKind::primary, QStringLiteral("打开岚栖"), m_middleContent);
    m_middleColumn->addWidget(m_open, 0, Qt::AlignHCenter);
    connect(m_open, &QAbstractButton::clicked, this, [this] {
        if (m_actions.openMain)
            m_actions.openMain();
    });
    // Shows itself only while an update waits.
    m_updateReminder = new MenuSoftwareUpdateReminder(model.softwareUpdater(), [this] {
        if (m_actions.openMain)
            m_actions.openMain();
    });
    m_middleColumn->addWidget(m_updateReminder);
    m_middle = makeMiddle(m_middleContent, contentWidth - 2 * (margin - ringReach));
    root->addWidget(m_middle);
    m_divider = new LVRule({}, 1.0, this);
    QBoxLayout* rule = inLine(new QHBoxLayout);
    rule->addWidget(m_divider);
    root->addLayout(rule);

    auto* controls = inLine(new QHBoxLayout);
    controls->setSpacing(8);
    m_toggle = new MenuControlButton(false, this);
    m_toggle->setObjectName(QStringLiteral("menu-toggle-monitoring"));
    m_sample = new MenuControlButton(true, this);
    m_sample->setSymbol("arrow.clockwise");
    m_sample->setToolTip(QStringLiteral("立即采样"));
    m_sample->setAccessibleName(QStringLiteral("立即采样"));
    m_settings = new MenuControlButton(true, this);
    m_settings->setSymbol("gearshape");
    m_settings->setToolTip(QStringLiteral("设置（含软件更新）"));
    m_settings->setAccessibleName(QStringLiteral("打开设置"));
    m_quit = new MenuControlButton(true, this);
    m_quit->setSymbol("power");
    m_quit->setToolTip(QStringLiteral("退出岚栖…"));
    m_quit->setAccessibleName(QStringLiteral("退出岚栖，需确认"));
    controls->addWidget(m_toggle);
    controls->addStretch();
    controls->addWidget(m_sample);
    controls->addWidget(m_settings);
    controls->addWidget(m_quit);
    root->addLayout(controls);
    // A popover taller than its content shows it whole in its middle: every spacing stays the
    // column's, the room left over goes above and below.
    root->insertStretch(0, 1);
    root->addStretch(1);
    connect(m_toggle, &QAbstractButton::clicked, &m_model, &AppModel::toggleMonitoring);
    connect(m_sample, &QAbstractButton::clicked, &m_model, &AppModel::sampleNow);
    connect(m_settings, &QAbstractButton::clicked, this, [this] {
        if (m_actions.showSettings)
            m_actions.showSettings();
    });
    connect(m_quit, &QAbstractButton::clicked, this, [this] {
        if (m_actions.requestQuit)
            m_actions.requestQuit();
    });

    // Ctrl+O opens the main window while the popover is the active window.
    auto* open = new QAction(this);
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    open->setShortcutContext(Qt::WindowShortcut);
    connect(open, &QAction::triggered, m_open, &QAbstractButton::click);
    addAction(open);

    auto* refresher = new RefreshCoalescer(this, [this] { refresh(); });
    refresher->watch(&model, &AppModel::sampleStateChanged, &AppModel::isMonitoringChanged,
                     &AppModel::isSamplingChanged, &AppModel::aiConfigurationChanged,
                     &AppModel::automaticAdviceAuthorizationChanged,
                     &AppModel::automaticAdvicePreferenceChanged, &AppModel::settingsChanged,
                     &AppModel::openedNotificationIDChanged, &AppModel::aiKeyStatusChanged);
    connect(&model, &AppModel::appearanceChanged, this, &MenuContent::applyAppearance);
    applyAppearance();
    refresh();
}

void MenuContent::refresh() {
    const bool monitoring = m_model.isMonitoring();
    m_badge->setTitle(monitoring ? QStringLiteral("观察中") : QStringLiteral("已暂停"));
    m_badge->setColor(monitoring ? Palette::success : Palette::amber);

    m_state->setText(MenuContentLogic::stateLine(m_model.collectionError().has_value(), monitoring,
                                                 m_model.lastUpdate().has_value(), m_model.attentionCount()));
    m_resources->setText(MenuContentLogic::resourceLine(m_model.systemCPUText(), m_model.systemMemory()));
    m_aiStatus->setStatus(SettingsLogic::statusCapsule(AIStatus(
        m_model.aiConfiguration(), m_model.aiKeyStatus(), m_model.automaticAdviceEnabled(), monitoring)));

    const QList<Finding>& findings = m_model.findings();
    if (findings.isEmpty()) {
        m_adviceSample.reset();
    } else {
        m_adviceSample = findings.first().sample;
        m_advice->setContent(*m_adviceSample, m_model.localAdvice(m_adviceSample), std::nullopt);
    }
    m_adviceButton->setVisible(m_adviceSample.has_value());

    const auto observation =
        MenuContentLogic::observationTitle(m_model.memoryObservations(), m_model.applicationCPUFindings());
    m_observation->setText(ProcessesLogic::oneLine(observation.value_or(QString())));
    m_observationButton->setAccessibleName(observation.value_or(QString()));
    m_observationButton->setVisible(observation.has_value());

    const QList<ProcessSample> busiest =
        MenuContentLogic::busiest(m_model.orderedProcesses(ProcessSort::cpu));
    m_noProcesses->parentWidget()->setVisible(busiest.isEmpty());
    m_rowsBox->setVisible(!busiest.isEmpty());
    for (int i = 0; i < m_rows.size(); ++i) {
        if (i < busiest.size())
            m_rows[i]->setSample(busiest[i], MenuContentLogic::isFlagged(busiest[i], findings));
        m_rows[i]->setVisible(i < busiest.size());
    }

    m_toggle->setText(monitoring ? QStringLiteral("暂停观察") : QStringLiteral("恢复观察"));
    m_toggle->setSymbol(monitoring ? "pause" : "play.fill");
    m_toggle->setAccessibleName(m_toggle->text());
    m_toggle->updateGeometry();
    m_sample->setEnabled(!m_model.isSampling());
    // The middle's size hint follows what it now holds; the layout keeps the old one until told.
    m_middle->updateGeometry();
    updateGeometry();
}

void MenuContent::applyAppearance() {
    const QString& appearance = m_model.appearance();
    if (appearance == u"dark")
        setPalette(Palette::qtPalette(Appearance::dark));
    else if (appearance == u"light")
        setPalette(Palette::qtPalette(Appearance::light));
    else
        setPalette(QPalette()); // the desktop's appearance, as the rest of the program
    update();
}

QSize MenuContent::sizeHint() const {
    // The whole content, the middle unscrolled: the popover is never made shorter than this (but for
    // the screen's height), so nothing scrolls unless it must.
    const QLayout* root = layout();
    const QMargins margins = root->contentsMargins();
    const int inner = contentWidth - margins.left() - margins.right();
    QLayout* middle = m_middleContent->layout();
    const int middleHeight =
        middle->hasHeightForWidth() ? middle->totalHeightForWidth(inner) : middle->totalSizeHint().height();
    int height = margins.top() + margins.bottom() + middleHeight;
    for (int i = 0; i < root->count(); ++i) {
        QLayoutItem* item = root->itemAt(i);
        if (item->widget() == m_middle || item->isEmpty())
            continue;
        height += item->hasHeightForWidth() ? item->heightForWidth(inner) : item->sizeHint().height();
        height += root->spacing();
    }
    return {contentWidth, height};
}

void MenuContent::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Palette::surface.in(this));
}

} // namespace lunorvale
