// Command-line installations whose install child reports problems: error
// lines, warnings, over-long lines, a child that dies, a parent that dies.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "e2e/medium.h"
#include "engine/install.h"

using namespace qvtest;

namespace {

class CmdlineErrors : public ::testing::Test {
protected:
    ScratchDir scratch{"cmderr"};
    Medium medium{scratch / "medium"};
    std::string root = scratch / "root";
    std::string home = scratch / "home";
    std::string dest = root + "/QvTest";

    void SetUp() override
    {
        make_dirs(root);
        make_dirs(home);
        medium.module("drv_probe");
    }

    // One suite, configuration 3, whose package runs the given operations
    // after a first file that always installs.
    void build(const std::string &operations)
    {
        medium.file("ok.txt", "ok\n");
        medium.description("Package \"p\" \"\"\nCopy \"ok.txt\" \"\" 3 0644 0 0\n" + operations +
                           "Suite \"S\" p\nConfigBegin\n3 CusDlg \"All\" \"\" \"\" 1 4\n4 Suite \"S\" \"\" \"\" 1\n"
                           "ConfigEnd\n");
    }

    std::string log() const { return read_file(dest + "/SetupFiles/install.log"); }
};

TEST_F(CmdlineErrors, ErrorLinesArePrintedAndTheRunFails)
{
    build("Function \"drv_fail\" \"drv_probe.so\" \"first problem\"\n"
          "Function \"drv_fail\" \"drv_probe.so\" \"second problem\"\n");
    RunResult r = install(medium.cdinst(), root, home);
    EXPECT_EQ(r.status, 1) << "a failed installation is not reported as success";
    EXPECT_NE(r.err.find("Error: drv_fail: first problem\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Error: drv_fail: second problem\n"), std::string::npos) << r.err;
    ASSERT_GE(r.out.size(), 2u);
    EXPECT_EQ(r.out.substr(r.out.size() - 2), "\r\n");
    // The child carries on after each error: the rest is installed.
    EXPECT_EQ(read_file(dest + "/ok.txt"), "ok\n");
    EXPECT_NE(log().find("Error during the installation\n"), std::string::npos);
}

TEST_F(CmdlineErrors, MissingSourceFileIsSkippedAndTheRunFails)
{
    build("Copy \"not-on-the-medium.txt\" \"\" 10 0644 0 0\n");
    RunResult r = install(medium.cdinst(), root, home);
    // Without a display the source question prints its text and takes
    // Continue: the file is skipped without an error line, and only the
    // "# Error during installation" marker tells.
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Copyfile can't open file: not-on-the-medium.txt"), std::string::npos) << r.out;
    EXPECT_FALSE(exists(dest + "/not-on-the-medium.txt"));
    EXPECT_EQ(read_file(dest + "/ok.txt"), "ok\n");
}

TEST_F(CmdlineErrors, CleanRunExitsWithZero)
{
    build("");
    RunResult r = install(medium.cdinst(), root, home);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(log().find("Installation Completed\n"), std::string::npos);
}

TEST_F(CmdlineErrors, WarningsArePrintedWithoutFailingTheRun)
{
    build("Function \"drv_warn\" \"drv_probe.so\" \"careful\"\n");
    RunResult r = install(medium.cdinst(), root, home);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Warning: drv_warn: careful\n"), std::string::npos) << r.err;
    // Both warning forms: "0 <text>" and "Warning: <text>".
    size_t first = r.err.find("Warning: drv_warn: careful\n");
    EXPECT_NE(r.err.find("Warning: drv_warn: careful\n", first + 1), std::string::npos) << r.err;
}

TEST_F(CmdlineErrors, OverlongLinesAreCutAndReadOnce)
{
    build("Function \"drv_longline\" \"drv_probe.so\" \"after\"\n"
          "Function \"drv_fail\" \"drv_probe.so\" \"after the long lines\"\n");
    RunResult r = install(medium.cdinst(), root, home);
    EXPECT_EQ(r.status, 1);
    std::vector<std::string> errors;
    for (const std::string &line : lines_of(r.err))
        if (line.rfind("Error: ", 0) == 0)
            errors.push_back(line);
    ASSERT_EQ(errors.size(), 2u) << r.err.substr(0, 300);
    // "-1 " and the text make the longest line the protocol allows.
    EXPECT_EQ(errors[0], "Error: " + std::string(QV_PROTOCOL_LINE_MAX - 1 - 3, 'x'));
    EXPECT_EQ(errors[1], "Error: drv_fail: after the long lines");
}

TEST_F(CmdlineErrors, ChildThatDiesIsAFailure)
{
    build("Function \"drv_crash\" \"drv_probe.so\" \"\"\n");
    RunResult r = install(medium.cdinst(), root, home);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error: the installation did not complete\n"), std::string::npos) << r.err;
}

// The child's state from /proc: 0 when it is gone (or a zombie).
char process_state(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return 0;
    size_t close = line.rfind(')');
    char state = close + 2 < line.size() ? line[close + 2] : 0;
    return state == 'Z' || state == 'X' ? 0 : state;
}

TEST_F(CmdlineErrors, ChildEndsWhenTheParentDies)
{
    std::string pidFile = scratch / "child.pid";
    build("Function \"drv_linger\" \"drv_probe.so\" \"" + pidFile + "\"\n");

    std::string setup = harness("QV_SETUP");
    std::string from = medium.cdinst();
    pid_t parent = fork();
    ASSERT_GE(parent, 0);
    if (parent == 0) {
        setenv("HOME", home.c_str(), 1);
        unsetenv("DISPLAY");
        execl(setup.c_str(), setup.c_str(), "-cmdline", "-noroot", "-from", from.c_str(), "-dest", root.c_str(),
              static_cast<char *>(nullptr));
        _exit(127);
    }
    pid_t child = 0;
    for (int i = 0; i < 200 && !child; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::ifstream in(pidFile);
        in >> child;
    }
    ASSERT_GT(child, 0) << "the module did not start";
    kill(parent, SIGKILL);
    waitpid(parent, nullptr, 0);

    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        gone = process_state(child) == 0;
    }
    if (!gone)
        kill(child, SIGKILL);
    EXPECT_TRUE(gone) << "the install child went on after its parent died";
}

} // namespace
