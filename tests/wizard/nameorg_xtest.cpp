// The name/organisation and reseller dialogs on a real display: entry, the
// required name, the confirmation boxes and Change, the values kept in the
// information files (in a scratch folder) and read back into fresh
// dialogs, and planted files left alone.
#include "support/xfixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <Xm/MessageB.h>
#include <Xm/TextF.h>

#include <initializer_list>
#include <string>
#include <utility>

#include "support/testutil.h"
#include "wizard/glue.h"
#include "wizard/infofile.h"
#include "wizard_medium.h"

namespace {

using qvtest::box_child;
using qvtest::find;
using qvtest::label_text;
using qvtest::press_box;
using qvtest::read_file;
using qvtest::write_file;
using qvtest::managed;
using qvtest::text_of;
using qvtest::window_title;

// Each named label below root shows its text.
void expect_labels(Widget root, std::initializer_list<std::pair<const char *, const char *>> labels)
{
    for (const auto &[name, text] : labels)
        EXPECT_EQ(label_text(find(root, name)), text) << name;
}

constexpr const char kCheckValues[] = "Confirm that the information you entered is correct. If it is,\n"
                                      "click OK. To change any of the information, click Change.\n";

void type(Widget field, const std::string &text)
{
    XmTextFieldSetString(field, const_cast<char *>(text.c_str()));
}

class NameOrgTest : public qvtest::XTest {
protected:
    void SetUp() override
    {
        XTest::SetUp();
        medium.load_simple();
        saved = qv::info_file_folder();
        qv::info_file_folder() = scratch.path();
    }
    void TearDown() override
    {
        XTest::TearDown();
        qv::info_file_folder() = saved;
    }

    std::string userFile() const { return scratch / qv::kUserInfoFile; }
    std::string resellerFile() const { return scratch / qv::kResellerInfoFile; }

    Widget open_name_dialog()
    {
        Widget box = CreatembNameOrg(mainShell());
        XtManageChild(box);
        EXPECT_TRUE(qvtest::wait_mapped(box));
        return box;
    }

    // Presses OK on the entry dialog and returns the confirmation box.
    Widget confirm(Widget entry, const char *boxName)
    {
        press_box(entry, XmDIALOG_OK_BUTTON);
        Widget box = find(boxName);
        EXPECT_TRUE(box && qvtest::wait_mapped(box)) << boxName;
        return box;
    }

    qvtest::WizardMedium medium;
    qvtest::ScratchDir scratch{"nameorg"};
    std::string saved;
};

TEST_F(NameOrgTest, TheNameDialogIsBuiltAndFilledFromTheUserFile)
{
    // A name too long for a fixed line buffer stays whole in its field.
    const std::string longName = " " + std::string(598, 'N') + " ";
    write_file(userFile(), longName + "\nLee & Co");

    Widget box = CreatembNameOrg(mainShell());
    ASSERT_NE(box, nullptr);
    EXPECT_STREQ(XtName(box), "mbNameOrg");
    Widget shell = XtParent(box);
    EXPECT_STREQ(XtName(shell), "dsNameOrg");
    EXPECT_EQ(window_title(shell), "QUORVANTA|Setup");
    EXPECT_FALSE(XtIsManaged(box));
    Dimension width = 0, height = 0;
    int inputMode = 0;
    XtVaGetValues(shell, XmNwidth, &width, XmNheight, &height, XmNmwmInputMode, &inputMode, nullptr);
    EXPECT_EQ(width, 422);
    EXPECT_EQ(height, 275);
    EXPECT_EQ(inputMode, 3) << "full application modal";
    expect_labels(box, {{"*laNameOrgName", "Name:"}, {"*laNameOrgOrg", "Organization:"}});
    EXPECT_EQ(label_text(find(box, "*laNameOrg")),
              "Enter your full name in the box below. You may also enter\n"
              "the name of your organization. Setup will use this information\n"
              "for subsequent installations of the product.");
    EXPECT_EQ(find(box, "*txNameOrgName"), txNameOrgName);
    EXPECT_EQ(find(box, "*txNameOrgOrg"), txNameOrgOrg);

    XtManageChild(box);
    ASSERT_TRUE(qvtest::wait_mapped(box));
    EXPECT_EQ(window_title(shell), "Quorvanta Test setup");
    EXPECT_EQ(label_text(box_child(box, XmDIALOG_OK_BUTTON)), "OK");
    EXPECT_EQ(label_text(box_child(box, XmDIALOG_CANCEL_BUTTON)), "Exit Setup");
    EXPECT_FALSE(managed(box_child(box, XmDIALOG_HELP_BUTTON)));
    EXPECT_FALSE(managed(box_child(box, XmDIALOG_SEPARATOR)));
    EXPECT_EQ(text_of(txNameOrgName), longName);
    EXPECT_EQ(text_of(txNameOrgOrg), "Lee & Co");

    type(txNameOrgName, "Ann Lee");
    EXPECT_GT(qvtest::image_colours(qvtest::screenshot("nameorg_dialog")), 2);
}

TEST_F(NameOrgTest, ANameOfBlanksIsRefusedAndTheDialogStays)
{
    Widget box = open_name_dialog();
    for (const char *blank : {"", " ", " \t  \t"}) {
        type(txNameOrgName, blank);
        type(txNameOrgOrg, "Lee & Co");
        std::string said = "<no box>";
        qvtest::when_found("*mbOkCancel", [&](Widget ok) {
            said = label_text(box_child(ok, XmDIALOG_MESSAGE_LABEL));
            EXPECT_EQ(label_text(box_child(ok, XmDIALOG_OK_BUTTON)), "OK");
            EXPECT_FALSE(managed(box_child(ok, XmDIALOG_CANCEL_BUTTON)));
            EXPECT_EQ(QV_instGetShell(XtParent(ok)) ? XtParent(XtParent(ok)) : nullptr, XtParent(box));
            press_box(ok, XmDIALOG_OK_BUTTON);
        });
        press_box(box, XmDIALOG_OK_BUTTON);
        EXPECT_EQ(said, "A name is required") << "name [" << blank << "]";
        qvtest::pump(20);
        EXPECT_EQ(find("*mbNameOrgConfirm"), nullptr) << "name [" << blank << "]";
        EXPECT_EQ(text_of(txNameOrgOrg), "Lee & Co");
    }
    EXPECT_FALSE(qvtest::exists(userFile()));
}

TEST_F(NameOrgTest, TheConfirmationShowsTheValuesAndChangeGoesBack)
{
    Widget box = open_name_dialog();
    type(txNameOrgName, "  A  ");
    type(txNameOrgOrg, "");
    Widget confirmation = confirm(box, "*mbNameOrgConfirm");
    ASSERT_NE(confirmation, nullptr);
    Widget confirmShell = XtParent(confirmation);
    EXPECT_STREQ(XtName(confirmShell), "dsNameOrgConfirm");
    EXPECT_EQ(XtParent(confirmShell), XtParent(box)) << "the confirmation belongs to the entry dialog's shell";
    EXPECT_EQ(window_title(confirmShell), "Quorvanta Test setup");
    unsigned char style = 0;
    XtVaGetValues(confirmation, XmNdialogStyle, &style, nullptr);
    EXPECT_EQ(style, XmDIALOG_FULL_APPLICATION_MODAL);
    EXPECT_EQ(label_text(box_child(confirmation, XmDIALOG_OK_BUTTON)), "OK");
    EXPECT_EQ(label_text(box_child(confirmation, XmDIALOG_CANCEL_BUTTON)), "Change");
    EXPECT_FALSE(managed(box_child(confirmation, XmDIALOG_HELP_BUTTON)));
    EXPECT_FALSE(managed(box_child(confirmation, XmDIALOG_SEPARATOR)));
    expect_labels(confirmation,
                  {{"*laNameOrg1", kCheckValues}, {"*laNameOrgName2", "Name:"}, {"*laNameOrgOrg1", "Organization:"}});
    EXPECT_EQ(label_text(laNameOrgConfirmName), "  A  ");
    EXPECT_EQ(label_text(laNameOrgConfirmOrg), "");
    EXPECT_TRUE(managed(box)) << "the entry dialog stays beneath";
    EXPECT_GT(qvtest::image_colours(qvtest::screenshot("nameorg_confirmation")), 2);

    press_box(confirmation, XmDIALOG_CANCEL_BUTTON);
    qvtest::pump(50);
    EXPECT_EQ(find("*mbNameOrgConfirm"), nullptr);
    EXPECT_EQ(laNameOrgConfirmName, nullptr);
    EXPECT_EQ(text_of(txNameOrgName), "  A  ");
    EXPECT_FALSE(qvtest::exists(userFile())) << "Change stores nothing";

    // OK again builds a fresh box with the changed values.
    type(txNameOrgName, "Ann");
    Widget again = confirm(box, "*mbNameOrgConfirm");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(label_text(laNameOrgConfirmName), "Ann");
}

TEST_F(NameOrgTest, ConfirmingStoresTheTypedValuesAndOpensTheResellerDialog)
{
    write_file(resellerFile(), "Shop\n555-0100\n");
    Widget box = open_name_dialog();
    // Shown as compound-string syntax, stored as typed.
    type(txNameOrgName, "::\"Ann\"");
    type(txNameOrgOrg, " Lee & Co ");
    Widget confirmation = confirm(box, "*mbNameOrgConfirm");
    ASSERT_NE(confirmation, nullptr);
    EXPECT_EQ(label_text(laNameOrgConfirmName), "Ann");

    const mode_t old = umask(0);
    press_box(confirmation, XmDIALOG_OK_BUTTON);
    umask(old);
    qvtest::pump(50);
    EXPECT_EQ(read_file(userFile()), "::\"Ann\"\n Lee & Co \n");
    struct stat st {};
    ASSERT_EQ(stat(userFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(find("*dsNameOrg"), nullptr);
    EXPECT_EQ(txNameOrgName, nullptr);

    Widget reseller = find("*mbReseller");
    ASSERT_NE(reseller, nullptr);
    ASSERT_TRUE(qvtest::wait_mapped(reseller));
    Widget shell = XtParent(reseller);
    EXPECT_STREQ(XtName(shell), "dsReseller");
    EXPECT_EQ(XtParent(shell), mainShell());
    EXPECT_EQ(window_title(shell), "Quorvanta|QVR setup") << "the reseller dialog keeps its own title";
    int inputMode = 0;
    XtVaGetValues(shell, XmNmwmInputMode, &inputMode, nullptr);
    EXPECT_EQ(inputMode, 3) << "full application modal";
    EXPECT_FALSE(managed(box_child(reseller, XmDIALOG_HELP_BUTTON)));
    EXPECT_EQ(label_text(box_child(reseller, XmDIALOG_CANCEL_BUTTON)), "Exit Setup");
    EXPECT_EQ(label_text(find(reseller, "*laReseller")),
              "Information about your Reseller or Dealer:\n\n"
              "Information entered in these fields will appear in the\n"
              "'About QVR' box. Should you encounter problems with\n"
              "QVR, you will want this information close at hand.");
    expect_labels(reseller,
                  {{"*laResellerName", "Name:"}, {"*laResellerPhone", "Phone:"}, {"*laResellerEmail", "Email:"}});
    EXPECT_EQ(text_of(txResellerName), "Shop");
    EXPECT_EQ(text_of(txResellerPhone), "555-0100");
    EXPECT_EQ(text_of(txResellerEmail), "");
    EXPECT_GT(qvtest::image_colours(qvtest::screenshot("reseller_dialog")), 2);

    // The next run fills the name dialog with what was stored.
    XtDestroyWidget(shell);
    open_name_dialog();
    EXPECT_EQ(text_of(txNameOrgName), "::\"Ann\"");
    EXPECT_EQ(text_of(txNameOrgOrg), " Lee & Co ");
}

TEST_F(NameOrgTest, TheResellerNeedsNoValuesAndIsStoredOnConfirmation)
{
    Widget box = CreatembReseller(mainShell());
    XtManageChild(box);
    ASSERT_TRUE(qvtest::wait_mapped(box));
    EXPECT_EQ(text_of(txResellerName), "") << "no file: empty fields";

    Widget confirmation = confirm(box, "*mbResellerConfirm");
    ASSERT_NE(confirmation, nullptr);
    EXPECT_STREQ(XtName(XtParent(confirmation)), "dsResellerConfirm");
    EXPECT_EQ(XtParent(XtParent(confirmation)), XtParent(box));
    EXPECT_EQ(window_title(confirmation), "Quorvanta Test setup");
    expect_labels(confirmation, {{"*laReseller1", kCheckValues},
                                 {"*laResellerName2", "Name:"},
                                 {"*laResellerPhone1", "Phone:"},
                                 {"*laResellerEmail1", "Email:"}});
    EXPECT_EQ(label_text(laResellerConfirmName), "");
    press_box(confirmation, XmDIALOG_CANCEL_BUTTON);
    qvtest::pump(50);
    EXPECT_EQ(find("*mbResellerConfirm"), nullptr);

    type(txResellerName, "Shop");
    type(txResellerEmail, "sales@shop.example");
    confirmation = confirm(box, "*mbResellerConfirm");
    ASSERT_NE(confirmation, nullptr);
    EXPECT_EQ(label_text(laResellerConfirmName), "Shop");
    EXPECT_EQ(label_text(laResellerConfirmPhone), "");
    EXPECT_EQ(label_text(laResellerConfirmEmail), "sales@shop.example");
    EXPECT_GT(qvtest::image_colours(qvtest::screenshot("reseller_confirmation")), 2);

    press_box(confirmation, XmDIALOG_OK_BUTTON);
    qvtest::pump(50);
    EXPECT_EQ(read_file(resellerFile()), "Shop\n\nsales@shop.example\n");
    EXPECT_EQ(find("*dsReseller"), nullptr);
    Widget destination = find("*mbChangeDestination");
    ASSERT_NE(destination, nullptr);
    EXPECT_TRUE(XtIsManaged(destination));
    EXPECT_EQ(QV_instGetTLShell(destination), mainShell());
}

TEST_F(NameOrgTest, ExitSetupAsksAndResumeLeavesEitherDialogAsItWas)
{
    for (Widget (*create)(Widget) : {CreatembNameOrg, CreatembReseller}) {
        Widget box = create(mainShell());
        XtManageChild(box);
        ASSERT_TRUE(qvtest::wait_mapped(box));
        std::string asked;
        qvtest::when_found("*mbExitSetup", [&](Widget question) {
            asked = label_text(box_child(question, XmDIALOG_MESSAGE_LABEL));
            EXPECT_EQ(XtParent(XtParent(question)), XtParent(box));
            press_box(question, XmDIALOG_OK_BUTTON);
        });
        press_box(box, XmDIALOG_CANCEL_BUTTON);
        EXPECT_EQ(asked, "Are you sure you want to Exit?\nSetup has not yet modified any files") << XtName(box);
        qvtest::pump(20);
        EXPECT_TRUE(XtIsManaged(box));
        XtDestroyWidget(XtParent(box));
    }
}

TEST_F(NameOrgTest, APlantedLinkIsNeitherReadNorWrittenThrough)
{
    const std::string victim = scratch / "victim";
    write_file(victim, "root:secret\n");
    ASSERT_EQ(symlink(victim.c_str(), userFile().c_str()), 0);

    Widget box = open_name_dialog();
    EXPECT_EQ(text_of(txNameOrgName), "") << "the link was followed";
    type(txNameOrgName, "Ann");
    Widget confirmation = confirm(box, "*mbNameOrgConfirm");
    ASSERT_NE(confirmation, nullptr);
    press_box(confirmation, XmDIALOG_OK_BUTTON);
    qvtest::pump(50);
    EXPECT_EQ(read_file(victim), "root:secret\n");
    char target[256] = {};
    EXPECT_GT(readlink(userFile().c_str(), target, sizeof target - 1), 0) << "the link was replaced";
    EXPECT_NE(find("*mbReseller"), nullptr) << "the wizard goes on";
}

} // namespace
