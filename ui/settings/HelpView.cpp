#include "ui/settings/HelpView.h"

#include "app/model/AppModel.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVRule.h"
#include "ui/kit/LVSymbol.h"
#include "ui/kit/LVText.h"
#include "ui/kit/SectionHeading.h"
#include "ui/settings/GuideStep.h"
#include "ui/settings/PrivacyView.h"
#include "ui/settings/SettingsCards.h"
#include "ui/settings/SettingsSheets.h"
#include "ui/settings/SoftwareUpdateButton.h"
#include "ui/settings/WelcomeView.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>

namespace lunorvale {

namespace {

// An outer card whose content column starts at the top, however tall its neighbour.
QVBoxLayout* topCard(QHBoxLayout* row, int padding, int spacing) {
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(spacing);
    row->addWidget(card(content), 1, Qt::AlignTop);
    return column;
}

} // namespace

HelpView::HelpView(AppModel& model, const BundleVersion& version, QWidget* parent)
    : QWidget(parent), m_model(model) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* page = new QWidget;
    outer->addWidget(scrollingBody(page, this));
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 24);
    column->setSpacing(22);

    // Row 1: the guide and the product card.
    auto* first = new QHBoxLayout;
    first->setSpacing(22);
    column->addLayout(first);
    QVBoxLayout* guide = topCard(first, 26, 24);
    QWidget* guideHost = guide->parentWidget();
    guide->addWidget(new SectionHeading(QStringLiteral("从提醒到处理，三步就够"),
                                        QStringLiteral("先理解正在发生什么，再决定要不要操作。"),
                                        LVSymbol("questionmark.circle"), guideHost));
    guide->addWidget(new GuideStep(
        QStringLiteral("1"), QStringLiteral("先看持续时间与来源"),
        QStringLiteral("“需关注”显示达到观察规则的任务。打开任务，核对来源、CPU、已观察时长和运行时间。"),
        guideHost));
    guide->addWidget(new GuideStep(
        QStringLiteral("2"), QStringLiteral("确认任务是否还在推进"),
        QStringLiteral("回到原应用或终端检查进度与日志。高 CPU 可能来自正常工作；需要更多解释时，"
                       "可以手动发起 AI 分析。"),
        guideHost));
    guide->addWidget(
        new GuideStep(QStringLiteral("3"), QStringLiteral("选择合适的下一步"),
                      QStringLiteral("任务正常就继续观察，也可静音 1 小时。确认不再需要任务时，请求退出；"
                                     "强制结束可能丢失未保存内容。"),
                      guideHost));
    guide->addStretch(1);

    auto* product = new QWidget;
    auto* productColumn = new QVBoxLayout(product);
    productColumn->setContentsMargins(24, 24, 24, 24);
    productColumn->setSpacing(18);
    LVCard* productCard = lunorCard(product);
    productCard->setFixedWidth(255);
    first->addWidget(productCard, 0, Qt::AlignTop);
    productColumn->addWidget(new LVSymbolView(LVSymbol("waveform.path.ecg"), 29, Palette::accent, product), 0,
                             Qt::AlignLeft);
    productColumn->addWidget(new LVText(QStringLiteral("岚栖 Lunorvale"),
                                        Fonts::system(18, FontWeight::semibold), Palette::ink, product));
    m_version =
        new LVText(QStringLiteral("版本 ") + version.text(), Fonts::system(12), Palette::muted, product);
    productColumn->addWidget(m_version);
    auto* tagline = new LVText(QStringLiteral("在本机观察后台任务，\n让持续异常更容易被看见。"),
                               Fonts::system(12), Palette::muted, product);
    tagline->setLineSpacing(5);
    productColumn->addWidget(tagline);
    productColumn->addWidget(new LVRule({}, 1.0, product));
    m_welcome = settingsButton(LVButtonKind::secondary, QStringLiteral("重新查看入门"), product);
    productColumn->addWidget(m_welcome, 0, Qt::AlignLeft);
    m_privacy = settingsButton(LVButtonKind::lunor, QStringLiteral("隐私与数据说明"), product);
    productColumn->addWidget(m_privacy, 0, Qt::AlignLeft);
    productColumn->addWidget(
        new SoftwareUpdateButton(model.softwareUpdater(), LVButtonKind::secondary, {}, product), 0,
        Qt::AlignLeft);

    // Row 2: the numbers and the troubles.
    auto* second = new QHBoxLayout;
    second->setSpacing(22);
    column->addLayout(second);
    QVBoxLayout* numbers = topCard(second, 25, 18);
    numbers->addWidget(
        new SectionHeading(QStringLiteral("读懂这些数字"), std::nullopt, LVSymbol("chart.bar")));
    numbers->addWidget(
        new HelpAnswer(QStringLiteral("CPU 超过 100% 正常吗？"),
                       QStringLiteral("单进程 100% 约等于使用一个逻辑核心。多线程任务可能超过 100%；"
                                      "整机 CPU 则按全部核心计算，两者口径不同。")));
    numbers->addWidget(
        new HelpAnswer(QStringLiteral("“已观察”和“已运行”有什么区别？"),
                       QStringLiteral("已观察是岚栖连续测得高占用的时间。已运行是进程自启动至今的时间，"
                                      "不能据此判断它一直很忙。")));
    numbers->addWidget(
        new HelpAnswer(QStringLiteral("为什么暂时没有 CPU 数字？"),
                       QStringLiteral("CPU 使用率需要两次采样计算。刚启动、从睡眠唤醒、恢复观察或修改规则后，"
                                      "请等待一个采样间隔。")));
    numbers->addStretch(1);
    QVBoxLayout* troubles = topCard(second, 25, 18);
    troubles->addWidget(
        new SectionHeading(QStringLiteral("遇到问题时"), std::nullopt, LVSymbol("wrench.and.screwdriver")));
    troubles->addWidget(
        new HelpAnswer(QStringLiteral("没有收到系统通知"),
                       QStringLiteral("到设置确认异常通知与系统通知权限均已开启，再检查桌面的勿扰模式。"
                                      "只有持续达到规则的任务才会提醒，同一任务不会频繁重复通知。")));
    troubles->addWidget(new HelpAnswer(QStringLiteral("请求退出后，进程仍在运行"),
                                       QStringLiteral("进程可能正在清理或没有响应退出请求。岚栖会复查结果；"
                                                      "必要时可在详情中强制结束，并再次确认。")));
    troubles->addWidget(
        new HelpAnswer(QStringLiteral("怎么移除非软件商店应用？"),
                       QStringLiteral("在“应用管理”找到程序，查看详情并检查移除条件。仅移动程序本体到回收站，"
                                      "程序包外的资料与缓存保留；复杂安装请使用厂商卸载方式。")));
    troubles->addWidget(
        new HelpAnswer(QStringLiteral("AI 分析连接失败"),
                       QStringLiteral("核对服务根地址、模型 ID 和此地址对应的密钥。凭据保存在密钥环；"
                                      "网络、额度或服务错误会在分析区域说明。")));
    troubles->addStretch(1);

    // Row 3: the tray note.
    auto* note = new QWidget;
    auto* noteRow = new QHBoxLayout(note);
    noteRow->setContentsMargins(19, 19, 19, 19);
    noteRow->setSpacing(12);
    noteRow->addWidget(new LVSymbolView(LVSymbol("menubar.rectangle"), 13, Palette::accent, note));
    noteRow->addWidget(
        new LVText(
            QStringLiteral("关闭主窗口后，岚栖仍在系统托盘观察。要完全停止，请从系统托盘选择“退出岚栖”。"),
            Fonts::system(12), Palette::muted, note),
        1);
    column->addWidget(lunorCard(note));
    column->addStretch(1);

    connect(m_welcome, &QAbstractButton::clicked, this, [this] {
        if (m_welcomeSheet)
            return;
        // Its start button (or Return) marks onboarding complete once more and closes it.
        auto* welcome = new WelcomeView(m_model, [this] {
            if (m_welcomeSheet)
                m_welcomeSheet->accept();
        });
        m_welcomeSheet = SheetDialog::present(this, welcome, false);
    });
    connect(m_privacy, &QAbstractButton::clicked, this, [this] {
        if (!m_privacySheet)
            m_privacySheet = SheetDialog::present(this, new PrivacyView, true);
    });
}

} // namespace lunorvale
