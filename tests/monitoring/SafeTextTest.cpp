#include "core/common/SafeText.h"

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
        // Letters and format characters that draw nothing, and the Arabic letter mark.
        {u"\ufeffa\u200bb\u200cc\u200dd\u2060e\u2064f\u061cg"sv, u"abcdefg"sv},
        {u"tag\U000E0001\U000E0041\U000E007F \U000E0080\U0001F3F4"sv, u"tag \U000E0080\U0001F3F4"sv},
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
}
