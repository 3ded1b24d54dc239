// The user's menu files, on real files in a scratch home directory.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "engine/install.h"
#include "support/env.h"
#include "support/testutil.h"

using qvtest::EnvVar;
using qvtest::ScratchDir;

namespace {

// install_shortcut takes writable strings; the test's texts are copied.
int shortcut(std::string path, std::string label, std::string command, std::string dir)
{
    return install_shortcut(&path[0], &label[0], &command[0], &dir[0]);
}

std::string menu(const std::string &name, const std::string &body)
{
    return "\nMenu " + name + "\n{\n" + body + "}\n";
}

std::string exec(const std::string &label, const std::string &command)
{
    return "\t\"" + label + "\"\tf.checkexec \"" + command + "\"\n";
}

std::string sub(const std::string &name)
{
    return "\t\"" + name + "\"\tf.menu " + name + "\n";
}

} // namespace

TEST(Sinclude, AddedOnceToTheUsersAuxchestrc)
{
    ScratchDir home("home");
    qvtest::write_file(home / ".auxchestrc", "sinclude /other/.title");
    std::string dir = home.path(), location = "/opt/Q//";
    EXPECT_EQ(QV_instAddSinclude(&dir[0], &location[0]), 0);
    EXPECT_EQ(QV_instAddSinclude(&dir[0], &location[0]), 0);
    EXPECT_EQ(qvtest::read_file(home / ".auxchestrc"), "sinclude /other/.title\nsinclude /opt/Q/.title\n");

    // Found however far into a long line it stands, across any read.
    for (size_t at : {4090, 8186, 16380, 65530}) {
        const std::string rc = std::string(at, 'x') + "sinclude /opt/Q/.title and more\n";
        qvtest::write_file(home / ".auxchestrc", rc);
        EXPECT_EQ(QV_instAddSinclude(&dir[0], &location[0]), 0);
        EXPECT_EQ(qvtest::read_file(home / ".auxchestrc"), rc) << at;
    }
}

TEST(Sinclude, HomeAndLocationFromTheEnvironment)
{
    ScratchDir home("home");
    EnvVar h("HOME", home.path().c_str());
    EnvVar loc("QV_LOCATION", "/usr/Quorvanta/");
    EXPECT_EQ(QV_instAddSinclude(nullptr, nullptr), 0);
    EXPECT_EQ(qvtest::read_file(home / ".auxchestrc"), "\nsinclude /usr/Quorvanta/.title\n");
}

TEST(Sinclude, MissingEnvironmentOrUnwritableFileFails)
{
    ScratchDir home("home");
    std::string location = "/opt/Q/";
    struct Row {
        const char *home, *location;
        std::string message;
    } rows[] = {
        {nullptr, "/l/", "Unable to get Home env var for sinclude\n"},
        {"", "/l/", "Unable to get Home env var for sinclude\n"},
        {"/h/", nullptr, "Unable to get QV_LOCATION env var for sinclude\n"},
    };
    for (const Row &row : rows) {
        EnvVar h("HOME", row.home);
        EnvVar loc("QV_LOCATION", row.location);
        testing::internal::CaptureStderr();
        EXPECT_EQ(QV_instAddSinclude(nullptr, nullptr), 1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), row.message);
    }
    std::string missing = home / "no/such/dir";
    testing::internal::CaptureStderr();
    EXPECT_EQ(QV_instAddSinclude(&missing[0], &location[0]), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable to open shortcut file: " + missing + "/.auxchestrc\n");
}

TEST(Shortcut, MenusAreCreatedFromTheRootAndEntriesUpdatedInPlace)
{
    ScratchDir dir("menu");
    ASSERT_EQ(shortcut("ToolChest/Apps/Tools", "Editor", "qvedit %s-x", dir.path()), 0);
    std::string created = menu("ToolChest", sub("Apps")) + menu("Apps", sub("Tools")) +
                          menu("Tools", exec("Editor", "qvedit -x"));
    EXPECT_EQ(qvtest::read_file(dir / ".shortcuts"), created);
    EXPECT_FALSE(qvtest::exists(dir / "QUORRC"));

    // The same label again: the entry gets the new command, nothing is added.
    ASSERT_EQ(shortcut("/ToolChest//Apps/Tools/", "Editor", "qvedit2", dir.path()), 0);
    std::string updated = menu("ToolChest", sub("Apps")) + menu("Apps", sub("Tools")) +
                          menu("Tools", exec("Editor", "qvedit2"));
    EXPECT_EQ(qvtest::read_file(dir / ".shortcuts"), updated);

    // Another label: the last menu gets a second block of its own.
    ASSERT_EQ(shortcut("ToolChest/Apps/Tools", "Viewer", "qvview", dir.path()), 0);
    EXPECT_EQ(qvtest::read_file(dir / ".shortcuts"), updated + menu("Tools", exec("Viewer", "qvview")));
}

TEST(Shortcut, RootMenuGetsTheEntryBeforeItsClosingBrace)
{
    ScratchDir dir("menu");
    qvtest::write_file(dir / ".shortcuts", "Menu ToolChest\n{\n" + exec("Shell", "xterm") + "}\n");
    ASSERT_EQ(shortcut("ToolChest/Apps", "Ed", "ed", dir.path()), 0);
    EXPECT_EQ(qvtest::read_file(dir / ".shortcuts"), "Menu ToolChest\n{\n" + exec("Shell", "xterm") +
                                                          "\t\"Apps\"\tf.menu \"Apps\"\n}\n" +
                                                          menu("Apps", exec("Ed", "ed")));
}

TEST(Shortcut, MenuOfAnEarlierComponentDoesNotMoveBack)
{
    ScratchDir dir("menu");
    std::string before = menu("ToolChest", "\t\"A\"\tf.menu \"A\"\n") + menu("A", sub("B")) +
                         menu("A", exec("X", "x"));
    qvtest::write_file(dir / ".shortcuts", before);
    ASSERT_EQ(shortcut("ToolChest/A/B", "L", "c", dir.path()), 0);
    EXPECT_EQ(qvtest::read_file(dir / ".shortcuts"), before + menu("B", exec("L", "c")));
}

// Existing lines are copied whole, however long: text past any read limit
// must not be taken for a menu line of its own.
TEST(Shortcut, LongLinesAreCopiedWhole)
{
    ScratchDir dir("menu");
    std::string head = "\t\"Long\"\tf.checkexec \"run ";
    std::string longLine = head + std::string(511 - head.size(), 'x') + "Menu Apps x\"\n";
    qvtest::write_file(dir / ".shortcuts", "Menu ToolChest\n{\n" + longLine + "}\n");
    ASSERT_EQ(shortcut("ToolChest/Apps", "Ed", "ed", dir.path()), 0);
    EXPECT_EQ(qvtest::read_file(dir / ".shortcuts"), "Menu ToolChest\n{\n" + longLine +
                                                          "\t\"Apps\"\tf.menu \"Apps\"\n}\n" +
                                                          menu("Apps", exec("Ed", "ed")));
}

// An entry far longer than any read is replaced whole, and what follows it
// stays as it was.
TEST(Shortcut, AnEntryOfAnyLengthIsReplacedWhole)
{
    ScratchDir dir("menu");
    const std::string after = menu("B", exec("M", "m"));
    qvtest::write_file(dir / ".shortcuts",
                       menu("ToolChest", sub("A")) + menu("A", exec("L", std::string(40000, 'y'))) + after);
    ASSERT_EQ(shortcut("ToolChest/A", "L", "new", dir.path()), 0);
    EXPECT_EQ(qvtest::read_file(dir / ".shortcuts"), menu("ToolChest", sub("A")) + menu("A", exec("L", "new")) + after);
}

// The user's menu files may be of any size (a sparse file costs the user
// nothing), and root reads them: the memory that takes does not grow with
// them. Measured in a child of its own, from its resident size at the start.
TEST(MenuFiles, AFileOfAnySizeIsReadInBoundedMemory)
{
    ScratchDir dir("huge");
    const off_t size = off_t{256} << 20;
    for (const char *name : {".auxchestrc", ".shortcuts"}) {
        int fd = open((dir / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, size), 0);
        close(fd);
    }
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        struct rusage before {}, after {};
        getrusage(RUSAGE_SELF, &before);
        std::string home = dir.path(), location = "/opt/Q/";
        long results[3] = {QV_instAddSinclude(&home[0], &location[0]),
                           shortcut("ToolChest/A", "L", "c", dir.path()), 0};
        getrusage(RUSAGE_SELF, &after);
        results[2] = after.ru_maxrss - before.ru_maxrss;
        _exit(write(fds[1], results, sizeof results) == sizeof results ? 0 : 1);
    }
    close(fds[1]);
    long results[3] = {-1, -1, -1};
    ssize_t got = read(fds[0], results, sizeof results);
    close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof results));
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], 0);
    EXPECT_LT(results[2], 64 * 1024) << "KiB more at the peak than at the start";

    // The files' own bytes stay, and the new lines follow them.
    auto tail = [](const std::string &path, size_t n) {
        std::string text(n, '?');
        int fd = open(path.c_str(), O_RDONLY);
        struct stat st {};
        fstat(fd, &st);
        EXPECT_EQ(pread(fd, &text[0], n, st.st_size - static_cast<off_t>(n)), static_cast<ssize_t>(n));
        close(fd);
        return std::make_pair(st.st_size, text);
    };
    const std::string line = "\nsinclude /opt/Q/.title\n";
    const std::string menus = menu("ToolChest", sub("A")) + menu("A", exec("L", "c"));
    EXPECT_EQ(tail(dir / ".auxchestrc", line.size()), std::make_pair(size + off_t(line.size()), line));
    EXPECT_EQ(tail(dir / ".shortcuts", menus.size()), std::make_pair(size + off_t(menus.size()), menus));
}

// Input beyond the limits is refused whole; the menu file stays as it was.
TEST(Shortcut, InputBeyondTheLimitsIsRefused)
{
    auto path_of = [](int components, size_t length) {
        std::string p = "ToolChest";
        for (int i = 1; i < components; ++i)
            p += "/" + std::string(length - 1, 'a') + char('a' + i % 26);
        return p;
    };
    struct Row {
        const char *what;
        std::string path, label, command;
        int result;
    } rows[] = {
        {"20 components of 19 characters", path_of(20, 19), "L", "c", 0},
        {"21 components", path_of(21, 3), "L", "c", 1},
        {"a component of 20 characters", path_of(3, 20), "L", "c", 1},
        {"command of 1024 characters", "ToolChest/A", "L", std::string(1024, 'c'), 1},
        {"menu block of 511 characters", "ToolChest/A", std::string(511 - 32, 'l'), "c", 0},
        {"menu block of 512 characters", "ToolChest/A", std::string(512 - 32, 'l'), "c", 1},
        {"conversion other than %s", "ToolChest/A", "L", "run %d", 1},
        {"two %s", "ToolChest/A", "L", "run %s %s", 1},
        {"line break in the label", "ToolChest/A", "L\n}\nMenu X", "c", 1},
        {"only slashes", "//", "L", "c", 1},
        {"empty label", "ToolChest/A", "", "c", 1},
    };
    for (const Row &row : rows) {
        ScratchDir dir("menu");
        const std::string old = menu("ToolChest", exec("Old", "old"));
        qvtest::write_file(dir / ".shortcuts", old);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(shortcut(row.path, row.label, row.command, dir.path()), row.result) << row.what;
        std::string out = testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();
        std::string now = qvtest::read_file(dir / ".shortcuts");
        if (row.result != 0) {
            EXPECT_EQ(now, old) << row.what;
            EXPECT_EQ(out + err, row.path == path_of(21, 3) ? "Overload in Shortcut menu parser"
                                                             : "Shortcut invalid parameters\n")
                << row.what;
        } else {
            EXPECT_NE(now.find(row.label + "\"\tf.checkexec \"" + row.command), std::string::npos) << row.what;
        }
    }
}

// A menu file that cannot be written whole does not replace the user's.
TEST(Shortcut, FailedWriteKeepsTheMenuFile)
{
    ScratchDir dir("menu");
    const std::string old = menu("ToolChest", exec("Old", "old"));
    qvtest::write_file(dir / ".shortcuts", old);
    // Files may grow to 16 bytes only: the new menu file's write fails.
    struct rlimit was;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &was), 0);
    struct rlimit small = was;
    small.rlim_cur = 16;
    void (*handler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int result = shortcut("ToolChest/A", "L", "c", dir.path());
    setrlimit(RLIMIT_FSIZE, &was);
    signal(SIGXFSZ, handler);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(qvtest::read_file(dir / ".shortcuts"), old);
}

// Run as root on a user's folder: a link planted as the temporary file,
// as .shortcuts or as .auxchestrc never gets root to write to its target,
// and the user's menu files stay the user's, with their mode.
TEST(MenuFilesAsRoot, NeverWrittenThroughLinks)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    ScratchDir dir("menu");
    const std::string target = dir / "system-file", secret = "root's own text\n";
    qvtest::write_file(target, secret);
    std::string home = dir.path(), location = "/opt/Q/";

    ASSERT_EQ(symlink(target.c_str(), (dir / "QUORRC").c_str()), 0);
    EXPECT_EQ(shortcut("ToolChest/A", "L", "c", dir.path()), 0);
    EXPECT_EQ(qvtest::read_file(dir / ".shortcuts"), menu("ToolChest", sub("A")) + menu("A", exec("L", "c")));

    for (const char *name : {".shortcuts", ".auxchestrc"}) {
        std::string link = dir / name;
        unlink(link.c_str());
        ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
        testing::internal::CaptureStderr();
        EXPECT_EQ(name[1] == 's' ? shortcut("ToolChest/B", "L", "c", dir.path())
                                 : QV_instAddSinclude(&home[0], &location[0]),
                  1)
            << name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Shortcut file is a link or not a plain file, left as it is: " + link + "\n");
        char buf[256] = {};
        EXPECT_EQ(readlink(link.c_str(), buf, sizeof buf - 1), static_cast<ssize_t>(target.size())) << name;
    }
    EXPECT_EQ(qvtest::read_file(target), secret);

    // A home reached through the user's link to a folder of the system.
    std::string system = dir / "system-folder", linked = dir / "home-link";
    qvtest::make_dirs(system);
    ASSERT_EQ(symlink(system.c_str(), linked.c_str()), 0);
    ASSERT_EQ(lchown(linked.c_str(), 65534, 65534), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(QV_instAddSinclude(&linked[0], &location[0]), 1);
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(qvtest::exists(system + "/.auxchestrc"));
}

// A .auxchestrc hard-linked to a file of the system (where the kernel
// allows that) would have root append to that file: refused.
TEST(MenuFilesAsRoot, AnAuxchestrcWithOtherLinksIsLeftAlone)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    ScratchDir dir("menu");
    const std::string target = dir / "system-file", secret = "root's own text\n";
    qvtest::write_file(target, secret, 0600);
    ASSERT_EQ(link(target.c_str(), (dir / ".auxchestrc").c_str()), 0);
    std::string home = dir.path(), location = "/opt/Q/";
    testing::internal::CaptureStderr();
    EXPECT_EQ(QV_instAddSinclude(&home[0], &location[0]), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Shortcut file is a link or not a plain file, left as it is: " + dir / ".auxchestrc" + "\n");
    EXPECT_EQ(qvtest::read_file(target), secret);
}

// Another user's menu file costs that user nothing however large it is
// (sparse): past 1 MiB root leaves it alone at once rather than read it.
TEST(MenuFilesAsRoot, AHugeMenuFileOfAnotherUserIsLeftAlone)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    struct Row {
        const char *name;
        off_t size;
        int result;
    } rows[] = {
        {".auxchestrc", off_t{2} << 30, 1},
        {".shortcuts", off_t{2} << 30, 1},
        {".auxchestrc", off_t{1} << 20, 0},
        {".shortcuts", off_t{1} << 20, 0},
    };
    for (const Row &row : rows) {
        ScratchDir dir("menu");
        const std::string path = dir / row.name;
        std::string home = dir.path(), location = "/opt/Q/";
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, row.size), 0);
        ASSERT_EQ(fchown(fd, 65534, 65534), 0);
        close(fd);
        const auto start = std::chrono::steady_clock::now();
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(row.name[1] == 's' ? shortcut("ToolChest/A", "L", "c", dir.path())
                                     : QV_instAddSinclude(&home[0], &location[0]),
                  row.result)
            << path << " " << row.size;
        testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        if (row.result == 1) {
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
            EXPECT_EQ(err, "Shortcut file is larger than 1 MiB and another user's, left as it is: " + path + "\n");
            struct stat st {};
            ASSERT_EQ(stat(path.c_str(), &st), 0);
            EXPECT_EQ(st.st_size, row.size);
            EXPECT_FALSE(qvtest::exists(dir / "QUORRC"));
        }
    }
}

TEST(MenuFilesAsRoot, KeepTheUsersOwnerAndMode)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    const uid_t user = 4321;
    const gid_t group = 4322;
    auto owner_mode = [](const std::string &path) {
        struct stat st {};
        lstat(path.c_str(), &st);
        return std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid) + " " + std::to_string(st.st_mode & 07777);
    };
    const std::string users = std::to_string(user) + ":" + std::to_string(group);
    ScratchDir dir("menu");
    ASSERT_EQ(chown(dir.path().c_str(), user, group), 0);
    std::string home = dir.path(), location = "/opt/Q/";

    // New files: the folder's owner, 0644.
    ASSERT_EQ(shortcut("ToolChest/A", "L", "c", dir.path()), 0);
    EXPECT_EQ(owner_mode(dir / ".shortcuts"), users + " 420");
    ASSERT_EQ(QV_instAddSinclude(&home[0], &location[0]), 0);
    EXPECT_EQ(owner_mode(dir / ".auxchestrc"), users + " 420");

    // A rewritten file: the owner and mode it had.
    ASSERT_EQ(chown((dir / ".shortcuts").c_str(), user + 1, group + 1), 0);
    ASSERT_EQ(chmod((dir / ".shortcuts").c_str(), 0600), 0);
    ASSERT_EQ(shortcut("ToolChest/A", "M", "d", dir.path()), 0);
    EXPECT_EQ(owner_mode(dir / ".shortcuts"), std::to_string(user + 1) + ":" + std::to_string(group + 1) + " 384");
    EXPECT_NE(qvtest::read_file(dir / ".shortcuts").find(exec("M", "d")), std::string::npos);
}

// Not as root, a menu folder needs only what writing a file into it by name
// needs: search and write permission, not read permission.
TEST(Shortcut, AFolderThatCannotBeListedIsWrittenAllTheSame)
{
    ScratchDir dir("menu");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (geteuid() == 0 && (chown(dir.path().c_str(), 65534, 65534) != 0 || setgroups(0, nullptr) != 0 ||
                               setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        if (chmod(dir.path().c_str(), 0300) != 0)
            _exit(3);
        _exit(shortcut("ToolChest/A", "L", "c", dir.path()));
    }
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    chmod(dir.path().c_str(), 0700);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(qvtest::read_file(dir / ".shortcuts"), menu("ToolChest", sub("A")) + menu("A", exec("L", "c")));
}

TEST(Shortcut, UnwritableDirectoryFails)
{
    ScratchDir dir("menu");
    testing::internal::CaptureStdout();
    EXPECT_EQ(shortcut("ToolChest/A", "L", "c", dir / "missing"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to open Shortcut file\n");
}
