// Shared by the benchmarks that generate their inputs: a scratch folder for
// the generated files, and the four sizes a linear-growth run is measured at.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace qvbench {

// A folder below /tmp named after the benchmark, made on first use and
// removed with everything in it when the program ends.
inline const std::string &scratch(const char *name)
{
    static std::string dir;
    if (dir.empty()) {
        std::string tmpl = std::string("/tmp/") + name + "-XXXXXX";
        if (!mkdtemp(&tmpl[0]))
            std::abort();
        dir = tmpl;
        std::atexit([] {
            if (std::system(("rm -rf '" + dir + "'").c_str()) != 0)
                std::fprintf(stderr, "could not remove %s\n", dir.c_str());
        });
    }
    return dir;
}

// 1/8, 1/4, 1/2 and the whole of `Full`, in milliseconds, with the growth
// fitted against N: a linear run shows as such.
template <int Full> void eighth_to_full(benchmark::internal::Benchmark *b)
{
    for (int n = Full / 8; n <= Full; n *= 2)
        b->Arg(n);
    b->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
}

} // namespace qvbench
