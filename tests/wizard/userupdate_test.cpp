// What the per-user update dialog does behind its buttons, without a
// display: the account list from a scratch password file and stand-in NIS
// tools, and the user's environment file copied or generated into scratch
// home folders, given to its user and never written through a planted link.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/internal.h"
#include "support/capture.h"
#include "support/testutil.h"
#include "wizard/useraccounts.h"
#include "wizard/userfile.h"
#include "wizard/userupdate.h"

using qvtest::CaptureFd;
using qvtest::exists;
using qvtest::make_dirs;
using qvtest::read_file;
using qvtest::ScratchDir;
using qvtest::write_file;

namespace {

// The owner the tests give files to: an account that does not exist when
// the tests run as root (so a wrong owner cannot pass unnoticed), else the
// test's own, the only one it may give files to.
struct Owner {
    uid_t uid;
    gid_t gid;
};
Owner test_owner()
{
    if (getuid() == 0)
        return {4242, 4343};
    return {getuid(), getgid()};
}

struct stat stat_of(const std::string &path)
{
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st;
}

// install_user_file into the folder that holds target.
std::string install_into_folder(int source, const std::string &sourceName, const std::string &target, uid_t uid,
                                gid_t gid)
{
    qv::Fd dir(open(target.substr(0, target.rfind('/')).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return qv::install_user_file(source, sourceName, dir.get(), target, uid, gid);
}

// A scratch folder with a private TMPDIR, and the account sources put back
// as they were afterwards.
class UserUpdate : public ::testing::Test {
protected:
    ScratchDir scratch{"userupdate"};
    std::string tmp = scratch / "tmp";
    std::string savedTmp;
    const char *savedQvHome = nullptr;
    std::string savedQvHomeValue;

    void SetUp() override
    {
        make_dirs(tmp, 0700);
        if (const char *t = std::getenv("TMPDIR"))
            savedTmp = t;
        setenv("TMPDIR", tmp.c_str(), 1);
        savedQvHome = std::getenv("QV_HOME");
        if (savedQvHome)
            savedQvHomeValue = savedQvHome;
        qv::account_sources() = qv::AccountSources{};
    }
    void TearDown() override
    {
        qv::account_sources() = qv::AccountSources{};
        if (savedTmp.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", savedTmp.c_str(), 1);
        if (savedQvHome)
            setenv("QV_HOME", savedQvHomeValue.c_str(), 1);
        else
            unsetenv("QV_HOME");
    }

    // Nothing is left behind in the temporary folder.
    void expect_tmp_empty()
    {
        qvtest::RunResult r = qvtest::run({"/bin/ls", "-A", tmp});
        EXPECT_EQ(r.out, "") << "left in TMPDIR";
    }

    std::string script(const std::string &name, const std::string &body)
    {
        std::string path = scratch / name;
        write_file(path, "#!/bin/sh\n" + body, 0755);
        return path;
    }
};

// --- the account list -----------------------------------------------------

TEST(AccountNames, EachPasswordLineGivesTheNameBeforeItsFirstColon)
{
    struct Row {
        const char *line;
        std::vector<std::string> names;
    };
    const Row rows[] = {
        {"alice:x:1000:1000:Alice:/home/alice:/bin/sh", {"alice"}},
        {"#daemon:x:1:1::/:/bin/false", {}},
        {"+@staff::::::", {}},
        {"+:::::::", {}},
        {"bob # an old account", {"bob"}},
        {"ca+rol:x:1001:1001::/home/carol:/bin/sh", {"ca"}},
        {"a#b:c+d", {"a"}},
        {"dan", {"dan"}},
        {"  eve\t:x:1002:1002::/home/eve:/bin/sh", {"eve"}},
        {"two words:x:1003:1003::/:/bin/sh", {"two", "words"}},
        {"fred:x:1004:1004::/home/fred:/bin/sh\r", {"fred"}},
        {"", {}},
        {"   ", {}},
    };
    for (const Row &row : rows) {
        std::vector<std::string> names;
        qv::collect_account_names(row.line, names);
        EXPECT_EQ(names, row.names) << row.line;
    }
}

TEST_F(UserUpdate, ListMergesTheLocalFileAndTheNisMapSortedEachNameOnce)
{
    auto &sources = qv::account_sources();
    sources.passwdFile = scratch / "passwd";
    write_file(sources.passwdFile, "zed:x:1:1::/:/bin/sh\n"
                                   "alice:x:2:2::/:/bin/sh\n"
                                   "+::::::\n"
                                   "bob:x:3:3::/:/bin/sh\n"
                                   "alice:x:4:4::/:/bin/sh\n");
    sources.ypwhich = script("ypwhich", "echo nis1.example.org\n");
    // The map is asked for by name: any other argument gives nothing.
    sources.ypcat = script("ypcat", "[ \"$1\" = passwd ] || exit 1\n"
                                    "printf 'bob:x:3:3::/:/bin/sh\\ncarl:x:5:5::/:/bin/sh\\n#x\\n+::::::\\n'\n");
    EXPECT_EQ(check_if_yp(), 1);
    EXPECT_EQ(qv::account_names(), (std::vector<std::string>{"alice", "bob", "carl", "zed"}));
    expect_tmp_empty();
}

TEST_F(UserUpdate, TheNisMapIsReadOnlyOnABoundNisClient)
{
    struct Row {
        const char *what;
        const char *ypwhich; // script body; null: no ypwhich at all
        bool ypcat;          // whether ypcat exists
        int isClient;
    };
    const Row rows[] = {
        {"bound", "echo nis1.example.org\n", true, 1},
        {"no ypwhich", nullptr, true, 0},
        {"ypwhich complains", "echo \"ypwhich: Can't communicate with ypbind\" >&2; exit 1\n", true, 0},
        {"ypwhich prints nothing", "exit 0\n", true, 0},
        {"bound without ypcat", "echo nis1.example.org\n", false, 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        auto &sources = qv::account_sources();
        sources.passwdFile = scratch / "passwd";
        write_file(sources.passwdFile, "root:x:0:0::/root:/bin/sh\n");
        sources.ypwhich = row.ypwhich ? script("ypwhich", row.ypwhich) : scratch / "no-ypwhich";
        sources.ypcat = row.ypcat ? script("ypcat", "echo nisuser:x:9:9::/:/bin/sh\n") : scratch / "no-ypcat";
        EXPECT_EQ(check_if_yp(), row.isClient);
        std::vector<std::string> expected = {"root"};
        if (row.isClient && row.ypcat)
            expected.insert(expected.begin(), "nisuser");
        EXPECT_EQ(qv::account_names(), expected);
    }
}

TEST_F(UserUpdate, AnUnreadablePasswordFileIsReportedAndGivesNoNames)
{
    auto &sources = qv::account_sources();
    sources.passwdFile = scratch / "missing";
    sources.ypwhich = scratch / "no-ypwhich";
    CaptureFd err(STDERR_FILENO);
    EXPECT_TRUE(qv::account_names().empty());
    EXPECT_EQ(err.finish(), "ERROR: Can't read " + sources.passwdFile + ": No such file or directory\n");
}

TEST_F(UserUpdate, AccountsAreLookedUpInTheTestFileUnderTheTestHomeRoot)
{
    auto &sources = qv::account_sources();
    sources.passwdFile = scratch / "passwd";
    sources.homeRoot = scratch / "homes";
    write_file(sources.passwdFile, "alice:x:1000:1001:Alice:/home/alice:/bin/sh\n"
                                   "bob:x:1002:1003::/home/bob:/bin/sh\n");
    qv::Account account;
    ASSERT_TRUE(qv::find_account("bob", account));
    EXPECT_EQ(account.name, "bob");
    EXPECT_EQ(account.home, scratch / "homes/home/bob");
    EXPECT_EQ(account.uid, 1002u);
    EXPECT_EQ(account.gid, 1003u);
    EXPECT_FALSE(qv::find_account("carol", account));
    EXPECT_FALSE(qv::find_account("", account));
    EXPECT_FALSE(qv::find_account("ali", account));
}

// --- writing into a home folder ------------------------------------------------

TEST_F(UserUpdate, ANewFileTakesTheSourceModeAndBelongsToTheUser)
{
    Owner owner = test_owner();
    write_file(scratch / "source", "QV_HOME=/opt/qv/\n", 0640);
    make_dirs(scratch / "home");
    qv::Fd in(open((scratch / "source").c_str(), O_RDONLY));
    EXPECT_EQ(install_into_folder(in.get(), scratch / "source", scratch / "home/QVR_FILE", owner.uid, owner.gid), "");
    EXPECT_EQ(read_file(scratch / "home/QVR_FILE"), "QV_HOME=/opt/qv/\n");
    struct stat st = stat_of(scratch / "home/QVR_FILE");
    EXPECT_EQ(st.st_mode & 07777, 0640u & ~[] { mode_t m = umask(0); umask(m); return m; }());
    EXPECT_EQ(st.st_uid, owner.uid);
    EXPECT_EQ(st.st_gid, owner.gid);
}

TEST_F(UserUpdate, AnExistingFileIsReplacedWholeAndKeepsItsMode)
{
    Owner owner = test_owner();
    write_file(scratch / "source", "short\n", 0644);
    make_dirs(scratch / "home");
    write_file(scratch / "home/QVR_FILE", "a much longer earlier environment file\n", 0600);
    qv::Fd in(open((scratch / "source").c_str(), O_RDONLY));
    EXPECT_EQ(install_into_folder(in.get(), scratch / "source", scratch / "home/QVR_FILE", owner.uid, owner.gid), "");
    EXPECT_EQ(read_file(scratch / "home/QVR_FILE"), "short\n");
    struct stat st = stat_of(scratch / "home/QVR_FILE");
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_uid, owner.uid);
}

// A write that fails half way (a full disk, a quota; here a file size
// limit) leaves the user's file exactly as it was, and nothing beside it.
TEST_F(UserUpdate, AFailedWriteLeavesTheUsersFileAsItWas)
{
    Owner owner = test_owner();
    write_file(scratch / "source", std::string(65536, 'n'));
    make_dirs(scratch / "home");
    const std::string target = scratch / "home/QVR_FILE";
    write_file(target, "the user's own settings\n", 0640);
    qv::Fd in(open((scratch / "source").c_str(), O_RDONLY));

    struct rlimit was;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &was), 0);
    struct rlimit small = was;
    small.rlim_cur = 4096; // room for the error line captured in a file
    void (*handler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    CaptureFd err(STDERR_FILENO);
    std::string result = install_into_folder(in.get(), scratch / "source", target, owner.uid, owner.gid);
    setrlimit(RLIMIT_FSIZE, &was);
    signal(SIGXFSZ, handler);

    const std::string expected = "ERROR: Can't write " + target + ": " + std::strerror(EFBIG);
    EXPECT_EQ(result, expected);
    EXPECT_EQ(err.finish(), expected + "\n");
    EXPECT_EQ(read_file(target), "the user's own settings\n");
    struct stat st = stat_of(target);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_uid, getuid());
    EXPECT_EQ(qvtest::run({"/bin/ls", "-A", scratch / "home"}).out, "QVR_FILE\n");
}

// What a user may have planted at the target's name: each is refused with a
// line on standard error, and neither it nor what it points at changes.
TEST_F(UserUpdate, APlantedTargetIsRefusedAndLeftAsItIs)
{
    struct Row {
        const char *what;
        void (*plant)(const std::string &target, const std::string &victim);
    };
    const Row rows[] = {
        {"symbolic link", [](const std::string &t, const std::string &v) { ASSERT_EQ(symlink(v.c_str(), t.c_str()), 0); }},
        {"dangling symbolic link",
         [](const std::string &t, const std::string &v) {
             ASSERT_EQ(symlink((v + ".new").c_str(), t.c_str()), 0);
         }},
        {"hard link", [](const std::string &t, const std::string &v) { ASSERT_EQ(link(v.c_str(), t.c_str()), 0); }},
        {"FIFO", [](const std::string &t, const std::string &) { ASSERT_EQ(mkfifo(t.c_str(), 0600), 0); }},
        {"directory", [](const std::string &t, const std::string &) { make_dirs(t); }},
    };
    Owner owner = test_owner();
    write_file(scratch / "source", "new content\n");
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        ScratchDir area("planted");
        std::string victim = area / "shadow";
        write_file(victim, "root:secret\n", 0600);
        make_dirs(area / "home");
        std::string target = area / "home/QVR_FILE";
        row.plant(target, victim);
        struct stat before = stat_of(target);

        qv::Fd in(open((scratch / "source").c_str(), O_RDONLY));
        CaptureFd err(STDERR_FILENO);
        auto start = std::chrono::steady_clock::now();
        std::string result = install_into_folder(in.get(), scratch / "source", target, owner.uid, owner.gid);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60)) << "it waited on the file";
        std::string expected = "ERROR: Environment file is a link or not a plain file, left as it is: " + target;
        EXPECT_EQ(result, expected);
        EXPECT_EQ(err.finish(), expected + "\n");

        EXPECT_EQ(read_file(victim), "root:secret\n");
        struct stat victimNow = stat_of(victim);
        EXPECT_EQ(victimNow.st_uid, getuid());
        EXPECT_EQ(victimNow.st_mode & 07777, 0600u);
        EXPECT_FALSE(exists(victim + ".new"));
        struct stat after = stat_of(target);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
    }
}

// --- the copy road --------------------------------------------------------------

TEST_F(UserUpdate, CopyWithoutTheSourceFileSaysWhichFileIsMissing)
{
    make_dirs(scratch / "home");
    make_dirs(scratch / "product");
    CaptureFd err(STDERR_FILENO);
    copy_quorvanta_file((scratch / "home").c_str(), (scratch / "product").c_str(), getuid(), getgid());
    EXPECT_EQ(err.finish(), "ERROR: Can't find file: " + scratch / "product/QVR_FILE" + "\n");
    EXPECT_FALSE(exists(scratch / "home/QVR_FILE"));
}

// A source that cannot be read, here a folder, is found out before any home
// folder is touched: an existing file keeps its content and owner, and none
// is made where there was none.
TEST_F(UserUpdate, AnUnreadableSourceLeavesTheUserFileAsItWas)
{
    Owner owner = test_owner();
    make_dirs(scratch / "product/QVR_FILE");
    make_dirs(scratch / "home");
    make_dirs(scratch / "new-home");
    for (const char *home : {"home", "new-home"})
        ASSERT_EQ(chown((scratch / home).c_str(), owner.uid, owner.gid), 0);
    write_file(scratch / "home/QVR_FILE", "the user's own settings\n", 0600);
    for (const char *home : {"home", "new-home"}) {
        SCOPED_TRACE(home);
        CaptureFd err(STDERR_FILENO);
        copy_quorvanta_file((scratch / home).c_str(), (scratch / "product").c_str(), owner.uid, owner.gid);
        EXPECT_EQ(err.finish(), "ERROR: Can't read " + scratch / "product/QVR_FILE" + ": it is not a regular file\n");
    }
    EXPECT_EQ(read_file(scratch / "home/QVR_FILE"), "the user's own settings\n");
    EXPECT_EQ(stat_of(scratch / "home/QVR_FILE").st_uid, getuid());
    EXPECT_FALSE(exists(scratch / "new-home/QVR_FILE"));
}

// --- the create road ------------------------------------------------------------

class Generate : public UserUpdate {
protected:
    std::string product = scratch / "product";
    std::string home = scratch / "home";

    void SetUp() override
    {
        UserUpdate::SetUp();
        make_dirs(product + "/Setup");
        make_dirs(home);
        Owner owner = test_owner();
        ASSERT_EQ(chown(home.c_str(), owner.uid, owner.gid), 0);
        setenv("QV_HOME", product.c_str(), 1);
    }
    void library(const std::string &from)
    {
        qvtest::RunResult r = qvtest::run({"/bin/cp", from, product + "/Setup/velcora.so"});
        ASSERT_EQ(r.status, 0) << r.err;
    }
};

TEST_F(Generate, TheSupportLibraryWritesTheFileThatTheUserGets)
{
    library(qvtest::harness("QV_DEMO_MEDIUM") + "/Setup/velcora.so");
    Owner owner = test_owner();
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);

    CaptureFd out(STDOUT_FILENO), err(STDERR_FILENO);
    generate_quorvanta_file(home.c_str(), owner.uid, owner.gid);
    EXPECT_EQ(err.finish(), "");
    EXPECT_EQ(out.finish(), "");

    // The stand-in writes the installation folder it was handed; it answers
    // with a failure when the request block is not laid out as agreed.
    std::string env = read_file(home + "/QVR_FILE");
    EXPECT_NE(env.find("generated by velcora.so genEnvFile"), std::string::npos) << env;
    EXPECT_NE(env.find("QV_HOME=\"" + product + "/\"\n"), std::string::npos) << env;
    struct stat st = stat_of(home + "/QVR_FILE");
    EXPECT_EQ(st.st_uid, owner.uid);
    EXPECT_EQ(st.st_gid, owner.gid);

    char after[4096];
    ASSERT_NE(getcwd(after, sizeof after), nullptr);
    EXPECT_STREQ(after, before);
    expect_tmp_empty();
}

TEST_F(Generate, WhatGoesWrongIsPrintedAndNoFileAppears)
{
    struct Row {
        const char *what;
        const char *library; // file for Setup/velcora.so from the test modules; null: none
        bool qvHome;
        const char *stream;  // "out" or "err"
        std::string expected; // prefix of the output; "" for none at all
    };
    const std::string modules = qvtest::harness("QV_TEST_MODULES");
    const Row rows[] = {
        {"QV_HOME unset", "genenv_fails.so", false, "out", ""},
        {"no library", nullptr, true, "out", "Error : " + product + "/Setup/velcora.so: cannot open shared object file"},
        {"no genEnvFile", "check_good.so", true, "out", "Error : " + product + "/Setup/velcora.so: undefined symbol: genEnvFile"},
        {"genEnvFile fails", "genenv_fails.so", true, "err", "ERROR: generating " + home + "/QVR_FILE.\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        unlink((product + "/Setup/velcora.so").c_str());
        if (row.library)
            library(modules + "/" + row.library);
        if (row.qvHome)
            setenv("QV_HOME", product.c_str(), 1);
        else
            unsetenv("QV_HOME");

        CaptureFd out(STDOUT_FILENO), err(STDERR_FILENO);
        generate_quorvanta_file(home.c_str(), getuid(), getgid());
        std::string errText = err.finish(), outText = out.finish();
        const std::string &shown = std::string(row.stream) == "out" ? outText : errText;
        const std::string &silent = std::string(row.stream) == "out" ? errText : outText;
        if (row.expected.empty())
            EXPECT_EQ(shown, "");
        else
            EXPECT_EQ(shown.rfind(row.expected, 0), 0u) << shown;
        EXPECT_EQ(silent, "");
        EXPECT_FALSE(exists(home + "/QVR_FILE"));
        expect_tmp_empty();
    }
}

// As root, the file goes only into a folder that the account owns and no
// one else may write, on both roads: not through a link the user made to a
// folder of root's, nor into such a folder itself. A link of root's is an
// administrator's choice and is followed.
TEST_F(Generate, AsRootTheFileGoesOnlyIntoAHomeTheAccountOwns)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    library(qvtest::harness("QV_DEMO_MEDIUM") + "/Setup/velcora.so");
    write_file(product + "/QVR_FILE", "QV_HOME=/opt/qv/\n");
    const uid_t user = 65534;
    struct passwd *pw = getpwuid(user);
    const std::string name = pw ? pw->pw_name : std::to_string(user);
    const std::string system = scratch / "system", own = scratch / "own", open = scratch / "open";
    make_dirs(system);
    make_dirs(own);
    make_dirs(open, 0777);
    ASSERT_EQ(chmod(open.c_str(), 0777), 0);
    for (const std::string &folder : {own, open})
        ASSERT_EQ(chown(folder.c_str(), user, user), 0);
    ASSERT_EQ(symlink(system.c_str(), (scratch / "users-link").c_str()), 0);
    ASSERT_EQ(lchown((scratch / "users-link").c_str(), user, user), 0);
    ASSERT_EQ(symlink(own.c_str(), (scratch / "roots-link").c_str()), 0);
    ASSERT_EQ(symlink(scratch.path().c_str(), (scratch / "users-way").c_str()), 0);
    ASSERT_EQ(lchown((scratch / "users-way").c_str(), user, user), 0);
    struct Row {
        std::string home, folder;
        bool refused;
    };
    const Row rows[] = {
        {scratch / "users-link", system, true},
        {system, system, true},
        {open, open, true},
        {scratch / "users-way/own", own, true},
        {scratch / "roots-link", own, false},
    };
    for (const Row &row : rows) {
        for (bool generate : {false, true}) {
            SCOPED_TRACE(row.home + (generate ? " generated" : " copied"));
            unlink((row.folder + "/QVR_FILE").c_str());
            CaptureFd out(STDOUT_FILENO), err(STDERR_FILENO);
            if (generate)
                generate_quorvanta_file(row.home.c_str(), user, user);
            else
                copy_quorvanta_file(row.home.c_str(), product.c_str(), user, user);
            out.finish();
            EXPECT_EQ(err.finish(),
                      row.refused ? "User " + name + " was not updated: " + row.home + " is not a folder that user owns\n"
                                  : "");
            EXPECT_EQ(exists(row.folder + "/QVR_FILE"), !row.refused);
        }
    }
    EXPECT_EQ(qvtest::run({"/bin/ls", "-A", system}).out, "");
    expect_tmp_empty();
}

// As root the private folder is made under /tmp whatever TMPDIR says, and
// it is cleaned up through its descriptor: swapped for a link to another
// folder meanwhile, it leaves that folder's files alone.
TEST_F(UserUpdate, APrivateFolderSwappedForALinkIsNotFollowedByItsCleanUp)
{
    make_dirs(scratch / "victim");
    write_file(scratch / "victim/keep", "precious\n");
    std::string named, moved;
    {
        qv::PrivateDir work;
        ASSERT_TRUE(work.ok());
        named = work.path();
        EXPECT_EQ(named.rfind(geteuid() == 0 ? "/tmp/qvsetup-" : tmp + "/qvsetup-", 0), 0u) << named;
        moved = named + ".moved";
        ASSERT_EQ(rename(named.c_str(), moved.c_str()), 0);
        ASSERT_EQ(symlink((scratch / "victim").c_str(), named.c_str()), 0);
    }
    EXPECT_EQ(read_file(scratch / "victim/keep"), "precious\n");
    EXPECT_EQ(unlink(named.c_str()), 0) << "the link is left as it is";
    rmdir(moved.c_str());
}

TEST_F(Generate, APlantedLinkInTheHomeFolderIsNotFollowed)
{
    library(qvtest::harness("QV_DEMO_MEDIUM") + "/Setup/velcora.so");
    write_file(scratch / "victim", "root:secret\n", 0600);
    ASSERT_EQ(symlink((scratch / "victim").c_str(), (home + "/QVR_FILE").c_str()), 0);
    Owner owner = test_owner();
    CaptureFd err(STDERR_FILENO);
    generate_quorvanta_file(home.c_str(), owner.uid, owner.gid);
    EXPECT_EQ(err.finish(), "ERROR: Environment file is a link or not a plain file, left as it is: " + home + "/QVR_FILE\n");
    EXPECT_EQ(read_file(scratch / "victim"), "root:secret\n");
    EXPECT_EQ(stat_of(scratch / "victim").st_uid, getuid());
    expect_tmp_empty();
}

} // namespace
