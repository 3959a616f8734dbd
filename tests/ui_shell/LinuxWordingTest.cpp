// Every text the program shows comes from a string literal in its sources; none of them may send a Linux user
// to a program, place or setting of another desktop OS.
#include <QDirIterator>
#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

// The contents of the string literals of a C++ source, comments, character literals and digit separators
// passed over.
QStringList literals(const QString& source) {
    QStringList found;
    const qsizetype size = source.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = source[i];
        const QChar next = i + 1 < size ? source[i + 1] : QChar();
        if (c == u'/' && next == u'/') {
            i = source.indexOf(u'\n', i);
        } else if (c == u'/' && next == u'*') {
            i = source.indexOf(QStringLiteral("*/"), i + 2);
            i = i < 0 ? -1 : i + 1;
        } else if (c == u'\'' && !(i > 0 && source[i - 1].isDigit())) {
            for (++i; i < size && source[i] != u'\''; ++i)
                i += source[i] == u'\\';
        } else if (c == u'"' && i > 0 && source[i - 1] == u'R') {
            const qsizetype open = source.indexOf(u'(', i);
            const QString close = u')' + source.mid(i + 1, open - i - 1) + u'"';
            const qsizetype end = source.indexOf(close, open);
            found.append(source.mid(open + 1, end - open - 1));
            i = end < 0 ? -1 : end + close.size() - 1;
        } else if (c == u'"') {
            qsizetype end = i + 1;
            for (; end < size && source[end] != u'"'; ++end)
                end += source[end] == u'\\';
            found.append(source.mid(i + 1, end - i - 1));
            i = end;
        }
        if (i < 0)
            break;
    }
    return found;
}

} // namespace

TEST(LinuxWording, LiteralsAreFoundOutsideCommentsOnly) {
    const struct {
        const char* source;
        QStringList expected;
    } cases[] = {
        {R"(f("a"); // "b")", {"a"}},
        {"/* \"b\"\n */ g(\"c\\\"d\", '\"', u'x', 300'000, \"e\")", {"c\\\"d", "e"}},
        {"R\"re(\"x\")re\" + \"y\"", {"\"x\"", "y"}},
        {"h(\"https://example.invalid\") /* \"unclosed", {"https://example.invalid"}},
    };
    for (const auto& [source, expected] : cases)
        EXPECT_EQ(literals(QString::fromUtf8(source)), expected) << source;
}

TEST(LinuxWording, NoShownTextNamesAnotherDesktopOS) {
    // Stored receipt states keep the words they were written with; they are mapped where they are shown.
    const QString storedStates = QStringLiteral("/core/applications/ApplicationRemovalLog.cpp");
    const QStringList words = QStringLiteral("活动监视器|访达|Finder|当前 Mac|登录 Mac|你的 Mac|macOS|钥匙串|"
                                             "系统设置|专注模式|应用程序 → 实用工具|-25291|App Store|菜单栏|"
                                             "废纸篓|Lunorvale.app")
                                  .split(u'|');
    QStringList offending;
    int seen = 0;
    for (const char* folder : {"/core", "/app", "/ui", "/platform"}) {
        QDirIterator files(QLatin1String(LUNORVALE_SOURCE_DIR) + QLatin1String(folder),
                           {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
            for (const QString& text : literals(QString::fromUtf8(file.readAll()))) {
                ++seen;
                for (const QString& word : words) {
                    if (text.contains(word) && !(word == u"废纸篓" && path.endsWith(storedStates)))
                        offending.append(path.mid(qstrlen(LUNORVALE_SOURCE_DIR)) + QStringLiteral(": ") +
                                         text);
                }
            }
        }
    }
    EXPECT_GT(seen, 3000); // the sources were read
    EXPECT_TRUE(offending.isEmpty()) << offending.join(u'\n').toStdString();
}
