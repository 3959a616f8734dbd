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

QByteArray bigEndian(qint64 value, int size) {
    QByteArray bytes(size, '\0');
    for (int i = size - 1; i >= 0; --i, value >>= 8)
        bytes[i] = char(value & 0xFF);
    return bytes;
}

// A binary list of one array referring `count` times to one UTF-16 string of `characters` characters:
// the most text a short list can expand into.
QByteArray sharedText(int count, int characters) {
    QByteArray body = "bplist00\xAF\x11" + bigEndian(count, 2) + bigEndian(1, 2).repeated(count);
    const qint64 text = body.size();
    body += "\x6F\x11" + bigEndian(characters, 2) + QByteArray("\x4E\x2D").repeated(characters);
    return body + bigEndian(8, 4) + bigEndian(text, 4) + QByteArray(6, '\0') + "\x04\x02" + bigEndian(2, 8) +
           bigEndian(0, 8) + bigEndian(body.size(), 8);
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

// The most text a short list expands into that the reader accepts: a thousand references to one string
// of a thousand characters (UTF-16, which the reader turns into UTF-8 and the parse into UTF-16 again).
void BM_PropertyListSharedTextAccepted(benchmark::State& state) {
    parse(state, sharedText(1023, 1024));
}
BENCHMARK(BM_PropertyListSharedTextAccepted)->Unit(benchmark::kMillisecond);

// Eight thousand references to a string of two thousand characters: refused before the reader builds it.
void BM_PropertyListSharedTextRefused(benchmark::State& state) {
    parse(state, sharedText(8191, 2048));
}
BENCHMARK(BM_PropertyListSharedTextRefused)->Unit(benchmark::kMicrosecond);

// One text of entity references just below the budget of their work: the most such a list costs.
void BM_PropertyListEntitiesAccepted(benchmark::State& state) {
    parse(state, "<plist><string>" + QByteArray("&amp;").repeated(29000) + "</string></plist>");
}
BENCHMARK(BM_PropertyListEntitiesAccepted)->Unit(benchmark::kMillisecond);

} // namespace
