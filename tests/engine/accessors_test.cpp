// The accessors over the loaded description: destination, source, running
// and description directories, history name, and setting the source.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "engine/cdinst.h"
#include "handmade_model.h"
#include "support/testutil.h"

using qvtest::HandmadeModel;
using qvtest::Loaded;

namespace {

std::string orNull(const char *s) { return s ? s : "(null)"; }

struct DestinationCase {
    const char *root;
    const char *productDir;
    const char *rootResult; // "(null)" for NULL
    const char *destResult;
    const char *commonResult;
};

const DestinationCase kDestinationCases[] = {
    {"/opt//soft", "Prod", "/opt/soft/", "/opt/soft/Prod/", "/opt/soft/Quorvanta/"},
    {"/opt/soft/", "Prod", "/opt/soft/", "/opt/soft/Prod/", "/opt/soft/Quorvanta/"},
    {"//", "a//b", "/", "/a/b/", "/Quorvanta/"},
    {"rel", "P", "rel/", "rel/P/", "rel/Quorvanta/"},
    {"/opt", "", "/opt/", "/opt/", "/opt/Quorvanta/"},
    {"/opt", nullptr, "/opt/", "(null)", "(null)"},
    {"", "Prod", "(null)", "(null)", "(null)"},
    {nullptr, "Prod", "(null)", "(null)", "(null)"},
};

TEST(DestinationAccessors, FormatCollapseAndAbsence)
{
    for (const DestinationCase &c : kDestinationCases) {
        SCOPED_TRACE(orNull(c.root) + " + " + orNull(c.productDir));
        HandmadeModel m(c.root, c.productDir);
        Loaded loaded(m.cd);
        EXPECT_EQ(orNull(QV_instGetRootDestinationDirectory()), c.rootResult);
        EXPECT_EQ(orNull(GetRootDestinationDirectory(m.cd)), c.rootResult);
        EXPECT_EQ(orNull(QV_instGetDestinationDirectory()), c.destResult);
        EXPECT_EQ(orNull(GetDestinationDirectory(m.cd)), c.destResult);
        EXPECT_EQ(orNull(QV_instGetCommonDestinationDirectory()), c.commonResult);
    }
}

TEST(DestinationAccessors, NoDescription)
{
    Loaded none(nullptr);
    EXPECT_EQ(QV_instGetDestinationDirectory(), nullptr);
    EXPECT_EQ(QV_instGetCommonDestinationDirectory(), nullptr);
    EXPECT_EQ(QV_instGetSourceDirectory(), nullptr);
    EXPECT_EQ(GetDestinationDirectory(nullptr), nullptr);
    EXPECT_STREQ(QV_instGetProductName(), "");
    EXPECT_STREQ(GetProductVersion(nullptr), "");
}

// Results of more than 4096 characters do not fit the accessors' buffers:
// they must be absent, never cut to a path naming some other directory.
TEST(DestinationAccessors, LongestPathsFitLongerAreAbsent)
{
    const std::string root4095 = "/" + std::string(4094, 'r'); // root result: 4096 characters
    {
        HandmadeModel m(root4095.c_str(), "P");
        Loaded loaded(m.cd);
        ASSERT_NE(QV_instGetRootDestinationDirectory(), nullptr);
        EXPECT_EQ(std::string(QV_instGetRootDestinationDirectory()), root4095 + "/");
        EXPECT_EQ(QV_instGetDestinationDirectory(), nullptr);
        EXPECT_EQ(GetDestinationDirectory(m.cd), nullptr);
        EXPECT_EQ(QV_instGetCommonDestinationDirectory(), nullptr);
    }
    {
        const std::string root4096 = root4095 + "r";
        HandmadeModel m(root4096.c_str(), "P");
        Loaded loaded(m.cd);
        EXPECT_EQ(QV_instGetRootDestinationDirectory(), nullptr);
        EXPECT_EQ(GetRootDestinationDirectory(m.cd), nullptr);
    }
    {
        // Slashes are collapsed before the length is judged.
        const std::string padded = "//" + std::string(4093, 'r') + "////";
        HandmadeModel m(padded.c_str(), "");
        Loaded loaded(m.cd);
        ASSERT_NE(QV_instGetDestinationDirectory(), nullptr);
        EXPECT_EQ(std::strlen(QV_instGetDestinationDirectory()), 4095u);
    }
}

TEST(HistoryFileName, FromHistoryFileElseProductName)
{
    struct {
        const char *historyFile;
        const char *productName;
        const char *expected;
    } cases[] = {
        {"abc", "P", ".abc.his"},
        {nullptr, "P", ".P.his"},
        {nullptr, nullptr, "..his"},
        {"", "P", "..his"},
    };
    for (const auto &c : cases) {
        HandmadeModel m("/r", "D", c.productName);
        m.cd->historyFile = m.str(c.historyFile);
        Loaded loaded(m.cd);
        EXPECT_STREQ(QV_instGetHistoryFile(), c.expected);
    }
    Loaded none(nullptr);
    EXPECT_EQ(QV_instGetHistoryFile(), nullptr);
}

class SourceDirectory : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QV_instSetRunningDirectory("/running/dir/"), 0);
        qvtest::make_dirs(scratch / "medium/disk1");
        ASSERT_EQ(symlink((scratch / "medium").c_str(), (scratch / "link").c_str()), 0);
        real = realpath(scratch.path().c_str(), nullptr);
    }
    void TearDown() override { std::free(real); }

    qvtest::ScratchDir scratch{"access-src"};
    char *real = nullptr;
};

TEST_F(SourceDirectory, RealPathAndSharedBuffer)
{
    const std::string given = scratch / "link//disk1/../disk1/";
    HandmadeModel m("/r", "P", "P", given.c_str());
    HandmadeModel other("/r", "P", "P", "/");
    Loaded loaded(m.cd);
    char *first = QV_instGetSourceDirectory();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(std::string(first), std::string(real) + "/medium/disk1");
    // Both accessors write the same buffer.
    EXPECT_EQ(GetSourceDirectory(other.cd), first);
    EXPECT_STREQ(first, "/");
}

TEST_F(SourceDirectory, RemovedDirectoryFallsBackToRunningDirectory)
{
    HandmadeModel m("/r", "P", "P", (scratch / "gone").c_str());
    Loaded loaded(m.cd);
    EXPECT_EQ(QV_instGetSourceDirectory(), QV_instGetRunningDirectory());
    EXPECT_STREQ(QV_instGetSourceDirectory(), "/running/dir/");
    m.cd->sourceDir[0] = '\0';
    EXPECT_EQ(GetSourceDirectory(m.cd), QV_instGetRunningDirectory());
}

// A source directory whose real path is longer than any path the system
// resolves is absent rather than replaced by the running directory.
TEST_F(SourceDirectory, TooLongToResolveIsAbsent)
{
    // Build a real directory chain deeper than 4096 characters with *at calls.
    const std::string part(200, 'd');
    int fd = open(scratch.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    std::string deep = real;
    for (int i = 0; i < 25; ++i) {
        ASSERT_EQ(mkdirat(fd, part.c_str(), 0755), 0);
        int next = openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        deep += "/" + part;
    }
    close(fd);
    ASSERT_GT(deep.size(), 4096u);

    HandmadeModel m("/r", "P", "P", deep.c_str());
    Loaded loaded(m.cd);
    EXPECT_EQ(QV_instGetSourceDirectory(), nullptr);

    // nftw cannot walk below PATH_MAX: take the chain down from the top.
    fd = open(scratch.path().c_str(), O_RDONLY | O_DIRECTORY);
    std::vector<int> fds{fd};
    for (int i = 0; i < 24; ++i)
        fds.push_back(openat(fds.back(), part.c_str(), O_RDONLY | O_DIRECTORY));
    for (int i = 24; i >= 0; --i) {
        EXPECT_EQ(unlinkat(fds[i], part.c_str(), AT_REMOVEDIR), 0);
        close(fds[i]);
    }
}

TEST_F(SourceDirectory, SetSourceDirectoryStoresTheRealPathOfARelativeOne)
{
    HandmadeModel m("/r", "P", "P", "/");
    Loaded loaded(m.cd);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(scratch.path().c_str()), 0);
    char arg[] = "link/disk1";
    char *stored = QV_instSetSourceDirectory(arg);
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(stored, m.cd->sourceDir);
    EXPECT_NE(stored, arg);
    EXPECT_EQ(std::string(stored), std::string(real) + "/medium/disk1");
    EXPECT_STREQ(QV_instGetSourceDirectory(), stored);

    // An absolute path is kept as given, even one that does not exist yet.
    char absolute[] = "/no//such/medium";
    EXPECT_STREQ(QV_instSetSourceDirectory(absolute), "/no//such/medium");
    EXPECT_STREQ(QV_instGetSourceDirectory(), "/running/dir/");

    // Handing back the stored string itself: it is copied before the old one goes.
    EXPECT_STREQ(QV_instSetSourceDirectory(m.cd->sourceDir), "/no//such/medium");
}

TEST(SetSourceDirectoryDeathTest, FailuresEndTheProgram)
{
    HandmadeModel m;
    char empty[] = "";
    char missing[] = "no-such-subdirectory-of-the-working-directory";
    {
        Loaded none(nullptr);
        char path[] = "/tmp";
        EXPECT_EXIT(QV_instSetSourceDirectory(path), ::testing::ExitedWithCode(1),
                    "^Internal error \\(input\\) while setting source directory\n$");
    }
    Loaded loaded(m.cd);
    EXPECT_EXIT(QV_instSetSourceDirectory(nullptr), ::testing::ExitedWithCode(1),
                "^Internal error \\(input\\) while setting source directory\n$");
    EXPECT_EXIT(QV_instSetSourceDirectory(empty), ::testing::ExitedWithCode(1),
                "^Internal error \\(input\\) while setting source directory\n$");
    EXPECT_EXIT(QV_instSetSourceDirectory(missing), ::testing::ExitedWithCode(1),
                "^Internal error \\(realpath\\) while setting source directory\n$");
}

TEST(DirectoryBuffers, HoldUpTo4096Characters)
{
    const std::string longest(4096, 'x');
    EXPECT_EQ(QV_instSetCdinstDirectory(longest.c_str()), 0);
    EXPECT_EQ(std::string(QV_instGetCdinstDirectory()), longest);
    EXPECT_EQ(QV_instSetCdinstDirectory((longest + "x").c_str()), -1);
    EXPECT_EQ(QV_instSetCdinstDirectory(nullptr), -1);
    EXPECT_EQ(std::string(QV_instGetCdinstDirectory()), longest);
    EXPECT_EQ(QV_instSetRunningDirectory("/mnt/cd/"), 0);
    EXPECT_EQ(QV_instSetRunningDirectory((longest + "x").c_str()), -1);
    EXPECT_STREQ(QV_instGetRunningDirectory(), "/mnt/cd/");
}

} // namespace
