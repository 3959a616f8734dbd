#include "core/ai/DiagnosticSummary.h"

#include "core/applications/BundlePaths.h"
#include "core/common/NumberText.h"

#include <QTextBoundaryFinder>
#include <cmath>

namespace lunorvale::DiagnosticSummary {
namespace {

constexpr qsizetype commandCharacterLimit = 8192;
constexpr qsizetype tokenLimit = 32;

// A user-perceived character separates tokens when it begins with a White_Space code point.
bool isWhiteSpaceCharacter(QStringView character) {
    if (character.isEmpty())
        return false;
    char32_t first = character.at(0).unicode();
    if (character.at(0).isHighSurrogate() && character.size() > 1 && character.at(1).isLowSurrogate())
        first = QChar::surrogateToUcs4(character.at(0), character.at(1));
    return QChar::isSpace(first);
}

// The first 32 white-space separated tokens of the first 8192 characters of the command line.
QStringList tokens(const QString& command) {
    QStringList result;
    QString current;
    // Grapheme boundaries are found over a bounded prefix, so an enormous command line costs no more than
    // a long one; only a prefix of clusters averaging over eight code units each could differ.
    const QString prefix = command.left(commandCharacterLimit * 8);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, prefix);
    qsizetype start = 0;
    qsizetype characters = 0;
    while (characters < commandCharacterLimit && result.size() < tokenLimit) {
        const qsizetype end = finder.toNextBoundary();
        if (end < 0 || end <= start)
            break;
        ++characters;
        const QStringView character = QStringView(prefix).mid(start, end - start);
        start = end;
        if (isWhiteSpaceCharacter(character)) {
            if (!current.isEmpty()) {
                result.append(current);
                current.clear();
            }
        } else {
            current.append(character);
        }
    }
    if (!current.isEmpty() && result.size() < tokenLimit)
        result.append(current);
    return result;
}

} // namespace

namespace detail {

QString number(double value, int digits) {
    if (!std::isfinite(value) || value < 0)
        return QStringLiteral("未知");
    return NumberText::fixed(value, digits);
}

QString taskCategory(const ProcessSample& sample) {
    const QStringList written = tokens(sample.command);
    QStringList names;
    names.reserve(written.size());
    for (const QString& token : written)
        names.append(BundlePaths::lastPathComponent(token).toLower());
    const QString executableName = BundlePaths::lastPathComponent(sample.executable).toLower();
    const QString processName = sample.name.toLower();

    for (qsizetype i = 0; i < written.size(); ++i) {
        if (names.at(i) == u"jest" || names.at(i) == u"jest.js" ||
            written.at(i).contains(QStringLiteral("/node_modules/jest/")))
            return QStringLiteral("Jest 测试（本地特征推断）");
    }

    static const QStringList buildTools = {
        QStringLiteral("tsc"),     QStringLiteral("vite"),       QStringLiteral("webpack"),
        QStringLiteral("esbuild"), QStringLiteral("rollup"),     QStringLiteral("swiftc"),
        QStringLiteral("clang"),   QStringLiteral("clang++"),    QStringLiteral("ninja"),
        QStringLiteral("make"),    QStringLiteral("xcodebuild"),
    };
    const QString build = QStringLiteral("构建或编译任务（本地特征推断）");
    if (buildTools.contains(executableName) || buildTools.contains(processName))
        return build;
    for (const QString& name : std::as_const(names)) {
        if (buildTools.contains(name))
            return build;
    }
    for (const QString& name : std::as_const(names)) {
        if (name == u"npm" || name == u"pnpm" || name == u"yarn") {
            if (names.contains(QStringLiteral("build")))
                return build;
            break;
        }
    }

    if (executableName == u"node" || executableName == u"nodejs" || processName == u"node" ||
        processName == u"nodejs")
        return QStringLiteral("Node.js 任务");

    static const QStringList pythonExecutables = {
        QStringLiteral("python"),     QStringLiteral("python3"),    QStringLiteral("python3.10"),
        QStringLiteral("python3.11"), QStringLiteral("python3.12"), QStringLiteral("python3.13"),
        QStringLiteral("python3.14"),
    };
    if (pythonExecutables.contains(executableName) || processName == u"python" || processName == u"python3")
        return QStringLiteral("Python 任务");
    return QStringLiteral("未识别任务");
}

} // namespace detail

QString make(const ProcessSample& sample, const std::optional<Finding>& finding) {
    using detail::number;
    const std::optional<double>& cpu = sample.cpuPercent;
    const QString cpuText =
        cpu && std::isfinite(*cpu) && *cpu >= 0 ? number(*cpu, 1) + u'%' : QStringLiteral("尚无有效采样");
    const QString observation = finding ? number(finding->sustainedSeconds, 0) + QStringLiteral(" 秒")
                                        : QStringLiteral("未达到本地持续高占用提醒条件");
    const QString mebibytes = QString::number(sample.residentBytes >> 20);

    return QStringLiteral("任务类型：") + detail::taskCategory(sample) + QStringLiteral("\nCPU 使用率：") +
           cpuText + QStringLiteral("（最近一个采样区间的均值，100% 约为一个逻辑核心）\n进程已运行：") +
           number(sample.elapsedSeconds, 0) + QStringLiteral(" 秒\n累计 CPU 时间：") +
           number(sample.cpuTotalSeconds, 0) +
           QStringLiteral(" 秒（不是连续高占用时长）\n本地连续高占用观察：") + observation +
           QStringLiteral("\n当前驻留内存：") + mebibytes +
           QStringLiteral(" MiB\n证据边界：这些资源指标不能证明任务卡死；尚未检查日志、调用栈或任务进度。\n"
                          "请解释可能原因、影响、最小必要的进一步检查，并提出适合用户手动确认的处理建议。");
}

} // namespace lunorvale::DiagnosticSummary
