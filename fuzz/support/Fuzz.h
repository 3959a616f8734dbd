#pragma once

// What the fuzz targets share. A target is one file in fuzz/: it defines LLVMFuzzerTestOneInput, which
// checks properties of the code under test (round trips, invariants) and reports a broken one through
// check(), and seeds(), the well-formed inputs the fuzzer starts from.

#include <QByteArray>
#include <vector>

namespace lunorvale::fuzz {

// Examples of well-formed input. Run with LUNORVALE_FUZZ_SEEDS=<folder>, a target writes them there as
// files and exits: tools/fuzz puts them into the corpus before each run.
std::vector<QByteArray> seeds();

// Ends the run as a finding (libFuzzer keeps the input) when `holds` is false.
void check(bool holds, const char* property);

} // namespace lunorvale::fuzz
