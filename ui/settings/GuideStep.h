#pragma once

#include <QWidget>

namespace lunorvale {

class LVText;

// A numbered step of the onboarding sheet and the help page: the number on a tinted circle beside a
// title and a detail that wraps.
class GuideStep final : public QWidget {
    Q_OBJECT
public:
    GuideStep(const QString& number, const QString& title, const QString& detail, QWidget* parent = nullptr);
    LVText* title() const { return m_title; }

private:
    LVText* m_title;
    LVText* m_detail;
};

// A question of the help page and its answer.
class HelpAnswer final : public QWidget {
    Q_OBJECT
public:
    HelpAnswer(const QString& title, const QString& detail, QWidget* parent = nullptr);
};

} // namespace lunorvale
