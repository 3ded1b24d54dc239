// Maintenance with the real setup program: the demo medium installed once,
// the next start on the same destination opens the maintenance dialog,
// Add/Remove changes what is installed, Remove all takes the product away,
// and a start after that greets a new installation again.
#include <gtest/gtest.h>

#include <cstdio>
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
        ASSERT_EQ(qvtest::run({"/bin/cp", "-a", qvtest::harness("QV_DEMO_MEDIUM"), medium}).status, 0);
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
    std::string medium = scratch / "cd";
    std::string cdinst = medium + "/cdinst.dat";
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

// A product installed without its samples: Add/Remove takes the manual
// away and adds the samples in one Continue. A stop half way (the child asks
// for the samples' archive, which is missing) keeps the history the run
// started from; the same change made again completes it.
TEST_F(MaintenanceRoad, AddRemoveChangesTheInstallationAndAStoppedChangeIsMadeAgain)
{
    const std::string samples = "Package \"samples\" Installed\n", archive = medium + "/archives/samples.tar.bz2";
    std::string listed = qvtest::read_file(history);
    for (size_t at; (at = listed.find(samples)) != std::string::npos;)
        listed.erase(at, samples.size());
    qvtest::write_file(history, listed);
    qvtest::remove_tree(product + "samples");
    ASSERT_EQ(rename(archive.c_str(), (scratch / "samples").c_str()), 0);
    for (const bool stopped : {true, false}) {
        SetupProcess setup(args(), home, errFile, outFile);
        const std::string maintenance = wait_window(kTitle);
        type_key(maintenance, "Tab");
        type_key(maintenance, "space"); // "Add/Remove..."
        const std::string options = wait_window(kTitle, {maintenance});
        // The second row (Documentation) cleared, the third (Samples) chosen, "Continue".
        for (const char *key : {"Tab", "Tab", "space", "Tab", "space", "Return"})
            type_key(options, key);
        if (stopped) {
            wait_window("Quorvanta Message"); // the child asks for the archive
            kill(setup.pid(), SIGTERM);
            EXPECT_EQ(setup.wait(), 1) << errors();
            EXPECT_EQ(qvtest::read_file(history), listed);
            ASSERT_EQ(rename((scratch / "samples").c_str(), archive.c_str()), 0);
            continue;
        }
        type_key(qvtest::wait_window_sized(kTitle, 425, 248, {maintenance, options}, 60), "Return"); // "Done"
        type_key(wait_window("Quorvanta Message"), "Return");
        EXPECT_EQ(setup.wait(), 0) << errors();
    }
    EXPECT_FALSE(exists(product + "doc/manual/intro.txt"));
    EXPECT_TRUE(exists(product + "samples/data/points.csv"));
    const std::string now = qvtest::read_file(history), log = qvtest::read_file(product + "SetupFiles/setup.log");
    EXPECT_EQ(now.find("\"docs\""), std::string::npos) << now;
    EXPECT_NE(now.find(samples), std::string::npos) << now;
    EXPECT_NE(log.find("Installation interrupted\n"), std::string::npos) << log;
    EXPECT_EQ(log.substr(log.rfind("Running in Maintenance mode\n")).find("Error"), std::string::npos) << log;
    EXPECT_EQ(log.substr(log.size() - 23), "Installation Completed\n") << log;
}

} // namespace
