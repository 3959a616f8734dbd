#pragma once

#include <QAbstractButton>
#include <functional>

namespace lunorvale {

class SoftwareUpdater;

// The popover's row while an update is known: one line on an inner card, all of it pressable. A press
// opens the main window, then starts the check. Takes no space otherwise.
class MenuSoftwareUpdateReminder final : public QAbstractButton {
    Q_OBJECT
public:
    MenuSoftwareUpdateReminder(SoftwareUpdater* updater, std::function<void()> openMain,
                               QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    SoftwareUpdater* m_updater;
    std::function<void()> m_openMain;
};

} // namespace lunorvale
