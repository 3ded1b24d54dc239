// The history file: written by one run, read back by the next, validated,
// and found from an installed product directory.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/cdinst.h"
#include "support/testutil.h"

using qvtest::ScratchDir;

namespace {

char *dup(const std::string &s)
{
    return strdup(s.c_str());
}

// A description built by hand: packages a, b, c; suites S1 {a, b}, S2 {c},
// S3 {a}; configuration 2 a CusDlg over 3 (Suite S1), 4 (Suite S2) and 5,
// itself a CusDlg over 6 (Suite S3). It is the loaded description while it
// lives.
class Model {
public:
    explicit Model(const std::string &root, const std::string &source)
    {
        d.menuInclude = 1;
        d.displayLog = 1;
        d.rootDest = dup(root);
        d.sourceDir = dup(source);
        d.productName = dup("Prod");
        d.productVersion = dup("3.1");
        d.productDir = dup("Prod");
        for (const char *name : {"a", "b", "c"})
            package(name);
        _QV_InstSuiteList *s1 = suite("S1", {"a", "b"});
        _QV_InstSuiteList *s2 = suite("S2", {"c"});
        _QV_InstSuiteList *s3 = suite("S3", {"a"});
        list(2, {3, 4, 5});
        suiteConfig(3, s1);
        suiteConfig(4, s2);
        list(5, {6});
        suiteConfig(6, s3);
        CDInstPtr = &d;
        // "/" holds no ProductDirectory, so only tests that set a running
        // directory of their own find a history there.
        QV_instSetRunningDirectory("/");
    }
    ~Model()
    {
        CDInstPtr = nullptr;
        for (_QV_InstConfigList *c = d.configs; c;) {
            _QV_InstConfigList *next = c->next;
            if (c->type == QV_CONFIG_CUSDLG)
                delete c->data.cus;
            else
                delete c->data.suite;
            delete c;
            c = next;
        }
        for (_QV_InstSuiteList *s = d.firstSuite; s;) {
            _QV_InstSuiteList *next = s->next;
            free_nodes(s->firstPack);
            free(s->name);
            delete s;
            s = next;
        }
        for (_QV_InstPackNode *n = d.firstPack; n; n = n->next) {
            free(n->package->name);
            delete n->package;
        }
        free_nodes(d.firstPack);
        for (char *s : {d.rootDest, d.sourceDir, d.productName, d.productVersion, d.productDir, d.historyFile})
            free(s);
    }

    _QV_InstPackage *pkg(const std::string &name)
    {
        for (_QV_InstPackNode *n = d.firstPack; n; n = n->next)
            if (name == n->package->name)
                return n->package;
        return nullptr;
    }
    _QV_InstSuiteList *suiteNamed(const std::string &name)
    {
        for (_QV_InstSuiteList *s = d.firstSuite; s; s = s->next)
            if (name == s->name)
                return s;
        return nullptr;
    }
    _QV_InstConfigList *config(int id)
    {
        for (_QV_InstConfigList *c = d.configs; c; c = c->next)
            if (c->id == id)
                return c;
        return nullptr;
    }
    int check(const std::string &destination)
    {
        return QV_UpdateSuiteHistory(&d, config(2), d.firstSuite, destination.c_str(), "Prod", "3.1");
    }

    _QV_instCDinst d{};

private:
    static void free_nodes(_QV_InstPackNode *n)
    {
        while (n) {
            _QV_InstPackNode *next = n->next;
            delete n;
            n = next;
        }
    }
    static void append(_QV_InstPackNode *&first, _QV_InstPackNode *&last, _QV_InstPackage *p)
    {
        auto *node = new _QV_InstPackNode{p, nullptr};
        (first ? last->next : first) = node;
        last = node;
    }
    void package(const char *name)
    {
        auto *p = new _QV_InstPackage{};
        p->name = dup(name);
        append(d.firstPack, d.lastPack, p);
    }
    _QV_InstSuiteList *suite(const char *name, std::vector<const char *> packages)
    {
        auto *s = new _QV_InstSuiteList{};
        s->name = dup(name);
        for (const char *p : packages)
            append(s->firstPack, s->lastPack, pkg(p));
        (d.firstSuite ? d.lastSuite->next : d.firstSuite) = s;
        d.lastSuite = s;
        return s;
    }
    void add(_QV_InstConfigList *c)
    {
        _QV_InstConfigList **at = &d.configs;
        while (*at)
            at = &(*at)->next;
        *at = c;
    }
    void list(int id, std::vector<int> children)
    {
        auto *c = new _QV_InstConfigList{};
        c->id = id;
        c->type = QV_CONFIG_CUSDLG;
        c->data.cus = new _QV_InstCusDlgData{};
        for (size_t i = 0; i < children.size(); ++i)
            c->data.cus->children[i] = children[i];
        add(c);
    }
    void suiteConfig(int id, _QV_InstSuiteList *s)
    {
        auto *c = new _QV_InstConfigList{};
        c->id = id;
        c->type = QV_CONFIG_SUITE;
        c->data.suite = new _QV_InstSuiteData{nullptr, s};
        add(c);
    }
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

    EXPECT_STREQ(next.d.sourceDir, real(tmp / "medium").c_str());
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
    EXPECT_STREQ(next.d.rootDest, (tmp / "root").c_str());

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
    } rows[] = {
        {"valid", "HistoryFileVersion 2\nProd\n3.1\n/tmp\n", 1, ""},
        {"product name as a substring", "HistoryFileVersion 2\nMyProd suite\n3.1\n/tmp\n", 1, ""},
        {"format number 1", "HistoryFileVersion 1\nProd\n3.1\n/tmp\n", 0, corrupt},
        {"other key word", "HistoryVersion 2\nProd\n3.1\n/tmp\n", 0, corrupt},
        {"no format number", "HistoryFileVersion\nProd\n3.1\n/tmp\n", 0, corrupt},
        {"other product", "HistoryFileVersion 2\nOther\n3.1\n/tmp\n", 0, corrupt},
        {"empty file", "", 0, corrupt},
        {"no version line", "HistoryFileVersion 2\nProd\n", 0, corrupt},
        {"no source line", "HistoryFileVersion 2\nProd\n3.1\n", 0, corrupt},
        {"empty source line", "HistoryFileVersion 2\nProd\n3.1\n\n", 0, corrupt},
        {"relative source gone", "HistoryFileVersion 2\nProd\n3.1\nno/such/dir\n", 0, corrupt},
        {"source line without newline", "HistoryFileVersion 2\nProd\n3.1\n/tmp", 1, ""},
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
            EXPECT_STREQ(m.d.sourceDir, "/medium") << row.what;
            EXPECT_EQ(m.pkg("a")->installed, 0) << row.what;
        } else {
            EXPECT_STREQ(m.d.sourceDir, "/tmp") << row.what;
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
    EXPECT_EQ(QV_UpdateSuiteHistory(&m.d, m.config(2), nullptr, dest.c_str(), "Prod", "3.1"), 0);
    EXPECT_EQ(QV_UpdateSuiteHistory(&m.d, m.config(2), m.d.firstSuite, "", "Prod", "3.1"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
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
        EXPECT_STREQ(m.d.rootDest, (base + row.root).c_str()) << row.what;
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
    EXPECT_STREQ(m.d.rootDest, (base + "configured").c_str());
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
    std::string line = "Unable to open " + dest + "/SetupFiles/.Prod.his\n";
    size_t first = out.find(line);
    ASSERT_NE(first, std::string::npos) << out;
    EXPECT_NE(out.find(line, first + 1), std::string::npos) << out;
}

// Only the leading whole number of each version counts. Without a display
// the warning box prints its text.
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
        if (row.warning)
            EXPECT_NE(out.find(row.warning), std::string::npos) << row.ours << " / " << row.installed << ": " << out;
        else
            EXPECT_EQ(out, "") << row.ours << " / " << row.installed;
    }
}

TEST(HistoryFile, VersionWarningDoesNotRejectTheHistory)
{
    ScratchDir tmp("hist");
    std::string dest = tmp / "Prod/";
    qvtest::write_file(dest + kHistoryName, "HistoryFileVersion 2\nProd\n2.9\n/tmp\n");
    Model m(tmp.path(), "/");
    testing::internal::CaptureStdout();
    EXPECT_EQ(m.check(dest), 1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Setup has detected an older version of Prod (2.9)"), std::string::npos) << out;
    EXPECT_EQ(out.find("corrupt"), std::string::npos) << out;
}
