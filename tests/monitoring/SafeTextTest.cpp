#include "core/common/SafeText.h"
#include "platform/files/CheckedFiles.h"

#include <gtest/gtest.h>
#include <string_view>

using namespace lunorvale;
using namespace std::string_view_literals;

namespace {
QString utf16(std::u16string_view text) {
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}
} // namespace

// Nothing that hides or reorders text, and no remains of a terminal's escape sequences: what a terminal
// would have swallowed goes whole, the text around it stays.
TEST(SafeText, DropsControlsWithTheirEscapeSequencesAndBidirectionalMarks) {
    const std::pair<std::u16string_view, std::u16string_view> cases[] = {
        {u"plain 文字 \U0001F600"sv, u"plain 文字 \U0001F600"sv},
        {u"tab\tline\r\nkept"sv, u"tab\tline\r\nkept"sv},
        {u"a\u0000b\u0007c\u007fd\u0085e"sv, u"abcde"sv},
        {u"\u202eevil\u202c \u2066x\u2069 \u200eL\u200fR"sv, u"evil x LR"sv},
        {u"\xd800lone\xdc00"sv, u"lone"sv},
        {u"caf\xdce9\xdc7f"sv, u"caf\ufffd"sv},
        // Letters and format characters that draw nothing, and the Arabic letter mark.
        {u"\ufeffa\u200bb\u200cc\u200dd\u2060e\u2064f\u061cg"sv, u"abcdefg"sv},
        {u"a\u00adb\u034fc\u17b4d\u17b5e\u180bf\u180eg\u180fh\u2065i\u206fj"sv, u"abcdefghij"sv},
        // Fillers and blanks that draw an empty cell, variation selectors, code points kept for more.
        {u"\u3164\u115f\u1160\uffa0\u2800x\u2764\ufe0f\ufe00\ufff0\ufff8\ufff9"sv, u"x\u2764"sv},
        // Interlinear annotation marks, Egyptian format controls: format characters outside that set.
        {u"\ufff9a\ufffab\ufffb\U00013430\U0001343F\ufffc"sv, u"ab\ufffc"sv},
        {u"tag\U000E0001\U000E0041\U000E007F \U000E0080\U000E0100\U000E0FFF\U000E1000\U0001F3F4"sv,
         u"tag \U000E1000\U0001F3F4"sv},
        {u"\U0001BCA0\U0001BCA3\U0001D172\U0001D173\U0001D17A\U0001D17B"sv, u"\U0001D172\U0001D17B"sv},
        // Control sequences: colours, cursor moves, private modes, cut short.
        {u"\u001b[31mred\u001b[0m"sv, u"red"sv},
        {u"\u001b[1;32;40mA\u001b[2J\u001b[?25lB"sv, u"AB"sv},
        {u"\u009b31mC1"sv, u"C1"sv},
        {u"cut\u001b[12;"sv, u"cut"sv},
        {u"cut\u001b[12;中"sv, u"cut中"sv},
        // Strings: a window title, a hyperlink; one that never ends takes only its introducer.
        {u"\u001b]0;title\u0007name"sv, u"name"sv},
        {u"\u001b]8;;http://x.invalid\u001b\\link\u001b]8;;\u001b\\"sv, u"link"sv},
        {u"\u009d2;t\u009cx"sv, u"x"sv},
        {u"\u001b]unended"sv, u"unended"sv},
        // Short escapes, and an escape before something that is none.
        {u"\u001b(Bascii\u001bcreset"sv, u"asciireset"sv},
        {u"\u001b\u001b[1mtwice"sv, u"twice"sv},
        {u"\u001b中"sv, u"中"sv},
        {u"\u001b"sv, u""sv},
    };
    for (const auto& [text, kept] : cases) {
        const QString once = SafeText::withoutUnsafeCharacters(utf16(text));
        EXPECT_EQ(once, utf16(kept)) << utf16(text).toStdString();
        EXPECT_EQ(SafeText::withoutUnsafeCharacters(once), once);
    }
    // A name of them has nothing to show: the next name is shown.
    EXPECT_FALSE(SafeText::oneLine(utf16(u"\u3164 \u2800\u115f\u00ad"sv)));
}

// A path, a command line or a file name shows what it holds on one line, in its order; copying it gives
// back the very text.
TEST(SafeText, VerbatimShowsEscapesThatCopyBackToTheText) {
    const std::pair<std::u16string_view, std::u16string_view> cases[] = {
        {u"/usr/bin/yes 中文 \U0001F600"sv, u"/usr/bin/yes 中文 \U0001F600"sv},
        {u"./evil\u202Eexe.txt\u0007"sv, uR"(./evil\u202Eexe.txt\u0007)"sv},
        {u"H10\n回收站位置：假位置.app"sv, uR"(H10\n回收站位置：假位置.app)"sv},
        {u"H11\u2069\u202Eab.app"sv, uR"(H11\u2069\u202Eab.app)"sv},
        {u"a\tb\rc\u2028d\u0085e\u007f\u001b[31m"sv, uR"(a\tb\rc\u2028d\u0085e\u007F\u001B[31m)"sv},
        {u"\U000E0041\u200d\u3164\u2800\ufe0f"sv, uR"(\U000E0041\u200D\u3164\u2800\uFE0F)"sv},
        {u"\xd800lone\xdc00"sv, uR"(\uD800lone\uDC00)"sv},
        // A backslash is doubled only where an escape could be read.
        {u"a\\b\\new\\"sv, uR"(a\b\\new\)"sv},
        {u"x\\\\y\\\u202E\\\\u"sv, uR"(x\\\y\\\u202E\\\\u)"sv},
        {u"\\xFF\\x"sv, uR"(\\xFF\\x)"sv},
    };
    for (const auto& [text, escaped] : cases) {
        const QString shown = SafeText::verbatim(utf16(text));
        EXPECT_EQ(shown, u'\u2066' + utf16(escaped) + u'\u2069') << utf16(text).toStdString();
        EXPECT_EQ(SafeText::copied(shown, 0, shown.size()), utf16(text));
    }
    // Part of a sentence: the isolates go, an escape cut by the range comes whole.
    const QString sentence = "原位置：" + SafeText::verbatim("a\u2069b") + "，\u2068名\u2069";
    EXPECT_EQ(SafeText::copied(sentence, 0, sentence.size()), "原位置：a\u2069b，名");
    const qsizetype escape = sentence.indexOf(u'\\');
    EXPECT_EQ(SafeText::copied(sentence, escape + 2, escape + 3), "\u2069");
    EXPECT_EQ(SafeText::copied(sentence, escape - 1, sentence.size() - 1), "a\u2069b，名");
    // After the verbatim text a backslash is the sentence's own.
    const QString after = SafeText::verbatim("/a") + "\\n";
    EXPECT_EQ(SafeText::copied(after, 0, after.size()), "/a\\n");
}

// Bytes that are no UTF-8 each show, and copy, as their own escape, never as U+FFFD; the rest decodes.
TEST(SafeText, BytesThatAreNoUTF8ShowAsTheirEscapes) {
    const std::pair<QByteArray, std::u16string_view> cases[] = {
        {"/tmp/caf\xE9 \xE4\xB8\xAD", uR"(/tmp/caf\xE9 中)"sv},
        {"\xFF\xFE|\xE4\xB8|\xC0\xAF|\xED\xA0\x80|\xF4\x90\x80\x80|\xF0\x9F\x98\x80",
         uR"(\xFF\xFE|\xE4\xB8|\xC0\xAF|\xED\xA0\x80|\xF4\x90\x80\x80|)"
         u"\U0001F600"sv},
        {"a\\\x80", uR"(a\\\x80)"sv},
        {"\xF0\x9F\x92\x80\xFF", u"\U0001F480"
                                 uR"(\xFF)"sv},
    };
    for (const auto& [bytes, escaped] : cases) {
        const QString shown = SafeText::verbatim(SafeText::decoded(bytes));
        EXPECT_EQ(shown, u'\u2066' + utf16(escaped) + u'\u2069') << bytes.toStdString();
        EXPECT_EQ(SafeText::copied(shown, 0, shown.size()),
                  utf16(escaped).replace(QStringLiteral("\\\\"), QStringLiteral("\\")));
        // A file is opened by the bytes its decoded name came from.
        EXPECT_EQ(CheckedFiles::encodedName(SafeText::decoded(bytes)), bytes);
    }
    EXPECT_NE(SafeText::decoded("\xE9"), SafeText::decoded("\xE8"));
    // A command line: each argument isolated, so a right-to-left one keeps its place.
    const QString command = utf16(u"/opt/עברית ملف  -x\n"sv);
    const QString shownCommand = SafeText::commandLine(command);
    EXPECT_EQ(shownCommand,
              utf16(u"\u2066\u2066/opt/עברית\u2069 \u2066ملف\u2069  \u2066-x\\n\u2069\u2069"sv));
    EXPECT_EQ(SafeText::copied(shownCommand, 0, shownCommand.size()), command);
}
