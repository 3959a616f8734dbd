#include "core/ai/AIText.h"

#include <QTextBoundaryFinder>
#include <utility>

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

namespace {

// Where the authority of an absolute address begins and ends; begin is -1 without "scheme://".
std::pair<qsizetype, qsizetype> authorityBounds(QStringView address) {
    const qsizetype colon = address.indexOf(u':');
    if (colon <= 0 || !address.mid(colon + 1).startsWith(u"//"))
        return {-1, -1};
    const qsizetype begin = colon + 3;
    qsizetype end = begin;
    while (end < address.size() && address[end] != u'/' && address[end] != u'?' && address[end] != u'#')
        ++end;
    return {begin, end};
}

} // namespace

QStringView authorityAsWritten(QStringView address) {
    const auto [begin, end] = authorityBounds(address);
    return begin < 0 ? QStringView() : address.mid(begin, end - begin);
}

QStringView hostAsWritten(QStringView address) {
    QStringView host = authorityAsWritten(address);
    host = host.mid(host.lastIndexOf(u'@') + 1);
    if (host.startsWith(u'[')) {
        const qsizetype close = host.indexOf(u']');
        return close < 0 ? host : host.left(close + 1);
    }
    const qsizetype port = host.indexOf(u':');
    return port < 0 ? host : host.left(port);
}

QStringView pathAsWritten(QStringView address) {
    const auto [begin, end] = authorityBounds(address);
    if (begin < 0)
        return {};
    qsizetype stop = end;
    while (stop < address.size() && address[stop] != u'?' && address[stop] != u'#')
        ++stop;
    return address.mid(end, stop - end);
}

} // namespace lunorvale::AIText
