// The install driver in the test's own process (text mode): the checks
// before a run, a remove-all run with its removal passes, and the
// registry's permissions.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/medium.h"
#include "engine/cdinst.h"
#include "engine/install.h"

using namespace qvtest;

namespace {

TEST(CommandLineInstall, RefusesIncompleteArguments)
{
    _QV_instCDinst noRoot{};
    _QV_instCDinst emptyRoot{};
    emptyRoot.rootDest = const_cast<char *>("");
    _QV_instCDinst good{};
    good.rootDest = const_cast<char *>("/tmp/");
    _QV_InstConfigList config{};
    config.type = QV_CONFIG_SUITE;

    struct Case {
        _QV_instCDinst *cdinst;
        _QV_InstConfigList *config;
    } cases[] = {{nullptr, &config}, {&noRoot, &config}, {&emptyRoot, &config}, {&good, nullptr}};
    for (const Case &c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(QV_instCommandLineInstall(c.cdinst, c.config, 0), 1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Invalid arguments to CommandLineInstall\n");
    }
}

TEST(RegistryPermission, KeepsTheRegistryReachable)
{
    ScratchDir scratch("regperm");
    std::string dir = scratch / "dir/";
    std::string file = scratch / "file/";
    make_dirs(dir + "Application/registry", 0700);
    chmod((dir + "Application/registry").c_str(), 0700);
    make_dirs(file + "Application");
    write_file(file + "Application/registry", "x", 0600);

    QV_instChangeResgitryPermission(&dir[0]);
    QV_instChangeResgitryPermission(&file[0]);
    QV_instChangeResgitryPermission(nullptr);
    EXPECT_EQ(mode_of(dir + "Application/registry"), 0755);
    EXPECT_EQ(mode_of(file + "Application/registry"), 0644);
}

// As root the destination may be a folder that a user can write: a link the
// user put at the registry's name does not pass the new mode on.
TEST(RegistryPermission, AsRootALinkAtTheRegistrysNameKeepsItsTargetsMode)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    ScratchDir scratch("regplant");
    const std::string victim = scratch / "shadow";
    write_file(victim, "root:secret\n", 0600);
    struct Row {
        const char *name;
        int (*plant)(const char *, const char *);
    } rows[] = {{"symbolic", symlink}, {"hard", link}};
    for (const Row &row : rows) {
        std::string dest = scratch / row.name;
        make_dirs(dest + "/Application");
        const std::string registry = dest + "/Application/registry";
        ASSERT_EQ(row.plant(victim.c_str(), registry.c_str()), 0);
        testing::internal::CaptureStderr();
        QV_instChangeResgitryPermission(&dest[0]);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Registry is a link or not a plain file, left as it is: " + registry + "\n");
        EXPECT_EQ(mode_of(victim), 0600) << row.name;
    }
}

class Driver : public ::testing::Test {
protected:
    ScratchDir scratch{"driver"};
    Medium medium{scratch / "medium"};
    std::string root = scratch / "root";
    std::string home = scratch / "home";
    std::string dest = root + "/QvTest/";
    std::string calls = scratch / "calls.txt";
    _QV_instCDinst *cdinst = nullptr;

    void SetUp() override
    {
        make_dirs(root);
        make_dirs(home);
        medium.module("drv_probe");
        medium.file("f.txt", "file\n");
        medium.description("Package \"p\" \"\"\nCopy \"f.txt\" \"\" 5 0644 0 0\nMkdir \"made\" 0755 0 0\n"
                           "Function \"drv_record\" \"drv_probe.so\" \"" +
                           calls +
                           "\"\nSuite \"S\" p\n"
                           "ConfigBegin\n3 CusDlg \"\" \"\" \"\" 1 4\n4 Suite \"S\" \"\" \"\" 1\nConfigEnd\n");
    }
    void TearDown() override
    {
        CDInstPtr = nullptr;
        if (cdinst)
            QV_instFreeCDinst(cdinst);
    }

    // Loads the medium's description the way the command line does, with
    // the history of an earlier run applied.
    void load()
    {
        cdinst = QV_instReadCDinst(medium.cdinst().c_str(), nullptr);
        ASSERT_NE(cdinst, nullptr);
        cdinst->rootDest = strdup((root + "/").c_str());
        CDInstPtr = cdinst;
        QV_instMarkAllConfig(config(), 1);
        ASSERT_EQ(QV_instSetSizes(cdinst), 0);
        QV_UpdateSuiteHistory(cdinst, config(), cdinst->firstSuite, dest.c_str(), cdinst->productName,
                              cdinst->productVersion);
    }
    _QV_InstConfigList *config() { return QV_instGetConfigFromId(cdinst, 3); }

    // Runs the driver in this process; its text output is not of interest.
    int drive(int removeAll)
    {
        testing::internal::CaptureStdout();
        int result = QV_instCommandLineInstall(cdinst, config(), removeAll);
        testing::internal::GetCapturedStdout();
        return result;
    }
};

TEST_F(Driver, RemoveAllRunsTheRemovalPassesAndForgetsTheInstallation)
{
    RunResult first = install(medium.cdinst(), root, home);
    ASSERT_EQ(first.status, 0) << first.err;
    ASSERT_TRUE(exists(dest + "f.txt"));
    unlink(calls.c_str());
    unlink((home + "/.auxchestrc").c_str());

    load();
    QV_instMarkAllConfig(config(), 0); // everything deselected: remove it all
    setenv("HOME", home.c_str(), 1);
    EXPECT_EQ(drive(1), 0);

    EXPECT_FALSE(exists(dest + "f.txt"));
    EXPECT_FALSE(exists(dest + "made"));
    EXPECT_FALSE(exists(dest + "cdinst.dat")) << "the description's copy goes too";
    EXPECT_FALSE(exists(dest + "SetupFiles/.QvTest.his"));
    EXPECT_FALSE(exists(home + "/.auxchestrc")) << "removal adds no menu include line";
    std::string log = read_file(dest + "SetupFiles/install.log");
    EXPECT_NE(log.find("Removing All Files\n"), std::string::npos) << log;

    // The child's calls: removal passes 2, 3 and 5, nothing installed.
    std::vector<std::string> seen;
    for (const std::string &line : lines_of(read_file(calls)))
        if (line.find("pass=1 ") == std::string::npos)
            seen.push_back(line.substr(0, line.find(" pid=")));
    EXPECT_EQ(seen, (std::vector<std::string>{"remove=1 pass=2 suite=S package=p", "remove=1 pass=3 suite=S package=p",
                                              "remove=1 pass=5 suite=S package=p"}));
}

// A run over an installation removes what was deselected, and the history
// goes on listing a suite installed through a list the run does not walk.
TEST_F(Driver, TheHistoryKeepsWhatTheRunDidNotWalk)
{
    medium.file("g.txt", "gee\n");
    const std::string body = "Package \"p\" \"\"\nCopy \"f.txt\" \"\" 5 0644 0 0\nPackage \"q\" \"\"\nCopy \"g.txt\" \"\" 4 "
                             "0644 0 0\nSuite \"S\" p\nSuite \"T\" q\nConfigBegin\n4 Suite \"S\" \"\" \"\" 1\n5 Suite "
                             "\"T\" \"\" \"\" 1\n3 CusDlg \"\" \"\" \"\" 1 4";
    medium.description(body + " 5\nConfigEnd\n");
    ASSERT_EQ(install(medium.cdinst(), root, home).status, 0);
    medium.description(body + "\nConfigEnd\n");
    load();
    QV_instGetConfigFromId(cdinst, 4)->selected = 0;
    EXPECT_EQ(drive(0), 0);
    EXPECT_FALSE(exists(dest + "f.txt"));
    const std::string history = read_file(dest + "SetupFiles/.QvTest.his");
    EXPECT_EQ(history.find("\"p\""), std::string::npos) << history;
    EXPECT_NE(history.find("Package \"q\" Installed\n"), std::string::npos) << history;
}

TEST_F(Driver, ReturnsOnlyWhenTheChildHasFinished)
{
    load();
    EXPECT_EQ(drive(0), 0);
    // The child fixes the registry's mode after its last line; the parent
    // has reaped it by the time the driver returns.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    EXPECT_EQ(read_file(dest + "f.txt"), "file\n");
}

// A process that the run started and that goes on running (a service a
// tool starts) must not hold the parent: the run is over when the child
// has ended.
TEST_F(Driver, ReturnsWhileAProcessTheRunStartedGoesOn)
{
    const std::string pidFile = scratch / "background.pid";
    medium.description("Package \"p\" \"\"\nFunction \"drv_background\" \"drv_probe.so\" \"" + pidFile +
                       "\"\nSuite \"S\" p\nConfigBegin\n3 Suite \"S\" \"\" \"\" 1\nConfigEnd\n");
    load();
    EXPECT_EQ(drive(0), 0);
    const pid_t background = std::atoi(read_file(pidFile).c_str());
    ASSERT_GT(background, 0);
    const char state = process_state(background);
    EXPECT_TRUE(state != 'Z' && state != '?') << "the driver waited for the background process to end";
    kill(background, SIGKILL);
}

TEST_F(Driver, PreInstallCheckRefusals)
{
    // The suite is installed and still selected: nothing changes.
    ASSERT_EQ(install(medium.cdinst(), root, home).status, 0);
    load();
    testing::internal::CaptureStdout();
    EXPECT_EQ(QV_instPreInstallCheck(cdinst, config()), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Nothing to Install/Remove"), std::string::npos);

    // Something to do, but the root lacks the owner's write permission.
    QV_instResetAllConfig(cdinst, config(), QV_instStateOff);
    QV_instMarkAllConfig(config(), 1);
    for (_QV_InstPackNode *n = cdinst->firstPack; n; n = n->next)
        n->package->installed = 0;
    chmod(root.c_str(), 0500);
    testing::internal::CaptureStdout();
    EXPECT_EQ(QV_instPreInstallCheck(cdinst, config()), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Install path does not have read/write permissions:\n" +
                                                          root + "/"),
              std::string::npos);

    chmod(root.c_str(), 0755);
    // As root, a product folder others may write to is refused by both
    // checks, before anything is made or written in it.
    if (geteuid() == 0) {
        chmod(dest.c_str(), 0777);
        const std::string log = read_file(dest + "SetupFiles/install.log");
        const std::string refusal = "Setup runs as root and will not use " + root +
                                    "/QvTest, a folder writable by group root (gid 0) and by others (mode 0777):\n"
                                    "choose a folder only root may write to, or run setup with -noroot";
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(QV_instPreInstallCheck(cdinst, config()), 0);
        EXPECT_EQ(QV_instCommandLineInstall(cdinst, config(), 0), 1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "Unable to create install directory:\n" + dest + "\n" + refusal + "Returning OK\n");
        EXPECT_NE(testing::internal::GetCapturedStderr().find("Error: " + refusal + "\n"), std::string::npos);
        EXPECT_EQ(read_file(dest + "SetupFiles/install.log"), log);
        chmod(dest.c_str(), 0755);
    }
    EXPECT_EQ(QV_instPreInstallCheck(cdinst, config()), 1);
}

} // namespace
