#include "ui/settings/PrivacyView.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVRule.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/kit/LVSymbol.h"
#include "ui/kit/LVText.h"
#include "ui/settings/SettingsCards.h"
#include "ui/settings/SoftwareUpdateLogic.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScrollArea>
#include <QVBoxLayout>

namespace lunorvale {

namespace {

struct Section {
    LVSymbol symbol;
    QString title;
    QString text;
};

const QList<Section>& sections() {
    static const QList<Section> all{
        {LVSymbol("desktopcomputer"), QStringLiteral("在本机读取"),
         QStringLiteral(
             "岚栖读取当前用户可访问的进程名称、运行时间、CPU、内存、可执行文件和命令行，以识别任务来源。"
             "完整命令行与进程路径仅用于本机实时展示和判断，不写入事件记录。应用管理另在标准应用目录读取名称"
             "、"
             "标识、版本、本体大小和位置，不扫描用户文档，也不推断历史使用情况。")},
        {LVSymbol("externaldrive"), QStringLiteral("在本机保存"),
         QStringLiteral(
             "观察规则、外观和 AI 服务配置保存在本机。事件记录保存时间、脱敏任务类别、必要的进程 ID、指标与"
             "处理结果，保留最近 30 天、最多 500 "
             "条。可在设置中清空，也可在操作记录中导出。卸载操作清单单独保存"
             "原位置、回收站位置和结果，最多 100 条，可在应用管理中清空；不上传、不包含在事件导出里。API Key "
             "按服务地址分别保存在本机密钥环，不写入记录或导出文件。")},
        {LVSymbol("arrow.up.circle"), QStringLiteral("由你开启 AI 建议"),
         QStringLiteral(
             "保存 AI "
             "配置时，默认启用“异常时自动给出建议”，不必再单独开启。保存前会说明发送范围；保存成功后，"
             "岚栖会向已授权服务发送粗粒度任务类型、资源指标和观察时长，后台生成简短建议；此后点击获取简短建"
             "议也"
             "无需重复确认。不发送进程名称、PID、完整命令、路径、文档内容或用户名。自动请求同一进程 30 "
             "分钟内最多"
             "一次，全部服务合计每小时 3 次、24 小时 12 "
             "次；可能产生费用，可关闭并保存，选择会被记住。未开启时，"
             "手动分析仍先预览摘要。应用整理单独逐次预览确认所选应用名称、标识、版本、大小、运行快照及已知限"
             "制，"
             "每次最多 20 项。密钥只用于对应服务的认证。")},
        {LVSymbol("arrow.down.circle"), QStringLiteral("检查软件更新"),
         QStringLiteral(
             "岚栖默认每天连接官网检查新版，可在“软件更新”设置中关闭。自动下载安装由你选择开启。官网会收到 "
             "IP、"
             "应用及系统版本等常规连接信息；更新检查不发送进程信息、记录或 AI 密钥，不启用系统画像统计。")},
        {LVSymbol("hand.raised"), QStringLiteral("由你决定操作"),
         QStringLiteral("AI 回复只显示为文字建议。岚栖不会因为 AI "
                        "回复而自动执行命令或结束进程。每次进程退出操作都需要确认，"
                        "并重新核对进程身份。应用移除同样要确认并复核，只移动程序本体到回收站，保留程序包外的"
                        "资料与缓存，"
                        "不自动清空回收站。服务商对请求的存储、处理和费用，适用其自身的政策与条款。")},
    };
    return all;
}

} // namespace

PrivacyView::PrivacyView(std::function<void()> dismiss, QWidget* parent)
    : QWidget(parent), m_dismiss(std::move(dismiss)) {
    QVBoxLayout* column = sheetColumn(this, sheetSize);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(28, 28, 28, 28);
    header->setSpacing(13);
    header->addWidget(new LVSymbolView(LVSymbol("lock.shield"), 25, Palette::accent, this), 0,
                      Qt::AlignVCenter);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(6);
    titles->addWidget(new LVText(QStringLiteral("隐私与数据"), Fonts::system(23, FontWeight::semibold),
                                 Palette::ink, this));
    titles->addWidget(new LVText(QStringLiteral("了解岚栖读取、保存和发送什么。"), Fonts::system(12),
                                 Palette::muted, this));
    header->addLayout(titles, 1);
    column->addLayout(header);

    auto* body = new QWidget;
    auto* bodyColumn = new QVBoxLayout(body);
    bodyColumn->setContentsMargins(28, 0, 28, 25);
    auto* cardContent = new QWidget;
    bodyColumn->addWidget(card(cardContent));
    QScrollArea* scroll = scrollingBody(body, this);
    auto* list = new QVBoxLayout(cardContent);
    list->setContentsMargins(24, 24, 24, 24);
    list->setSpacing(21);
    for (const Section& section : sections()) {
        auto* row = new QHBoxLayout;
        row->setSpacing(15);
        auto* symbolFrame = new QWidget(cardContent);
        symbolFrame->setFixedWidth(23);
        auto* symbolColumn = new QVBoxLayout(symbolFrame);
        symbolColumn->setContentsMargins(0, 1, 0, 0);
        symbolColumn->addWidget(new LVSymbolView(section.symbol, 18, Palette::accent, symbolFrame), 0,
                                Qt::AlignHCenter | Qt::AlignTop);
        row->addWidget(symbolFrame, 0, Qt::AlignTop);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(8);
        auto* title =
            new LVText(section.title, Fonts::system(14, FontWeight::semibold), Palette::ink, cardContent);
        auto* text = new LVSelectableText(section.text, Fonts::system(12), Palette::muted, cardContent);
        text->setLineSpacing(5);
        texts->addWidget(title);
        texts->addWidget(text);
        row->addLayout(texts, 1);
        list->addLayout(row);
        m_titles.append(title);
        m_texts.append(text);
    }
    column->addWidget(scroll, 1);
    column->addWidget(new LVRule({}, 1.0, this));

    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(28, 19, 28, 19);
    m_footer = new LVText(QStringLiteral("岚栖 Lunorvale · ") + BundleVersion::current().text(),
                          Fonts::system(11), Palette::muted, this);
    footer->addWidget(m_footer);
    footer->addStretch(1);
    m_done = settingsButton(LVButtonKind::primary, QStringLiteral("完成"), this);
    footer->addWidget(m_done);
    column->addLayout(footer);
    connect(m_done, &QAbstractButton::clicked, this, &PrivacyView::finish);
}

void PrivacyView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        finish();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PrivacyView::finish() {
    if (m_dismiss) {
        m_dismiss();
        return;
    }
    if (auto* dialog = qobject_cast<QDialog*>(window()))
        dialog->accept();
    else if (window() != this)
        window()->close();
}

} // namespace lunorvale
