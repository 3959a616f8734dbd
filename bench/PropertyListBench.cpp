#include "platform/files/PropertyList.h"

#include <benchmark/benchmark.h>

using namespace lunorvale;

namespace {

// A binary list of `levels` arrays, each referring `width` times to the next, the last to a one-letter
// string: width^levels copies of the string from under a hundred bytes (one-byte offsets and references).
QByteArray nestedReferences(int levels, int width) {
    QByteArray body = "bplist00";
    QByteArray table;
    for (int level = 0; level < levels; ++level) {
        table += char(body.size());
        body += char(0xA0 | width);
        body += QByteArray(width, char(level + 1));
    }
    table += char(body.size());
    body += "\x51x";
    const auto bigEndian = [](qint64 value) {
        QByteArray bytes(8, '\0');
        for (int i = 7; i >= 0; --i, value >>= 8)
            bytes[i] = char(value & 0xFF);
        return bytes;
    };
    return body + table + QByteArray(6, '\0') + "\x01\x01" + bigEndian(levels + 1) + bigEndian(0) +
           bigEndian(body.size());
}

void parse(benchmark::State& state, const QByteArray& data) {
    for (auto _ : state) {
        try {
            benchmark::DoNotOptimize(PropertyList::parse(data));
        } catch (const PropertyListError&) {
        }
    }
    state.SetLabel(std::to_string(data.size()) + " bytes");
}

// 2^18 values from 97 bytes: refused before the reader builds any of them.
void BM_PropertyListExpansionRefused(benchmark::State& state) {
    parse(state, nestedReferences(9, 4));
}
BENCHMARK(BM_PropertyListExpansionRefused)->Unit(benchmark::kMicrosecond);

// 21,845 values, below the limit: the most such a list can cost.
void BM_PropertyListExpansionAccepted(benchmark::State& state) {
    parse(state, nestedReferences(7, 4));
}
BENCHMARK(BM_PropertyListExpansionAccepted)->Unit(benchmark::kMicrosecond);

} // namespace
