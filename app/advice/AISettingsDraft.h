#pragma once

#include "core/ai/AIConfiguration.h"
#include "core/ai/AIServicePreset.h"

#include <QString>

namespace lunorvale {

// The editable state behind the AI section of the settings: keeps the address, the preset shown, the way
// the model is entered and a newly typed key consistent while the user edits. The form reads and writes
// the fields directly; saving and validation happen elsewhere.
struct AISettingsDraft {
    AIConfiguration configuration;
    AIServicePreset service;
    bool usesCustomModel = true;
    QString apiKey; // typed and not yet saved; empty when none was typed

    explicit AISettingsDraft(const AIConfiguration& configuration);

    // A picked preset brings its own address and first model; a typed key survives only if the address
    // stays the same. `custom` only switches to free model entry.
    void selectService(AIServicePreset preset);
    // Any change of the address drops a typed key, because the key belongs to the address.
    void editBaseURL(const QString& text);
};

} // namespace lunorvale
