#pragma once

#include "ui/kit/SheetContent.h"
#include "ui/window/MainViewLogic.h"

#include <functional>

namespace lunorvale {

class AppModel;
class LVButton;
class LVText;

// Asks before a process is asked to quit or ended by force. Stops nothing itself: confirming hands the
// request back to the host, which stops the process and closes the sheet. The confirm button follows
// the model: disabled in preview mode, while this process's stop is being rechecked, and for a process
// this program may not stop.
class StopConfirmationView final : public SheetContent {
    Q_OBJECT
public:
    StopConfirmationView(AppModel& model, const StopRequest& request, std::function<void()> onCancel,
                         std::function<void()> onConfirm, QWidget* parent = nullptr);

    // The process line: its name, " · PID " and the pid.
    LVText* processText() const { return m_process; }
    LVButton* cancelButton() const { return m_cancel; }
    LVButton* confirmButton() const { return m_confirm; }

private:
    void refresh();

    AppModel& m_model;
    ProcessSample m_sample;
    LVText* m_process;
    LVButton* m_cancel;
    LVButton* m_confirm;
};

} // namespace lunorvale
