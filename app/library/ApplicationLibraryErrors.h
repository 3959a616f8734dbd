#pragma once

#include "core/applications/InstalledApplication.h"

#include <QString>
#include <exception>
#include <optional>

namespace lunorvale {

// A failed check, quit or removal as the library shows it: one sentence, and the guidance when the
// failure carries its own.
struct ApplicationFailure {
    QString sentence;
    std::optional<ApplicationManagementGuidance> guidance;
};

// The work was stopped by its caller; never shown.
bool isCancellation(const std::exception_ptr& error);

// Every failure the removal service, the inventory and the receipt log throw gets a Chinese sentence;
// texts meant for logs (file errors name their step and path in English) are not shown.
ApplicationFailure describeFailure(const std::exception_ptr& error);

} // namespace lunorvale
