// The command line of the installer: every option, every refusal and the
// failures of a command-line installation before the install child runs.
#include <unistd.h>

#include <gtest/gtest.h>

#include "e2e/medium.h"

using namespace qvtest;

namespace {

struct OptionCase {
    const char *name;
    std::vector<std::string> args;
    int status;
    std::string err; // the whole of standard error
};

class Options : public ::testing::TestWithParam<OptionCase> {};

TEST_P(Options, ExitStatusAndMessage)
{
    const OptionCase &c = GetParam();
    std::vector<std::string> argv = {harness("QV_SETUP")};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    RunResult r = run(argv, {{"QVINST_NOROOT", std::nullopt}, {"DISPLAY", std::nullopt}});
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.err);
}

INSTANTIATE_TEST_SUITE_P(
    Cmdline, Options,
    ::testing::Values(
        OptionCase{"short_version", {"-v"}, 1, "Setup Version=1125-16:14\n"},
        OptionCase{"long_version", {"-version"}, 1, "Setup Version=1125-16:14\n"},
        OptionCase{"version_stops_the_parse", {"-v", "-bogus"}, 1, "Setup Version=1125-16:14\n"},
        OptionCase{"invalid_before_version", {"-bogus", "-v"}, 1, "Error: invalid option '-bogus'\n"},
        OptionCase{"toolkit_option", {"-noroot", "-display", ":0"}, 1, "Error: invalid option '-display'\n"},
        OptionCase{"options_are_case_sensitive", {"-CMDLINE"}, 1, "Error: invalid option '-CMDLINE'\n"},
        OptionCase{"dest_last", {"-noroot", "-dest"}, 1, "Error: option -dest requires an argument\n"},
        OptionCase{"from_last", {"-noroot", "-from"}, 1, "Error: option -from requires an argument\n"},
        OptionCase{"no_display",
                   {"-noroot"},
                   1,
                   "Error: Can't open display: \nWithout a display, setup -cmdline installs without dialogs.\n"}),
    [](const auto &info) { return std::string(info.param.name); });

// Runs the installer as an unprivileged user (the test itself may be root).
RunResult run_unprivileged(std::vector<std::string> args, const std::map<std::string, std::optional<std::string>> &env)
{
    std::vector<std::string> argv;
    if (getuid() == 0)
        argv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    argv.push_back(harness("QV_SETUP"));
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, env);
}

TEST(RootCheck, RefusesOrdinaryUsersUnlessToldNotTo)
{
    if (access("/usr/bin/setpriv", X_OK) != 0 && getuid() == 0)
        GTEST_SKIP() << "setpriv is needed to drop root";
    RunResult refused = run_unprivileged({"-cmdline"}, {{"QVINST_NOROOT", std::nullopt}});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "Error: you need to be root to run this program\n");

    // -v is answered before the root check.
    RunResult version = run_unprivileged({"-v"}, {{"QVINST_NOROOT", std::nullopt}});
    EXPECT_EQ(version.status, 1);
    EXPECT_EQ(version.err, "Setup Version=1125-16:14\n");

    // QVINST_NOROOT, whatever its value, works as -noroot does: the run
    // gets past the check and fails on the missing description instead.
    for (const char *value : {"1", ""}) {
        RunResult allowed = run_unprivileged({"-cmdline", "-from", "/nonexistent/cdinst.dat"},
                                             {{"QVINST_NOROOT", value}});
        EXPECT_EQ(allowed.err, "Error: reading /nonexistent/cdinst.dat\n") << "QVINST_NOROOT=" << value;
    }
    RunResult noroot = run_unprivileged({"-noroot", "-cmdline", "-from", "/nonexistent/cdinst.dat"},
                                        {{"QVINST_NOROOT", std::nullopt}});
    EXPECT_EQ(noroot.err, "Error: reading /nonexistent/cdinst.dat\n");
}

class CommandLineRun : public ::testing::Test {
protected:
    ScratchDir scratch{"cmdopt"};
    Medium medium{scratch / "medium"};
    std::string root = scratch / "root";
    std::string home = scratch / "home";

    void SetUp() override
    {
        make_dirs(root);
        make_dirs(home);
    }

    void one_file_medium(const std::string &configs, const std::string &extraHeader = "")
    {
        medium.file("f.txt", "f\n");
        medium.description("Package \"p\" \"\"\nCopy \"f.txt\" \"\" 2 0644 0 0\nSuite \"S\" p\n" + configs,
                           extraHeader);
    }
};

TEST_F(CommandLineRun, UnreadableDescription)
{
    RunResult r = install(medium.cdinst(), root, home);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: reading " + medium.cdinst() + "\n");
}

TEST_F(CommandLineRun, DescriptionWithoutPackagesCannotBeSized)
{
    medium.description("");
    RunResult r = install(medium.cdinst(), root, home);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: during setting installation size\n");
}

TEST_F(CommandLineRun, MissingConfigurationThreeCannotBeInstalled)
{
    one_file_medium("ConfigBegin\n4 Suite \"S\" \"\" \"\" 1\nConfigEnd\n");
    RunResult r = install(medium.cdinst(), root, home);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Invalid arguments to CommandLineInstall\nError: during installation\n");
    EXPECT_FALSE(exists(root + "/QvTest"));
}

TEST_F(CommandLineRun, DestinationOnTheCommandLineWinsOverTheDescription)
{
    std::string other = scratch / "other";
    one_file_medium("ConfigBegin\n3 Suite \"S\" \"\" \"\" 1\nConfigEnd\n", "InstallDirectory " + other + "\n");
    RunResult r = install(medium.cdinst(), scratch / "first", home, {"-dest", root});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(root + "/QvTest/f.txt"), "f\n") << "a later -dest replaces an earlier one";
    EXPECT_FALSE(exists(other));
    EXPECT_FALSE(exists(scratch / "first"));
}

// A line break would split every line that carries the destination (the
// menu include line, the history, the protocol lines): refused before
// anything is written.
TEST_F(CommandLineRun, DestinationWithALineBreakIsRefused)
{
    one_file_medium("ConfigBegin\n3 Suite \"S\" \"\" \"\" 1\nConfigEnd\n");
    for (const std::string &dest : {root + "/a\nb", std::string("a\nb")}) {
        RunResult r = run({harness("QV_SETUP"), "-cmdline", "-noroot", "-from", medium.cdinst(), "-dest", dest},
                          {{"HOME", home}, {"DISPLAY", std::nullopt}}, "", root);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "Error: option -dest: the destination folder must not contain a line break\n");
    }
    EXPECT_FALSE(exists(root + "/a\nb"));
    EXPECT_FALSE(exists(home + "/.auxchestrc"));
}

TEST_F(CommandLineRun, DescriptionBesideTheProgramByDefault)
{
    one_file_medium("ConfigBegin\n3 Suite \"S\" \"\" \"\" 1\nConfigEnd\n");
    std::string program = medium.dir() + "/setup";
    ASSERT_EQ(symlink(harness("QV_SETUP").c_str(), program.c_str()), 0);
    RunResult r = run({program, "-cmdline", "-noroot", "-dest", root}, {{"HOME", home}, {"DISPLAY", std::nullopt}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(root + "/QvTest/f.txt"), "f\n");
}

// A program found through PATH reads the description beside itself, never
// one in the folder the administrator happens to stand in.
TEST_F(CommandLineRun, ProgramStartedThroughPathIgnoresTheWorkingFolder)
{
    one_file_medium("ConfigBegin\n3 Suite \"S\" \"\" \"\" 1\nConfigEnd\n");
    std::string bin = scratch / "bin";
    make_dirs(bin);
    ASSERT_EQ(symlink(harness("QV_SETUP").c_str(), (bin + "/setup").c_str()), 0);
    RunResult r = run({"/bin/sh", "-c", "exec setup -cmdline -noroot -dest \"$0\"", root},
                      {{"HOME", home}, {"DISPLAY", std::nullopt}, {"PATH", bin}}, "", medium.dir());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.find(medium.cdinst()), std::string::npos) << r.err;
    EXPECT_FALSE(exists(root + "/QvTest"));
}

// The caller's umask, working folder and tool options do not change what
// an installation makes.
TEST_F(CommandLineRun, CallerEnvironmentDoesNotShapeTheInstallation)
{
    std::string marker = scratch / "tar-ran-a-command";
    medium.file("f.txt", "f\n");
    medium.description("Package \"p\" \"\"\nCopy \"f.txt\" \"\" 2 0644 0 0\nUntar \"a.tar\" " +
                       medium.tar("a.tar", {{"a.txt", "a\n"}}) +
                       "\nSuite \"S\" p\nConfigBegin\n3 Suite \"S\" \"\" \"\" 1\nConfigEnd\n");
    // A relative -dest is taken from the working folder.
    RunResult r = run({"/bin/sh", "-c", "umask 000; exec \"$0\" \"$@\"", harness("QV_SETUP"), "-cmdline", "-noroot",
                       "-from", medium.cdinst(), "-dest", "root"},
                      {{"HOME", home},
                       {"DISPLAY", std::nullopt},
                       {"TAR_OPTIONS", "--checkpoint=1 --checkpoint-action=exec=touch\\ " + marker}},
                      "", scratch.path());
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(read_file(root + "/QvTest/a.txt"), "a\n");
    EXPECT_FALSE(exists(marker)) << "TAR_OPTIONS reached tar";
    EXPECT_EQ(mode_of(root + "/QvTest/SetupFiles/.QvTest.his"), 0644);
    EXPECT_EQ(mode_of(root + "/QvTest/SetupFiles/install.log"), 0644);
    EXPECT_EQ(read_file(home + "/.auxchestrc"), "\nsinclude " + root + "/.title\n");
}

} // namespace
