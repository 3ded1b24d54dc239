// The preferences migration run at the end of setup, with a stand-in for the
// installed product's migration tool that records how it was called.
#include "support/xfixture.h"

#include <Xm/MessageB.h>

#include <unistd.h>

#include <string>

#include "support/capture.h"
#include "wizard/glue.h"
#include "wizard/migration_state.h"
#include "wizard_medium.h"

namespace {

using qvtest::box_child;
using qvtest::label_text;
using qvtest::press_box;

class Migration : public qvtest::XTest {
protected:
    void SetUp() override
    {
        XTest::SetUp();
        medium.load_simple();
        destination = QV_instGetDestinationDirectory();
        qvtest::make_dirs(destination + "/Application/bin");
        // The tool writes its working folder and each argument on a line,
        // and ends with the status the test puts in "status".
        qvtest::write_file(destination + "/Application/bin/qvr",
                           "#!/bin/sh\npwd >> '" + calls + "'\nfor a in \"$@\"; do printf '<%s>\\n' \"$a\" >> '" +
                               calls + "'; done\nexit $(cat '" + status + "')\n",
                           0755);
        qvtest::write_file(status, "0");
    }
    void TearDown() override
    {
        qv::migration_request().requested = 0;
        qv::migration_request().source.reset();
        XTest::TearDown();
    }
    void arm(const std::string &source)
    {
        qv::migration_request().requested = 1;
        qv::migration_request().source.reset(strdup(source.c_str()));
    }
    // DoMigrate's answer; `said` receives its box's text.
    int migrate(std::string *said)
    {
        qvtest::when_found("*mbOkCancel", [said](Widget box) {
            *said = label_text(box_child(box, XmDIALOG_MESSAGE_LABEL));
            press_box(box, XmDIALOG_OK_BUTTON);
        });
        qvtest::CaptureFd out(STDOUT_FILENO);
        int result = DoMigrate(mainShell());
        printed = out.finish();
        return result;
    }
    std::string calls_made() const { return qvtest::try_read_file(calls).value_or(""); }

    qvtest::WizardMedium medium;
    qvtest::ScratchDir scratch{"migrate"};
    std::string calls = scratch / "calls";
    std::string status = scratch / "status";
    std::string destination;
    std::string printed;
};

TEST_F(Migration, NothingAskedNothingRun)
{
    EXPECT_EQ(DoMigrate(mainShell()), 1);
    arm("");
    qv::migration_request().requested = 0;
    EXPECT_EQ(DoMigrate(mainShell()), 1);
    EXPECT_EQ(calls_made(), "");
}

// The chosen folder reaches the tool as one argument, whatever it holds;
// a success forgets the folder, so the migration runs once.
TEST_F(Migration, RunsTheToolOnceOnTheChosenFolder)
{
    const std::string folder = scratch / "old prefs/it's; touch PWNED";
    arm(folder);
    std::string said;
    EXPECT_EQ(migrate(&said), 1);
    EXPECT_EQ(said, "Preferences migrated successfully.\n");
    std::string cwd = destination;
    while (cwd.size() > 1 && cwd.back() == '/')
        cwd.pop_back();
    EXPECT_EQ(calls_made(), cwd + "\n<-migrate>\n<" + folder + ">\n");
    EXPECT_NE(printed.find("Application/bin/qvr -migrate"), std::string::npos) << printed;
    EXPECT_FALSE(qvtest::exists(destination + "/PWNED"));
    EXPECT_FALSE(qvtest::exists(scratch / "PWNED"));
    EXPECT_EQ(qv::migration_request().source, nullptr);
    EXPECT_EQ(DoMigrate(mainShell()), 1);
    EXPECT_EQ(calls_made(), cwd + "\n<-migrate>\n<" + folder + ">\n");
}

TEST_F(Migration, AFailureIsReportedAndTheRequestKept)
{
    qvtest::write_file(status, "3");
    arm("/prefs");
    std::string said;
    EXPECT_EQ(migrate(&said), 0);
    EXPECT_EQ(said, "Unable to migrate preferences.\n");
    ASSERT_NE(qv::migration_request().source, nullptr);
    EXPECT_STREQ(qv::migration_request().source.get(), "/prefs");
}

// A destination that cannot be entered is a failed migration: no tool of
// the same name is run from setup's own working folder instead.
TEST_F(Migration, ADestinationThatCannotBeEnteredRunsNothing)
{
    qvtest::make_dirs(scratch / "elsewhere/Application/bin");
    qvtest::write_file(scratch / "elsewhere/Application/bin/qvr", qvtest::read_file(destination + "/Application/bin/qvr"),
                       0755);
    qvtest::remove_tree(destination);
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    ASSERT_EQ(chdir((scratch / "elsewhere").c_str()), 0);
    arm("/prefs");
    std::string said;
    EXPECT_EQ(migrate(&said), 0);
    ASSERT_EQ(chdir(before), 0);
    EXPECT_EQ(said, "Unable to migrate preferences.\n");
    EXPECT_EQ(calls_made(), "");
}

} // namespace
