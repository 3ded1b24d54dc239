// Registry values and component registration through the runtime's tools
// (the stand-ins of examples/runtime, installed into a scratch destination).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "engine/install.h"
#include "support/env.h"
#include "support/testutil.h"

using qvtest::EnvVar;
using qvtest::ScratchDir;

namespace {

// A protocol stream whose lines the test reads back.
class Pipe {
public:
    Pipe() : stream_(open_memstream(&buf_, &len_)) {}
    ~Pipe()
    {
        std::fclose(stream_);
        std::free(buf_);
    }
    FILE *get() { return stream_; }
    std::string text()
    {
        std::fflush(stream_);
        return std::string(buf_, len_);
    }

private:
    char *buf_ = nullptr;
    size_t len_ = 0;
    FILE *stream_;
};

// A folder name the user may type, which the shell must take literally:
// were it read as shell text, it would split and run commands that leave
// the file named by QV_MARK.
const std::string kOddFolder = "my dest $(touch \"$QV_MARK\") `touch \"$QV_MARK\"` 'q' \"dq\" back\\slash";

// A product destination (in the odd folder) holding the runtime.
std::string install_runtime(const ScratchDir &tmp)
{
    std::string dest = tmp / kOddFolder + "/Prod/";
    qvtest::make_dirs(dest);
    auto r = qvtest::run({"/bin/cp", "-a", qvtest::harness("QV_SOURCE_DIR") + "/examples/runtime/Application", dest});
    EXPECT_EQ(r.status, 0) << r.err;
    return dest;
}

// Self-registration keeps process-wide state that nothing resets, so each
// scenario runs in a child of its own; the body returns "" or what failed.
std::string in_child(const std::function<std::string()> &body)
{
    int fds[2];
    if (pipe(fds) != 0)
        return "pipe failed";
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string failure = body();
        if (write(fds[1], failure.data(), failure.size()) < 0)
            _exit(2);
        _exit(0);
    }
    close(fds[1]);
    std::string failure;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        failure.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        failure += " (child did not exit cleanly)";
    return failure;
}

std::string expect_eq(const std::string &what, const std::string &got, const std::string &want)
{
    return got == want ? "" : what + ": got [" + got + "], want [" + want + "]\n";
}

} // namespace

// With DISPLAY set the registry tool really runs: the destination arrives
// as it is, the description's texts as the shell reads them inside the
// template's double quotes.
TEST(RegData, ValuesReachTheRegistryAsTheDescriptionMeansThem)
{
    ScratchDir tmp("reg");
    std::string dest = install_runtime(tmp);
    EnvVar display("DISPLAY", ":99");
    EnvVar mark("QV_MARK", (tmp / "ran").c_str());
    struct Row {
        const char *root, *key, *name, *value;
        std::string storedKey, file, stored;
    } rows[] = {
        {"HKEY_LOCAL_MACHINE", "Software\\\\Quorvanta\\\\Demo\\\\2.4", "InstallDir", "%dbin",
         "Software\\Quorvanta\\Demo\\2.4", "InstallDir", dest + "bin"},
        {"HKEY_CURRENT_USER", "Software\\\\Quorvanta", "Shell", "say \\\"hi\\\" from $QV_HOME and  %d",
         "Software\\Quorvanta", "Shell", "say \"hi\" from " + dest + " and  " + dest},
        {"HKEY_LOCAL_MACHINE", "Software\\\\Quorvanta", "", "default", "Software\\Quorvanta", "@", "default"},
    };
    for (const Row &row : rows) {
        Pipe pipe;
        EXPECT_EQ(QV_instRegData(dest.c_str(), row.root, row.key, row.name, row.value, pipe.get()), 0) << row.value;
        EXPECT_EQ(pipe.text(), "") << row.value;
        EXPECT_EQ(qvtest::try_read_file(dest + "Application/registry/" + row.root + "/" + row.storedKey + "/" +
                                        row.file),
                  row.stored);
    }
    EXPECT_FALSE(qvtest::exists(tmp / "ran"));
}

TEST(RegData, FailuresAreReportedOnThePipe)
{
    ScratchDir tmp("reg");
    std::string dest = install_runtime(tmp);
    EnvVar display("DISPLAY", ":99");
    {
        // The stand-in refuses to leave the registry; its exit status counts.
        Pipe pipe;
        EXPECT_EQ(QV_instRegData(dest.c_str(), "HKEY_LOCAL_MACHINE", "../outside", "v", "%d", pipe.get()), 101);
        EXPECT_EQ(pipe.text(),
                  "-1 Error: adding rootkey=HKEY_LOCAL_MACHINE keyname=../outside, keyvalue=v, value=" + dest + "\n");
    }
    {
        Pipe pipe;
        std::string bare = tmp / "no runtime/";
        EXPECT_EQ(QV_instRegData(bare.c_str(), "R", "K", "V", "x", pipe.get()), 101);
        EXPECT_EQ(pipe.text(), "-1 Error: adding rootkey=R keyname=K, keyvalue=V, value=x\n");
    }
    {
        Pipe pipe;
        EXPECT_EQ(QV_instRegData(nullptr, "R", "K", "V", "x", pipe.get()), 101);
        EXPECT_EQ(QV_instRegData(dest.c_str(), "R", "K", nullptr, "x", pipe.get()), 101);
        EXPECT_EQ(QV_instRegData(dest.c_str(), "R", "K", "V", nullptr, pipe.get()), 101);
        std::string internal = "-1 Error: internal error in QV_instAddRegData (0)\n";
        EXPECT_EQ(pipe.text(), internal + internal + internal);
    }
}

TEST(RegData, WithoutDisplayOnlyWarns)
{
    ScratchDir tmp("reg");
    std::string dest = install_runtime(tmp);
    EnvVar display("DISPLAY", nullptr);
    Pipe pipe;
    EXPECT_EQ(QV_instRegData(dest.c_str(), "R", "K", "V", "x", pipe.get()), 0);
    EXPECT_EQ(pipe.text(), "Warning: (no display) can't add data to registry\n");
    EXPECT_FALSE(qvtest::exists(dest + "Application/registry"));
}

// Pass 3 collects, the first call of pass 4 runs tavreg once with every
// module, later calls do nothing.
TEST(SelfReg, ModulesOfPassThreeAreRegisteredInOneRun)
{
    ScratchDir tmp("reg");
    std::string dest = install_runtime(tmp);
    std::string common = tmp / kOddFolder + "/Quorvanta/";
    qvtest::write_file(dest + "lib/a.so", "");
    qvtest::write_file(dest + "lib/b c$x.so", "");
    std::string failure = in_child([&]() -> std::string {
        setenv("DISPLAY", ":99", 1);
        setenv("QV_MARK", (tmp / "ran").c_str(), 1);
        Pipe pipe;
        std::string f;
        for (QV_CustomPass pass : {QV_PassBeforeFiles, QV_PassFiles}) {
            if (QV_instSelfReg(common.c_str(), dest.c_str(), "lib/a.so", pipe.get(), pass) != 0)
                f += "collecting a failed\n";
            // A pattern in a module name still matches.
            if (QV_instSelfReg(common.c_str(), dest.c_str(), "lib/b*.so", pipe.get(), pass) != 0)
                f += "collecting b failed\n";
        }
        for (int i = 0; i < 2; ++i)
            if (QV_instSelfReg(common.c_str(), dest.c_str(), "lib/a.so", pipe.get(), QV_PassRegistry) != 0)
                f += "registration failed\n";
        QV_instSelfReg(common.c_str(), dest.c_str(), "lib/late.so", pipe.get(), QV_PassFiles);
        QV_instSelfReg(common.c_str(), dest.c_str(), "lib/late.so", pipe.get(), QV_PassRegistry);
        f += expect_eq("pipe", pipe.text(), "");
        return f;
    });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(qvtest::read_file(dest + "Application/registry/tavreg.log"),
              "run 2\ncommon " + common + "\nmodule " + dest + "lib/a.so\nmodule " + dest + "lib/b c$x.so\n");
    EXPECT_FALSE(qvtest::exists(tmp / "ran"));
}

TEST(SelfReg, WithoutDisplayWarnsOnceAndRunsNothing)
{
    ScratchDir tmp("reg");
    std::string dest = install_runtime(tmp);
    std::string failure = in_child([&]() -> std::string {
        unsetenv("DISPLAY");
        Pipe pipe;
        QV_instSelfReg("/c/", dest.c_str(), "lib/a.so", pipe.get(), QV_PassFiles);
        QV_instSelfReg("/c/", dest.c_str(), "lib/b.so", pipe.get(), QV_PassFiles);
        std::string f;
        if (QV_instSelfReg("/c/", dest.c_str(), "lib/b.so", pipe.get(), QV_PassRegistry) != 0)
            f += "warning is not a failure\n";
        setenv("DISPLAY", ":99", 1);
        QV_instSelfReg("/c/", dest.c_str(), "lib/a.so", pipe.get(), QV_PassRegistry);
        return f + expect_eq("pipe", pipe.text(), "Warning: (no display) can't register module lib/b.so\n");
    });
    EXPECT_EQ(failure, "");
    EXPECT_FALSE(qvtest::exists(dest + "Application/registry/tavreg.log"));
}

TEST(SelfReg, InternalErrors)
{
    std::string failure = in_child([]() -> std::string {
        Pipe pipe;
        std::string f;
        if (QV_instSelfReg("/c/", nullptr, "m.so", pipe.get(), QV_PassFiles) != 101)
            f += "missing destination accepted\n";
        if (QV_instSelfReg("/c/", "/d/", nullptr, pipe.get(), QV_PassRegistry) != 101)
            f += "missing module accepted\n";
        // Nothing collected: pass 4 fails once, then the state is done.
        if (QV_instSelfReg("/c/", "/d/", "m.so", pipe.get(), QV_PassRegistry) != 101)
            f += "empty collection accepted\n";
        if (QV_instSelfReg("/c/", "/d/", "m.so", pipe.get(), QV_PassRegistry) != 0)
            f += "second pass-4 call acted\n";
        return f + expect_eq("pipe", pipe.text(),
                             "-1 Error: internal error in QV_instRegisterModule (0)\n"
                             "-1 Error: internal error in QV_instRegisterModule (0)\n"
                             "-1 Error: internal error in QV_instRegisterModule (4)\n");
    });
    EXPECT_EQ(failure, "");
}
