// The run's log file: no log until a name is set, the banner, appends from
// the parent and a forked child, and the length of the name.
#include "engine/util.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/testutil.h"

namespace {

size_t entries_in(const std::string &dir)
{
    size_t n = 0;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

// Runs first in this program: nothing has set a log name yet.
TEST(Logfile, WithoutANameEntriesAreDroppedSilently)
{
    ASSERT_STREQ(QV_instGetLogfileName(), "") << "a log name was set before this test";
    qvtest::ScratchDir tmp("nolog");
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(tmp.path().c_str()), 0);

    testing::internal::CaptureStderr();
    EXPECT_EQ(QV_instUpdateLogfile("entry %d\n", 1), 0);
    EXPECT_EQ(QV_instOpenLogfile(), nullptr);
    EXPECT_EQ(QV_instInitLogfile(""), -1);
    EXPECT_EQ(QV_instInitLogfile(nullptr), -1);
    EXPECT_EQ(QV_instInitLogfileAndTimeStamp(""), -1);
    EXPECT_EQ(QV_instUpdateLogfile("entry %d\n", 2), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    EXPECT_EQ(entries_in("."), 0u);
    EXPECT_STREQ(QV_instGetLogfileName(), "");
    ASSERT_EQ(chdir(old), 0);
}

TEST(Logfile, EachRunStartsWithTheBannerAndRunsAccumulate)
{
    qvtest::ScratchDir tmp("banner");
    std::string log = tmp / "install.log";
    const std::string banner = "\n>>>>>>> SETUP Log File created on [0-9]{4}-[0-9]{2}-[0-9]{2}-[0-9]{2}h[0-9]{2} "
                               "<<<<<<<\nStarting Installation\n";

    ASSERT_EQ(QV_instInitLogfileAndTimeStamp(log.c_str()), 0);
    EXPECT_STREQ(QV_instGetLogfileName(), log.c_str());
    EXPECT_EQ(QV_instUpdateLogfile("%s\n", "50% done"), 0);
    EXPECT_TRUE(qvtest::matches_ere(qvtest::read_file(log), banner + "50% done\n"))
        << qvtest::read_file(log);

    ASSERT_EQ(QV_instInitLogfileAndTimeStamp(log.c_str()), 0);
    EXPECT_EQ(QV_instUpdateLogfile("Installation Completed\n"), 0);
    EXPECT_TRUE(
        qvtest::matches_ere(qvtest::read_file(log), banner + "50% done\n" + banner + "Installation Completed\n"))
        << qvtest::read_file(log);

    // A stream from QV_instOpenLogfile appends too (modules write through it).
    FILE *f = QV_instOpenLogfile();
    ASSERT_NE(f, nullptr);
    fputs("from a module\n", f);
    fclose(f);
    std::string text = qvtest::read_file(log);
    EXPECT_EQ(text.substr(text.size() - 37), "Installation Completed\nfrom a module\n");

    // The banner's date is today's, in local time.
    char today[16];
    time_t now = time(nullptr);
    strftime(today, sizeof today, "%Y-%m-%d", localtime(&now));
    EXPECT_NE(text.find(std::string("created on ") + today), std::string::npos);
}

TEST(Logfile, ParentAndChildEntriesLandInOneFile)
{
    qvtest::ScratchDir tmp("fork");
    std::string log = tmp / "SetupFiles-install.log";
    ASSERT_EQ(QV_instInitLogfile(log.c_str()), 0);
    EXPECT_EQ(qvtest::read_file(log), "");

    QV_instUpdateLogfile("Running in Maintenance mode\n");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        QV_instUpdateLogfile("Error during the installation\n");
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    QV_instUpdateLogfile("%s\n", "after the child");
    EXPECT_EQ(qvtest::read_file(log),
              "Running in Maintenance mode\nError during the installation\nafter the child\n");

    // Both writing at once: every entry arrives whole, none overwrites another.
    ASSERT_EQ(QV_instInitLogfile(log.c_str()), 0);
    const int n = 300;
    pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        for (int i = 0; i < n; ++i)
            QV_instUpdateLogfile("child %d\n", i);
        _exit(0);
    }
    for (int i = 0; i < n; ++i)
        QV_instUpdateLogfile("parent %d\n", i);
    ASSERT_EQ(waitpid(pid, &status, 0), pid);

    std::istringstream in(qvtest::read_file(log));
    std::set<std::string> lines;
    size_t count = 0;
    for (std::string line; std::getline(in, line); ++count)
        lines.insert(line);
    EXPECT_EQ(count, 3u + 2 * n);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(lines.count("child " + std::to_string(i)), 1u);
        EXPECT_EQ(lines.count("parent " + std::to_string(i)), 1u);
    }
}

TEST(Logfile, NameOfAtMost4127CharactersIsKept)
{
    qvtest::ScratchDir tmp("name");
    std::string first = tmp / "first.log";
    ASSERT_EQ(QV_instInitLogfile(first.c_str()), 0);

    // Too long for the 4128-byte field: refused, the previous log stays.
    std::string dir = tmp / "";
    std::string too_long = dir + std::string(4128 - dir.size(), 'x');
    ASSERT_EQ(too_long.size(), 4128u);
    EXPECT_EQ(QV_instInitLogfile(too_long.c_str()), -1);
    EXPECT_EQ(QV_instInitLogfileAndTimeStamp(too_long.c_str()), -1);
    EXPECT_STREQ(QV_instGetLogfileName(), first.c_str());
    QV_instUpdateLogfile("still here\n");
    EXPECT_EQ(qvtest::read_file(first), "still here\n");

    // 4127 characters fit the field and are kept whole, though no Linux
    // file system opens a path that long: each entry reports it.
    std::string longest = too_long.substr(0, 4127);
    EXPECT_EQ(QV_instInitLogfile(longest.c_str()), -1);
    EXPECT_EQ(QV_instGetLogfileName(), longest);
    testing::internal::CaptureStderr();
    EXPECT_EQ(QV_instUpdateLogfile("lost\n"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: (QV_instUpdateLogfile) can't open '" + longest +
                                                          "': File name too long; the log entry is lost\n");

    // A name that cannot be created stays set and each entry says so.
    std::string nodir = tmp / "no/such/dir.log";
    EXPECT_EQ(QV_instInitLogfile(nodir.c_str()), -1);
    EXPECT_STREQ(QV_instGetLogfileName(), nodir.c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(QV_instUpdateLogfile("x\n"), 0);
    EXPECT_EQ(QV_instOpenLogfile(), nullptr);
    const std::string lost =
        "Error: (QV_instUpdateLogfile) can't open '" + nodir + "': No such file or directory; the log entry is lost\n";
    EXPECT_EQ(testing::internal::GetCapturedStderr(), lost + lost);
    // A run's banner is lost with it: one line for each of its two entries.
    testing::internal::CaptureStderr();
    EXPECT_EQ(QV_instInitLogfileAndTimeStamp(nodir.c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), lost + lost);
    EXPECT_EQ(QV_instUpdateLogfile(nullptr), -1);
}

// As root the log may lie in a folder that a user can write: a symbolic
// or hard link the user put at its name is never written through.
TEST(Logfile, AsRootALinkAtItsNameIsNotWrittenThrough)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    qvtest::ScratchDir tmp("planted");
    const std::string victim = tmp / "shadow", log = tmp / "setup.log";
    qvtest::write_file(victim, "root:secret\n", 0600);

    ASSERT_EQ(symlink(victim.c_str(), log.c_str()), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(QV_instInitLogfileAndTimeStamp(log.c_str()), -1);
    EXPECT_EQ(QV_instUpdateLogfile("entry\n"), 0);
    const std::string refused = "Log file is a link or not a plain file, left as it is: " + log + "\n";
    // At set-up, for each of the banner's two entries and for the entry.
    EXPECT_EQ(testing::internal::GetCapturedStderr(), refused + refused + refused + refused);

    ASSERT_EQ(unlink(log.c_str()), 0);
    ASSERT_EQ(link(victim.c_str(), log.c_str()), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(QV_instUpdateLogfile("entry\n"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), refused);

    EXPECT_EQ(qvtest::read_file(victim), "root:secret\n");
    struct stat st {};
    ASSERT_EQ(stat(victim.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

} // namespace
