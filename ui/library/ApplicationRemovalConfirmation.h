#pragma once

#include "core/applications/InstalledApplication.h"
#include "ui/library/LibraryParts.h"

#include <functional>

namespace lunorvale {

class LVButton;

// Asks before one checked application is moved to the trash. Knows nothing of the library model: it
// shows the application and hands the answer to its host, which closes it. "取消" is Escape; the
// danger button has no key.
class ApplicationRemovalConfirmation final : public LibrarySheetContent {
    Q_OBJECT
public:
    ApplicationRemovalConfirmation(const InstalledApplication& application, std::function<void()> onCancel,
                                   std::function<void()> onConfirm, QWidget* parent = nullptr);

    LVButton* cancelButton() const { return m_cancel; }
    LVButton* confirmButton() const { return m_confirm; }

private:
    LVButton* m_cancel;
    LVButton* m_confirm;
};

} // namespace lunorvale
