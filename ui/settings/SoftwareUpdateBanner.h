#pragma once

#include <QWidget>

namespace lunorvale {

class LVText;
class SoftwareUpdateButton;
class SoftwareUpdater;

// The strip above the main window's page while an update is known: what it is and the update button.
// Takes no space otherwise.
class SoftwareUpdateBanner final : public QWidget {
    Q_OBJECT
public:
    explicit SoftwareUpdateBanner(SoftwareUpdater* updater, QWidget* parent = nullptr);

    LVText* text() const { return m_text; }
    SoftwareUpdateButton* button() const { return m_button; }

private:
    void refresh();

    SoftwareUpdater* m_updater;
    LVText* m_text;
    SoftwareUpdateButton* m_button;
};

} // namespace lunorvale
