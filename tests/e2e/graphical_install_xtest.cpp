// The real setup program installs the demo medium on a private X server,
// from the welcome dialog to the result box. The dialogs are driven from
// inside by the test module gui_driver.so (see its header), which the test
// copy of the medium names in a Function operation.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "e2e/installed_tree.h"
#include "e2e/medium.h"
#include "e2e/setup_window.h"
#include "support/env.h"
#include "support/terminal.h"
#include "support/testutil.h"

namespace {

using qvtest::differences;
using qvtest::harness;
using qvtest::read_file;
using qvtest::Tree;
using qvtest::write_file;

// An installed tree; the log's banner carries the time of the run.
Tree tree_of(const std::string &root)
{
    return qvtest::tree_of(root, [](const std::string &rel, const std::string &content) {
        const std::string log = "/setup.log";
        return rel.size() > log.size() && rel.compare(rel.size() - log.size(), log.size(), log) == 0 ? "log"
                                                                                                    : content;
    });
}

class GraphicalInstall : public ::testing::Test {
protected:
    void SetUp() override
    {
        qvtest::make_dirs(home);
        qvtest::RunResult copy = qvtest::run({"/bin/cp", "-a", harness("QV_DEMO_MEDIUM"), medium});
        ASSERT_EQ(copy.status, 0) << copy.err;
        // The driver module rides in the core package of the test copy.
        std::string description = read_file(cdinst());
        const std::string anchor = "Function \"DemoWriteSiteConfig\" \"demo_setup.so\" \"etc/site.conf\"\n";
        const size_t at = description.find(anchor);
        ASSERT_NE(at, std::string::npos) << "the demo description changed";
        description.insert(at + anchor.size(), "Function \"QvTestDrive\" \"gui_driver.so\" \"x\"\n");
        write_file(cdinst(), description);
        copy = qvtest::run({"/bin/cp", harness("QV_TEST_MODULES") + "/gui_driver.so", medium + "/SetupFiles/"});
        ASSERT_EQ(copy.status, 0) << copy.err;
    }

    std::string cdinst() const { return medium + "/cdinst.dat"; }
    std::string product() const { return root + "/QuorvantaDemo"; }
    std::string history() const { return product() + "/SetupFiles/.QuorvantaDemo.his"; }

    // The installation of everything (configuration 3), as -cmdline does it.
    Tree command_line_tree()
    {
        qvtest::RunResult r = qvtest::run(
            {harness("QV_SETUP"), "-cmdline", "-noroot", "-from", cdinst(), "-dest", root},
            {{"HOME", home}, {"QVINST_NOROOT", std::nullopt}});
        EXPECT_EQ(r.status, 0) << r.err;
        Tree tree = tree_of(root);
        qvtest::remove_tree(root);
        return tree;
    }

    // Runs the wizard with the given scripts and further settings of the
    // driver module (QV_TEST_GUI_*); answers its exit code.
    int run_wizard(const std::string &script, const std::string &childScript = "",
                   const std::map<std::string, std::string> &settings = {}, int seconds = 90,
                   bool onTostopTerminal = false)
    {
        write_file(scratch / "script", script);
        write_file(scratch / "child-script", childScript);
        std::vector<std::unique_ptr<qvtest::EnvVar>> env;
        env.push_back(std::make_unique<qvtest::EnvVar>("QV_TEST_GUI_SCRIPT", (scratch / "script").c_str()));
        env.push_back(std::make_unique<qvtest::EnvVar>("QV_TEST_GUI_CHILD_SCRIPT", (scratch / "child-script").c_str()));
        env.push_back(std::make_unique<qvtest::EnvVar>("QV_TEST_GUI_LOG", transcriptFile.c_str()));
        for (const auto &[name, value] : settings)
            env.push_back(std::make_unique<qvtest::EnvVar>(name.c_str(), value.c_str()));
        if (onTostopTerminal) {
            qvtest::TerminalRun terminal({harness("QV_SETUP"), "-noroot", "-from", cdinst(), "-dest", root},
                                         {{"HOME", home}, {"QVINST_NOROOT", std::nullopt}}, true);
            const int status = terminal.wait(seconds);
            write_file(scratch / "out.txt", terminal.shown());
            return status;
        }
        qvtest::SetupProcess setup({"-noroot", "-from", cdinst(), "-dest", root}, home, scratch / "err.txt",
                                   scratch / "out.txt");
        const int status = setup.wait(seconds);
        // Both processes of the run, the install child included (whose
        // exit status nobody reads), write nothing on standard error:
        // no sanitizer report, no toolkit warning.
        EXPECT_EQ(qvtest::try_read_file(scratch / "err.txt").value_or(""), "");
        return status;
    }
    std::string transcript() const { return qvtest::try_read_file(transcriptFile).value_or(""); }
    std::string output() const
    {
        return "stdout:\n" + qvtest::try_read_file(scratch / "out.txt").value_or("") + "stderr:\n" +
               qvtest::try_read_file(scratch / "err.txt").value_or("") + "transcript:\n" + transcript();
    }

    qvtest::ScratchDir scratch{"gui"};
    std::string home = scratch / "home";
    std::string medium = scratch / "cd";
    std::string root = scratch / "root";
    std::string transcriptFile = scratch / "transcript";
};

// The road a user takes: welcome, agreement, destination, "Full
// installation" in the main dialog, "Continue" in its options list, the
// progress dialog, the offer to view the log (viewed), the result.
constexpr const char kFullInstallation[] = "*mbWelcome ok\n"
                                           "*mbEULA ok\n"
                                           "*mbChangeDestination ok\n"
                                           "*pbMainDlg1 press\n"
                                           "*mbCustom ok\n"
                                           "*mbProgress title\n"
                                           "*laProgressAction text\n"
                                           "*mbProgress shot gui_progress_midrun\n";

TEST_F(GraphicalInstall, InstallsWhatTheCommandLineInstalls)
{
    const Tree expected = command_line_tree();
    ASSERT_FALSE(expected.empty());

    const std::string script = std::string(kFullInstallation) +
                               "*mbViewlog shot gui_viewlog_offer\n"
                               "*mbViewlog*pushButton press\n"
                               "*Interactive Message title\n"
                               "*Interactive Message shot gui_log_viewer\n"
                               "*Interactive Message ok\n"
                               "*mbViewlog ok\n"
                               "*mbOkCancel text\n"
                               "*mbOkCancel shot gui_result\n"
                               "*mbOkCancel ok\n";
    ASSERT_EQ(run_wizard(script, "", {{"QV_TEST_GUI_SLOW_MS", "1500"}}), 0) << output();

    EXPECT_EQ(transcript(), "*mbProgress title: Quorvanta Demo setup\n"
                            "*laProgressAction: Destination files:\n"
                            "*Interactive Message title: " + product() + "/SetupFiles/setup.log\n"
                            "*mbOkCancel: Setup completed successfully\\n\n");
    const Tree installed = tree_of(root);
    EXPECT_EQ(installed, expected) << differences(expected, installed);
    EXPECT_NE(read_file(product() + "/SetupFiles/setup.log").find("Installation Completed\n"), std::string::npos);
}

// An error reported by the child stops it for a question; "Yes" lets it
// finish, and the run ends as failed. A first installation that failed
// leaves no history, so the next start installs it again.
TEST_F(GraphicalInstall, AnErrorAsksAndYesGoesOn)
{
    const std::string script = std::string(kFullInstallation) +
                               "*mbOkCancel text\n"
                               "*mbOkCancel shot gui_error_question\n"
                               "*mbOkCancel ok\n"
                               "*mbViewlog ok\n"
                               "*mbOkCancel text\n"
                               "*mbOkCancel ok\n";
    ASSERT_EQ(run_wizard(script, "", {{"QV_TEST_GUI_ERROR", "Demo error: the disk is tired"}}), 0) << output();
    EXPECT_EQ(transcript(), "*mbProgress title: Quorvanta Demo setup\n"
                            "*laProgressAction: Destination files:\n"
                            "*mbOkCancel: Demo error: the disk is tired\\nDo you wish to continue?\n"
                            "*mbOkCancel: Setup did not complete successfully\\n\n");
    // "Yes" logged the error, and the rest of the run went on.
    const std::string log = read_file(product() + "/SetupFiles/setup.log");
    EXPECT_NE(log.find("Demo error: the disk is tired\n"), std::string::npos) << log;
    EXPECT_TRUE(qvtest::exists(product() + "/tools/bin/qvtool"));
    EXPECT_FALSE(qvtest::exists(history()));
}

// "No" stops the run, as a module's "-1 abort" does at once: the child is
// killed and a first installation leaves no history behind. Even with the
// wizard held up meanwhile, nothing after the module is installed.
TEST_F(GraphicalInstall, AnErrorAnsweredNoEndsWithOneWithoutHistory)
{
    for (const char *error : {"abort", "Demo error"}) {
        qvtest::remove_tree(root);
        const std::string script = std::string(kFullInstallation) + "- busy 4000\n*mbOkCancel cancel\n";
        // The module sends its line a second after the wizard began to be
        // held up.
        EXPECT_EQ(run_wizard(script, "", {{"QV_TEST_GUI_ERROR", error}, {"QV_TEST_GUI_SLOW_MS", "1000"}}), 1)
            << output();
        EXPECT_TRUE(qvtest::exists(product() + "/bin/qvdemo")) << "nothing is rolled back";
        EXPECT_FALSE(qvtest::exists(product() + "/tools/bin/qvtool")) << error;
        EXPECT_FALSE(qvtest::exists(history()));
    }
    // The log tells the error whatever the answer.
    const std::string log = read_file(product() + "/SetupFiles/setup.log");
    EXPECT_NE(log.find("\nDemo error\n"), std::string::npos) << log;
}

// Cancel in the progress dialog: "No" resumes the run, "Yes" quits with 10
// and, like any interrupted first installation, leaves no history.
TEST_F(GraphicalInstall, CancelAsksNoResumesYesQuitsWithTen)
{
    const std::string script = std::string(kFullInstallation) +
                               "*mbProgress cancel\n"
                               "*mbOkCancel text\n"
                               "*mbOkCancel shot gui_quit_question\n"
                               "*mbOkCancel cancel\n"
                               "- pause 300\n"
                               "*mbProgress cancel\n"
                               "*mbOkCancel ok\n";
    // The files pass outlasts any delay of a loaded machine: "Yes" kills the
    // child in the middle of it, so the test does not wait for it.
    EXPECT_EQ(run_wizard(script, "", {{"QV_TEST_GUI_SLOW_MS", "60000"}}), 10) << output();
    EXPECT_EQ(transcript(), "*mbProgress title: Quorvanta Demo setup\n"
                            "*laProgressAction: Destination files:\n"
                            "*mbOkCancel: Setup is not yet completed.\\n\\nIf you quit now, the product will not "
                            "be installed\\nproperly.\\n\\nQuit Setup?\n");
    EXPECT_FALSE(qvtest::exists(history()));
    EXPECT_FALSE(qvtest::exists(history() + ".tmp"));
    EXPECT_FALSE(qvtest::exists(product() + "/tools/bin/qvtool")) << "the run went on after Yes";
    const std::string log = read_file(product() + "/SetupFiles/setup.log");
    EXPECT_EQ(log.substr(log.rfind('\n', log.size() - 2) + 1), "Installation interrupted\n") << log;

    // kill of the wizard (SIGTERM) ends the run the same way, with 1.
    qvtest::remove_tree(root);
    EXPECT_EQ(run_wizard(std::string(kFullInstallation) + "- signal 15\n", "", {{"QV_TEST_GUI_SLOW_MS", "60000"}}), 1)
        << output();
    EXPECT_FALSE(qvtest::exists(history()));
    EXPECT_FALSE(qvtest::exists(history() + ".tmp"));
    const std::string killed = read_file(product() + "/SetupFiles/setup.log");
    EXPECT_EQ(killed.substr(killed.rfind('\n', killed.size() - 2) + 1), "Installation interrupted\n") << killed;

    // A second SIGTERM half a second into the stop (a hang-up comes twice)
    // changes nothing: a command that ignores SIGTERM is still killed when
    // the grace is over.
    qvtest::remove_tree(root);
    const std::string pidFile = scratch / "stubborn.pid";
    const std::string twice = "echo $$ > " + pidFile + "; trap \"\" TERM; "
                              "until grep -qs mbProgress \"$QV_TEST_GUI_LOG\"; do sleep 0.1; done; "
                              "kill $QV_TEST_SETUP_PID; sleep 0.5; kill $QV_TEST_SETUP_PID; exec sleep 300";
    EXPECT_EQ(run_wizard(kFullInstallation, "",
                         {{"QV_TEST_GUI_COMMAND", "sh -c '" + twice + "' &"}, {"QV_TEST_GUI_SLOW_MS", "60000"}}),
              1)
        << output();
    const std::string stopped = read_file(product() + "/SetupFiles/setup.log");
    EXPECT_EQ(stopped.substr(stopped.rfind('\n', stopped.size() - 2) + 1), "Installation interrupted\n") << stopped;
    const pid_t stubborn = std::atoi(read_file(pidFile).c_str());
    ASSERT_GT(stubborn, 0);
    char state = 'R';
    for (int i = 0; i < 200 && state != '?' && state != 'Z'; ++i, usleep(50 * 1000))
        state = qvtest::process_state(stubborn);
    EXPECT_TRUE(state == '?' || state == 'Z') << "the command that ignores SIGTERM outlived the run: " << state;
    kill(stubborn, SIGKILL);
}

// Started from a terminal that stops background writers (stty tostop): what
// the install child writes there (a module's text) reaches it, and the run
// completes.
TEST_F(GraphicalInstall, OnATostopTerminalTheChildWritesAndTheRunCompletes)
{
    const std::string script = "*mbWelcome ok\n*mbEULA ok\n*mbChangeDestination ok\n*pbMainDlg1 press\n*mbCustom ok\n"
                               "*mbViewlog ok\n*mbOkCancel text\n*mbOkCancel ok\n";
    EXPECT_EQ(run_wizard(script, "", {{"QV_TEST_GUI_SAY", "said by the module"}}, 90, true), 0) << output();
    EXPECT_NE(output().find("said by the module"), std::string::npos) << output();
    EXPECT_NE(transcript().find("*mbOkCancel: Setup completed successfully\\n\n"), std::string::npos) << output();
}

// The road to a full installation, and a run that ends with the result
// box (after the offer to view the log).
constexpr const char kToTheRun[] = "*mbWelcome ok\n"
                                   "*mbEULA ok\n"
                                   "*mbChangeDestination ok\n"
                                   "*pbMainDlg1 press\n"
                                   "*mbCustom ok\n";
constexpr const char kToTheResult[] = "*mbViewlog ok\n"
                                      "*mbOkCancel text\n"
                                      "*mbOkCancel ok\n";

// A source file that cannot be opened: the child asks (Continue, Browse...,
// Abort); Browse... picks a folder that holds the file, which serves every
// later file too, and the run completes with everything in place.
TEST_F(GraphicalInstall, AMissingSourceIsFoundByBrowsing)
{
    const Tree expected = command_line_tree();
    const std::string spare = scratch / "spare";
    ASSERT_EQ(qvtest::run({"/bin/cp", "-a", medium, spare}).status, 0);
    ASSERT_EQ(unlink((medium + "/etc/qvdemo.conf").c_str()), 0);

    const std::string childScript = "*mbOkCancel text\n"
                                    "*mbOkCancel shot gui_source_question\n"
                                    "*mbOkCancel cancel\n"
                                    "*Browser Install Directory shot gui_source_browser\n"
                                    "*Browser Install Directory select " + spare + "\n";
    ASSERT_EQ(run_wizard(std::string(kToTheRun) + kToTheResult, childScript), 0) << output();
    const std::string seen = transcript();
    EXPECT_NE(seen.find("*mbOkCancel: Copyfile can't open file: "), std::string::npos) << seen;
    EXPECT_NE(seen.find("etc/qvdemo.conf\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("*mbOkCancel: Setup completed successfully\\n\n"), std::string::npos) << seen;

    Tree installed = tree_of(root);
    // The site configuration names the source folder the run ended with.
    installed.erase("/QuorvantaDemo/etc/site.conf");
    Tree wanted = expected;
    wanted.erase("/QuorvantaDemo/etc/site.conf");
    EXPECT_EQ(installed, wanted) << differences(wanted, installed);
}

// Continue skips a missing source, and the run ends as failed; once the
// question has closed, the log still names the file.
TEST_F(GraphicalInstall, AMissingSourceAnsweredContinueIsNamedInTheLog)
{
    ASSERT_EQ(unlink((medium + "/etc/qvdemo.conf").c_str()), 0);
    ASSERT_EQ(run_wizard(std::string(kToTheRun) + kToTheResult, "*mbOkCancel ok\n"), 0) << output();
    EXPECT_NE(transcript().find("*mbOkCancel: Setup did not complete successfully\\n\n"), std::string::npos)
        << output();
    const std::string log = read_file(product() + "/SetupFiles/setup.log");
    EXPECT_NE(log.find("\nCopyfile can't open file: etc/qvdemo.conf\n"), std::string::npos) << log;
}

// Abort stops the run where it is: nothing listed after the missing file
// is installed, however late the parent gets to act on it (the last run's
// parent is held up while the child asks).
TEST_F(GraphicalInstall, AbortAtAMissingSourceInstallsNothingFurther)
{
    ASSERT_EQ(unlink((medium + "/etc/qvdemo.conf").c_str()), 0);
    const std::set<std::string> before = {"/QuorvantaDemo/SetupFiles/setup.log", "/QuorvantaDemo/bin/qvdemo"};
    for (const char *parentBusy : {"", "", "", "- busy 2000\n"}) {
        SCOPED_TRACE(parentBusy);
        EXPECT_EQ(run_wizard(kToTheRun + std::string(parentBusy), "*mbOkCancel help\n"), 1) << output();
        std::set<std::string> files;
        for (const auto &[path, what] : tree_of(root)) {
            if (what.compare(5, std::string::npos, "dir") != 0)
                files.insert(path);
        }
        EXPECT_EQ(files, before);
        qvtest::remove_tree(root);
    }
}

} // namespace
