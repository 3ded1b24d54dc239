// The package passes: which packages a pass runs, what removal does with
// directories and archive members, and how a pass fails.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/medium.h"
#include "engine/cdinst.h"
#include "engine/install.h"

using namespace qvtest;

namespace {

// Everything written to a protocol stream, read back.
class Stream {
public:
    Stream() : f_(std::tmpfile()) {}
    ~Stream() { std::fclose(f_); }
    FILE *get() const { return f_; }
    std::vector<std::string> lines()
    {
        std::fflush(f_);
        std::rewind(f_);
        std::string text;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f_)) > 0)
            text.append(buf, n);
        return lines_of(text);
    }

private:
    FILE *f_;
};

class Passes : public ::testing::Test {
protected:
    ScratchDir scratch{"passes"};
    Medium medium{scratch / "medium"};
    std::string root = scratch / "root";
    std::string dest = root + "/QvTest/";
    std::string calls = scratch / "calls.txt";
    _QV_instCDinst *cdinst = nullptr;

    void SetUp() override
    {
        make_dirs(dest);
    }
    void TearDown() override
    {
        CDInstPtr = nullptr;
        if (cdinst)
            QV_instFreeCDinst(cdinst);
    }

    void load(const std::string &body)
    {
        medium.description(body);
        cdinst = QV_instReadCDinst(medium.cdinst().c_str(), nullptr);
        ASSERT_NE(cdinst, nullptr);
        cdinst->rootDest = strdup(root.c_str());
        CDInstPtr = cdinst;
    }
    _QV_InstConfigList *config(int id) { return QV_instGetConfigFromId(cdinst, id); }
    _QV_InstPackage *package(const char *name) { return QV_instGetPackageFromName(cdinst, name); }
    std::string record() const { return "Function \"drv_record\" \"drv_probe.so\" \"" + calls + "\"\n"; }
};

TEST_F(Passes, SharedPackageRunsOncePerPass)
{
    medium.module("drv_probe");
    load("Package \"shared\" \"\"\n" + record() + "Package \"own\" \"\"\n" + record() +
         "Suite \"A\" shared\nSuite \"B\" own shared\n"
         "ConfigBegin\n3 CusDlg \"\" \"\" \"\" 1 4 5\n4 Suite \"A\" \"\" \"\" 1\n5 Suite \"B\" \"\" \"\" 1\nConfigEnd\n");
    Stream s;
    for (int pass : {QV_PassBeforeFiles, QV_PassRegistry})
        EXPECT_EQ(QV_instInstallConfig(cdinst, config(3), dest.c_str(), s.get(), pass, 0), 0);
    std::vector<std::string> seen;
    for (const std::string &line : lines_of(read_file(calls)))
        seen.push_back(line.substr(0, line.find(" pid=")));
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "remove=0 pass=2 suite=A package=shared",
                        "remove=0 pass=2 suite=B package=own",
                        "remove=0 pass=4 suite=A package=shared",
                        "remove=0 pass=4 suite=B package=own",
                    }));
}

TEST_F(Passes, RemovalLeavesPackagesThatASelectedSuiteHolds)
{
    medium.module("drv_probe");
    load("Package \"gone\" \"\"\n" + record() + "Package \"kept\" \"\"\n" + record() +
         "Suite \"Old\" gone kept\nSuite \"New\" kept\n"
         "ConfigBegin\n3 CusDlg \"\" \"\" \"\" 1 4 5\n4 Suite \"Old\" \"\" \"\" 0\n5 Suite \"New\" \"\" \"\" 1\nConfigEnd\n");
    QV_instGetSuiteFromName(cdinst, "Old")->installed = 1;
    package("gone")->installed = 1;
    package("kept")->installed = 1;
    UpdateNumInUseFlag(cdinst, config(3), 1);
    UpdateNumInUseFlag(cdinst, config(3), 0);

    Stream s;
    EXPECT_EQ(QV_instInstallConfig(cdinst, config(3), dest.c_str(), s.get(), QV_PassBeforeFiles, 1), 0);
    std::vector<std::string> seen;
    for (const std::string &line : lines_of(read_file(calls)))
        seen.push_back(line.substr(0, line.find(" pid=")));
    EXPECT_EQ(seen, std::vector<std::string>{"remove=1 pass=2 suite=Old package=gone"});
}

TEST_F(Passes, SuiteWithoutPackagesFailsEveryPass)
{
    load("Package \"p\" \"\"\nSuite \"Empty\"\nConfigBegin\n3 Suite \"Empty\" \"\" \"\" 1\nConfigEnd\n");
    Stream s;
    for (int pass = QV_PassBeforeFiles; pass <= QV_PassAfterFiles; ++pass)
        EXPECT_EQ(QV_instInstallConfig(cdinst, config(3), dest.c_str(), s.get(), pass, 0), -1) << pass;
}

TEST_F(Passes, ConfigurationsThatCannotBeInstalled)
{
    load("Package \"p\" \"\"\nSuite \"S\" p\n"
         "ConfigBegin\n1 MainDlg \"\" \"\" \"\" 3\n3 CusDlg \"\" \"\" \"\" 1 7\nConfigEnd\n");
    Stream s;
    struct Case {
        _QV_InstConfigList *config;
        const char *destination;
        std::string err;
    } cases[] = {
        {nullptr, dest.c_str(), "Error: invalid input to function QV_instInstallConfig\n"},
        {config(3), nullptr, "Error: invalid input to function QV_instInstallConfig\n"},
        {config(1), dest.c_str(), "Error: can only install a suite or a custom list of suites\n"},
        // A child id that names no configuration.
        {config(3), dest.c_str(), "Error: invalid input to function QV_instInstallConfig\n"},
    };
    for (const Case &c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(QV_instInstallConfig(cdinst, c.config, c.destination, s.get(), QV_PassFiles, 0), 1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
    }
}

TEST_F(Passes, UndefinedOperationAbandonsTheList)
{
    medium.file("f.txt", "f\n");
    load("Package \"p\" \"\"\nCopy \"f.txt\" \"\" 2 0644 0 0\nCopy \"f.txt\" \"g.txt\" 2 0644 0 0\n"
         "Suite \"S\" p\nConfigBegin\n3 Suite \"S\" \"\" \"\" 1\nConfigEnd\n");
    QV_InstOperation *op = package("p")->firstOper;
    op->type = QV_OPER_ALIAS;
    Stream s;
    testing::internal::CaptureStderr();
    EXPECT_EQ(QV_instInstallPackList(cdinst->firstSuite->firstPack, medium.dir().c_str(), dest.c_str(), s.get(),
                                     QV_PassFiles, 0, "S"),
              1);
    op->type = QV_OPER_COPY; // so that freeing the description frees its fields
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error:Undefined operation 13\n");
    EXPECT_FALSE(exists(dest + "g.txt")) << "the operations after it do not run";
}

// Whether a pass acts on an operation, skips it or has nothing to do for
// it, each walk reports the package's read size exactly, so that the
// progress of a run that goes through ends at 100 percent.
TEST_F(Passes, EachWalkReportsThePackagesReadSize)
{
    unsetenv("DISPLAY"); // the registry steps only warn
    medium.file("f.txt", "12345");
    medium.file("empty", "");
    load("Package \"p\" \"\"\nCopy \"f.txt\" \"\" 5 0644 0 0\nCopy \"empty\" \"\" 0 0644 0 0\n"
         "Mkdir \"a/b/c\" 0755 0 0\nShortcut \"ToolChest/T\" \"Tool\" \"x\"\nRegData \"R\" \"K\" \"V\" \"x\"\n"
         "SelfReg \"f.txt\"\nSuite \"S\" p\nConfigBegin\n3 Suite \"S\" \"\" \"\" 1\nConfigEnd\n");
    ASSERT_EQ(QV_instSetSizes(cdinst), 0);
    auto units = [](Stream &s) {
        long long sum = 0;
        for (const std::string &line : s.lines())
            if (line[0] == '+')
                sum += std::atoll(line.c_str() + 1);
        return sum;
    };

    Stream installing;
    for (int pass = QV_PassBeforeFiles; pass <= QV_PassAfterFiles; ++pass)
        EXPECT_EQ(QV_instInstallConfig(cdinst, config(3), dest.c_str(), installing.get(), pass, 0), 0) << pass;
    EXPECT_TRUE(exists(dest + "a/b/c"));
    EXPECT_EQ(units(installing), package("p")->readSize);

    QV_instGetSuiteFromName(cdinst, "S")->installed = 1;
    package("p")->installed = 1;
    package("p")->lastPass = 0;
    config(3)->installed = 1;
    config(3)->selected = 0;
    UpdateNumInUseFlag(cdinst, config(3), 1);
    UpdateNumInUseFlag(cdinst, config(3), 0);
    Stream removing;
    for (int pass : {QV_PassBeforeFiles, QV_PassFiles, QV_PassAfterFiles})
        EXPECT_EQ(QV_instInstallConfig(cdinst, config(3), dest.c_str(), removing.get(), pass, 1), 0) << pass;
    EXPECT_FALSE(exists(dest + "a/b/c"));
    EXPECT_EQ(units(removing), package("p")->readSize);
}

TEST_F(Passes, CollectedDirectoriesAreRemovedLastAndInReverse)
{
    std::string body = "Package \"p\" \"\"\n";
    for (int i = 0; i <= 1000; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "d%04d", i);
        body += std::string("Mkdir \"") + name + "\" 0755 0 0\n";
        make_dirs(dest + name);
    }
    body += "Suite \"S\" p\n";
    load(body);
    Stream s;
    testing::internal::CaptureStdout();
    EXPECT_EQ(QV_instInstallPackList(cdinst->firstSuite->firstPack, medium.dir().c_str(), dest.c_str(), s.get(),
                                     QV_PassFiles, 1, "S"),
              0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Can't remove all dirs, list too large\n");
    std::vector<std::string> lines = s.lines();
    ASSERT_EQ(lines.size(), 1000u);
    EXPECT_EQ(lines.front(), "+1 " + dest + "d0999");
    EXPECT_EQ(lines.back(), "+1 " + dest + "d0000");
    EXPECT_FALSE(exists(dest + "d0000"));
    EXPECT_FALSE(exists(dest + "d0999"));
    EXPECT_TRUE(exists(dest + "d1000")) << "the name beyond the list's room stays";
}

TEST_F(Passes, ArchiveDestinationTagsMatchOnlyExactly)
{
    std::string literal = scratch / "literal";
    std::string body = "Package \"p\" \"\"\n";
    body += "Untar2 \"<RootDest>\" \"a.tar\" 1 \"at-root\" 1\n";
    body += "Untar2 \"<CommonDest>\" \"a.tar\" 1 \"in-common\" 1\n";
    body += "Untar2 \"<RootDest>x\" \"a.tar\" 1 \"tagged\" 1\n";
    body += "Untar2 \"" + literal + "\" \"a.tar\" 1 \"plain\" 1\n";
    body += "Suite \"S\" p\n";
    load(body);
    make_dirs(root + "/Quorvanta");
    make_dirs(scratch / "cwd/<RootDest>x");
    make_dirs(literal);
    write_file(root + "/at-root", "");
    write_file(root + "/Quorvanta/in-common", "");
    write_file(scratch / "cwd/<RootDest>x/tagged", "");
    write_file(literal + "/plain", "");

    // A tag that only begins like one is a relative path, taken from the
    // working directory.
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(chdir((scratch / "cwd").c_str()), 0);
    Stream s;
    int status = QV_instInstallPackList(cdinst->firstSuite->firstPack, medium.dir().c_str(), dest.c_str(), s.get(),
                                        QV_PassFiles, 1, "S");
    ASSERT_EQ(chdir(here), 0);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(exists(root + "/at-root"));
    EXPECT_FALSE(exists(root + "/Quorvanta/in-common"));
    EXPECT_FALSE(exists(scratch / "cwd/<RootDest>x/tagged"));
    EXPECT_FALSE(exists(literal + "/plain"));
}

TEST(RemoveTarMembers, RemovesLastMemberFirstAndReportsEach)
{
    ScratchDir scratch("tarrm");
    make_dirs(scratch / "dir/sub");
    write_file(scratch / "dir/f1", "12345");
    write_file(scratch / "dir/sub/f2", "1234567");
    ASSERT_EQ(symlink("f1", (scratch / "dir/link").c_str()), 0);

    char *names[] = {const_cast<char *>("dir"), const_cast<char *>("dir/sub"), const_cast<char *>("dir/f1"),
                     const_cast<char *>("dir/sub/f2"), const_cast<char *>("dir/link"),
                     const_cast<char *>("dir/missing")};
    int64_t sizes[] = {1, 1, 5, 7, 1, 3};
    _QV_InstTar tar{const_cast<char *>("a.tar"), 6, sizes, names, nullptr};
    Stream s;
    EXPECT_EQ(QV_instRemoveTarMembers(&tar, scratch.path().c_str(), s.get()), 0);
    const std::string d = scratch.path() + "/";
    EXPECT_EQ(s.lines(), (std::vector<std::string>{"+3 " + d + "dir/missing", "+1 " + d + "dir/link",
                                                   "+7 " + d + "dir/sub/f2", "+5 " + d + "dir/f1",
                                                   "+1 " + d + "dir/sub", "+1 " + d + "dir"}));
    EXPECT_FALSE(exists(scratch / "dir"));
}

// Only what the archive can have put in place goes: tar never extracts a
// member with a ".." component, so such a name in the description must not
// delete a file outside the directory.
TEST(RemoveTarMembers, NamesThatClimbOutOfTheDirectoryDeleteNothing)
{
    ScratchDir scratch("tarrm-out");
    make_dirs(scratch / "dest/sub");
    write_file(scratch / "keep", "outside");
    write_file(scratch / "dest/keep", "inside");
    char *names[] = {const_cast<char *>("../keep"), const_cast<char *>("sub/../../keep"),
                     const_cast<char *>("keep")};
    int64_t sizes[] = {7, 7, 6};
    _QV_InstTar tar{const_cast<char *>("a.tar"), 3, sizes, names, nullptr};
    Stream s;
    const std::string dest = scratch / "dest";
    EXPECT_EQ(QV_instRemoveTarMembers(&tar, dest.c_str(), s.get()), 0);
    EXPECT_EQ(read_file(scratch / "keep"), "outside");
    EXPECT_FALSE(exists(dest + "/keep"));
    EXPECT_EQ(s.lines(), (std::vector<std::string>{"+6 " + dest + "/keep", "+7 " + dest + "/sub/../../keep",
                                                   "+7 " + dest + "/../keep"}));
}

} // namespace
