// A rerun over a large installation: the history reader on a product of
// 100,000 packages in 100 suites, every suite installed, the history written
// by the installer's own writer (each suite's packages listed twice, as a
// run lists them). The read is run at 1/8, 1/4, 1/2 and the full size to
// show that it stays linear, side by side with a plain pass over the same
// history file's lines.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "bench/bench_support.h"
#include "engine/cdinst.h"
#include "engine/install.h"
#include "engine/lines.h"

namespace {

constexpr int kFullPackages = 100000;
constexpr int kSuites = 100;

// One installed product: its loaded description and its destination, which
// holds the history of a run that installed every suite.
struct Installation {
    _QV_instCDinst *cd = nullptr;
    _QV_InstConfigList *options = nullptr;
    std::string dest;
    std::string history;
};

const Installation &installation(int packages)
{
    static std::map<int, Installation> made;
    auto found = made.find(packages);
    if (found != made.end())
        return found->second;
    const std::string base = qvbench::scratch("qv-history-bench") + "/p" + std::to_string(packages);
    const std::string cdinst = base + ".dat";
    FILE *f = std::fopen(cdinst.c_str(), "w");
    if (!f)
        std::abort();
    std::fputs("SetupVersion 1\nProductName Quorvanta\nProductVersion 2.0\nProductDirectory Quorvanta\n"
               "LogFile setup.log\nHistoryFile quorvanta\n",
               f);
    for (int p = 0; p < packages; ++p)
        std::fprintf(f, "Package \"pkg%06d\" \"Package number %d\"\nCopy \"lib/p%06d.so\" \"\" 1000 0644 0 0\n", p,
                     p, p);
    const int perSuite = packages / kSuites;
    for (int s = 0; s < kSuites; ++s) {
        std::fprintf(f, "Suite \"Suite%03d\"", s);
        for (int p = s * perSuite; p < (s + 1) * perSuite; ++p)
            std::fprintf(f, " pkg%06d%s", p, (p + 1) % 16 == 0 && p + 1 < (s + 1) * perSuite ? " \\\n" : "");
        std::fputs("\n", f);
    }
    std::fputs("ConfigBegin\n1 MainDlg \"Install\" \"Choose\" \"\" 2\n2 CusDlg \"Custom\" \"All suites\" \"\" 1", f);
    for (int s = 0; s < kSuites; ++s)
        std::fprintf(f, " %d", 10 + s);
    std::fputs("\n", f);
    for (int s = 0; s < kSuites; ++s)
        std::fprintf(f, "%d Suite \"Suite%03d\" \"Suite number %d\" \"\" 1\n", 10 + s, s, s);
    std::fputs("ConfigEnd\n", f);
    std::fclose(f);

    Installation &made_now = made[packages];
    made_now.cd = QV_instReadCDinst(cdinst.c_str(), nullptr);
    if (!made_now.cd)
        std::abort();
    CDInstPtr = made_now.cd;
    made_now.options = QV_instGetConfigFromId(made_now.cd, 2);
    made_now.dest = base + "-dest";
    QV_InitHistoryFile(made_now.dest.c_str(), "Quorvanta", "2.0");
    for (int walk = 0; walk < 2; ++walk)
        for (const _QV_InstSuiteList *s = made_now.cd->firstSuite; s; s = s->next)
            QV_UpdateHistoryFile(made_now.dest.c_str(), s);
    made_now.history = made_now.dest + "/SetupFiles/.quorvanta.his";
    return made_now;
}

// The state a fresh start has before the reader runs: nothing installed.
void forget_installed(_QV_instCDinst *cd)
{
    for (_QV_InstPackNode *n = cd->firstPack; n; n = n->next)
        n->package->installed = 0;
    for (_QV_InstSuiteList *s = cd->firstSuite; s; s = s->next)
        s->installed = 0;
}

void BM_ReadHistory(benchmark::State &state)
{
    const int packages = int(state.range(0));
    const Installation &inst = installation(packages);
    CDInstPtr = inst.cd;
    for (auto _ : state) {
        state.PauseTiming();
        forget_installed(inst.cd);
        state.ResumeTiming();
        int found = QV_UpdateSuiteHistory(inst.cd, inst.options, inst.cd->firstSuite, inst.dest.c_str(), "Quorvanta",
                                          "2.0");
        if (found != 1 || !inst.cd->lastSuite->installed) {
            state.SkipWithError("the history was not applied");
            return;
        }
    }
    state.SetComplexityN(packages);
    state.counters["packages"] = packages;
    state.counters["history_lines"] = double(packages) * 2 + 4;
}
BENCHMARK(BM_ReadHistory)->Apply(qvbench::eighth_to_full<kFullPackages>);

// The floor: the same history file's lines, read and dropped.
void BM_ReadHistoryLinesOnly(benchmark::State &state)
{
    const int packages = int(state.range(0));
    const Installation &inst = installation(packages);
    for (auto _ : state) {
        FILE *f = std::fopen(inst.history.c_str(), "r");
        if (!f) {
            state.SkipWithError("no history file");
            return;
        }
        std::string line;
        size_t lines = 0;
        while (qv::read_line(f, line, qv::kKeptLineMax))
            ++lines;
        std::fclose(f);
        benchmark::DoNotOptimize(lines);
    }
    state.SetComplexityN(packages);
}
BENCHMARK(BM_ReadHistoryLinesOnly)->Apply(qvbench::eighth_to_full<kFullPackages>);

} // namespace
