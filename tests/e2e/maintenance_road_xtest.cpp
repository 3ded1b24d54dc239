// Maintenance with the real setup program: the demo medium installed once,
// the next start on the same destination opens the maintenance dialog,
// Add/Remove shows what is installed, Remove all takes the product away,
// and a start after that greets a new installation again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/medium.h"
#include "e2e/setup_window.h"
#include "support/testutil.h"
#include "wizard/wizard_medium.h"

namespace {

using qvtest::exists;
using qvtest::screenshot;
using qvtest::SetupProcess;
using qvtest::type_key;
using qvtest::wait_window;

constexpr const char kTitle[] = "Quorvanta Demo setup";

class MaintenanceRoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        qvtest::make_dirs(home);
        qvtest::make_dirs(root);
        qvtest::RunResult first = qvtest::install(cdinst, root, home);
        ASSERT_EQ(first.status, 0) << first.err;
        ASSERT_TRUE(exists(history));
    }
    std::vector<std::string> args() const { return {"-noroot", "-from", cdinst, "-dest", root}; }
    std::string errors() const { return qvtest::read_file(errFile); }

    qvtest::ScratchDir scratch{"maintenance"};
    std::string home = scratch / "home";
    std::string root = scratch / "root";
    std::string product = root + "/QuorvantaDemo/";
    std::string history = product + "SetupFiles/.QuorvantaDemo.his";
    std::string cdinst = qvtest::harness("QV_DEMO_MEDIUM") + "/cdinst.dat";
    std::string errFile = scratch / "stderr.txt";
    std::string outFile = scratch / "stdout.txt";
};

TEST_F(MaintenanceRoad, RemoveAllTakesTheProductAwayAndTheNextStartWelcomes)
{
    {
        SetupProcess setup(args(), home, errFile);
        const std::string maintenance = wait_window(kTitle);
        screenshot("e2e_maintenance");

        // "Add/Remove..." (the first button): the options list with every
        // installed component chosen. Continue without a change has nothing
        // to do; Cancel leads back to maintenance.
        type_key(maintenance, "Tab");
        type_key(maintenance, "space");
        const std::string options = wait_window(kTitle, {maintenance});
        screenshot("e2e_maintenance_add_remove");
        type_key(options, "Return");
        const std::string nothing = wait_window("Quorvanta Message");
        screenshot("e2e_maintenance_nothing_to_do");
        type_key(nothing, "Return");
        type_key(options, "Escape");
        const std::string again = wait_window(kTitle, {maintenance, options});

        // "Remove all" (the second button), confirmed.
        type_key(again, "Tab");
        type_key(again, "Tab");
        type_key(again, "space");
        const std::string question = wait_window("Quorvanta Message", {nothing});
        screenshot("e2e_remove_all_question");
        type_key(question, "Return"); // "Yes"

        // The end of the run: the offer to view the log (the progress
        // dialog, of the same title, may still be on screen), then the result.
        const std::string viewLog = qvtest::wait_window_sized(kTitle, 425, 248, {maintenance, options, again}, 60);
        type_key(viewLog, "Return"); // "Done"
        const std::string result = wait_window("Quorvanta Message", {nothing, question});
        screenshot("e2e_remove_all_result");
        type_key(result, "Return");
        EXPECT_EQ(setup.wait(), 0) << errors();
    }
    for (const char *gone : {"bin/qvdemo", "bin/qv", "etc/qvdemo.conf", "doc/RELEASE-NOTES",
                             "doc/manual/images/logo.txt", "samples/data/points.csv", "tools/bin/qvtool", "cdinst.dat",
                             "SetupFiles/.QuorvantaDemo.his"})
        EXPECT_FALSE(exists(product + gone)) << gone;
    EXPECT_FALSE(exists(root + "/Quorvanta/fonts/qvsans.txt"));
    const std::string log = qvtest::read_file(product + "SetupFiles/setup.log");
    EXPECT_NE(log.find("Running in Maintenance mode\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Removing All Files\n"), std::string::npos) << log;

    // Nothing installed any more: the welcome dialog, which leads to the
    // agreement.
    SetupProcess third(args(), home, errFile);
    const std::string welcome = wait_window(kTitle);
    screenshot("e2e_after_remove_all");
    type_key(welcome, "Return");
    const std::string agreement = wait_window("End User License Agreement");
    type_key(agreement, "Escape"); // "I DECLINE"
    EXPECT_EQ(third.wait(), 0) << errors();
}

// The install action takes only a list opened from a main dialog, and the
// maintenance list is opened from none: a changed selection ends setup,
// and a box tells the user why before the windows go.
TEST_F(MaintenanceRoad, AChangedSelectionEndsSetupWithOneAndChangesNothing)
{
    SetupProcess setup(args(), home, errFile, outFile);
    const std::string maintenance = wait_window(kTitle);
    type_key(maintenance, "Tab");
    type_key(maintenance, "space"); // "Add/Remove..."
    const std::string options = wait_window(kTitle, {maintenance});
    type_key(options, "Tab");
    type_key(options, "Tab");   // the second row, Documentation
    type_key(options, "space"); // cleared
    screenshot("e2e_maintenance_changed");
    type_key(options, "Return"); // "Continue"
    const std::string why = wait_window("Quorvanta Message");
    screenshot("e2e_maintenance_cannot_move");
    type_key(why, "Return"); // "OK"
    EXPECT_EQ(setup.wait(), 1) << errors();
    EXPECT_EQ(qvtest::read_file(outFile), "*** Unable to move files\n");
    EXPECT_TRUE(exists(product + "doc/RELEASE-NOTES"));
    EXPECT_TRUE(exists(history));
}

} // namespace
