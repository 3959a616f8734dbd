#include "ui/window/AnalysisConsentView.h"

#include "app/model/AppModel.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/kit/LVText.h"
#include "ui/kit/SectionHeading.h"
#include "ui/window/PageParts.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace lunorvale {

AnalysisConsentView::AnalysisConsentView(AppModel& model, const ProcessSample& sample,
                                         std::function<void()> onDismiss, QWidget* parent)
    : SheetContent(570, 28, 20, onDismiss, parent), m_model(model), m_sample(sample),
      m_snapshot(AnalysisConsent::snapshot(sample, model.findings(), model.aiConfiguration())),
      m_onDismiss(std::move(onDismiss)) {
    QVBoxLayout* column = this->column();
    column->addWidget(
        new SectionHeading(QStringLiteral("确认发送这份诊断摘要？"),
                           QStringLiteral("由你配置的 AI 服务接收。发送后可能计入该服务的使用额度。"),
                           LVSymbol("sparkles"), this));

    auto* service = new QWidget;
    auto* serviceColumn = new QVBoxLayout(service);
    serviceColumn->setContentsMargins(14, 14, 14, 14);
    serviceColumn->setSpacing(7);
    serviceColumn->addWidget(new LVText(QStringLiteral("接收服务"), Fonts::system(10, FontWeight::medium),
                                        Palette::muted, service));
    m_address = new LVSelectableText(m_snapshot.configuration.baseURL, PageParts::monospaced(12),
                                     Palette::ink, service);
    serviceColumn->addWidget(m_address);
    auto* modelLine = new LVText(QStringLiteral("模型：") + m_snapshot.configuration.model, Fonts::system(11),
                                 Palette::muted, service);
    serviceColumn->addWidget(modelLine);
    column->addWidget(lunorCard(service));

    m_summary = new LVSelectableText(m_snapshot.summary, Fonts::system(12), Palette::ink);
    m_summary->setLineSpacing(6);
    m_summary->setPadding(16);
    m_summary->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_summary->setFixedHeight(240);
    m_summary->setAccessibleName(QStringLiteral("诊断摘要"));
    column->addWidget(lunorCard(m_summary));

    column->addWidget(PageParts::symbolText(
        LVSymbol("lock.shield"),
        QStringLiteral("不包含进程名称、PID、启动命令、路径、源码或日志。AI 回复不会自动执行。"),
        Fonts::system(11), Palette::muted, 4));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_cancel = new LVButton(LVButtonKind::secondary, QStringLiteral("取消"), this);
    m_confirm = new LVButton(LVButtonKind::primary, QStringLiteral("同意并发送"), this);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_confirm);
    column->addLayout(buttons);

    connect(m_cancel, &LVButton::clicked, this, &AnalysisConsentView::cancel);
    connect(m_confirm, &LVButton::clicked, this, &AnalysisConsentView::confirm);
    connect(&model, &AppModel::aiBusyChanged, this, &AnalysisConsentView::refresh);
    refresh();
}

void AnalysisConsentView::refresh() {
    m_confirm->setEnabled(AnalysisConsent::confirmEnabled(m_model.isPreview(), m_model.aiBusy()));
}

void AnalysisConsentView::confirm() {
    if (!AnalysisConsent::confirmEnabled(m_model.isPreview(), m_model.aiBusy()))
        return;
    m_model.analyze(m_sample, m_snapshot.summary, m_snapshot.configuration);
    if (m_onDismiss)
        m_onDismiss();
}

} // namespace lunorvale
