#include "support/VirtualDisplay.h"

#include <QProcessEnvironment>
#include <QRegularExpression>

namespace lunorvale::test {

VirtualDisplay::VirtualDisplay() {
    m_server.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp")});
    if (m_server.waitForReadyRead(60000))
        m_name = QStringLiteral(":") + QString::fromLatin1(m_server.readLine().trimmed());
}

VirtualDisplay::~VirtualDisplay() {
    m_server.terminate();
    m_server.waitForFinished();
}

QString VirtualDisplay::windowOfSize(int width, int height) const {
    const QRegularExpression window(QStringLiteral(R"((0x[0-9a-f]+) .*\s(\d+)x(\d+)\+)"));
    const QString tree = run(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    for (const QString& line : tree.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = window.match(line);
        if (!match.hasMatch() || match.captured(2).toInt() != width ||
            (height >= 0 && match.captured(3).toInt() != height))
            continue;
        if (run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), match.captured(1)})
                .contains(u"IsViewable"))
            return match.captured(1);
    }
    return {};
}

QString VirtualDisplay::title(const QString& window) const {
    return run(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), window}).trimmed();
}

QString VirtualDisplay::property(const QString& window, const QString& name) const {
    return run(QStringLiteral("xprop"), {QStringLiteral("-id"), window, name});
}

QString VirtualDisplay::run(const QString& program, const QStringList& arguments) const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_name);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace lunorvale::test
