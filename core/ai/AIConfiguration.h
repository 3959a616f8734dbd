#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUrl>
#include <optional>

namespace lunorvale {

// The AI service the user chose: base address and model, exactly as typed.
struct AIConfiguration {
    QString baseURL;
    QString model;

    // The canonical service URL: lower-case scheme and host, no default port, no trailing "/".
    // Throws AIServiceError(invalidEndpoint) for anything else; reads only baseURL.
    QUrl validatedBaseURL() const;
    // The canonical URL's absolute text (what keys are stored under and presets compare with).
    QString validatedBaseURLText() const;
    // The address validates and names this machine (localhost, 127.0.0.1, ::1): a service there needs
    // no key.
    bool isLocalService() const;

    QJsonObject toJson() const;
    // Both keys must be present and text; no defaults.
    static std::optional<AIConfiguration> fromJson(const QJsonObject& object);
    static std::optional<AIConfiguration> fromJson(const QByteArray& json);

    friend bool operator==(const AIConfiguration&, const AIConfiguration&) = default;
};

} // namespace lunorvale
