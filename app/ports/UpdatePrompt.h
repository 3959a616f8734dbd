#pragma once

#include "app/ports/UpdateTypes.h"

#include <QString>
#include <QtGlobal>
#include <functional>

namespace lunorvale {

// The update window: shows one release or one message and reports the user's choice. The controller
// owns it and replaces whatever it shows by the next call.
class UpdatePrompt {
public:
    virtual ~UpdatePrompt() = default;

    // A release to install, skip or be reminded of later. At most one choice is reported; closing the
    // window counts as "later" (dismiss). Offers that cannot be installed from here explain why.
    virtual void showUpdate(const UpdateOffer& offer, std::function<void(UpdateChoice)> choose) = 0;
    // A download in progress; `total` is the announced size. `cancel` stops it.
    virtual void showProgress(const AppcastItem& item, qint64 received, qint64 total,
                              std::function<void()> cancel) = 0;
    // A note after a check the user asked for (no release, or a failure).
    virtual void showMessage(const QString& title, const QString& text) = 0;
    // Hides whatever the window shows; a pending choice is dropped.
    virtual void withdraw() = 0;
};

} // namespace lunorvale
