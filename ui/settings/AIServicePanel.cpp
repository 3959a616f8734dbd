#include "ui/settings/AIServicePanel.h"

#include "app/model/AppModel.h"
#include "ui/kit/AIStatusButton.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVLabel.h"
#include "ui/kit/LVSymbol.h"
#include "ui/kit/LVText.h"
#include "ui/library/LibraryParts.h"
#include "ui/settings/SettingsCards.h"
#include "ui/settings/SettingsRows.h"
#include "ui/settings/SettingsView.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace lunorvale {

namespace {

constexpr qreal pillHorizontalPadding = 11;
constexpr qreal pillVerticalPadding = 6;
constexpr qreal pillSpacing = 5;

// A caption over a menu, taking the width the row gives it.
QWidget* menuColumn(const QString& caption, ChoiceMenu* menu, QWidget* parent) {
    auto* column = new QWidget(parent);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(new LVText(caption, Fonts::system(12, FontWeight::semibold), Palette::ink, column));
    menu->setParent(column);
    layout->addWidget(menu);
    return column;
}

// Writes the field only when the draft changed elsewhere, so typing keeps its cursor.
void showText(QLineEdit* field, const QString& text) {
    if (field->text() != text)
        field->setText(text);
}

} // namespace

AIBadgePill::AIBadgePill(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ai-configuration-badge"));
    setFont(Fonts::system(12, FontWeight::semibold));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void AIBadgePill::setBadge(const QString& title, const QString& symbol, AIStatus::Tone tone) {
    if (title == m_title && symbol == m_symbol && tone == m_tone)
        return;
    m_title = title;
    m_symbol = symbol;
    m_tone = tone;
    setAccessibleName(title);
    updateGeometry();
    update();
}

QSize AIBadgePill::sizeHint() const {
    const QFontMetricsF metrics(font());
    const int side = LVSymbol::side(12);
    return {static_cast<int>(std::ceil(side + pillSpacing + metrics.horizontalAdvance(m_title) +
                                       2 * pillHorizontalPadding)),
            static_cast<int>(std::ceil(std::max<qreal>(side, metrics.height()) + 2 * pillVerticalPadding))};
}

void AIBadgePill::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath capsule;
    capsule.addRoundedRect(QRectF(rect()), height() / 2.0, height() / 2.0);
    painter.fillPath(capsule, AIStatusButton::color(SettingsLogic::statusTone(m_tone)).in(this));
    const QColor text = Palette::onAccent.in(this);
    const int side = LVSymbol::side(12);
    LVSymbol(m_symbol).paint(painter, QRectF(pillHorizontalPadding, (height() - side) / 2.0, side, side),
                             text);
    painter.setPen(text);
    painter.drawText(QRectF(pillHorizontalPadding + side + pillSpacing, 0, width(), height()),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_title);
}

AIServicePanel::AIServicePanel(SettingsView& view, QWidget* parent) : QWidget(parent), m_view(view) {
    QVBoxLayout* column = panelCard(this, 12);
    QWidget* host = column->parentWidget();

    // Heading: the symbol beside a title with its badge and the state's sentence.
    auto* heading = new QHBoxLayout;
    heading->setSpacing(11);
    auto* symbolFrame = new QWidget(host);
    symbolFrame->setFixedWidth(24);
    auto* symbolColumn = new QVBoxLayout(symbolFrame);
    symbolColumn->setContentsMargins(0, 4, 0, 0);
    symbolColumn->addWidget(new LVSymbolView(LVSymbol("sparkles"), 18, Palette::accent, symbolFrame), 0,
                            Qt::AlignHCenter | Qt::AlignTop);
    heading->addWidget(symbolFrame, 0, Qt::AlignTop);
    auto* headingTexts = new QVBoxLayout;
    headingTexts->setSpacing(8);
    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(12);
    titleRow->addWidget(new LVText(QStringLiteral("AI 服务配置"), Fonts::system(17, FontWeight::semibold),
                                   Palette::ink, host));
    m_badge = new AIBadgePill(host);
    titleRow->addWidget(m_badge);
    titleRow->addStretch(1);
    headingTexts->addLayout(titleRow);
    m_detail = new LVText({}, Fonts::system(12), Palette::muted, host);
    headingTexts->addWidget(m_detail);
    heading->addLayout(headingTexts, 1);
    column->addLayout(heading);

    // Service and model.
    auto* choices = new QHBoxLayout;
    choices->setSpacing(12);
    m_service = new ChoiceMenu(host);
    m_service->setObjectName(QStringLiteral("ai-service-preset"));
    m_service->setAccessibleName(QStringLiteral("服务商"));
    choices->addWidget(menuColumn(QStringLiteral("服务商"), m_service, host), 1, Qt::AlignTop);
    m_model = new ChoiceMenu(host);
    m_model->setObjectName(QStringLiteral("ai-model-preset"));
    m_model->setAccessibleName(QStringLiteral("常用模型"));
    m_modelColumn = menuColumn(QStringLiteral("常用模型"), m_model, host);
    choices->addWidget(m_modelColumn, 1, Qt::AlignTop);
    column->addLayout(choices);

    QLineEdit* address =
        settingsField(QStringLiteral("服务地址"), QStringLiteral("https://api.example.com/v1"), host);
    address->setObjectName(QStringLiteral("ai-base-url"));
    m_address = new InputField(QStringLiteral("服务地址"),
                               QStringLiteral("填写 API 根地址，不含 /chat/completions。"), address, host);
    column->addWidget(m_address);
    QLineEdit* model = settingsField(QStringLiteral("模型 ID"), QStringLiteral("输入模型 ID"), host);
    model->setObjectName(QStringLiteral("ai-model-id"));
    m_modelID = new InputField(QStringLiteral("模型 ID"), {}, model, host);
    column->addWidget(m_modelID);
    QLineEdit* key =
        settingsField(QStringLiteral("API Key"), QStringLiteral("输入新密钥，或留空保留已有密钥"), host);
    key->setEchoMode(QLineEdit::Password);
    m_key = new InputField(
        QStringLiteral("API Key"),
        QStringLiteral("密钥按服务地址保存在本机密钥环。留空会保留此地址已有的密钥；本机服务可不填。"), key,
        host);
    column->addWidget(m_key);

    // The saved key: its state and what can be done with it.
    auto* keyRow = new QHBoxLayout;
    keyRow->setSpacing(8);
    keyRow->addWidget(new LVSymbolView(LVSymbol("lock"), 11, Palette::muted, host));
    m_keyStatus = new LVText({}, Fonts::system(11), Palette::muted, host);
    keyRow->addWidget(m_keyStatus, 1);
    keyRow->addSpacing(8);
    m_readKey = settingsButton(LVButtonKind::secondary, QStringLiteral("读取已存密钥"), host);
    m_removeKey = settingsButton(LVButtonKind::lunor, QStringLiteral("移除密钥"), host);
    keyRow->addWidget(m_readKey);
    keyRow->addWidget(m_removeKey);
    column->addLayout(keyRow);

    // A running analysis.
    auto* busy = new QWidget;
    auto* busyRow = new QHBoxLayout(busy);
    busyRow->setContentsMargins(14, 14, 14, 14);
    busyRow->setSpacing(10);
    m_busy = lunorCard(busy);
    column->addWidget(m_busy);
    auto* spinner = new BusyIndicator(14, busy);
    spinner->setAnimated(!view.isPreview());
    busyRow->addWidget(spinner);
    busyRow->addWidget(new LVText(QStringLiteral("有一项 AI 分析正在进行。结束后可修改配置。"),
                                  Fonts::system(11), Palette::muted, busy),
                       1);
    m_cancel = settingsButton(LVButtonKind::secondary, QStringLiteral("取消分析"), busy);
    busyRow->addWidget(m_cancel);

    auto* saveRow = new QHBoxLayout;
    m_privacy = settingsButton(LVButtonKind::lunor, QStringLiteral("查看隐私说明"), host);
    saveRow->addWidget(m_privacy);
    saveRow->addStretch(1);
    m_unsaved = new LVLabel(LVSymbol("pencil.circle"), QStringLiteral("尚未保存"), Fonts::system(11),
                            Palette::amber, host);
    saveRow->addWidget(m_unsaved);
    m_save = settingsButton(LVButtonKind::primary, QStringLiteral("已保存"), host);
    saveRow->addWidget(m_save);
    column->addLayout(saveRow);

    const auto presets = AIServicePreset::allCases();
    connect(m_service, &ChoiceMenu::chosen, this, [this, presets](int index) {
        if (index >= 0 && index < presets.size())
            m_view.selectService(presets[index]);
    });
    connect(m_model, &ChoiceMenu::chosen, this, [this](int index) {
        m_view.chooseModel(SettingsLogic::modelOptions(m_view.edits().ai.draft.service).value(index));
    });
    connect(address, &QLineEdit::textEdited, this, [this](const QString& text) { m_view.editBaseURL(text); });
    connect(model, &QLineEdit::textEdited, this, [this](const QString& text) { m_view.editModel(text); });
    connect(key, &QLineEdit::textEdited, this, [this](const QString& text) { m_view.editKey(text); });
    connect(m_readKey, &QAbstractButton::clicked, this, [this] { m_view.authorizeKey(); });
    connect(m_removeKey, &QAbstractButton::clicked, this, [this] { m_view.removeKeyAfterConfirmation(); });
    connect(m_cancel, &QAbstractButton::clicked, this, [this] { m_view.cancelAnalysis(); });
    connect(m_privacy, &QAbstractButton::clicked, this, [this] { m_view.showPrivacy(); });
    connect(m_save, &QAbstractButton::clicked, this, [this] { m_view.saveAI(); });
}

QLineEdit* AIServicePanel::addressField() const {
    return m_address->field();
}

QLineEdit* AIServicePanel::modelField() const {
    return m_modelID->field();
}

QLineEdit* AIServicePanel::keyField() const {
    return m_key->field();
}

void AIServicePanel::refresh() {
    const SettingsLogic::AIForm& form = m_view.edits().ai;
    const AppModel& model = m_view.model();
    const SettingsLogic::Badge badge = form.badge();
    m_badge->setBadge(badge.title, badge.symbol, badge.tone);
    m_detail->setText(form.headingDetail());

    QStringList presets;
    for (const AIServicePreset preset : AIServicePreset::allCases())
        presets.append(preset.title());
    m_service->setChoices(presets, static_cast<int>(AIServicePreset::allCases().indexOf(form.draft.service)),
                          form.draft.service.title());
    const QStringList options = SettingsLogic::modelOptions(form.draft.service);
    m_modelColumn->setVisible(!options.isEmpty());
    QStringList labels;
    for (const QString& option : options)
        labels.append(SettingsLogic::modelLabel(option));
    const QString chosen = form.modelMenuValue();
    m_model->setChoices(labels, static_cast<int>(options.indexOf(chosen)), SettingsLogic::modelLabel(chosen));

    showText(addressField(), form.draft.configuration.baseURL);
    showText(modelField(), form.draft.configuration.model);
    showText(keyField(), form.draft.apiKey);
    m_modelID->setHint(form.modelHint());

    const bool preview = m_view.isPreview();
    const bool busy = model.aiBusy();
    const bool keyAction = m_view.keyActionRunning();
    const bool unsaved = form.hasUnsavedChanges();
    m_keyStatus->setText(form.keyStatus());
    m_readKey->setVisible(form.showsReadKey());
    m_readKey->setEnabled(!preview && !busy && !unsaved && !keyAction);
    m_removeKey->setVisible(form.showsRemoveKey());
    m_removeKey->setEnabled(!preview && !busy && !keyAction);
    m_busy->setVisible(busy);
    m_cancel->setEnabled(!preview);
    m_unsaved->setVisible(unsaved);
    const QString title = form.saveTitle();
    if (m_save->text() != title) {
        m_save->setText(title);
        m_save->setAccessibleName(title);
        m_save->updateGeometry();
    }
    m_save->setEnabled(!preview && !busy && unsaved && !keyAction);
}

} // namespace lunorvale
