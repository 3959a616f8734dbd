#include "support/VirtualDisplay.h"

#include <QRegularExpression>
#include <QStringList>

namespace lunorvale::test {

VirtualDisplay::VirtualDisplay() {
    m_server.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp")});
    if (m_server.waitForReadyRead(20000))
        m_name = QStringLiteral(":") + QString::fromLatin1(m_server.readLine().trimmed());
}

VirtualDisplay::~VirtualDisplay() {
    m_server.terminate();
    m_server.waitForFinished();
}

bool VirtualDisplay::showsWindowOfSize(int width, int height) const {
    QProcess tree;
    tree.start(QStringLiteral("xwininfo"),
               {QStringLiteral("-display"), m_name, QStringLiteral("-root"), QStringLiteral("-tree")});
    tree.waitForFinished();
    const QRegularExpression window(QStringLiteral(R"((0x[0-9a-f]+) .*\s(\d+)x(\d+)\+)"));
    for (const QString& line : QString::fromUtf8(tree.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = window.match(line);
        if (!match.hasMatch() || match.captured(2).toInt() != width || match.captured(3).toInt() != height)
            continue;
        QProcess info;
        info.start(QStringLiteral("xwininfo"),
                   {QStringLiteral("-display"), m_name, QStringLiteral("-id"), match.captured(1)});
        info.waitForFinished();
        if (info.readAllStandardOutput().contains("IsViewable"))
            return true;
    }
    return false;
}

} // namespace lunorvale::test
