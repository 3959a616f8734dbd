#pragma once

#include "platform/files/FileWriteError.h"

#include <QByteArray>
#include <QString>
#include <functional>

namespace lunorvale {

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

} // namespace lunorvale
