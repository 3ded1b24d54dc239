// Path helpers: joining, collapsing, last component and directory part,
// the length limit, canonical directories and the climb to the nearest
// existing directory.
// gtest goes first: the X11 headers that engine/internal.h brings in define None.
#include <gtest/gtest.h>

#include "engine/util.h"
#include "engine/internal.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <optional>
#include <string>


#include "support/testutil.h"

namespace {

using Text = std::optional<std::string>;

Text own(char *s)
{
    qv::CStr p(s);
    return s ? Text(s) : std::nullopt;
}

struct Row {
    int line;
    Text got;
    Text want;
};

void check(const Row *rows, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        SCOPED_TRACE("table row at line " + std::to_string(rows[i].line));
        EXPECT_EQ(rows[i].got, rows[i].want);
    }
}

#define CHECK_ROWS(rows) check(rows, sizeof rows / sizeof rows[0])

const char *const END = nullptr;

TEST(BuildPath, InsertsSeparatorsOnlyWhereNeeded)
{
    const Row rows[] = {
        {__LINE__, own(QV_instBuildPath("/usr/", "/lib", "x", END)), "/usr/lib/x"},
        {__LINE__, own(QV_instBuildPath("a", END)), "a"},
        {__LINE__, own(QV_instBuildPath("a//b", END)), "a/b"},
        {__LINE__, own(QV_instBuildPath("", "a", END)), "/a"},
        {__LINE__, own(QV_instBuildPath("d", "", END)), "d/"},
        {__LINE__, own(QV_instBuildPath("a", "", "b", END)), "a/b"},
        {__LINE__, own(QV_instBuildPath("/a/", "/b", END)), "/a/b"},
        {__LINE__, own(QV_instBuildPath("a/", "b/", END)), "a/b/"},
        {__LINE__, own(QV_instBuildPath("", END)), ""},
        {__LINE__, own(QV_instBuildPath("", "", END)), "/"},
        {__LINE__, own(QV_instBuildPath("a", "./..", "b", END)), "a/./../b"},
        {__LINE__, own(QV_instBuildPath(END)), std::nullopt},
    };
    CHECK_ROWS(rows);
}

Text collapsed(const char *path)
{
    std::string s = path;
    EXPECT_EQ(QV_instRemoveExtraSlash(&s[0]), 0);
    return std::string(s.c_str());
}

TEST(PathParts, CollapseBasenameDirname)
{
    const Row rows[] = {
        {__LINE__, collapsed("//a//"), "/a/"},
        {__LINE__, collapsed("///"), "/"},
        {__LINE__, collapsed("a/./../b"), "a/./../b"},
        {__LINE__, collapsed(""), ""},

        {__LINE__, own(QV_instBasename("a/b")), "b"},
        {__LINE__, own(QV_instBasename("a/b/")), ""},
        {__LINE__, own(QV_instBasename("name")), "name"},
        {__LINE__, own(QV_instBasename("/")), ""},
        {__LINE__, own(QV_instBasename(nullptr)), std::nullopt},

        {__LINE__, own(QV_instDirname("a/b")), "a/"},
        {__LINE__, own(QV_instDirname("a/b/")), "a/"},
        {__LINE__, own(QV_instDirname("/a")), "/"},
        {__LINE__, own(QV_instDirname("a")), "./"},
        {__LINE__, own(QV_instDirname("")), "./"},
        {__LINE__, own(QV_instDirname("/")), "./"},
        {__LINE__, own(QV_instDirname("//x//y//")), "/x/"},
        {__LINE__, own(QV_instDirname("../x/y")), "../x/"},
        {__LINE__, own(QV_instDirname("./")), "./"},
        {__LINE__, own(QV_instDirname(nullptr)), std::nullopt},
    };
    CHECK_ROWS(rows);
    EXPECT_EQ(QV_instRemoveExtraSlash(nullptr), 1);
}

TEST(PathParts, LongestAcceptedPathIs4096Characters)
{
    std::string at_limit = "/" + std::string(QV_PATH_MAX - 3, 'd') + "/f";
    ASSERT_EQ(at_limit.size(), 4096u);
    std::string over = at_limit + "g";

    EXPECT_EQ(own(QV_instDirname(at_limit.c_str())), at_limit.substr(0, 4095));
    EXPECT_EQ(own(QV_instBasename(at_limit.c_str())), "f");
    EXPECT_EQ(own(QV_instDirname(over.c_str())), std::nullopt);
    EXPECT_EQ(own(QV_instBasename(over.c_str())), std::nullopt);
    EXPECT_EQ(own(QV_instGetRealPath(over.c_str())), std::nullopt);
    EXPECT_EQ(own(QV_instGetPartitionDirectory(over.c_str())), std::nullopt);

    // No limit on joining.
    std::string part(5000, 'p');
    Text joined = own(QV_instBuildPath(part.c_str(), part.c_str(), END));
    ASSERT_TRUE(joined);
    EXPECT_EQ(joined->size(), 10001u);
}

// Runs the body with the working directory changed, then goes back.
class InDir {
public:
    explicit InDir(const std::string &dir)
    {
        EXPECT_NE(getcwd(old_, sizeof old_), nullptr);
        EXPECT_EQ(chdir(dir.c_str()), 0);
    }
    ~InDir() { EXPECT_EQ(chdir(old_), 0); }

private:
    char old_[PATH_MAX];
};

std::string real(const std::string &path)
{
    qv::CStr r(realpath(path.c_str(), nullptr));
    return r ? r.get() : "";
}

TEST(GetRealPath, GivesCanonicalDirectoryOfThePath)
{
    qvtest::ScratchDir tmp("realpath");
    std::string root = real(tmp.path());
    qvtest::make_dirs(tmp / "cd/sub");
    ASSERT_EQ(symlink("cd", (tmp / "link").c_str()), 0);

    EXPECT_EQ(own(QV_instGetRealPath((tmp / "link/sub/../setup").c_str())), root + "/cd/");
    EXPECT_EQ(own(QV_instGetRealPath((tmp / "cd/").c_str())), root + "/");
    {
        InDir in(tmp / "cd");
        EXPECT_EQ(own(QV_instGetRealPath("setup")), root + "/cd/");
    }
    EXPECT_EQ(own(QV_instGetRealPath("/x")), "/");

    testing::internal::CaptureStderr();
    EXPECT_EQ(own(QV_instGetRealPath((tmp / "missing/file").c_str())), std::nullopt);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: can't obtain realpath of <" + tmp.path() + "/missing/>\n");
    EXPECT_EQ(own(QV_instGetRealPath(nullptr)), std::nullopt);
}

TEST(GetPartitionDirectory, ClimbsToNearestExistingDirectory)
{
    qvtest::ScratchDir tmp("partition");
    qvtest::make_dirs(tmp / "opt");
    qvtest::write_file(tmp / "opt/file", "x");

    // A path at the length limit still climbs; the kernel refuses to look it
    // up, so it counts as missing.
    std::string deep = tmp / "opt/new/";
    while (deep.size() < QV_PATH_MAX - 200)
        deep += std::string(199, 'n') + "/";
    deep += std::string(QV_PATH_MAX - deep.size(), 'z');
    ASSERT_EQ(deep.size(), 4096u);

    const Row rows[] = {
        {__LINE__, own(QV_instGetPartitionDirectory((tmp / "opt").c_str())), tmp / "opt"},
        {__LINE__, own(QV_instGetPartitionDirectory((tmp / "opt/new/dir").c_str())), tmp / "opt/"},
        {__LINE__, own(QV_instGetPartitionDirectory(deep.c_str())), tmp / "opt/"},
        {__LINE__, own(QV_instGetPartitionDirectory((tmp / "opt/file").c_str())), std::nullopt},
    };
    CHECK_ROWS(rows);

    InDir in(tmp / "opt");
    EXPECT_EQ(own(QV_instGetPartitionDirectory("a/b")), "./");
    EXPECT_EQ(own(QV_instGetPartitionDirectory(nullptr)), real(tmp / "opt"));
    EXPECT_EQ(own(QV_instGetPartitionDirectory("")), real(tmp / "opt"));
}

TEST(GetPartitionDirectory, RemovedWorkingDirectoryEndsTheClimb)
{
    qvtest::ScratchDir tmp("gone");
    qvtest::make_dirs(tmp / "gone");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // Exit code: one bit for each call that did not give NULL.
        int bad = 0;
        if (chdir((tmp / "gone").c_str()) != 0 || rmdir((tmp / "gone").c_str()) != 0)
            _exit(100);
        char *a = QV_instGetPartitionDirectory("a/b");
        char *b = QV_instGetPartitionDirectory(nullptr);
        char *c = QV_instGetPartitionDirectory("x");
        bad = (a != nullptr) | (b != nullptr) << 1 | (c != nullptr) << 2;
        free(a);
        free(b);
        free(c);
        _exit(bad);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
