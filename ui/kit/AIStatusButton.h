#pragma once

#include "ui/kit/Palette.h"

#include <QAbstractButton>
#include <QString>
#include <functional>

namespace lunorvale {

// How much attention a status asks for: each tone is a colour of the palette.
enum class StatusTone { muted, amber, success };

// What a status capsule shows: a symbol and a short title in the tone's colour, its tooltip and the
// name it has for assistive technology.
struct StatusCapsule {
    QString title;
    QString symbol;
    StatusTone tone = StatusTone::muted;
    QString toolTip;
    QString accessibleName;

    friend bool operator==(const StatusCapsule&, const StatusCapsule&) = default;
};

// The capsule in the status strip that names the AI state and opens the AI settings when clicked.
// Its texts and colour follow the status; `setStatus` updates it in place.
class AIStatusButton final : public QAbstractButton {
    Q_OBJECT
public:
    AIStatusButton(const StatusCapsule& status, std::function<void()> action, QWidget* parent = nullptr);

    const StatusCapsule& status() const { return m_status; }
    void setStatus(const StatusCapsule& status);
    static AdaptiveColor color(StatusTone tone);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void applyTexts();

    StatusCapsule m_status;
};

} // namespace lunorvale
