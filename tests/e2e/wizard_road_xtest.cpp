// The real setup program on a private X server, driven from the keyboard
// as a user would (xdotool): the welcome and the agreement dialogs, the
// ways out of setup and their exit codes, and the start-up error box.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/setup_window.h"
#include "support/testutil.h"
#include "wizard/wizard_medium.h"

namespace {

using qvtest::SetupProcess;
using qvtest::screenshot;
using qvtest::type_key;
using qvtest::wait_window;
using qvtest::windows_named;

class WizardRoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        qvtest::make_dirs(home);
        qvtest::make_dirs(medium + "/SetupFiles");
        qvtest::make_dirs(medium + "/files");
        qvtest::write_file(medium + "/files/a.txt", "hello\n");
        qvtest::write_file(medium + "/SetupFiles/eula.txt", "QUORVANTA TEST LICENSE\n\nYou may test this software.\n");
        // No InstallDirectory: the wizard installs under -dest.
        qvtest::write_file(medium + "/cdinst.dat", "SetupVersion 1\nProductName Quorvanta Test\nProductVersion 1.0\n"
                                                   "ProductDirectory QvTest\nLogFile install.log\n"
                                                   "Package \"core\" \"core\"\nCopy \"files/a.txt\" \"\" 6 0644 0 0\n"
                                                   "Suite \"Main\" core\nConfigBegin\n1 MainDlg \"Test\" \"\" \"\" 3\n"
                                                   "3 Suite \"Main\" \"\" \"\" 1\nConfigEnd\n");
    }
    std::vector<std::string> args(const std::string &cdinst) const
    {
        return {"-noroot", "-from", cdinst, "-dest", scratch / "root"};
    }
    std::string errors() const { return qvtest::read_file(errFile); }

    qvtest::ScratchDir scratch{"road"};
    std::string home = scratch / "home";
    std::string medium = scratch / "cd";
    std::string errFile = scratch / "stderr.txt";
};

TEST_F(WizardRoad, WelcomeAgreementAndDeclineEndWithZero)
{
    SetupProcess setup(args(medium + "/cdinst.dat"), home, errFile);
    const std::string welcome = wait_window("Quorvanta Test setup");
    screenshot("e2e_welcome");
    type_key(welcome, "Return"); // "Continue"

    const std::string agreement = wait_window("End User License Agreement");
    EXPECT_TRUE(qvtest::wait_gone("Quorvanta Test setup")) << "the welcome dialog is still on screen";
    screenshot("e2e_agreement");
    type_key(agreement, "Escape"); // "I DECLINE"
    EXPECT_EQ(setup.wait(), 0) << errors();
    EXPECT_FALSE(qvtest::exists(scratch / "root")) << "declining writes nothing";
}

TEST_F(WizardRoad, ExitSetupAsksThenEndsWithTen)
{
    SetupProcess setup(args(medium + "/cdinst.dat"), home, errFile);
    const std::string welcome = wait_window("Quorvanta Test setup");
    type_key(welcome, "Escape"); // "Exit Setup"
    const std::string question = wait_window("Quorvanta Test setup", {welcome});
    type_key(question, "Escape"); // "Exit Setup" in the question
    const std::string finish = wait_window("Quorvanta Test setup", {welcome, question});
    screenshot("e2e_interrupted");
    type_key(finish, "Return"); // "OK"
    EXPECT_EQ(setup.wait(), 10) << errors();
}

TEST_F(WizardRoad, AnUnreadableDescriptionIsReportedAndEndsWithOne)
{
    SetupProcess setup(args(medium + "/missing.dat"), home, errFile);
    const std::string box = wait_window("Quorvanta Message");
    screenshot("e2e_description_error");
    EXPECT_TRUE(windows_named("Quorvanta Test setup").empty()) << "no welcome without a description";
    type_key(box, "Return");
    EXPECT_EQ(setup.wait(), 1) << errors();
}

} // namespace
