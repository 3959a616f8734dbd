#include "ui/library/ApplicationLibraryView.h"

#include "app/library/ApplicationLibraryModel.h"
#include "app/ports/DesktopOpener.h"
#include "app/ports/FileRevealer.h"
#include "app/ports/UrlOpener.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVDisclosure.h"
#include "ui/kit/LVEmptyState.h"
#include "ui/kit/LVPlainButton.h"
#include "ui/kit/LVRule.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/kit/LVSymbol.h"
#include "ui/kit/LVText.h"
#include "ui/kit/RefreshCoalescer.h"
#include "ui/kit/SectionHeading.h"
#include "ui/library/ApplicationAdviceConsentView.h"
#include "ui/library/ApplicationLibraryDetails.h"
#include "ui/library/ApplicationList.h"
#include "ui/library/ApplicationReceiptsView.h"
#include "ui/library/ApplicationRemovalConfirmation.h"

#include <QBoxLayout>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QShowEvent>
#include <QStackedWidget>
#include <QTimer>
#include <cmath>

namespace lunorvale {

using namespace ApplicationLibraryLogic;

namespace {

// The filter and sort pickers: the choice's title and a chevron on the inner card; a click opens the menu.
class MenuLabel final : public QAbstractButton {
public:
    MenuLabel(const QString& accessibleName, QMenu* menu) : m_menu(menu) {
        setAccessibleName(accessibleName);
        setFont(Fonts::system(11));
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::StrongFocus);
        FocusRing::follow();
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        connect(this, &QAbstractButton::clicked, this,
                [this] { m_menu->popup(mapToGlobal(QPoint(0, height()))); });
    }

    void setTitle(const QString& title) {
        if (title == text())
            return;
        setText(title);
        updateGeometry();
    }

    QSize sizeHint() const override {
        return {
            int(std::ceil(12 + QFontMetricsF(font()).horizontalAdvance(text()) + 9 + LVSymbol::side(9) + 12)),
            30};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(LVButtonStyle::opacity(isEnabled(), isDown()));
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
        painter.fillPath(shape, Palette::secondary.in(this));
        painter.setPen(QPen(Palette::line.in(this), 1));
        painter.drawPath(shape);
        const QColor ink = Palette::ink.in(this);
        painter.setPen(ink);
        const qreal textWidth = QFontMetricsF(font()).horizontalAdvance(text());
        painter.drawText(QRectF(12, 0, textWidth + 1, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
        const int chevron = LVSymbol::side(9);
        LVSymbol("chevron.down")
            .paint(painter, QRectF(12 + textWidth + 9, (height() - chevron) / 2.0, chevron, chevron), ink);
        if (FocusRing::shown(*this))
            FocusRing::paint(painter, rect(), 8, *this);
    }

private:
    QMenu* m_menu;
};

QScrollArea* plainScroll(QWidget* content) {
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // Tab stops at the controls in it, which it scrolls into view, never at the view itself.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    scroll->setWidget(content);
    // setWidget turns the filling on; the card or surface behind shows through.
    content->setAutoFillBackground(false);
    return scroll;
}

} // namespace

ApplicationLibraryView::ApplicationLibraryView(ApplicationLibraryModel& library,
                                               AIConfiguration configuration,
                                               std::function<void()> configureAI,
                                               ApplicationLibraryViewServices services, QWidget* parent)
    : QWidget(parent), m_library(library), m_configuration(std::move(configuration)),
      m_configureAI(std::move(configureAI)), m_services(std::move(services)),
      m_runningTimer(new QTimer(this)) {
    if (!m_services.confirm)
        m_services.confirm = &presentLibraryAlert;
    if (m_services.makeIconLoader)
        m_icons = m_services.makeIconLoader();

    QBoxLayout* page = LibraryLayout::column(this, 24, 14);
    page->addWidget(makeHeader());
    page->addWidget(makeToolbar());
    page->addWidget(makeBanner());

    auto* body = new QHBoxLayout;
    body->setSpacing(18);
    body->addWidget(makeListColumn(), 1);
    ApplicationLibraryDetails::Actions actions;
    actions.requestQuit = [this](const InstalledApplication& application) {
        requestQuit(application);
    };
    actions.reveal = [this](const InstalledApplication& application) {
        if (m_services.revealer)
            m_services.revealer->reveal(application.url());
    };
    actions.openLoginItems = [this] {
        if (m_services.desktop)
            m_services.desktop->revealLoginItems();
    };
    actions.openUninstallGuide = [this] {
        if (m_services.urlOpener)
            m_services.urlOpener->open(QUrl(QStringLiteral("https://support.apple.com/zh-cn/102610")));
    };
    m_details = new ApplicationLibraryDetails(m_library, m_icons.get(), std::move(actions));
    LVCard* detailCard = card(m_details);
    detailCard->setFixedWidth(310);
    body->addWidget(detailCard);
    page->addLayout(body, 1);
    page->addWidget(makeScope());

    if (m_icons)
        connect(m_icons.get(), &ApplicationIconLoader::loaded, m_rows, &ApplicationListModel::iconLoaded);
    m_runningTimer->setInterval(runningRefreshMilliseconds);
    connect(m_runningTimer, &QTimer::timeout, this, [this] { m_library.refreshRunning(); });
    connectModel();
    refresh();
}

ApplicationLibraryView::~ApplicationLibraryView() {
    closeSheet();
}

// --- Parts ---

QWidget* ApplicationLibraryView::makeHeader() {
    auto* header = new QWidget;
    QBoxLayout* row = LibraryLayout::row(header, 0, 8);
    row->addWidget(
        new SectionHeading(QStringLiteral("应用管理"),
                           QStringLiteral("看清已安装的应用，按需移除程序。程序包外的资料与缓存保留。")),
        1, Qt::AlignTop);
    m_receiptsButton = new LVButton(LVButtonKind::lunor, QStringLiteral("卸载操作清单"));
    m_rescan = new LVButton(LVButtonKind::secondary, QStringLiteral("重新扫描"));
    m_rescan->setSymbol(LVSymbol("arrow.clockwise"));
    row->addWidget(m_receiptsButton, 0, Qt::AlignTop);
    row->addWidget(m_rescan, 0, Qt::AlignTop);
    connect(m_receiptsButton, &LVButton::clicked, this, [this] {
        m_library.loadReceipts();
        m_showReceipts = true;
        presentSheets();
    });
    connect(m_rescan, &LVButton::clicked, this, [this] { m_library.scan(); });
    return header;
}

QWidget* ApplicationLibraryView::makeToolbar() {
    auto* toolbar = new QWidget;
    QBoxLayout* row = LibraryLayout::row(toolbar, 0, 12);
    m_searchField = new QLineEdit;
    m_searchField->setPlaceholderText(QStringLiteral("搜索应用名称、标识或位置"));
    m_searchField->setAccessibleName(QStringLiteral("搜索应用名称、标识或位置"));
    m_searchField->setClearButtonEnabled(false);
    m_searchField->setMaximumWidth(280);
    m_searchField->setFont(Fonts::system(13));
    row->addWidget(m_searchField, 1);

    m_filterMenu = new QMenu(this);
    const std::pair<const char*, LibraryFilter> filters[] = {{"全部应用", LibraryFilter::all},
                                                             {"运行中", LibraryFilter::running},
                                                             {"可检查移除", LibraryFilter::checkable},
                                                             {"需其他管理方式", LibraryFilter::protected_}};
    for (const auto& [title, key] : filters) {
        connect(m_filterMenu->addAction(QString::fromUtf8(title)), &QAction::triggered, this,
                [this, key = key] { setFilter(key); });
    }
    m_sortMenu = new QMenu(this);
    const std::pair<const char*, LibrarySort> sorts[] = {{"按名称", LibrarySort::name},
                                                         {"按本体大小", LibrarySort::size}};
    for (const auto& [title, key] : sorts) {
        connect(m_sortMenu->addAction(QString::fromUtf8(title)), &QAction::triggered, this,
                [this, key = key] { setSort(key); });
    }
    m_filterButton = new MenuLabel(QStringLiteral("应用筛选"), m_filterMenu);
    m_sortButton = new MenuLabel(QStringLiteral("应用排序"), m_sortMenu);
    row->addWidget(m_filterButton);
    row->addWidget(m_sortButton);
    row->addStretch();

    m_scanProgress = new QWidget;
    QBoxLayout* progress = LibraryLayout::row(m_scanProgress, 0, 8);
    auto* spinner = new BusyIndicator;
    spinner->setAnimated(!m_library.isPreview());
    m_scanStatus = new LVText(QString(), Fonts::system(11), Palette::muted);
    m_scanStatus->setMaximumLines(1);
    auto* stop = new LVPlainButton(QStringLiteral("停止"), std::nullopt, Palette::accent, Fonts::system(11));
    progress->addWidget(spinner);
    progress->addWidget(m_scanStatus);
    progress->addWidget(stop);
    row->addWidget(m_scanProgress);

    connect(m_searchField, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_search = text;
        // A keystroke only filters: the order stays as it was sorted.
        refreshList();
    });
    connect(stop, &LVPlainButton::clicked, this, [this] { m_library.stopScanning(); });
    return toolbar;
}

QWidget* ApplicationLibraryView::makeBanner() {
    auto* content = new QWidget;
    QBoxLayout* row = LibraryLayout::row(content, 13, 8);
    row->addWidget(new LVSymbolView(LVSymbol("info.circle"), 12, Palette::accent), 0, Qt::AlignTop);
    m_bannerText = new LVSelectableText(QString(), Fonts::system(12), Palette::ink);
    m_bannerText->setLineSpacing(3);
    row->addWidget(m_bannerText, 1);
    m_bannerClose = new LVPlainButton(QString(), LVSymbol("xmark"), Palette::muted, Fonts::system(12));
    m_bannerClose->setAccessibleName(QStringLiteral("关闭应用操作结果"));
    row->addWidget(m_bannerClose, 0, Qt::AlignTop);
    connect(m_bannerClose, &LVPlainButton::clicked, this, [this] { m_library.setMessage(std::nullopt); });
    m_banner = lunorCard(content);
    return m_banner;
}

QWidget* ApplicationLibraryView::makeListColumn() {
    auto* column = new QWidget;
    QBoxLayout* stack = LibraryLayout::column(column, 0, 0);

    auto* header = new QWidget;
    QBoxLayout* row = LibraryLayout::row(header, 15, 10);
    m_count = new LVText(QString(), Fonts::system(12, FontWeight::semibold), Palette::ink);
    m_count->setMaximumLines(1);
    row->addWidget(m_count);
    row->addStretch();
    m_selectVisible = new LVPlainButton(QStringLiteral("选择当前结果用于 AI"), std::nullopt, Palette::accent,
                                        Fonts::system(11));
    m_clearTicks =
        new LVPlainButton(QStringLiteral("清除选择"), std::nullopt, Palette::ink, Fonts::system(11));
    m_toggleSelection =
        new LVPlainButton(QStringLiteral("AI 整理建议"), std::nullopt, Palette::muted, Fonts::system(11));
    row->addWidget(m_selectVisible);
    row->addWidget(m_clearTicks);
    row->addWidget(m_toggleSelection);
    stack->addWidget(header);
    stack->addWidget(new LVRule);

    m_rows = new ApplicationListModel(this);
    m_list = new ApplicationListView;
    m_list->setModel(m_rows);
    m_list->setItemDelegate(new ApplicationRowDelegate(m_icons.get(), m_list));
    const auto [title, detail] = ApplicationLibraryLogic::emptyState(false);
    m_empty = new LVEmptyState(LVSymbol("square.grid.2x2"), title, detail);
    stack->addWidget(m_list, 1);
    // The empty state sits as one block in the middle of the list's place.
    m_emptyBox = new QWidget;
    QBoxLayout* emptyColumn = LibraryLayout::column(m_emptyBox, 0, 0);
    emptyColumn->addStretch(1);
    emptyColumn->addWidget(m_empty);
    emptyColumn->addStretch(2);
    stack->addWidget(m_emptyBox, 1);

    m_selectionBar = new QWidget;
    QBoxLayout* bar = LibraryLayout::column(m_selectionBar, 0, 0);
    bar->addWidget(new LVRule);
    auto* barRow = new QHBoxLayout;
    barRow->setContentsMargins(14, 14, 14, 14);
    m_selectionText = new LVText(QString(), Fonts::system(11), Palette::muted);
    m_selectionText->setMaximumLines(1);
    m_adviceButton = new LVButton(LVButtonKind::primary, QString());
    m_adviceButton->setSymbol(LVSymbol("sparkles"));
    barRow->addWidget(m_selectionText);
    barRow->addStretch();
    barRow->addWidget(m_adviceButton);
    bar->addLayout(barRow);
    stack->addWidget(m_selectionBar);

    connect(m_selectVisible, &LVPlainButton::clicked, this, &ApplicationLibraryView::tickVisible);
    connect(m_clearTicks, &LVPlainButton::clicked, this, [this] { m_library.setChecked({}); });
    connect(m_toggleSelection, &LVPlainButton::clicked, this,
            [this] { setShowAISelection(!m_showAISelection); });
    connect(m_adviceButton, &LVButton::clicked, this, &ApplicationLibraryView::requestAdvice);
    connect(m_list, &ApplicationListView::selectRequested, this, &ApplicationLibraryView::select);
    connect(m_list, &ApplicationListView::tickRequested, this, &ApplicationLibraryView::tickRow);
    return card(column);
}

QWidget* ApplicationLibraryView::makeScope() {
    auto* texts = new QWidget;
    QBoxLayout* lines = LibraryLayout::column(texts, 0, 5);
    lines->setContentsMargins(0, 7, 0, 0);
    for (const QString& text :
         {QStringLiteral("范围：/Applications、~/Applications、/System/Applications。最多扫描 3 "
                         "层子目录；不扫描外置磁盘、"
                         "其他账户或用户文档，不跟随目录链接。"),
          QStringLiteral(
              "程序大小为本体文件的逻辑大小，不含缓存和资料，也不代表实际可释放空间。使用历史未知；运行标记"
              "是当前登录会话的应用快照。")})
        lines->addWidget(new LVSelectableText(text, Fonts::system(10), Palette::muted));
    m_scopeIssues = new QWidget;
    LibraryLayout::column(m_scopeIssues, 0, 5);
    lines->addWidget(m_scopeIssues);
    QScrollArea* scroll = plainScroll(texts);
    scroll->setMaximumHeight(90);

    auto* scope = new QWidget;
    QBoxLayout* row = LibraryLayout::row(scope, 0, 8);
    m_scope = new LVDisclosure(scopeTitle(0), scroll);
    m_scopeTime = new LVText(QString(), Fonts::system(10), Palette::muted);
    m_scopeTime->setMaximumLines(1);
    row->addWidget(m_scope, 1);
    row->addWidget(m_scopeTime, 0, Qt::AlignTop | Qt::AlignRight);
    return scope;
}

// --- Updates ---

void ApplicationLibraryView::connectModel() {
    using M = ApplicationLibraryModel;
    m_refresh = new RefreshCoalescer(this, [this] { refresh(); });
    m_refresh->watch(&m_library, &M::sizeErrorsChanged, &M::issuesChanged, &M::scanningChanged,
                     &M::sizingChanged, &M::checkedChanged, &M::selectedIDChanged, &M::scannedAtChanged,
                     &M::messageChanged, &M::checkingRemovalChanged, &M::cancellingRemovalCheckChanged,
                     &M::removingChanged, &M::removalPhaseChanged, &M::removalFeedbackChanged,
                     &M::removalFeedbackIDChanged, &M::quittingApplicationIDChanged, &M::removalPlanChanged,
                     &M::receiptErrorChanged, &M::aiBusyChanged, &M::aiResultChanged, &M::aiErrorChanged,
                     &M::aiSnapshotDateChanged);
    connect(&m_library, &M::applicationsChanged, this, [this] {
        m_sortDirty = m_quitDirty = true;
        m_refresh->schedule();
    });
    connect(&m_library, &M::sizesChanged, this, [this] {
        m_sortDirty = m_sortDirty || m_sort == LibrarySort::size;
        m_refresh->schedule();
    });
    for (const auto changed : {&M::runningIDsChanged, &M::quitByHandChanged}) {
        connect(&m_library, changed, this, [this] {
            m_quitDirty = true;
            m_refresh->schedule();
        });
    }
    connect(&m_library, &M::selectedIDChanged, this, [this] { m_quitDirty = true; });
}

void ApplicationLibraryView::refresh() {
    const bool preview = m_library.isPreview();
    m_rescan->setEnabled(rescanEnabled(preview, m_library.scanning(), m_library.removing(),
                                       m_library.checkingRemoval(),
                                       m_library.quittingApplicationID().has_value()));
    const std::optional<QString> progress = scanProgressText(
        m_library.scanning(), m_library.sizing(), m_library.sizes().size() + m_library.sizeErrors().size(),
        m_library.applications().size());
    m_scanProgress->setVisible(progress.has_value());
    m_scanStatus->setText(progress.value_or(QString()));
    static_cast<MenuLabel*>(m_filterButton)->setTitle(filterMenuTitle(m_filter));
    static_cast<MenuLabel*>(m_sortButton)->setTitle(sortMenuTitle(m_sort));

    m_banner->setVisible(m_library.message().has_value());
    m_bannerText->setText(m_library.message().value_or(QString()));

    refreshList();
    refreshSelectionBar();

    const std::optional<InstalledApplication> selected = selectedApplication();
    if (m_quitDirty) {
        // Whether a quit may be offered is worked out once per change, never per paint.
        m_quitDirty = false;
        m_canQuit = selected && !selected->restriction() && m_library.runningIDs().contains(selected->id()) &&
                    m_library.canRequestQuit(*selected);
    }
    m_details->refresh(selected, m_showAISelection, m_canQuit);
    refreshScope();
    presentSheets();
}

void ApplicationLibraryView::refreshList() {
    const QList<InstalledApplication>& applications = m_library.applications();
    if (m_sortDirty) {
        m_sorted = SortedApplications(applications, m_library.sizes(), m_sort);
        m_sortDirty = false;
    }
    m_visible = visible(applications, m_sorted, m_search, m_filter, m_library.runningIDs());
    QList<ApplicationRow> rows;
    rows.reserve(m_visible.size());
    const QHash<QString, qint64>& sizes = m_library.sizes();
    for (const qsizetype index : std::as_const(m_visible)) {
        const InstalledApplication& application = applications.at(index);
        QString path = application.id();
        const auto size = sizes.constFind(path);
        rows.append(ApplicationRow{
            path, application.shownName(), application.version(), m_library.guidance(application).kind,
            size != sizes.cend() ? std::optional(*size) : std::nullopt, m_library.sizeErrors().contains(path),
            m_library.checked().contains(path)});
    }
    const ListChoice choice{m_search, m_filter, m_sort};
    const auto change = choice == m_listedChoice ? ApplicationListView::Change::refresh
                                                 : ApplicationListView::Change::newChoice;
    m_listedChoice = choice;
    m_list->setRows(std::move(rows), change);
    m_rows->setSizing(m_library.sizing());
    m_rows->setShowTicks(m_showAISelection);
    m_rows->setSelectedPath(m_library.selectedID());
    m_list->setSelectionBlocked(!rowSelectionAllowed(m_library.checkingRemoval(), m_library.removing(),
                                                     m_library.quittingApplicationID().has_value()));
    m_count->setText(QString::number(m_visible.size()) + QStringLiteral(" 个应用"));
    const bool empty = m_visible.isEmpty();
    if (empty) {
        const auto [title, detail] = ApplicationLibraryLogic::emptyState(m_library.scanning());
        m_empty->setTitle(title);
        m_empty->setDetail(detail);
    }
    m_list->setVisible(!empty);
    m_emptyBox->setVisible(empty);
}

void ApplicationLibraryView::refreshSelectionBar() {
    m_selectVisible->setVisible(m_showAISelection);
    m_clearTicks->setVisible(m_showAISelection);
    m_clearTicks->setEnabled(!m_library.checked().isEmpty());
    m_toggleSelection->setLabel(m_showAISelection ? QStringLiteral("收起 AI 选择")
                                                  : QStringLiteral("AI 整理建议"));
    m_selectionBar->setVisible(m_showAISelection);
    m_selectionText->setText(selectionBarText(m_library.checked().size()));
    m_adviceButton->setText(adviceButtonTitle(m_configuration));
    m_adviceButton->setEnabled(adviceButtonEnabled(m_configuration, m_library.removing(), m_library.aiBusy(),
                                                   m_library.checked().size()));
}

void ApplicationLibraryView::refreshScope() {
    const QStringList& issues = m_library.issues();
    m_scope->header()->setText(scopeTitle(issues.size()));
    m_scope->header()->setAccessibleName(scopeTitle(issues.size()));
    m_scope->setHeaderStyle(issues.isEmpty() ? Palette::muted : Palette::amber, Fonts::system(10));
    m_scopeTime->setText(m_library.scannedAt() ? timeOfDay(*m_library.scannedAt()) : QString());
    m_scopeTime->setColor(issues.isEmpty() ? Palette::muted : Palette::amber);
    if (issues != m_shownIssues) {
        m_shownIssues = issues;
        for (QWidget* old : m_scopeIssues->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            delete old;
        for (const QString& issue : issues)
            m_scopeIssues->layout()->addWidget(
                new LVSelectableText(issue, Fonts::system(10), Palette::amber));
    }
}

std::optional<InstalledApplication> ApplicationLibraryView::selectedApplication() const {
    const std::optional<QString>& selected = m_library.selectedID();
    if (!selected)
        return std::nullopt;
    for (const InstalledApplication& application : m_library.applications()) {
        if (application.id() == *selected)
            return application;
    }
    return std::nullopt;
}

QStringList ApplicationLibraryView::visiblePaths() const {
    QStringList paths;
    for (const qsizetype index : m_visible)
        paths.append(m_library.applications().at(index).id());
    return paths;
}

// --- The page's own state ---

void ApplicationLibraryView::setConfiguration(const AIConfiguration& configuration) {
    if (configuration == m_configuration)
        return;
    m_configuration = configuration;
    refreshSelectionBar();
}

void ApplicationLibraryView::setFilter(LibraryFilter filter) {
    if (filter == m_filter)
        return;
    m_filter = filter;
    refresh();
}

void ApplicationLibraryView::setSort(LibrarySort sort) {
    if (sort == m_sort)
        return;
    m_sort = sort;
    m_sortDirty = true;
    refresh();
}

void ApplicationLibraryView::setShowAISelection(bool show) {
    if (show == m_showAISelection)
        return;
    // Leaving the mode keeps the ticks.
    m_showAISelection = show;
    refresh();
}

// --- Actions ---

void ApplicationLibraryView::select(const QString& path) {
    if (!rowSelectionAllowed(m_library.checkingRemoval(), m_library.removing(),
                             m_library.quittingApplicationID().has_value()))
        return;
    m_library.setSelectedID(path);
}

void ApplicationLibraryView::tickRow(const QString& path, bool on) {
    const TickOutcome outcome = tick(m_library.checked(), path, on);
    m_library.setChecked(outcome.checked);
    if (outcome.message)
        m_library.setMessage(outcome.message);
}

void ApplicationLibraryView::tickVisible() {
    const TickOutcome outcome = ApplicationLibraryLogic::tickVisible(m_library.checked(), visiblePaths());
    m_library.setChecked(outcome.checked);
    if (outcome.message)
        m_library.setMessage(outcome.message);
}

void ApplicationLibraryView::requestAdvice() {
    const AdviceRequest request = ApplicationLibraryLogic::requestAdvice(
        m_configuration, [this] { m_library.refreshRunning(); }, [this] { return m_library.summary(); },
        [this] { return m_library.checked().size(); }, QDateTime::currentDateTime());
    if (request.configureAI) {
        if (m_configureAI)
            m_configureAI();
        return;
    }
    if (request.message) {
        m_library.setMessage(request.message);
        return;
    }
    m_consent = request.consent;
    presentSheets();
}

void ApplicationLibraryView::requestQuit(const InstalledApplication& application) {
    const LibraryAlert alert{QStringLiteral("保存工作后请求退出？"),
                             quitAlertMessage(application.shownName()), QStringLiteral("正常退出并检查"),
                             false};
    if (m_services.confirm(alert, this))
        m_library.requestQuitAndRecheck(application);
}

// --- Sheets ---

void ApplicationLibraryView::presentSheets() {
    const std::optional<ApplicationRemovalPlan>& plan = m_library.removalPlan();
    // The sheet shown stays while it is still wanted; the next one waits for it to close.
    if (m_sheet) {
        const bool wanted = (m_sheetKind == Sheet::removal && plan && plan->id == m_sheetID) ||
                            (m_sheetKind == Sheet::consent && m_consent && m_consent->id == m_sheetID) ||
                            (m_sheetKind == Sheet::receipts && m_showReceipts);
        if (wanted)
            return;
        closeSheet();
    }
    if (plan) {
        const ApplicationRemovalPlan shown = *plan;
        const auto cancel = [this, id = shown.id] {
            if (m_library.removalPlan() && m_library.removalPlan()->id == id)
                m_library.clearRemovalPlan();
        };
        m_sheetID = shown.id;
        openSheet(Sheet::removal,
                  new ApplicationRemovalConfirmation(shown.application, cancel,
                                                     [this, shown] { m_library.remove(shown); }),
                  cancel);
    } else if (m_consent) {
        const ApplicationAdviceConsent consent = *m_consent;
        const auto cancel = [this, id = consent.id] {
            if (m_consent && m_consent->id == id) {
                m_consent.reset();
                presentSheets();
            }
        };
        const auto confirm = [this, consent] {
            if (!m_consent || m_consent->id != consent.id)
                return;
            m_consent.reset();
            presentSheets();
            m_library.analyze(consent.summary, consent.configuration, consent.date);
        };
        m_sheetID = consent.id;
        openSheet(Sheet::consent,
                  new ApplicationAdviceConsentView(consent, m_library.isPreview(), cancel, confirm), cancel);
    } else if (m_showReceipts) {
        const auto close = [this] {
            m_showReceipts = false;
            presentSheets();
        };
        m_sheetID = QUuid();
        openSheet(Sheet::receipts, new ApplicationReceiptsView(m_library, close, m_services.confirm), close);
    }
}

void ApplicationLibraryView::openSheet(Sheet kind, QWidget* content, std::function<void()> onCancel) {
    m_sheetKind = kind;
    m_sheet = new LibrarySheet(content, std::move(onCancel), this);
    m_sheet->open();
}

void ApplicationLibraryView::closeSheet() {
    if (LibrarySheet* sheet = m_sheet) {
        m_sheet = nullptr;
        sheet->hide();
        sheet->deleteLater();
    }
    m_sheetKind = Sheet::none;
    m_sheetID = QUuid();
}

// --- Lifecycle ---

void ApplicationLibraryView::appear() {
    if (m_appeared)
        return;
    m_appeared = true;
    if (m_library.isPreview())
        return;
    if (!m_library.scannedAt())
        m_library.scan();
    else
        m_library.refreshRunning();
    m_library.loadReceipts();
    m_runningTimer->start();
}

void ApplicationLibraryView::leave() {
    if (!m_appeared)
        return;
    m_appeared = false;
    if (m_library.isPreview())
        return;
    m_runningTimer->stop();
    m_library.leave();
    if (m_icons)
        m_icons->leave();
}

void ApplicationLibraryView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (window()->isVisible() && !window()->isMinimized())
        appear();
}

void ApplicationLibraryView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // A minimised window's page is hidden by the window system, spontaneously: it stays.
    if (!event->spontaneous())
        leave();
}

} // namespace lunorvale
