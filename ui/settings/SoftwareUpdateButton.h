#pragma once

#include "ui/kit/LVButton.h"

#include <QWidget>
#include <functional>

namespace lunorvale {

class SoftwareUpdater;

// The one update button: "检查更新…", "查看 1.2 更新…" or "安装更新…" with its symbol, enabled while a check
// can be made; a press runs `beforeCheck`, then the check. Drawn in the kind its host gives.
class SoftwareUpdateButton final : public QWidget {
    Q_OBJECT
public:
    SoftwareUpdateButton(SoftwareUpdater* updater, LVButtonKind kind, std::function<void()> beforeCheck = {},
                         QWidget* parent = nullptr);
    LVButton* button() const { return m_button; }

private:
    void refresh();

    SoftwareUpdater* m_updater;
    std::function<void()> m_beforeCheck;
    LVButton* m_button;
};

} // namespace lunorvale
