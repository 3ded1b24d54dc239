// The history file: written by one run, read back by the next, validated,
// and found from an installed product directory.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/cdinst.h"
#include "engine/internal.h"
#include "handmade_model.h"
#include "support/testutil.h"

using qvtest::ScratchDir;

namespace {

// The description of these tests, the loaded one while it lives: packages
// a, b, c; suites S1 {a, b}, S2 {c}, S3 {a}; configuration 2 a list over 3
// (Suite S1), 4 (Suite S2) and 5, itself a list over 6 (Suite S3).
class Model {
public:
    Model(const std::string &root, const std::string &source)
        : model_(nullptr, "Prod", "Prod", source.c_str()), loaded_(model_.cd), cd(model_.cd)
    {
        // The reader replaces the root destination (and frees the old one)
        // when it finds the history outside the destination.
        cd->rootDest = strdup(root.c_str());
        cd->productVersion = model_.str("3.1");
        _QV_InstPackage *a = model_.package("a"), *b = model_.package("b"), *c = model_.package("c");
        _QV_InstSuiteList *s1 = model_.suite("S1", {a, b}), *s2 = model_.suite("S2", {c});
        _QV_InstSuiteList *s3 = model_.suite("S3", {a});
        model_.cusDlg(2, {3, 4, 5});
        model_.suiteConfig(3, s1);
        model_.suiteConfig(4, s2);
        model_.cusDlg(5, {6});
        model_.suiteConfig(6, s3);
        // "/" holds no ProductDirectory, so only tests that set a running
        // directory of their own find a history there.
        QV_instSetRunningDirectory("/");
    }
    ~Model() { std::free(cd->rootDest); }

    _QV_InstPackage *pkg(const std::string &name)
    {
        for (_QV_InstPackNode *n = cd->firstPack; n; n = n->next)
            if (name == n->package->name)
                return n->package;
        return nullptr;
    }
    _QV_InstSuiteList *suiteNamed(const std::string &name)
    {
        for (_QV_InstSuiteList *s = cd->firstSuite; s; s = s->next)
            if (name == s->name)
                return s;
        return nullptr;
    }
    _QV_InstConfigList *config(int id)
    {
        for (_QV_InstConfigList *c = cd->configs; c; c = c->next)
            if (c->id == id)
                return c;
        return nullptr;
    }
    int check(const std::string &destination)
    {
        return QV_UpdateSuiteHistory(cd, config(2), cd->firstSuite, destination.c_str(), "Prod", "3.1");
    }

private:
    qvtest::HandmadeModel model_;
    qvtest::Loaded loaded_;

public:
    _QV_instCDinst *cd;
};

std::string real(const std::string &path)
{
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? buf : "";
}

const char kHistoryName[] = "SetupFiles/.Prod.his";

} // namespace

TEST(HistoryFile, WrittenByOneRunAndAppliedByTheNext)
{
    ScratchDir tmp("hist");
    qvtest::make_dirs(tmp / "medium");
    std::string dest = tmp / "root/Prod/";
    {
        Model run(tmp / "root", tmp / "medium");
        QV_InitHistoryFile(dest.c_str(), "Prod", "3.1");
        // Pass 3 appends every selected suite in both walks.
        for (int walk = 0; walk < 2; ++walk)
            QV_UpdateHistoryFile(dest.c_str(), run.suiteNamed("S1"));
    }
    EXPECT_EQ(qvtest::read_file(dest + kHistoryName),
              "HistoryFileVersion 2\nProd\n3.1\n" + real(tmp / "medium") +
                  "\nPackage \"a\" Installed\nPackage \"b\" Installed\nPackage \"a\" Installed\nPackage \"b\" "
                  "Installed\n");

    Model next(tmp / "root", tmp / "elsewhere");
    // Every state starts set, so the reader's reset shows.
    next.config(4)->installed = next.config(4)->selected = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(next.check(dest), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    EXPECT_STREQ(next.cd->sourceDir, real(tmp / "medium").c_str());
    EXPECT_EQ(next.pkg("a")->installed, 1);
    EXPECT_EQ(next.pkg("b")->installed, 1);
    EXPECT_EQ(next.pkg("c")->installed, 0);
    EXPECT_EQ(next.suiteNamed("S1")->installed, 1);
    EXPECT_EQ(next.suiteNamed("S2")->installed, 0);
    EXPECT_EQ(next.suiteNamed("S3")->installed, 1) << "all of its packages are listed by S1";
    struct {
        int id, state;
    } expected[] = {{2, 1}, {3, 1}, {4, 0}, {5, 1}, {6, 1}};
    for (auto e : expected) {
        EXPECT_EQ(next.config(e.id)->installed, e.state) << "config " << e.id;
        EXPECT_EQ(next.config(e.id)->selected, e.state) << "config " << e.id;
    }
    // The root destination is only rewritten when the history was found
    // outside the destination.
    EXPECT_STREQ(next.cd->rootDest, (tmp / "root").c_str());

    EXPECT_EQ(QV_RemoveHistoryFile(dest.c_str()), 0);
    EXPECT_FALSE(qvtest::exists(dest + kHistoryName));
    EXPECT_NE(QV_RemoveHistoryFile(dest.c_str()), 0);
}

TEST(HistoryFile, PackageLinesAreMatchedByTheirQuotedName)
{
    ScratchDir tmp("hist");
    std::string dest = tmp / "Prod/";
    qvtest::write_file(dest + kHistoryName, "HistoryFileVersion 2\nProd\n3.1\n/\n"
                                            "Package \"c\" Installed\n"
                                            "Package \"c\" Installed\n"
                                            "Package \"zz\" Installed\n"
                                            "Package a Installed\n"
                                            "Packages \"a\" Installed\n"
                                            "Package \"b\n"
                                            "Package\n");
    Model m(tmp.path(), "/");
    EXPECT_EQ(m.check(dest), 1);
    EXPECT_EQ(m.pkg("a")->installed, 0);
    EXPECT_EQ(m.pkg("b")->installed, 0);
    EXPECT_EQ(m.pkg("c")->installed, 1);
    EXPECT_EQ(m.suiteNamed("S2")->installed, 1);
    EXPECT_EQ(m.config(4)->installed, 1);
    EXPECT_EQ(m.config(2)->installed, 1);
    EXPECT_EQ(m.config(5)->installed, 0);
}

// Validation of the first four lines: one row per history text.
TEST(HistoryFile, InvalidHistoriesAreRejectedWithoutEndingTheProgram)
{
    const std::string corrupt = "History file empty, corrupt, or out-of-date\n";
    struct Row {
        const char *what;
        std::string content;
        int result;
        std::string printed;
        const char *source = "/usr"; // the source folder afterwards
    } rows[] = {
        {"valid", "HistoryFileVersion 2\nProd\n3.1\n/usr\n", 1, ""},
        {"product name as a substring", "HistoryFileVersion 2\nMyProd suite\n3.1\n/usr\n", 1, ""},
        {"format number 1", "HistoryFileVersion 1\nProd\n3.1\n/usr\n", 0, corrupt},
        {"other key word", "HistoryVersion 2\nProd\n3.1\n/usr\n", 0, corrupt},
        {"no format number", "HistoryFileVersion\nProd\n3.1\n/usr\n", 0, corrupt},
        {"other product", "HistoryFileVersion 2\nOther\n3.1\n/usr\n", 0, corrupt},
        {"empty file", "", 0, corrupt},
        {"no version line", "HistoryFileVersion 2\nProd\n", 0, corrupt},
        {"no source line", "HistoryFileVersion 2\nProd\n3.1\n", 0, corrupt},
        {"empty source line", "HistoryFileVersion 2\nProd\n3.1\n\n", 0, corrupt},
        {"relative source gone", "HistoryFileVersion 2\nProd\n3.1\nno/such/dir\n", 0, corrupt},
        {"source folder gone", "HistoryFileVersion 2\nProd\n3.1\n/no/such/medium\n", 1, "", "/medium"},
        {"source line without newline", "HistoryFileVersion 2\nProd\n3.1\n/usr", 1, ""},
        {"older version only warns", "HistoryFileVersion 2\nProd\n2.9\n/usr\n", 1,
         "Setup has detected an older version of Prod (2.9)\nBefore installing, you should select Remove All."
         "Returning OK\n"},
    };
    for (const Row &row : rows) {
        ScratchDir tmp("hist");
        std::string dest = tmp / "Prod/";
        qvtest::write_file(dest + kHistoryName, row.content);
        Model m(tmp.path(), "/medium");
        testing::internal::CaptureStdout();
        EXPECT_EQ(m.check(dest), row.result) << row.what;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), row.printed) << row.what;
        if (row.result == 0) {
            EXPECT_STREQ(m.cd->sourceDir, "/medium") << row.what;
            EXPECT_EQ(m.pkg("a")->installed, 0) << row.what;
        } else {
            EXPECT_STREQ(m.cd->sourceDir, row.source) << row.what;
        }
    }
}

TEST(HistoryFile, MissingOrUnwritableHistoryCountsAsNone)
{
    ScratchDir tmp("hist");
    std::string dest = tmp / "Prod/";
    Model m(tmp.path(), "/medium");
    testing::internal::CaptureStdout();
    EXPECT_EQ(m.check(dest), 0);
    EXPECT_EQ(QV_UpdateSuiteHistory(m.cd, m.config(2), nullptr, dest.c_str(), "Prod", "3.1"), 0);
    EXPECT_EQ(QV_UpdateSuiteHistory(m.cd, m.config(2), m.cd->firstSuite, "", "Prod", "3.1"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// Not as root, a SetupFiles folder that may be searched but not listed
// (mode 0311) holds a history that is found, read and rewritten.
TEST(HistoryFile, AFolderThatCannotBeListedKeepsItsHistory)
{
    ScratchDir tmp("hist");
    const std::string dest = tmp / "Prod/";
    if (fork() == 0) {
        Model m(tmp.path(), "/");
        const bool user = geteuid() != 0 || (chown(tmp.path().c_str(), 65534, 65534) == 0 &&
                                             setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0);
        QV_InitHistoryFile(dest.c_str(), "Prod", "3.1");
        chmod((dest + "SetupFiles").c_str(), 0311);
        qv::begin_history_draft();
        const bool kept = user && m.check(dest) == 1 && QV_InitHistoryFile(dest.c_str(), "Prod", "3.1") == 0;
        QV_UpdateHistoryFile(dest.c_str(), m.suiteNamed("S2"));
        _exit(kept && qv::commit_history_draft(true) ? 0 : 1);
    }
    int status = -1;
    wait(&status);
    chmod((dest + "SetupFiles").c_str(), 0755);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(qvtest::read_file(dest + kHistoryName), "HistoryFileVersion 2\nProd\n3.1\n/\nPackage \"c\" Installed\n");
}

// Two levels above the source directory, or else the running directory:
// the first one that contains ProductDirectory is searched, and the root
// destination becomes its text before the first occurrence.
TEST(HistoryFile, FoundInTheInstalledProductDirectory)
{
    struct Row {
        const char *what;
        std::string source, running, historyDir, root;
    } rows[] = {
        {"running directory", "medium/disk1", "opt/Q/Prod/", "opt/Q/Prod/SetupFiles/", "opt/Q/"},
        {"cut at the first occurrence", "medium/disk1", "home/Products/Prod/", "home/Products/Prod/SetupFiles/",
         "home/"},
        {"two levels above the source", "opt/Q/Prod/Setup/disk1", "medium/", "opt/Q/Prod/SetupFiles/", "opt/Q/"},
        {"history beside the candidate", "medium/disk1", "opt/Q/Prod/", "opt/Q/Prod/", "opt/Q/"},
    };
    for (const Row &row : rows) {
        ScratchDir tmp("hist");
        std::string base = real(tmp.path()) + "/";
        qvtest::make_dirs(base + row.source);
        qvtest::make_dirs(base + row.running);
        qvtest::write_file(base + row.historyDir + ".Prod.his", "HistoryFileVersion 2\nProd\n3.1\n/tmp\n"
                                                                 "Package \"c\" Installed\n");
        Model m(base + "configured", base + row.source);
        ASSERT_EQ(QV_instSetRunningDirectory((base + row.running).c_str()), 0);
        EXPECT_EQ(m.check(base + "configured/Prod/"), 1) << row.what;
        EXPECT_STREQ(m.cd->rootDest, (base + row.root).c_str()) << row.what;
        EXPECT_EQ(m.suiteNamed("S2")->installed, 1) << row.what;
    }
}

TEST(HistoryFile, NotSearchedWhereProductDirectoryDoesNotOccur)
{
    ScratchDir tmp("hist");
    std::string base = real(tmp.path()) + "/";
    qvtest::write_file(base + "opt/Q/Other/SetupFiles/.Prod.his", "HistoryFileVersion 2\nProd\n3.1\n/tmp\n");
    qvtest::make_dirs(base + "medium/disk1");
    Model m(base + "configured", base + "medium/disk1");
    ASSERT_EQ(QV_instSetRunningDirectory((base + "opt/Q/Other/").c_str()), 0);
    EXPECT_EQ(m.check(base + "configured/Prod/"), 0);
    EXPECT_STREQ(m.cd->rootDest, (base + "configured").c_str());
}

// Destinations longer than any fixed buffer: the history lands where it
// belongs and is read back.
TEST(HistoryFile, LongDestinationKeepsItsHistory)
{
    ScratchDir tmp("hist");
    std::string dest = tmp.path();
    while (dest.size() < 600)
        dest += "/a-rather-long-directory-name-for-the-destination";
    dest += "/Prod/";
    qvtest::make_dirs(dest);
    Model m(tmp.path(), "/");
    QV_InitHistoryFile(dest.c_str(), "Prod", "3.1");
    QV_UpdateHistoryFile(dest.c_str(), m.suiteNamed("S2"));
    ASSERT_TRUE(qvtest::exists(dest + kHistoryName));
    EXPECT_EQ(m.check(dest), 1);
    EXPECT_EQ(m.pkg("c")->installed, 1);
}

TEST(HistoryFile, UnopenableHistoryIsReportedAndTheRunGoesOn)
{
    ScratchDir tmp("hist");
    // SetupFiles is a file, so neither the directory nor the history can be made.
    qvtest::write_file(tmp / "Prod/SetupFiles", "");
    std::string dest = tmp / "Prod/";
    Model m(tmp.path(), "/");
    testing::internal::CaptureStdout();
    QV_InitHistoryFile(dest.c_str(), "Prod", "3.1");
    QV_UpdateHistoryFile(dest.c_str(), m.suiteNamed("S1"));
    std::string out = testing::internal::GetCapturedStdout();
    std::string line = "Unable to open " + dest + "SetupFiles/.Prod.his\n";
    EXPECT_EQ(out, line + line);
}

// As root, in a folder a user may write to, a link planted at the
// history's name is neither written nor read through; an install run's
// history replaces it.
TEST(HistoryFile, LinkAtTheHistorysNameIsNotFollowedByRoot)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    ScratchDir tmp("hist");
    const std::string dest = tmp / "Prod/";
    const std::string target = tmp / "target";
    const std::string planted = "HistoryFileVersion 2\nProd\n3.1\n/\nPackage \"a\" Installed\n";
    qvtest::write_file(target, planted, 0600);
    qvtest::make_dirs(dest + "SetupFiles");
    ASSERT_EQ(symlink(target.c_str(), (dest + kHistoryName).c_str()), 0);

    Model m(tmp.path(), "/");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    QV_InitHistoryFile(dest.c_str(), "Prod", "3.1");
    QV_UpdateHistoryFile(dest.c_str(), m.suiteNamed("S1"));
    EXPECT_EQ(m.check(dest), 0);
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    std::string line = "Unable to open " + dest + "SetupFiles/.Prod.his\n";
    EXPECT_EQ(out, line + line);
    EXPECT_NE(err.find("is a link"), std::string::npos) << err;
    EXPECT_EQ(qvtest::read_file(target), planted);
    EXPECT_EQ(m.pkg("a")->installed, 0);

    qv::begin_history_draft();
    QV_InitHistoryFile(dest.c_str(), "Prod", "3.1");
    QV_UpdateHistoryFile(dest.c_str(), m.suiteNamed("S2"));
    qv::commit_history_draft(true);
    EXPECT_EQ(qvtest::read_file(target), planted);
    struct stat st;
    ASSERT_EQ(lstat((dest + kHistoryName).c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(qvtest::read_file(dest + kHistoryName), "HistoryFileVersion 2\nProd\n3.1\n/\nPackage \"c\" Installed\n");
    EXPECT_FALSE(qvtest::exists(dest + kHistoryName + ".tmp"));
}

// As root, a history in a tree that another user controls is not read,
// below the destination or in the installation setup runs from: that user
// could have written it.
TEST(HistoryFile, AsRootNoHistoryIsReadFromATreeAnotherUserControls)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    for (const std::string tree : {"configured/Prod", "opt/Q/Prod"}) {
        ScratchDir tmp("hist");
        std::string base = real(tmp.path()) + "/";
        qvtest::write_file(base + tree + "/" + kHistoryName, "HistoryFileVersion 2\nProd\n3.1\n/tmp\n"
                                                               "Package \"c\" Installed\n");
        ASSERT_EQ(chown((base + tree).c_str(), 65534, 65534), 0);
        qvtest::make_dirs(base + "medium/disk1");
        Model m(base + "configured", base + "medium/disk1");
        ASSERT_EQ(QV_instSetRunningDirectory((base + "opt/Q/Prod/").c_str()), 0);
        testing::internal::CaptureStderr();
        EXPECT_EQ(m.check(base + "configured/Prod/"), 0) << tree;
        // Told once, though the installation setup runs from has two places.
        const std::string err = testing::internal::GetCapturedStderr(),
                          told = "History file not read: Setup runs as root and will not use " + base + tree;
        EXPECT_NE(err.find(told + ", a folder owned by "), std::string::npos) << tree;
        EXPECT_EQ(err.find(told), err.rfind(told)) << err;
        EXPECT_STREQ(m.cd->rootDest, (base + "configured").c_str()) << tree;
        EXPECT_EQ(m.suiteNamed("S2")->installed, 0) << tree;
    }
}

// Only the leading whole number of each version counts. Without a display
// the warning box prints its text and the button it answers with.
TEST(HistoryFile, VersionDifferencesOnlyWarn)
{
    struct Row {
        const char *ours, *installed;
        const char *warning; // nullptr: no message
    } rows[] = {
        {"3.1", "3.7\n", nullptr},
        {"2.5", "2.0", nullptr},
        {"3.1", "2.9\n", "Setup has detected an older version of Prod (2.9)\nBefore installing, you should select "
                         "Remove All."},
        {"3.1", "10 beta\n", "Setup has detected a newer version of Prod (10 beta)\nIt is highly recommended that "
                             "you not continue."},
        {"1", "", "Setup has detected an older version of Prod ()\nBefore installing, you should select Remove All."},
    };
    for (const Row &row : rows) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(CompareProductVersions("Prod", row.ours, row.installed), 1);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, row.warning ? std::string(row.warning) + "Returning OK\n" : "")
            << row.ours << " / " << row.installed;
    }
}
