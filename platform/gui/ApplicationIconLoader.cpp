#include "platform/gui/ApplicationIconLoader.h"

#include "core/applications/ApplicationInventory.h"
#include "platform/gui/IcnsReader.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImageReader>
#include <QThreadPool>

namespace lunorvale {

ApplicationIconLoader::ApplicationIconLoader(FileReader reader, QObject* parent)
    : QObject(parent), m_reader(std::make_shared<const FileReader>(reader ? std::move(reader) : &iconFile)),
      m_pool(new QThreadPool), m_cache(cacheLimit) {
    m_pool->setMaxThreadCount(2);
    m_pool->setThreadPriority(QThread::LowPriority);
}

ApplicationIconLoader::~ApplicationIconLoader() {
    m_pool->clear();
    // The jobs hold nothing of this object, so a pool whose reads hang can be left running.
    if (m_pool->waitForDone(2000))
        delete m_pool;
}

std::optional<QImage> ApplicationIconLoader::icon(const QString& bundlePath, int side) {
    if (const QImage* cached = m_cache.object(bundlePath))
        return *cached;
    if (m_loading.contains(bundlePath))
        return std::nullopt;
    m_loading.insert(bundlePath);
    const quint64 generation = m_generation;
    const QPointer<ApplicationIconLoader> self(this);
    m_pool->start([reader = m_reader, self, generation, bundlePath, side] {
        QImage image;
        try {
            if (const std::optional<QByteArray> file = (*reader)(bundlePath))
                image = decode(*file, side);
        } catch (...) {
            // Any failure of the read leaves the placeholder.
        }
        // The application object outlives every window; the loader may not.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, generation, bundlePath, image] {
                if (self)
                    self->deliver(generation, bundlePath, image);
            },
            Qt::QueuedConnection);
    });
    return std::nullopt;
}

void ApplicationIconLoader::leave() {
    ++m_generation;
    m_loading.clear();
    m_pool->clear();
}

void ApplicationIconLoader::deliver(quint64 generation, const QString& bundlePath, const QImage& image) {
    if (generation != m_generation)
        return;
    m_loading.remove(bundlePath);
    m_cache.insert(bundlePath, new QImage(image));
    if (!image.isNull())
        emit loaded(bundlePath);
}

std::optional<QByteArray> ApplicationIconLoader::iconFile(const QString& bundlePath) {
    const QUrl bundle = QUrl::fromLocalFile(bundlePath);
    const QVariant value =
        ApplicationInventory::metadata(bundle).second.value(QStringLiteral("CFBundleIconFile"));
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    QString name = value.toString();
    if (name.isEmpty() || name.contains(u'/') || name.contains(QStringLiteral("..")) ||
        name.contains(QChar(0)))
        return std::nullopt;
    if (QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".icns");
    return ApplicationInventory::readRegularFile(
        QUrl::fromLocalFile(bundlePath + QStringLiteral("/Contents/Resources/") + name), fileLimit);
}

QImage ApplicationIconLoader::decode(const QByteArray& icns, int side) {
    const std::optional<IcnsReader::Entry> entry = IcnsReader::choose(IcnsReader::pngEntries(icns), side);
    if (!entry)
        return {};
    QByteArray png = icns.mid(entry->offset, entry->length);
    QBuffer buffer(&png);
    buffer.open(QIODevice::ReadOnly);
    // Qt's own PNG reader only, whatever plugins the system has.
    QImageReader reader(&buffer, "png");
    reader.setDecideFormatFromContent(false);
    if (reader.size() != QSize(entry->width, entry->height))
        return {};
    QImage image;
    if (!reader.read(&image) || image.size() != QSize(entry->width, entry->height))
        return {};
    if (std::max(image.width(), image.height()) > side)
        image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace lunorvale
