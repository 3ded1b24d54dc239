// The real setup program on a private X server, driven from the keyboard
// as a user would (xdotool): the welcome and the agreement dialogs, the
// ways out of setup and their exit codes, and the start-up error box.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <chrono>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/testutil.h"
#include "wizard/wizard_medium.h"

extern char **environ;

namespace {

using qvtest::harness;
using qvtest::run;

// A running setup process whose standard error goes to a file.
class SetupProcess {
public:
    SetupProcess(const std::vector<std::string> &args, const std::string &home, const std::string &errFile)
    {
        std::vector<std::string> argv = {harness("QV_SETUP")};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char *> cargv;
        for (auto &a : argv)
            cargv.push_back(const_cast<char *>(a.c_str()));
        cargv.push_back(nullptr);

        std::vector<std::string> env;
        for (char **e = environ; *e; ++e) {
            if (std::strncmp(*e, "HOME=", 5) != 0 && std::strncmp(*e, "QVINST_NOROOT=", 14) != 0)
                env.emplace_back(*e);
        }
        env.push_back("HOME=" + home);
        std::vector<char *> cenv;
        for (auto &e : env)
            cenv.push_back(const_cast<char *>(e.c_str()));
        cenv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        EXPECT_EQ(posix_spawn(&pid_, cargv[0], &actions, nullptr, cargv.data(), cenv.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~SetupProcess()
    {
        if (pid_ > 0 && status_ < 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    // The exit code, or -1 when the process has not ended in time.
    int wait(int seconds = 20)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (status_ < 0 && std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_)
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return status_;
    }

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

std::vector<std::string> windows_named(const std::string &title)
{
    qvtest::RunResult r = run({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"});
    std::vector<std::string> ids;
    std::istringstream in(r.out);
    for (std::string id; in >> id;)
        ids.push_back(id);
    return ids;
}

// Waits for a visible window with this title that is not among `known`.
std::string wait_window(const std::string &title, const std::set<std::string> &known = {})
{
    for (int i = 0; i < 200; ++i) {
        for (const std::string &id : windows_named(title)) {
            if (!known.count(id))
                return id;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "no window \"" << title << "\" appeared";
    return "";
}

// Gives the window the keyboard and types one key, as a user would.
void type_key(const std::string &window, const std::string &key)
{
    ASSERT_FALSE(window.empty());
    ASSERT_EQ(run({"/usr/bin/xdotool", "windowfocus", "--sync", window}).status, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(run({"/usr/bin/xdotool", "key", key}).status, 0);
}

std::string screenshot(const std::string &name)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string path = harness("QV_TEST_ARTIFACTS") + "/" + name + ".png";
    qvtest::RunResult r = run({"/usr/bin/import", "-window", "root", path});
    EXPECT_EQ(r.status, 0) << r.err;
    qvtest::RunResult colours = run({"/usr/bin/identify", "-format", "%k", path});
    EXPECT_GT(std::atoi(colours.out.c_str()), 2) << "the screen is blank: " << path;
    return path;
}

class WizardRoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Start-up goes through all of these before the first dialog.
        std::string m = qvtest::missing({"QV_instSetHelpDirectory", "QV_instSetSizes", "QV_UpdateSuiteHistory",
                                         "QV_instGetDestinationDirectory", "QV_instGetProductVersion"});
        if (m.empty())
            m = qvtest::missing_for_dialogs();
        if (!m.empty())
            GTEST_SKIP() << "needs " << m << " (not built yet)";
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
    EXPECT_TRUE(windows_named("Quorvanta Test setup").empty()) << "the welcome dialog is still on screen";
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
