// The wizard glue on a real display: window titles, the Add/Remove rule,
// the disk-space check and the two callbacks that open nested dialogs.
#include "support/xfixture.h"

#include <dlfcn.h>
#include <sys/statvfs.h>

#include <Xm/DialogS.h>
#include <Xm/MessageB.h>
#include <Xm/PushB.h>

#include <cstring>
#include <string>

#include "wizard/glue.h"
#include "wizard_medium.h"

// The free space of one scratch folder is dictated by the test, so that the
// disk-space check can be driven to its exact boundary; every other path,
// and the block size, come from the real file system.
namespace {
std::string g_dictatedPrefix;
unsigned long g_dictatedBlocks = 0;
} // namespace

extern "C" int statvfs(const char *path, struct statvfs *out)
{
    using Real = int (*)(const char *, struct statvfs *);
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "statvfs"));
    int status = real(path, out);
    if (status == 0 && !g_dictatedPrefix.empty() &&
        std::strncmp(path, g_dictatedPrefix.c_str(), g_dictatedPrefix.size()) == 0)
        out->f_bavail = g_dictatedBlocks;
    return status;
}

namespace {

using qvtest::box_child;
using qvtest::label_text;
using qvtest::press_box;
using qvtest::window_title;

class GlueTest : public qvtest::XTest {
protected:
    void TearDown() override
    {
        g_dictatedPrefix.clear();
        pbMaintenanceAddRemove = nullptr;
        XTest::TearDown();
    }
    qvtest::WizardMedium medium;
};

TEST_F(GlueTest, WindowTitleIsTheProductFollowedBySetup)
{
    Widget shell = XtVaCreatePopupShell("dsTitle", xmDialogShellWidgetClass, mainShell(), XmNtitle,
                                        "QUORVANTA|Setup", nullptr);
    Widget box = XtVaCreateWidget("mbTitle", xmMessageBoxWidgetClass, shell, nullptr);
    QV_instSetWindowTitle(nullptr); // nothing to name

    // Without a description the product name is empty.
    QV_instSetWindowTitle(box);
    EXPECT_EQ(window_title(shell), " setup");

    medium.load_simple();
    QV_instSetWindowTitle(box_child(box, XmDIALOG_OK_BUTTON)); // the nearest shell is named
    EXPECT_EQ(window_title(shell), "Quorvanta Test setup");
    QV_instSetWindowTitle(mainShell()); // a shell is named itself
    EXPECT_EQ(window_title(mainShell()), "Quorvanta Test setup");
    XtVaSetValues(mainShell(), XmNtitle, "", nullptr);
    XtDestroyWidget(shell);
}

TEST_F(GlueTest, AddRemoveIsGreyedOnlyForAMaintenanceListOfOneSuite)
{
    struct Row {
        const char *what;
        const char *configs; // configuration lines besides 1
        bool sensitive;
    };
    const Row rows[] = {
        {"no configuration 2", "", true},
        {"one suite", "2 CusDlg \"Maint\" \"\" \"\" 0 3\n3 Suite \"Main\" \"\" \"\" 1\n", false},
        {"two suites", "2 CusDlg \"Maint\" \"\" \"\" 0 3 4\n3 Suite \"Main\" \"\" \"\" 1\n4 Suite \"Other\" \"\" \"\" 1\n",
         true},
        {"one option list", "2 CusDlg \"Maint\" \"\" \"\" 0 3\n3 CusDlg \"Sub\" \"\" \"\" 0 4\n4 Suite \"Main\" \"\" \"\" 1\n",
         true},
        {"a menu of one suite", "2 MainDlg \"Maint\" \"\" \"\" 3\n3 Suite \"Main\" \"\" \"\" 1\n", true},
        {"an empty list", "2 CusDlg \"Maint\" \"\" \"\" 0\n", true},
        {"a missing child", "2 CusDlg \"Maint\" \"\" \"\" 0 9\n", true},
    };
    Widget shell = XtVaCreatePopupShell("dsRule", xmDialogShellWidgetClass, mainShell(), nullptr);
    for (const Row &row : rows) {
        medium.load(std::string("Package \"core\" \"core\"\nMkdir \"bin\" 0755 0 0\n"
                                "Package \"other\" \"other\"\nMkdir \"lib\" 0755 0 0\n"
                                "Suite \"Main\" core\nSuite \"Other\" other\n"
                                "ConfigBegin\n1 MainDlg \"Top\" \"\" \"\" 2\n") +
                    row.configs + "ConfigEnd\n");
        pbMaintenanceAddRemove = XtVaCreateManagedWidget("pbMaintenanceAddRemove", xmPushButtonWidgetClass, shell, nullptr);
        QV_DisableAddButtonIfNecessary();
        EXPECT_EQ(XtIsSensitive(pbMaintenanceAddRemove) == True, row.sensitive) << row.what;
        XtDestroyWidget(pbMaintenanceAddRemove);
    }
    pbMaintenanceAddRemove = nullptr;
    QV_DisableAddButtonIfNecessary(); // no button: nothing to do
    XtDestroyWidget(shell);
}

TEST_F(GlueTest, RequiredSpaceEqualToTheFreeSpaceIsNotEnough)
{
    medium.load_simple();
    ASSERT_EQ(QV_instSetSizes(CDInstPtr), 0);
    _QV_InstConfigList *offer = QV_instGetConfigFromId(CDInstPtr, 3);
    ASSERT_NE(offer, nullptr);

    _QV_InstConfigList asNew = *offer;
    asNew.installed = asNew.selected = 1;
    const int64_t required = QV_instGetWriteSize(CDInstPtr, &asNew, 0);
    struct statvfs fs;
    ASSERT_EQ(statvfs(medium.dir().c_str(), &fs), 0);
    ASSERT_GT(required, 0);
    ASSERT_EQ(required % static_cast<int64_t>(fs.f_bsize), 0) << "write sizes are whole blocks";

    // The destination does not exist yet: its nearest ancestor is measured.
    g_dictatedPrefix = medium.root().substr(0, medium.root().rfind('/'));
    char requiredText[QV_SIZE_STRING_MAX];
    QV_instFormatSizeString(required, requiredText);

    g_dictatedBlocks = static_cast<unsigned long>(required / static_cast<int64_t>(fs.f_bsize));
    std::string message;
    qvtest::when_found("*mbOkCancel", [&](Widget box) {
        message = label_text(box_child(box, XmDIALOG_MESSAGE_LABEL));
        press_box(box, XmDIALOG_OK_BUTTON);
    });
    const int selectedBefore = offer->selected;
    EXPECT_EQ(QV_instEnoughSpace(offer, "/ignored"), 0);
    EXPECT_EQ(message, "Not Enough Disk Space\n" + std::string(requiredText) + " Needed, Only " + requiredText +
                           " Available");
    EXPECT_EQ(offer->selected, selectedBefore) << "the configuration itself is not touched";

    // One block more and it fits, without a word.
    g_dictatedBlocks += 1;
    EXPECT_EQ(QV_instEnoughSpace(offer, nullptr), 1);
    qvtest::pump(20);
    EXPECT_EQ(qvtest::find("*mbOkCancel"), nullptr);
}

TEST_F(GlueTest, ANestedMenuReplacesTheMainDialogAndRemembersWhereItCameFrom)
{
    medium.load("Package \"core\" \"core\"\nMkdir \"bin\" 0755 0 0\nSuite \"Main\" core\n"
                "ConfigBegin\n1 MainDlg \"Top\" \"\" \"\" 4\n4 MainDlg \"Sub\" \"\" \"\" 5\n"
                "5 Suite \"Main\" \"\" \"\" 1\nConfigEnd\n");
    _QV_InstConfigList *top = QV_instGetConfigFromId(CDInstPtr, 1);
    _QV_InstConfigList *sub = QV_instGetConfigFromId(CDInstPtr, 4);
    mbMainDlg = CreatembMainDlg(mainShell());
    QV_instUISetMainDlg(mbMainDlg, top);
    XtManageChild(mbMainDlg);
    Widget first = mbMainDlg;
    const qvtest::DestroyWatch firstWatch(first);

    QV_instConfigureMainDlgCB(box_child(first, XmDIALOG_OK_BUTTON), sub, nullptr);
    EXPECT_TRUE(firstWatch.destroyed());
    ASSERT_NE(mbMainDlg, nullptr);
    EXPECT_TRUE(XtIsManaged(mbMainDlg));
    EXPECT_EQ(QV_instGetTLShell(mbMainDlg), mainShell());
    EXPECT_EQ(label_text(box_child(mbMainDlg, XmDIALOG_CANCEL_BUTTON)), "Cancel");
    EXPECT_EQ(sub->parent, top);
    EXPECT_EQ(QV_InstGetLastConfig(), sub);
    mbMainDlg = nullptr;
}

TEST_F(GlueTest, AnOptionsListOutsideMaintenanceHidesTheCounters)
{
    medium.load("Package \"core\" \"core\"\nMkdir \"bin\" 0755 0 0\nSuite \"Main\" core\n"
                "ConfigBegin\n1 MainDlg \"Top\" \"\" \"\" 3\n3 CusDlg \"List\" \"\" \"\" 0 4\n"
                "4 Suite \"Main\" \"\" \"\" 1\nConfigEnd\n");
    _QV_InstConfigList *list = QV_instGetConfigFromId(CDInstPtr, 3);
    QV_instSetLastDlg(QV_instGetConfigFromId(CDInstPtr, 1));
    _QV_InstConfigList *before = QV_InstGetLastConfig();
    Widget asking = XtVaCreatePopupShell("dsAsking", xmDialogShellWidgetClass, mainShell(), nullptr);
    Widget button = XtVaCreateManagedWidget("pbAsking", xmPushButtonWidgetClass, asking, nullptr);

    QV_instConfigureCustomDlgCB(button, list, nullptr);
    qvtest::pump(20);
    EXPECT_EQ(qvtest::find("*dsAsking"), nullptr) << "the asking dialog is replaced";
    ASSERT_NE(mbCustom, nullptr);
    EXPECT_TRUE(XtIsManaged(mbCustom));
    EXPECT_EQ(QV_instGetTLShell(mbCustom), mainShell());
    EXPECT_FALSE(XtIsManaged(foCustomComponentCount));
    EXPECT_EQ(list->parent, before);
    EXPECT_EQ(QV_InstGetLastConfig(), list);
    mbCustom = nullptr;
}

} // namespace
