// The maintenance dialog on a real display: what it shows, "Add/Remove..."
// opening the product's options list with the installed components chosen,
// "Remove all" and its confirmation, the Reinstall action, and the two
// walks that set states below a configuration.
#include "options_fixture.h"

#include <Xm/ToggleB.h>

#include <string>

namespace {

using qvtest::box_child;
using qvtest::find;
using qvtest::label_text;
using qvtest::press;
using qvtest::press_box;
using qvtest::window_title;

// List 2 holds two suites, an id that names nothing (9) and a sub-group;
// the ids after its 0 are never looked at.
constexpr const char kDescription[] = "Package \"core\" \"core\"\nMkdir \"bin\" 0755 0 0\n"
                                      "Package \"docs\" \"docs\"\nMkdir \"doc\" 0755 0 0\n"
                                      "Package \"extra\" \"extra\"\nMkdir \"extra\" 0755 0 0\n"
                                      "Suite \"Core\" core\nSuite \"Docs\" docs\nSuite \"Extra\" extra\n"
                                      "ConfigBegin\n"
                                      "1 MainDlg \"Top\" \"\" \"\" 2\n"
                                      "2 CusDlg \"Maintain\" \"All of it\" \"\" 1 3 4 9 5 0 6\n"
                                      "3 Suite \"Core\" \"The program\" \"\" 1\n"
                                      "4 Suite \"Docs\" \"The manual\" \"\" 0\n"
                                      "5 CusDlg \"Extras\" \"More\" \"\" 0 7\n"
                                      "6 Suite \"Extra\" \"Never listed\" \"\" 1\n"
                                      "7 Suite \"Extra\" \"Extra files\" \"\" 1\n"
                                      "ConfigEnd\n";

class MaintenanceTest : public qvtest::OptionsFixture {
protected:
    void SetUp() override
    {
        XTest::SetUp();
        start(kDescription);
    }

    // The maintenance dialog as start-up shows it.
    Widget open()
    {
        Widget box = CreatembMaintenance(mainShell());
        QV_DisableAddButtonIfNecessary();
        XtManageChild(box);
        EXPECT_TRUE(qvtest::wait_mapped(box));
        return box;
    }
};

Dimension width_of(Widget w)
{
    Dimension width = 0;
    XtVaGetValues(w, XmNwidth, &width, nullptr);
    return width;
}

TEST_F(MaintenanceTest, OffersAddRemoveAndRemoveAllForTheProduct)
{
    Widget box = CreatembMaintenance(mainShell());
    EXPECT_EQ(box, mbMaintenance);
    EXPECT_STREQ(XtName(box), "mbMaintenance");
    EXPECT_STREQ(XtName(XtParent(box)), "dsMaintenance");
    EXPECT_EQ(window_title(box), "QUORVANTA|Setup");
    EXPECT_FALSE(XtIsManaged(box));
    EXPECT_EQ(label_text(laMaintenanceWelcome), "Welcome to the Quorvanta Test installation maintenance program.");
    EXPECT_EQ(label_text(find(box, "*label1")),
              "This program lets you make changes to the current installation. Click one\nof the following options:");
    EXPECT_EQ(label_text(pbMaintenanceAddRemove), "Add/Remove...");
    EXPECT_EQ(label_text(find(box, "*rcMaintenanceAddRemove.rowColumn4.label")),
              "Add new components or remove installed \ncomponents from the current installation.");
    EXPECT_EQ(XtParent(pbMaintenanceAddRemove), rcMaintenanceAddRemove);
    EXPECT_EQ(label_text(pbMaintenanceRemoveall), "Remove all");
    EXPECT_EQ(label_text(find(box, "*rowColumn3.rowColumn6.label3")), "Remove all previous installed components\n");
    EXPECT_EQ(label_text(box_child(box, XmDIALOG_CANCEL_BUTTON)), "Exit Setup");

    XtManageChild(box);
    ASSERT_TRUE(qvtest::wait_mapped(box));
    EXPECT_EQ(window_title(box), "Quorvanta Test setup");
    EXPECT_FALSE(XtIsManaged(box_child(box, XmDIALOG_OK_BUTTON)));
    EXPECT_FALSE(XtIsManaged(box_child(box, XmDIALOG_HELP_BUTTON)));
    EXPECT_EQ(width_of(pbMaintenanceAddRemove), width_of(pbMaintenanceRemoveall));
    EXPECT_TRUE(XtIsSensitive(pbMaintenanceAddRemove));
    EXPECT_GT(qvtest::image_colours(qvtest::screenshot("maintenance_dialog")), 2);

    // The dialog gone, the run stays a maintenance run.
    XtDestroyWidget(XtParent(box));
    EXPECT_NE(mbMaintenance, nullptr);
    EXPECT_EQ(pbMaintenanceAddRemove, nullptr);
}

TEST_F(MaintenanceTest, AddRemoveOpensTheListWithWhatIsInstalledChosen)
{
    // As the history reader leaves it: nothing chosen, then what is installed.
    QV_instResetAllConfig(CDInstPtr, config(2), QV_instStateOff);
    config(3)->selected = 1;
    config(3)->installed = 1; // Core installed and chosen
    config(4)->installed = 1; // Docs installed, not chosen
    config(4)->selected = 0;
    config(5)->installed = 0; // Extras neither
    config(5)->selected = 1;
    const qvtest::DestroyWatch boxWatch(open());
    press(pbMaintenanceAddRemove);

    EXPECT_EQ(QV_instInstallationMode, 1);
    EXPECT_EQ(config(3)->selected, 1);
    EXPECT_EQ(config(4)->selected, 1);
    EXPECT_EQ(config(5)->selected, 0);
    EXPECT_EQ(config(6)->selected, 1) << "ids after the end of the list are not looked at";
    EXPECT_EQ(find("*dsMaintenance"), nullptr);
    EXPECT_NE(mbMaintenance, nullptr) << "still marks the maintenance run";

    ASSERT_NE(mbCustom, nullptr);
    ASSERT_TRUE(qvtest::wait_mapped(mbCustom));
    EXPECT_EQ(QV_InstGetLastConfig(), config(2));
    EXPECT_EQ(config(2)->parent, nullptr) << "nothing was current at start-up";
    EXPECT_TRUE(XtIsManaged(foCustomComponentCount));
    Widget core = find(rcCustomOptions, "*foCustomOptionsItem.tbCustomItem");
    ASSERT_NE(core, nullptr);
    EXPECT_TRUE(XmToggleButtonGetState(core));
    EXPECT_EQ(label_text(laCustomRequiredValue1), "0");
    EXPECT_EQ(label_text(laCustomAvailableValue1), "0");
    qvtest::screenshot("maintenance_add_remove");

    // Cancel leads back to a new maintenance dialog (the Add/Remove rule
    // is not applied there).
    press_box(mbCustom, XmDIALOG_CANCEL_BUTTON);
    Widget again = find("*mbMaintenance");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again, mbMaintenance);
    EXPECT_TRUE(boxWatch.destroyed()) << "the first dialog is gone, not shown again";
    EXPECT_TRUE(qvtest::wait_mapped(again));
}

TEST_F(MaintenanceTest, AddRemoveWithoutAListToMaintainSaysSoAndStays)
{
    medium.load("Package \"core\" \"core\"\nMkdir \"bin\" 0755 0 0\nSuite \"Core\" core\n"
                "ConfigBegin\n1 MainDlg \"Top\" \"\" \"\" 3\n3 Suite \"Core\" \"\" \"\" 1\nConfigEnd\n");
    Widget box = open();
    std::string message;
    qvtest::answer("*mbOkCancel", XmDIALOG_OK_BUTTON, &message);
    press(pbMaintenanceAddRemove);
    EXPECT_EQ(message, "Error: invalid or incomplete setup configuration file");
    EXPECT_TRUE(XtIsManaged(box));
    EXPECT_EQ(QV_instInstallationMode, 0);
}

TEST_F(MaintenanceTest, NoToRemoveAllChangesNothing)
{
    Widget box = open();
    std::string question;
    qvtest::when_found("*mbOkCancel", [&](Widget asking) {
        question = label_text(box_child(asking, XmDIALOG_MESSAGE_LABEL));
        EXPECT_EQ(label_text(box_child(asking, XmDIALOG_OK_BUTTON)), "Yes");
        EXPECT_EQ(label_text(box_child(asking, XmDIALOG_CANCEL_BUTTON)), "No");
        EXPECT_EQ(XtParent(XtParent(asking)), mainShell());
        qvtest::screenshot("maintenance_remove_all_question");
        press_box(asking, XmDIALOG_CANCEL_BUTTON);
    });
    press(pbMaintenanceRemoveall);
    EXPECT_EQ(question, "Remove all files - are you sure ?");
    EXPECT_TRUE(XtIsManaged(box));
    EXPECT_EQ(config(3)->selected, 1);
    EXPECT_EQ(config(2)->installed, 0);
}

TEST_F(MaintenanceTest, RemoveAllWithoutAListToRemoveComesBackWithTheReason)
{
    medium.load("Package \"core\" \"core\"\nMkdir \"bin\" 0755 0 0\nSuite \"Core\" core\n"
                "ConfigBegin\n1 MainDlg \"Top\" \"\" \"\" 3\n3 Suite \"Core\" \"\" \"\" 1\nConfigEnd\n");
    const qvtest::DestroyWatch boxWatch(open());
    // The error box may take the freed confirmation's place in memory, so the
    // two are told apart by their texts, not by their addresses.
    const std::string question = "Remove all files - are you sure ?";
    bool asked = false;
    std::string message;
    qvtest::when_found("*mbOkCancel", [&](Widget asking) {
        asked = label_text(box_child(asking, XmDIALOG_MESSAGE_LABEL)) == question;
        press_box(asking, XmDIALOG_OK_BUTTON); // "Yes"
    });
    qvtest::when(
        [&] {
            Widget next = find("*mbOkCancel");
            return asked && next && XtIsManaged(next) &&
                   label_text(box_child(next, XmDIALOG_MESSAGE_LABEL)) != question;
        },
        [&] {
            Widget next = find("*mbOkCancel");
            message = label_text(box_child(next, XmDIALOG_MESSAGE_LABEL));
            press_box(next, XmDIALOG_OK_BUTTON);
        });
    qvtest::CaptureFd out(STDOUT_FILENO);
    qvtest::CaptureFd err(STDERR_FILENO);
    press(pbMaintenanceRemoveall);
    qvtest::pump(50);
    const std::string printed = out.finish();
    const std::string errors = err.finish();
    EXPECT_EQ(printed, "Error in SetSelectedFlafs\n");
    EXPECT_NE(errors.find("Invalid arguments to CommandLineInstall"), std::string::npos) << errors;
    EXPECT_EQ(message, "Error: invalid or incomplete setup configuration file");
    Widget again = find("*mbMaintenance");
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(boxWatch.destroyed()) << "a new dialog, not the first one shown again";
    EXPECT_TRUE(XtIsManaged(again));
}

TEST_F(MaintenanceTest, ExitSetupAsksAndResumeKeepsTheDialog)
{
    Widget box = open();
    std::string message;
    qvtest::answer("*mbExitSetup", XmDIALOG_OK_BUTTON, &message); // "Resume Setup"
    press_box(box, XmDIALOG_CANCEL_BUTTON);
    EXPECT_EQ(message, "Are you sure you want to Exit?\nSetup has not yet modified any files");
    EXPECT_TRUE(XtIsManaged(box));
}

TEST_F(MaintenanceTest, SelectedFlagsWalkDeselectsEverythingBelowAndMarksListsInstalled)
{
    for (int id : {2, 3, 4, 5, 7})
        config(id)->selected = 1;
    qvtest::CaptureFd out(STDOUT_FILENO);
    SetSelectedFlags(config(2), 0);
    SetSelectedFlags(nullptr, 0);
    EXPECT_EQ(out.finish(), "Error in SetSelectedFlafs\nError in SetSelectedFlafs\n") << "id 9, then NULL";
    for (int id : {2, 3, 4, 5, 7})
        EXPECT_EQ(config(id)->selected, 0) << id;
    EXPECT_EQ(config(2)->installed, 1);
    EXPECT_EQ(config(5)->installed, 1);
    EXPECT_EQ(config(3)->installed, 0) << "suites keep their installed state";
    EXPECT_EQ(config(6)->selected, 1) << "after the end of the list";
    for (_QV_InstSuiteList *suite = CDInstPtr->firstSuite; suite; suite = suite->next)
        EXPECT_EQ(suite->installed, 0) << suite->name;
}

TEST_F(MaintenanceTest, InstalledFlagsWalkMarksTheSuiteRecordsOnly)
{
    for (_QV_InstSuiteList *suite = CDInstPtr->firstSuite; suite; suite = suite->next)
        suite->installed = 1;
    qvtest::CaptureFd out(STDOUT_FILENO);
    SetInstalledFlags(config(2), 0);
    SetInstalledFlags(config(1), 0); // a menu: nothing
    EXPECT_EQ(out.finish(), "Error in SetInstalledFlags\n");
    EXPECT_EQ(QV_instGetSuiteFromName(CDInstPtr, "Core")->installed, 0);
    EXPECT_EQ(QV_instGetSuiteFromName(CDInstPtr, "Docs")->installed, 0);
    EXPECT_EQ(QV_instGetSuiteFromName(CDInstPtr, "Extra")->installed, 0) << "through the sub-group";
    for (int id : {2, 3, 4, 5, 7})
        EXPECT_EQ(config(id)->installed, 0) << id;
}

TEST_F(MaintenanceTest, WalksStopAfter256ChildIds)
{
    medium.load(qvtest::list_of_suites(257));
    SetSelectedFlags(config(2), 0);
    EXPECT_EQ(config(10 + 255)->selected, 0);
    EXPECT_EQ(config(10 + 256)->selected, 1) << "the 257th id is not kept";
}

} // namespace
