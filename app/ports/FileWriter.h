#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace lunorvale {

// Writes a whole file at a place the user chose (an export). What the interface is given instead of
// the file system. Throws FileWriter::Failure.
class FileWriter {
public:
    // A file that was not written; the caller words the system's error number for the user.
    class Failure final : public std::exception {
    public:
        explicit Failure(int errorNumber) : m_errorNumber(errorNumber) {}
        int errorNumber() const { return m_errorNumber; }
        const char* what() const noexcept override { return "the file was not written"; }

    private:
        int m_errorNumber;
    };

    virtual ~FileWriter() = default;
    virtual void write(const QString& path, const QByteArray& data) = 0;
};

} // namespace lunorvale
