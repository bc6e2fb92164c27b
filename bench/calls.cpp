// SPDX-License-Identifier: MIT
// Calls one exported function, or the floor, a given number of times in the
// benchmarks' own loop: for counting the instructions one call executes
// (bench/instructions).  The library is selected and every derived name
// settled first, so each call measures a settled query.
//   kivvm_calls FUNCTION COUNT
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "queries.h"

namespace {

// Reports nothing: only the instructions the loop executes matter.
class QuietReporter : public benchmark::BenchmarkReporter {
public:
    bool ReportContext(const Context &) override { return true; }
    void ReportRuns(const std::vector<Run> &) override {}
} quiet_reporter;

int select_farunbastion() { return KIVVMInit("farunbastion"); }
int floor_farunbastion() { return kivvm_floor_with_argument("farunbastion"); }

const Query<int> kOtherIntegers[] = {
    {"floor_int", kivvm_floor_int},
    {"floor_with_argument", floor_farunbastion},
    {"KIVVMInit/selected", select_farunbastion},
};
const Query<const char *> kOtherStrings[] = {{"floor_string", kivvm_floor_string}};

template <typename Result, std::size_t N>
bool run(const Query<Result> (&functions)[N], const char *name, long count)
{
    for (const Query<Result> &f : functions) {
        if (std::strcmp(f.name, name) == 0) {
            benchmark::RegisterBenchmark(name, [call = f.call](benchmark::State &state) {
                for (auto _ : state) {
                    benchmark::DoNotOptimize(call());
                }
            })->Iterations(count);
            benchmark::RunSpecifiedBenchmarks(&quiet_reporter);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fputs("usage: kivvm_calls FUNCTION COUNT\n", stderr);
        return 2;
    }
    KIVVMInit("farunbastion");
    for (const Query<const char *> &f : kStringQueries) {
        f.call();
    }
    const long count = std::atol(argv[2]);
    if (!run(kIntegerQueries, argv[1], count) && !run(kOtherIntegers, argv[1], count) &&
        !run(kStringQueries, argv[1], count) && !run(kOtherStrings, argv[1], count)) {
        std::fprintf(stderr, "kivvm_calls: no function %s\n", argv[1]);
        return 2;
    }
    return 0;
}
