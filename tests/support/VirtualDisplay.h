#pragma once

#include <QProcess>
#include <QString>

namespace lunorvale::test {

// A virtual X display (Xvfb, no window manager) for the length of a test.
class VirtualDisplay final {
public:
    VirtualDisplay();
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // ":N"; empty when Xvfb did not start.
    const QString& name() const { return m_name; }
    // Whether a window of this size is mapped and viewable.
    bool showsWindowOfSize(int width, int height) const;

private:
    QProcess m_server;
    QString m_name;
};

} // namespace lunorvale::test
