#include "ui/window/MainViewBars.h"

#include "app/model/AppModel.h"
#include "ui/kit/AIStatusButton.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVBadge.h"
#include "ui/kit/LVPlainButton.h"
#include "ui/kit/LVRule.h"
#include "ui/kit/LVText.h"
#include "ui/settings/SettingsLogic.h"
#include "ui/window/MainView.h"
#include "ui/window/MainViewLogic.h"

#include <QFocusEvent>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace lunorvale {

namespace {

void fillBar(QWidget* bar, bool ruleAtBottom) {
    QPainter painter(bar);
    painter.fillRect(bar->rect(), Palette::surface.in(bar));
    painter.fillRect(QRect(0, ruleAtBottom ? bar->height() - 1 : 0, bar->width(), 1), Palette::line.in(bar));
}

// The square mark of the program: the pulse symbol on the accent colour.
class ProductSymbol final : public QWidget {
public:
    explicit ProductSymbol(QWidget* parent) : QWidget(parent) { setFixedSize(35, 35); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 10, 10);
        painter.fillPath(path, Palette::accent.in(this));
        const int side = LVSymbol::side(21);
        QRectF square(0, 0, side, side);
        square.moveCenter(QRectF(rect()).center());
        LVSymbol("waveform.path.ecg").paint(painter, square, Palette::onAccent.in(this));
    }
};

QWidget* dot(QWidget* parent) {
    return new LVText(QStringLiteral("·"), Fonts::system(11), Palette::line, parent);
}

} // namespace

// One page's tile: its title, the overview's count in a capsule, the soft background while selected.
class NavigationBar::PageButton final : public QAbstractButton {
public:
    PageButton(Page page, QWidget* parent) : QAbstractButton(parent) {
        setCheckable(true);
        setText(Pages::title(page));
        setAccessibleName(text());
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
        FocusRing::follow();
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        applyFont();
    }

    void setCount(int count) {
        if (count == m_count)
            return;
        m_count = count;
        updateGeometry();
        update();
    }
    void setSelected(bool selected) {
        if (selected == isChecked())
            return;
        setChecked(selected);
        applyFont();
        updateGeometry();
    }

    QSize sizeHint() const override {
        qreal width = QFontMetricsF(font()).horizontalAdvance(text());
        if (m_count > 0)
            width += 7 + capsuleSize().width();
        return {static_cast<int>(std::ceil(width)) + 26, 37};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void nextCheckState() override {} // the window decides what is selected
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (isDown())
            painter.setOpacity(0.72);
        if (isChecked()) {
            QPainterPath tile;
            tile.addRoundedRect(QRectF(rect()), 10, 10);
            painter.fillPath(tile, Palette::soft.in(this));
        }
        const QFontMetricsF metrics(font());
        QRectF label(13, 0, metrics.horizontalAdvance(text()), height());
        painter.setPen((isChecked() ? Palette::accent : Palette::muted).in(this));
        painter.drawText(label, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
        if (m_count > 0) {
            const QSizeF capsule = capsuleSize();
            const QRectF area(label.right() + 7, (height() - capsule.height()) / 2, capsule.width(),
                              capsule.height());
            QPainterPath path;
            path.addRoundedRect(area, area.height() / 2, area.height() / 2);
            painter.fillPath(path, Palette::accent.in(this));
            painter.setFont(Fonts::system(10, FontWeight::semibold));
            painter.setPen(Palette::onAccent.in(this));
            painter.drawText(area, Qt::AlignCenter, QString::number(m_count));
        }
        if (FocusRing::shown(*this))
            FocusRing::paint(painter, rect(), 10, *this);
    }

private:
    void applyFont() { setFont(Fonts::system(13, isChecked() ? FontWeight::semibold : FontWeight::regular)); }
    QSizeF capsuleSize() const {
        const QFontMetricsF metrics(Fonts::system(10, FontWeight::semibold));
        return {metrics.horizontalAdvance(QString::number(m_count)) + 12, metrics.height() + 6};
    }

    int m_count = 0;
};

NavigationBar::NavigationBar(MainView& view, QWidget* parent) : QWidget(parent), m_view(view) {
    setFixedHeight(69);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(26, 0, 26, 0);
    row->setSpacing(16);

    auto* mark = new QWidget(this);
    mark->setFixedWidth(198);
    auto* markRow = new QHBoxLayout(mark);
    markRow->setContentsMargins(0, 0, 0, 0);
    markRow->setSpacing(10);
    markRow->addWidget(new ProductSymbol(mark));
    markRow->addWidget(
        new LVText(QStringLiteral("岚栖"), Fonts::system(21, FontWeight::semibold), Palette::ink, mark));
    QFont small = Fonts::system(9, FontWeight::medium);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 1.1);
    markRow->addWidget(new LVText(QStringLiteral("LUNORVALE"), small, Palette::muted, mark));
    markRow->addStretch(1);
    row->addWidget(mark);

    auto* pages = new QHBoxLayout;
    pages->setSpacing(6);
    for (const Page page : Pages::all) {
        auto* button = new PageButton(page, this);
        connect(button, &QAbstractButton::clicked, this, [this, page] { m_view.selectPage(page); });
        pages->addWidget(button);
        m_pages.append(button);
    }
    row->addLayout(pages);
    row->addStretch(1);

    m_help = new LVPlainButton({}, LVSymbol("questionmark.circle"), Palette::muted, Fonts::system(17), this);
    m_help->setFrameSize(QSize(32, 34));
    m_help->setToolTip(QStringLiteral("使用帮助与关于岚栖"));
    m_help->setAccessibleName(QStringLiteral("帮助与关于"));
    connect(m_help, &QAbstractButton::clicked, this, [this] { m_view.toggleHelp(); });
    row->addWidget(m_help);
}

QAbstractButton* NavigationBar::pageButton(int index) const {
    return m_pages.value(index);
}

void NavigationBar::refresh() {
    const MainViewState& state = m_view.state();
    for (int i = 0; i < m_pages.size(); ++i)
        m_pages[i]->setSelected(MainRouting::isSelected(state, Pages::all[i]));
    m_pages.first()->setCount(std::max(0, m_view.model().attentionCount()));
    m_help->setColor(state.showingHelp ? Palette::accent : Palette::muted);
}

void NavigationBar::focusShownPage(bool wherever) {
    const MainViewState& state = m_view.state();
    if (state.showingHelp)
        return;
    QWidget* focus = window()->focusWidget();
    const bool onAPage = std::find(m_pages.cbegin(), m_pages.cend(), focus) != m_pages.cend();
    if (!wherever && focus && !onAPage)
        return;
    // In the window, as its last input left it: a ring after keys, none after a click. A window that is
    // not active takes the focus only when it is next activated.
    m_pages[Pages::index(state.page)]->setFocus(
        window()->testAttribute(Qt::WA_KeyboardFocusChange) ? Qt::ShortcutFocusReason : Qt::OtherFocusReason);
}

void NavigationBar::paintEvent(QPaintEvent*) {
    fillBar(this, true);
}

TelemetryHeader::TelemetryHeader(MainView& view, QWidget* parent) : QWidget(parent), m_view(view) {
    setFixedHeight(42);
    const QFont font = Fonts::system(11);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(28, 0, 28, 0);
    row->setSpacing(10);
    row->addWidget(new LVSymbolView(LVSymbol("desktopcomputer"), 11, Palette::muted, this));
    m_cpu = new LVText({}, Fonts::monospacedDigits(11), Palette::muted, this);
    m_cpu->setMaximumLines(1);
    row->addWidget(m_cpu);
    row->addWidget(dot(this));
    m_count = new LVText({}, font, Palette::muted, this);
    m_count->setMaximumLines(1);
    row->addWidget(m_count);
    row->addWidget(dot(this));
    m_interval = new LVText({}, font, Palette::muted, this);
    m_interval->setMaximumLines(1);
    row->addWidget(m_interval);
    row->addStretch(1);

    const AppModel& model = view.model();
    m_ai = new AIStatusButton(
        SettingsLogic::statusCapsule(AIStatus(model.aiConfiguration(), model.aiKeyStatus(),
                                              model.automaticAdviceEnabled(), model.isMonitoring())),
        [this] { m_view.openAISettings(); }, this);
    row->addWidget(m_ai);
    m_badge = new LVBadge(QStringLiteral("观察中"), Palette::success, this);
    row->addWidget(m_badge);
    m_pause = new LVPlainButton({}, LVSymbol("pause.circle"), Palette::muted, font, this);
    m_pause->setSymbolPixelSize(16);
    connect(m_pause, &QAbstractButton::clicked, this, [this] { m_view.model().toggleMonitoring(); });
    row->addWidget(m_pause);
    auto* rule = new QWidget(this);
    auto* ruleRow = new QHBoxLayout(rule);
    ruleRow->setContentsMargins(3, 0, 3, 0);
    ruleRow->addWidget(new LVRule(QSize(1, 14), 1.0, rule));
    row->addWidget(rule);
    m_sample =
        new LVPlainButton(QStringLiteral("采样中"), LVSymbol("arrow.clockwise"), Palette::muted, font, this);
    // As wide as the wider of its two labels: the header does not shift at every sample.
    QSize frame = m_sample->sizeHint();
    m_sample->setLabel(QStringLiteral("立即采样"));
    m_sample->setFrameSize(frame.expandedTo(m_sample->sizeHint()));
    connect(m_sample, &QAbstractButton::clicked, this, [this] { m_view.model().sampleNow(); });
    row->addWidget(m_sample);
}

void TelemetryHeader::refresh() {
    AppModel& model = m_view.model();
    m_cpu->setText(MainBarTexts::systemCPU(model.systemCPUText()));
    m_count->setText(MainBarTexts::processCount(model.processes().size()));
    m_count->setToolTip(MainBarTexts::processCountToolTip(model.skippedProcessCount()));
    m_interval->setText(MainBarTexts::interval(model.settings()));
    m_ai->setStatus(SettingsLogic::statusCapsule(AIStatus(
        model.aiConfiguration(), model.aiKeyStatus(), model.automaticAdviceEnabled(), model.isMonitoring())));
    const bool monitoring = model.isMonitoring();
    m_badge->setTitle(monitoring ? QStringLiteral("观察中") : QStringLiteral("已暂停"));
    m_badge->setColor(monitoring ? Palette::success : Palette::amber);
    m_pause->setSymbol(monitoring ? LVSymbol("pause.circle") : LVSymbol("play.circle"));
    m_pause->setToolTip(monitoring ? QStringLiteral("暂停后台观察") : QStringLiteral("恢复后台观察"));
    m_pause->setAccessibleName(monitoring ? QStringLiteral("暂停观察") : QStringLiteral("恢复观察"));
    m_pause->setEnabled(!model.isPreview());
    m_sample->setLabel(model.isSampling() ? QStringLiteral("采样中") : QStringLiteral("立即采样"));
    m_sample->setEnabled(!model.isSampling() && !model.isPreview());
}

StatusBar::StatusBar(MainView& view, QWidget* parent) : QWidget(parent), m_view(view) {
    setFixedHeight(30);
    const QFont font = Fonts::system(10);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(26, 0, 26, 0);
    row->setSpacing(7);
    m_icon = new LVSymbolView(LVSymbol("checkmark.shield"), 10, Palette::muted, this);
    row->addWidget(m_icon);
    m_message = new LVText({}, font, Palette::muted, this);
    m_message->setMaximumLines(1);
    m_message->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row->addWidget(m_message, 1);
    row->addSpacing(12 - row->spacing());
    m_time = new LVText({}, Fonts::monospacedDigits(10), Palette::muted, this);
    m_time->setMaximumLines(1);
    row->addWidget(m_time);
    m_privacy = new LVPlainButton(QStringLiteral("隐私说明"), std::nullopt, Palette::muted, font, this);
    connect(m_privacy, &QAbstractButton::clicked, this, [this] { m_view.setSheet(MainSheet::privacy()); });
    row->addWidget(m_privacy);
}

void StatusBar::refresh() {
    AppModel& model = m_view.model();
    const bool failed = model.collectionError().has_value();
    m_icon->setSymbol(failed ? LVSymbol("exclamationmark.circle") : LVSymbol("checkmark.shield"));
    m_icon->setColor(failed ? Palette::amber : Palette::muted);
    m_message->setText(model.statusMessage());
    m_message->setToolTip(plainToolTip(model.statusMessage()));
    const std::optional<QDateTime>& last = model.lastUpdate();
    m_time->setVisible(last.has_value());
    m_time->setText(last ? MainBarTexts::sampleTime(*last) : QString());
}

void StatusBar::paintEvent(QPaintEvent*) {
    fillBar(this, false);
}

} // namespace lunorvale
