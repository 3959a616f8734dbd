#include "app/modes/LunorvaleEntry.h"

#include <QJsonDocument>
#include <cstdio>

namespace lunorvale {

LunorvaleEntry::Dispatch LunorvaleEntry::dispatch(const QStringList& arguments) {
    using Mode = Dispatch::Mode;
    // The whole list, program path included, as the shell passes it: no program is installed under a
    // flag's name, so reading argv[0] costs nothing and keeps one rule for every argument.
    const QStringList& flags = arguments;
    if (flags.contains(QStringLiteral("--probe")))
        return {Mode::probe, {}};
    if (flags.contains(QStringLiteral("--smoke-test")))
        return {Mode::smokeTest, {}};
    if (flags.contains(QStringLiteral("--applications-probe")))
        return {Mode::applicationsProbe, {}};
    // An AI flag applies only with an argument after its first occurrence, taken unchanged.
    const auto withAddress = [&](const char* flag, Mode mode) -> std::optional<Dispatch> {
        const qsizetype at = flags.indexOf(QString::fromLatin1(flag));
        if (at < 0 || at + 1 >= flags.size())
            return std::nullopt;
        return Dispatch{mode, flags.at(at + 1)};
    };
    if (auto d = withAddress("--applications-ai-smoke", Mode::applicationsAISmoke))
        return *d;
    if (auto d = withAddress("--decision-ai-smoke", Mode::decisionAISmoke))
        return *d;
    if (auto d = withAddress("--ai-smoke", Mode::aiSmoke))
        return *d;
    return {Mode::application, {}};
}

QJsonObject LunorvaleEntry::failureReport(const QString& error) {
    return QJsonObject{{QStringLiteral("status"), QStringLiteral("failed")},
                       {QStringLiteral("error"), error}};
}

bool LunorvaleEntry::printReport(const QJsonObject& report) {
    const QByteArray text = QJsonDocument(report).toJson(QJsonDocument::Indented);
    if (text.isEmpty())
        return false;
    const bool written = std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout) ==
                         static_cast<size_t>(text.size());
    // Indented output already ends with a line feed.
    if (!text.endsWith('\n'))
        std::fputc('\n', stdout);
    // Buffered output fails only when flushed (a full disk, a closed pipe).
    const bool flushed = std::fflush(stdout) == 0 && !std::ferror(stdout);
    return written && flushed;
}

} // namespace lunorvale
