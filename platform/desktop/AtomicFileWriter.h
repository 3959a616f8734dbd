#pragma once

#include "app/ports/FileWriter.h"
#include "platform/files/AtomicFile.h"

#include <utility>

namespace lunorvale {

// The file system's own: AtomicFile::write with `options`, except that a missing folder is never
// made: the user chose it, so one that is gone by now is reported (ENOENT). The interface knows the
// port's failure only, so the file helpers' error is passed on as that.
class AtomicFileWriter final : public FileWriter {
public:
    explicit AtomicFileWriter(AtomicFile::Options options = {}) : m_options(std::move(options)) {
        m_options.createFolders = false;
    }
    void write(const QString& path, const QByteArray& data) override {
        try {
            AtomicFile::write(path, data, m_options);
        } catch (const FileWriteError& error) {
            throw Failure(error.errorNumber());
        }
    }

private:
    AtomicFile::Options m_options;
};

} // namespace lunorvale
