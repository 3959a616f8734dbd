#include "ModelHarness.h"
#include "core/ai/AIServicePreset.h"
#include "core/common/ErrorCause.h"
#include "core/common/SafeText.h"
#include "core/monitoring/MonitorError.h"
#include "platform/files/AtomicFile.h"
#include "support/Files.h"
#include "support/Thrown.h"

#include <QFile>
#include <QJsonArray>
#include <cerrno>
#include <cmath>
#include <sys/fsuid.h>
#include <unistd.h>

using namespace lunorvale;
using namespace lunorvale::test;

TEST(StoredSettings, FirstLaunchUsesEveryDefault) {
    ModelHarness h;
    const AppModel& model = h.start();
    EXPECT_EQ(model.settings(), MonitorSettings{});
    EXPECT_EQ(model.aiConfiguration().baseURL, AIServicePreset(AIServicePreset::Kind::openAI).baseURL());
    EXPECT_TRUE(model.aiConfiguration().model.isEmpty());
    EXPECT_TRUE(model.automaticAdvicePreference());
    EXPECT_FALSE(model.automaticAdviceEnabled());
    EXPECT_TRUE(model.isMonitoring());
    EXPECT_EQ(model.appearance(), QStringLiteral("system"));
    EXPECT_FALSE(model.hasCompletedOnboarding());
    EXPECT_TRUE(model.history().isEmpty());
    EXPECT_FALSE(model.historyStorageError());
    EXPECT_FALSE(model.canClearHistory());
    EXPECT_EQ(model.loginStatus(), QStringLiteral("状态未知"));
}

TEST(StoredSettings, RulesOutsideTheirRangesAreRefused) {
    const QString sentence =
        QStringLiteral("请检查观察规则：采样间隔 5–120 秒，CPU 阈值 10–1600%，持续时间 30–3600 秒。");
    const double nan = std::nan("");
    const std::vector<std::pair<MonitorSettings, bool>> cases{
        {{4.9, 90, 300, false}, false}, {{30, 1601, 300, false}, false}, {{30, 90, 29, false}, false},
        {{nan, 90, 300, false}, false}, {{30, nan, 300, false}, false},  {{120, 1600, 3600, false}, true},
        {{5, 10, 30, true}, true},
    };
    ModelHarness h;
    AppModel& model = h.start();
    for (const auto& [rules, valid] : cases) {
        // clang 14 cannot capture a structured binding in a lambda.
        const MonitorSettings& asked = rules;
        const MonitorSettings before = model.settings();
        const auto error = thrownBy<MonitorError>([&] { model.saveMonitorSettings(asked); });
        EXPECT_EQ(!error, valid) << rules.sampleInterval << " " << rules.cpuThreshold;
        EXPECT_EQ(error ? error->errorDescription() : sentence, sentence);
        EXPECT_EQ(model.settings(), valid ? rules : before);
        h.runSamples();
    }
    EXPECT_EQ(h.start().settings(), (MonitorSettings{5, 10, 30, true}));
}

TEST(StoredSettings, ChoicesSurviveARestart) {
    ModelHarness h;
    h.add(500, "encoder");
    AppModel& model = h.start();
    h.sample();
    const ProcessSample encoder = model.processes().first();
    model.ignore(encoder);
    model.setAppearance(QStringLiteral("dark"));
    model.completeOnboarding();
    const AIConfiguration service{QStringLiteral("HTTP://127.0.0.1:8/v1/"), QStringLiteral(" local-model ")};
    model.saveAIConfiguration(service, std::nullopt, true);
    EXPECT_TRUE(model.automaticAdviceEnabled());
    model.toggleMonitoring();

    AppModel& again = h.start();
    EXPECT_TRUE(again.isIgnored(encoder));
    EXPECT_EQ(again.appearance(), QStringLiteral("dark"));
    EXPECT_TRUE(again.hasCompletedOnboarding());
    EXPECT_EQ(again.aiConfiguration(),
              (AIConfiguration{QStringLiteral("http://127.0.0.1:8/v1"), QStringLiteral("local-model")}));
    EXPECT_TRUE(again.automaticAdviceEnabled());
    EXPECT_FALSE(again.isMonitoring());
    EXPECT_EQ(h.historyTitles(), (QStringList{QStringLiteral("已暂停观察"), QStringLiteral("暂时忽略")}));

    // A wall clock set back hides the events it dates ahead, records on, and erases none of them.
    const QDateTime right = h.clock;
    h.clock = right.addSecs(-3 * 3600);
    again.toggleMonitoring();
    h.sample();
    AppModel& late = h.start();
    EXPECT_EQ(h.historyTitles(), QStringList{QStringLiteral("已恢复观察")});
    h.clock = right.addSecs(60);
    h.sample();
    EXPECT_EQ(h.historyTitles(), (QStringList{QStringLiteral("已暂停观察"), QStringLiteral("暂时忽略"),
                                              QStringLiteral("已恢复观察")}));
    const qsizetype shown = late.history().size();
    EXPECT_EQ(h.start().history().size(), shown); // a restart at the right time shows what the file kept

    // Nor does one a year behind, through a start and a record made after a sample.
    const QStringList titles = h.historyTitles();
    h.clock = right.addYears(-1);
    AppModel& behind = h.start();
    h.sample();
    behind.ignore(behind.processes().first());
    h.clock = right.addSecs(120);
    h.start();
    EXPECT_EQ(h.historyTitles(), titles);

    // A history at the file's size limit loses its earliest events to new ones, and the model holds
    // what the file holds: the count and the export too. So it does when the write-back at start cuts a
    // file within the limit: slashes written bare by another writer take twice the room escaped.
    for (const bool bare : {false, true}) {
        ModelHarness full;
        const LocalHistoryStore file(full.path(QStringLiteral("history.json")));
        const QChar filler = bare ? u'/' : u'x';
        QList<ActivityEvent> longEvents;
        for (int i = 0; i < LocalHistoryStore::maximumEvents; ++i)
            longEvents.append({QUuid::createUuid(),
                               StoredDate::from(full.clock.addSecs(-i)),
                               QString(bare ? 250 : 300, filler),
                               QString(bare ? 1000 : 2000, filler),
                               {}});
        if (bare)
            writeFile(file.fileURL(), LocalHistoryStore::encodeFile(longEvents).replace("\\/", "/"));
        else
            file.save(longEvents, full.clock);
        AppModel& crowded = full.start();
        const auto holdsTheFile = [&] {
            const qsizetype held = file.load(full.clock).size();
            EXPECT_EQ(crowded.history().size(), held) << bare;
            EXPECT_EQ(crowded.savedHistoryCount(), held) << bare;
            return held;
        };
        EXPECT_LT(holdsTheFile(), LocalHistoryStore::maximumEvents + (bare ? 0 : 1));
        for (int i = 0; i < 20; ++i) // a cut costs a long event: twenty short ones make at least one
            crowded.toggleMonitoring();
        holdsTheFile();
    }
}

// A history that reads but cannot be written (a full disk at login, a folder not yet writable) takes this
// run's records beside its events at the first write that works, the error going with it: at the next
// change, at the next sample, or as the program ends, which writes nothing where no write failed. One
// that cannot be read is never replaced, whatever is recorded and however the run ends.
TEST(StoredSettings, HistoryWritesThatFailAreTriedAgain) {
    const struct {
        const char* name;
        int refusal;
        AtomicFile::Step step;
        QByteArray damaged;
    } rows[] = {
        {"full disk", ENOSPC, AtomicFile::Step::write, {}},
        {"folder not yet writable", EACCES, AtomicFile::Step::rename, {}},
        {"damaged", 0, AtomicFile::Step::write, R"({"schemaVersion":1,"events":[)"},
    };
    enum class Retry { change, sample, end };
    const std::pair<const char*, Retry> retries[] = {
        {"a change", Retry::change}, {"a sample", Retry::sample}, {"the end", Retry::end}};
    for (const auto& row : rows) {
        for (const auto& [at, retry] : retries) {
            SCOPED_TRACE(::testing::Message() << row.name << ", tried again at " << at);
            ModelHarness h;
            const LocalHistoryStore file(h.path(QStringLiteral("history.json")));
            QList<ActivityEvent> three;
            for (int i = 1; i <= 3; ++i)
                three.append(
                    {QUuid::createUuid(), StoredDate::from(h.clock.addSecs(-60 * i)), "发现", "细节", {}});
            if (row.damaged.isEmpty())
                file.save(three, h.clock);
            else
                writeFile(file.fileURL(), row.damaged);
            const QByteArray before = readFile(file.fileURL());
            int refusal = row.refusal;
            int writes = 0;
            AtomicFile::Options writing;
            writing.fault = [&refusal, &writes, step = row.step](AtomicFile::Step at) {
                writes += at == AtomicFile::Step::write;
                return at == step ? refusal : 0;
            };
            h.services.historyStore = [&] {
                return LocalHistoryStore(file.fileURL(), writing);
            };
            AppModel& model = h.start();
            const qsizetype read = row.damaged.isEmpty() ? 3 : 0;
            model.toggleMonitoring();
            EXPECT_TRUE(model.historyStorageError());
            EXPECT_EQ(readFile(file.fileURL()), before);
            EXPECT_EQ(model.savedHistoryCount(), read);
            refusal = 0;
            if (retry == Retry::change)
                model.toggleMonitoring();
            else if (retry == Retry::sample)
                h.sample();
            else
                model.applicationWillTerminate();
            EXPECT_EQ(model.historyStorageError().has_value(), !row.damaged.isEmpty());
            EXPECT_EQ(model.savedHistoryCount(), read ? read + 1 + (retry == Retry::change) : 0);
            if (read)
                EXPECT_EQ(file.load(h.clock), model.history());
            else
                EXPECT_EQ(readFile(file.fileURL()), before);
            writes = 0;
            h.sample();
            model.applicationWillTerminate();
            EXPECT_EQ(writes, 0);
        }
    }
}

TEST(StoredSettings, DamagedValuesFallBackKeyByKey) {
    ModelHarness h;
    SettingsStore store = h.store();
    const AIConfiguration service{QStringLiteral("http://127.0.0.1:8/v1"), QStringLiteral("a")};
    store.setValue(AppModel::Keys::automaticAdviceAttempts, QStringLiteral("yesterday"));
    store.setValue(AppModel::Keys::monitorSettings, QJsonObject{{QStringLiteral("sampleInterval"), 60},
                                                                {QStringLiteral("cpuThreshold"), 50},
                                                                {QStringLiteral("sustainedSeconds"), 60}});
    store.setValue(AppModel::Keys::appearance, QStringLiteral("Dark"));
    store.setValue(AppModel::Keys::aiConfiguration, service.toJson());
    store.setValue(AppModel::Keys::automaticAdviceAuthorization,
                   AIConfiguration{service.baseURL, QStringLiteral("b")}.toJson());
    store.setValue(AppModel::Keys::mutedProcesses, QJsonArray{QStringLiteral("not a mute")});
    const AppModel& model = h.start();

    EXPECT_EQ(model.settings(), MonitorSettings{});
    EXPECT_EQ(model.appearance(), QStringLiteral("system"));
    EXPECT_EQ(model.aiConfiguration(), service);
    EXPECT_FALSE(model.automaticAdviceAuthorization());
    // The damaged budget reads as the day's allowance spent now, and is stored back that way.
    const QJsonValue attempts =
        h.store().value(AppModel::Keys::automaticAdviceAttempts).value_or(QJsonValue());
    ASSERT_TRUE(attempts.isArray());
    EXPECT_EQ(attempts.toArray().size(), 12);
    for (const QJsonValue& attempt : attempts.toArray())
        EXPECT_EQ(attempt.toDouble(), modelStart.toSecsSinceEpoch());
}

// Why the file was not written follows the sentence, where the system said. A read-only or full volume
// needs root to mount: its causes are injected.
TEST(StoredSettings, AnUnwritableSettingsFileIsNotCalledSaved) {
    const QString notStored = QStringLiteral("设置已生效，但未能写入配置文件，重新打开岚栖后会恢复原值。");
    const struct {
        const char* name;
        int refusal; // of the write; 0: a plain file where the folder belongs
        QString cause;
    } rows[] = {
        {"a plain file where the folder belongs", 0, {}},
        {"a read-only folder", EROFS, "该位置只读。"},
        {"a full disk", ENOSPC, "磁盘空间不足。"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ModelHarness h;
        h.add(500, "encoder");
        QFile blocker(h.path(QStringLiteral("folder")));
        if (row.refusal == 0) {
            ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        }
        AtomicFile::Options writing;
        writing.fault = [&row](AtomicFile::Step) {
            return row.refusal;
        };
        h.services.settingsStore = SettingsStore(h.path(QStringLiteral("folder/defaults.json")), {}, writing);
        AppModel model(false, h.services);
        model.saveMonitorSettings({60, 90, 300, false});
        EXPECT_EQ(model.settings().sampleInterval, 60);
        EXPECT_EQ(model.statusMessage(), notStored + row.cause);
        ASSERT_TRUE(h.executor.settle());
        EXPECT_FALSE(model.isSampling());
        model.ignore(model.processes().first());
        EXPECT_EQ(model.statusMessage(), "暂时忽略未保存，应用重启后可能再次提醒。" + row.cause);
    }
}

// A settings file that cannot be read stays as it is: the start says once that what is shown is not the
// user's, and why where that is known, and every change, pausing included, that it is not stored. A
// damaged one, or one too large to be any, is set aside, and the copy is named once.
TEST(StoredSettings, AnUnreadableFileIsKeptADamagedOneIsSetAsideAndSaidOnce) {
    const QByteArray choices = R"({"appearance": "dark"})";
    const QString notStored = QStringLiteral("设置已生效，但未能写入配置文件，重新打开岚栖后会恢复原值。");
    const auto refusing = [](int errorNumber) -> SettingsStore::FileReader {
        return [errorNumber](const QString&, int64_t) {
            return SettingsFileRead{SettingsFileRead::Status::unreadable, {}, errorNumber};
        };
    };
    // Root reads a file of mode 0000 all the same: it is read as nobody, to whom the harness's folder is
    // closed too.
    const SettingsStore::FileReader asNobody = [](const QString& file, int64_t limit) {
        const bool root = ::geteuid() == 0;
        if (root)
            ::setfsuid(65534);
        const SettingsFileRead read = SettingsStore::readDisk(file, limit);
        if (root)
            ::setfsuid(0);
        return read;
    };
    const auto holdingChoices = [&choices](const QString& file) {
        writeFile(file, choices);
    };
    // The file below a folder of its own, what is put in its place, who reads it, and what the start says
    // between the file's name and what that means.
    const struct {
        const char* name;
        QString file;
        std::function<void(const QString& file)> place;
        SettingsStore::FileReader reader;
        QString said;
    } rows[] = {
        {"refused by the system", "defaults.json", holdingChoices, refusing(EACCES),
         "。" + ErrorCause::sentence(EACCES)},
        {"refused for no known reason", "defaults.json", holdingChoices, refusing(0), "，"},
        {"mode 0000", "defaults.json",
         [&](const QString& file) {
             holdingChoices(file);
             ASSERT_TRUE(QFile::setPermissions(file, {}));
         },
         asNobody, "。" + ErrorCause::sentence(EACCES)},
        {"a link to /dev/zero",
         "defaults.json",
         [](const QString& file) {
             ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()));
             ASSERT_TRUE(QFile::link("/dev/zero", file));
         },
         {},
         "。" + ErrorCause::sentence(FileRefusal::link)},
        {"its folder is a file",
         "Lunorvale/defaults.json",
         [&](const QString& file) { holdingChoices(QFileInfo(file).path()); },
         {},
         "。" + ErrorCause::sentence(ENOTDIR)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ModelHarness h;
        const QString folder = h.path(QStringLiteral("config")), file = folder + u'/' + row.file;
        row.place(file);
        // Never read through the link: the tree tells whether anything changed.
        const std::string before = folderTree(folder);
        h.services.settingsStore = SettingsStore(file, row.reader);
        AppModel model(false, h.services);
        EXPECT_EQ(model.appearance(), QStringLiteral("system"));
        EXPECT_EQ(model.operationMessage(),
                  QStringLiteral("无法读取配置文件 ") + SafeText::verbatim(file) + row.said +
                      QStringLiteral("当前显示的外观、观察规则等是默认设置，不是你保存的设置。"
                                     "文件会保持原样；在它能读取之前，更改只在本次运行中生效。"));
        model.setOperationMessage(std::nullopt);
        EXPECT_FALSE(model.setAppearance(QStringLiteral("light")));
        EXPECT_EQ(model.appearance(), QStringLiteral("light"));
        EXPECT_EQ(model.statusMessage(), notStored);
        model.setStatusMessage(QString());
        model.toggleMonitoring();
        EXPECT_FALSE(model.isMonitoring());
        EXPECT_EQ(model.statusMessage(), notStored);
        EXPECT_EQ(model.operationMessage(), std::nullopt);
        EXPECT_EQ(folderTree(folder), before);
    }
    for (const QByteArray& stored :
         {QByteArray("{\"appearance\": "), QByteArray(SettingsStore::maximumFileBytes + 1, ' ')}) {
        ModelHarness h;
        writeFile(h.settingsPath, stored);
        AppModel& model = h.start();
        EXPECT_EQ(model.operationMessage(), std::nullopt);
        EXPECT_TRUE(model.setAppearance(QStringLiteral("dark")));
        ASSERT_TRUE(deliverDue());
        const QString copy = h.settingsPath + QStringLiteral(".damaged-1");
        EXPECT_EQ(readFile(copy), stored);
        EXPECT_EQ(model.operationMessage(), QStringLiteral("配置文件已损坏。原文件已保留为 ") +
                                                SafeText::verbatim(copy) +
                                                QStringLiteral("，之后的设置会写入新的配置文件。"));
        model.setOperationMessage(std::nullopt);
        EXPECT_TRUE(model.completeOnboarding());
        ASSERT_TRUE(deliverDue());
        EXPECT_EQ(model.operationMessage(), std::nullopt);
        EXPECT_EQ(h.store().stringValue(AppModel::Keys::appearance), QStringLiteral("dark"));
    }
}

// Whichever holder of the run's settings store (the update layer, the window frame) sets a damaged file
// aside, the model names the copy, once; when that was the last act of a run, the next start does.
TEST(StoredSettings, ADamagedFileSetAsideByAnotherHolderIsNamedOnce) {
    const auto named = [](const QString& copy) {
        return std::optional(QStringLiteral("配置文件已损坏。原文件已保留为 ") + SafeText::verbatim(copy) +
                             QStringLiteral("，之后的设置会写入新的配置文件。"));
    };
    const QString frameKey = QStringLiteral("Lunorvale.MainWindow");
    ModelHarness h;
    writeFile(h.settingsPath, "[");
    SettingsStore windowFrame = h.store();
    h.services.settingsStore = windowFrame;
    auto model = std::make_unique<AppModel>(false, h.services);
    EXPECT_TRUE(windowFrame.setValue(frameKey, QStringLiteral("hidden")));
    ASSERT_TRUE(deliverDue());
    EXPECT_EQ(model->operationMessage(), named(h.settingsPath + QStringLiteral(".damaged-1")));
    model->setOperationMessage(std::nullopt);
    EXPECT_TRUE(model->setAppearance(QStringLiteral("dark")));
    ASSERT_TRUE(deliverDue());
    EXPECT_EQ(model->operationMessage(), std::nullopt);

    // Stored as the program ends, when no event is handled any more.
    writeFile(h.settingsPath, "[");
    EXPECT_TRUE(windowFrame.setValue(frameKey, QStringLiteral("quit")));
    model.reset();
    EXPECT_EQ(h.start().operationMessage(), named(h.settingsPath + QStringLiteral(".damaged-2")));
    EXPECT_EQ(h.start().operationMessage(), std::nullopt);
}

// On a full disk the damaged file is still set aside, but nothing takes its place: the copy is named in this
// run with what a restart really gives (the defaults), and no later change, of the model or of another
// holder, loses what this run chose before the disk has room again.
TEST(StoredSettings, ADamagedFileSetAsideOnAFullDiskIsNamedWithWhatARestartGives) {
    ModelHarness h;
    writeFile(h.settingsPath, "[");
    int refusal = ENOSPC;
    AtomicFile::Options writing;
    writing.fault = [&refusal](AtomicFile::Step step) {
        return step == AtomicFile::Step::write ? refusal : 0;
    };
    SettingsStore windowFrame(h.settingsPath, {}, writing);
    h.services.settingsStore = windowFrame;
    AppModel model(false, h.services);
    EXPECT_FALSE(model.setAppearance("dark"));
    EXPECT_EQ(model.statusMessage(),
              "设置已生效，但未能写入配置文件，重新打开岚栖后会使用默认设置。磁盘空间不足。");
    ASSERT_TRUE(deliverDue());
    EXPECT_EQ(model.operationMessage(),
              "配置文件已损坏。原文件已保留为 " + SafeText::verbatim(h.settingsPath + ".damaged-1") +
                  "，但新的配置文件未能写入：" + ErrorCause::sentence(ENOSPC) +
                  "在它能写入之前，更改只在本次运行中生效，重新打开岚栖后会使用默认设置。");
    EXPECT_FALSE(windowFrame.setValue("Lunorvale.MainWindow", "frame"));
    refusal = 0;
    EXPECT_TRUE(model.completeOnboarding());
    const SettingsStore stored = h.store();
    EXPECT_EQ(stored.stringValue(AppModel::Keys::appearance), "dark");
    EXPECT_EQ(stored.stringValue("Lunorvale.MainWindow"), "frame");
    EXPECT_EQ(stored.value(SettingsStore::setAsideCopyKey), std::nullopt);
}
