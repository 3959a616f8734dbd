#include "ui/window/ProcessesPage.h"

#include "app/model/AppModel.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVEmptyState.h"
#include "ui/kit/LVLabel.h"
#include "ui/kit/LVPlainButton.h"
#include "ui/kit/LVRule.h"
#include "ui/kit/LVSegmentedControl.h"
#include "ui/kit/LVText.h"
#include "ui/kit/RefreshCoalescer.h"
#include "ui/window/MainView.h"
#include "ui/window/ProcessDetailPane.h"
#include "ui/window/ProcessList.h"
#include "ui/window/ProcessesLogic.h"

#include <QActionGroup>
#include <QEvent>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <cmath>

namespace lunorvale {

namespace {

constexpr int sidePaneWidth = 348;

// A filled rounded shape with a one-pixel outline, as the search box and the sort button draw it.
void drawField(QPainter& painter, const QWidget* widget, qreal radius) {
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(widget->rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    painter.fillPath(shape, Palette::surface.in(widget));
    painter.setPen(QPen(Palette::line.in(widget), 1));
    painter.drawPath(shape);
}

// A band on the secondary colour: the column headings of the list card, each above its column of
// the list below, whether the list shows its scroll bar or not.
class HeadingBand final : public QWidget {
public:
    HeadingBand(QWidget* headings, ProcessListView* list) {
        setFixedHeight(36);
        auto* row = new QHBoxLayout(this);
        row->setSpacing(12);
        row->addWidget(headings);
        const auto align = [row, list] {
            row->setContentsMargins(list->leadingInset(), 0, list->trailingInset(), 0);
        };
        connect(list, &ProcessListView::insetsChanged, this, align);
        align();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Palette::secondary.in(this));
    }
};

// `content` at the top of a column that gives the rest of the height away.
QWidget* topAligned(QWidget* content) {
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(content);
    column->addStretch(1);
    return box;
}

} // namespace

SearchBox::SearchBox(const QString& placeholder, const QString& accessibleName, Style style, QWidget* parent)
    : QWidget(parent), m_style(style) {
    const bool search = style == Style::search;
    auto* row = new QHBoxLayout(this);
    if (search)
        row->setContentsMargins(11, 11, 11, 11);
    else
        row->setContentsMargins(8, 4, 8, 4);
    row->setSpacing(8);
    if (search)
        row->addWidget(new LVSymbolView(LVSymbol("magnifyingglass"), 13, Palette::muted, this));
    m_field = new QLineEdit(this);
    m_field->setFrame(false);
    // The field's focus is shown on the box around it.
    FocusRing::follow();
    m_field->installEventFilter(this);
    m_field->setPlaceholderText(placeholder);
    m_field->setAccessibleName(accessibleName);
    applyFieldColors();
    row->addWidget(m_field, 1);
    m_clear = new LVPlainButton({}, LVSymbol("xmark.circle.fill"), Palette::muted, Fonts::system(13), this);
    m_clear->setAccessibleName(QStringLiteral("清空搜索"));
    m_clear->hide();
    row->addWidget(m_clear);
    if (search)
        connect(m_field, &QLineEdit::textChanged, this,
                [this](const QString& text) { m_clear->setVisible(!text.isEmpty()); });
    connect(m_clear, &QAbstractButton::clicked, m_field, &QLineEdit::clear);
}

void SearchBox::applyFieldColors() {
    QPalette palette = m_field->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::PlaceholderText, Palette::muted.in(this));
    m_field->setPalette(palette);
}

void SearchBox::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyFieldColors(); // the appearance changed
}

bool SearchBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_field && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        update();
    return QWidget::eventFilter(watched, event);
}

void SearchBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const qreal radius = m_style == Style::search ? 9 : 6;
    drawField(painter, this, radius);
    if (FocusRing::shown(*m_field))
        FocusRing::paint(painter, rect(), radius, *this);
}

SortButton::SortButton(QWidget* parent) : QAbstractButton(parent) {
    setFont(Fonts::system(11));
    setFocusPolicy(Qt::StrongFocus);
    FocusRing::follow();
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

QSize SortButton::sizeHint() const {
    const qreal label = QFontMetricsF(font()).horizontalAdvance(text()) + 9 + LVSymbol::side(9);
    return {static_cast<int>(std::ceil(label)) + 24, 35};
}

void SortButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawField(painter, this, 8);
    const int side = LVSymbol::side(9);
    const QColor ink = Palette::ink.in(this);
    painter.setFont(font());
    painter.setPen(ink);
    const QRectF textRect(12, 0, width() - 24 - 9 - side, height());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text());
    LVSymbol("chevron.up.chevron.down")
        .paint(painter, QRectF(width() - 12 - side, (height() - side) / 2.0, side, side), ink);
    if (FocusRing::shown(*this))
        FocusRing::paint(painter, rect(), 8, *this);
}

ProcessesPage::ProcessesPage(MainView& view, QWidget* parent) : QWidget(parent), m_view(view) {
    AppModel& model = view.model();
    auto* page = new QHBoxLayout(this);
    page->setContentsMargins(24, 24, 24, 24);
    page->setSpacing(18);

    auto* list = new QVBoxLayout;
    list->setSpacing(14);

    auto* searchRow = new QHBoxLayout;
    searchRow->setSpacing(10);
    m_search = new SearchBox(QStringLiteral("搜索名称、来源或 PID"), QStringLiteral("搜索进程"),
                             SearchBox::Style::search, this);
    searchRow->addWidget(m_search, 1);
    m_sort = new SortButton(this);
    m_sort->setAccessibleName(QStringLiteral("进程排序"));
    m_sortMenu = new QMenu(m_sort);
    m_sortMenu->addSection(QStringLiteral("排序"));
    auto* sortGroup = new QActionGroup(m_sortMenu);
    for (const ProcessSort key : processSorts) {
        QAction* action = m_sortMenu->addAction(ProcessesLogic::sortLabel(key));
        action->setCheckable(true);
        action->setData(static_cast<int>(key));
        sortGroup->addAction(action);
        connect(action, &QAction::triggered, this, [this, key] { m_view.setProcessSort(key); });
    }
    connect(m_sort, &QAbstractButton::clicked, this,
            [this] { m_sortMenu->popup(m_sort->mapToGlobal(QPoint(0, m_sort->height() + 2))); });
    searchRow->addWidget(m_sort);
    list->addLayout(searchRow);
    connect(m_search->field(), &QLineEdit::textChanged, this,
            [this](const QString& text) { m_view.setSearch(text); });

    auto* filterRow = new QHBoxLayout;
    QStringList labels;
    for (const ProcessFilter key : ProcessesLogic::filterKeys())
        labels.append(ProcessesLogic::filterLabel(key));
    m_filter = new LVSegmentedControl(labels, this);
    m_filter->setAccessibleName(QStringLiteral("显示进程"));
    m_filter->setMaximumWidth(320);
    filterRow->addWidget(m_filter, 1);
    filterRow->addStretch(0);
    m_count = new LVText({}, Fonts::system(11), Palette::muted, this);
    m_count->setMaximumLines(1);
    filterRow->addWidget(m_count);
    list->addLayout(filterRow);
    connect(m_filter, &LVSegmentedControl::currentIndexChanged, this, [this](int index) {
        if (index >= 0 && index < ProcessesLogic::filterKeys().size())
            m_view.setProcessFilter(ProcessesLogic::filterKeys().at(index));
    });

    auto* cardContent = new QWidget;
    auto* cardColumn = new QVBoxLayout(cardContent);
    cardColumn->setContentsMargins(0, 0, 0, 0);
    cardColumn->setSpacing(0);
    m_list = new ProcessListView;
    QWidget* headings = MainView::processColumnHeadings(false);
    cardColumn->addWidget(new HeadingBand(headings, m_list));
    cardColumn->addWidget(new LVRule({}, 1.0, cardContent));
    m_listStack = new QStackedWidget(cardContent);
    m_empty = new LVEmptyState(LVSymbol("magnifyingglass"), {}, {});
    m_listStack->addWidget(topAligned(m_empty));
    m_listStack->addWidget(m_list);
    cardColumn->addWidget(m_listStack, 1);
    LVCard* listCard = card(cardContent);
    list->addWidget(listCard, 1);
    connect(m_list, &ProcessListView::processChosen, this,
            [this](const ProcessIdentity& identity) { m_view.model().setSelectedID(identity); });

    list->addWidget(new LVText(QStringLiteral("100% 约等于一个逻辑核心。运行时间不代表持续高占用时间。"),
                               Fonts::system(10), Palette::muted, this));
    page->addLayout(list, 1);

    // The side pane: the selected process, a missing one, or the prompt to choose one.
    m_side = new QStackedWidget(this);
    m_side->setFixedWidth(sidePaneWidth);
    m_detail = new ProcessDetailPane(view);
    m_detailScroll = new QScrollArea;
    m_detailScroll->setFrameShape(QFrame::NoFrame);
    // Tab stops at the controls in it, which it scrolls into view, never at the view itself.
    m_detailScroll->setFocusPolicy(Qt::NoFocus);
    m_detailScroll->setWidgetResizable(true);
    m_detailScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_detailScroll->viewport()->setAutoFillBackground(false);
    m_detailScroll->setWidget(topAligned(card(m_detail)));
    m_detailScroll->widget()->setAutoFillBackground(false);
    m_side->addWidget(m_detailScroll);

    auto* missing = new QWidget;
    auto* missingColumn = new QVBoxLayout(missing);
    missingColumn->setContentsMargins(21, 21, 21, 21);
    missingColumn->setSpacing(14);
    auto* missingHeading =
        new LVLabel(LVSymbol("info.circle"), {}, Fonts::system(17, FontWeight::semibold), Palette::ink);
    m_missingTitle = missingHeading->text();
    missingColumn->addWidget(missingHeading);
    m_missingReason = new LVText({}, Fonts::system(12), Palette::muted, missing);
    m_missingNext = new LVText({}, Fonts::system(12), Palette::ink, missing);
    missingColumn->addWidget(m_missingReason);
    missingColumn->addWidget(m_missingNext);
    m_missingButton = new LVButton(LVButtonKind::primary, {}, missing);
    missingColumn->addWidget(m_missingButton, 0, Qt::AlignLeft);
    connect(m_missingButton, &QAbstractButton::clicked, this, [this] {
        AppModel& model = m_view.model();
        if (model.isMonitoring())
            model.sampleNow();
        else
            model.toggleMonitoring();
    });
    m_missing = card(missing);
    m_side->addWidget(topAligned(m_missing));

    QWidget* prompt = card(
        new LVEmptyState(LVSymbol("cursorarrow.click.2"), QStringLiteral("选择一个进程"),
                         QStringLiteral("查看任务来源、资源占用和处理建议。可用方向键切换列表中的进程。")));
    m_side->addWidget(topAligned(prompt));
    page->addWidget(m_side);

    // What the window reads (the sample, the selection, the advice…) comes with its refresh.
    auto* refresher = new RefreshCoalescer(
        this, [this] { refresh(); }, RefreshCoalescer::WhileHidden::wait);
    refresher->watch(&view, &MainView::refreshed, &MainView::stateChanged);
    refresher->watch(&model, &AppModel::aiBusyChanged, &AppModel::aiErrorChanged,
                     &AppModel::openedNotificationIDChanged, &AppModel::historyChanged);
}

QWidget* ProcessesPage::sidePane() const {
    return m_side->currentWidget();
}

void ProcessesPage::refresh() {
    if (!isVisible())
        return;
    AppModel& model = m_view.model();
    const MainViewState& state = m_view.state();

    // Only the sets the chosen filter reads: the list refilters when they change.
    ProcessesLogic::Filter filter{state.processFilter, {}, {}};
    if (filter.key == ProcessFilter::attention)
        filter.flagged = ProcessesLogic::flaggedIdentities(model.findings());
    if (filter.key == ProcessFilter::muted) {
        for (const ProcessSample& sample : model.processes())
            if (model.isIgnored(sample))
                filter.muted.insert(sample.identity);
    }

    if (m_search->field()->text() != state.search)
        m_search->field()->setText(state.search);
    m_sort->setText(ProcessesLogic::sortLabel(state.processSort));
    m_sort->updateGeometry();
    for (QAction* action : m_sortMenu->actions())
        if (action->isCheckable())
            action->setChecked(action->data().toInt() == static_cast<int>(state.processSort));
    const int filterIndex = static_cast<int>(ProcessesLogic::filterKeys().indexOf(state.processFilter));
    if (filterIndex >= 0 && filterIndex != m_filter->currentIndex()) {
        const QSignalBlocker blocker(m_filter);
        m_filter->setCurrentIndex(filterIndex);
    }
    m_list->rowDelegate()->setThreshold(model.settings().safeThreshold());
    m_list->setProcesses(model.processes(), filter, state.search, state.processSort, model.selectedID());
    m_list->viewport()->update();
    const int visible = m_list->listModel()->rowCount();
    m_count->setText(ProcessesLogic::countLabel(visible));

    const bool empty = visible == 0;
    if (empty) {
        const auto texts = ProcessesLogic::emptyList(model.processes().isEmpty());
        m_empty->setTitle(texts.title);
        m_empty->setDetail(texts.detail);
    }
    m_listStack->setCurrentIndex(empty ? 0 : 1);
    // Once the list is shown at its size: a process opened from elsewhere is what the user came to see.
    if (m_reveals != state.processReveals) {
        m_reveals = state.processReveals;
        m_list->showSelection(model.selectedID(), true);
    }

    const auto side =
        ProcessesLogic::sidePane(model.processes(), model.selectedID(), model.openedNotificationID());
    switch (side.pane) {
    case ProcessesLogic::SidePane::detail:
        m_detail->setSample(*side.sample);
        // Another process is read from its top; a new sample of the same one leaves the pane where it is.
        if (m_detailShown != side.sample->identity)
            m_detailScroll->verticalScrollBar()->setValue(0);
        m_detailShown = side.sample->identity;
        m_side->setCurrentIndex(0);
        break;
    case ProcessesLogic::SidePane::missingProcess: {
        const auto card = ProcessesLogic::missingProcessCard(
            model.localAdvice(std::nullopt), model.isMonitoring(), model.isSampling(), model.isPreview());
        m_missingTitle->setText(card.title);
        m_missingReason->setText(card.reason);
        m_missingNext->setText(card.nextStep);
        m_missingButton->setText(card.buttonTitle);
        m_missingButton->setEnabled(card.buttonEnabled);
        m_side->setCurrentIndex(1);
        break;
    }
    case ProcessesLogic::SidePane::selectionPrompt:
        m_side->setCurrentIndex(2);
        break;
    }
}

} // namespace lunorvale
