// Selection state walks over small configuration trees: marking, resetting,
// the all-selected test, in-use counts, affected packages and the installed
// flags taken from a history.
#include <string>

#include <gtest/gtest.h>

#include "engine/cdinst.h"
#include "handmade_model.h"

using qvtest::HandmadeModel;
using qvtest::Loaded;

namespace {

// 1 MainDlg {2, 3}
//   2 CusDlg {4, 5, 6}
//     4 Suite A (p1, p2)
//     5 CusDlg {7, 8}
//       7 Suite B (p2, p3)
//       8 Suite C (p4)
//     6 Suite A again (reached through a second entry)
//   3 Suite D (p1)
class Tree : public ::testing::Test {
protected:
    Tree()
    {
        p1 = m.package("p1");
        p2 = m.package("p2");
        p3 = m.package("p3");
        p4 = m.package("p4");
        a = m.suite("A", {p1, p2});
        b = m.suite("B", {p2, p3});
        c = m.suite("C", {p4});
        d = m.suite("D", {p1});
        c1 = m.mainDlg(1, {2, 3});
        c2 = m.cusDlg(2, {4, 5, 6});
        c4 = m.suiteConfig(4, a);
        c5 = m.cusDlg(5, {7, 8});
        c7 = m.suiteConfig(7, b);
        c8 = m.suiteConfig(8, c);
        c6 = m.suiteConfig(6, a);
        c3 = m.suiteConfig(3, d);
    }

    // Selected states of configurations 1..8, as a string of digits.
    std::string selected() const
    {
        std::string s;
        for (const _QV_InstConfigList *c : {c1, c2, c3, c4, c5, c6, c7, c8})
            s += std::to_string(c->selected);
        return s;
    }
    std::string installed() const
    {
        std::string s;
        for (const _QV_InstConfigList *c : {c1, c2, c3, c4, c5, c6, c7, c8})
            s += std::to_string(c->installed);
        return s;
    }
    std::string inUse() const
    {
        std::string s;
        for (const _QV_InstPackage *p : {p1, p2, p3, p4})
            s += std::to_string(p->inUse);
        return s;
    }
    void recount(_QV_InstConfigList *config)
    {
        UpdateNumInUseFlag(m.cd, config, 1);
        UpdateNumInUseFlag(m.cd, config, 0);
    }

    HandmadeModel m;
    Loaded loaded{m.cd};
    _QV_InstPackage *p1, *p2, *p3, *p4;
    _QV_InstSuiteList *a, *b, *c, *d;
    _QV_InstConfigList *c1, *c2, *c3, *c4, *c5, *c6, *c7, *c8;
};

TEST_F(Tree, MarkAllFollowsListsButNotMainDialogChildren)
{
    QV_instMarkAllConfig(c2, 1);
    EXPECT_EQ(selected(), "01011111");
    QV_instMarkAllConfig(c5, 0);
    EXPECT_EQ(selected(), "01010100");
    QV_instMarkAllConfig(c1, 7);
    EXPECT_EQ(selected(), "71010100");
    EXPECT_EQ(installed(), "00000000");
    QV_instMarkAllConfig(nullptr, 1);
}

TEST_F(Tree, ResetAllSetsBothStatesBelowAList)
{
    QV_instResetAllConfig(m.cd, c2, QV_instStateOn);
    EXPECT_EQ(selected(), "01011111");
    EXPECT_EQ(installed(), "01011111");
    QV_instResetAllConfig(m.cd, c5, QV_instStateOff);
    EXPECT_EQ(selected(), "01010100");
    EXPECT_EQ(installed(), "01010100");
    QV_instResetAllConfig(m.cd, c1, QV_instStateOn);
    EXPECT_EQ(installed(), "11010100");
}

TEST_F(Tree, IsAllConfigSelectedLooksOnlyAtLists)
{
    // Suites and main dialogs always count as selected.
    EXPECT_EQ(QV_instIsAllConfigSelected(c4, 1), 1);
    EXPECT_EQ(QV_instIsAllConfigSelected(c1, 1), 1);
    EXPECT_EQ(QV_instIsAllConfigSelected(nullptr, 1), 1);
    // A list of unselected suites.
    EXPECT_EQ(QV_instIsAllConfigSelected(c5, 0), 1);
    EXPECT_EQ(QV_instIsAllConfigSelected(c5, 1), 0);
    // An unselected list inside a list.
    c2->selected = 1;
    EXPECT_EQ(QV_instIsAllConfigSelected(c2, 1), 0);
    c5->selected = 1;
    EXPECT_EQ(QV_instIsAllConfigSelected(c2, 1), 1);
    c2->selected = 0;
    EXPECT_EQ(QV_instIsAllConfigSelected(c2, 0), 1);
}

TEST_F(Tree, InUseCountsAfterClearThenCount)
{
    p1->inUse = p2->inUse = p3->inUse = p4->inUse = 9; // stale counts
    c4->selected = c6->selected = c7->selected = 1;
    c3->selected = 1; // under the main dialog, outside list 2
    recount(c2);
    // p1 in A twice; p2 in A twice and in B; p3 in B; C unselected.
    EXPECT_EQ(inUse(), "2310");
    recount(c5);
    // Only the packages below list 5 were redone: p2 lost A's two counts.
    EXPECT_EQ(inUse(), "2110");

    // A selected state other than 1 is not counted.
    c7->selected = 2;
    recount(c5);
    EXPECT_EQ(inUse(), "2000");
}

TEST_F(Tree, WalksReportBadArgumentsOnStdout)
{
    c2->data.cus->children[3] = 42; // no such configuration
    p1->inUse = 5;
    c4->selected = 1;

    ::testing::internal::CaptureStdout();
    UpdateNumInUseFlag(m.cd, c1, 1);
    UpdateNumInUseFlag(nullptr, c2, 1);
    UpdateNumInUseFlag(m.cd, c2, 0);
    EXPECT_EQ(NumPackagesAffected(m.cd, c1), 0);
    EXPECT_EQ(NumPackagesAffected(m.cd, nullptr), 0);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "invalid suite type to UpdateNumInUseFlag\n"
                   "Invalid args to UpdateNumInUseFlag\n"
                   "Invalid args to UpdateNumInUseFlag\n"
                   "invalid suite type to NumPackagesAffected\n"
                   "Invalid args to NumPackagesAffected\n");
    // The walk still counted the suites around the missing child.
    EXPECT_EQ(p1->inUse, 6);
}

TEST_F(Tree, PackagesAffectedByInstallAndRemoval)
{
    // Fresh install of A and B.
    c4->selected = c7->selected = 1;
    recount(c2);
    EXPECT_EQ(NumPackagesAffected(m.cd, c2), 4); // A: p1 p2, B: p2 p3 (p2 once per suite)

    // A installed and kept, B installed and deselected: only p3 goes (p2 still used by A).
    p1->installed = p2->installed = p3->installed = 1;
    c4->installed = c7->installed = 1;
    c7->selected = 0;
    recount(c2);
    EXPECT_EQ(NumPackagesAffected(m.cd, c2), 1);

    // A suite whose states agree counts nothing, whatever its packages say.
    c7->selected = 1;
    p4->installed = 0;
    p4->inUse = 3;
    c8->selected = c8->installed = 1;
    EXPECT_EQ(NumPackagesAffected(m.cd, c8), 0);

    // Installed flag must be exactly 1 for a removal.
    c8->selected = 0;
    p4->installed = 2;
    p4->inUse = 0;
    EXPECT_EQ(NumPackagesAffected(m.cd, c8), 0);
}

TEST_F(Tree, InstalledFlagMarksTheSuiteAndEveryListAbove)
{
    EXPECT_EQ(UpdateInstalledFlag(m.cd, c2, b, 1), 1);
    EXPECT_EQ(installed(), "01001010");
    EXPECT_EQ(selected(), "01001010");
    EXPECT_EQ(p2->installed + p3->installed, 2);
    EXPECT_EQ(p1->installed + p4->installed, 0);

    // Not found: nothing changes.
    EXPECT_EQ(UpdateInstalledFlag(m.cd, c5, d, 1), 0);
    EXPECT_EQ(installed(), "01001010");
}

TEST_F(Tree, InstalledFlagFromAMainDialogMovesOnButAnswersZero)
{
    // Record 1's next record is list 2, which holds C.
    EXPECT_EQ(UpdateInstalledFlag(m.cd, c1, c, 1), 0);
    EXPECT_EQ(installed(), "01001001");
    EXPECT_EQ(p4->installed, 1);
    // A suite only reachable through the main dialog's own children is not found.
    EXPECT_EQ(UpdateInstalledFlag(m.cd, c1, d, 1), 0);
    EXPECT_EQ(c3->installed, 0);
}

TEST(InstalledFlag, SuiteConfigWithoutSuiteRecord)
{
    HandmadeModel m;
    _QV_InstConfigList *bare = m.suiteConfig(9, nullptr);
    Loaded loaded(m.cd);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(UpdateInstalledFlag(m.cd, bare, nullptr, 1), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Null pList to UpdateInstalledFlag\n");
    EXPECT_EQ(bare->installed, 1);
    EXPECT_EQ(bare->selected, 1);
    EXPECT_EQ(UpdateInstalledFlag(m.cd, nullptr, nullptr, 1), 0);
}

} // namespace
