// The installer's copy and archive extraction side by side with plain cp and
// tar on the same input in the same run: a 1 GiB file, 20,000 small files,
// and a tar of them. The installer's runs write their protocol lines into a
// pipe that a thread drains, as the parent process does during an
// installation.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/cdinst.h"
#include "engine/fileops.h"
#include "engine/handmade_model.h"

extern char **environ;

namespace {

constexpr size_t kBigFile = size_t{1} << 30;
constexpr int kSmallFiles = 20000;

int run(const std::vector<std::string> &argv, const char *cwd = nullptr)
{
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    std::string saved;
    if (cwd) {
        char buf[4096];
        saved = getcwd(buf, sizeof buf) ? buf : "/";
        if (chdir(cwd) != 0)
            return -1;
    }
    pid_t pid;
    int rc = posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ);
    if (cwd && chdir(saved.c_str()) != 0)
        return -1;
    if (rc != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The inputs, made once per run in a scratch directory below $TMPDIR.
struct Inputs {
    std::string dir;
    std::string source;          // holds big.bin, small.tar
    std::vector<std::string> names;
    std::vector<int64_t> sizes;
    std::vector<char *> namePtrs;
    _QV_InstTar tar{};

    Inputs()
    {
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/qv-fileops-bench-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (!mkdtemp(buf.data()))
            std::abort();
        dir = buf.data();
        source = dir + "/src";
        mkdir(source.c_str(), 0755);

        // 1 GiB of varied bytes.
        int fd = open((source + "/big.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char> block(1 << 20);
        for (size_t done = 0; done < kBigFile; done += block.size()) {
            for (size_t i = 0; i < block.size(); i += 64)
                block[i] = static_cast<char>((done >> 20) + i);
            if (write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size()))
                std::abort();
        }
        close(fd);

        // 20,000 files of 100 to 4,000 bytes in 100 folders, as one archive.
        std::string content = dir + "/content";
        mkdir(content.c_str(), 0755);
        std::string text(4000, 'q');
        for (int d = 0; d < 100; ++d) {
            std::string folder = "d" + std::to_string(d);
            mkdir((content + "/" + folder).c_str(), 0755);
            names.push_back(folder + "/");
            sizes.push_back(1);
            for (int f = 0; f < kSmallFiles / 100; ++f) {
                std::string name = folder + "/f" + std::to_string(f);
                size_t size = 100 + (static_cast<size_t>(d) * 37 + static_cast<size_t>(f) * 101) % 3900;
                int out = open((content + "/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (write(out, text.data(), size) != static_cast<ssize_t>(size))
                    std::abort();
                close(out);
                names.push_back(name);
                sizes.push_back(static_cast<int64_t>(size));
            }
        }
        std::vector<std::string> argv{"tar", "-cf", source + "/small.tar"};
        for (int d = 0; d < 100; ++d)
            argv.push_back("d" + std::to_string(d));
        if (run(argv, content.c_str()) != 0)
            std::abort();
        for (std::string &n : names)
            namePtrs.push_back(n.data());
        tar.file = const_cast<char *>("small.tar");
        tar.count = static_cast<int32_t>(names.size());
        tar.sizes = sizes.data();
        tar.names = namePtrs.data();
    }
    ~Inputs() { run({"rm", "-rf", dir}); }
};

Inputs &inputs()
{
    static Inputs in;
    return in;
}

// The protocol pipe, drained by a thread like the parent reads it.
class ProtocolPipe {
public:
    ProtocolPipe()
    {
        int fds[2];
        if (pipe(fds) != 0)
            std::abort();
        stream_ = fdopen(fds[1], "w");
        reader_ = std::thread([fd = fds[0]] {
            char buf[65536];
            while (read(fd, buf, sizeof buf) > 0) {
            }
            close(fd);
        });
    }
    ~ProtocolPipe()
    {
        std::fclose(stream_);
        reader_.join();
    }
    FILE *stream() { return stream_; }

private:
    FILE *stream_;
    std::thread reader_;
};

void BM_CopyFile_Installer(benchmark::State &state)
{
    Inputs &in = inputs();
    qvtest::HandmadeModel model("/nonexistent", "Prod", "Prod", in.source.c_str());
    qvtest::Loaded loaded(model.cd);
    ProtocolPipe proto;
    const std::string target = in.dir + "/copy.bin";
    for (auto _ : state) {
        if (QV_instCopyFile("big.bin", target.c_str(), 0644, static_cast<int64_t>(kBigFile), proto.stream(), 0) != 0)
            state.SkipWithError("copy failed");
        state.PauseTiming();
        unlink(target.c_str());
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBigFile));
}
BENCHMARK(BM_CopyFile_Installer)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_CopyFile_cp(benchmark::State &state)
{
    Inputs &in = inputs();
    const std::string target = in.dir + "/copy.bin";
    for (auto _ : state) {
        if (run({"cp", in.source + "/big.bin", target}) != 0)
            state.SkipWithError("cp failed");
        state.PauseTiming();
        unlink(target.c_str());
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBigFile));
}
BENCHMARK(BM_CopyFile_cp)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// Fills a fresh folder per iteration (made outside the timing) with
// fill(folder); failure names the step that failed.
template <class Fill> void fresh_folder_runs(benchmark::State &state, const char *failure, Fill fill)
{
    const std::string into = inputs().dir + "/into/";
    for (auto _ : state) {
        state.PauseTiming();
        run({"rm", "-rf", into});
        mkdir(into.c_str(), 0755);
        state.ResumeTiming();
        if (!fill(into))
            state.SkipWithError(failure);
    }
}

// The 20,000 small files copied one by one, as a package of many Copy
// operations installs them, beside cp -r of their folders: the cost per
// file shows here.
void BM_CopySmallFiles_Installer(benchmark::State &state)
{
    Inputs &in = inputs();
    const std::string content = in.dir + "/content";
    qvtest::HandmadeModel model("/nonexistent", "Prod", "Prod", content.c_str());
    qvtest::Loaded loaded(model.cd);
    ProtocolPipe proto;
    fresh_folder_runs(state, "copy failed", [&](const std::string &into) {
        for (const std::string &name : in.names) {
            if (name.back() != '/' &&
                QV_instCopyFile(name.c_str(), (into + name).c_str(), 0644, 0, proto.stream(), 0) != 0)
                return false;
        }
        return true;
    });
}
BENCHMARK(BM_CopySmallFiles_Installer)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_CopySmallFiles_cp(benchmark::State &state)
{
    Inputs &in = inputs();
    fresh_folder_runs(state, "cp failed",
                      [&](const std::string &into) { return run({"cp", "-r", in.dir + "/content/.", into}) == 0; });
}
BENCHMARK(BM_CopySmallFiles_cp)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// The small-file archive extracted.
void BM_Untar_Installer(benchmark::State &state)
{
    Inputs &in = inputs();
    ProtocolPipe proto;
    fresh_folder_runs(state, "extraction failed", [&](const std::string &into) {
        return QV_instUntar(&in.tar, in.source.c_str(), into.c_str(), 0, 0, proto.stream(), QV_InstModeInstall) == 0;
    });
}
BENCHMARK(BM_Untar_Installer)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_Untar_tar(benchmark::State &state)
{
    Inputs &in = inputs();
    fresh_folder_runs(state, "extraction failed", [&](const std::string &into) {
        return run({"tar", "--no-same-owner", "-xBof", in.source + "/small.tar"}, into.c_str()) == 0;
    });
}
BENCHMARK(BM_Untar_tar)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

} // namespace
