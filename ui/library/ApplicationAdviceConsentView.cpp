#include "ui/library/ApplicationAdviceConsentView.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVDisclosure.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/kit/LVText.h"
#include "ui/kit/SectionHeading.h"

#include <QBoxLayout>
#include <QScrollArea>

namespace lunorvale {

using namespace ApplicationLibraryLogic;

namespace {

QFont monospaced(int pixelSize) {
    QFont font(QStringLiteral("Noto Sans Mono CJK SC"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(pixelSize);
    return font;
}

QWidget* itemCard(const ApplicationAdviceItem& item) {
    const ConsentCard lines = consentCard(item);
    auto* body = new QWidget;
    QBoxLayout* column = LibraryLayout::column(body, 14, 6);
    column->addWidget(new LVText(lines.name, Fonts::system(13, FontWeight::semibold), Palette::ink));
    column->addWidget(new LVText(lines.identity, Fonts::system(11), Palette::muted));
    column->addWidget(new LVText(lines.size, Fonts::system(11), Palette::ink));
    column->addWidget(new LVText(lines.running, Fonts::system(11), Palette::ink));
    if (lines.restriction)
        column->addWidget(new LVText(*lines.restriction, Fonts::system(11), Palette::amber));
    return card(body);
}

} // namespace

ApplicationAdviceConsentView::ApplicationAdviceConsentView(const ApplicationAdviceConsent& consent,
                                                           bool preview, std::function<void()> onCancel,
                                                           std::function<void()> onConfirm, QWidget* parent)
    : LibrarySheetContent(QSize(630, 620), 26, 15, onCancel, parent) {
    QBoxLayout* column = this->column();
    column->addWidget(new SectionHeading(QStringLiteral("发送这份应用清单？"), consentSubtitle(consent.count),
                                         LVSymbol("sparkles")));
    column->addWidget(new LVSelectableText(consentReceiver(consent.configuration), Fonts::system(12)));

    auto* inner = new QWidget;
    QBoxLayout* stack = LibraryLayout::column(inner, 14, 14);
    stack->addWidget(new LVText(QStringLiteral("使用历史未知；未联网核实应用用途或版本。"), Fonts::system(11),
                                Palette::muted));
    // Decoded each time the sheet is made; a text that does not decode shows no cards and still sends.
    for (const ApplicationAdviceItem& item : confirmedList(consent.summary)) {
        stack->addWidget(itemCard(item));
        ++m_cardCount;
    }
    auto* raw = new LVSelectableText(consent.summary, monospaced(10), Palette::muted);
    raw->setContentsMargins(0, 8, 0, 0);
    m_raw = new LVDisclosure(QStringLiteral("查看发送的原始数据"), raw);
    m_raw->setHeaderStyle(Palette::muted, Fonts::system(11));
    stack->addWidget(m_raw);
    stack->addStretch();

    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // Tab stops at the controls in it, which it scrolls into view, never at the view itself.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->viewport()->setAutoFillBackground(false);
    scroll->setWidget(inner);
    // setWidget turns the filling on; the card or surface behind shows through.
    inner->setAutoFillBackground(false);
    column->addWidget(lunorCard(scroll), 1);

    auto* privacy = new LVText(
        QStringLiteral(
            "上面是将发送的完整应用数据，另附固定的分析说明。不发送完整安装路径、文档、日志或使用历史。"
            "AI 仅给文字建议，无法执行卸载。服务商可能按账号保存请求；取消发送后的分析无法撤回已发出的"
            "数据。"),
        Fonts::system(11), Palette::muted);
    privacy->setLineSpacing(4);
    column->addWidget(privacy);

    auto* buttons = new QHBoxLayout;
    m_cancel = new LVButton(LVButtonKind::secondary, QStringLiteral("返回选择"));
    m_confirm = new LVButton(LVButtonKind::primary, QStringLiteral("确认发送并分析"));
    m_confirm->setEnabled(!preview);
    buttons->addWidget(m_cancel);
    buttons->addStretch();
    buttons->addWidget(m_confirm);
    column->addLayout(buttons);
    connect(m_cancel, &LVButton::clicked, this, &ApplicationAdviceConsentView::cancel);
    connect(m_confirm, &LVButton::clicked, this, [onConfirm = std::move(onConfirm)] {
        if (onConfirm)
            onConfirm();
    });
}

} // namespace lunorvale
