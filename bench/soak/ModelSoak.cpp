// Soak run of the real model over churning processes: every cycle ends some children and starts as
// many new ones, some of which replace their own program a moment later (same pid, new image).
// Prints one JSON line per thousand cycles with the resident memory, the open descriptors and the
// number of the user's processes, and a last line comparing cycle 1,000 with the end. The process
// reader keeps two descriptors per process of the user, so descriptors are compared only where the
// user's process count equals that of cycle 1,000: run it as a user of its own (for example
// `setpriv --reuid=65534 --regid=65534 --clear-groups lunorvale_soak`) to keep other programs out.
//
//   lunorvale_soak [cycles=10000] [population=40] [churn=4]
#include "app/model/AppModel.h"
#include "core/common/ThreadExecutors.h"
#include "platform/LinuxProcessPlatform.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <deque>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using namespace lunorvale;

namespace {

pid_t spawn(const std::vector<const char*>& arguments) {
    std::vector<char*> argv;
    for (const char* argument : arguments)
        argv.push_back(const_cast<char*>(argument));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "could not start %s\n", argv[0]);
        std::exit(1);
    }
    return pid;
}

// Every third child starts as a shell that soon replaces itself with `sleep`.
pid_t startChild(int serial) {
    if (serial % 3 == 0)
        return spawn({"/bin/sh", "-c", "sleep 0.05; exec sleep 600"});
    return spawn({"/bin/sleep", "600"});
}

void endChild(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

qint64 residentKilobytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

qsizetype openDescriptors() {
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size();
}

void sampleAndWait(AppModel& model) {
    QEventLoop loop;
    const auto connection = QObject::connect(&model, &AppModel::isSamplingChanged, &loop, [&] {
        if (!model.isSampling())
            loop.quit();
    });
    model.sampleNow();
    if (model.isSampling())
        loop.exec();
    QObject::disconnect(connection);
}

int argument(int argc, char** argv, int index, int fallback) {
    return argc > index ? QByteArray(argv[index]).toInt() : fallback;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int cycles = argument(argc, argv, 1, 10000);
    const int population = argument(argc, argv, 2, 40);
    const int churn = argument(argc, argv, 3, 4);

    QTemporaryDir folder;
    LinuxProcessPlatform platform;
    ThreadExecutor sampling(QStringLiteral("sampling")); // as the program's
    AppModelServices services;
    services.processPlatform = &platform;
    services.sampling = &sampling;
    services.settingsStore = SettingsStore(folder.filePath(QStringLiteral("defaults.json")));
    services.historyStore = [&folder] {
        return LocalHistoryStore(folder.filePath(QStringLiteral("history.json")));
    };
    AppModel model(false, services);

    std::deque<pid_t> children;
    int serial = 0;
    for (; serial < population; ++serial)
        children.push_back(startChild(serial));

    qint64 residentAtThousand = -1;
    qsizetype descriptorsAtThousand = -1;
    qsizetype processesAtThousand = -1;
    int comparisons = 0;
    int mismatches = 0;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        for (int i = 0; i < churn; ++i) {
            endChild(children.front());
            children.pop_front();
            children.push_back(startChild(serial++));
        }
        sampleAndWait(model);
        if (cycle < 1000)
            continue;
        // Descriptors are counted every cycle: the population returns to that of cycle 1,000 only now
        // and then, since shells replacing themselves come and go between samples.
        const qsizetype descriptors = openDescriptors();
        const qsizetype processes = model.processes().size();
        if (cycle == 1000) {
            residentAtThousand = residentKilobytes();
            descriptorsAtThousand = descriptors;
            processesAtThousand = processes;
        } else if (processes == processesAtThousand) {
            ++comparisons;
            mismatches += descriptors != descriptorsAtThousand ? 1 : 0;
        }
        if (cycle % 1000 != 0)
            continue;
        std::printf("{\"cycle\":%d,\"rssKB\":%lld,\"descriptors\":%lld,\"processes\":%lld}\n", cycle,
                    static_cast<long long>(residentKilobytes()), static_cast<long long>(descriptors),
                    static_cast<long long>(processes));
        std::fflush(stdout);
    }
    const bool descriptorsSteady = mismatches == 0 && comparisons > 0;
    const qint64 growth = residentKilobytes() - residentAtThousand;
    std::printf("{\"rssGrowthKB\":%lld,\"descriptorComparisons\":%d,\"descriptorMismatches\":%d,"
                "\"withinBudget\":%s}\n",
                static_cast<long long>(growth), comparisons, mismatches,
                growth <= 1024 && descriptorsSteady ? "true" : "false");
    for (const pid_t pid : children)
        endChild(pid);
    return growth <= 1024 && descriptorsSteady ? 0 : 1;
}
