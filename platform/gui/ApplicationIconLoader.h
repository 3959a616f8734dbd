#pragma once

#include <QByteArray>
#include <QCache>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QThreadPool;

namespace lunorvale {

// Application icons, read and decoded off the interface thread.
//
// A bundle names its icon file in its Info.plist (CFBundleIconFile, ".icns" added when the name has no
// extension); the file is read from the bundle's Contents/Resources with the inventory's checked read,
// at most 8 MiB, and its PNG entry chosen and decoded by IcnsReader's rules. The bundle is anyone's
// input: a name with "/" or "..", a link, a file that is not regular, a missing file, no PNG entry or
// damaged data all end as no icon, never as a read outside the bundle.
//
// Loads run on two threads of the loader's own; each result comes back to the interface thread by a
// queued call keyed by bundle path and is kept in a cache of at most `cacheLimit` icons, least recently
// used first out. A bundle is loaded once; a failure is remembered too, so it is not read again.
// `leave()` drops every load under way: what they still produce is neither cached nor announced.
class ApplicationIconLoader final : public QObject {
    Q_OBJECT
public:
    // Reads the icon file's bytes for a bundle path; absent when there is none to read. Runs on the
    // loader's threads.
    using FileReader = std::function<std::optional<QByteArray>(const QString& bundlePath)>;

    static constexpr int cacheLimit = 512;
    static constexpr qint64 fileLimit = 8 * 1024 * 1024;

    // An empty reader reads the bundle's own icon file (iconFile).
    explicit ApplicationIconLoader(FileReader reader = {}, QObject* parent = nullptr);
    // Waits a little for the loads under way; a read hanging on slow storage is left to finish on its
    // own, into nothing.
    ~ApplicationIconLoader() override;

    // The cached icon (made most recently used); absent while none is known, when a load starts unless
    // one runs or failed before. A null image: the bundle has no usable icon.
    std::optional<QImage> icon(const QString& bundlePath, int side);
    void leave();

    // Loads started and not yet delivered or dropped.
    int pending() const { return int(m_loading.size()); }

    // The bytes of the bundle's icon file, by the rules above.
    static std::optional<QByteArray> iconFile(const QString& bundlePath);
    // The icon of an icon file for a frame of `side` pixels: its PNG entry decoded and scaled to fit the
    // side. Null for anything else.
    static QImage decode(const QByteArray& icns, int side);

signals:
    // The bundle's icon is now in the cache.
    void loaded(const QString& bundlePath);

private:
    void deliver(quint64 generation, const QString& bundlePath, const QImage& image);

    std::shared_ptr<const FileReader> m_reader;
    QThreadPool* m_pool;
    QCache<QString, QImage> m_cache;
    QSet<QString> m_loading;
    quint64 m_generation = 0;
};

} // namespace lunorvale
