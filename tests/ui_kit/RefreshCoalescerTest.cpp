#include "ui/kit/RefreshCoalescer.h"
#include "support/EventLoop.h"

#include <QLineEdit>
#include <gtest/gtest.h>

using namespace lunorvale;
using namespace lunorvale::test;

// A field stands in for a model: its text, the end of an edit and its title are three of its changes,
// announced with and without an argument.
TEST(RefreshCoalescer, RefreshesOncePerPassAndWaitsWhileHiddenWhenAsked) {
    using WhileHidden = RefreshCoalescer::WhileHidden;
    for (const WhileHidden whileHidden : {WhileHidden::refresh, WhileHidden::wait}) {
        const bool waits = whileHidden == WhileHidden::wait;
        SCOPED_TRACE(waits ? "waits while hidden" : "refreshes while hidden");
        QWidget view;
        QLineEdit source;
        int refreshes = 0;
        auto* coalescer = new RefreshCoalescer(
            &view, [&] { ++refreshes; }, whileHidden);
        coalescer->watch(&source, &QLineEdit::textChanged, &QLineEdit::editingFinished);
        coalescer->watch(&source, &QWidget::windowTitleChanged);
        const auto changeAll = [&](const QString& text) {
            source.setText(text);
            emit source.editingFinished();
            source.setWindowTitle(text);
        };

        // Hidden: the changes of one pass are one refresh at its end, unless the view waits.
        changeAll(QStringLiteral("a"));
        EXPECT_EQ(refreshes, 0);
        EXPECT_TRUE(coalescer->isPending());
        ASSERT_TRUE(deliverDue());
        EXPECT_FALSE(coalescer->isPending());
        EXPECT_EQ(refreshes, waits ? 0 : 1);

        // A waiting view catches up as it shows, before it is painted.
        view.show();
        EXPECT_EQ(refreshes, 1);

        // Shown: one refresh per pass that changed anything, none for a pass that did not.
        changeAll(QStringLiteral("b"));
        changeAll(QStringLiteral("c"));
        ASSERT_TRUE(deliverDue());
        EXPECT_EQ(refreshes, 2);
        ASSERT_TRUE(deliverDue());
        EXPECT_EQ(refreshes, 2);

        // Shown again before the pass ends, a waiting view takes the asked refresh then, not twice.
        changeAll(QStringLiteral("d"));
        view.hide();
        view.show();
        ASSERT_TRUE(deliverDue());
        EXPECT_EQ(refreshes, 3);
    }
}
