// A command-line installation of a generated medium of about 1 GiB (one
// large file, 20,000 small files in tar archives, a bzip2-compressed
// archive) beside the plain cp, tar and bunzip2 commands that put the same
// files in place. Besides the wall time, each run reports the CPU time of
// the installer's parent process alone and of everything below it.
//
// The medium is generated once, on first use, below $QV_BENCH_SCRATCH
// (default: a directory in /tmp), and removed when the program ends.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

extern char **environ;

namespace {

constexpr size_t kLargeFile = 600u << 20;   // one Copy
constexpr int kArchives = 4;                 // plain tar archives ...
constexpr int kFilesPerArchive = 5000;       // ... of this many small files
constexpr size_t kSmallFile = 16u << 10;     // average size of a small file
constexpr size_t kCompressedContent = 64u << 20; // inside the .tar.bz2

std::string g_scratch;

int sh(const std::string &command)
{
    return std::system(command.c_str());
}

void fill(const std::string &path, size_t size, std::mt19937_64 &rng, bool compressible)
{
    std::ofstream out(path, std::ios::binary);
    std::vector<char> block(1 << 16);
    for (size_t done = 0; done < size;) {
        for (size_t i = 0; i < block.size(); i += 8) {
            uint64_t v = rng();
            if (compressible)
                v &= 0x0f0f0f0f0f0f0f0full; // text-like entropy, so bzip2 has work to do
            std::memcpy(&block[i], &v, 8);
        }
        size_t n = std::min(block.size(), size - done);
        out.write(block.data(), static_cast<std::streamsize>(n));
        done += n;
    }
}

// The description's archive fields: total, then each member with its size.
std::string archive(const std::string &medium, const std::string &name, const std::string &stage,
                    const std::vector<std::pair<std::string, size_t>> &members, bool compressed)
{
    std::ostringstream fields;
    size_t total = 0;
    std::string list = stage + ".list";
    std::ofstream names(list);
    for (const auto &[member, size] : members) {
        names << member << "\n";
        fields << " \\\n \"" << member << "\" " << size;
        total += size;
    }
    names.close();
    std::string cmd = "tar -C '" + stage + "' --no-recursion -cf - -T '" + list + "'";
    if (compressed)
        cmd += " | bzip2 -c";
    cmd += " > '" + medium + "/" + name + "'";
    if (sh(cmd) != 0)
        std::fprintf(stderr, "cmdline_bench: packing %s failed\n", name.c_str());
    return std::to_string(total) + fields.str();
}

void remove_scratch()
{
    if (!g_scratch.empty())
        sh("rm -rf '" + g_scratch + "'");
}

void generate()
{
    if (!g_scratch.empty())
        return;
    const char *base = std::getenv("QV_BENCH_SCRATCH");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/qv-cmdline-bench.XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    g_scratch = mkdtemp(buf.data());
    std::atexit(remove_scratch);
    std::string medium = g_scratch + "/medium";
    std::string stage = g_scratch + "/stage";
    sh("mkdir -p '" + medium + "/SetupFiles' '" + stage + "'");

    std::mt19937_64 rng(1125);
    std::ostringstream body;
    body << "SetupVersion 1\nProductName Bench\nProductVersion 1\nProductDirectory Bench\nLogFile setup.log\n";
    fill(medium + "/large.bin", kLargeFile, rng, false);
    body << "Package \"large\" \"\"\nCopy \"large.bin\" \"\" " << kLargeFile << " 0644 0 0\n";

    body << "Package \"small\" \"\"\n";
    std::uniform_int_distribution<size_t> sizes(kSmallFile / 2, kSmallFile * 3 / 2);
    for (int a = 0; a < kArchives; ++a) {
        std::string dir = "set" + std::to_string(a);
        std::vector<std::pair<std::string, size_t>> members;
        for (int d = 0; d < kFilesPerArchive / 100; ++d) {
            std::string sub = dir + "/d" + std::to_string(d);
            sh("mkdir -p '" + stage + "/" + sub + "'");
            members.emplace_back(sub, 0);
            for (int f = 0; f < 100; ++f) {
                std::string name = sub + "/f" + std::to_string(f) + ".dat";
                size_t size = sizes(rng);
                fill(stage + "/" + name, size, rng, true);
                members.emplace_back(name, size);
            }
        }
        body << "Untar \"" << dir << ".tar\" " << archive(medium, dir + ".tar", stage, members, false) << "\n";
    }

    std::vector<std::pair<std::string, size_t>> packed;
    sh("mkdir -p '" + stage + "/packed'");
    packed.emplace_back("packed", 0);
    for (int f = 0; f < 16; ++f) {
        std::string name = "packed/p" + std::to_string(f) + ".dat";
        fill(stage + "/" + name, kCompressedContent / 16, rng, true);
        packed.emplace_back(name, kCompressedContent / 16);
    }
    body << "Package \"packed\" \"\"\nUntarZ \"packed.tar.bz2\" "
         << archive(medium, "packed.tar.bz2", stage, packed, true) << "\n";

    body << "Suite \"All\" large small packed\nConfigBegin\n3 Suite \"All\" \"\" \"\" 1\nConfigEnd\n";
    std::ofstream(medium + "/cdinst.dat") << body.str();
    sh("rm -rf '" + stage + "'");
}

struct Cpu {
    double self = 0;     // the process itself
    double children = 0; // everything it waited for
};

// Runs a command and, before reaping it, reads its CPU times from /proc
// (a zombie still has them): its own and its waited-for descendants'.
int run_measured(const std::vector<std::string> &argv, Cpu &cpu)
{
    std::vector<char *> args;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        return -1;
    posix_spawn_file_actions_destroy(&actions);
    siginfo_t info;
    waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::vector<std::string> f;
    for (std::string w; fields >> w;)
        f.push_back(w);
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    if (f.size() > 14) {
        // After ')': state is field 3 of the line, utime 14 .. cstime 17.
        cpu.self = (std::stod(f[11]) + std::stod(f[12])) / tick;
        cpu.children = (std::stod(f[13]) + std::stod(f[14])) / tick;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs the command once per iteration into an empty root and reports the
// CPU times of the command itself and of everything below it.
void measure(benchmark::State &state, const std::string &root, const std::vector<std::string> &argv)
{
    double self = 0, children = 0;
    for (auto _ : state) {
        state.PauseTiming();
        sh("rm -rf '" + root + "' && mkdir -p '" + root + "' && sync");
        state.ResumeTiming();
        Cpu cpu;
        if (run_measured(argv, cpu) != 0) {
            // The timing calls must not follow an error in the same loop.
            state.SkipWithError(("the command failed: " + argv[0]).c_str());
            break;
        }
        self += cpu.self;
        children += cpu.children;
    }
    if (state.error_occurred())
        return;
    double n = static_cast<double>(state.iterations());
    state.counters["parent_cpu_s"] = self / n;
    state.counters["below_cpu_s"] = children / n;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(kLargeFile + kArchives * kFilesPerArchive * kSmallFile +
                                                 kCompressedContent));
}

void BM_SetupCmdline(benchmark::State &state)
{
    const char *setup = std::getenv("QV_SETUP");
    // By default the program built beside this benchmark (build/setup).
    std::string program = setup && *setup
                              ? setup
                              : std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "setup";
    generate();
    std::string root = g_scratch + "/setup-root";
    measure(state, root, {program, "-cmdline", "-noroot", "-from", g_scratch + "/medium/cdinst.dat", "-dest", root});
}

// The plain tools; with state.range(0) set, followed by a sync of the
// destination's file system, as setup does before it records the
// installation in its history.
void BM_PlainTools(benchmark::State &state)
{
    generate();
    std::string root = g_scratch + "/plain-root";
    std::string medium = g_scratch + "/medium";
    std::string script = "set -e; d='" + root + "/Bench'; mkdir -p \"$d\"; cp '" + medium + "/large.bin' \"$d/\"; ";
    for (int a = 0; a < kArchives; ++a)
        script += "tar -C \"$d\" -xBof '" + medium + "/set" + std::to_string(a) + ".tar'; ";
    script += "bunzip2 -c '" + medium + "/packed.tar.bz2' | tar -C \"$d\" -xBof -";
    if (state.range(0))
        script += "; sync -f \"$d\"";
    measure(state, root, {"/bin/sh", "-c", script});
}

BENCHMARK(BM_SetupCmdline)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PlainTools)->ArgName("synced")->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);

} // namespace

