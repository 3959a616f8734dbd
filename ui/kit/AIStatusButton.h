#pragma once

#include "app/advice/AIStatus.h"
#include "ui/kit/Palette.h"

#include <QAbstractButton>
#include <functional>

namespace lunorvale {

// The capsule in the status strip that names the AI state and opens the AI settings when clicked.
// Its texts and colour follow the status; `setStatus` updates it in place.
class AIStatusButton final : public QAbstractButton {
    Q_OBJECT
public:
    AIStatusButton(const AIStatus& status, std::function<void()> action, QWidget* parent = nullptr);

    const AIStatus& status() const { return m_status; }
    void setStatus(const AIStatus& status);
    static AdaptiveColor color(AIStatus::Tone tone);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void applyTexts();

    AIStatus m_status;
};

} // namespace lunorvale
