#include "core/ai/AIText.h"

#include <QTextBoundaryFinder>

namespace lunorvale::AIText {

namespace {

bool isTrimmable(char16_t c) {
    if ((c >= 0x09 && c <= 0x0D) || c == 0x85)
        return true;
    switch (QChar::category(char32_t(c))) {
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

} // namespace

QString trimmed(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isTrimmable(text.at(begin).unicode()))
        ++begin;
    while (end > begin && isTrimmable(text.at(end - 1).unicode()))
        --end;
    return text.mid(begin, end - begin);
}

qsizetype characterCount(const QString& text) {
    if (text.isEmpty())
        return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

bool containsControlCharacter(const QString& text) {
    for (const char32_t code : text.toUcs4()) {
        const QChar::Category category = QChar::category(code);
        if (category == QChar::Other_Control || category == QChar::Other_Format)
            return true;
    }
    return false;
}

qsizetype utf8Length(const QString& text) {
    return text.toUtf8().size();
}

const QStringList& loopbackHostNames() {
    static const QStringList names{QStringLiteral("localhost"), QStringLiteral("127.0.0.1"),
                                   QStringLiteral("::1"), QStringLiteral("[::1]")};
    return names;
}

bool isLoopbackHost(const QString& host) {
    return loopbackHostNames().contains(host.toLower());
}

} // namespace lunorvale::AIText
