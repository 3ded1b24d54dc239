// Command-line installations whose install child reports problems: error
// lines, warnings, over-long lines, a child that dies, a parent that dies.
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <map>
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
    // The log alone tells what failed.
    EXPECT_NE(log().find("drv_fail: first problem\n"), std::string::npos) << log();
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
    // Whoever reads only the log learns which file was missing.
    EXPECT_NE(log().find("\nCopyfile can't open file: not-on-the-medium.txt\n"), std::string::npos) << log();
    EXPECT_FALSE(exists(dest + "/not-on-the-medium.txt"));
    EXPECT_EQ(read_file(dest + "/ok.txt"), "ok\n");
    EXPECT_NE(r.err.find("Setup did not complete successfully\n"), std::string::npos) << r.err;

    // A failed first installation leaves no history: once the file is on
    // the medium, the next run installs it.
    EXPECT_FALSE(exists(dest + "/SetupFiles/.QvTest.his"));
    medium.file("not-on-the-medium.txt", "late file\n");
    r = install(medium.cdinst(), root, home);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(read_file(dest + "/not-on-the-medium.txt"), "late file\n");
}

// A history that cannot be written (a folder stands at its temporary
// name) is told on the terminal and in the log, naming the file and the
// reason; none is left, so the next run installs everything again, and the
// run failed.
TEST_F(CmdlineErrors, AHistoryThatCannotBeWrittenIsTold)
{
    build("");
    const std::string history = dest + "/SetupFiles/.QvTest.his";
    make_dirs(history + ".tmp/held");
    RunResult r = install(medium.cdinst(), root, home);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(log().substr(log().rfind('\n', log().size() - 2) + 1), "Error during the installation\n");
    const std::string told = "Error: the history file " + history + " was not written (" + history +
                             ".tmp: File exists); the next run will install everything again\n";
    EXPECT_NE(r.err.find(told), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Setup did not complete successfully"), std::string::npos) << "said once: " << r.err;
    EXPECT_NE(log().find(told), std::string::npos) << log();
    EXPECT_FALSE(exists(history));
}

// Under a file size limit (ulimit -f) a file beyond it fails like one on a
// full disk: its error, and the files after it are still installed.
TEST_F(CmdlineErrors, AFileBeyondTheSizeLimitFailsAloneNotTheRun)
{
    medium.file("big.bin", std::string(300 * 1024, 'b'));
    medium.file("small.txt", "small\n");
    build("Copy \"big.bin\" \"\" 307200 0644 0 0\nCopy \"small.txt\" \"\" 6 0644 0 0\n");
    RunResult r = run({"/bin/bash", "-c", "ulimit -f 100 && exec \"$0\" \"$@\"", harness("QV_SETUP"), "-cmdline",
                       "-noroot", "-from", medium.cdinst(), "-dest", root},
                      {{"HOME", home}, {"DISPLAY", std::nullopt}, {"QVINST_NOROOT", std::nullopt}});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err.find("killed by signal"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Error: Copyfile writing file " + dest + "/big.bin\n"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(dest + "/big.bin"));
    EXPECT_EQ(read_file(dest + "/small.txt"), "small\n");
}

// The last status line of a run's standard output.
std::string last_status(const std::string &out)
{
    size_t at = out.rfind("Status:");
    return at == std::string::npos ? "" : out.substr(at, out.find('\r', at) - at);
}

TEST_F(CmdlineErrors, CleanRunExitsWithZero)
{
    build("");
    RunResult r = install(medium.cdinst(), root, home);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(log().find("Installation Completed\n"), std::string::npos);
    EXPECT_EQ(last_status(r.out), "Status:100.00%") << r.out;

    // Nothing to install from a newer medium elsewhere, whose description
    // is longer than the one copied from the medium the history names.
    Medium newer{scratch / "newer"};
    write_file(newer.cdinst(), read_file(medium.cdinst()) + "# a newer medium\n");
    r = install(newer.cdinst(), root, home);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Nothing to install"), std::string::npos) << r.err;
    EXPECT_EQ(last_status(r.out), "Status:100.00%") << r.out;
}

// The folders of a deep log are made before the child exists; what they
// report must neither fill the pipe nor push the figure past 100.
TEST_F(CmdlineErrors, DeepLogFolderNeitherHangsNorOvershoots)
{
    build("");
    // The longest header value the reader takes; its "+1 mkdir" lines
    // are more than a pipe holds.
    std::string levels;
    for (int i = 0; i < 250; ++i)
        levels += "a/";
    std::string text = read_file(medium.cdinst());
    text.replace(text.find("LogFile install.log"), 19, "LogFile " + levels + "install.log");
    write_file(medium.cdinst(), text);

    RunResult r = install(medium.cdinst(), root, home);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(read_file(dest + "/SetupFiles/" + levels + "install.log").find("Installation Completed\n"),
              std::string::npos);
    EXPECT_EQ(last_status(r.out), "Status:100.00%");
}

TEST_F(CmdlineErrors, BlockedDestinationIsNamedWithTheReason)
{
    build("");
    write_file(scratch / "blocked", "a file where a folder should be\n");
    RunResult r = install(medium.cdinst(), scratch / "blocked", home);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Unable to create install directory\n" + scratch / "blocked" + "/QvTest/: Not a directory\n"),
              std::string::npos)
        << r.out;
}

// Every entry below dir with its owner and mode, and what the regular files
// hold; links are not followed.
std::map<std::string, std::string> tree_of(const std::string &dir)
{
    std::map<std::string, std::string> entries;
    DIR *d = opendir(dir.c_str());
    if (!d)
        return entries;
    while (dirent *e = readdir(d)) {
        const std::string name = e->d_name, path = dir + "/" + name;
        struct stat st;
        if (name == "." || name == ".." || lstat(path.c_str(), &st) != 0)
            continue;
        entries[path] = std::to_string(st.st_uid) + " " + std::to_string(st.st_mode);
        if (S_ISREG(st.st_mode))
            entries[path] += " " + read_file(path);
        if (S_ISDIR(st.st_mode))
            entries.merge(tree_of(path));
    }
    closedir(d);
    return entries;
}

// As root, a tree another user controls is refused before anything in it
// is read or written, also when links lead to it; a sticky folder everyone
// may write to (like /tmp) is fine only on the way to the root destination.
// A folder given to that user during the run is refused before root writes
// into it, and the source folder a history names is used only while it is
// root's.
TEST_F(CmdlineErrors, AsRootATreeAnotherUserControlsIsLeftAlone)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    build("Function \"drv_give\" \"drv_probe.so\" \"\"\nUntar2 \"<CommonDest>\" \"common.tar\" " +
          medium.tar("common.tar", {{"common.txt", "common\n"}}) + "\n");
    const std::string secret = scratch / "secret", kSecret = "root-only secret\n";
    write_file(secret, kSecret, 0600);
    const auto give = [](const std::string &path) { ASSERT_EQ(lchown(path.c_str(), 65534, 65534), 0); };
    const auto link = [](const std::string &target, const std::string &path) {
        ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    };
    // The medium installed at top from a copy at folder, which is then gone.
    const auto install_from_gone = [&](const std::string &top, const std::string &folder) {
        make_dirs(top + "/Quorvanta");
        ASSERT_EQ(run({"/bin/cp", "-a", medium.dir(), folder}).status, 0);
        ASSERT_EQ(install(folder + "/cdinst.dat", top, home).status, 0);
        remove_tree(folder);
    };
    // Each row makes the tree at top (the -dest folder below the scratch
    // folder, top + below when given) and tells what the refusal names: the
    // path below the scratch folder, its kind, who controls it. A run that
    // fails later than the check may leave the tree changed.
    struct Row {
        const char *name;
        std::function<void(const std::string &top, const std::string &name)> make;
        std::string named, kind, owner; // named empty: the tree is used
        std::string below = "";
        bool unchanged = true;
        std::string from = "", told = ""; // the medium's folder after top; a line standard error has
    } rows[] = {
        {"user-owned",
         [&](const std::string &top, const std::string &) {
             // The user's history names a source folder whose description
             // is a link to a file only root may read.
             const std::string product = top + "/QvTest";
             make_dirs(product + "/plant");
             link(secret, product + "/plant/cdinst.dat");
             write_file(product + "/SetupFiles/.QvTest.his",
                        "HistoryFileVersion 2\nQuorvanta Test\n1.0\n" + product + "/plant\nPackage \"p\" Installed\n");
             for (const auto &entry : tree_of(product))
                 give(entry.first);
             give(product);
         },
         "user-owned/QvTest", "folder owned by", "(uid 65534, mode 0755)"},
        {"user-setupfiles",
         [&](const std::string &top, const std::string &) {
             make_dirs(top + "/QvTest/SetupFiles");
             make_dirs(top + "-plant");
             link(secret, top + "-plant/cdinst.dat");
             write_file(top + "/QvTest/SetupFiles/.QvTest.his",
                        "HistoryFileVersion 2\nQuorvanta Test\n1.0\n" + top + "-plant\nPackage \"p\" Installed\n");
             give(top + "-plant");
             give(top + "/QvTest/SetupFiles");
         },
         "user-setupfiles/QvTest/SetupFiles", "folder owned by", "(uid 65534, mode 0755)"},
        {"writable",
         [&](const std::string &top, const std::string &) {
             make_dirs(top + "/QvTest");
             chmod((top + "/QvTest").c_str(), 0777);
         },
         "writable/QvTest", "folder writable by group", "(gid 0) and by others (mode 0777)"},
        {"up-from-missing",
         [&](const std::string &top, const std::string &) {
             make_dirs(top + "/user");
             give(top + "/user");
         },
         "up-from-missing/missing/../user", "path that goes up", "up-from-missing/missing, which does not",
         "/missing/../user"},
        {"common-given",
         [&](const std::string &top, const std::string &) {
             make_dirs(top + "/Quorvanta");
             write_file(top + "/Quorvanta/give", "");
         },
         "common-given/Quorvanta", "folder owned by", "(uid 65534, mode 0755)", "", false},
        {"product-given",
         [&](const std::string &top, const std::string &) {
             write_file(top + "/QvTest/give", "");
             write_file(top + "/Quorvanta/give", "");
         },
         "product-given/QvTest", "folder owned by", "(uid 65534, mode 0755)", "", false},
        {"user-medium",
         [&](const std::string &top, const std::string &) {
             ASSERT_EQ(run({"/bin/cp", "-a", medium.dir(), top + "-medium"}).status, 0);
             give(top + "-medium");
         },
         "", "", "", "", true, "-medium",
         "Warning: setup runs as root from a medium that another user controls: " + scratch / "user-medium-medium" +
             ", a folder owned by "},
        {"user-link",
         [&](const std::string &top, const std::string &) {
             make_dirs(top + "-target");
             link(top + "-target", top);
             give(top);
         },
         "user-link", "link owned by", "(uid 65534, mode 0777)"},
        // Root's links, the second one relative and going up from where the
        // first leads, end in the user's folder (not in root's beside it).
        {"root-link",
         [&](const std::string &top, const std::string &name) {
             make_dirs(top + "-deep/in");
             make_dirs(top + "-deep/" + name + "-owned");
             make_dirs(top + "-owned");
             give(top + "-deep/" + name + "-owned");
             link(name + "-deep/in", top + "-hop");
             link(name + "-hop/../" + name + "-owned", top);
         },
         "root-link-deep/root-link-owned", "folder owned by", "(uid 65534, mode 0755)"},
        {"sticky",
         [&](const std::string &top, const std::string &) {
             make_dirs(top + "-target");
             chmod((top + "-target").c_str(), 01777);
             link(top + "-target", top);
         },
         "sticky-target", "folder writable by group", "(gid 0) and by others (mode 1777)"},
        {"in-sticky", // root's medium and root destination in a sticky folder, another user's log file

         [&](const std::string &top, const std::string &) {
             write_file(top + "/root/QvTest/SetupFiles/install.log", "user's\n", 0666);
             give(top + "/root/QvTest/SetupFiles/install.log");
             chmod(top.c_str(), 01777);
             ASSERT_EQ(run({"/bin/cp", "-a", medium.dir(), top + "/medium"}).status, 0);
         },
         "", "", "", "/root", true, "/medium",
         "can't open '" + scratch / "in-sticky/root/QvTest/SetupFiles/install.log" + "': Permission denied"},
        // The medium a history names was removed, then made again by the
        // user with a link to the secret; or moved away.
        {"source-remade",
         [&](const std::string &top, const std::string &) {
             ASSERT_NO_FATAL_FAILURE(install_from_gone(top, top + "-medium"));
             make_dirs(top + "-medium");
             link(secret, top + "-medium/cdinst.dat");
             give(top + "-medium");
         },
         "", "", ""},
        {"source-moved", [&](const std::string &top, const std::string &) { install_from_gone(top, top + "-m"); },
         "", "", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string top = scratch / row.name;
        ASSERT_NO_FATAL_FAILURE(row.make(top, row.name));
        const auto before = tree_of(top);

        RunResult r =
            install(row.from.empty() ? medium.cdinst() : top + row.from + "/cdinst.dat", top + row.below, home);
        const std::string product = top + row.below + "/QvTest";
        EXPECT_NE(r.err.find(row.told), std::string::npos) << r.err;
        // Only the medium in the user's folder is named, once in each.
        const std::string log = try_read_file(product + "/SetupFiles/install.log").value_or(""),
                          warned = "Warning: setup";
        for (const std::string &text : {r.err, log})
            EXPECT_EQ(text.find(warned) != text.npos && text.find(warned) == text.rfind(warned), row.from == "-medium");
        if (row.named.empty()) {
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(read_file(product + "/ok.txt"), "ok\n");
            EXPECT_EQ(log == "user's\n", row.from == "/medium");
        } else {
            EXPECT_EQ(r.status, 1) << r.out << r.err;
            EXPECT_NE(r.err.find("Error: Setup runs as root and will not use " + scratch / row.named + ", a " +
                                 row.kind + " "),
                      std::string::npos)
                << r.err;
            EXPECT_NE(r.err.find(row.owner), std::string::npos) << r.err;
            if (row.unchanged) {
                EXPECT_EQ(tree_of(top), before);
            } else {
                EXPECT_FALSE(exists(top + "/QvTest/SetupFiles/.QvTest.his"));
            }
            EXPECT_FALSE(exists(top + "/Quorvanta/common.txt"));
        }
        EXPECT_EQ((r.out + r.err).find(kSecret), std::string::npos);
        for (const std::string &dir : {top, home})
            for (const auto &entry : tree_of(dir))
                EXPECT_EQ(entry.second.find(kSecret), std::string::npos) << entry.first;
    }
}

// A reader gone before setup starts: the child's message box writes into a
// closed pipe, and the run still goes on to its end.
TEST_F(CmdlineErrors, ClosedOutputDoesNotStopTheChild)
{
    medium.file("after.txt", "after\n");
    build("Copy \"not-on-the-medium.txt\" \"\" 10 0644 0 0\nCopy \"after.txt\" \"\" 6 0644 0 0\n");
    int readerGone[2];
    ASSERT_EQ(pipe(readerGone), 0);
    close(readerGone[0]);
    RunResult r = run({"/bin/sh", "-c", "exec \"$0\" \"$@\" >&" + std::to_string(readerGone[1]), harness("QV_SETUP"),
                       "-cmdline", "-noroot", "-from", medium.cdinst(), "-dest", root},
                      {{"HOME", home}, {"DISPLAY", std::nullopt}});
    close(readerGone[1]);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err.find("killed by signal"), std::string::npos) << r.err;
    EXPECT_EQ(read_file(dest + "/after.txt"), "after\n");
    EXPECT_NE(log().find("Error during the installation\n"), std::string::npos) << log();
}

// Every ending of a run leaves its verdict as the log's last line, after
// the lines that tell why: a module's last log lines and its error, an
// error line of a module that then reported success, a child that died, a
// copy of the description that failed (its source gone, or its target a
// folder).
TEST_F(CmdlineErrors, TheVerdictIsTheLastLineOfTheLog)
{
    const std::string elsewhere = scratch / "elsewhere";
    make_dirs(elsewhere);
    struct Row {
        std::string operations;
        std::string lastLines;
    } rows[] = {
        {"Function \"drv_lastlog\" \"drv_probe.so\" \"late\"\n", ""},
        {"Function \"drv_longline\" \"drv_probe.so\" \"x\"\n", ""},
        {"Function \"drv_crash\" \"drv_probe.so\" \"\"\n",
         "Error: the installation did not complete (the install child was killed by signal 11)\n"},
        {"Function \"drv_crash_at_exit\" \"drv_probe.so\" \"\"\n",
         "Error: the installation did not complete (the install child was killed by signal 11)\n"},
        {"Function \"drv_setsource\" \"drv_probe.so\" \"" + elsewhere + "\"\n",
         "Copyfile can't open file: cdinst.dat\n"},
        {"", ""}, // with a folder in the place of the description's copy
    };
    for (int i = 1; i <= 20; ++i)
        rows[0].lastLines += "late " + std::to_string(i) + "\n";
    rows[0].lastLines += "late failed\n";
    for (const Row &row : rows) {
        remove_tree(root);
        make_dirs(row.operations.empty() ? dest + "/cdinst.dat" : root);
        build(row.operations);
        RunResult r = install(medium.cdinst(), root, home);
        EXPECT_EQ(r.status, 1) << row.operations << r.err;
        const std::string text = log();
        const std::string tail = row.lastLines + "Error during the installation\n";
        ASSERT_GE(text.size(), tail.size()) << text;
        EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << row.operations << text;
    }
}

// Output piped into a reader that stops early does not stop the
// installation.
TEST_F(CmdlineErrors, ReaderThatStopsEarlyLeavesTheRunGoingOn)
{
    build("");
    RunResult r = run({"/bin/bash", "-c", "set -o pipefail; \"$0\" \"$@\" | head -c 100 > /dev/null",
                       harness("QV_SETUP"), "-cmdline", "-noroot", "-from", medium.cdinst(), "-dest", root},
                      {{"HOME", home}, {"DISPLAY", std::nullopt}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dest + "/ok.txt"), "ok\n");
    EXPECT_TRUE(exists(dest + "/cdinst.dat"));
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

bool ends_by_itself(pid_t pid);

TEST_F(CmdlineErrors, ChildThatDiesIsAFailure)
{
    // The job a command left running goes with the child that crashed.
    const std::string jobPid = scratch / "job.pid";
    build("Function \"drv_background\" \"drv_probe.so\" \"" + jobPid +
          "\"\nFunction \"drv_crash\" \"drv_probe.so\" \"\"\n");
    RunResult r = install(medium.cdinst(), root, home);
    const pid_t job = std::atoi(read_file(jobPid).c_str());
    ASSERT_GT(job, 0);
    EXPECT_TRUE(ends_by_itself(job)) << "the command's job outlived the crashed child";
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error: the installation did not complete (the install child was killed by signal 11)\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(log().find("Error: the installation did not complete (the install child was killed by signal 11)\n"),
              std::string::npos)
        << log();
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

// Waits up to a minute for a process to be gone (the lingering module
// lasts longer); kills it when it is not.
bool ends_by_itself(pid_t pid)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < end) {
        if (process_state(pid) == 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    return false;
}

// A command-line run in the background with its standard error going to
// err(); the install child lingers in a module until go() is called.
class LingeringRun : public CmdlineErrors {
protected:
    pid_t parent = -1;
    pid_t child = 0;
    std::string pidFile = scratch / "child.pid";

    std::string err() const { return scratch / "err.txt"; }

    // Lets the lingering module return.
    void go() const { write_file(pidFile + ".go", ""); }

    // Starts setup on the medium as it stands; before runs in the new
    // process first.
    void launch(const std::function<void()> &before = {}, bool display = false)
    {
        std::string setup = harness("QV_SETUP");
        std::string from = medium.cdinst();
        std::string errFile = err();
        parent = fork();
        ASSERT_GE(parent, 0);
        if (parent == 0) {
            setenv("HOME", home.c_str(), 1);
            if (display)
                setenv("DISPLAY", ":97", 1);
            else
                unsetenv("DISPLAY");
            dup2(open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            if (before)
                before();
            execl(setup.c_str(), setup.c_str(), "-cmdline", "-noroot", "-from", from.c_str(), "-dest",
                  root.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
    }

    // The process id a file names once it has been written; 0 (and setup
    // killed) when none comes.
    pid_t wait_for_pid(const std::string &file)
    {
        pid_t pid = 0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (pid <= 0 && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::ifstream in(file);
            in >> pid;
        }
        if (pid <= 0) {
            kill(parent, SIGKILL);
            waitpid(parent, nullptr, 0);
        }
        return pid;
    }

    // Starts the run (operations first) and waits until the module has
    // written the install child's process id.
    void start(const std::function<void()> &before = {}, const std::string &operations = "")
    {
        build(operations + "Function \"drv_linger\" \"drv_probe.so\" \"" + pidFile + "\"\n");
        ASSERT_NO_FATAL_FAILURE(launch(before));
        child = wait_for_pid(pidFile);
        ASSERT_GT(child, 0) << "the module did not start";
    }

    // setup's wait status once it has ended.
    int finish() const
    {
        int status = 0;
        while (waitpid(parent, &status, 0) < 0 && errno == EINTR) {
        }
        return status;
    }
};

// Killed outright (kill -9, the out-of-memory killer): the child ends the
// jobs of its commands, even one that ignores SIGTERM, nothing claims the
// first installation is there, and the next run installs everything.
TEST_F(LingeringRun, ChildEndsWhenTheParentDies)
{
    const std::string jobPid = scratch / "job.pid";
    ASSERT_NO_FATAL_FAILURE(start({}, "Function \"drv_stubborn\" \"drv_probe.so\" \"" + jobPid + "\"\n"));
    kill(parent, SIGKILL);
    waitpid(parent, nullptr, 0);
    EXPECT_TRUE(ends_by_itself(child)) << "the install child went on after its parent died";
    EXPECT_TRUE(ends_by_itself(wait_for_pid(jobPid))) << "the job that ignores SIGTERM outlived the run";
    EXPECT_FALSE(exists(dest + "/SetupFiles/.QvTest.his"));

    go();
    RunResult r = install(medium.cdinst(), root, home);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("Nothing to install"), std::string::npos) << r.err;
    EXPECT_TRUE(exists(dest + "/SetupFiles/.QvTest.his"));
    EXPECT_FALSE(exists(dest + "/SetupFiles/.QvTest.his.tmp")) << "the dead run's temporary history stays";
    kill(wait_for_pid(jobPid), SIGKILL); // the rerun's job, left running as a run that ends leaves it
}

// Ctrl-C (or kill) stops a first installation: the child goes, the run
// says why and fails, and no history claims the installation is there.
TEST_F(LingeringRun, InterruptedFirstInstallationLeavesNoHistory)
{
    ASSERT_NO_FATAL_FAILURE(start());
    kill(parent, SIGINT);
    int status = finish();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_TRUE(ends_by_itself(child));
    EXPECT_NE(read_file(err()).find("Installation interrupted\n"), std::string::npos) << read_file(err());
    EXPECT_NE(log().find("Installation interrupted\n"), std::string::npos) << log();
    EXPECT_FALSE(exists(dest + "/SetupFiles/.QvTest.his"));
}

// Started with SIGHUP ignored (nohup), a run outlives the hangup.
TEST_F(LingeringRun, HangupIgnoredAtStartStaysIgnored)
{
    ASSERT_NO_FATAL_FAILURE(start([] { signal(SIGHUP, SIG_IGN); }));
    kill(parent, SIGHUP);
    kill(child, SIGHUP);
    go();
    int status = finish();
    ASSERT_TRUE(WIFEXITED(status)) << status << read_file(err());
    EXPECT_EQ(WEXITSTATUS(status), 0) << read_file(err());
    EXPECT_TRUE(exists(dest + "/SetupFiles/.QvTest.his"));
}

// Ctrl-C while a registry command runs ends that command too, the job it
// left behind when its own shell ended, and the helper it starts on
// SIGTERM; the command has the grace to clean up on SIGTERM.
TEST_F(LingeringRun, InterruptEndsTheCommandsTheChildStarted)
{
    const std::string commandPid = scratch / "regkey.pid";
    const std::string jobPid = scratch / "job.pid";
    const std::string helperPid = scratch / "helper.pid";
    const std::string cleaned = scratch / "cleaned";
    medium.file("mwperl", "#!/bin/sh\nshift\nexec \"$@\"\n", 0755);
    medium.file("regkey",
                "#!/bin/sh\nsh -c 'sleep 600 & echo $! > " + jobPid + "'\ntrap 'sleep 600 & echo $! > " + helperPid +
                    "; sleep 0.3; echo done > " + cleaned + "; exit 1' TERM\necho $$ > '" + commandPid +
                    "'\nsleep 600 & wait\n",
                0755);
    build("Copy \"mwperl\" \"Application/mainwin/mw/bin-amd64_linux/mwperl\" 30 0755 0 0\n"
          "Copy \"regkey\" \"Application/mainwin/mw/bin-linux_optimized/regkey\" 60 0755 0 0\n"
          "RegData \"HKLM\" \"Software/Test\" \"Path\" \"%d\"\n");
    ASSERT_NO_FATAL_FAILURE(launch({}, true));
    pid_t command = wait_for_pid(commandPid);
    ASSERT_GT(command, 0) << read_file(err());
    kill(parent, SIGINT);
    int status = finish();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_TRUE(ends_by_itself(command)) << "the registry command outlived the run";
    EXPECT_TRUE(ends_by_itself(wait_for_pid(jobPid))) << "the command's job outlived the run";
    EXPECT_TRUE(ends_by_itself(wait_for_pid(helperPid))) << "the helper started on SIGTERM outlived the run";
    EXPECT_EQ(read_file(cleaned), "done\n");
}

// Where new files cannot be made without a name (no /proc to name them
// through), an interrupted copy still leaves no temporary file behind.
TEST_F(LingeringRun, InterruptWithoutProcLeavesNoTemporaryFile)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "hiding /proc needs root";
    const std::string fifo = medium.dir() + "/slow.txt";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    build("Copy \"slow.txt\" \"\" 100000 0644 0 0\n");
    ASSERT_NO_FATAL_FAILURE(launch([] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("none", "/proc", "tmpfs", 0, nullptr) != 0)
            _exit(126);
    }));
    // The copy has begun once its reader opens the FIFO and some data went
    // through; it then waits for more.
    int writer = -1;
    for (int i = 0; i < 1200 && writer < 0; ++i) {
        writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_GE(writer, 0) << read_file(err());
    ASSERT_EQ(write(writer, "some data\n", 10), 10);
    auto temporaries = [&] {
        std::vector<std::string> names;
        if (DIR *d = opendir(dest.c_str())) {
            while (dirent *e = readdir(d))
                if (std::string(e->d_name).rfind(".slow.txt.", 0) == 0)
                    names.push_back(e->d_name);
            closedir(d);
        }
        return names;
    };
    for (int i = 0; i < 1200 && temporaries().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_FALSE(temporaries().empty()) << "the copy took no temporary name";
    kill(parent, SIGINT);
    int status = finish();
    close(writer);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1) << read_file(err());
    EXPECT_TRUE(temporaries().empty());
    EXPECT_FALSE(exists(dest + "/slow.txt"));
}

} // namespace
