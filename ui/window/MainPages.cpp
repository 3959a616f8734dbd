#include "ui/window/MainPages.h"

#include "app/model/AppModel.h"
#include "core/ai/DiagnosticSummary.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVText.h"
#include "ui/kit/SectionHeading.h"
#include "ui/library/ApplicationLibraryPage.h"
#include "ui/library/ApplicationLibraryView.h"
#include "ui/window/MainView.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace lunorvale {

namespace {

// A page that is not built yet: its name and what it will hold.
QWidget* standInPage(const QString& name, const QString& title, const QString& subtitle) {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("stand-in:") + name);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(18);
    column->addWidget(new SectionHeading(title, subtitle));
    column->addStretch(1);
    return page;
}

struct SheetButton {
    LVButtonKind kind;
    QString title;
    std::function<void()> action;
};

// A sheet that is not built yet: a heading, a sentence and its buttons at the trailing edge.
QWidget* standInSheet(const QString& name, const QString& title, const QString& detail,
                      const QList<SheetButton>& buttons) {
    auto* sheet = new QWidget;
    sheet->setObjectName(QStringLiteral("stand-in:") + name);
    sheet->setMinimumWidth(460);
    auto* column = new QVBoxLayout(sheet);
    column->setContentsMargins(28, 26, 28, 24);
    column->setSpacing(16);
    column->addWidget(new SectionHeading(title, detail));
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (const SheetButton& button : buttons) {
        auto* widget = new LVButton(button.kind, button.title, sheet);
        QObject::connect(widget, &QAbstractButton::clicked, sheet, [action = button.action] {
            if (action)
                action();
        });
        row->addWidget(widget);
    }
    column->addLayout(row);
    return sheet;
}

} // namespace

MainPages MainPages::standard() {
    MainPages pages;
    pages.processes = [](MainView&) {
        return standInPage(QStringLiteral("processes"), QStringLiteral("全部进程"),
                           QStringLiteral("当前用户的全部进程、详情与处理建议。"));
    };
    pages.history = [](MainView&) {
        return standInPage(QStringLiteral("history"), QStringLiteral("操作记录"),
                           QStringLiteral("最近 30 天的发现、暂停、静音和退出记录。"));
    };
    pages.applications = [](MainView& view) {
        return makeApplicationLibraryPage(view.model(), [&view] { view.openAISettings(); }, {});
    };
    pages.settings = [](MainView& view) {
        QWidget* page = standInPage(QStringLiteral("settings"), QStringLiteral("设置"),
                                    QStringLiteral("观察规则、提醒、AI 服务、外观和数据。"));
        // Opened for the AI service while a request stands; a new request while open opens it again.
        const auto follow = [page, &view] {
            page->setProperty("aiSettingsRequest", view.state().aiSettingsRequest
                                                       ? view.state().aiSettingsRequest->toString()
                                                       : QString());
        };
        follow();
        QObject::connect(&view, &MainView::aiSettingsRequestChanged, page, follow);
        return page;
    };
    pages.help = [](AppModel&) {
        return standInPage(QStringLiteral("help"), QStringLiteral("帮助与关于"),
                           QStringLiteral("岚栖如何观察进程，以及常见问题。"));
    };
    pages.stopConfirmation = [](AppModel&, const StopRequest& request, std::function<void()> onCancel,
                                std::function<void()> onConfirm) {
        return standInSheet(
            QStringLiteral("stop"), request.sample.name,
            QStringLiteral("PID ") + QString::number(request.sample.identity.pid),
            {{LVButtonKind::secondary, QStringLiteral("取消"), onCancel},
             {LVButtonKind::danger,
              request.force ? QStringLiteral("确认强制结束") : QStringLiteral("确认请求退出"), onConfirm}});
    };
    pages.analysisConsent = [](AppModel& model, const ProcessSample& sample,
                               std::function<void()> onDismiss) {
        // What would be sent is fixed when the sheet opens, with the service it would go to.
        const QString summary = DiagnosticSummary::make(sample, std::nullopt);
        const AIConfiguration configuration = model.aiConfiguration();
        return standInSheet(QStringLiteral("analysis"), sample.name, summary,
                            {{LVButtonKind::secondary, QStringLiteral("取消"), onDismiss},
                             {LVButtonKind::primary, QStringLiteral("同意并发送"),
                              [&model, sample, summary, configuration, onDismiss] {
                                  model.analyze(sample, summary, configuration);
                                  onDismiss();
                              }}});
    };
    pages.welcome = [](AppModel& model, std::function<void()> onComplete) {
        return standInSheet(QStringLiteral("welcome"), QStringLiteral("岚栖"),
                            QStringLiteral("在菜单栏安静观察当前用户的进程。"),
                            {{LVButtonKind::primary, QStringLiteral("开始使用"), [&model, onComplete] {
                                  model.completeOnboarding();
                                  onComplete();
                              }}});
    };
    pages.privacy = [](std::function<void()> dismiss) {
        return standInSheet(
            QStringLiteral("privacy"), QStringLiteral("隐私说明"),
            QStringLiteral("进程信息只在本机处理；只有在你同意后，简短的诊断摘要才会发送给 AI 服务。"),
            {{LVButtonKind::primary, QStringLiteral("完成"), dismiss}});
    };
    return pages;
}

} // namespace lunorvale
