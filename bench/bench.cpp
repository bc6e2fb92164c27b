// SPDX-License-Identifier: MIT
// Speed of the library against the physical limits of what it does:
//   queries         vs a bare exported call in another shared library that
//                   returns a global (the floor);
//   a failed select vs one strstr pass per distinct key over the same string;
//   setup paths     vs the same number of bare new[]/delete[] pairs.
// Everything is measured in one run and printed as ratios at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "queries.h"

namespace {

// ---- Collecting results ----------------------------------------------------

// This machine's timings wander by several percent from one run to the next,
// so each benchmark is repeated and compared by its median.
constexpr int kRepetitions = 5;

std::map<std::string, double> g_ns;  // median nanoseconds per iteration, by name

class CollectingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" && !run.error_occurred) {
                g_ns[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

template <typename Function>
void measure(const std::string &name, Function function)
{
    benchmark::RegisterBenchmark(name.c_str(), function)->Repetitions(kRepetitions)->ReportAggregatesOnly(true);
}

// ---- Benchmarks ---------------------------------------------------------------

template <typename Call>
void repeat(benchmark::State &state, Call call)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(call());
    }
}

// Text with no key in it: lower-case letters, but never 'u' or 'x', which
// every key contains; the first letters of the keys do occur, so substring
// search does real work.
std::string keyless_identity(std::size_t size)
{
    static const char letters[] = "abcdefghijklmnopqrstvwyz";
    std::mt19937 random(42);
    std::string text(size, ' ');
    for (char &c : text) {
        c = letters[random() % (sizeof letters - 1)];
    }
    return text;
}

const char *const kDistinctKeys[] = {"farunbastion", "farun", "oru", "wex"};

void register_failed_selection(std::size_t size, const char *label)
{
    const std::string identity = keyless_identity(size);
    measure(std::string("KIVVMInit/no key/") + label,
                                 [identity](benchmark::State &state) {
                                     for (auto _ : state) {
                                         if (KIVVMInit(identity.c_str()) != 0) {
                                             state.SkipWithError("a key was found");
                                             break;
                                         }
                                     }
                                 });
    measure(std::string("strstr per distinct key/") + label,
                                 [identity](benchmark::State &state) {
                                     for (auto _ : state) {
                                         for (const char *key : kDistinctKeys) {
                                             benchmark::DoNotOptimize(std::strstr(identity.c_str(), key));
                                         }
                                     }
                                 });
}

void register_queries()
{
    measure("floor: exported call returning a global",
                                 [](benchmark::State &s) { repeat(s, kivvm_floor_int); });
    measure("floor: exported call returning a global string",
                                 [](benchmark::State &s) { repeat(s, kivvm_floor_string); });
    measure("floor: exported call with an argument returning a global", [](benchmark::State &s) {
        repeat(s, [] { return kivvm_floor_with_argument("farunbastion"); });
    });
    for (const auto &[name, query] : kIntegerQueries) {
        measure(name, [query = query](benchmark::State &s) { repeat(s, query); });
    }
    for (const auto &[name, query] : kStringQueries) {
        measure(name, [query = query](benchmark::State &s) { repeat(s, query); });
    }
    measure("KIVVMInit/selected", [](benchmark::State &s) {
        repeat(s, [] { return KIVVMInit("farunbastion"); });
    });
}

// The allocations of a one-path list, bare: the array of one pointer and one
// 128-byte path, made and released.
void bare_list_allocations()
{
    char **list = new char *[1];
    list[0] = new char[128];
    benchmark::DoNotOptimize(list);
    benchmark::DoNotOptimize(list[0]);
    delete[] list[0];
    delete[] list;
}

void register_setup_paths()
{
    measure("KIVVMGetSetupPaths+KIVVMFreeSetupPaths", [](benchmark::State &state) {
        for (auto _ : state) {
            char **list = nullptr;
            const int count = KIVVMGetSetupPaths(&list);
            benchmark::DoNotOptimize(list);
            KIVVMFreeSetupPaths(list, count);
        }
    });
    measure("new[]/delete[] pairs", [](benchmark::State &state) {
        for (auto _ : state) {
            bare_list_allocations();
        }
    });
    // ...plus the two calls into a library that getting and releasing a list
    // takes, each at the floor.
    measure("new[]/delete[] pairs + two exported calls", [](benchmark::State &state) {
        for (auto _ : state) {
            benchmark::DoNotOptimize(kivvm_floor_string());
            bare_list_allocations();
            benchmark::DoNotOptimize(kivvm_floor_int());
        }
    });
}

struct Comparison {
    const char *measured;
    const char *baseline;
    double target;
};

void print_ratios()
{
    const char *const floor_int = "floor: exported call returning a global";
    const char *const floor_string = "floor: exported call returning a global string";
    const std::vector<Comparison> comparisons = {
        {"KIVVMGetToolID", floor_int, 1.5},
        {"KIVVMGetSubToolID", floor_int, 1.5},
        {"KIVVMGetToolName", floor_string, 1.5},
        {"KIVVMGetSubToolName", floor_string, 1.5},
        {"KIVVMGetToolExpandedName", floor_string, 1.5},
        {"KIVVMGetRHOSetupLocation", floor_string, 1.5},
        {"KIVVMGetZEFSectionName", floor_string, 1.5},
        {"KIVVMGetMenuFile", floor_string, 1.5},
        {"KIVVMGetTooBarFile", floor_string, 1.5},
        {"KIVVMGetSplashScreenName", floor_string, 1.5},
        {"KIVVMGetHelpFileTagFile", floor_string, 1.5},
        {"KIVVMInit/selected", "floor: exported call with an argument returning a global", 1.5},
        {"KIVVMInit/no key/64 B", "strstr per distinct key/64 B", 1.1},
        {"KIVVMInit/no key/4 KiB", "strstr per distinct key/4 KiB", 1.1},
        {"KIVVMInit/no key/64 KiB", "strstr per distinct key/64 KiB", 1.1},
        {"KIVVMGetSetupPaths+KIVVMFreeSetupPaths", "new[]/delete[] pairs", 1.3},
        {"KIVVMGetSetupPaths+KIVVMFreeSetupPaths", "new[]/delete[] pairs + two exported calls", 1.3},
    };
    std::printf("\n%-40s %-46s %9s %9s %6s %7s\n", "measured", "against", "ns", "floor ns", "ratio",
                "target");
    for (const Comparison &c : comparisons) {
        if (g_ns.count(c.measured) == 0 || g_ns.count(c.baseline) == 0) {
            continue;  // filtered out
        }
        const double ratio = g_ns[c.measured] / g_ns[c.baseline];
        std::printf("%-40s %-46s %9.2f %9.2f %6.2f %6.1fx%s\n", c.measured, c.baseline, g_ns[c.measured],
                    g_ns[c.baseline], ratio, c.target, ratio <= c.target ? "" : "  missed");
    }
}

}  // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    // Benchmarks run in the order registered: the failed selections need a
    // library that has not selected anything yet.
    register_failed_selection(64, "64 B");
    register_failed_selection(4096, "4 KiB");
    register_failed_selection(65536, "64 KiB");
    benchmark::RegisterBenchmark("select for the rest", [](benchmark::State &state) {
        for (auto _ : state) {
            benchmark::DoNotOptimize(KIVVMInit("farunbastion"));
        }
    })->Iterations(1);
    register_queries();
    register_setup_paths();

    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    print_ratios();
    return 0;
}
