// Reading a large generated description: the full size is 20,000 packages,
// 200,000 operation lines and 2,000 suites (one of them listing every
// package) with a configuration section over all suites. The read is run at
// 1/8, 1/4, 1/2 and the full size to show that it stays linear, side by
// side with a plain pass over the same file's logical lines.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "bench/bench_support.h"
#include "engine/cdinst.h"

namespace {

constexpr int kFullPackages = 20000;
constexpr int kOpsPerPackage = 10;
constexpr int kPackagesPerSuite = 10;

// Path of the generated description with `packages` packages.
const std::string &description(int packages)
{
    static std::map<int, std::string> paths;
    auto found = paths.find(packages);
    if (found != paths.end())
        return found->second;
    std::string path = qvbench::scratch("qv-read-bench") + "/cdinst" + std::to_string(packages) + ".dat";
    FILE *f = std::fopen(path.c_str(), "w");
    if (!f)
        std::abort();
    std::fputs("SetupVersion 1\nProductName Quorvanta\nProductVersion 2.0\nProductDirectory Quorvanta\n"
               "LogFile setup.log\nHistoryFile quorvanta\n",
               f);
    for (int p = 0; p < packages; ++p) {
        std::fprintf(f, "# package %d\nPackage \"pkg%05d\" \"Package number %d\"\n", p, p, p);
        std::fprintf(f, "Mkdir \"Application/p%05d\" 0755 0 0\n", p);
        for (int c = 0; c < 6; ++c)
            std::fprintf(f, "Copy \"Application/p%05d/file%d\" \"\" %d 0644 0 0\n", p, c, 1000 + p + c);
        std::fprintf(f, "UntarZ \"p%05d.tbz\" 3000 \"a/x\" 1000 \"a/y\" 1000 \"a/z\" 1000\n", p);
        std::fprintf(f, "SoftLink \"Application/p%05d\" \"file0\" \"link0\"\n", p);
        std::fprintf(f, "RegData \"HKEY_LOCAL_MACHINE\" \"Software\\\\Quorvanta\\\\p%05d\" \"Path\" \"<RootDest>\"\n",
                     p);
    }
    int suites = packages / kPackagesPerSuite;
    std::fputs("Suite \"Everything\" Hidden \\\n", f);
    for (int p = 0; p < packages; ++p)
        std::fprintf(f, " pkg%05d%s", p, (p + 1) % 16 == 0 && p + 1 < packages ? " \\\n" : "");
    std::fputs("\n", f);
    for (int s = 1; s < suites; ++s) {
        std::fprintf(f, "Suite \"Suite%04d\"", s);
        for (int p = s * kPackagesPerSuite; p < (s + 1) * kPackagesPerSuite; ++p)
            std::fprintf(f, " pkg%05d", p);
        std::fputs(s % 7 == 0 ? " Vital\n" : "\n", f);
    }
    std::fputs("ConfigBegin\n1 MainDlg \"Install\" \"Choose\" \"\" 2 3\n2 CusDlg \"Custom\" \"All suites\" \"\" 1", f);
    for (int s = 0; s < suites && s < 255; ++s)
        std::fprintf(f, " %d", 10 + s);
    std::fputs("\n3 Suite \"Everything\" \"Everything\" \"\" 1\n", f);
    for (int s = 1; s < suites; ++s)
        std::fprintf(f, "%d Suite \"Suite%04d\" \"Suite number %d\" \"\" 1\n", 9 + s, s, s);
    std::fputs("ConfigEnd\n", f);
    std::fclose(f);
    return paths[packages] = path;
}

long peak_rss_kb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void BM_ReadDescription(benchmark::State &state)
{
    int packages = int(state.range(0));
    const std::string &path = description(packages);
    for (auto _ : state) {
        _QV_instCDinst *cd = QV_instReadCDinst(path.c_str(), nullptr);
        if (!cd) {
            state.SkipWithError("the description was not read");
            return;
        }
        benchmark::DoNotOptimize(cd);
        QV_instFreeCDinst(cd);
    }
    // The heap that one loaded model holds, measured outside the timed loop.
    size_t before = mallinfo2().uordblks;
    _QV_instCDinst *cd = QV_instReadCDinst(path.c_str(), nullptr);
    size_t modelBytes = mallinfo2().uordblks - before;
    QV_instFreeCDinst(cd);
    state.SetComplexityN(packages);
    state.counters["packages"] = packages;
    state.counters["operations"] = double(packages) * kOpsPerPackage;
    state.counters["model_MB"] = double(modelBytes) / (1 << 20);
    state.counters["peak_rss_MB"] = double(peak_rss_kb()) / 1024;
}
BENCHMARK(BM_ReadDescription)->Apply(qvbench::eighth_to_full<kFullPackages>);

// The floor: the same file's logical lines, read and dropped.
void BM_ReadLinesOnly(benchmark::State &state)
{
    int packages = int(state.range(0));
    const std::string &path = description(packages);
    for (auto _ : state) {
        FILE *f = std::fopen(path.c_str(), "r");
        size_t lines = 0;
        for (char *line; (line = QV_instGetline(f, nullptr)); ++lines)
            std::free(line);
        std::fclose(f);
        benchmark::DoNotOptimize(lines);
    }
    state.SetComplexityN(packages);
}
BENCHMARK(BM_ReadLinesOnly)->Apply(qvbench::eighth_to_full<kFullPackages>);

} // namespace
