#include "ui/settings/SettingsContextPanel.h"

#include "app/model/AppModel.h"
#include "ui/kit/AIStatusButton.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVDisclosure.h"
#include "ui/kit/LVFill.h"
#include "ui/kit/LVLabel.h"
#include "ui/kit/LVPlainButton.h"
#include "ui/kit/LVRule.h"
#include "ui/kit/LVText.h"
#include "ui/settings/SettingsCards.h"
#include "ui/settings/SettingsRows.h"
#include "ui/settings/SettingsView.h"

#include <QHBoxLayout>

namespace lunorvale {

AIServiceStatusView::AIServiceStatusView(SettingsView& view, QWidget* parent)
    : QWidget(parent), m_view(view) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    column->addWidget(new LVText(QStringLiteral("当前生效状态"), Fonts::system(11, FontWeight::medium),
                                 Palette::muted, this));
    m_headline =
        new LVLabel(LVSymbol("sparkles"), {}, Fonts::system(16, FontWeight::semibold), Palette::muted, this);
    m_headline->setObjectName(QStringLiteral("ai-effective-status"));
    m_headline->text()->setMaximumLines(0);
    column->addWidget(m_headline);
    m_service = new LVText({}, Fonts::system(12), Palette::ink, this);
    column->addWidget(m_service);

    // The three rows of the effective state.
    auto* rows = new LVFill(Palette::surface, 10, this);
    auto* grid = new QVBoxLayout(rows);
    grid->setContentsMargins(12, 12, 12, 12);
    grid->setSpacing(9);
    const QString titles[] = {QStringLiteral("服务配置"), QStringLiteral("密钥"), QStringLiteral("自动建议")};
    for (int i = 0; i < 3; ++i) {
        auto* row = new QHBoxLayout;
        row->setSpacing(8);
        row->addWidget(new LVText(titles[i], Fonts::system(11), Palette::muted, rows), 0, Qt::AlignTop);
        m_values[i] = new LVText({}, Fonts::system(11), Palette::ink, rows);
        m_values[i]->setAlignment(Qt::AlignRight | Qt::AlignTop);
        row->addWidget(m_values[i], 1, Qt::AlignTop);
        grid->addLayout(row);
    }
    column->addWidget(rows);
    m_sentence = new LVText({}, Fonts::system(11), Palette::muted, this);
    column->addWidget(m_sentence);
    m_keyButton = settingsButton(LVButtonKind::primary, QStringLiteral("授权读取密钥"), this);
    column->addWidget(m_keyButton, 0, Qt::AlignLeft);
    m_saveFirst = new LVText(QStringLiteral("请先保存修改，再读取对应服务的密钥。"), Fonts::system(11),
                             Palette::amber, this);
    column->addWidget(m_saveFirst);
    m_note = new LVText(QStringLiteral("此处显示配置状态，服务连接以实际分析结果为准。"), Fonts::system(10),
                        Palette::muted, this);
    column->addWidget(m_note);
    connect(m_keyButton, &QAbstractButton::clicked, this, [this] { m_view.authorizeKey(); });
}

void AIServiceStatusView::refresh() {
    const SettingsLogic::AIForm& form = m_view.edits().ai;
    const bool unsaved = form.hasUnsavedChanges();
    const SettingsLogic::StatusBlock block = SettingsLogic::statusBlock(form.status(), unsaved);
    m_headline->setText(block.headline);
    m_headline->setColor(AIStatusButton::color(SettingsLogic::statusTone(block.tone)));
    m_service->setText(block.serviceLine);
    for (int i = 0; i < 3; ++i)
        m_values[i]->setText(block.rows[static_cast<size_t>(i)].second);
    m_sentence->setText(block.sentence);
    m_keyButton->setVisible(block.keyButton.has_value());
    if (block.keyButton && m_keyButton->text() != *block.keyButton) {
        m_keyButton->setText(*block.keyButton);
        m_keyButton->setAccessibleName(*block.keyButton);
    }
    const AppModel& model = m_view.model();
    m_keyButton->setEnabled(!model.isPreview() && !model.aiBusy() && !unsaved && !m_view.keyActionRunning());
    m_saveFirst->setVisible(block.showsSaveFirst);
    m_note->setVisible(block.showsNote);
}

SettingsContextPanel::SettingsContextPanel(SettingsView& view, QWidget* parent)
    : QWidget(parent), m_view(view) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* inner = new QWidget;
    outer->addWidget(lunorCard(inner));
    auto* column = new QVBoxLayout(inner);
    column->setContentsMargins(23, 23, 23, 23);
    column->setSpacing(0);

    m_sectionContent = new QWidget(inner);
    auto* section = new QVBoxLayout(m_sectionContent);
    section->setContentsMargins(0, 0, 0, 0);
    section->setSpacing(18);
    m_symbol = new LVSymbolView(LVSymbol("eye"), 24, Palette::accent, m_sectionContent);
    section->addWidget(m_symbol, 0, Qt::AlignLeft);
    m_title = new LVText({}, Fonts::system(16, FontWeight::semibold), std::nullopt, m_sectionContent);
    section->addWidget(m_title);
    m_text = new LVText({}, Fonts::system(12), Palette::muted, m_sectionContent);
    m_text->setLineSpacing(6);
    section->addWidget(m_text);
    column->addWidget(m_sectionContent);

    m_aiContent = new QWidget(inner);
    auto* ai = new QVBoxLayout(m_aiContent);
    ai->setContentsMargins(0, 0, 0, 0);
    ai->setSpacing(18);
    m_status = new AIServiceStatusView(view, m_aiContent);
    ai->addWidget(m_status);
    ai->addWidget(new LVRule({}, 1.0, m_aiContent));
    auto* switchRow = new QHBoxLayout;
    switchRow->setSpacing(10);
    auto* labels = new QVBoxLayout;
    labels->setSpacing(4);
    labels->addWidget(new LVText(QStringLiteral("异常时自动给出建议"), Fonts::system(12, FontWeight::medium),
                                 std::nullopt, m_aiContent));
    m_caption = new LVText({}, Fonts::system(11), Palette::muted, m_aiContent);
    labels->addWidget(m_caption);
    switchRow->addLayout(labels, 1);
    m_automatic = new SettingsSwitch(QStringLiteral("异常时自动给出建议"), m_aiContent);
    m_automatic->setObjectName(QStringLiteral("automatic-process-advice"));
    switchRow->addWidget(m_automatic, 0, Qt::AlignVCenter);
    ai->addLayout(switchRow);
    ai->addWidget(new LVText(
        QStringLiteral(
            "开启并保存后，会向此服务发送任务类型和资源指标，可能产生费用。关闭后可按需手动分析。"),
        Fonts::system(11), Palette::muted, m_aiContent));
    auto* scope =
        new LVText(QStringLiteral("不发送进程名称、PID、命令、路径或文件内容。\n\n"
                                  "同一进程 30 分钟内最多自动分析一次；全部服务合计每小时最多 3 次、"
                                  "24 小时最多 12 次。手动获取建议仅在没有可用结果时发起请求。\n\n"
                                  "应用清单整理仍在每次预览后发送。"),
                   Fonts::system(11), Palette::muted);
    m_disclosure = new LVDisclosure(QStringLiteral("发送范围与用量"), scope, m_aiContent);
    m_disclosure->setHeaderStyle(Palette::ink, Fonts::system(11));
    ai->addWidget(m_disclosure);
    m_hint = new LVText({}, Fonts::system(12), Palette::muted, m_aiContent);
    ai->addWidget(m_hint);
    m_link = new LVPlainButton(QStringLiteral("服务商官方文档 ↗"), std::nullopt, Palette::accent,
                               Fonts::system(12, FontWeight::medium), m_aiContent);
    m_link->setAccessibleName(QStringLiteral("服务商官方文档"));
    ai->addWidget(m_link, 0, Qt::AlignLeft);
    column->addWidget(m_aiContent);

    connect(m_automatic, &SettingsSwitch::flipRequested, this,
            [this](bool on) { m_view.setAutomaticAdvice(on); });
    connect(m_link, &QAbstractButton::clicked, this, [this] { m_view.openDocumentation(); });
}

void SettingsContextPanel::collapse() {
    m_disclosure->setExpanded(false);
}

void SettingsContextPanel::refresh() {
    const SettingsEdits& edits = m_view.edits();
    const bool ai = edits.section == SettingsSection::ai;
    m_sectionContent->setVisible(!ai);
    m_aiContent->setVisible(ai);
    if (!ai) {
        const SettingsLogic::SectionContext context = SettingsLogic::context(edits.section);
        m_symbol->setSymbol(LVSymbol(context.symbol));
        m_title->setText(context.title);
        m_text->setText(context.text);
        return;
    }
    m_status->refresh();
    m_automatic->setOn(edits.ai.automaticAdvice);
    const bool unsaved = edits.ai.hasUnsavedChanges();
    m_caption->setText(unsaved ? QStringLiteral("修改尚未保存") : QStringLiteral("更改后保存生效"));
    m_caption->setColor(unsaved ? Palette::amber : Palette::muted);
    m_hint->setText(edits.ai.draft.service.hint());
    m_link->setVisible(SettingsLogic::documentationLink(edits.ai.draft.service).has_value());
}

} // namespace lunorvale
