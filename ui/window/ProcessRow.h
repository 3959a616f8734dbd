#pragma once

#include "core/monitoring/ProcessSample.h"
#include "ui/kit/Palette.h"

#include <QAbstractButton>
#include <QRect>
#include <QWidget>

class QPainter;

namespace lunorvale {

// One process of a list, painted: the full row of the processes page and the compact row of the
// overview's short list. Lists paint it from their delegate; it reads no model and keeps no state.
class ProcessRow final {
public:
    // What a row shows: the texts, and whether the CPU figure is highlighted.
    struct Content {
        QString name; // as sampled; painted on one line
        QString sourceLine;
        QString cpu;
        QString memory;
        QString runTime;
        bool highlighted = false;
    };
    static Content contentOf(const ProcessSample& sample, double threshold);

    ProcessRow(const ProcessSample& sample, double threshold, bool compact, bool selected);
    ProcessRow(Content content, bool compact, bool selected);

    // The column widths the headings share; the process column takes what is left.
    static int cpuWidth(bool compact);
    static int memoryWidth(bool compact);
    static int runTimeWidth(bool compact);
    static int horizontalPadding(bool compact);
    static constexpr int spacing = 12;
    static int height(bool compact);

    // The CPU figure is highlighted at or above the threshold; an unknown share counts as 0.
    static bool isHighlighted(const ProcessSample& sample, double threshold);
    // The second line of the full row: the source (or the name) and the pid.
    static QString sourceLine(const ProcessSample& sample);
    // Every text of the row in reading order, for assistive technologies.
    QString accessibleText() const;

    void paint(QPainter& painter, const QRect& rect, Appearance appearance) const;

private:
    Content m_content;
    bool m_compact;
    bool m_selected;
};

// The column headings of a process list, styled, in the widths of `ProcessRow` for the same form.
class ProcessColumnHeadings final : public QWidget {
    Q_OBJECT
public:
    explicit ProcessColumnHeadings(bool compact, QWidget* parent = nullptr);
};

// A compact or full row as a button: the whole row takes the click.
class ProcessRowButton final : public QAbstractButton {
    Q_OBJECT
public:
    ProcessRowButton(bool compact, QWidget* parent = nullptr);

    void setSample(const ProcessSample& sample, double threshold);
    const ProcessSample& sample() const { return m_sample; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ProcessSample m_sample;
    double m_threshold = 90;
    bool m_compact;
};

} // namespace lunorvale
