#include "fuzz/support/Fuzz.h"

#include <QDir>
#include <QFile>
#include <cstdio>
#include <cstdlib>

namespace lunorvale::fuzz {

void check(bool holds, const char* property) {
    if (holds)
        return;
    std::fprintf(stderr, "property does not hold: %s\n", property);
    std::abort();
}

} // namespace lunorvale::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const QString folder = qEnvironmentVariable("LUNORVALE_FUZZ_SEEDS");
    if (folder.isEmpty())
        return 0;
    QDir().mkpath(folder);
    int index = 0;
    for (const QByteArray& seed : lunorvale::fuzz::seeds()) {
        QFile file(folder + QStringLiteral("/seed-%1").arg(index++));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(seed) != seed.size())
            std::exit(1);
    }
    std::exit(0);
}
