#include "ui/window/HistoryPage.h"

#include "app/model/AppModel.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVEmptyState.h"
#include "ui/kit/LVSegmentedControl.h"
#include "ui/kit/LVText.h"
#include "ui/kit/RefreshCoalescer.h"
#include "ui/kit/SectionHeading.h"
#include "ui/window/HistoryList.h"
#include "ui/window/HistoryLogic.h"
#include "ui/window/MainView.h"
#include "ui/window/PageParts.h"
#include "ui/window/ProcessesPage.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace lunorvale {

HistoryPage::HistoryPage(MainView& view, HistoryExport::Services exportServices, QWidget* parent)
    : QWidget(parent), m_view(view), m_exporter(view.model(), std::move(exportServices)) {
    AppModel& model = view.model();
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(18);

    auto* header = new QHBoxLayout;
    header->addWidget(new SectionHeading(QStringLiteral("操作记录"),
                                         QStringLiteral("在本机保留最近 30 天、最多 500 条记录。"),
                                         std::nullopt, this),
                      1, Qt::AlignTop);
    m_export = new LVButton(LVButtonKind::secondary, QStringLiteral("导出全部"), this);
    m_export->setSymbol(LVSymbol("square.and.arrow.up"));
    m_clear = new LVButton(LVButtonKind::lunor, QStringLiteral("清空"), this);
    header->addWidget(m_export, 0, Qt::AlignTop);
    header->addWidget(m_clear, 0, Qt::AlignTop);
    column->addLayout(header);
    connect(m_export, &QAbstractButton::clicked, this, [this] { m_exporter.start(); });
    connect(m_clear, &QAbstractButton::clicked, this, [this] { m_view.setClearingHistory(true); });

    auto* filterRow = new QHBoxLayout;
    QStringList labels;
    for (const HistoryFilter key : HistoryLogic::filterKeys())
        labels.append(HistoryLogic::filterLabel(key));
    m_filter = new LVSegmentedControl(labels, this);
    m_filter->setAccessibleName(QStringLiteral("记录类型"));
    m_filter->setFixedWidth(330);
    filterRow->addWidget(m_filter);
    auto* searchBox =
        new SearchBox(QStringLiteral("搜索记录"), QStringLiteral("搜索记录"), SearchBox::Style::plain, this);
    searchBox->setFixedWidth(230);
    m_search = searchBox->field();
    filterRow->addWidget(searchBox);
    filterRow->addStretch(1);
    column->addLayout(filterRow);
    connect(m_filter, &LVSegmentedControl::currentIndexChanged, this, [this](int index) {
        if (index >= 0 && index < HistoryLogic::filterKeys().size())
            m_view.setHistoryFilter(HistoryLogic::filterKeys().at(index));
    });
    connect(m_search, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_view.setHistorySearch(text); });

    m_storage = PageParts::symbolText(LVSymbol("exclamationmark.triangle"), {}, Fonts::system(12),
                                      Palette::amber, 0, &m_storageText);
    m_storage->setParent(this);
    column->addWidget(m_storage);

    m_stack = new QStackedWidget(this);
    m_empty = new LVEmptyState(LVSymbol("clock.arrow.circlepath"), {}, {});
    auto* emptyPage = new QWidget;
    auto* emptyColumn = new QVBoxLayout(emptyPage);
    emptyColumn->setContentsMargins(0, 0, 0, 0);
    LVCard* emptyCard = card(m_empty);
    emptyCard->setMinimumHeight(280);
    emptyColumn->addWidget(emptyCard);
    emptyColumn->addStretch(1);
    m_stack->addWidget(emptyPage);
    m_list = new HistoryListView;
    m_list->setAccessibleName(QStringLiteral("操作记录列表"));
    auto* listPage = new QWidget;
    auto* listColumn = new QVBoxLayout(listPage);
    listColumn->setContentsMargins(0, 0, 0, 0);
    // As tall as the entries, up to the page's room; the list scrolls beyond that.
    LVCard* listCard = card(m_list);
    listCard->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    listColumn->addWidget(listCard, 1);
    listColumn->addStretch(0);
    m_stack->addWidget(listPage);
    column->addWidget(m_stack, 1);

    auto* footer = new QHBoxLayout;
    m_count = new LVText({}, Fonts::system(10), Palette::muted, this);
    m_count->setMaximumLines(1);
    footer->addWidget(m_count);
    footer->addStretch(1);
    auto* note = new LVText(QStringLiteral("不保存启动命令、完整路径或 AI 回复。导出为 JSON 文件。"),
                            Fonts::system(10), Palette::muted, this);
    note->setMaximumLines(1);
    footer->addWidget(note);
    column->addLayout(footer);

    auto* refresher = new RefreshCoalescer(
        this, [this] { refresh(); }, RefreshCoalescer::WhileHidden::wait);
    refresher->watch(&view, &MainView::stateChanged);
    refresher->watch(&model, &AppModel::historyChanged, &AppModel::historyStorageErrorChanged);
}

void HistoryPage::refresh() {
    if (!isVisible())
        return;
    const AppModel& model = m_view.model();
    const MainViewState& state = m_view.state();
    const QList<ActivityEvent>& history = model.history();
    const bool historyEmpty = history.isEmpty();
    QList<ActivityEvent> visible =
        HistoryLogic::visibleEvents(history, state.historyFilter, state.historySearch);

    m_export->setEnabled(HistoryLogic::exportEnabled(historyEmpty, model.isPreview()));
    m_clear->setEnabled(model.canClearHistory());
    const int filterIndex = static_cast<int>(HistoryLogic::filterKeys().indexOf(state.historyFilter));
    if (filterIndex >= 0 && filterIndex != m_filter->currentIndex()) {
        const QSignalBlocker blocker(m_filter);
        m_filter->setCurrentIndex(filterIndex);
    }
    if (m_search->text() != state.historySearch)
        m_search->setText(state.historySearch);
    m_storage->setVisible(model.historyStorageError().has_value());
    m_storageText->setText(model.historyStorageError().value_or(QString()));
    m_count->setText(HistoryLogic::countLabel(visible.size()));

    const bool empty = visible.isEmpty();
    if (empty) {
        const auto texts = HistoryLogic::emptyList(historyEmpty);
        m_empty->setTitle(texts.title);
        m_empty->setDetail(texts.detail);
    }
    const ListChoice choice{state.historyFilter, state.historySearch};
    m_list->setEvents(std::move(visible), history,
                      choice == m_listedChoice ? HistoryListView::Change::refresh
                                               : HistoryListView::Change::newChoice);
    m_listedChoice = choice;
    m_stack->setCurrentIndex(empty ? 0 : 1);
}

} // namespace lunorvale
