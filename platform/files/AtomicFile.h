#pragma once

#include <QByteArray>
#include <QString>
#include <exception>
#include <functional>

namespace lunorvale {

// A file that could not be written; the old file, if any, is still in place unless the
// failure came after the new data had replaced it (see `replaced()`).
class FileWriteError final : public std::exception {
public:
    FileWriteError(QString step, QString path, int errorNumber, bool replaced = false);

    // "step path: reason", in English; callers show their own sentence to the user.
    QString errorDescription() const { return m_description; }
    int errorNumber() const { return m_errorNumber; }
    bool replaced() const { return m_replaced; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
    int m_errorNumber;
    bool m_replaced;
};

namespace AtomicFile {

// Creates `path` and every missing folder above it, each with mode 0700. Existing folders keep
// their modes. Throws FileWriteError.
void createDirectories(const QString& path);

// Replaces the file at `path` with `data` so that a reader sees either the old or the new file
// whole: missing parent folders are created 0700, the data goes to a 0600 temporary file in the
// same folder, is flushed to disk and renamed over `path`, then the folder itself is flushed.
// On failure the temporary file is removed. Throws FileWriteError. `mode` is for programs (0755);
// every data file keeps 0600.
void write(const QString& path, const QByteArray& data, unsigned mode = 0600);

// The steps of a write, as a fault hook sees them.
enum class Step { write, flush, rename };

struct Options {
    unsigned mode = 0600;
    // False: a missing folder fails the write (ENOENT) instead of being created.
    bool createFolders = true;
    // Asked before each step; a non-zero error number fails the step as the system would have. Lets
    // tests reach failures a privileged process never meets.
    std::function<int(Step)> fault;
};
void write(const QString& path, const QByteArray& data, const Options& options);

} // namespace AtomicFile

// Writes a whole file at a place the user chose (an export). What the interface is given instead of
// the file system. Throws FileWriteError.
class FileWriter {
public:
    virtual ~FileWriter() = default;
    virtual void write(const QString& path, const QByteArray& data) = 0;
};

// The file system's own: AtomicFile::write with `options`, except that a missing folder is never
// made: the user chose it, so one that is gone by now is reported (ENOENT).
class AtomicFileWriter final : public FileWriter {
public:
    explicit AtomicFileWriter(AtomicFile::Options options = {}) : m_options(std::move(options)) {
        m_options.createFolders = false;
    }
    void write(const QString& path, const QByteArray& data) override {
        AtomicFile::write(path, data, m_options);
    }

private:
    AtomicFile::Options m_options;
};
} // namespace lunorvale
