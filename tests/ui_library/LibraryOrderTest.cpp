// The page over the real inventory: what a scan selects is what the list shows first, in any language.

#include "PageHarness.h"
#include "applications/BundleFixture.h"
#include "ui/kit/LVSelectableText.h"

#include <QLocale>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

// The program's language for the object's lifetime.
class ScopedLocale final {
public:
    explicit ScopedLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~ScopedLocale() { QLocale::setDefault(m_old); }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    QLocale m_old;
};

class LibraryOrder : public ::testing::TestWithParam<QLocale> {};

} // namespace

// Han and Latin names, case, digits and accents order differently from one language to the next; the
// scan and the list must agree in each, or the detail column shows an application from further down.
// A language a case, each a page of its own.
TEST_P(LibraryOrder, AfterAScanTheSelectedApplicationIsTheTopRow) {
    fixture::Root root;
    const QString apps = root.sub("Applications");
    const QStringList names = {"微信", "Alpha", "app 10", "App 2", "Émile", "zeta", "阿里云"};
    for (qsizetype index = 0; index < names.size(); ++index)
        fixture::makeBundle(apps, QStringLiteral("a%1.app").arg(index),
                            fixture::info(QStringLiteral("org.example.a%1").arg(index), names[index]));

    const ScopedLocale language(GetParam());
    PageHarness h;
    h.library.services.scan = [&](const CancellationToken& token) {
        return ApplicationInventory({fixture::url(apps)}).scan(token);
    };
    ApplicationLibraryView& view = h.show();
    h.runWork();
    ASSERT_TRUE(h.model().scannedAt().has_value());
    h.settle();
    ASSERT_EQ(view.listModel()->rowCount(), names.size());
    const QString top = view.listModel()->index(0).data(ApplicationListModel::PathRole).toString();
    EXPECT_EQ(h.model().selectedID().value_or(QString()).toStdString(), top.toStdString());
    EXPECT_EQ(view.details()->nameText()->text().toStdString(),
              view.listModel()->index(0).data(Qt::DisplayRole).toString().toStdString());
}

INSTANTIATE_TEST_SUITE_P(Languages, LibraryOrder,
                         ::testing::Values(QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
                                           QLocale(QLocale::German, QLocale::Germany),
                                           QLocale(QLocale::Chinese, QLocale::China)),
                         [](const ::testing::TestParamInfo<QLocale>& info) {
                             return info.param.name().toStdString();
                         });
