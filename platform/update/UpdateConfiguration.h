#pragma once

#include "app/ports/UpdateTypes.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <chrono>

namespace lunorvale {

// The update settings installed with the program, in "lunorvale-update.json" beside the program file:
//
//   {
//     "feedURL": "https://downloads.example.invalid/lunorvale/appcast.xml",
//     "publicEDKey": "<base64 of the 32-byte Ed25519 public key>",
//     "checkInterval": 86400
//   }
//
// The feed address is the only address the program ever checks for updates. It must be https; plain
// http is accepted only for this machine's loopback addresses (tests). `checkInterval` (seconds) is
// optional (a day) and read within one hour to thirty days.
struct UpdateConfiguration {
    static constexpr const char* fileName = "lunorvale-update.json";
    static constexpr std::chrono::seconds defaultCheckInterval{86400};
    static constexpr std::chrono::seconds shortestCheckInterval{3600};
    static constexpr std::chrono::seconds longestCheckInterval{30 * 86400};
    static constexpr qint64 maximumFileBytes = 64 * 1024;

    QUrl feedURL;
    QByteArray publicKey; // 32 raw bytes
    std::chrono::seconds checkInterval = defaultCheckInterval;

    // The configuration beside `programPath`.
    static QString pathBeside(const QString& programPath);
    // Throws UpdateError (configurationInvalid) when the file is missing, unreadable or invalid.
    static UpdateConfiguration read(const QString& path);
    static UpdateConfiguration parse(const QByteArray& json);

    // Whether the update layer may fetch `url`: https with a host, or http to a loopback address.
    static bool isAllowedAddress(const QUrl& url);
};

} // namespace lunorvale
