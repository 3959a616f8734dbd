#include "ui/kit/Fonts.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/kit/LVText.h"

#include <QLabel>
#include <gtest/gtest.h>
#include <memory>

using namespace lunorvale;

// A sentence that starts with a Hebrew or Arabic name reads left to right in every text of the kit (a cut
// text's tooltip too): the name first, at the left edge, the rest after it.
TEST(KitText, SentencesLedByARightToLeftNameReadLeftToRight) {
    for (int show = 0; show < 3; ++show) {
        // The columns that hold ink ('#') from the first one on, and where that is.
        const auto ink = [show](const QString& text, int& first) {
            std::unique_ptr<QWidget> widget;
            if (show == 0)
                widget = std::make_unique<LVText>(text, Fonts::system(13));
            else if (show == 1)
                widget = std::make_unique<LVSelectableText>(text, Fonts::system(13));
            else
                widget = std::make_unique<QLabel>(plainToolTip(text));
            widget->resize(420, 60);
            const QImage image = widget->grab().toImage();
            QString columns;
            for (int x = 0; x < image.width(); ++x) {
                bool inked = false;
                for (int y = 0; y < image.height() && !inked; ++y)
                    inked = qGray(image.pixel(x, y)) < 128;
                columns += inked ? u'#' : u'.';
            }
            first = int(columns.indexOf(u'#'));
            return columns.mid(first);
        };
        for (const auto& [name, sentence] :
             {std::pair<QString, QString>{"אבג שלום", "\u2068אבג שלום\u2069：已移入回收站。"},
              {"العربية", "\u2068العربية\u2069 已持续高占用 30 秒。"},
              {"אבג שלום", "אבג שלום：已移入回收站。"}}) {
            SCOPED_TRACE(std::to_string(show) + ": " + sentence.toStdString());
            int nameAt = 0, sentenceAt = 0;
            QString alone = ink(name, nameAt);
            alone.truncate(alone.lastIndexOf(u'#') + 1);
            const QString shown = ink(sentence, sentenceAt);
            EXPECT_LT(sentenceAt, 8);
            EXPECT_TRUE(shown.startsWith(alone)) << shown.left(alone.size()).toStdString();
        }
    }
}
