#include "ui/library/ApplicationReceiptsView.h"

#include "app/library/ApplicationLibraryModel.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/kit/LVText.h"
#include "ui/kit/SectionHeading.h"
#include "ui/library/ApplicationLibraryLogic.h"

#include <QBoxLayout>
#include <QFontMetrics>
#include <QScrollArea>

namespace lunorvale {

using namespace ApplicationLibraryLogic;

ApplicationReceiptsView::ApplicationReceiptsView(ApplicationLibraryModel& library,
                                                 std::function<void()> close, LibraryConfirmer confirm,
                                                 QWidget* parent)
    : LibrarySheetContent(QSize(660, 550), 26, 18, close, parent), m_library(library),
      m_confirm(confirm ? std::move(confirm) : &presentLibraryAlert) {
    QBoxLayout* column = this->column();
    column->addWidget(new SectionHeading(
        QStringLiteral("卸载操作清单"),
        QStringLiteral("仅保存在本机，最多 100 条。记录原位置和系统返回的回收站位置，不上传。")));
    m_actionMessage = new LVText(QString(), Fonts::system(12), Palette::amber);
    // Its line stays reserved while there is no message, so that a failed reveal never moves the list
    // under the pointer.
    QSizePolicy reserved = m_actionMessage->sizePolicy();
    reserved.setRetainSizeWhenHidden(true);
    m_actionMessage->setSizePolicy(reserved);
    m_actionMessage->setMinimumHeight(QFontMetrics(m_actionMessage->font()).height());
    column->addWidget(m_actionMessage);

    auto* content = new QWidget;
    QBoxLayout* states = LibraryLayout::column(content, 0, 0);

    m_unreadable = new QWidget;
    QBoxLayout* unreadable = LibraryLayout::column(m_unreadable, 20, 12);
    m_unreadableText = new LVText(QString(), Fonts::system(13), Palette::amber);
    unreadable->addWidget(m_unreadableText);
    unreadable->addWidget(new LVText(
        QStringLiteral("可先定位记录文件保留副本并复查；修复后重新读取。这里不会覆盖无法读取的旧记录。"),
        Fonts::system(12), Palette::muted));
    auto* recovery = new QHBoxLayout;
    m_revealLog = new LVButton(LVButtonKind::secondary, QStringLiteral("定位记录文件"));
    m_reread = new LVButton(LVButtonKind::secondary, QStringLiteral("重新读取"));
    recovery->addWidget(m_revealLog);
    recovery->addWidget(m_reread);
    recovery->addStretch();
    unreadable->addLayout(recovery);
    states->addWidget(m_unreadable);

    m_empty = new QWidget;
    LibraryLayout::column(m_empty, 30, 0)
        ->addWidget(new LVText(QStringLiteral("还没有卸载操作。"), Fonts::system(13), Palette::muted));
    states->addWidget(m_empty);

    m_list = new QWidget;
    LibraryLayout::column(m_list, 0, 20);
    states->addWidget(m_list);
    states->addStretch();

    m_scroll = new QScrollArea;
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    // Tab stops at the controls in it, which it scrolls into view, never at the view itself.
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_scroll->setWidget(content);
    // setWidget turns the filling on; the card or surface behind shows through.
    content->setAutoFillBackground(false);
    column->addWidget(m_scroll, 1);

    auto* footer = new QHBoxLayout;
    m_clear = new LVButton(LVButtonKind::lunor, QStringLiteral("清空清单"));
    m_done = new LVButton(LVButtonKind::primary, QStringLiteral("完成"));
    footer->addWidget(m_clear);
    footer->addStretch();
    footer->addWidget(m_done);
    column->addLayout(footer);

    connect(m_revealLog, &LVButton::clicked, this, [this] { m_library.revealRemovalLog(); });
    connect(m_reread, &LVButton::clicked, this, [this] { m_library.loadReceipts(); });
    connect(m_clear, &LVButton::clicked, this, &ApplicationReceiptsView::askToClear);
    connect(m_done, &LVButton::clicked, this, &ApplicationReceiptsView::cancel);
    for (const auto signal :
         {&ApplicationLibraryModel::receiptsChanged, &ApplicationLibraryModel::receiptErrorChanged,
          &ApplicationLibraryModel::receiptActionMessageChanged, &ApplicationLibraryModel::removingChanged})
        connect(&library, signal, this, &ApplicationReceiptsView::refresh);
    refresh();
}

void ApplicationReceiptsView::refresh() {
    const bool preview = m_library.isPreview();
    const std::optional<QString>& error = m_library.receiptError();
    m_actionMessage->setText(m_library.receiptActionMessage().value_or(QString()));
    m_actionMessage->setVisible(m_library.receiptActionMessage().has_value());

    const ReceiptsContent content = receiptsContent(error, m_library.receipts());
    m_unreadable->setVisible(content == ReceiptsContent::unreadable);
    m_unreadableText->setText(error.value_or(QString()));
    m_empty->setVisible(content == ReceiptsContent::empty);
    m_list->setVisible(content == ReceiptsContent::list);
    m_revealLog->setEnabled(!preview);
    m_reread->setEnabled(rereadReceiptsEnabled(preview, m_library.removing()));
    m_clear->setEnabled(
        clearReceiptsEnabled(m_library.receipts().size(), m_library.removing(), preview, error));
    rebuildCards();
}

void ApplicationReceiptsView::rebuildCards() {
    // Receipts change only when a removal ends or the file is read again: the cards are made anew then.
    if (m_library.receipts() == m_shownReceipts)
        return;
    m_shownReceipts = m_library.receipts();
    qDeleteAll(m_cards);
    m_cards.clear();
    const bool preview = m_library.isPreview();
    for (const ApplicationRemovalReceipt& receipt : m_library.receipts()) {
        auto* body = new QWidget;
        QBoxLayout* lines = LibraryLayout::column(body, 16, 7);
        // One line whatever the file holds: a long state is cut, not wrapped under the card's own lines.
        auto* state = new LVText(ApplicationRemovalReceipt::shownState(receipt.state),
                                 Fonts::system(13, FontWeight::medium), Palette::ink);
        state->setMaximumLines(1);
        lines->addWidget(state);
        lines->addWidget(new LVText(receiptDate(receipt.date), Fonts::system(10), Palette::muted));
        lines->addWidget(new LVSelectableText(receiptLocations(receipt), Fonts::system(11), Palette::ink));
        lines->addWidget(
            new LVText(QStringLiteral("可在文件管理器中打开回收站并尝试放回原处；原位置已有其他项目时，请先"
                                      "核对，避免覆盖。记录不会随回收站清空或恢复自动更新。"),
                       Fonts::system(10), Palette::muted));
        auto* buttons = new QHBoxLayout;
        auto* original = new LVButton(LVButtonKind::secondary, QStringLiteral("查看原位置"));
        auto* trash = new LVButton(LVButtonKind::secondary, QStringLiteral("定位回收站项目"));
        original->setEnabled(!preview);
        trash->setEnabled(!preview && receipt.trashPath.has_value());
        buttons->addWidget(original);
        buttons->addWidget(trash);
        buttons->addStretch();
        lines->addLayout(buttons);
        connect(original, &LVButton::clicked, this,
                [this, receipt] { m_library.revealReceipt(receipt, false); });
        connect(trash, &LVButton::clicked, this, [this, receipt] { m_library.revealReceipt(receipt, true); });
        LVCard* card = lunorCard(body);
        m_list->layout()->addWidget(card);
        m_cards.append(card);
    }
}

void ApplicationReceiptsView::askToClear() {
    const LibraryAlert alert{QStringLiteral("清空卸载操作清单？"),
                             QStringLiteral("只清空这里的记录，不清空回收站，也不恢复或删除任何应用。"),
                             QStringLiteral("清空清单"), true};
    if (m_confirm(alert, this))
        m_library.clearReceipts();
}

} // namespace lunorvale
