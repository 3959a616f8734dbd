#include "LibraryHarness.h"
#include "app/preview/PreviewServices.h"

#include <QMetaProperty>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

const QDateTime fixedNow = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);

// Every published property by name (the plan, which has no equality, is checked apart).
QVariantMap stateOf(const ApplicationLibraryModel& model) {
    QVariantMap state;
    const QMetaObject& meta = *model.metaObject();
    for (int index = meta.propertyOffset(); index < meta.propertyCount(); ++index)
        state.insert(meta.property(index).name(), meta.property(index).read(&model));
    state.remove("removalPlan");
    EXPECT_FALSE(model.removalPlan().has_value());
    return state;
}

} // namespace

// Each scenario changes only its own part of the sample state; a model outside preview ignores them, and
// nothing a preview page does reaches the disk, the processes, the removal service or the network.
TEST(LibraryPreview, EachScenarioSetsOnlyItsStateAndNothingReachesTheSystem) {
    const std::pair<const char*, QStringList> scenarios[] = {
        {"", {}},
        {"applications", {}},
        {"applications-empty", {"applications", "selectedID", "checked", "sizes"}},
        {"applications-loading", {"applications", "selectedID", "checked", "sizes", "scanning"}},
        {"applications-error", {"issues", "message"}},
        {"applications-checking", {"checkingRemoval", "removalPhase"}},
        {"applications-quit", {"selectedID"}},
        {"applications-vendor", {"removalFeedbackID", "removalFeedback"}},
        {"applications-record-error", {"receiptError", "message"}},
        {"applications-ai-result", {"aiSnapshotDate", "aiResult"}},
        {"applications-login", {"applications"}},
    };
    LibraryHarness h;
    h.reached = [](const char* what) {
        ADD_FAILURE() << "preview reached " << what;
    };
    h.services.now = [] {
        return fixedNow;
    };
    const QVariantMap untouched = stateOf(ApplicationLibraryModel(false, h.services));
    const ApplicationLibraryModel sample(true, h.services);
    const QVariantMap initial = stateOf(sample);
    ASSERT_EQ(sample.applications().size(), 4);
    EXPECT_EQ(sample.scannedAt(), fixedNow);
    const QList<InstalledApplication>& listed = sample.applications();
    EXPECT_EQ(sample.adviceItems(), (QList{ApplicationAdviceItem(listed[0], 2340000000, false),
                                           ApplicationAdviceItem(listed[2], 48000000, false)}));
    for (const auto& [name, changed] : scenarios) {
        SCOPED_TRACE(name);
        ApplicationLibraryModel model(true, h.services);
        model.configurePreview(QString::fromUtf8(name));
        const QVariantMap state = stateOf(model);
        for (auto it = initial.begin(); it != initial.end(); ++it)
            EXPECT_EQ(state.value(it.key()) != it.value(), changed.contains(it.key()))
                << it.key().toStdString();
        ApplicationLibraryModel real(false, h.services);
        real.configurePreview(QString::fromUtf8(name));
        EXPECT_EQ(stateOf(real), untouched);

        // Nothing replaces the scenario's listing: no scan, no look at what runs, no receipts read.
        const InstalledApplication app = model.applications().value(1, listedApplication("X"));
        EXPECT_EQ(model.canRequestQuit(app), model.runningIDs().contains(app.id()));
        model.scan();
        model.refreshRunning();
        model.loadReceipts();
        EXPECT_TRUE(deliverDue());
        EXPECT_EQ(h.executor.handedOver(), 0);
        EXPECT_EQ(stateOf(model), state);
    }
}

// Over the services a screenshot run is given, the page's other operations work as always and end in
// memory: refused removals, a desktop that opens nothing, a receipt log and an AI service of the run's own.
TEST(LibraryPreview, OperationsEndInTheRunsOwnServices) {
    PreviewServices preview;
    ApplicationLibraryModel model(true, preview.libraryServices());
    const QList<InstalledApplication> listed = model.applications();
    const QSet<QString> running = model.runningIDs();
    const InstalledApplication notes = listed[2]; // not running in the sample

    model.setSelectedID(notes.id());
    model.requestQuitAndRecheck(notes);
    ASSERT_TRUE(waitUntil([&] { return !model.checkingRemoval(); }));
    EXPECT_EQ(model.message(), QStringLiteral("\u2068Notes Desk\u2069：演示模式中的操作不会执行。"));
    EXPECT_FALSE(model.removalPlan());
    model.open(notes);
    model.revealRelated({ApplicationManagementGuidance::Kind::vendorManaged, {}, {}, notes.url()});
    model.clearReceipts();
    model.revealRemovalLog(); // a log in memory has no place: the top folder
    EXPECT_EQ(model.receiptError(), std::nullopt);
    model.analyze("[]", {QStringLiteral("https://api.example.invalid/v1"), QStringLiteral("m")},
                  QDateTime::currentDateTimeUtc());
    ASSERT_TRUE(waitUntil([&] { return !model.aiBusy(); }));
    EXPECT_EQ(model.aiError(), AIServiceError(AIServiceError::Kind::networkUnavailable).errorDescription());

    EXPECT_EQ(model.applications(), listed);
    EXPECT_EQ(model.runningIDs(), running);
    EXPECT_EQ(preview.desktop()->asked(),
              (QStringList{"launch:" + notes.id(), "reveal:" + notes.id(), QStringLiteral("reveal:/")}));
}
