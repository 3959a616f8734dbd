#include "ui/library/ApplicationLibraryDetails.h"

#include "app/library/ApplicationLibraryModel.h"
#include "core/common/SafeText.h"
#include "platform/gui/ApplicationIconLoader.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVLabel.h"
#include "ui/kit/LVPlainButton.h"
#include "ui/kit/LVRule.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/kit/LVText.h"
#include "ui/library/ApplicationIcon.h"
#include "ui/library/ApplicationLibraryLogic.h"
#include "ui/library/LibraryParts.h"

#include <QBoxLayout>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>

namespace lunorvale {

using namespace ApplicationLibraryLogic;

// The icon painted beside the selectable name.
class ApplicationLibraryDetails::Header final : public QWidget {
public:
    explicit Header(ApplicationIconLoader* icons) : m_icons(icons) {
        QBoxLayout* row = LibraryLayout::row(this, 0, 0);
        row->setContentsMargins(ApplicationIcon::side + 8, 0, 0, 0);
        name = new LVSelectableText(QString(), Fonts::system(16, FontWeight::semibold), Palette::ink);
        row->addWidget(name, 1, Qt::AlignVCenter);
        setMinimumHeight(ApplicationIcon::side);
        if (icons) {
            connect(icons, &ApplicationIconLoader::loaded, this, [this](const QString& loaded) {
                if (loaded == path)
                    update();
            });
        }
    }

    LVSelectableText* name;
    QString path;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF frame(0, (height() - ApplicationIcon::side) / 2.0, ApplicationIcon::side,
                           ApplicationIcon::side);
        ApplicationIcon::paint(painter, frame, m_icons, path, this);
    }

private:
    ApplicationIconLoader* m_icons;
};

LVSelectableText* ApplicationLibraryDetails::nameText() const {
    return m_header->name;
}

namespace {

LVButton* wide(LVButton* button) {
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return button;
}

} // namespace

ApplicationLibraryDetails::ApplicationLibraryDetails(ApplicationLibraryModel& library,
                                                     ApplicationIconLoader* icons, Actions actions,
                                                     QWidget* parent)
    : QWidget(parent), m_library(library), m_icons(icons), m_actions(std::move(actions)) {
    QBoxLayout* column = LibraryLayout::column(this, 0, 0);
    auto* content = new QWidget;
    QBoxLayout* blocks = LibraryLayout::column(content, 20, 20);
    m_placeholder = new LVText(QStringLiteral("选择一个应用查看详情。"), Fonts::system(13), Palette::muted);
    blocks->addWidget(m_placeholder);
    buildDetails();
    blocks->addWidget(m_details);
    buildAdvice();
    blocks->addWidget(m_advice);
    blocks->addStretch();

    m_scroll = new QScrollArea;
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    // Tab stops at the controls in it, which it scrolls into view, never at the view itself.
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_scroll->setWidget(content);
    // setWidget turns the filling on; the card or surface behind shows through.
    content->setAutoFillBackground(false);
    column->addWidget(m_scroll, 1);
    buildFooter();
    column->addWidget(m_footer);

    // The advice section's place is known only once the column is laid out; the user's own scrolling
    // ends the wish to show it.
    QScrollBar* bar = m_scroll->verticalScrollBar();
    connect(bar, &QScrollBar::rangeChanged, this, [this] {
        if (m_followAdvice)
            scrollTo(m_advice->y());
    });
    connect(bar, &QScrollBar::valueChanged, this, [this] {
        if (!m_scrolling)
            m_followAdvice = false;
    });
}

void ApplicationLibraryDetails::buildDetails() {
    m_details = new QWidget;
    QBoxLayout* column = LibraryLayout::column(m_details, 0, 13);
    m_header = new Header(m_icons);
    column->addWidget(m_header);
    m_size = new LVText(QString(), Fonts::system(14, FontWeight::medium), Palette::ink);
    column->addWidget(m_size);
    m_version = new LVSelectableText(QString(), Fonts::system(11), Palette::muted);
    column->addWidget(m_version);
    m_path = new LVSelectableText(QString(), Fonts::system(11), Palette::muted);
    column->addWidget(m_path);

    auto* buttons = new QHBoxLayout;
    m_open = new LVButton(LVButtonKind::secondary, QStringLiteral("打开应用"));
    m_reveal = new LVButton(LVButtonKind::secondary, QStringLiteral("在文件管理器中显示"));
    buttons->addWidget(m_open);
    buttons->addWidget(m_reveal);
    buttons->addStretch();
    column->addLayout(buttons);

    auto* guidance = new QWidget;
    QBoxLayout* lines = LibraryLayout::column(guidance, 12, 7);
    m_guidanceTitle = new LVText(QString(), Fonts::system(12, FontWeight::semibold), Palette::ink);
    m_guidanceReason = new LVText(QString(), Fonts::system(11), Palette::ink);
    m_guidanceReason->setLineSpacing(3);
    m_guidanceNext = new LVText(QString(), Fonts::system(11), Palette::muted);
    m_guidanceNext->setLineSpacing(3);
    m_relatedPath = new LVSelectableText(QString(), Fonts::system(10), Palette::muted);
    m_revealRelated = new LVButton(LVButtonKind::secondary, QStringLiteral("在文件管理器中定位发现的项目"));
    m_loginItems = new LVButton(LVButtonKind::lunor, QStringLiteral("打开自动启动设置"));
    for (QWidget* line :
         std::initializer_list<QWidget*>{m_guidanceTitle, m_guidanceReason, m_guidanceNext, m_relatedPath})
        lines->addWidget(line);
    lines->addWidget(m_revealRelated, 0, Qt::AlignLeft);
    lines->addWidget(m_loginItems, 0, Qt::AlignLeft);
    column->addWidget(lunorCard(guidance));

    m_guide = new LVPlainButton(QStringLiteral("查看 Apple 卸载指引"), std::nullopt, Palette::accent,
                                Fonts::system(11));
    column->addWidget(m_guide, 0, Qt::AlignLeft);
    auto* caution = new LVText(
        QStringLiteral(
            "有厂商卸载程序时请优先使用。通用移除不清理应用的关联数据，也不能证明所有后台组件已卸载。"),
        Fonts::system(11), Palette::muted);
    caution->setLineSpacing(3);
    column->addWidget(caution);

    connect(m_open, &LVButton::clicked, this, [this] {
        if (m_selected)
            m_library.open(*m_selected);
    });
    connect(m_reveal, &LVButton::clicked, this, [this] {
        if (m_selected && m_actions.reveal)
            m_actions.reveal(*m_selected);
    });
    connect(m_revealRelated, &LVButton::clicked, this, [this] {
        if (m_selected)
            m_library.revealRelated(m_library.guidance(*m_selected));
    });
    connect(m_loginItems, &LVButton::clicked, this, [this] {
        if (m_actions.openLoginItems)
            m_actions.openLoginItems();
    });
    connect(m_guide, &LVPlainButton::clicked, this, [this] {
        if (m_actions.openUninstallGuide)
            m_actions.openUninstallGuide();
    });
}

void ApplicationLibraryDetails::buildAdvice() {
    m_advice = new QWidget;
    QBoxLayout* outer = LibraryLayout::column(m_advice, 0, 20);
    outer->addWidget(new LVRule);
    auto* section = new QVBoxLayout;
    section->setSpacing(11);
    outer->addLayout(section);
    section->addWidget(new LVLabel(LVSymbol("sparkles"), QStringLiteral("AI 整理建议"),
                                   Fonts::system(13, FontWeight::semibold)));
    m_adviceProgress = new QWidget;
    QBoxLayout* progress = LibraryLayout::row(m_adviceProgress, 0, 8);
    m_adviceSpinner = new BusyIndicator;
    m_adviceSpinner->setAnimated(!m_library.isPreview());
    progress->addWidget(m_adviceSpinner);
    progress->addWidget(new LVText(QStringLiteral("正在分析已确认的清单…"), Fonts::system(11), Palette::ink),
                        1);
    section->addWidget(m_adviceProgress);
    m_cancelAdvice = new LVButton(LVButtonKind::secondary, QStringLiteral("取消分析"));
    section->addWidget(m_cancelAdvice, 0, Qt::AlignLeft);
    m_adviceError = new LVText(QString(), Fonts::system(12), Palette::danger);
    section->addWidget(m_adviceError);
    m_snapshot = new LVText(QString(), Fonts::system(10), Palette::muted);
    section->addWidget(m_snapshot);
    m_reply = new LVSelectableText(QString(), Fonts::system(12), Palette::ink);
    m_reply->setLineSpacing(5);
    section->addWidget(m_reply);
    m_caution = new LVText(
        QStringLiteral("建议可能有误，请核实用途；AI 无权移除应用。列表或选择变化不会自动更新这份回复。"),
        Fonts::system(10), Palette::muted);
    section->addWidget(m_caution);
    m_adviceHint = new LVText(
        QStringLiteral(
            "勾选想了解的应用，预览清单后再发送。AI 可以帮助理解用途和取舍，无法知道你是否还需要它。"),
        Fonts::system(12), Palette::muted);
    m_adviceHint->setLineSpacing(4);
    section->addWidget(m_adviceHint);
    connect(m_cancelAdvice, &LVButton::clicked, this, [this] { m_library.cancelAI(); });
}

void ApplicationLibraryDetails::buildFooter() {
    m_footer = new QWidget;
    QBoxLayout* outer = LibraryLayout::column(m_footer, 0, 0);
    outer->addWidget(new LVRule);
    auto* actions = new QWidget;
    QBoxLayout* column = LibraryLayout::column(actions, 16, 10);
    outer->addWidget(actions);
    const bool animated = !m_library.isPreview();

    m_progress = new QWidget;
    QBoxLayout* progress = LibraryLayout::column(m_progress, 0, 10);
    auto* status = new QHBoxLayout;
    status->setSpacing(8);
    m_progressSpinner = new BusyIndicator;
    m_progressSpinner->setAnimated(animated);
    m_progressText = new LVText(QString(), Fonts::system(11), Palette::muted);
    status->addWidget(m_progressSpinner, 0, Qt::AlignTop);
    status->addWidget(m_progressText, 1);
    progress->addLayout(status);
    m_cancelCheck = new LVButton(LVButtonKind::secondary, QStringLiteral("取消检查"));
    progress->addWidget(m_cancelCheck, 0, Qt::AlignLeft);
    column->addWidget(m_progress);

    m_quitWait = new QWidget;
    QBoxLayout* wait = LibraryLayout::column(m_quitWait, 0, 10);
    auto* waiting = new QHBoxLayout;
    waiting->setSpacing(8);
    m_quitSpinner = new BusyIndicator;
    m_quitSpinner->setAnimated(animated);
    waiting->addWidget(m_quitSpinner);
    waiting->addWidget(new LVText(QStringLiteral("等待应用退出…"), Fonts::system(11), Palette::ink), 1);
    wait->addLayout(waiting);
    wait->addWidget(new LVText(QStringLiteral("如果弹出保存提示，请先在原应用中处理。"), Fonts::system(11),
                               Palette::muted));
    m_stopWaiting = new LVButton(LVButtonKind::secondary, QStringLiteral("停止等待"));
    wait->addWidget(m_stopWaiting, 0, Qt::AlignLeft);
    column->addWidget(m_quitWait);

    m_quit = wide(new LVButton(LVButtonKind::primary, QStringLiteral("正常退出并重新检查…")));
    m_remove = wide(new LVButton(LVButtonKind::danger, QStringLiteral("检查并移除程序…")));
    m_receiptNote = new LVText(QStringLiteral("操作清单需要复查，请打开“卸载操作清单”查看原因。"),
                               Fonts::system(11), Palette::amber);
    column->addWidget(m_quit);
    column->addWidget(m_remove);
    column->addWidget(m_receiptNote);

    connect(m_cancelCheck, &LVButton::clicked, this, [this] { m_library.cancelRemovalCheck(true); });
    connect(m_stopWaiting, &LVButton::clicked, this, [this] { m_library.stopWaitingForQuit(); });
    connect(m_quit, &LVButton::clicked, this, [this] {
        if (m_selected && m_actions.requestQuit)
            m_actions.requestQuit(*m_selected);
    });
    connect(m_remove, &LVButton::clicked, this, [this] {
        if (m_selected)
            m_library.prepareRemoval(*m_selected);
    });
}

void ApplicationLibraryDetails::refresh(const std::optional<InstalledApplication>& selected,
                                        bool showAISelection, bool canQuit) {
    // A footer control that goes away below while holding focus hands it on within the footer.
    QWidget* focused = window()->focusWidget();
    if (focused && !m_footer->isAncestorOf(focused))
        focused = nullptr;
    const auto pathOf = [](const std::optional<InstalledApplication>& application) {
        return application ? std::optional(application->id()) : std::nullopt;
    };
    const bool newSelection = pathOf(selected) != pathOf(m_selected);
    m_selected = selected;
    m_placeholder->setVisible(!selected);
    m_details->setVisible(selected.has_value());
    if (selected)
        refreshDetails(*selected);
    m_advice->setVisible(
        showsAdviceSection(showAISelection, m_library.aiBusy(), m_library.aiError(), m_library.aiResult()));
    const AdviceRows advice =
        adviceRows(m_library.aiBusy(), m_library.aiError(), m_library.aiResult(), m_library.aiSnapshotDate());
    refreshAdvice(advice);
    const bool footer =
        selected && showsActionsFooter(*selected, m_library.checkingRemoval(), m_library.removing(),
                                       m_library.quittingApplicationID());
    m_footer->setVisible(footer);
    if (footer)
        refreshActions(*selected, canQuit);
    if (focused)
        keepFocusInFooter(focused);

    // Another application starts at its top; the advice section comes into view when it has news.
    if (newSelection) {
        m_followAdvice = false;
        scrollTo(0);
    }
    const bool news = (advice.progress && !m_shownAdvice.progress) ||
                      (advice.error && advice.error != m_shownAdvice.error) ||
                      (advice.reply && advice.reply != m_shownAdvice.reply);
    m_shownAdvice = advice;
    if (news && m_advice->isVisibleTo(this))
        showAdvice();
}

void ApplicationLibraryDetails::scrollTo(int value) {
    m_scrolling = true;
    m_scroll->verticalScrollBar()->setValue(value);
    m_scrolling = false;
}

void ApplicationLibraryDetails::showAdvice() {
    m_followAdvice = true;
    scrollTo(m_advice->y());
}

void ApplicationLibraryDetails::keepFocusInFooter(QWidget* focused) {
    if (focused->isVisibleTo(this) && focused->isEnabled())
        return;
    // The control that took its place: the way out of a check or a quit wait, else the removal itself.
    for (QWidget* next : std::initializer_list<QWidget*>{m_cancelCheck, m_stopWaiting, m_remove, m_quit}) {
        if (next->isVisibleTo(this) && next->isEnabled()) {
            next->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    m_scroll->setFocus(Qt::OtherFocusReason);
}

void ApplicationLibraryDetails::refreshDetails(const InstalledApplication& application) {
    const bool preview = m_library.isPreview();
    const ApplicationManagementGuidance guidance = m_library.guidance(application);
    m_header->path = application.id();
    m_header->name->setText(application.shownName());
    m_header->update();
    m_size->setText(QStringLiteral("程序本体 ") + sizeLabel(application.id(), m_library.sizes(),
                                                            m_library.sizeErrors(), m_library.sizing()));
    m_version->setText(versionLine(application));
    m_path->setText(SafeText::verbatim(application.id()));
    m_open->setEnabled(!preview && !m_library.removing() && !m_library.checkingRemoval());
    m_reveal->setEnabled(!preview);
    m_guidanceTitle->setText(guidance.title());
    m_guidanceReason->setText(guidance.reason);
    m_guidanceNext->setText(guidance.nextStep);
    m_relatedPath->setVisible(guidance.relatedURL.has_value());
    m_relatedPath->setText(guidance.relatedURL ? SafeText::verbatim(guidance.relatedURL->path()) : QString());
    m_revealRelated->setVisible(guidance.relatedURL.has_value());
    m_revealRelated->setEnabled(!preview);
    m_loginItems->setVisible(offersLoginItemsSettings(application, guidance));
    m_loginItems->setEnabled(!preview);
}

void ApplicationLibraryDetails::refreshAdvice(const AdviceRows& rows) {
    m_adviceProgress->setVisible(rows.progress);
    m_cancelAdvice->setVisible(rows.progress);
    m_adviceError->setVisible(rows.error.has_value());
    m_adviceError->setText(rows.error.value_or(QString()));
    m_snapshot->setVisible(rows.snapshotLine.has_value());
    m_snapshot->setText(rows.snapshotLine.value_or(QString()));
    m_reply->setVisible(rows.reply.has_value());
    m_reply->setText(rows.reply.value_or(QString()));
    m_caution->setVisible(rows.reply.has_value());
    m_adviceHint->setVisible(rows.hint);
}

void ApplicationLibraryDetails::refreshActions(const InstalledApplication& application, bool canQuit) {
    const bool preview = m_library.isPreview();
    const RemovalActions actions = removalActions(application, m_library.checkingRemoval(),
                                                  m_library.removing(), m_library.quittingApplicationID());
    m_progress->setVisible(actions == RemovalActions::progress);
    m_progressText->setText(
        ApplicationLibraryLogic::progressText(m_library.cancellingRemovalCheck(), m_library.removalPhase()));
    m_cancelCheck->setVisible(actions == RemovalActions::progress && m_library.checkingRemoval());
    m_cancelCheck->setEnabled(!m_library.cancellingRemovalCheck());
    m_quitWait->setVisible(actions == RemovalActions::quitWait);
    const bool buttons = actions == RemovalActions::buttons;
    m_quit->setVisible(buttons && canQuit);
    m_quit->setEnabled(!preview);
    m_remove->setVisible(buttons);
    m_remove->setText(removalButtonTitle(application, m_library.removalFeedbackID()));
    m_remove->setEnabled(!preview && !m_library.receiptError());
    m_receiptNote->setVisible(buttons && m_library.receiptError().has_value());
}

} // namespace lunorvale
