// Preferences migration without a display: the string list and the folder
// scan behind the dialog's list, the file tests, the default user root, and
// the migration run on the product's qvr stand-in.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "support/capture.h"
#include "support/testutil.h"
#include "wizard/migration.h"
#include "wizard/migration_state.h"
#include "wizard/wizard_medium.h"

using qvtest::make_dirs;
using qvtest::write_file;

namespace {

std::vector<std::string> strings_of(const _QV_InstStringList *list)
{
    std::vector<std::string> out;
    for (; list && list->string; list = list->next)
        out.push_back(list->string);
    // The list ends in a terminator node.
    EXPECT_NE(list, nullptr);
    if (list) {
        EXPECT_EQ(list->next, nullptr);
    }
    return out;
}

// Sets (or with no value unsets) an environment variable for the scope.
class EnvVar {
public:
    EnvVar(const char *name, std::optional<std::string> value) : name_(name)
    {
        if (const char *old = std::getenv(name))
            old_ = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~EnvVar()
    {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char *name_;
    std::optional<std::string> old_;
};

void make_preferences(const std::string &folder)
{
    write_file(folder + "/Data/Preferences/cpm.cpm", "colours=dark\n");
}

TEST(StringList, InsertingKeepsTheFirstNodeWhereItIs)
{
    _QV_InstStringList *list = CreateStringList();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(strings_of(list), std::vector<std::string>{});

    InsertStringList(list, "b");
    InsertStringList(list, "a");
    EXPECT_EQ(strings_of(list), (std::vector<std::string>{"a", "b"}));
    std::string copied = "c";
    InsertStringList(list, copied.c_str());
    copied[0] = 'x';
    EXPECT_EQ(strings_of(list), (std::vector<std::string>{"c", "a", "b"}));
    qv::release_string_list(list);
}

// A list handed to FreeStringList can still be read: a setup module may go
// on using it afterwards.
TEST(StringList, FreeingReleasesNothing)
{
    _QV_InstStringList *list = CreateStringList();
    InsertStringList(list, "kept");
    FreeStringList(list);
    FreeStringList(nullptr);
    EXPECT_EQ(strings_of(list), std::vector<std::string>{"kept"});
    qv::release_string_list(list);
}

class FolderScan : public ::testing::Test {
protected:
    qvtest::ScratchDir scratch{"scan"};
    std::string folder = scratch / "Quorvanta";
};

TEST_F(FolderScan, ListsSubFoldersInReverseOrderAndKeepsThoseWithPreferences)
{
    make_preferences(folder + "/2.1");
    make_preferences(folder + "/3.0");
    make_preferences(folder + "/2.10 beta");
    make_dirs(folder + "/empty");
    make_dirs(folder + "/marker-is-a-folder/Data/Preferences/cpm.cpm");
    write_file(folder + "/a-file", "");
    ASSERT_EQ(symlink((folder + "/2.1").c_str(), (folder + "/linked").c_str()), 0);
    // A control character in a name would show the folder on lines of a
    // list that hold other text than its path: such a folder is left out.
    for (const char *shown : {"/4.0\nelsewhere", "/4.1\tbeta", "/4.2\x7f", "/4.3\x1b[2K"})
        make_preferences(folder + shown);

    _QV_InstStringList *all = FindAllDirs(folder.c_str());
    EXPECT_EQ(strings_of(all), (std::vector<std::string>{folder + "/marker-is-a-folder", folder + "/linked",
                                                         folder + "/empty", folder + "/3.0", folder + "/2.10 beta",
                                                         folder + "/2.1"}));
    _QV_InstStringList *found = FindPreferencesDirs(all);
    EXPECT_EQ(strings_of(found),
              (std::vector<std::string>{folder + "/linked", folder + "/3.0", folder + "/2.10 beta", folder + "/2.1"}));
    qv::release_string_list(found);
    qv::release_string_list(all);
}

TEST_F(FolderScan, AMissingOrEmptyFolderGivesEmptyLists)
{
    for (const std::string &where : {folder, scratch.path()}) {
        _QV_InstStringList *all = FindAllDirs(where.c_str());
        EXPECT_EQ(strings_of(all), std::vector<std::string>{}) << where;
        _QV_InstStringList *found = FindPreferencesDirs(all);
        EXPECT_EQ(strings_of(found), std::vector<std::string>{}) << where;
        qv::release_string_list(found);
        qv::release_string_list(all);
    }
}

TEST_F(FolderScan, FileTestsTellFilesFromFolders)
{
    write_file(scratch / "file", "x", 0640);
    make_dirs(scratch / "dir");
    ASSERT_EQ(symlink("file", (scratch / "link").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (scratch / "dangling").c_str()), 0);
    const struct {
        std::string path;
        int exists, file, dir;
    } cases[] = {
        {scratch / "file", 1, 1, 0}, {scratch / "dir", 1, 0, 1},     {scratch / "link", 1, 1, 0},
        {scratch / "dangling", 0, 0, 0}, {scratch / "missing", 0, 0, 0}, {"", 0, 0, 0},
    };
    for (const auto &c : cases) {
        unsigned int mode = 0;
        EXPECT_EQ(GetNodeMode(c.path.c_str(), &mode), c.exists) << c.path;
        EXPECT_EQ(IsFileExist(c.path.c_str()), c.file) << c.path;
        EXPECT_EQ(IsDirExist(c.path.c_str()), c.dir) << c.path;
    }
    unsigned int mode = 0;
    ASSERT_EQ(GetNodeMode((scratch / "file").c_str(), &mode), 1);
    EXPECT_EQ(mode & 07777, 0640u);
    EXPECT_TRUE(S_ISREG(mode));
    EXPECT_EQ(GetNodeMode((scratch / "file").c_str(), nullptr), 0);
}

class UserRoot : public ::testing::Test {
protected:
    EnvVar home{"HOME", "/home/ann"};
    EnvVar user{"USER", "ann"};
    void SetUp() override { SetDefaultUserHome(nullptr); }
    void TearDown() override { SetDefaultUserHome(nullptr); }
};

TEST_F(UserRoot, IsTheHomeFolderUntilAnotherRootIsChosen)
{
    EXPECT_STREQ(GetDefaultUserHome(), "/home/ann");
    EXPECT_STREQ(GetDefaultUserHomeWithEnvVar(), "$HOME");

    SetDefaultUserHome("/export/users");
    EXPECT_STREQ(GetDefaultUserHome(), "/export/users/ann");
    EXPECT_STREQ(GetDefaultUserHomeWithEnvVar(), "/export/users/$USER");

    // Choosing the home folder itself shows it alone.
    SetDefaultUserHome("/home/ann");
    EXPECT_STREQ(GetDefaultUserHome(), "/home/ann");
    EXPECT_STREQ(GetDefaultUserHomeWithEnvVar(), "$HOME");

    // The stored string, or a part of it, may be handed back.
    const char *stored = GetDefaultUserHome();
    SetDefaultUserHome(stored);
    EXPECT_STREQ(GetDefaultUserHome(), "/home/ann");
    SetDefaultUserHome(stored + 5); // "/ann"
    EXPECT_STREQ(GetDefaultUserHome(), "/ann/ann");
}

TEST_F(UserRoot, WithoutHomeOrUserItAnswersWhatItCan)
{
    {
        EnvVar noHome("HOME", std::nullopt);
        EXPECT_EQ(GetDefaultUserHome(), nullptr);
        EXPECT_STREQ(GetDefaultUserHomeWithEnvVar(), "$HOME");
        SetDefaultUserHome("/export/users");
        EXPECT_STREQ(GetDefaultUserHome(), "/export/users/ann");
    }
    EnvVar noUser("USER", std::nullopt);
    EXPECT_STREQ(GetDefaultUserHome(), "/export/users");
}

TEST_F(UserRoot, ARootTooLongForThePathBufferGivesNone)
{
    const std::string root = "/" + std::string(4094, 'r');
    SetDefaultUserHome(root.c_str());
    EXPECT_EQ(GetDefaultUserHome(), nullptr);
    EXPECT_EQ(GetDefaultUserHomeWithEnvVar(), nullptr);
}

// DoMigrate on a product folder holding the demo product's qvr stand-in,
// without a display: the boxes print their text.
class Migrate : public ::testing::Test {
protected:
    void SetUp() override
    {
        medium.load_simple();
        const std::string qvr = qvtest::read_file(qvtest::harness("QV_DEMO_MEDIUM") + "/Application/bin/qvr");
        write_file(product + "/Application/bin/qvr", qvr, 0755);
        request() = qv::MigrationRequest{};
    }
    void TearDown() override { request() = qv::MigrationRequest{}; }

    static qv::MigrationRequest &request() { return qv::migration_request(); }
    void ask_for(const std::string &source)
    {
        request().requested = 1;
        request().source.reset(strdup(source.c_str()));
    }
    // DoMigrate's result and what it printed.
    std::pair<int, std::string> migrate()
    {
        qvtest::CaptureFd out(STDOUT_FILENO);
        int result = DoMigrate(nullptr);
        return {result, out.finish()};
    }

    qvtest::WizardMedium medium;
    qvtest::ScratchDir scratch{"migrate"};
    std::string product = medium.root() + "/QvTest";
    std::string args = product + "/Data/qvr-args";
};

TEST_F(Migrate, DoesNothingUnlessAMigrationWasAskedFor)
{
    make_preferences(scratch / "old");
    for (int requested : {0, 1}) {
        request().requested = requested;
        request().source.reset(requested ? nullptr : strdup((scratch / "old").c_str()));
        EXPECT_EQ(migrate(), std::make_pair(1, std::string()));
        EXPECT_FALSE(qvtest::exists(args));
    }
}

TEST_F(Migrate, RunsQvrInTheProductWithTheFolderAsOneArgumentThenForgetsIt)
{
    // Every character the shell would act on, in the user's folder name.
    const std::string old = scratch / "my prefs; touch 'PWNED' $(id) `id` \\ \"x\"";
    make_preferences(old);
    ask_for(old);
    const auto [result, printed] = migrate();
    EXPECT_EQ(result, 1) << printed;
    EXPECT_EQ(qvtest::read_file(args), "-migrate\n" + old + "\n");
    EXPECT_EQ(qvtest::read_file(product + "/Data/Preferences/cpm.cpm"), "colours=dark\n");
    EXPECT_FALSE(qvtest::exists(product + "/PWNED"));
    EXPECT_NE(printed.find("Application/bin/qvr -migrate "), std::string::npos) << printed;
    EXPECT_NE(printed.find("Preferences migrated successfully.\n"), std::string::npos) << printed;
    EXPECT_EQ(request().source, nullptr);

    // Done once: a second call runs nothing.
    unlink(args.c_str());
    EXPECT_EQ(migrate(), std::make_pair(1, std::string()));
    EXPECT_FALSE(qvtest::exists(args));
}

TEST_F(Migrate, AFailedMigrationIsReportedAndKeepsTheRequest)
{
    for (const std::string &source : {scratch / "no-preferences", std::string()}) {
        ask_for(source);
        const auto [result, printed] = migrate();
        EXPECT_EQ(result, 0) << printed;
        EXPECT_NE(printed.find("Unable to migrate preferences.\n"), std::string::npos) << printed;
        // An empty folder is still passed, as an empty argument.
        EXPECT_EQ(qvtest::read_file(args), "-migrate\n" + source + "\n");
        ASSERT_NE(request().source, nullptr);
        EXPECT_EQ(request().source.get(), source);
        EXPECT_EQ(request().requested, 1);
    }
}

} // namespace
