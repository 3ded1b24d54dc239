// The graphical parent's reader while an install child streams 100,000
// protocol lines into the pipe: lines handled per second, the parent's CPU
// time, and how late a 10 ms timer of the event loop fires meanwhile (the
// dialog stays responsive). Beside it, the same stream drained with plain
// read() calls, the floor any reader pays for the pipe.
//
// Needs an X server: tests/run-with-xvfb.sh build/bench/progress_bench
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <benchmark/benchmark.h>

#include <X11/Intrinsic.h>

#include "engine/driver.h"
#include "engine/install.h"
#include "wizard/glue.h"

namespace {

constexpr int kLines = 100000;

using Clock = std::chrono::steady_clock;

// A stand-in install child: each byte on `go` asks for one stream of
// kLines progress lines of 10240-byte blocks on `out`, the files named
// in turn from as many names as the byte's value: 1, the blocks of one
// large copy (the file label is set once); 50, a new file on every line
// (the label changes every time, as when archive members stream by).
struct Streamer {
    int go[2];
    int out[2];
    pid_t pid = -1;

    Streamer()
    {
        if (pipe(go) != 0 || pipe(out) != 0)
            std::abort();
        pid = fork();
        if (pid == 0) {
            close(go[1]);
            close(out[0]);
            std::string blocks[256];
            unsigned char names;
            while (read(go[0], &names, 1) == 1) {
                std::string &block = blocks[names];
                const bool fresh = block.empty() && names > 0;
                for (int i = 0; fresh && i < kLines; ++i)
                    block += "+10240 /cdrom/Product/lib/library" + std::to_string(i % names) +
                             ".so /usr/Quorvanta/Product/lib/library" + std::to_string(i % names) + ".so\n";
                const char *p = block.data();
                size_t left = block.size();
                while (left > 0) {
                    ssize_t n = write(out[1], p, left);
                    if (n <= 0)
                        _exit(1);
                    p += n;
                    left -= static_cast<size_t>(n);
                }
            }
            _exit(0);
        }
        close(go[0]);
    }
    void start(unsigned char names) const
    {
        if (write(go[1], &names, 1) != 1)
            std::abort();
    }
};

struct XSetup {
    XtAppContext app;
    Widget main;
};

XSetup &x()
{
    static XSetup s = [] {
        XSetup setup{};
        static char name[] = "progress_bench";
        static char *argv[] = {name, nullptr};
        int argc = 1;
        Widget top = XtVaAppInitialize(&setup.app, "QUORVANTA Setup", nullptr, 0, &argc, argv, nullptr, nullptr);
        if (!top) {
            std::fputs("progress_bench: no X server (run it through tests/run-with-xvfb.sh)\n", stderr);
            std::exit(2);
        }
        RegisterBxConverters(setup.app);
        setup.main = QV_instCreateMainTopLevelShell(top);
        return setup;
    }();
    return s;
}

// A 10 ms timer that records how late it fires.
struct LagProbe {
    Clock::time_point due;
    double worstMs = 0;
    bool running = true;

    static void fire(XtPointer data, XtIntervalId *)
    {
        auto *probe = static_cast<LagProbe *>(data);
        const double lag = std::chrono::duration<double, std::milli>(Clock::now() - probe->due).count();
        probe->worstMs = std::max(probe->worstMs, lag);
        if (probe->running)
            probe->arm();
    }
    void arm()
    {
        due = Clock::now() + std::chrono::milliseconds(10);
        XtAppAddTimeOut(x().app, 10, fire, this);
    }
};

void BM_ProgressReader(benchmark::State &state)
{
    XSetup &setup = x();
    static Streamer child;
    static bool started = false;
    if (!started) {
        started = true;
        SetProgressBarTotalSize(static_cast<uint64_t>(kLines) * 10240);
        QV_instCreateProgressBar(setup.main, child.out[0], child.pid);
        XtManageChild(mbProgress);
    }
    qv::InstallRun &run = qv::install_run();
    LagProbe probe;
    probe.arm();
    for (auto _ : state) {
        // Each stream is a whole run for the bar: 0 to 100 percent.
        run.done = 0;
        const uint64_t target = static_cast<uint64_t>(kLines) * 10240;
        child.start(static_cast<unsigned char>(state.range(0)));
        while (run.done < target)
            XtAppProcessEvent(setup.app, XtIMAll);
    }
    probe.running = false;
    state.counters["lines_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kLines,
                                                       benchmark::Counter::kIsRate);
    state.counters["worst_timer_lag_ms"] = probe.worstMs;
}
BENCHMARK(BM_ProgressReader)->Arg(1)->Arg(50)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same stream, drained with read() and counted, nothing else done.
void BM_PlainRead(benchmark::State &state)
{
    static Streamer child;
    char buf[4999];
    for (auto _ : state) {
        child.start(50);
        long lines = 0;
        while (lines < kLines) {
            ssize_t n = read(child.out[0], buf, sizeof buf);
            if (n <= 0)
                std::abort();
            for (const char *p = buf; (p = static_cast<const char *>(std::memchr(p, '\n', buf + n - p))); ++p)
                ++lines;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.counters["lines_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kLines,
                                                       benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
