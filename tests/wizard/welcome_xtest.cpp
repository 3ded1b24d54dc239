// The first steps of the wizard on a real display: welcome, agreement, and
// the exit confirmation with its interruption box. Ways out of setup run in
// a fresh copy of the test process (death tests), where exit is observed.
#include "support/xfixture.h"

#include <Xm/DialogS.h>
#include <Xm/MessageB.h>
#include <Xm/Text.h>

#include <string>

#include "wizard/glue.h"
#include "wizard_medium.h"

namespace {

using qvtest::box_child;
using qvtest::find;
using qvtest::label_text;
using qvtest::press_box;
using qvtest::managed;
using qvtest::window_title;

class WelcomeTest : public qvtest::XTest {
protected:
    void SetUp() override
    {
        XTest::SetUp();
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        medium.load_simple();
    }
    qvtest::WizardMedium medium;
};

TEST_F(WelcomeTest, GreetsWithTheProductAndTitlesItselfOnceMapped)
{
    Widget box = CreatembWelcome(mainShell());
    ASSERT_NE(box, nullptr);
    EXPECT_STREQ(XtName(box), "mbWelcome");
    Widget shell = XtParent(box);
    EXPECT_STREQ(XtName(shell), "xmDialogShell");
    EXPECT_EQ(window_title(shell), "QUORVANTA|Setup");
    EXPECT_FALSE(XtIsManaged(box));

    EXPECT_EQ(label_text(laWelcomeTop), "Welcome to the \"Quorvanta Test\" setup program.");
    const std::string atCreation = label_text(laWelcomeMiddle);
    EXPECT_NE(atCreation.find("Pellura"), std::string::npos) << atCreation;

    XtManageChild(box);
    ASSERT_TRUE(qvtest::wait_mapped(box));
    EXPECT_EQ(window_title(shell), "Quorvanta Test setup");
    EXPECT_FALSE(managed(box_child(box, XmDIALOG_HELP_BUTTON)));
    EXPECT_EQ(label_text(box_child(box, XmDIALOG_OK_BUTTON)), "Continue");
    EXPECT_EQ(label_text(box_child(box, XmDIALOG_CANCEL_BUTTON)), "Exit Setup");

    // The notice the user reads: eight lines, the second and sixth empty,
    // the edition replaced by "this software".
    const std::string notice = label_text(laWelcomeMiddle);
    EXPECT_EQ(notice.find("Pellura"), std::string::npos) << notice;
    EXPECT_NE(notice.find("this software"), std::string::npos) << notice;
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    for (auto nl = notice.find('\n'); nl != std::string::npos; nl = notice.find('\n', start)) {
        lines.push_back(notice.substr(start, nl - start));
        start = nl + 1;
    }
    lines.push_back(notice.substr(start));
    ASSERT_EQ(lines.size(), 8u) << notice;
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].empty(), i == 1 || i == 5) << "line " << i + 1 << ": " << lines[i];

    EXPECT_GT(qvtest::image_colours(qvtest::screenshot("welcome_dialog")), 2);
}

TEST_F(WelcomeTest, ContinueReplacesTheWelcomeByTheAgreement)
{
    qvtest::write_file(medium.eula(), "TERMS\n\nA line long enough to be wrapped by the text widget of the agreement "
                                      "dialog, which shows the file as it stands.\n");
    Widget box = CreatembWelcome(mainShell());
    XtManageChild(box);
    ASSERT_TRUE(qvtest::wait_mapped(box));

    press_box(box, XmDIALOG_OK_BUTTON);
    qvtest::pump(50);
    EXPECT_EQ(find("*xmDialogShell"), nullptr) << "the welcome dialog is still there";

    Widget eula = find("*mbEULA");
    ASSERT_NE(eula, nullptr);
    ASSERT_TRUE(qvtest::wait_mapped(eula));
    EXPECT_EQ(QV_instGetTLShell(eula), mainShell());
    EXPECT_STREQ(XtName(XtParent(eula)), "dsEULA");
    EXPECT_EQ(window_title(eula), "End User License Agreement");
    EXPECT_EQ(label_text(box_child(eula, XmDIALOG_OK_BUTTON)), "I ACCEPT");
    EXPECT_EQ(label_text(box_child(eula, XmDIALOG_CANCEL_BUTTON)), "I DECLINE");
    EXPECT_FALSE(managed(box_child(eula, XmDIALOG_HELP_BUTTON)));
    EXPECT_FALSE(managed(box_child(eula, XmDIALOG_SEPARATOR)));

    EXPECT_EQ(qvtest::text_of(txEULA), qvtest::read_file(medium.eula()));
    Boolean editable = True;
    XtVaGetValues(txEULA, XmNeditable, &editable, nullptr);
    EXPECT_FALSE(editable);

    EXPECT_GT(qvtest::image_colours(qvtest::screenshot("agreement_dialog")), 2);
}

TEST_F(WelcomeTest, AnEmptyAgreementIsShownEmptyAndCanBeAccepted)
{
    qvtest::write_file(medium.eula(), "");
    Widget eula = CreatembEULA(mainShell());
    XtManageChild(eula);
    ASSERT_TRUE(qvtest::wait_mapped(eula));
    EXPECT_EQ(qvtest::text_of(txEULA), "");

    press_box(eula, XmDIALOG_OK_BUTTON);
    qvtest::pump(50);
    EXPECT_EQ(find("*dsEULA"), nullptr);
    Widget destination = find("*mbChangeDestination");
    ASSERT_NE(destination, nullptr);
    EXPECT_TRUE(XtIsManaged(destination));
    EXPECT_EQ(QV_instGetTLShell(destination), mainShell());
}

TEST_F(WelcomeTest, DecliningEndsSetupWithZeroAtOnce)
{
    qvtest::write_file(medium.eula(), "terms\n");
    EXPECT_EXIT(
        {
            Widget eula = CreatembEULA(mainShell());
            XtManageChild(eula);
            qvtest::wait_mapped(eula);
            press_box(eula, XmDIALOG_CANCEL_BUTTON);
            std::fputs("still running\n", stderr);
            std::exit(3);
        },
        ::testing::ExitedWithCode(0), "^$");
}

TEST_F(WelcomeTest, AnUnreadableAgreementEndsSetupWithOne)
{
    // No eula.txt on the medium.
    EXPECT_EXIT(
        {
            qvtest::when_found("*mbOkCancel", [](Widget box) {
                std::fprintf(stderr, "[%s][%s][%d]\n", label_text(box_child(box, XmDIALOG_MESSAGE_LABEL)).c_str(),
                             label_text(box_child(box, XmDIALOG_OK_BUTTON)).c_str(),
                             managed(box_child(box, XmDIALOG_CANCEL_BUTTON)));
                press_box(box, XmDIALOG_OK_BUTTON);
            });
            XtManageChild(CreatembEULA(mainShell()));
            XtAppMainLoop(app());
        },
        ::testing::ExitedWithCode(1), "\\[Error: could not read <[^>]*/cd/SetupFiles/eula.txt>\\]\\[Exit setup\\]\\[0\\]");
}

TEST_F(WelcomeTest, ExitAsksFirstAndResumeLeavesTheWelcomeAsItWas)
{
    Widget box = CreatembWelcome(mainShell());
    XtManageChild(box);
    ASSERT_TRUE(qvtest::wait_mapped(box));
    const std::string before = label_text(laWelcomeMiddle);

    bool asked = false;
    qvtest::when_found("*mbExitSetup", [&](Widget question) {
        asked = true;
        Widget shell = XtParent(question);
        EXPECT_STREQ(XtName(shell), "Quorvanta Test setup");
        EXPECT_EQ(window_title(shell), "Quorvanta Test setup");
        EXPECT_EQ(XtParent(shell), XtParent(box)) << "the question belongs to the welcome dialog's shell";
        EXPECT_EQ(label_text(box_child(question, XmDIALOG_MESSAGE_LABEL)),
                  "Are you sure you want to Exit?\nSetup has not yet modified any files.");
        EXPECT_EQ(label_text(box_child(question, XmDIALOG_OK_BUTTON)), "Resume Setup");
        EXPECT_EQ(label_text(box_child(question, XmDIALOG_CANCEL_BUTTON)), "Exit Setup");
        EXPECT_FALSE(managed(box_child(question, XmDIALOG_HELP_BUTTON)));
        EXPECT_FALSE(managed(box_child(question, XmDIALOG_SEPARATOR)));
        qvtest::screenshot("exit_confirmation");
        press_box(question, XmDIALOG_OK_BUTTON);
    });
    press_box(box, XmDIALOG_CANCEL_BUTTON); // returns once the user resumed
    EXPECT_TRUE(asked);
    qvtest::pump(50);
    EXPECT_EQ(find("*mbExitSetup"), nullptr);
    EXPECT_TRUE(XtIsManaged(box));
    EXPECT_EQ(label_text(laWelcomeMiddle), before);
}

TEST_F(WelcomeTest, TheConfirmationWithoutExtraTextOnlyAsks)
{
    std::string message;
    qvtest::when_found("*mbExitSetup", [&](Widget question) {
        message = label_text(box_child(question, XmDIALOG_MESSAGE_LABEL));
        press_box(question, XmDIALOG_OK_BUTTON);
    });
    EXPECT_EQ(QV_exitSetupConfirmation(mainShell(), nullptr, ""), 1);
    EXPECT_EQ(message, "Are you sure you want to Exit?\n");
}

TEST_F(WelcomeTest, ExitSetupThenOkEndsSetupWithTen)
{
    EXPECT_EXIT(
        {
            Widget box = CreatembWelcome(mainShell());
            XtManageChild(box);
            qvtest::when_found("*mbExitSetup", [](Widget question) { press_box(question, XmDIALOG_CANCEL_BUTTON); });
            qvtest::when_found("*mbExitSetupFinish", [](Widget finish) {
                std::fprintf(stderr, "[%s][%s][%d%d%d][%s]\n",
                             label_text(box_child(finish, XmDIALOG_MESSAGE_LABEL)).c_str(),
                             label_text(box_child(finish, XmDIALOG_OK_BUTTON)).c_str(),
                             managed(box_child(finish, XmDIALOG_CANCEL_BUTTON)),
                             managed(box_child(finish, XmDIALOG_HELP_BUTTON)),
                             managed(box_child(finish, XmDIALOG_SEPARATOR)), XtName(XtParent(finish)));
                // Both boxes are up until OK.
                std::fprintf(stderr, "confirmation %s\n", managed(find("*mbExitSetup")) ? "up" : "gone");
                press_box(finish, XmDIALOG_OK_BUTTON);
            });
            press_box(box, XmDIALOG_CANCEL_BUTTON);
            std::fputs("returned\n", stderr);
        },
        ::testing::ExitedWithCode(10),
        "\\[ Setup was interrupted before your\nnew software was fully installed\\]\\[OK\\]\\[000\\]"
        "\\[Quorvanta Test setup\\]\nconfirmation up\n$");
}

// The interruption box grows beyond its given 244 pixels as far as its
// text needs: the first line is not cut after "before you".
TEST_F(WelcomeTest, TheInterruptionBoxShowsItsWholeText)
{
    EXPECT_EXIT(
        {
            qvtest::when_found("*mbExitSetup", [](Widget question) { press_box(question, XmDIALOG_CANCEL_BUTTON); });
            qvtest::when_found("*mbExitSetupFinish", [](Widget finish) {
                qvtest::wait_mapped(finish);
                Widget label = box_child(finish, XmDIALOG_MESSAGE_LABEL);
                Position x = 0;
                Dimension width = 0, boxWidth = 0, shellWidth = 0;
                XmFontList fonts = nullptr;
                XmString text = nullptr;
                XtVaGetValues(label, XmNx, &x, XmNwidth, &width, XmNfontList, &fonts, XmNlabelString, &text, nullptr);
                XtVaGetValues(finish, XmNwidth, &boxWidth, nullptr);
                XtVaGetValues(XtParent(finish), XmNwidth, &shellWidth, nullptr);
                const Dimension needed = XmStringWidth(fonts, text);
                XmStringFree(text);
                std::fprintf(stderr, "%s\n", width >= needed && x + width <= boxWidth && boxWidth <= shellWidth
                                                 ? "fits"
                                                 : "cut");
                press_box(finish, XmDIALOG_OK_BUTTON);
            });
            QV_exitSetupConfirmation(mainShell(), "Setup has not yet modified any files.", "");
        },
        ::testing::ExitedWithCode(10), "^fits\n$");
}

TEST_F(WelcomeTest, TheExitDialogsForModulesAreBuiltComplete)
{
    Widget complete = CreatembExitSetupComplete(mainShell());
    ASSERT_NE(complete, nullptr);
    EXPECT_STREQ(XtName(complete), "mbExitSetupComplete");
    EXPECT_STREQ(XtName(XtParent(complete)), "Quorvanta Test setup");
    XtManageChild(complete);
    ASSERT_TRUE(qvtest::wait_mapped(complete));
    press_box(complete, XmDIALOG_OK_BUTTON); // does nothing
    qvtest::pump(20);
    EXPECT_TRUE(XtIsManaged(complete));
    XtDestroyWidget(XtParent(complete));

    Widget holder = XtVaCreatePopupShell("dsExit", xmDialogShellWidgetClass, mainShell(), nullptr);
    Widget form = CreatefoExit(holder);
    ASSERT_NE(form, nullptr);
    EXPECT_STREQ(XtName(form), "foExit");
    EXPECT_FALSE(XtIsManaged(form));
    EXPECT_EQ(label_text(find(form, "*laExitStatus")), "Setup status");
    EXPECT_EQ(label_text(find(form, "*laExitMessage")), "Are you sure you want to Exit?");
    EXPECT_EQ(label_text(find(form, "*pbExitExit")), "Exit Setup");
    EXPECT_EQ(label_text(find(form, "*pbExitResume")), "Resume Setup");
    Pixmap picture = XmUNSPECIFIED_PIXMAP;
    XtVaGetValues(find(form, "*laExitPicture"), XmNlabelPixmap, &picture, nullptr);
    ASSERT_NE(picture, static_cast<Pixmap>(XmUNSPECIFIED_PIXMAP));
    Window rootWindow;
    int x, y;
    unsigned width = 0, height = 0, border, depth;
    XGetGeometry(display(), picture, &rootWindow, &x, &y, &width, &height, &border, &depth);
    EXPECT_EQ(width, 64u);
    EXPECT_EQ(height, 64u);
    XtManageChild(form);
    ASSERT_TRUE(qvtest::wait_mapped(form));
    qvtest::screenshot("exit_form");
    XtDestroyWidget(holder);
}

} // namespace
