// A complete command-line installation of a small medium, checked file by
// file, and a second run on the same destination.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cctype>
#include <cstdio>

#include <gtest/gtest.h>

#include "e2e/medium.h"
#include "support/terminal.h"

using namespace qvtest;

namespace {

const std::string kTool = "#!/bin/sh\necho tool\n";
const std::string kConf = "colour = blue\n";
const std::string kSecret = "s3cret\n";
const std::string kNotes = std::string(30000, 'n') + "\nend of notes\n";

// Runtime stand-ins of the test medium: the launcher runs the tool it is
// given, the tools record their arguments in the registry directory.
const std::string kMwperl = "#!/bin/sh\nshift\nexec \"$@\"\n";
const std::string kRegkey = "#!/bin/sh\nprintf '%s\\n' \"$*\" >> \"$MWREGISTRY/entries\"\n";
const std::string kTavreg = "#!/bin/sh\nprintf '%s\\n' \"$*\" \"$QV_COMMONDIR\" >> \"$MWREGISTRY/registered\"\n";

std::string realdir(const std::string &path)
{
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? std::string(buf) : path;
}

// "\n>>>>>>> SETUP Log File created on YYYY-MM-DD-HHhMM <<<<<<<\n" and
// "Starting Installation\n" open the log.
bool starts_with_banner(const std::string &log)
{
    const std::string head = "\n>>>>>>> SETUP Log File created on ";
    const std::string stamp = "dddd-dd-dd-ddhdd";
    const std::string tail = " <<<<<<<\nStarting Installation\n";
    if (log.compare(0, head.size(), head) != 0 || log.size() < head.size() + stamp.size() + tail.size())
        return false;
    for (size_t i = 0; i < stamp.size(); ++i) {
        char c = log[head.size() + i];
        if (stamp[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(c)) : c != stamp[i])
            return false;
    }
    return log.compare(head.size() + stamp.size(), tail.size(), tail) == 0;
}

class CmdlineInstall : public ::testing::Test {
protected:
    ScratchDir scratch{"cmdline"};
    Medium medium{scratch / "medium"};
    std::string root = scratch / "root";
    std::string home = scratch / "home";
    std::string dest = root + "/QvTest";
    std::string passes = scratch / "passes.txt";
    std::string callback = scratch / "callback.txt";

    void SetUp() override
    {
        make_dirs(root);
        make_dirs(home);
        medium.module("drv_probe");
    }

    // Two suites under configuration 3: "Main" (files, archives, links,
    // module calls, registry) and "Second" (one file).
    void build(const std::string &extraHeader = "", const std::string &mkdirRegistry = "0700")
    {
        std::string body;
        body += "Package \"core\" \"core files\"\n";
        body += "Copy \"bin/tool\" \"\" " + std::to_string(medium.file("bin/tool", kTool, 0755)) + " 0755 0 0\n";
        body += "Copy \"etc/app.conf\" \"conf/app.conf\" " + std::to_string(medium.file("etc/app.conf", kConf)) +
                " 0640 0 0\n";
        body += "Copy \"etc/secret\" \"\" " + std::to_string(medium.file("etc/secret", kSecret)) + " 0600 0 0\n";
        body += "CopyZ \"doc/NOTES\" \"\" " + std::to_string(medium.bz2("doc/NOTES", kNotes)) + " 0444 0 0\n";
        body += "Mkdir \"var/cache/deep\" 0750 0 0\n";
        body += "HardLink \"bin\" \"tool\" \"tool-hard\"\n";
        body += "SoftLink \"bin\" \"tool\" \"tool-soft\"\n";
        body += "Shortcut \"ToolChest/Test\" \"Tool\" \"bin/tool\"\n";
        body += "Function \"drv_record\" \"drv_probe.so\" \"" + passes + "\"\n";
        body += "Function \"drv_callback\" \"drv_probe.so\" \"" + callback + "\"\n";
        body += "Package \"data\" \"archives\"\n";
        body += "Untar \"arc/data.tar\" " +
                medium.tar("arc/data.tar", {{"share/a.txt", "alpha\n"}, {"share/sub/b.txt", "beta beta\n"}},
                           {"share", "share/sub"}) +
                "\n";
        body += "UntarZ \"arc/more.tar.bz2\" " + medium.tar("arc/more.tar.bz2", {{"extra/c.txt", "gamma\n"}}) + "\n";
        // The first archive also makes the common directory, which nothing
        // else creates, for the second.
        body += "Untar2 \"<RootDest>\" \"arc/root.tar\" " +
                medium.tar("arc/root.tar", {{"at-root.txt", "r\n"}}, {"Quorvanta"}) + "\n";
        body += "Untar2 \"<CommonDest>\" \"arc/common.tar\" " +
                medium.tar("arc/common.tar", {{"fonts/shared.txt", "shared\n"}}) + "\n";
        body += "Package \"reg\" \"registry\"\n";
        body += "Copy \"Application/mainwin/mw/bin-amd64_linux/mwperl\" \"\" " +
                std::to_string(medium.file("Application/mainwin/mw/bin-amd64_linux/mwperl", kMwperl, 0755)) +
                " 0755 0 0\n";
        body += "Copy \"Application/mainwin/mw/bin-linux_optimized/regkey\" \"\" " +
                std::to_string(medium.file("Application/mainwin/mw/bin-linux_optimized/regkey", kRegkey, 0755)) +
                " 0755 0 0\n";
        body += "Copy \"Application/bin/tavreg\" \"\" " +
                std::to_string(medium.file("Application/bin/tavreg", kTavreg, 0755)) + " 0755 0 0\n";
        body += "Mkdir \"Application/registry\" " + mkdirRegistry + " 0 0\n";
        body += "Copy \"lib/comp.tlb\" \"\" " + std::to_string(medium.file("lib/comp.tlb", "tlb\n")) + " 0644 0 0\n";
        body += "SelfReg \"lib/comp.tlb\"\n";
        body += "RegData \"HKLM\" \"Software/Test\" \"Path\" \"%d\"\n";
        body += "Package \"second\" \"second suite\"\n";
        body += "Copy \"second.txt\" \"\" " + std::to_string(medium.file("second.txt", "2nd\n")) + " 0644 0 0\n";
        body += "Function \"drv_record\" \"drv_probe.so\" \"" + passes + "\"\n";
        body += "Suite \"Main\" core data reg\n";
        body += "Suite \"Second\" second\n";
        body += "ConfigBegin\n";
        body += "1 MainDlg \"Test\" \"\" \"\" 3\n";
        body += "3 CusDlg \"All\" \"\" \"\" 1 4 5\n";
        body += "4 Suite \"Main\" \"\" \"\" 1\n";
        body += "5 Suite \"Second\" \"\" \"\" 1\n";
        body += "ConfigEnd\n";
        medium.description(body, extraHeader);
    }

    std::string history() const { return dest + "/SetupFiles/.QvTest.his"; }
};

TEST_F(CmdlineInstall, PutsEveryFileInPlaceWithItsMode)
{
    build();
    ASSERT_EQ(chmod(medium.cdinst().c_str(), 0666), 0);
    RunResult r = install(medium.cdinst(), root, home);
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    struct Expect {
        const char *rel;
        std::string content;
        mode_t mode;
    };
    const Expect files[] = {
        {"bin/tool", kTool, 0755},
        {"conf/app.conf", kConf, 0640},
        {"etc/secret", kSecret, 0600},
        {"doc/NOTES", kNotes, 0444},
        {"share/a.txt", "alpha\n", 0644},
        {"share/sub/b.txt", "beta beta\n", 0644},
        {"extra/c.txt", "gamma\n", 0644},
        {"lib/comp.tlb", "tlb\n", 0644},
        {"second.txt", "2nd\n", 0644},
    };
    for (const Expect &f : files) {
        SCOPED_TRACE(f.rel);
        EXPECT_EQ(read_file(dest + "/" + f.rel), f.content);
        EXPECT_EQ(mode_of(dest + "/" + f.rel), f.mode);
    }
    EXPECT_FALSE(exists(dest + "/etc/app.conf")) << "Copy with a destination name uses that name";
    EXPECT_EQ(read_file(root + "/at-root.txt"), "r\n");
    EXPECT_EQ(read_file(root + "/Quorvanta/fonts/shared.txt"), "shared\n");

    EXPECT_EQ(mode_of(dest + "/var/cache/deep"), 0750);
    struct stat tool, hard;
    ASSERT_EQ(stat((dest + "/bin/tool").c_str(), &tool), 0);
    ASSERT_EQ(stat((dest + "/bin/tool-hard").c_str(), &hard), 0);
    EXPECT_EQ(tool.st_ino, hard.st_ino);
    char target[64] = {};
    ASSERT_GT(readlink((dest + "/bin/tool-soft").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "tool");

    // The installed product keeps a copy of its description.
    EXPECT_EQ(read_file(dest + "/cdinst.dat"), read_file(medium.cdinst()));
    EXPECT_EQ(mode_of(dest + "/cdinst.dat"), 0644u);
}

TEST_F(CmdlineInstall, WritesHistoryLogAndMenuInclude)
{
    build();
    RunResult r = install(medium.cdinst(), root, home);
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    // Each selected suite is listed once by the removal walk and once by
    // the installation walk.
    std::string main = "Package \"core\" Installed\nPackage \"data\" Installed\nPackage \"reg\" Installed\n";
    std::string second = "Package \"second\" Installed\n";
    EXPECT_EQ(read_file(history()), "HistoryFileVersion 2\nQuorvanta Test\n1.0\n" + realdir(medium.dir()) + "\n" +
                                        main + second + main + second);

    std::string log = read_file(dest + "/SetupFiles/install.log");
    EXPECT_TRUE(starts_with_banner(log)) << log;
    EXPECT_NE(log.find("drv_callback wrote through QV_instUpdateLogfile\n"), std::string::npos) << log;
    EXPECT_NE(log.find("drv_callback sent a log line\n"), std::string::npos) << log;
    // What a module writes straight to its log stream lands at once, ahead
    // of the "#Log:" lines it sends after it.
    EXPECT_LT(log.find("drv_callback wrote straight to the log\n"), log.find("drv_callback sent a log line\n")) << log;
    EXPECT_NE(log.find("Installation Completed\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Error during the installation"), std::string::npos) << log;

    EXPECT_EQ(read_file(home + "/.auxchestrc"), "\nsinclude " + root + "/.title\n");
}

TEST_F(CmdlineInstall, NoChestRCLeavesTheMenuFilesAlone)
{
    build("NoChestRC\n");
    RunResult r = install(medium.cdinst(), root, home);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(exists(dest + "/bin/tool"));
    EXPECT_FALSE(exists(home + "/.auxchestrc"));
}

TEST_F(CmdlineInstall, PrintsProgressAndEndsTheStatusLine)
{
    build();
    RunResult r = install(medium.cdinst(), root, home);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Parsing config file [|]\r", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nStatus:"), std::string::npos) << r.out;
    ASSERT_GE(r.out.size(), 2u);
    EXPECT_EQ(r.out.substr(r.out.size() - 2), "\r\n") << "the status line ends with a newline";
    size_t last = r.out.rfind("Status:");
    ASSERT_NE(last, std::string::npos);
    EXPECT_GT(std::atof(r.out.c_str() + last + 7), 90.0) << r.out;
    EXPECT_EQ(r.err.find("Error"), std::string::npos) << r.err;
}

// Each operation reports exactly the units the size walk counted for it,
// also the ones with nothing to do (Shortcuts, registry steps without a
// display), a Mkdir that makes three folders and an empty file.
TEST_F(CmdlineInstall, CleanRunEndsAtExactlyOneHundredPercent)
{
    std::string body = "Package \"p\" \"\"\n";
    body += "Copy \"bin/tool\" \"\" " + std::to_string(medium.file("bin/tool", kTool, 0755)) + " 0755 0 0\n";
    body += "Copy \"empty\" \"\" " + std::to_string(medium.file("empty", "")) + " 0644 0 0\n";
    body += "Shortcut \"ToolChest/Test\" \"Tool\" \"bin/tool\"\n";
    body += "Shortcut \"ToolChest/Test\" \"Tool -x\" \"bin/tool -x\"\n";
    body += "RegData \"HKLM\" \"Software/Test\" \"Path\" \"%d\"\n";
    body += "SelfReg \"bin/tool\"\n";
    body += "Mkdir \"a/b/c\" 0755 0 0\n";
    body += "Suite \"S\" p\nConfigBegin\n1 MainDlg \"Test\" \"\" \"\" 3\n3 CusDlg \"All\" \"\" \"\" 1 4\n"
            "4 Suite \"S\" \"\" \"\" 1\nConfigEnd\n";
    medium.description(body);
    RunResult r = install(medium.cdinst(), root, home);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(exists(dest + "/a/b/c"));
    size_t last = r.out.rfind("Status:");
    ASSERT_NE(last, std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(last), "Status:100.00%\r\n") << r.out;
}

// The steps skipped are told on the terminal and in the log.
TEST_F(CmdlineInstall, WithoutDisplayRegistryStepsWarnOnStderrAndInTheLog)
{
    build();
    RunResult r = install(medium.cdinst(), root, home);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const std::string &text : {r.err, read_file(dest + "/SetupFiles/install.log")}) {
        EXPECT_NE(text.find("Warning: (no display) can't add data to registry\n"), std::string::npos) << text;
        EXPECT_NE(text.find("Warning: (no display) can't register module lib/comp.tlb\n"), std::string::npos) << text;
    }
    EXPECT_FALSE(exists(dest + "/Application/registry/entries"));
}

TEST_F(CmdlineInstall, WithDisplayRunsTheRegistryToolsAndOpensTheRegistry)
{
    build();
    std::vector<std::string> argv = {harness("QV_SETUP"), "-cmdline", "-noroot", "-from", medium.cdinst(),
                                     "-dest", root};
    RunResult r = run(argv, {{"HOME", home}, {"DISPLAY", ":97"}});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(read_file(dest + "/Application/registry/entries"), "-r HKLM Software/Test Path " + dest + "/\n");
    EXPECT_EQ(read_file(dest + "/Application/registry/registered"),
              dest + "/lib/comp.tlb\n" + root + "/Quorvanta/\n");
    // Created 0700 by the description; every user must be able to reach
    // the entries in it.
    EXPECT_EQ(mode_of(dest + "/Application/registry"), 0755);
}

// Started from a terminal, setup's commands share it as setup does: a
// registry tool that asks a question gets what the user types.
TEST_F(CmdlineInstall, ARegistryToolThatAsksGetsTheAnswerTyped)
{
    build();
    medium.file("Application/mainwin/mw/bin-linux_optimized/regkey",
                "#!/bin/sh\nprintf 'Replace %s? ' \"$3\" >&2\nread answer\n"
                "printf '%s\\n' \"$answer\" >> \"$MWREGISTRY/answers\"\n",
                0755);
    TerminalRun terminal({harness("QV_SETUP"), "-cmdline", "-noroot", "-from", medium.cdinst(), "-dest", root},
                         {{"HOME", home}, {"DISPLAY", ":97"}, {"QVINST_NOROOT", std::nullopt}});
    ASSERT_TRUE(terminal.wait_for("Replace Software/Test?")) << terminal.shown();
    terminal.type("yes\n");
    EXPECT_EQ(terminal.wait(), 0) << terminal.shown();
    EXPECT_EQ(try_read_file(dest + "/Application/registry/answers").value_or(""), "yes\n");
}

TEST_F(CmdlineInstall, RegistryThatIsAFileBecomesWorldReadable)
{
    build();
    make_dirs(dest + "/Application");
    write_file(dest + "/Application/registry", "flat registry\n", 0600);
    // The Mkdir of the registry fails on the file, so the run reports an
    // error; the permission is fixed all the same.
    RunResult r = install(medium.cdinst(), root, home);
    EXPECT_EQ(mode_of(dest + "/Application/registry"), 0644) << r.err;
}

TEST_F(CmdlineInstall, ModuleIsCalledInEveryInstallationPass)
{
    build();
    RunResult r = install(medium.cdinst(), root, home);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> calls;
    for (const std::string &line : lines_of(read_file(passes))) {
        int remove = -1, pass = -1;
        char suite[64] = {}, package[64] = {};
        ASSERT_EQ(std::sscanf(line.c_str(), "remove=%d pass=%d suite=%63s package=%63s", &remove, &pass, suite,
                              package),
                  4)
            << line;
        calls.push_back(std::to_string(remove) + " " + std::to_string(pass) + " " + suite + " " + package);
    }
    // Pass 1 is the size query (twice per operation, before the fork);
    // then installation passes 2, 3, 4 and 5, suite by suite.
    std::vector<std::string> expected = {
        "0 1 (null) core",   "0 1 (null) core",   "0 1 (null) second", "0 1 (null) second",
        "0 2 Main core",     "0 2 Second second", "0 3 Main core",     "0 3 Second second",
        "0 4 Main core",     "0 4 Second second", "0 5 Main core",     "0 5 Second second",
    };
    EXPECT_EQ(calls, expected);
}

TEST_F(CmdlineInstall, ModuleCallsBackIntoTheInstaller)
{
    build();
    RunResult r = install(medium.cdinst(), root, home);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(callback), "destination=" + dest + "/\n" + "args.destination=" + dest + "/\n" +
                                       "args.root=" + root + "/\n" + "args.common=" + root + "/Quorvanta/\n" +
                                       "product=Quorvanta Test\n" + "log=open\n");
}

// A newer medium over a complete installation: the older version is
// named, nothing is copied, and the history stays byte for byte as it was,
// so that the next run warns again.
TEST_F(CmdlineInstall, SecondRunFindsTheHistoryAndChangesNothing)
{
    build();
    ASSERT_EQ(install(medium.cdinst(), root, home).status, 0);
    std::string firstHistory = read_file(history());
    write_file(dest + "/etc/secret", "changed by the user\n", 0600);
    unlink(passes.c_str());
    std::string text = read_file(medium.cdinst());
    text.replace(text.find("ProductVersion 1.0"), 18, "ProductVersion 2.0");
    write_file(medium.cdinst(), text);

    RunResult r = install(medium.cdinst(), root, home);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Setup has detected an older version of Quorvanta Test (1.0)"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("Nothing to install: the history file " + history() +
                         " lists every selected package as installed\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(read_file(dest + "/etc/secret"), "changed by the user\n") << "installed suites are not copied again";
    EXPECT_EQ(read_file(history()), firstHistory);
    EXPECT_EQ(read_file(home + "/.auxchestrc"), "\nsinclude " + root + "/.title\n");
    std::string log = read_file(dest + "/SetupFiles/install.log");
    size_t first = log.find(">>>>>>> SETUP Log File created on");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(log.find(">>>>>>> SETUP Log File created on", first + 1), std::string::npos) << log;
    // Only the size query reaches the module: nothing is left to install.
    for (const std::string &line : lines_of(read_file(passes)))
        EXPECT_NE(line.find("pass=1 "), std::string::npos) << line;
}

// The history is put in place only once what it lists is on disk: the
// destination's file system is synced before the rename, and the folder
// after it.
TEST_F(CmdlineInstall, HistoryIsPutInPlaceOnceTheFilesAreOnDisk)
{
    if (run({"/usr/bin/strace", "-o", "/dev/null", "/bin/true"}).status != 0)
        GTEST_SKIP() << "strace cannot trace here";
    build();
    const std::string trace = scratch / "trace";
    RunResult r = run({"/usr/bin/strace", "-f", "-qq", "-e", "trace=syncfs,fsync,rename,renameat,renameat2", "-o",
                       trace, harness("QV_SETUP"), "-cmdline", "-noroot", "-from", medium.cdinst(), "-dest", root},
                      // The sanitizers' leak check cannot run under a tracer.
                      {{"HOME", home}, {"DISPLAY", std::nullopt}, {"QVINST_NOROOT", std::nullopt},
                       {"ASAN_OPTIONS", "detect_leaks=0"}});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> calls = lines_of(read_file(trace));
    size_t sync = calls.size(), rename = calls.size(), folder = calls.size();
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].find("syncfs(") != std::string::npos && sync == calls.size())
            sync = i;
        if (calls[i].find(".QvTest.his.tmp\"") != std::string::npos && calls[i].find("rename") != std::string::npos)
            rename = i;
        if (calls[i].find("fsync(") != std::string::npos && i > rename && folder == calls.size())
            folder = i;
    }
    ASSERT_LT(rename, calls.size()) << read_file(trace);
    EXPECT_LT(sync, rename) << read_file(trace);
    EXPECT_LT(folder, calls.size()) << read_file(trace);
}

TEST_F(CmdlineInstall, SecondRunWithAChangedDescriptionKeepsToTheHistory)
{
    build();
    ASSERT_EQ(install(medium.cdinst(), root, home).status, 0);

    // Configuration 3 now lists a third suite. The history decides what a
    // command-line run finds selected: the new suite stays uninstalled, and
    // the history keeps listing what is on disk.
    std::string text = read_file(medium.cdinst());
    text.insert(text.find("Suite \"Main\""), "Package \"third\" \"third\"\nCopy \"third.txt\" \"\" 4 0644 0 0\n");
    text.insert(text.find("ConfigBegin"), "Suite \"Third\" third\n");
    text.replace(text.find("1 4 5\n"), 6, "1 4 5 6\n");
    text += "ConfigBegin\n6 Suite \"Third\" \"\" \"\" 1\nConfigEnd\n";
    medium.file("third.txt", "3rd\n");
    write_file(medium.cdinst(), text);

    RunResult r = install(medium.cdinst(), root, home);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_FALSE(exists(dest + "/third.txt"));
    EXPECT_EQ(read_file(history()).find("third"), std::string::npos);
    EXPECT_EQ(read_file(dest + "/cdinst.dat"), text) << "the copy of the description is renewed";
}

} // namespace
