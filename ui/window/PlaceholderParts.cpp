#include "ui/window/PlaceholderParts.h"

#include "app/advice/AIStatus.h"
#include "app/model/AppModel.h"
#include "core/monitoring/DisplayFormat.h"
#include "ui/kit/AIStatusButton.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVText.h"
#include "ui/kit/Palette.h"
#include "ui/kit/ProcessGlyph.h"
#include "ui/kit/SectionHeading.h"
#include "ui/settings/SettingsLogic.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace lunorvale::PlaceholderParts {

Screen::Screen(const QString& title, const std::optional<QString>& subtitle, QWidget* parent)
    : QWidget(parent) {
    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(24, 22, 24, 22);
    m_column->setSpacing(14);
    m_column->addWidget(new SectionHeading(title, subtitle, std::nullopt, this));
}

void Screen::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Palette::canvas.in(this));
}

QWidget* statusLine(AppModel& model) {
    auto* line = new LVText(model.statusMessage(), Fonts::system(13), Palette::muted);
    line->setMaximumLines(2);
    QObject::connect(&model, &AppModel::statusMessageChanged, line,
                     [line, &model] { line->setText(model.statusMessage()); });
    return line;
}

QWidget* aiStatus(AppModel& model, std::function<void()> action) {
    const auto current = [&model] {
        return SettingsLogic::statusCapsule(AIStatus(model.aiConfiguration(), model.aiKeyStatus(),
                                                     model.automaticAdviceEnabled(), model.isMonitoring()));
    };
    auto* button = new AIStatusButton(current(), std::move(action));
    const auto refresh = [button, current] {
        button->setStatus(current());
    };
    QObject::connect(&model, &AppModel::aiConfigurationChanged, button, refresh);
    QObject::connect(&model, &AppModel::automaticAdviceAuthorizationChanged, button, refresh);
    QObject::connect(&model, &AppModel::automaticAdvicePreferenceChanged, button, refresh);
    QObject::connect(&model, &AppModel::isMonitoringChanged, button, refresh);
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(button);
    layout->addStretch(1);
    return row;
}

namespace {

// One row, reused for whichever process takes its place.
class ProcessRow final : public QWidget {
public:
    ProcessRow() {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(14, 8, 14, 8);
        layout->setSpacing(10);
        m_glyph = new ProcessGlyph(QString(), this);
        m_name = new LVText(QString(), Fonts::system(13, FontWeight::semibold), std::nullopt, this);
        m_name->setMaximumLines(1);
        m_source = new LVText(QString(), Fonts::system(12), Palette::muted, this);
        m_source->setMaximumLines(1);
        m_cpu = new LVText(QString(), Fonts::monospacedDigits(13, FontWeight::medium), std::nullopt, this);
        m_cpu->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* names = new QVBoxLayout;
        names->setSpacing(2);
        names->addWidget(m_name);
        names->addWidget(m_source);
        layout->addWidget(m_glyph);
        layout->addLayout(names, 1);
        layout->addWidget(m_cpu);
    }

    void show(const ProcessSample& sample) {
        m_glyph->setName(sample.name);
        m_name->setText(sample.name);
        m_source->setText(sample.displaySource());
        m_cpu->setText(DisplayFormat::cpu(sample.cpuPercent));
    }

private:
    ProcessGlyph* m_glyph;
    LVText* m_name;
    LVText* m_source;
    LVText* m_cpu;
};

} // namespace

namespace {

// The rows of a process list; while hidden they wait, and catch up when shown.
class ProcessList final : public QWidget {
public:
    ProcessList(AppModel& model, int limit) : m_model(model) {
        auto* rows = new QVBoxLayout(this);
        rows->setContentsMargins(0, 4, 0, 4);
        rows->setSpacing(0);
        m_empty = new LVText(QStringLiteral("暂无进程数据"), Fonts::system(13), Palette::muted);
        rows->addWidget(m_empty);
        for (int i = 0; i < limit; ++i) {
            auto* row = new ProcessRow;
            rows->addWidget(row);
            m_rows << row;
        }
        connect(&model, &AppModel::processesChanged, this, [this] {
            if (isVisible())
                refresh();
            else
                m_stale = true;
        });
        refresh();
    }

protected:
    void showEvent(QShowEvent* event) override {
        if (m_stale)
            refresh();
        QWidget::showEvent(event);
    }

private:
    void refresh() {
        m_stale = false;
        const QList<ProcessSample>& processes = m_model.orderedProcesses(ProcessSort::cpu);
        m_empty->setVisible(processes.isEmpty());
        for (qsizetype i = 0; i < m_rows.size(); ++i) {
            const bool used = i < processes.size();
            if (used)
                m_rows[i]->show(processes.at(i));
            m_rows[i]->setVisible(used);
        }
    }

    AppModel& m_model;
    LVText* m_empty;
    QList<ProcessRow*> m_rows;
    bool m_stale = false;
};

} // namespace

QWidget* processList(AppModel& model, int limit) {
    return card(new ProcessList(model, limit));
}

QWidget* processRow(const ProcessSample& sample) {
    auto* row = new ProcessRow;
    row->show(sample);
    return lunorCard(row);
}

QWidget* paragraph(const QString& text) {
    auto* label = new LVText(text, Fonts::system(13), Palette::muted);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setLineSpacing(3);
    return label;
}

QWidget* buttonRow(const QList<Button>& buttons) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addStretch(1);
    for (const Button& button : buttons) {
        auto* widget = new LVButton(button.kind, button.title, row);
        if (button.action)
            QObject::connect(widget, &QAbstractButton::clicked, widget, button.action);
        layout->addWidget(widget);
    }
    return row;
}

} // namespace lunorvale::PlaceholderParts
