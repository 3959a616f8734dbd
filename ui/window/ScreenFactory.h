#pragma once

#include "core/ai/AIConfiguration.h"
#include "core/applications/InstalledApplication.h"
#include "core/monitoring/ProcessSample.h"
#include "ui/library/ApplicationLibraryLogic.h"
#include "ui/window/MainViewLogic.h"
#include "ui/window/ViewServices.h"

#include <QDateTime>
#include <QString>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace lunorvale {

class AppModel;
class ApplicationLibraryModel;
class WindowRequests;

// The popover's ways out; the shell decides what happens to the popover.
struct MenuActions {
    std::function<void()> openMain;
    std::function<void()> showSettings;
    std::function<void()> requestQuit;
    // Asks the main window, brought forward just before, for the AI section of the settings.
    std::function<void()> showAISettings;
};

// Makes every screen the shell hosts: the main window's content, the popover content, and the sheets
// a screenshot can show alone. The shell builds screens only through this, so the screens of later
// work replace these without touching the shell. Each call returns a new widget without parent; the
// caller owns it. Actions are called on the main thread and may be empty.
class ScreenFactory {
public:
    virtual ~ScreenFactory() = default;

    // `requests`: the program's window requests (settings, AI settings, help), which the content follows.
    virtual QWidget* mainView(AppModel& model, const std::optional<QString>& previewPage,
                              WindowRequests* requests) = 0;
    virtual QWidget* menuContent(AppModel& model, const MenuActions& actions) = 0;
    virtual QWidget* stopConfirmation(AppModel& model, const StopRequest& request,
                                      std::function<void()> onCancel, std::function<void()> onConfirm) = 0;
    virtual QWidget* analysisConsent(AppModel& model, const ProcessSample& sample,
                                     std::function<void()> onDismiss) = 0;
    virtual QWidget* applicationRemovalConfirmation(const InstalledApplication& application,
                                                    std::function<void()> onCancel,
                                                    std::function<void()> onConfirm) = 0;
    virtual QWidget* applicationReceipts(ApplicationLibraryModel& library, std::function<void()> close) = 0;
    virtual QWidget* applicationAdviceConsent(const ApplicationAdviceConsent& consent, bool preview,
                                              std::function<void()> onCancel,
                                              std::function<void()> onConfirm) = 0;
    virtual QWidget* welcome(AppModel& model, std::function<void()> onComplete) = 0;
    virtual QWidget* privacy() = 0;
};

// The program's own screens, reaching the desktop through `services` only; tests give the shell fakes
// in their place.
std::unique_ptr<ScreenFactory> makeStandardScreens(ViewServices services = {});

} // namespace lunorvale
