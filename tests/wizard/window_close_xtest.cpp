// Closing a dialog's window from the window manager: every dialog that setup
// waits on answers it the way one of its buttons would, so no dialog can
// vanish while setup goes on waiting for it. Also the exported widget
// globals, which never outlive their widgets.
#include "support/xfixture.h"

#include <Xm/FileSB.h>
#include <Xm/MessageB.h>
#include <Xm/TextF.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/fileops.h"
#include "support/testutil.h"
#include "wizard/glue.h"
#include "wizard_medium.h"

namespace {

using qvtest::box_child;
using qvtest::find;
using qvtest::label_text;

class WindowClose : public qvtest::XTest {
protected:
    void SetUp() override
    {
        XTest::SetUp();
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        QV_instInstallationMode = 0;
        medium.load_simple();
    }
    void TearDown() override
    {
        QV_instInstallationMode = 0;
        XTest::TearDown();
    }

    // Closes shell and answers the exit confirmation that this must open
    // with "Resume Setup"; false when none opened.
    bool close_asks_exit(Widget shell, const std::string &extraText)
    {
        bool asked = false;
        qvtest::when_found("*mbExitSetup", [&](Widget box) {
            EXPECT_EQ(label_text(box_child(box, XmDIALOG_MESSAGE_LABEL)), "Are you sure you want to Exit?\n" + extraText);
            asked = true;
            qvtest::press_box(box, XmDIALOG_OK_BUTTON);
        });
        qvtest::close_window(shell);
        return qvtest::wait_until([&] { return asked; });
    }

    qvtest::WizardMedium medium;
};

Widget open_main_dialog(Widget parent)
{
    mbMainDlg = CreatembMainDlg(parent);
    _QV_InstConfigList *first = QV_instGetConfigFromId(CDInstPtr, 1);
    first->parent = nullptr;
    QV_instUISetMainDlg(mbMainDlg, first);
    return mbMainDlg;
}

Widget open_maintenance(Widget parent)
{
    mbMaintenance = CreatembMaintenance(parent);
    return mbMaintenance;
}

// A wizard dialog closed by the window manager asks whether to leave setup,
// as its "Exit Setup" does; resuming leaves it on screen as it was.
TEST_F(WindowClose, AWizardDialogClosedAsksTheExitConfirmation)
{
    struct Row {
        const char *name;
        std::function<Widget(Widget)> open;
        const char *extraText;
    };
    const Row rows[] = {
        {"welcome", CreatembWelcome, "Setup has not yet modified any files."},
        {"destination", CreatembChangeDestination, "Setup has not yet modified any files."},
        {"main dialog", open_main_dialog, "Setup has not yet modified any files"},
        {"maintenance", open_maintenance, "Setup has not yet modified any files"},
        {"name and organisation", CreatembNameOrg, "Setup has not yet modified any files"},
        {"reseller", CreatembReseller, "Setup has not yet modified any files"},
        {"migration", CreatemigrationDlg, "Setup has not yet modified any files."},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Widget dialog = row.open(mainShell());
        XtManageChild(dialog);
        ASSERT_TRUE(qvtest::wait_mapped(dialog));
        EXPECT_TRUE(close_asks_exit(QV_instGetShell(dialog), row.extraText));
        qvtest::pump(50);
        EXPECT_TRUE(qvtest::managed(dialog)) << "resumed: the dialog stays";
        EXPECT_TRUE(qvtest::wait_mapped(dialog));
        XtDestroyWidget(QV_instGetShell(dialog));
        qvtest::pump(10);
    }
}

// A nested main dialog closed goes back to the menu it was opened from, as
// its "Cancel" does.
TEST_F(WindowClose, ANestedMainDialogClosedGoesBack)
{
    medium.load("Package \"core\" \"core files\"\n"
                "Suite \"Main\" core\n"
                "ConfigBegin\n"
                "1 MainDlg \"Top\" \"\" \"\" 2\n"
                "2 MainDlg \"Nested\" \"\" \"\" 3\n"
                "3 Suite \"Main\" \"\" \"\" 1\n"
                "ConfigEnd\n");
    Widget top = open_main_dialog(mainShell());
    XtManageChild(top);
    ASSERT_TRUE(qvtest::wait_mapped(top));
    const qvtest::DestroyWatch topWatch(QV_instGetShell(top));
    qvtest::press(find(top, "*pbMainDlg1"));
    ASSERT_TRUE(topWatch.destroyed()) << "the nested menu replaces the top one";
    Widget nested = mbMainDlg;
    ASSERT_NE(nested, nullptr);
    ASSERT_TRUE(qvtest::wait_mapped(nested));
    EXPECT_EQ(QV_InstGetLastConfig(), QV_instGetConfigFromId(CDInstPtr, 2));
    EXPECT_EQ(label_text(box_child(nested, XmDIALOG_CANCEL_BUTTON)), "Cancel");

    const qvtest::DestroyWatch nestedWatch(QV_instGetShell(nested));
    qvtest::close_window(QV_instGetShell(nested));
    ASSERT_TRUE(qvtest::wait_until([&] { return nestedWatch.destroyed() && mbMainDlg; }, 60000));
    EXPECT_TRUE(qvtest::wait_mapped(mbMainDlg));
    EXPECT_EQ(QV_InstGetLastConfig(), QV_instGetConfigFromId(CDInstPtr, 1));
    EXPECT_EQ(label_text(box_child(mbMainDlg, XmDIALOG_CANCEL_BUTTON)), "Exit Setup");
    XtDestroyWidget(QV_instGetShell(mbMainDlg));
}

// Closing the agreement does not accept it: setup ends with 0, as after
// "I DECLINE".
TEST_F(WindowClose, TheAgreementClosedIsDeclined)
{
    qvtest::write_file(medium.eula(), "terms\n");
    EXPECT_EXIT(
        {
            Widget eula = CreatembEULA(mainShell());
            XtManageChild(eula);
            qvtest::wait_mapped(eula);
            qvtest::close_window(QV_instGetShell(eula));
            qvtest::pump(2000);
            std::fputs("still running\n", stderr);
            std::exit(3);
        },
        ::testing::ExitedWithCode(0), "^$");
}

// Closing the exit confirmation is not an answer to leave: setup resumes,
// and no interruption box follows.
TEST_F(WindowClose, TheExitConfirmationClosedResumes)
{
    qvtest::when_found("*mbExitSetup", [](Widget box) { qvtest::close_window(QV_instGetShell(box)); });
    EXPECT_EQ(QV_exitSetupConfirmation(mainShell(), "Setup has not yet modified any files.", ""), 1);
    qvtest::pump(50);
    EXPECT_EQ(find("*mbExitSetup"), nullptr);
    EXPECT_EQ(find("*mbExitSetupFinish"), nullptr);
}

// Once the user chose to leave, closing the confirmation underneath the
// interruption box does not bring setup back: the box's "OK" still ends it
// with 10.
TEST_F(WindowClose, AfterExitSetupClosingTheConfirmationDoesNotResume)
{
    EXPECT_EXIT(
        {
            qvtest::when_found("*mbExitSetup", [](Widget box) { qvtest::press_box(box, XmDIALOG_CANCEL_BUTTON); });
            qvtest::when_found("*mbExitSetupFinish", [](Widget) {
                qvtest::close_window(QV_instGetShell(find("*mbExitSetup")));
                qvtest::pump(200);
                if (Widget finish = find("*mbExitSetupFinish"))
                    qvtest::press_box(finish, XmDIALOG_OK_BUTTON);
                else
                    std::fputs("the interruption box is gone\n", stderr);
            });
            QV_exitSetupConfirmation(mainShell(), "Setup has not yet modified any files.", "");
            std::fputs("resumed\n", stderr);
            std::exit(3);
        },
        ::testing::ExitedWithCode(10), "^$");
}

// The destination chooser closed is its Cancel: the caller gets control
// back and the root destination stays.
TEST_F(WindowClose, TheDestinationChooserClosedCancels)
{
    const std::string root = CDInstPtr->rootDest;
    qvtest::when_found("*fsbChangeDestinationSelection", [](Widget box) {
        XmTextFieldSetString(XmFileSelectionBoxGetChild(box, XmDIALOG_TEXT), const_cast<char *>("/tmp"));
        qvtest::close_window(QV_instGetShell(box));
    });
    QV_instChangeDestination(mainShell());
    EXPECT_EQ(CDInstPtr->rootDest, root);
    EXPECT_EQ(QV_instInstallationMode, 0);
    EXPECT_EQ(find("*fsbChangeDestinationSelection"), nullptr);
}

// The chooser that Browse... opens for a missing source, closed, is its
// Cancel: the Continue / Browse... / Abort question comes back.
TEST_F(WindowClose, TheSourceChooserClosedAsksTheQuestionAgain)
{
    const char chooser[] = "*Browser Install Directory";
    std::vector<std::string> asked;
    bool stayed = false;
    qvtest::when_found("*mbOkCancel", [&](Widget box) {
        asked.push_back(label_text(box_child(box, XmDIALOG_MESSAGE_LABEL)));
        qvtest::when_found(chooser, [&](Widget fsb) {
            qvtest::close_window(QV_instGetShell(fsb));
            // A chooser that stays is cancelled, so that the test goes on.
            qvtest::after(3000, [&] {
                if (Widget still = find(chooser)) {
                    stayed = true;
                    qvtest::press(XmFileSelectionBoxGetChild(still, XmDIALOG_CANCEL_BUTTON));
                }
            });
            qvtest::when_found("*mbOkCancel", [&](Widget again) {
                asked.push_back(label_text(box_child(again, XmDIALOG_MESSAGE_LABEL)));
                qvtest::press_box(again, XmDIALOG_OK_BUTTON); // Continue
            });
        });
        qvtest::press_box(box, XmDIALOG_CANCEL_BUTTON); // Browse...
    });
    EXPECT_EQ(QV_instQueryForSource(nullptr, "Copyfile can't open file", "missing.bin"), 0);
    EXPECT_FALSE(stayed) << "the chooser ignored the close";
    EXPECT_EQ(asked, std::vector<std::string>(2, "Copyfile can't open file: missing.bin"));
}

// The per-user dialog closed is its "Continue": the module that opened it
// gets control back.
TEST_F(WindowClose, TheUpdateUserDialogClosedContinues)
{
    qvtest::when_found("*mbUpdateUser", [](Widget box) { qvtest::close_window(QV_instGetShell(box)); });
    QV_instUpdateUser(mainShell(), medium.dir().c_str());
    qvtest::pump(10);
    EXPECT_EQ(find("*mbUpdateUser"), nullptr);
}

// The exported globals of a dialog are cleared with their widgets; a later
// dialog of the same kind that took a global over keeps it.
TEST_F(WindowClose, ExportedWidgetsAreForgottenWithTheirDialog)
{
    struct Row {
        const char *name;
        std::function<Widget(Widget)> open;
        std::vector<Widget *> globals;
    };
    const Row rows[] = {
        {"welcome", CreatembWelcome, {&laWelcomeTop, &laWelcomeMiddle}},
        {"agreement", CreatembEULA, {&txEULA}},
        {"destination", CreatembChangeDestination, {&tfChangeDestination, &laChangeDestinationAvailableSpace}},
        {"main dialog",
         CreatembMainDlg,
         {&mbMainDlg, &laMainDlg, &pbMainDlg1, &laMainDlg1Product, &laMainDlg1Description, &laMainDlgAvailableSpace,
          &txMainDlgFolder}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Widget first = row.open(mainShell());
        Widget second = row.open(mainShell());
        for (Widget *global : row.globals)
            ASSERT_NE(*global, nullptr);
        std::vector<Widget> taken;
        for (Widget *global : row.globals)
            taken.push_back(*global);

        XtDestroyWidget(QV_instGetShell(first));
        for (size_t i = 0; i < row.globals.size(); ++i)
            EXPECT_EQ(*row.globals[i], taken[i]) << "global " << i << " belongs to the second dialog";
        XtDestroyWidget(QV_instGetShell(second));
        for (size_t i = 0; i < row.globals.size(); ++i)
            EXPECT_EQ(*row.globals[i], nullptr) << "global " << i;
    }
}

} // namespace
