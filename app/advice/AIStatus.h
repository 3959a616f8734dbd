#pragma once

#include "core/ai/AIConfiguration.h"
#include "core/ai/AIKeyStatus.h"

#include <QString>

namespace lunorvale {

// Everything the interface says about the AI service in one value: is a service configured, is its
// key usable, is automatic advice on. Built afresh whenever one of its inputs changes.
struct AIStatus {
    // `noKeyring`: a key is needed and nothing on the desktop can keep one (no Secret Service at all).
    enum class State {
        unconfigured,
        missingKey,
        needsAuthorization,
        keyUnavailable,
        noKeyring,
        automatic,
        manual
    };
    // The palette colour a state is shown in.
    enum class Tone { muted, amber, success };

    State state = State::unconfigured;
    AIConfiguration configuration; // as given, not trimmed
    AIKeyStatus key = AIKeyStatus::missing;
    bool automaticEnabled = false;
    bool isMonitoring = false;

    // The address is checked before anything else, then the model name, then the key: a service on
    // this machine needs no key. Monitoring never changes the state, only one explanation.
    AIStatus(const AIConfiguration& configuration, AIKeyStatus key, bool automaticEnabled, bool isMonitoring);

    // For the key line of the settings.
    QString keyLabel() const;
    // The service and the model as stored, or that the configuration is incomplete.
    QString serviceLabel() const;

    // The status button's texts.
    QString shortTitle() const;
    QString longTitle() const;
    QString explanation() const;
    QString toolTip() const;
    QString accessibleName() const;
    // The symbol beside the short title.
    QString symbol() const { return QStringLiteral("sparkles"); }
    Tone tone() const;

    friend bool operator==(const AIStatus&, const AIStatus&) = default;
};

} // namespace lunorvale
