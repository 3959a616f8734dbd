#pragma once

#include "platform/files/FileWriteError.h"

#include <QByteArray>
#include <QString>

namespace lunorvale {

// Writes a whole file at a place the user chose (an export). What the interface is given instead of
// the file system. Throws FileWriteError.
class FileWriter {
public:
    virtual ~FileWriter() = default;
    virtual void write(const QString& path, const QByteArray& data) = 0;
};

} // namespace lunorvale
