// The project's scripts as a packager and the tests meet them.
#include "support/ChildProcess.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"
#include "support/VirtualDisplay.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>
#include <signal.h>
#include <unistd.h>

namespace {

// What a program prints on its standard output; a test failure when it does not end with `status`.
QString output(const QString& program, const QStringList& arguments, const QStringList& environment = {},
               int status = 0) {
    QProcess process;
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const QString& variable : environment)
        variables.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    process.setProcessEnvironment(variables);
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(lunorvale::test::waitBoundMs) && process.exitCode() == status)
        << process.readAllStandardError().data();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The processes whose command lines or environments hold `mark`, each as its number and command line.
QStringList processesHolding(const QByteArray& mark) {
    QStringList found;
    for (const QString& process : QDir("/proc").entryList(QDir::Dirs)) {
        QFile file("/proc/" + process + "/cmdline");
        QFile environment("/proc/" + process + "/environ");
        if (process.toInt() == 0 || !file.open(QIODevice::ReadOnly))
            continue;
        QByteArray arguments = file.readAll();
        if (arguments.contains(mark) ||
            (environment.open(QIODevice::ReadOnly) && environment.readAll().contains(mark)))
            found.append(process + u':' + QString::fromUtf8(arguments.replace('\0', ' ')));
    }
    return found;
}

} // namespace

// A packager's build with the distribution's flags never fails for a warning; the project's own trees do.
TEST(BuildScripts, WarningsAreErrorsOnlyWhereTheProjectAsksForIt) {
    for (const QString option : {"-DCMAKE_CXX_FLAGS=-O2 -Werror=format-security", "-DLUNORVALE_WERROR=ON"}) {
        QTemporaryDir tree;
        output(LUNORVALE_CMAKE, {"-S", LUNORVALE_SOURCE_DIR, "-B", tree.path(), "-G", "Ninja",
                                 "-DLUNORVALE_BENCH=OFF", "-DCMAKE_BUILD_TYPE=Release", option});
        QFile commands(tree.filePath("compile_commands.json"));
        ASSERT_TRUE(commands.open(QIODevice::ReadOnly));
        const QString all = QString::fromUtf8(commands.readAll());
        EXPECT_EQ(all.count(" -Werror "), option.endsWith("=ON") ? all.count("\"command\"") : 0)
            << option.toStdString();
    }
}

// tools/run and tools/test ask dpkg once for all packages; one it knows as removed and one it has never
// heard of are both missing.
TEST(BuildScripts, MissingPackagesAreFoundWithOneQuery) {
    QTemporaryDir bin;
    QFile fake(bin.filePath("dpkg-query"));
    ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
    fake.write("#!/bin/sh\necho >>\"$QUERIES\"\nshift 2\necho \"$1 config-files\"\nshift\n"
               "while [ $# -gt 1 ]; do echo \"$1 installed\"; shift; done\n"
               "echo \"dpkg-query: no packages found matching $1\" >&2\nexit 1\n");
    fake.close();
    fake.setPermissions(fake.permissions() | QFile::ExeOwner);
    // The fake calls the first package removed and has never heard of the last.
    const QString missing = output(
        "bash",
        {"-c",
         "source \"$1\"; LUNORVALE_PACKAGES=(gone here never-heard-of); "
         "lunorvale_missing_packages",
         "-", LUNORVALE_SOURCE_DIR "/tools/deps.sh"},
        {"PATH=" + bin.path() + ":" + qEnvironmentVariable("PATH"), "QUERIES=" + bin.filePath("queries")});
    EXPECT_EQ(missing.trimmed().toStdString(), "gone never-heard-of");
    QFile queries(bin.filePath("queries"));
    EXPECT_TRUE(queries.open(QIODevice::ReadOnly) && queries.readAll() == "\n");
}

// A desktop service the machine has installed (a notification daemon, say) would start on a test's bus
// without a display and fill the log: only the bus's own name can be started there.
TEST(BuildScripts, TheTestsBusesStartNoServiceOfTheMachine) {
    lunorvale::test::PrivateBus bus;
    QList<QDBusConnection> buses{bus.connect("activatable")};
    if (qEnvironmentVariable("LUNORVALE_IN_SESSION") == u"1") // the session's bus is the test session's
        buses.append(QDBusConnection::sessionBus());
    for (const QDBusConnection& connection : buses)
        EXPECT_EQ(connection.interface()->activatableServiceNames().value().join(u' ').toStdString(),
                  "org.freedesktop.DBus");
}

// A test's bus, the tests' own or a window manager's on a virtual display, leaves no socket where it
// listened once it ends: hundreds of test runs would otherwise fill the system's temporary folder.
TEST(BuildScripts, TheTestsBusesLeaveNoSocketBehind) {
    QStringList sockets;
    {
        lunorvale::test::PrivateBus bus;
        lunorvale::test::VirtualDisplay display;
        ASSERT_FALSE(display.name().isEmpty()) << "Xvfb did not start";
        display.startWindowManager(QStringLiteral("openbox"));
        for (const QString& address : {bus.address(), display.busAddress()}) {
            const QString socket = address.section(u',', 0, 0).section(QStringLiteral("unix:path="), 1);
            EXPECT_TRUE(QFileInfo(socket).fileName().startsWith(u"dbus-")) << address.toStdString();
            sockets.append(socket);
        }
    }
    for (const QString& socket : sockets)
        EXPECT_FALSE(QFileInfo::exists(socket)) << socket.toStdString();
    // The test session's bus lives in the session's runtime folder, which goes with the session.
    if (qEnvironmentVariable("LUNORVALE_IN_SESSION") == u"1") {
        EXPECT_TRUE(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS")
                        .startsWith("unix:path=" + qEnvironmentVariable("XDG_RUNTIME_DIR") + "/"));
    }
}

// The session notes what its command left in the session's TMPDIR and added to its home, the topmost new
// path of each, and nothing of its own nor fontconfig's cache: tools/test fails a run of the tests on any.
// Its tree lies in the caller's TMPDIR (tools/fuzz's is /dev/shm) and goes with it, also where its terminal
// hangs up: its bus, which takes the HUP for a reload, is ended then (the keyring goes with it), and the
// session exits 129 as a shell does.
TEST(BuildScripts, TheSessionNamesWhatItsCommandLeftBehind) {
    QTemporaryDir folder;
    const QString list = folder.filePath("leftovers");
    const QString tmpdir =
        output(LUNORVALE_SOURCE_DIR "/tools/test-session",
               {"sh", "-c",
                "mkdir \"$TMPDIR/made\" && mkdir -p ~/.config/app/deep ~/.cache/fontconfig && touch "
                "~/.local/share/file ~/.cache/fontconfig/stale-le64.cache-8 && echo \"$TMPDIR\""},
               {"LUNORVALE_IN_SESSION=", "LUNORVALE_LEFTOVERS=" + list, "TMPDIR=" + folder.path()});
    QFile written(list);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll().toStdString(), "TMPDIR/made\n~/.config/app\n~/.local/share/file\n");
    EXPECT_TRUE(tmpdir.startsWith(folder.path() + u'/')) << tmpdir.toStdString();
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{"leftovers"});

    QProcess hungUp;
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    variables.remove("LUNORVALE_IN_SESSION");
    variables.insert("TMPDIR", folder.path());
    hungUp.setProcessEnvironment(variables);
    hungUp.setChildProcessModifier([] { // in a group of its own, as a terminal starts a command
        ::setpgid(0, 0);
        ::signal(SIGHUP, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
    });
    const QString noted = folder.filePath("session");
    hungUp.start(LUNORVALE_SOURCE_DIR "/tools/test-session",
                 {"sh", "-c",
                  "echo \"${XDG_RUNTIME_DIR%/run}\" >\"$0.new\" && mv \"$0.new\" \"$0\" && exec sleep 600",
                  noted});
    QFile note(noted);
    lunorvale::test::pollUntil([&] { return note.exists(); }, lunorvale::test::waitBound,
                               std::chrono::milliseconds(100));
    ASSERT_TRUE(note.open(QIODevice::ReadOnly)) << "the session's command never ran";
    const QByteArray session = note.readAll().trimmed();
    ::kill(-hungUp.processId(), SIGHUP);
    EXPECT_TRUE(hungUp.waitForFinished(lunorvale::test::waitBoundMs) &&
                hungUp.exitStatus() == QProcess::NormalExit && hungUp.exitCode() == 129)
        << hungUp.exitCode();
    QStringList left;
    lunorvale::test::pollUntil(
        [&] {
            left = processesHolding(session);
            return left.isEmpty();
        },
        lunorvale::test::waitBound, std::chrono::milliseconds(100));
    EXPECT_TRUE(left.isEmpty()) << left.join(u'\n').toStdString();
    EXPECT_FALSE(QFileInfo::exists(QString::fromUtf8(session))) << session.data();
    for (const QString& process : left) // a bus that stayed, which would otherwise run for good
        ::kill(process.section(u':', 0, 0).toInt(), SIGTERM);
}

// tools/fuzz on stand-ins for libFuzzer targets: one that hangs where no alarm ends it, ignoring TERM as
// its child does, is ended at its bound with the child as a finding; a timeout whose input waits alone is
// held to the timeout there and stands; one whose input runs in time alone is a stall passed over.
TEST(BuildScripts, FuzzingEndsHangsAndJudgesTimeoutsByTheirInputsRunAlone) {
    QTemporaryDir tree;
    // The stand-ins' sleeps are told apart from those of another run of this test on the machine.
    const QByteArray mark = QByteArray::number(10000000 + ::getpid());
    QByteArray standIn = R"(#!/bin/bash
[ -z "$LUNORVALE_FUZZ_SEEDS" ] || exit 0
for argument; do [[ $argument != -artifact_prefix=* ]] || prefix=${argument#*=}; done
if [[ "$*" == *-runs=* ]]; then
  echo "Running: ${!#}"
  [[ $0 != *Waits ]] || exec sleep 7654321
  echo "Executed ${!#} in 5 ms"
elif [[ $0 == *Hangs ]]; then
  trap '' TERM
  sleep 7654321 & sleep 7654321
elif [ ! -e "$0.ran" ] && touch "$0.ran" "${prefix}timeout-0a"; then
  echo "ERROR: libFuzzer: timeout after 1 seconds"
  echo "artifact_prefix=$prefix; Test unit written to ${prefix}timeout-0a"
  exit 70
fi
echo "stat::number_of_executed_units: 7"
)";
    standIn.replace("7654321", mark);
    for (const char* name : {"Hangs", "Waits", "Stalls"}) {
        QFile target(tree.filePath(QStringLiteral("fuzz/fuzz_%1").arg(name)));
        ASSERT_TRUE(QDir().mkpath(tree.filePath("fuzz")) && target.open(QIODevice::WriteOnly) &&
                    target.write(standIn) == standIn.size() &&
                    target.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
    }
    const QString said =
        output(LUNORVALE_SOURCE_DIR "/tools/fuzz", {tree.path()},
               {"LUNORVALE_FUZZ_SECONDS=4", "LUNORVALE_FUZZ_OVERRUN=6", "LUNORVALE_JOBS=3"}, 1);
    for (const char* line :
         {"\nfuzz_Hangs: FINDING, overran its bound of 12 s", // its 4 s, a second, an input's and 6 s
          "Waits-timeout-0a does not run in time alone either: run 1 of 3 was still running",
          "\nfuzz_Waits: FINDING",
          "\nstall passed over in fuzz_Stalls:", "\nfuzz_Stalls: 7 runs, no finding"})
        EXPECT_TRUE(said.contains(line)) << line << "\n" << said.toStdString();
    for (const QString& process : QDir("/proc").entryList(QDir::Dirs)) {
        QFile arguments("/proc/" + process + "/cmdline");
        EXPECT_FALSE(arguments.open(QIODevice::ReadOnly) && arguments.readAll().contains(mark))
            << process.toStdString();
    }
}

// How a run of tools/fuzz over one stand-in target ends: the stand-in after its seeds, the seconds it
// fuzzes, the signal the run gets once the stand-in's child has noted that it runs (none: the run goes to
// its end), sent to the run's whole process group as a terminal's Ctrl-C or hang-up is, or to the script
// alone; its exit status, -1 where the signal kills it; whether a second run over the tree is started
// before the signal, while the first still runs.
struct FuzzRunEnd {
    const char* name;
    const char* standIn;
    int seconds;
    int signal;
    bool toGroup;
    int status;
    bool second = false;
};

void PrintTo(const FuzzRunEnd& run, std::ostream* out) {
    *out << run.name;
}

class FuzzRun : public ::testing::TestWithParam<FuzzRunEnd> {};

// The child stays in the stand-in's process group, which only a kill of the group ends once the stand-in
// has gone: ignoring TERM, it outlives a stand-in that ends on TERM as libFuzzer does. A stand-in that
// ignores TERM too, a hang, goes only with the KILL a grace later. Each stand-in goes on once its child
// has noted its session in the tree (`noted`), so that the child has run whenever the stand-in ends, and
// the test reads the note instead of looking for a process that may be gone by then. One that ends when
// told fuzzes until the test has looked at a killed run and writes `go` in the tree.
constexpr char endsOnTerm[] = "(trap '' TERM; child) &\nnoted\nwait\n";
constexpr char ignoresTerm[] = "trap '' TERM\n(child) &\nnoted\nwait\n";
constexpr char endsOnItsOwn[] = "(child) &\nnoted\n";
constexpr char endsWhenTold[] =
    "(trap '' TERM; child) &\nnoted\nuntil [ -e \"$tree/go\" ]; do sleep 0.1; done\n";

// Nothing of the run is left 10 s after it is interrupted, 5 s past the kill that follows the grace, nor
// once it has ended, its sessions' buses, keyrings and folders included; the signal's status is the
// run's, as a shell's is. A second run while one runs is refused in a sentence, removing nothing of the
// first. Killed, the run leaves its jobs to see their targets out, and its folder of the logs to a later run,
// which is refused while they run and removes it once they have ended.
TEST_P(FuzzRun, LeavesNoProcessBehind) {
    const FuzzRunEnd& run = GetParam();
    QTemporaryDir tree;
    // Every process of the run names the tree, the stand-in's child too, and no other run does.
    const QByteArray mark = tree.path().toUtf8();
    const QByteArray standIn =
        QByteArray(
            "#!/bin/bash\n[ -z \"$LUNORVALE_FUZZ_SEEDS\" ] || exit 0\ntree=${0%/fuzz/*}\n"
            "child() { echo \"${XDG_RUNTIME_DIR%/run}\" >\"$tree/child.new\" && mv \"$tree/child.new\" "
            "\"$tree/child\"; exec -a \"$0-child\" sleep 600; }\n"
            "noted() { until [ -e \"$tree/child\" ]; do sleep 0.1; done; }\n") +
        run.standIn + "echo 'stat::number_of_executed_units: 7'\n";
    QFile target(tree.filePath("fuzz/fuzz_Target"));
    ASSERT_TRUE(QDir().mkpath(tree.filePath("fuzz")) && target.open(QIODevice::WriteOnly) &&
                target.write(standIn) == standIn.size() &&
                target.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
    target.close();
    QProcess fuzz;
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    variables.insert("LUNORVALE_FUZZ_SECONDS", QString::number(run.seconds));
    variables.insert("LUNORVALE_FUZZ_OVERRUN", "6");
    variables.remove("LUNORVALE_IN_SESSION"); // each stage in a session of its own, as from a terminal
    fuzz.setProcessEnvironment(variables);
    // As a terminal starts a command, whatever this test was started with: a signal ignored at entry
    // (`nohup` ignores HUP) could not be trapped by the script.
    fuzz.setChildProcessModifier([] {
        ::setpgid(0, 0);
        for (const int signal : {SIGINT, SIGHUP, SIGTERM})
            ::signal(signal, SIG_DFL);
    });
    fuzz.start(LUNORVALE_SOURCE_DIR "/tools/fuzz", {tree.path()});
    // The session the stand-in's child ran in, once it has noted it.
    const auto session = [&] {
        QFile note(tree.filePath("child"));
        return note.open(QIODevice::ReadOnly) ? note.readAll().trimmed() : QByteArray();
    };
    const QDir logs(tree.filePath("fuzz-logs"));
    const auto runFolders = [&] {
        return logs.entryList({"run.*"}, QDir::Dirs | QDir::NoDotAndDotDot).size();
    };
    // A later run over the tree without its stand-in, ending with `status`: how many run folders it leaves.
    // One refused says so in a sentence, before anything starts.
    const auto laterRun = [&](int status) {
        QFile::remove(tree.filePath("fuzz/fuzz_Target"));
        const QString said =
            output("bash", {"-c", "\"$0\" \"$1\" 2>&1", LUNORVALE_SOURCE_DIR "/tools/fuzz", tree.path()}, {},
                   status);
        EXPECT_TRUE(status != 2 || (said.startsWith(u"tools/fuzz: ") && said.count(u'\n') == 1))
            << said.toStdString();
        return runFolders();
    };
    // An interrupted run promises its end 10 s after the signal, timed from the signal: a process of the
    // run still there at a look begun after that breaks the promise, however long the looks themselves
    // take on a busy machine. A killed run's jobs, and a run that ends on its own, promise no time: they
    // are waited for at the tests' bound.
    std::optional<QDeadlineTimer> promised;
    if (run.signal != 0) {
        EXPECT_TRUE(lunorvale::test::pollUntil([&] { return !session().isEmpty(); },
                                               lunorvale::test::waitBound, std::chrono::milliseconds(100)))
            << "the stand-in's child never ran";
        if (run.second) {
            EXPECT_EQ(laterRun(2), 1) << "a second run went on beside the first";
        }
        if (run.status >= 0)
            promised.emplace(10000);
        ::kill(run.toGroup ? -fuzz.processId() : fuzz.processId(), run.signal);
    }
    // A wait that runs out at the promise has seen the script still running after it.
    bool ended = promised && fuzz.waitForFinished(int(promised->remainingTime()));
    EXPECT_TRUE(ended || !promised) << "the run still ran 10 s after its signal";
    ended = ended || fuzz.waitForFinished(lunorvale::test::waitBoundMs);
    EXPECT_TRUE(ended &&
                (run.status < 0 ? fuzz.exitStatus() == QProcess::CrashExit
                                : fuzz.exitStatus() == QProcess::NormalExit && fuzz.exitCode() == run.status))
        << fuzz.exitCode() << fuzz.readAllStandardError().data();
    if (run.status < 0) {
        EXPECT_EQ(laterRun(2), 1) << "the folder of a run whose jobs still run is gone";
        QFile go(tree.filePath("go")); // the stand-in, looked at, ends its fuzzing
        EXPECT_TRUE(go.open(QIODevice::WriteOnly));
    }
    const QByteArray ranIn = session();
    EXPECT_TRUE(ranIn.startsWith('/')) << "the stand-in's child runs in no session of its own";
    const auto ofTheRun = [&] {
        return processesHolding(mark) + (ranIn.isEmpty() ? QStringList() : processesHolding(ranIn));
    };
    // A look reads two files of every process on the machine: spaced, so that the looks leave the cores
    // to the run that is ending.
    QStringList processes;
    QStringList late;
    lunorvale::test::pollUntil(
        [&] {
            const bool past = promised && promised->hasExpired();
            processes = ofTheRun();
            if (past && late.isEmpty())
                late = processes;
            return processes.isEmpty();
        },
        lunorvale::test::waitBound, std::chrono::milliseconds(100));
    EXPECT_TRUE(processes.isEmpty()) << processes.join(u'\n').toStdString();
    EXPECT_TRUE(late.isEmpty()) << "left 10 s after the signal:\n" << late.join(u'\n').toStdString();
    EXPECT_FALSE(QFileInfo::exists(QString::fromUtf8(ranIn))) << ranIn.data();
    EXPECT_EQ(run.status < 0 ? laterRun(0) : runFolders(), 0);
    for (const QString& process : processes) // a failed run's, which would otherwise run on to its bound
        ::kill(process.section(u':', 0, 0).toInt(), SIGKILL);
}

INSTANTIATE_TEST_SUITE_P(
    BuildScripts, FuzzRun,
    ::testing::Values(
        FuzzRunEnd{"interrupted_from_its_terminal", ignoresTerm, 60, SIGINT, true, 130},
        FuzzRunEnd{"hung_up_with_its_terminal", ignoresTerm, 60, SIGHUP, true, 129},
        FuzzRunEnd{"interrupted", endsOnTerm, 60, SIGINT, false, 130},
        FuzzRunEnd{"terminated", endsOnTerm, 60, SIGTERM, false, 143},
        FuzzRunEnd{"terminated_with_its_group", ignoresTerm, 60, SIGTERM, true, 143},
        FuzzRunEnd{"target_ends_on_term_at_its_bound", endsOnTerm, 4, 0, false, 1},
        FuzzRunEnd{"target_ends_on_its_own", endsOnItsOwn, 60, 0, false, 0},
        FuzzRunEnd{"killed_leaving_its_folder_to_a_later_run", endsWhenTold, 60, SIGKILL, false, -1},
        FuzzRunEnd{"refusing_a_second_run_meanwhile", endsOnTerm, 60, SIGTERM, false, 143, true}),
    [](const ::testing::TestParamInfo<FuzzRunEnd>& info) { return std::string(info.param.name); });

// An overrun within the grace a target has once asked to end leaves it no time at its bound, which would
// make every target a finding: refused in a sentence, before anything runs.
TEST(BuildScripts, FuzzingRefusesAnOverrunWithinTheGrace) {
    for (const char* overrun : {"5", "0", "6s", " 7"}) {
        QTemporaryDir tree;
        const QString said =
            output("bash", {"-c", "\"$0\" \"$1\" 2>&1", LUNORVALE_SOURCE_DIR "/tools/fuzz", tree.path()},
                   {QStringLiteral("LUNORVALE_FUZZ_OVERRUN=") + overrun}, 2);
        EXPECT_TRUE(said.startsWith(QStringLiteral("tools/fuzz: LUNORVALE_FUZZ_OVERRUN=") + overrun + " ") &&
                    said.count(u'\n') == 1)
            << said.toStdString();
        EXPECT_EQ(QDir(tree.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    }
}
