// The allocating formatter against glibc's asprintf on the same typical
// message, side by side in one run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "engine/util.h"

static void BM_QV_instStrPrint(benchmark::State &state)
{
    for (auto _ : state) {
        char *s = QV_instStrPrint("Copying %s to %s (%d of %d, %5.1f%%)", "Application/bin/qvr",
                                  "/usr/Quorvanta/Product/Application/bin/", 17, 230, 7.4);
        benchmark::DoNotOptimize(s);
        std::free(s);
    }
}
BENCHMARK(BM_QV_instStrPrint);

static void BM_asprintf(benchmark::State &state)
{
    for (auto _ : state) {
        char *s = nullptr;
        if (asprintf(&s, "Copying %s to %s (%d of %d, %5.1f%%)", "Application/bin/qvr",
                     "/usr/Quorvanta/Product/Application/bin/", 17, 230, 7.4) < 0)
            s = nullptr;
        benchmark::DoNotOptimize(s);
        std::free(s);
    }
}
BENCHMARK(BM_asprintf);
