#include "app/shell/ProgramIdentity.h"

#include "app/shell/StatusItem.h"
#include "platform/DesktopEntries.h"

#include <QImage>

namespace lunorvale::ProgramIdentity {

QString name() {
    return QStringLiteral("岚栖");
}

QIcon icon() {
    QIcon result;
    for (const int side : {16, 22, 24, 32, 48, 64, 128})
        result.addPixmap(StatusItem::iconPixmap(side, {}));
    return result;
}

NotificationImage notificationImage(int side) {
    // Straight (not premultiplied) alpha, the bytes of each pixel in the order R, G, B, A.
    const QImage image = StatusItem::iconPixmap(side, {}).toImage().convertToFormat(QImage::Format_RGBA8888);
    NotificationImage raw;
    raw.width = image.width();
    raw.height = image.height();
    raw.rowStride = static_cast<int>(image.bytesPerLine());
    raw.hasAlpha = true;
    raw.bitsPerSample = 8;
    raw.channels = 4;
    raw.pixels = QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
    return raw;
}

std::optional<QString> desktopFileName(const QStringList& applicationFolders) {
    const QString id = QStringLiteral("lunorvale");
    DesktopEntries entries(applicationFolders);
    const QList<ApplicationEntry> found = entries.entries({QStringView(id)});
    if (found.isEmpty() || found.first().path.isEmpty())
        return std::nullopt;
    return id;
}

} // namespace lunorvale::ProgramIdentity
