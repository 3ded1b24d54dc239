// Preferences migration from start to end on a private X server: the
// migration dialog records the request and starts the installation, the
// installation puts the product's qvr stand-in in place, and the end of
// setup runs it on the chosen folder. Setup ends the process, so the road
// runs in a child test process, which reports what it found on its way out.
#include "support/xfixture.h"

#include <Xm/MessageB.h>
#include <Xm/ToggleB.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "e2e/medium.h"
#include "support/testutil.h"
#include "wizard/glue.h"
#include "wizard/wizard_medium.h"

namespace {

std::string g_product; // the installed product folder, for the report at exit

void report_installed_files()
{
    const auto args = qvtest::try_read_file(g_product + "/Data/qvr-args");
    const auto prefs = qvtest::try_read_file(g_product + "/Data/Preferences/cpm.cpm");
    std::fprintf(stderr, "qvr args [%s] preferences [%s]\n", args ? args->c_str() : "<none>",
                 prefs ? prefs->c_str() : "<none>");
}

// Answers every message box with its first button and tells its text.
void answer_boxes()
{
    if (Widget box = qvtest::find("*mbOkCancel"); box && XtIsManaged(box)) {
        std::fprintf(stderr, "box [%s]\n",
                     qvtest::label_text(qvtest::box_child(box, XmDIALOG_MESSAGE_LABEL)).c_str());
        qvtest::press_box(box, XmDIALOG_OK_BUTTON);
    }
    qvtest::after(50, answer_boxes);
}

class MigrationRoad : public qvtest::XTest {
protected:
    void SetUp() override
    {
        XTest::SetUp();
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        const std::string qvr = qvtest::read_file(qvtest::harness("QV_DEMO_MEDIUM") + "/Application/bin/qvr");
        qvtest::write_file(medium.dir() + "/Application/bin/qvr", qvr, 0755);
        medium.load("Package \"core\" \"core\"\n"
                    "Copy \"Application/bin/qvr\" \"\" " + std::to_string(qvr.size()) + " 0755 0 0\n"
                    "Suite \"Main\" core\n"
                    "ConfigBegin\n"
                    "1 MainDlg \"Test\" \"\" \"\" 3\n"
                    "3 Suite \"Main\" \"\" \"\" 1\n"
                    "ConfigEnd\n",
                    "NoDisplayLog\n");
        ASSERT_EQ(QV_instSetSizes(CDInstPtr), 0);
        SetConfigToInstall(QV_instGetConfigFromId(CDInstPtr, 3));
        g_product = medium.root() + "/QvTest";
        qvtest::make_dirs(home);
        setenv("HOME", home.c_str(), 1);
        qvtest::write_file(home + "/Quorvanta/2.1 old/Data/Preferences/cpm.cpm", "colours=dark\n");
    }

    // Opens the migration dialog, sets "Migrate" as asked and clicks "Ok";
    // setup ends the process at the end of the installation.
    void install(bool migrate)
    {
        std::atexit(report_installed_files);
        Widget form = CreatemigrationDlg(mainShell());
        XtManageChild(form);
        qvtest::wait_mapped(form);
        XmToggleButtonSetState(toggleButtonMigrate, migrate ? True : False, True);
        answer_boxes();
        qvtest::press(qvtest::find(form, "*pushButtonOk"));
        XtAppMainLoop(app());
    }

    qvtest::WizardMedium medium;
    std::string home = medium.dir() + "/../home";
};

TEST_F(MigrationRoad, TheChosenPreferencesAreMigratedAfterTheInstallation)
{
    EXPECT_EXIT(install(true), ::testing::ExitedWithCode(0),
                "box \\[Preferences migrated successfully.\n\\]\n"
                "box \\[Setup completed successfully\n\\]\n"
                "qvr args \\[-migrate\n[^\n]*/home/Quorvanta/2.1 old\n\\] preferences \\[colours=dark\n\\]\n$");
}

TEST_F(MigrationRoad, WithoutMigrateNothingIsMigrated)
{
    EXPECT_EXIT(install(false), ::testing::ExitedWithCode(0),
                "box \\[Setup completed successfully\n\\]\nqvr args \\[<none>\\] preferences \\[<none>\\]\n$");
}

} // namespace
