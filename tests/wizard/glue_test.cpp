// The wizard glue that needs no display: the config store, the size texts,
// the free-space text and the extended argument vector.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/cdinst.h"
#include "support/capture.h"
#include "support/testutil.h"
#include "wizard/glue.h"
#include "wizard_medium.h"

namespace {

// The store is process-wide and never reset, so its whole life is one test.
TEST(ConfigStore, ClampsAtBothEndsAndRestoresWhatWasCurrent)
{
    static _QV_InstConfigList configs[102];

    qvtest::CaptureFd out(STDOUT_FILENO);
    EXPECT_EQ(QV_instRestoreLastDlg(), nullptr);
    EXPECT_EQ(out.finish(), "Underflow in config store\n");
    EXPECT_EQ(QV_InstGetLastConfig(), nullptr);

    // A pop right after a push gives back what was current before it.
    QV_instSetLastDlg(&configs[0]);
    QV_instSetLastDlg(&configs[1]);
    EXPECT_EQ(QV_InstGetLastConfig(), &configs[1]);
    EXPECT_EQ(QV_instRestoreLastDlg(), &configs[0]);
    EXPECT_EQ(QV_instRestoreLastDlg(), nullptr);

    // 101 pushes: the 101st finds the store full, says so once, and still
    // becomes current.
    qvtest::CaptureFd overflow(STDOUT_FILENO);
    for (int i = 1; i <= 101; ++i)
        QV_instSetLastDlg(&configs[i]);
    EXPECT_EQ(overflow.finish(), "Overflow in config store\n");
    EXPECT_EQ(QV_InstGetLastConfig(), &configs[101]);
    // The 100th push saved the configuration of the 99th.
    EXPECT_EQ(QV_instRestoreLastDlg(), &configs[99]);

    for (int i = 98; i >= 1; --i)
        ASSERT_EQ(QV_instRestoreLastDlg(), &configs[i]);
    EXPECT_EQ(QV_instRestoreLastDlg(), nullptr); // what the first push saved

    // Empty again: an underflow keeps the count at 0 and falls back to the
    // first saved slot.
    qvtest::CaptureFd again(STDOUT_FILENO);
    EXPECT_EQ(QV_instRestoreLastDlg(), nullptr);
    EXPECT_EQ(again.finish(), "Underflow in config store\n");
    QV_instSetLastDlg(&configs[5]);
    EXPECT_EQ(QV_instRestoreLastDlg(), nullptr);
}

TEST(SizeText, UnitsBoundariesAndSign)
{
    struct Row {
        int64_t bytes;
        const char *text;
    };
    const Row rows[] = {
        {1073741824, " 1.00 GB"},
        {1073741823, "1024.00 MB"},
        {1048576, " 1.00 MB"},
        {1048575, "1024.00 KB"},
        {1023, " 1.00 KB"},
        {512, " 0.50 KB"},
        {-2048, " 2.00 KB"},
        {0, " 0.00 KB"},
        {-1073741824, " 1.00 GB"},
        {5368709120, " 5.00 GB"},
        {10737418240, "10.00 GB"},
        {INT64_MAX, "8589934592.00 GB"},
        {INT64_MIN, "8589934592.00 GB"}, // no overflow when taking the magnitude
    };
    for (const Row &row : rows) {
        char buffer[QV_SIZE_STRING_MAX];
        std::memset(buffer, 'x', sizeof buffer);
        QV_instFormatSizeString(row.bytes, buffer);
        EXPECT_STREQ(buffer, row.text) << row.bytes;
    }
    QV_instFormatSizeString(1, nullptr); // nothing to write into
}

TEST(SizeText, FreeSpaceOfAMissingFolderIsThatOfItsNearestAncestor)
{
    qvtest::ScratchDir scratch("glue");
    char ofScratch[QV_SIZE_STRING_MAX] = "unset";
    char ofMissing[QV_SIZE_STRING_MAX] = "unset";
    QV_instGetFreeSpaceString(scratch.path().c_str(), ofScratch);
    QV_instGetFreeSpaceString((scratch / "not/made/yet").c_str(), ofMissing);
    EXPECT_NE(std::string(ofScratch), "unset");
    EXPECT_NE(std::string(ofScratch).find('B'), std::string::npos) << ofScratch;
    // Other tests write on the same partition meanwhile: compare the units.
    EXPECT_EQ(std::string(ofMissing).substr(std::strlen(ofMissing) - 2),
              std::string(ofScratch).substr(std::strlen(ofScratch) - 2));
}

TEST(ArgumentVector, CopiesTheArgumentsAndAppendsTheResources)
{
    char a0[] = "/cd/setup", a1[] = "-noroot", a2[] = "-from", a3[] = "/cd/cdinst.dat";
    char *argv[] = {a0, a1, a2, a3, nullptr};
    int argc = 4;
    char **extended = QV_instNewArgv(&argc, argv);
    ASSERT_NE(extended, nullptr);
    ASSERT_EQ(argc, 8);
    const std::vector<std::string> expected = {"/cd/setup", "-noroot", "-from", "/cd/cdinst.dat",
                                               "-xrm", "*sgiMode: false", "-xrm", "*useSchemes: all"};
    for (int i = 0; i < argc; ++i) {
        EXPECT_EQ(extended[i], expected[static_cast<size_t>(i)]);
        if (i < 4) {
            EXPECT_NE(extended[i], argv[i]) << "argument " << i << " must be a copy";
        }
    }
    // The toolkit may write a null entry after the arguments it keeps.
    EXPECT_EQ(extended[argc], nullptr);
    QV_instFreeArgv(argc, extended);
}

} // namespace
