#pragma once

#include "ui/kit/LVButton.h"

#include <QList>
#include <QWidget>
#include <functional>
#include <optional>

class QVBoxLayout;

namespace lunorvale {

class AppModel;
class LVText;
struct ProcessSample;

// The building blocks of the screens that stand in for the pages still to come.
namespace PlaceholderParts {

// A screen: the canvas colour behind a column with a heading that names it.
class Screen : public QWidget {
    Q_OBJECT
public:
    Screen(const QString& title, const std::optional<QString>& subtitle, QWidget* parent = nullptr);
    QVBoxLayout* column() const { return m_column; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVBoxLayout* m_column;
};

// The model's status line, kept current.
QWidget* statusLine(AppModel& model);
// The AI status button, kept current; a click runs `action`.
QWidget* aiStatus(AppModel& model, std::function<void()> action);
// A card with one row per listed process (glyph, name, source, CPU), at most `limit`, kept current.
QWidget* processList(AppModel& model, int limit);
// One process alone.
QWidget* processRow(const ProcessSample& sample);
// A plain text paragraph in the secondary colour, wrapped.
QWidget* paragraph(const QString& text);

struct Button {
    LVButtonKind kind;
    QString title;
    std::function<void()> action;
};
// Buttons at the trailing edge, the last one the default.
QWidget* buttonRow(const QList<Button>& buttons);

} // namespace PlaceholderParts
} // namespace lunorvale
