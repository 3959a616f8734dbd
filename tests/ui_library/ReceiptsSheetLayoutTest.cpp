// Where the receipts sheet draws its states, and what stays put under the pointer.

#include "PageHarness.h"
#include "support/Files.h"
#include "ui/library/ApplicationReceiptsView.h"
#include "ui_kit/WindowWaits.h"

#include <QScrollArea>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

// The sheet on its own, shown, over the harness's receipts file.
struct Sheet {
    LibraryHarness library;
    std::unique_ptr<ApplicationReceiptsView> view;

    ApplicationReceiptsView& show() {
        library.start().loadReceipts();
        view = std::make_unique<ApplicationReceiptsView>(
            *library.model, [] {}, [](auto&&...) { return false; });
        view->show();
        EXPECT_TRUE(test::waitForExposed(view.get()));
        return *view;
    }
    QString logFile() const { return library.folder.filePath("r.json"); }
};

// The box of everything drawn in the list's area that is not its background.
QRect inkIn(QScrollArea* scroll) {
    const QImage image = scroll->viewport()->grab().toImage();
    const QRgb background = image.pixel(image.width() - 1, image.height() - 1);
    QRect ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != background)
                ink |= QRect(x, y, 1, 1);
        }
    }
    return ink;
}

} // namespace

// The texts that stand in for the list keep their padding from the list's edges.
TEST(ReceiptsSheetLayout, StatesWithoutReceiptsKeepTheirPadding) {
    struct Case {
        const char* name;
        QByteArray file; // empty: no file
        int padding;
    };
    const Case cases[] = {{"no receipts", {}, 30}, {"unreadable file", "{not a list", 20}};
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        Sheet sheet;
        if (!test.file.isEmpty())
            writeFile(sheet.logFile(), test.file);
        ApplicationReceiptsView& view = sheet.show();
        const QRect ink = inkIn(view.findChild<QScrollArea*>());
        ASSERT_TRUE(ink.isValid());
        EXPECT_GE(ink.left(), test.padding);
        EXPECT_GE(ink.top(), test.padding);
    }
}

// A reveal that fails says why above the list; the cards stay where the pointer is.
TEST(ReceiptsSheetLayout, AFailedRevealMovesNoCard) {
    Sheet sheet;
    const ApplicationRemovalReceipt gone{QUuid::createUuid(), QDateTime(QDate(2026, 1, 2), QTime(3, 4)),
                                         "/gone/A.app", "/gone/trash/A.app", "已移入废纸篓"};
    ApplicationRemovalLog(QUrl::fromLocalFile(sheet.logFile())).save({gone});
    ApplicationReceiptsView& view = sheet.show();
    ASSERT_EQ(view.cards().size(), 1);
    QWidget* card = view.cards()[0];
    const QPoint before = card->mapTo(&view, QPoint(0, 0));
    const QList<LVButton*> buttons = card->findChildren<LVButton*>();
    for (LVButton* button : buttons) {
        QTest::mouseClick(button, Qt::LeftButton);
        for (int pass = 0; pass < 3; ++pass)
            QApplication::processEvents();
        EXPECT_TRUE(view.actionMessage()->isVisible());
        EXPECT_EQ(view.actionMessage()->text(), sheet.library.model->receiptActionMessage());
        EXPECT_EQ(card->mapTo(&view, QPoint(0, 0)), before);
    }
}
