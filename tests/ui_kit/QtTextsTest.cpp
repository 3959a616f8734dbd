// Qt's own texts (standard buttons, the context menu of a text field) are Chinese, as every text the
// program shows.
#include "ui/kit/QtTranslations.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <memory>

using namespace lunorvale;

namespace {

// A Latin word in a text as the user reads it: the keyboard accelerator ("(&U)") and the shortcut after
// a tab are not words.
bool holdsLatinWord(QString text) {
    text = text.section(u'\t', 0, 0);
    text.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
    text.remove(u'&');
    return text.contains(QRegularExpression(QStringLiteral("[A-Za-z]{2,}")));
}

} // namespace

TEST(QtTranslations, QtsOwnTextsAreChinese) {
    ASSERT_TRUE(QtTranslations::install());
    QStringList texts;
    QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Save |
                         QDialogButtonBox::Open | QDialogButtonBox::Close | QDialogButtonBox::Yes |
                         QDialogButtonBox::No | QDialogButtonBox::RestoreDefaults);
    for (QAbstractButton* button : box.buttons())
        texts << button->text();
    QLineEdit field(QStringLiteral("文本"));
    const std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    for (const QAction* action : menu->actions())
        if (!action->isSeparator())
            texts << action->text();
    ASSERT_GE(texts.size(), 12);
    for (const QString& text : texts)
        EXPECT_FALSE(holdsLatinWord(text)) << text.toStdString();
}
