#include "platform/desktop/LoginItem.h"

#include "platform/Paths.h"
#include "platform/files/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

namespace lunorvale {
namespace {

constexpr qint64 maximumEntryBytes = 64 * 1024;
const QString reservedCharacters = QStringLiteral(" \t\"'\\><~|&;$*?#()`");

// Exec quoting: an argument with a reserved character goes in double quotes, inside which
// the four characters " ` $ \ take a backslash; a literal % is always doubled.
QString quotedArgument(const QString& argument) {
    QString text = argument;
    text.replace(u'%', QStringLiteral("%%"));
    if (std::none_of(text.cbegin(), text.cend(), [](QChar c) { return reservedCharacters.contains(c); }))
        return text;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return quoted + u'"';
}

// The entry's string escapes, applied before (when writing: after) the Exec quoting.
QString escapedValue(const QString& value) {
    QString escaped = value;
    escaped.replace(u'\\', QStringLiteral("\\\\"));
    return escaped;
}

QString unescapedValue(const QString& value) {
    QString text;
    text.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        const QChar next = value[++i];
        if (next == u's')
            text += u' ';
        else if (next == u'n')
            text += u'\n';
        else if (next == u't')
            text += u'\t';
        else if (next == u'r')
            text += u'\r';
        else if (next == u'\\')
            text += u'\\';
        else
            text += QString(u'\\') + next;
    }
    return text;
}

struct Entry {
    std::optional<QString> exec;
    bool hidden = false;
    bool disabled = false;
};

Entry parseEntry(const QString& text) {
    Entry entry;
    bool inMainGroup = false;
    for (const QStringView line : QStringView(text).split(u'\n')) {
        const QStringView trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u'#'))
            continue;
        if (trimmed.startsWith(u'[')) {
            inMainGroup = trimmed == u"[Desktop Entry]";
            continue;
        }
        const qsizetype equals = trimmed.indexOf(u'=');
        if (!inMainGroup || equals < 0)
            continue;
        const QStringView key = trimmed.left(equals).trimmed();
        const QString value = unescapedValue(trimmed.mid(equals + 1).trimmed().toString());
        if (key == u"Exec" && !entry.exec)
            entry.exec = value;
        else if (key == u"Hidden")
            entry.hidden = value == u"true";
        else if (key == u"X-GNOME-Autostart-enabled")
            entry.disabled = value == u"false";
    }
    return entry;
}

} // namespace

QString AutostartLoginItem::defaultEntryPath() {
    return Paths::configHome() + QStringLiteral("/autostart/lunorvale.desktop");
}

AutostartLoginItem::AutostartLoginItem(QString programPath, QString entryPath)
    : m_programPath(std::move(programPath)), m_entryPath(std::move(entryPath)) {}

std::optional<QByteArray> AutostartLoginItem::entryText(const QString& programPath) {
    if (!programPath.startsWith(u'/') || programPath.contains(u'\n') || programPath.contains(u'\r') ||
        programPath.contains(QChar(0)))
        return std::nullopt;
    const QString exec = quotedArgument(programPath) + u' ' + QString::fromLatin1(loginLaunchArgument);
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=岚栖\n"
                                        "Comment=登录后在后台观察当前用户的进程\n"
                                        "Exec=%1\n"
                                        "Terminal=false\n"
                                        "NoDisplay=true\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(escapedValue(exec));
    return text.toUtf8();
}

std::optional<QStringList> AutostartLoginItem::execArguments(const QString& value) {
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (quoted) {
            if (c == u'\\' && i + 1 < value.size()) {
                current += value[++i];
            } else if (c == u'"') {
                quoted = false;
            } else {
                current += c;
            }
            continue;
        }
        if (c == u' ' || c == u'\t') {
            if (inArgument)
                arguments.append(current);
            current.clear();
            inArgument = false;
            continue;
        }
        inArgument = true;
        if (c == u'"')
            quoted = true;
        else if (c == u'%' && i + 1 < value.size() && value[i + 1] == u'%')
            current += value[++i];
        else
            current += c;
    }
    if (quoted)
        return std::nullopt;
    if (inArgument)
        arguments.append(current);
    return arguments;
}

LoginItemStatus AutostartLoginItem::status() {
    const QFileInfo info(m_entryPath);
    if (!info.exists() && !info.isSymLink())
        return LoginItemStatus::notRegistered;
    QFile file(m_entryPath);
    if (!info.isFile() || info.size() > maximumEntryBytes || !file.open(QIODevice::ReadOnly))
        return LoginItemStatus::unknown;
    const Entry entry = parseEntry(QString::fromUtf8(file.read(maximumEntryBytes)));
    // Switched off by the desktop: off, whatever it would start.
    if (entry.hidden || entry.disabled)
        return LoginItemStatus::notRegistered;
    if (!entry.exec)
        return LoginItemStatus::unknown;
    const std::optional<QStringList> arguments = execArguments(*entry.exec);
    if (!arguments || arguments->isEmpty())
        return LoginItemStatus::unknown;
    // Another copy, or this one moved away since the entry was written: the login would start nothing
    // of ours.
    if (arguments->first() != m_programPath || !QFileInfo(m_programPath).isExecutable())
        return LoginItemStatus::notFound;
    return LoginItemStatus::enabled;
}

void AutostartLoginItem::registerItem() {
    const std::optional<QByteArray> text = entryText(m_programPath);
    if (!text)
        throw LoginItemError(QStringLiteral("程序所在位置无法写入自动启动项。"));
    try {
        AtomicFile::write(m_entryPath, *text);
    } catch (const FileWriteError&) {
        throw LoginItemError(QStringLiteral("无法写入自动启动项，请检查 ~/.config/autostart 的访问权限。"));
    }
}

void AutostartLoginItem::unregisterItem() {
    const QFileInfo info(m_entryPath);
    if (!info.exists() && !info.isSymLink())
        return;
    if (!QFile::remove(m_entryPath))
        throw LoginItemError(QStringLiteral("无法删除自动启动项，请检查 ~/.config/autostart 的访问权限。"));
}

} // namespace lunorvale
