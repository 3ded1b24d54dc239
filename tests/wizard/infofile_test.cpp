// The user and reseller information files without a display: values read
// back exactly as written, and nothing planted in the shared folder ever
// followed, fed in or overwritten.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "support/testutil.h"
#include "wizard/infofile.h"

using qvtest::read_file;
using qvtest::write_file;

namespace {

using Values = std::vector<std::string>;

class InfoFile : public ::testing::Test {
protected:
    qvtest::ScratchDir scratch{"infofile"};
    std::string saved = qv::info_file_folder();
    std::string path = scratch / qv::kUserInfoFile;

    void SetUp() override { qv::info_file_folder() = scratch.path(); }
    void TearDown() override { qv::info_file_folder() = saved; }

    mode_t mode_of(const std::string &p)
    {
        struct stat st {};
        EXPECT_EQ(lstat(p.c_str(), &st), 0);
        return st.st_mode & 07777;
    }
};

TEST_F(InfoFile, ReadsEachLineWholeIntoItsOwnValue)
{
    const std::string long600(600, 'x');
    const struct {
        const char *what;
        std::string content;
        Values expected;
    } cases[] = {
        {"two lines", "Ann Lee\nLee & Co\n", {"Ann Lee", "Lee & Co"}},
        {"one line", "Ann Lee\n", {"Ann Lee", ""}},
        {"no final newline", "Ann\nLee & Co", {"Ann", "Lee & Co"}},
        {"empty file", "", {"", ""}},
        {"empty lines", "\n\n", {"", ""}},
        {"blanks kept", "  A \t\n org \n", {"  A \t", " org "}},
        {"one newline removed", "Ann\r\n\n", {"Ann\r", ""}},
        {"extra lines ignored", "a\nb\nc\n", {"a", "b"}},
        {"a 600-character line stays in its field", long600 + "\nLee & Co\n", {long600, "Lee & Co"}},
    };
    for (const auto &c : cases) {
        write_file(path, c.content);
        EXPECT_EQ(qv::read_info_file(qv::kUserInfoFile, 2), std::optional<Values>(c.expected)) << c.what;
    }
}

TEST_F(InfoFile, AMissingFileGivesNoValues)
{
    EXPECT_EQ(qv::read_info_file(qv::kUserInfoFile, 2), std::nullopt);
}

TEST_F(InfoFile, WritesOneLineAValueAndReadsThemBack)
{
    const Values values = {"  Ann Lee ", "", std::string(700, 'y'), "::t\"not a label\""};
    ASSERT_TRUE(qv::write_info_file(qv::kResellerInfoFile, values));
    const std::string written = read_file(scratch / qv::kResellerInfoFile);
    EXPECT_EQ(written, "  Ann Lee \n\n" + std::string(700, 'y') + "\n::t\"not a label\"\n");
    EXPECT_EQ(qv::read_info_file(qv::kResellerInfoFile, 4), std::optional<Values>(values));

    // Writing again replaces what was there; a line break pasted into a
    // value does not push the next value into another line.
    ASSERT_TRUE(qv::write_info_file(qv::kResellerInfoFile, {"Shop\nLtd", "555"}));
    EXPECT_EQ(read_file(scratch / qv::kResellerInfoFile), "Shop Ltd\n555\n");
    EXPECT_EQ(qv::read_info_file(qv::kResellerInfoFile, 2), std::optional<Values>({"Shop Ltd", "555"}));
}

TEST_F(InfoFile, NewFilesAreNotWritableByOthersWhateverTheUmask)
{
    const mode_t old = umask(0);
    EXPECT_TRUE(qv::write_info_file(qv::kUserInfoFile, {"Ann", "Co"}));
    umask(old);
    EXPECT_EQ(mode_of(path), 0644u);

    // A file of ours that others could write is closed to them on writing.
    chmod(path.c_str(), 0666);
    EXPECT_TRUE(qv::write_info_file(qv::kUserInfoFile, {"Ann", "Co"}));
    EXPECT_EQ(mode_of(path), 0644u);
}

TEST_F(InfoFile, PlantedNamesAreNeitherFollowedNorOverwritten)
{
    const std::string victim = scratch / "victim";
    const std::string victimText = "root:secret\nsecond\n";

    // A symbolic link to a file of the user setup runs as.
    write_file(victim, victimText);
    ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0);
    EXPECT_FALSE(qv::write_info_file(qv::kUserInfoFile, {"Ann", "Co"}));
    EXPECT_EQ(qv::read_info_file(qv::kUserInfoFile, 2), std::nullopt);
    EXPECT_EQ(read_file(victim), victimText);
    unlink(path.c_str());

    // A dangling link, which would create the file where it points.
    const std::string target = scratch / "created-through-link";
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    EXPECT_FALSE(qv::write_info_file(qv::kUserInfoFile, {"Ann", "Co"}));
    EXPECT_FALSE(qvtest::exists(target));
    unlink(path.c_str());

    // A hard link of that file.
    ASSERT_EQ(link(victim.c_str(), path.c_str()), 0);
    EXPECT_FALSE(qv::write_info_file(qv::kUserInfoFile, {"Ann", "Co"}));
    EXPECT_EQ(qv::read_info_file(qv::kUserInfoFile, 2), std::nullopt);
    EXPECT_EQ(read_file(victim), victimText);
    unlink(path.c_str());

    // A FIFO, which would block setup on opening.
    ASSERT_EQ(mkfifo(path.c_str(), 0666), 0);
    EXPECT_FALSE(qv::write_info_file(qv::kUserInfoFile, {"Ann", "Co"}));
    EXPECT_EQ(qv::read_info_file(qv::kUserInfoFile, 2), std::nullopt);
    unlink(path.c_str());

    // A folder.
    ASSERT_EQ(mkdir(path.c_str(), 0777), 0);
    EXPECT_FALSE(qv::write_info_file(qv::kUserInfoFile, {"Ann", "Co"}));
    EXPECT_EQ(qv::read_info_file(qv::kUserInfoFile, 2), std::nullopt);
    rmdir(path.c_str());
}

TEST_F(InfoFile, AFileOfAnotherUserIsNeitherReadNorOverwritten)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "giving a file to another user needs root";
    write_file(path, "Planted Name\nPlanted Co\n", 0666);
    ASSERT_EQ(chown(path.c_str(), 4242, 4343), 0);
    EXPECT_EQ(qv::read_info_file(qv::kUserInfoFile, 2), std::nullopt);
    EXPECT_FALSE(qv::write_info_file(qv::kUserInfoFile, {"Ann", "Co"}));
    EXPECT_EQ(read_file(path), "Planted Name\nPlanted Co\n");
}

TEST_F(InfoFile, AFolderThatCannotBeWrittenIsSkipped)
{
    qv::info_file_folder() = scratch / "missing";
    EXPECT_FALSE(qv::write_info_file(qv::kUserInfoFile, {"Ann", "Co"}));
    EXPECT_EQ(qv::read_info_file(qv::kUserInfoFile, 2), std::nullopt);
}

} // namespace
