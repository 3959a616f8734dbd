#include "ui/settings/SettingsRows.h"

#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVText.h"

#include <QFocusEvent>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <cmath>

namespace lunorvale {

namespace {

constexpr int faceHorizontalPadding = 12;
constexpr int faceVerticalPadding = 9;
constexpr int faceSpacing = 10;

// Menu texts are plain: an ampersand is a letter, not a shortcut mark.
QString menuText(const QString& text) {
    QString escaped = text;
    escaped.replace(u'&', QStringLiteral("&&"));
    return escaped;
}

QIcon checkmarkIcon(const QWidget* widget) {
    QPixmap pixmap(32, 32);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    LVSymbol("checkmark").paint(painter, QRectF(0, 0, 16, 16), Palette::ink.in(widget));
    return QIcon(pixmap);
}

// An entry field drawn like the menus beside it: a rounded face in the canvas colour with a hairline
// outline, the kit's ring in its place while the keyboard focus is on it. Fusion's own frame takes its
// colour from the window colour and all but vanishes on the dark cards.
class RoundedField final : public QLineEdit {
public:
    explicit RoundedField(QWidget* parent) : QLineEdit(parent) {
        setFrame(false);
        setTextMargins(8, 0, 8, 0);
        FocusRing::follow();
        QPalette clear = palette();
        clear.setColor(QPalette::Base, Qt::transparent);
        setPalette(clear);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        {
            QPainter painter(this);
            painter.setRenderHint(QPainter::Antialiasing);
            QPainterPath shape;
            shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);
            painter.fillPath(shape, Palette::canvas.in(this));
            painter.setPen(QPen(Palette::line.in(this), 1));
            painter.drawPath(shape);
            if (FocusRing::shown(*this))
                FocusRing::paint(painter, rect(), 7, *this);
        }
        QLineEdit::paintEvent(event);
    }
};

} // namespace

ChoiceMenu::ChoiceMenu(QWidget* parent) : QAbstractButton(parent), m_menu(new QMenu(this)) {
    setFont(Fonts::system(12, FontWeight::medium));
    setFocusPolicy(Qt::StrongFocus);
    FocusRing::follow();
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, &ChoiceMenu::open);
}

void ChoiceMenu::setChoices(const QStringList& items, int current, const QString& face) {
    const bool sizeChanged = face != m_face || items != m_items;
    m_items = items;
    m_current = current >= 0 && current < items.size() ? current : -1;
    m_face = face;
    setAccessibleDescription(face);
    if (sizeChanged)
        updateGeometry();
    update();
}

void ChoiceMenu::open() {
    m_menu->clear();
    const QIcon check = checkmarkIcon(this);
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        QAction* action = m_menu->addAction(menuText(m_items[i]));
        if (i == m_current)
            action->setIcon(check);
        connect(action, &QAction::triggered, this, [this, i] { emit chosen(static_cast<int>(i)); });
    }
    m_menu->setMinimumWidth(width());
    if (m_current >= 0)
        m_menu->setActiveAction(m_menu->actions().value(m_current));
    m_menu->popup(mapToGlobal(QPoint(0, height() + 2)));
}

QSize ChoiceMenu::sizeHint() const {
    const QFontMetricsF metrics(font());
    const int chevron = LVSymbol::side(9);
    const qreal text = metrics.horizontalAdvance(m_face);
    return {static_cast<int>(std::ceil(text + faceSpacing + 6 + chevron + 2 * faceHorizontalPadding)),
            static_cast<int>(std::ceil(metrics.height() + 2 * faceVerticalPadding))};
}

QSize ChoiceMenu::minimumSizeHint() const {
    const QFontMetricsF metrics(font());
    return {LVSymbol::side(9) + 2 * faceHorizontalPadding + 40,
            static_cast<int>(std::ceil(metrics.height() + 2 * faceVerticalPadding))};
}

void ChoiceMenu::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(LVButtonStyle::opacity(isEnabled(), isDown()));
    QPainterPath shape;
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    shape.addRoundedRect(bounds, 8, 8);
    painter.fillPath(shape, Palette::canvas.in(this));
    painter.setPen(QPen(Palette::line.in(this), 1));
    painter.drawPath(shape);

    const int chevron = LVSymbol::side(9);
    const QRectF chevronRect(width() - faceHorizontalPadding - chevron, (height() - chevron) / 2.0, chevron,
                             chevron);
    LVSymbol("chevron.up.chevron.down").paint(painter, chevronRect, Palette::muted.in(this));
    const QRectF textRect(faceHorizontalPadding, 0, chevronRect.left() - faceSpacing - faceHorizontalPadding,
                          height());
    painter.setPen(Palette::ink.in(this));
    painter.setFont(font());
    const QString shown = QFontMetricsF(font()).elidedText(m_face, Qt::ElideRight, textRect.width());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    if (FocusRing::shown(*this))
        FocusRing::paint(painter, rect(), 8, *this);
}

void ChoiceMenu::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Down) {
        open();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

SettingsSwitch::SettingsSwitch(const QString& label, QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setAccessibleName(label);
    setFocusPolicy(Qt::StrongFocus);
    // The track fills the switch, and an accent ring on the accent track of a switch that is on would not
    // show: the ring goes around it.
    FocusRing::surround(*this, 3, 14);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize SettingsSwitch::sizeHint() const {
    return {38, 22};
}

void SettingsSwitch::nextCheckState() {
    emit flipRequested(!isChecked());
}

void SettingsSwitch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(LVButtonStyle::opacity(isEnabled(), false));
    const QRectF track = QRectF(0, (height() - 22) / 2.0, 38, 22).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(isChecked() ? Palette::accent.in(this) : Palette::line.in(this));
    painter.drawRoundedRect(track, track.height() / 2, track.height() / 2);
    const qreal knob = track.height() - 4;
    const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    painter.setBrush(isChecked() ? Palette::onAccent.in(this) : Palette::surface.in(this));
    painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}

QWidget* settingRow(const QString& title, const QString& detail, QWidget* control, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(18);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(6);
    texts->addWidget(new LVText(title, Fonts::system(13, FontWeight::medium), Palette::ink, row));
    texts->addWidget(new LVText(detail, Fonts::system(11), Palette::muted, row));
    layout->addLayout(texts, 1);
    layout->addSpacing(12);
    control->setParent(row);
    layout->addWidget(control, 0, Qt::AlignVCenter);
    return row;
}

InputField::InputField(const QString& title, const QString& hint, QLineEdit* field, QWidget* parent)
    : QWidget(parent), m_field(field) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(7);
    column->addWidget(new LVText(title, Fonts::system(12, FontWeight::semibold), Palette::ink, this));
    field->setParent(this);
    column->addWidget(field);
    m_hint = new LVText(hint, Fonts::system(11), Palette::muted, this);
    m_hint->setLineSpacing(3);
    column->addWidget(m_hint);
}

void InputField::setHint(const QString& hint) {
    m_hint->setText(hint);
}

QLineEdit* settingsField(const QString& accessibleName, const QString& placeholder, QWidget* parent) {
    auto* field = new RoundedField(parent);
    field->setAccessibleName(accessibleName);
    field->setPlaceholderText(placeholder);
    field->setFont(Fonts::system(13));
    field->setMinimumHeight(30);
    return field;
}

SystemStatusLine::SystemStatusLine(const QString& title, const LVSymbol& symbol, QWidget* parent)
    : QWidget(parent) {
    auto* inner = new QWidget;
    auto* row = new QHBoxLayout(inner);
    row->setContentsMargins(14, 14, 14, 14);
    row->setSpacing(9);
    const QFont font = Fonts::system(12);
    row->addWidget(new LVSymbolView(symbol, 12, Palette::muted, inner));
    row->addWidget(new LVText(title, font, Palette::muted, inner));
    row->addStretch(1);
    m_value = new LVText({}, font, Palette::ink, inner);
    m_value->setMaximumLines(1);
    row->addWidget(m_value);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lunorCard(inner));
    setValue({});
}

void SystemStatusLine::setValue(const QString& value) {
    m_value->setText(value.isEmpty() ? QStringLiteral("正在读取…") : value);
}

} // namespace lunorvale
