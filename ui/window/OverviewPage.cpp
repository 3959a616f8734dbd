#include "ui/window/OverviewPage.h"

#include "app/model/AppModel.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVEmptyState.h"
#include "ui/kit/LVPlainButton.h"
#include "ui/kit/LVRule.h"
#include "ui/kit/LVText.h"
#include "ui/kit/RefreshCoalescer.h"
#include "ui/window/MainView.h"
#include "ui/window/OverviewLogic.h"
#include "ui/window/PageParts.h"
#include "ui/window/PriorityTaskCard.h"
#include "ui/window/ProcessRow.h"
#include "ui/window/ResourceOverviewStrip.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>

namespace lunorvale {

namespace {

// The step number in a soft circle.
class StepNumber final : public QWidget {
public:
    StepNumber(int number, QWidget* parent) : QWidget(parent), m_number(number) { setFixedSize(26, 26); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Palette::soft.in(this));
        painter.drawEllipse(QRectF(rect()));
        painter.setFont(Fonts::system(12, FontWeight::medium));
        painter.setPen(Palette::accent.in(this));
        painter.drawText(rect(), Qt::AlignCenter, QString::number(m_number));
    }

private:
    int m_number;
};

LVSymbol restingSymbol(OverviewLogic::RestingState::Kind kind) {
    switch (kind) {
    case OverviewLogic::RestingState::Kind::collectionError:
        return LVSymbol("exclamationmark.triangle");
    case OverviewLogic::RestingState::Kind::paused:
        return LVSymbol("pause.circle");
    case OverviewLogic::RestingState::Kind::baseline:
        return LVSymbol("waveform.path");
    case OverviewLogic::RestingState::Kind::resourceChanges:
        return LVSymbol("chart.xyaxis.line");
    case OverviewLogic::RestingState::Kind::quiet:
        break;
    }
    return LVSymbol("checkmark.shield");
}

QWidget* transparentScrollContent(QScrollArea* scroll, QWidget* content) {
    scroll->setWidget(content);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // Tab stops at the controls in it, which it scrolls into view, never at the view itself.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    return content;
}

// Whether the window's state puts the overview on screen.
bool showsOverview(const MainViewState& state) {
    return state.page == Page::overview && !state.showingHelp;
}

} // namespace

// What to do now, in three steps, and the way to AI advice.
class OverviewPage::NextSteps final : public QWidget {
public:
    NextSteps(MainView& view, QWidget* parent) : QWidget(parent), m_view(view) {
        setFixedWidth(286);
        auto* outer = new QVBoxLayout(this);
        outer->setContentsMargins(0, 0, 0, 0);
        auto* content = new QWidget;
        outer->addWidget(lunorCard(content));
        auto* column = new QVBoxLayout(content);
        column->setContentsMargins(25, 25, 25, 25);
        column->setSpacing(25);
        column->addWidget(new LVText(QStringLiteral("现在可以怎么做"),
                                     Fonts::system(17, FontWeight::semibold), Palette::ink, content));
        m_first = step(column, 1, QStringLiteral("先查看进度"), {});
        step(column, 2, QStringLiteral("有进展就继续"), QStringLiteral("可以静音 1 小时，避免打断工作。"));
        step(column, 3, QStringLiteral("不再需要才退出"), QStringLiteral("先保存工作，再请求退出。"));
        auto* ask = new LVButton(LVButtonKind::secondary, QStringLiteral("查看 AI 简短建议"), content);
        ask->setSymbol(LVSymbol("sparkles"));
        ask->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        PageParts::actOnWhatWasShown(
            ask, [this] { return m_sample; },
            [this](const ProcessSample& sample) { m_view.requestAnalysis(sample); });
        auto* askFrame = new QWidget(content);
        auto* askColumn = new QVBoxLayout(askFrame);
        askColumn->setContentsMargins(0, 10, 0, 0);
        askColumn->addWidget(ask);
        column->addWidget(askFrame);
        column->addStretch(1);
    }

    void setSample(const ProcessSample& sample) {
        m_sample = sample;
        m_first->setText(m_view.model().localAdvice(sample).nextStep);
    }

private:
    LVText* step(QVBoxLayout* column, int number, const QString& title, const QString& detail) {
        auto* row = new QHBoxLayout;
        row->setSpacing(12);
        row->addWidget(new StepNumber(number, this), 0, Qt::AlignTop);
        auto* texts = new QVBoxLayout;
        texts->setContentsMargins(0, 4, 0, 0);
        texts->setSpacing(7);
        texts->addWidget(new LVText(title, Fonts::system(12, FontWeight::medium), Palette::ink, this));
        auto* text = new LVText(detail, Fonts::system(11), Palette::muted, this);
        text->setLineSpacing(4);
        texts->addWidget(text);
        row->addLayout(texts, 1);
        column->addLayout(row);
        return text;
    }

    MainView& m_view;
    ProcessSample m_sample;
    LVText* m_first;
};

OverviewPage::OverviewPage(MainView& view, QWidget* parent)
    : QWidget(parent), m_view(view), m_onScreen(showsOverview(view.state())) {
    AppModel& model = view.model();
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_scroll = new QScrollArea(this);
    outer->addWidget(m_scroll);
    auto* content = transparentScrollContent(m_scroll, new QWidget);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(16);

    m_strip = new ResourceOverviewStrip(
        model, [this] { m_view.setPage(Page::resources); }, content);
    column->addWidget(m_strip);

    auto* chipScroll = new QScrollArea(content);
    chipScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    chipScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    chipScroll->setFixedHeight(LVButtonStyle::minimumHeight);
    auto* chips = transparentScrollContent(chipScroll, new QWidget);
    m_chipLayout = new QHBoxLayout(chips);
    m_chipLayout->setContentsMargins(0, 0, 0, 0);
    m_chipLayout->setSpacing(8);
    m_chipLayout->addStretch(1);
    m_chipRow = chipScroll;
    m_chipRow->viewport()->installEventFilter(this);
    column->addWidget(m_chipRow);

    m_priorityRow = new QWidget(content);
    auto* priority = new QHBoxLayout(m_priorityRow);
    priority->setContentsMargins(0, 0, 0, 0);
    priority->setSpacing(16);
    m_card = new PriorityTaskCard(view, m_priorityRow);
    m_nextSteps = new NextSteps(view, m_priorityRow);
    // Both fill the row's height, so that the two cards end on one line whichever holds more.
    priority->addWidget(m_card, 1);
    priority->addWidget(m_nextSteps, 0);
    column->addWidget(m_priorityRow);

    // The resting panel.
    auto* restingContent = new QWidget;
    restingContent->setMinimumHeight(335);
    auto* restingColumn = new QVBoxLayout(restingContent);
    restingColumn->setContentsMargins(0, 0, 0, 0);
    restingColumn->setSpacing(10);
    restingColumn->addStretch(1);
    m_restingState = new LVEmptyState(LVSymbol("checkmark.shield"), {}, {}, restingContent);
    restingColumn->addWidget(m_restingState);
    auto* restingButtons = new QHBoxLayout;
    restingButtons->setContentsMargins(0, 0, 0, 32);
    restingButtons->setSpacing(10);
    restingButtons->addStretch(1);
    m_restingButton = new LVButton(LVButtonKind::primary, {}, restingContent);
    m_reminderButton = new LVButton(LVButtonKind::secondary, QStringLiteral("设置提醒"), restingContent);
    restingButtons->addWidget(m_restingButton);
    restingButtons->addWidget(m_reminderButton);
    restingButtons->addStretch(1);
    restingColumn->addLayout(restingButtons);
    restingColumn->addStretch(1);
    m_resting = card(restingContent);
    column->addWidget(m_resting);
    connect(m_restingButton, &QAbstractButton::clicked, this, [this] {
        using Action = OverviewLogic::RestingState::Action;
        switch (static_cast<Action>(m_restingAction)) {
        case Action::sampleNow:
            m_view.model().sampleNow();
            break;
        case Action::resumeMonitoring:
            m_view.model().toggleMonitoring();
            break;
        case Action::showResources:
            m_view.setPage(Page::resources);
            break;
        case Action::showProcesses:
            m_view.setPage(Page::processes);
            break;
        }
    });
    // The reminder settings, not the AI section: no AI request goes with it.
    connect(m_reminderButton, &QAbstractButton::clicked, this, [this] { m_view.selectPage(Page::settings); });

    // The busiest other processes.
    auto* topContent = new QWidget;
    auto* top = new QVBoxLayout(topContent);
    top->setContentsMargins(22, 22, 22, 22);
    top->setSpacing(13);
    auto* header = new QHBoxLayout;
    m_topTitle = new LVText({}, Fonts::system(15, FontWeight::semibold), Palette::ink, topContent);
    m_allProcesses = new LVPlainButton(QStringLiteral("查看全部 →"), std::nullopt, Palette::accent,
                                       Fonts::system(11), topContent);
    connect(m_allProcesses, &QAbstractButton::clicked, this, [this] { m_view.setPage(Page::processes); });
    header->addWidget(m_topTitle, 1);
    header->addWidget(m_allProcesses);
    top->addLayout(header);
    top->addWidget(MainView::processColumnHeadings(true));
    auto* rows = new QVBoxLayout;
    rows->setSpacing(0);
    for (int i = 0; i < 3; ++i) {
        auto* row = new ProcessRowButton(true, topContent);
        PageParts::actOnWhatWasShown(
            row, [row] { return row->sample(); },
            [this](const ProcessSample& sample) { m_view.openProcess(sample); });
        rows->addWidget(row);
        m_rows.append(row);
        if (i < 2) {
            auto* divider = new LVRule({}, 0.4, topContent);
            rows->addWidget(divider);
            m_dividers.append(divider);
        }
    }
    top->addLayout(rows);
    m_topEmpty = new LVText(QStringLiteral("完成采样后，这里会列出资源占用靠前的进程。"), Fonts::system(12),
                            Palette::muted, topContent);
    auto* emptyFrame = new QWidget(topContent);
    auto* emptyColumn = new QVBoxLayout(emptyFrame);
    emptyColumn->setContentsMargins(0, 24, 0, 24);
    emptyColumn->addWidget(m_topEmpty);
    top->addWidget(emptyFrame);
    column->addWidget(card(topContent));
    column->addStretch(1);

    auto* refresher = new RefreshCoalescer(
        this, [this] { refresh(); }, RefreshCoalescer::WhileHidden::wait);
    refresher->watch(&view, &MainView::refreshed);
    connect(&view, &MainView::stateChanged, this, [this] {
        const bool onScreen = showsOverview(m_view.state());
        if (m_onScreen && !onScreen)
            m_card->collapseEvidence();
        m_onScreen = onScreen;
    });
}

QList<LVButton*> OverviewPage::chips() const {
    QList<LVButton*> shown;
    for (const QString& key : m_chipKeys)
        shown.append(m_chips.value(key));
    return shown;
}

QList<ProcessRowButton*> OverviewPage::topRows() const {
    QList<ProcessRowButton*> shown;
    for (ProcessRowButton* row : m_rows) {
        if (!row->isHidden())
            shown.append(row);
    }
    return shown;
}

void OverviewPage::refresh() {
    if (!isVisible())
        return;
    AppModel& model = m_view.model();
    m_strip->refresh();
    m_order = OverviewLogic::findingOrder(model.findings(), m_view.state().preferredFinding, m_order);
    const Finding* primary = OverviewLogic::findingOf(model.findings(), m_order.primary);
    refreshChips(primary);
    const bool showsCard = primary && !model.collectionError() && model.isMonitoring();
    if (showsCard) {
        m_card->setFinding(*primary);
        m_nextSteps->setSample(primary->sample);
    } else {
        m_card->collapseEvidence();
        refreshResting();
    }
    // The part that takes the place is shown first, so focus in the part that goes can move to it.
    QWidget* stays = showsCard ? m_priorityRow : m_resting;
    QWidget* goes = showsCard ? m_resting : m_priorityRow;
    stays->setVisible(true);
    PageParts::keepFocusNear(goes, {showsCard ? m_card->detailsButton() : m_restingButton},
                             m_scroll->widget());
    goes->setVisible(false);
    refreshTopList(primary);
}

void OverviewPage::refreshChips(const Finding* primary) {
    const QList<Finding>& findings = m_view.model().findings();
    QList<QString> keys;
    keys.reserve(m_order.chips.size());
    for (const ProcessIdentity& identity : std::as_const(m_order.chips)) {
        const Finding& finding = *OverviewLogic::findingOf(findings, identity);
        const QString key = identity.key();
        keys.append(key);
        LVButton*& chip = m_chips[key];
        if (!chip) {
            chip = new LVButton(LVButtonKind::secondary, {}, m_chipLayout->parentWidget());
            connect(chip, &QAbstractButton::clicked, this,
                    [this, identity] { m_view.setPreferredFinding(identity); });
        }
        // A long name gives way in the chip, never its figures nor the page's edge.
        chip->setNamedText(finding.sample.name, OverviewLogic::chipFigures(
                                                    finding, OverviewLogic::hasNamesake(findings, finding)));
        chip->setKind(primary && primary->sample.identity == identity ? LVButtonKind::primary
                                                                      : LVButtonKind::secondary);
    }
    LVButton* primaryChip = primary ? m_chips.value(primary->sample.identity.key()) : nullptr;
    for (auto it = m_chips.begin(); it != m_chips.end();) {
        if (keys.contains(it.key())) {
            ++it;
            continue;
        }
        PageParts::keepFocusNear(it.value(), {primaryChip, m_card->detailsButton()}, m_scroll->widget());
        // The chip may be the one clicked, its click still running.
        it.value()->hide();
        it.value()->deleteLater();
        it = m_chips.erase(it);
    }
    if (keys != m_chipKeys) {
        for (int i = 0; i < keys.size(); ++i)
            m_chipLayout->insertWidget(i, m_chips.value(keys[i]));
        m_chipKeys = keys;
    }
    fitChips();
    const bool showsChips = findings.size() >= 2;
    if (!showsChips)
        PageParts::keepFocusNear(m_chipRow, {m_card->detailsButton(), m_restingButton}, m_scroll->widget());
    m_chipRow->setVisible(showsChips);
}

bool OverviewPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_chipRow->viewport()) {
        if (event->type() == QEvent::Resize)
            fitChips();
        // With no bar to drag, a mouse's wheel is the way to the chips past the row's end; once at an end,
        // or while every chip shows, the wheel scrolls the page.
        if (event->type() == QEvent::Wheel) {
            auto* wheel = static_cast<QWheelEvent*>(event);
            QScrollBar* bar = m_chipRow->horizontalScrollBar();
            const QPoint delta = wheel->angleDelta();
            if (std::abs(delta.y()) > std::abs(delta.x()) && bar->maximum() > 0) {
                const int before = bar->value();
                QCoreApplication::sendEvent(bar, event);
                if (bar->value() != before)
                    return true;
                event->ignore();
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void OverviewPage::fitChips() {
    // Each chip keeps its width however many share the row, so that no name is cut for its neighbours'
    // sake; the row scrolls instead. Fixed, the layout cannot squeeze them either.
    const int room = m_chipRow->viewport()->width();
    for (LVButton* chip : std::as_const(m_chips))
        chip->setFixedWidth(
            OverviewLogic::chipWidth(chip->sizeHint().width(), chip->minimumSizeHint().width(), room));
}

void OverviewPage::refreshResting() {
    AppModel& model = m_view.model();
    OverviewLogic::RestingInputs inputs;
    inputs.collectionError = model.collectionError();
    inputs.isMonitoring = model.isMonitoring();
    inputs.hasSample = model.lastUpdate().has_value();
    inputs.attentionCount = model.attentionCount();
    inputs.isSampling = model.isSampling();
    inputs.isPreview = model.isPreview();
    inputs.notificationsEnabled = model.settings().notificationsEnabled;
    const OverviewLogic::RestingState state = OverviewLogic::restingState(inputs);
    m_restingState->setSymbol(restingSymbol(state.kind));
    m_restingState->setTitle(state.title);
    m_restingState->setDetail(state.detail);
    m_restingButton->setText(state.buttonTitle);
    m_restingButton->setEnabled(state.buttonEnabled);
    m_restingAction = static_cast<int>(state.action);
    m_reminderButton->setVisible(state.offersReminderSettings);
}

void OverviewPage::refreshTopList(const Finding* primary) {
    AppModel& model = m_view.model();
    m_topTitle->setText(OverviewLogic::topListTitle(primary));
    const QList<ProcessSample> top =
        OverviewLogic::topList(model.orderedProcesses(ProcessSort::cpu), primary);
    const double threshold = model.settings().safeThreshold();
    for (int i = 0; i < m_rows.size(); ++i) {
        const bool shown = i < top.size();
        if (shown)
            m_rows[i]->setSample(top[i], threshold);
        else
            PageParts::keepFocusNear(m_rows[i], {m_allProcesses}, m_scroll->widget());
        m_rows[i]->setVisible(shown);
        // A divider after every row but the last.
        if (i < m_dividers.size())
            m_dividers[i]->setVisible(i + 1 < top.size());
    }
    m_topEmpty->parentWidget()->setVisible(model.processes().isEmpty());
}

} // namespace lunorvale
