// The whole product as a new user meets it: the real setup program on the
// demo medium, on a private X server, driven from outside with the keyboard
// (xdotool) on windows found by their titles. A graphical installation from
// the welcome dialog to the result box, into a folder that the destination
// chooser creates; the same configuration installed with -cmdline elsewhere
// and compared file by file; then a second start on the graphical
// installation's destination, in maintenance mode, with Add/Remove and
// Remove all. Each dialog is kept as a screenshot, whole_product_*.png.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/installed_tree.h"
#include "e2e/medium.h"
#include "e2e/setup_window.h"
#include "support/testutil.h"

namespace {

using namespace std::chrono_literals;
using qvtest::exists;
using qvtest::Geometry;
using qvtest::geometry_of;
using qvtest::read_file;
using qvtest::RunResult;
using qvtest::SetupProcess;
using qvtest::Tree;
using qvtest::type_key;

constexpr const char kTitle[] = "Quorvanta Demo setup";
constexpr const char kMessage[] = "Quorvanta Message";
constexpr const char kAgreement[] = "End User License Agreement";

// The install child of a run, followed with ptrace from the moment setup
// forks it. The run of the demo medium is over in well under a second, too
// quick to be caught by looking for it or by stopping it now and then: the
// test follows the child's writes and holds it at a chosen protocol line.
class InstallChild {
public:
    // Types key into window, which makes setup fork its install child; the
    // child is held before it has run a single step.
    InstallChild(pid_t setup, const std::string &window, const std::string &key)
    {
        if (ptrace(PTRACE_SEIZE, setup, nullptr, reinterpret_cast<void *>(PTRACE_O_TRACEFORK)) != 0) {
            ADD_FAILURE() << "cannot follow setup: " << std::strerror(errno);
            return;
        }
        type_key(window, key);
        const auto end = std::chrono::steady_clock::now() + 60s;
        for (;;) {
            int status = 0;
            const pid_t got = waitpid(setup, &status, __WALL | WNOHANG);
            if (got < 0 || (got == setup && (WIFEXITED(status) || WIFSIGNALED(status)))) {
                ADD_FAILURE() << "setup ended before it started an installation";
                return;
            }
            if (got == 0) {
                if (std::chrono::steady_clock::now() < end) {
                    std::this_thread::sleep_for(1ms);
                    continue;
                }
                ADD_FAILURE() << "setup started no installation";
                ptrace(PTRACE_INTERRUPT, setup, nullptr, nullptr);
                waitpid(setup, &status, __WALL);
                ptrace(PTRACE_DETACH, setup, nullptr, nullptr);
                return;
            }
            if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_FORK << 8))) {
                unsigned long pid = 0;
                ptrace(PTRACE_GETEVENTMSG, setup, nullptr, &pid);
                pid_ = static_cast<pid_t>(pid);
                break;
            }
            // Any other stop: a signal on its way to setup, passed on.
            ptrace(PTRACE_CONT, setup, nullptr, signal_to_pass(status));
        }
        // The child, followed from its birth, stops first of all. Its own
        // children (tar, the registry tools) are not followed.
        int status = 0;
        waitpid(pid_, &status, __WALL);
        ptrace(PTRACE_SETOPTIONS, pid_, nullptr,
               reinterpret_cast<void *>(PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL));
        ptrace(PTRACE_DETACH, setup, nullptr, nullptr);
    }
    ~InstallChild() { release(); }
    InstallChild(const InstallChild &) = delete;
    InstallChild &operator=(const InstallChild &) = delete;

    pid_t pid() const { return pid_; }

    // Lets the child run until one of its writes completes a protocol text
    // (all that it wrote to that descriptor) for which done() holds; the
    // child is held right after that write. False when it ended first.
    bool run_until(const std::function<bool(const std::string &)> &done)
    {
        if (pid_ <= 0 || !traced_)
            return false;
        std::map<uint64_t, std::string> written;
        uint64_t fd = 0;
        std::string data;
        void *pass = nullptr;
        for (;;) {
            if (ptrace(PTRACE_SYSCALL, pid_, nullptr, pass) != 0)
                return false;
            pass = nullptr;
            int status = 0;
            if (waitpid(pid_, &status, __WALL) != pid_ || !WIFSTOPPED(status)) {
                traced_ = false;
                return false;
            }
            if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
                pass = signal_to_pass(status);
                continue;
            }
            __ptrace_syscall_info info{};
            if (ptrace(PTRACE_GET_SYSCALL_INFO, pid_, reinterpret_cast<void *>(sizeof info), &info) <= 0)
                continue;
            if (info.op == PTRACE_SYSCALL_INFO_ENTRY) {
                data.clear();
                if (info.entry.nr != SYS_write)
                    continue;
                fd = info.entry.args[0];
                data.resize(std::min<uint64_t>(info.entry.args[2], 1 << 20));
                iovec local{data.data(), data.size()};
                iovec remote{reinterpret_cast<void *>(info.entry.args[1]), data.size()};
                const ssize_t got = process_vm_readv(pid_, &local, 1, &remote, 1, 0);
                data.resize(got > 0 ? static_cast<size_t>(got) : 0);
            } else if (info.op == PTRACE_SYSCALL_INFO_EXIT && !data.empty()) {
                if (info.exit.rval > 0) {
                    std::string &text = written[fd];
                    text += data.substr(0, static_cast<size_t>(info.exit.rval));
                    if (done(text))
                        return true;
                }
                data.clear();
            }
        }
    }

    // Lets the child go, held stopped (a SIGSTOP waits for it as it is let
    // go); the test then runs it with SIGCONT.
    void release()
    {
        if (pid_ > 0 && traced_) {
            kill(pid_, SIGSTOP);
            ptrace(PTRACE_DETACH, pid_, nullptr, nullptr);
        }
        traced_ = false;
    }

private:
    // The signal of a stop that is a signal on its way to the process.
    static void *signal_to_pass(int status)
    {
        const int sig = status >> 16 == 0 ? WSTOPSIG(status) : 0;
        return reinterpret_cast<void *>(static_cast<intptr_t>(sig));
    }

    pid_t pid_ = -1;
    bool traced_ = true;
};

// Log text of one run as it is compared with another run's: the
// destination path and the time of the run taken out. The install child
// writes its own log lines while the parent adds those that modules send
// over the pipe, so the two kinds interleave as the processes happen to
// run; the lines are compared as a sorted list.
std::string comparable_log(const std::string &log)
{
    std::vector<std::string> lines = qvtest::lines_of(log);
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const std::string &line : lines)
        out += line + "\n";
    return out;
}

std::string without(const std::string &text, const std::string &root)
{
    std::string out = text;
    for (size_t at = out.find(root); at != std::string::npos; at = out.find(root, at + 6))
        out.replace(at, root.size(), "<root>");
    // Each run's section of the log begins with a banner holding its time.
    const std::string banner = "SETUP Log File created on ";
    for (size_t at = out.find(banner); at != std::string::npos; at = out.find(banner, at)) {
        at += banner.size();
        out.replace(at, out.find(' ', at) - at, "<time>");
    }
    return out;
}

// An installation as it is compared with one made into another root.
Tree comparable_tree(const std::string &root)
{
    return qvtest::tree_of(root, [&root](const std::string &rel, const std::string &content) {
        const std::string text = without(content, root);
        return rel == "/QuorvantaDemo/SetupFiles/setup.log" ? comparable_log(text) : text;
    });
}

class WholeProduct : public ::testing::Test {
protected:
    void SetUp() override
    {
        qvtest::make_dirs(home);
        qvtest::make_dirs(cmdlineHome);
    }

    // Waits for a new window with this title (one not seen before).
    std::string next(const std::string &title, int seconds = 60)
    {
        const std::string id = qvtest::wait_window(title, seen, seconds);
        if (!id.empty())
            seen.insert(id);
        return id;
    }

    // Waits until a window with this title is off the screen.
    void wait_gone(const std::string &title, const std::string &window)
    {
        if (!qvtest::wait_gone(title, window))
            ADD_FAILURE() << "window \"" << title << "\" is still on screen";
    }

    void keys(const std::string &window, std::initializer_list<const char *> sequence)
    {
        for (const char *key : sequence)
            type_key(window, key);
    }

    // Replaces the text of the focused text field, as a user selects it all
    // and types.
    void retype(const std::string &window, const std::string &text)
    {
        type_key(window, "ctrl+slash");
        ASSERT_EQ(qvtest::run({"/usr/bin/xdotool", "type", "--delay", "20", text}).status, 0);
    }

    // A screenshot kept as whole_product_<name>.png; the dialog stands
    // where it is meant to (a negative x and y: anywhere), and its own area
    // holds more than a background and its shadows.
    void expect_shot(const std::string &window, const std::string &name, std::optional<Geometry> at = {})
    {
        const Geometry g = geometry_of(window);
        if (at) {
            Geometry wanted = *at;
            if (wanted.x < 0)
                wanted.x = g.x, wanted.y = g.y;
            EXPECT_EQ(g, wanted) << name;
        }
        std::ostringstream area;
        area << g.width << "x" << g.height << "+" << g.x << "+" << g.y;
        qvtest::screenshot("whole_product_" + name, area.str(), 4);
    }

    // Waits for the next dialog with this title and keeps its screenshot.
    std::string dialog(const std::string &title, const std::string &name, std::optional<Geometry> at = {},
                       int seconds = 60)
    {
        const std::string window = next(title, seconds);
        if (!window.empty())
            expect_shot(window, name, at);
        return window;
    }

    // The progress dialog of the run, kept as a screenshot: the child is
    // run until it has reported its start and a first step (the dialog is
    // on screen once setup reads that, and shows the step), and is left
    // stopped there.
    std::string progress_of(InstallChild &child, const std::string &name)
    {
        const bool reported = child.run_until([](const std::string &text) {
            const size_t start = text.find("# Start installation\n");
            return start != std::string::npos && text.find("\n+", start) != std::string::npos;
        });
        child.release();
        if (!reported) {
            ADD_FAILURE() << "the install child ended before it reported a step";
            return "";
        }
        const std::string progress = next(kTitle);
        if (progress.empty())
            return "";
        // Setup has nothing more to read: once two looks agree it has drawn
        // what it read.
        const auto end = std::chrono::steady_clock::now() + 60s;
        for (double look = brightness(progress), again = -1; again != look && std::chrono::steady_clock::now() < end;) {
            std::this_thread::sleep_for(300ms);
            again = look;
            look = brightness(progress);
        }
        expect_shot(progress, name, Geometry{347, 91, 662, 253});
        return progress;
    }

    static double brightness(const std::string &window)
    {
        RunResult r = qvtest::run({"/usr/bin/import", "-window", window, "-format", "%[fx:mean]", "info:"});
        return std::atof(r.out.c_str());
    }

    // The result box; its OK ends setup with 0. Both processes of the run,
    // the install child included, wrote nothing on standard error (no
    // sanitizer report, no toolkit warning) nor on standard output.
    void end_with_result(SetupProcess &setup, const std::string &name)
    {
        const std::string result = dialog(kMessage, name);
        ASSERT_FALSE(result.empty());
        type_key(result, "Return");
        EXPECT_EQ(setup.wait(60), 0) << errors();
        EXPECT_EQ(errors(), "");
        EXPECT_EQ(qvtest::try_read_file(outFile).value_or(""), "");
    }

    std::vector<std::string> args(const std::string &root) const
    {
        return {"-noroot", "-from", cdinst, "-dest", root};
    }
    std::string errors() const { return qvtest::try_read_file(errFile).value_or(""); }

    void graphical_installation();
    void maintenance();

    qvtest::ScratchDir scratch{"whole"};
    std::string cdinst = qvtest::harness("QV_DEMO_MEDIUM") + "/cdinst.dat";
    std::string home = scratch / "home";
    std::string cmdlineHome = scratch / "cmdline-home";
    // The root given on the command line; the user changes it in the
    // destination dialog to a folder that does not exist yet.
    std::string firstRoot = scratch / "root";
    std::string guiRoot = scratch / "gui dest/new folder";
    std::string cmdlineRoot = scratch / "cmdline";
    std::string product = guiRoot + "/QuorvantaDemo/";
    std::string errFile = scratch / "stderr.txt";
    std::string outFile = scratch / "stdout.txt";
    std::set<std::string> seen;
};

// Welcome, agreement, destination with a new folder, the main dialog, a
// nested choice and back, "Full installation" and its options list, the
// progress dialog (Cancel answered No), the view-log dialog with the log
// viewer, and the result box.
void WholeProduct::graphical_installation()
{
    SetupProcess setup(args(firstRoot), home, errFile, outFile);

    const std::string welcome = dialog(kTitle, "welcome", Geometry{7, 31, 553, 368}, 60);
    ASSERT_FALSE(welcome.empty()) << errors();
    type_key(welcome, "Return"); // Continue
    const std::string agreement = dialog(kAgreement, "agreement", Geometry{4, 28, 659, 723});
    ASSERT_FALSE(agreement.empty());
    type_key(agreement, "Return"); // I ACCEPT
    const std::string destination = dialog(kTitle, "destination", Geometry{651, 370, 561, 412});
    ASSERT_FALSE(destination.empty());

    // "Change Destination": a folder that does not exist, created on "Yes".
    keys(destination, {"Tab", "space"});
    const std::string chooser = next(kTitle);
    ASSERT_FALSE(chooser.empty());
    retype(chooser, guiRoot);
    expect_shot(chooser, "destination_chooser", Geometry{-1, -1, 500, 450});
    type_key(chooser, "Return");
    const std::string create = dialog(kMessage, "create_folder_question");
    ASSERT_FALSE(create.empty());
    type_key(create, "Return"); // Yes
    wait_gone(kTitle, chooser);
    EXPECT_EQ(qvtest::mode_of(guiRoot), 0755u);
    EXPECT_EQ(qvtest::mode_of(scratch / "gui dest"), 0755u);
    expect_shot(destination, "destination_changed", Geometry{651, 370, 561, 412});
    keys(destination, {"Tab", "Return"}); // from the button to the field; OK

    const std::string main = dialog(kTitle, "main", Geometry{215, 59, 538, 617});
    ASSERT_FALSE(main.empty());
    // "More choices", a nested main dialog; its Cancel leads back.
    keys(main, {"Tab", "Tab", "Tab", "space"});
    const std::string nested = dialog(kTitle, "nested_choice", Geometry{215, 59, 538, 617});
    ASSERT_FALSE(nested.empty());
    type_key(nested, "Escape");
    const std::string again = next(kTitle);
    ASSERT_FALSE(again.empty());

    // "Full installation": configuration 3, the one -cmdline installs.
    keys(again, {"Tab", "space"});
    const std::string options = dialog(kTitle, "options", Geometry{4, 28, 852, 635});
    ASSERT_FALSE(options.empty());
    InstallChild child(setup.pid(), options, "Return"); // Continue
    ASSERT_GT(child.pid(), 0);
    const std::string progress = progress_of(child, "progress");
    ASSERT_FALSE(progress.empty());
    // Cancel stops the child and asks; "No" lets it go on.
    type_key(progress, "Escape");
    const std::string quit = dialog(kMessage, "quit_question");
    ASSERT_FALSE(quit.empty());
    type_key(quit, "Escape"); // No

    const std::string viewlog = dialog(kTitle, "viewlog", Geometry{7, 31, 425, 248}, 120);
    ASSERT_FALSE(viewlog.empty()) << errors();
    keys(viewlog, {"Tab", "space"}); // View Log
    const std::string logTitle = product + "SetupFiles/setup.log";
    // 600 x 600 at least, and wide enough for the log's path above the text.
    const std::string viewer = dialog(logTitle, "log_viewer");
    ASSERT_FALSE(viewer.empty());
    const Geometry viewerSize = geometry_of(viewer);
    EXPECT_GE(viewerSize.width, 600);
    EXPECT_EQ(viewerSize.height, 600);
    type_key(viewer, "Return"); // Done
    wait_gone(logTitle, viewer);
    keys(viewlog, {"Tab", "space"}); // from View Log to Done

    end_with_result(setup, "result");
    EXPECT_FALSE(exists(firstRoot)) << "the first root was left for the new folder";
}

// A second start on the same destination: the maintenance dialog;
// Add/Remove with every installed component chosen (a change counted, then
// undone: nothing to do), Cancel back to maintenance; Remove all.
void WholeProduct::maintenance()
{
    seen.clear();
    SetupProcess setup(args(guiRoot), home, errFile, outFile);

    const std::string first = dialog(kTitle, "maintenance", Geometry{4, 28, 516, 340}, 60);
    ASSERT_FALSE(first.empty()) << errors();
    keys(first, {"Tab", "space"}); // Add/Remove...
    const std::string options = dialog(kTitle, "add_remove", Geometry{4, 28, 852, 635});
    ASSERT_FALSE(options.empty());
    keys(options, {"Tab", "Tab", "space"}); // Documentation cleared
    expect_shot(options, "add_remove_changed", Geometry{4, 28, 852, 635});
    type_key(options, "space");  // and chosen again
    type_key(options, "Return"); // Continue
    const std::string nothing = dialog(kMessage, "nothing_to_do");
    ASSERT_FALSE(nothing.empty());
    type_key(nothing, "Return");
    wait_gone(kMessage, nothing);
    type_key(options, "Escape"); // Cancel

    const std::string again = next(kTitle);
    ASSERT_FALSE(again.empty());
    keys(again, {"Tab", "Tab", "space"}); // Remove all
    const std::string question = dialog(kMessage, "remove_all_question");
    ASSERT_FALSE(question.empty());
    InstallChild child(setup.pid(), question, "Return"); // Yes
    ASSERT_GT(child.pid(), 0);
    ASSERT_FALSE(progress_of(child, "remove_all_progress").empty());
    kill(child.pid(), SIGCONT);

    const std::string viewlog = next(kTitle, 120);
    ASSERT_FALSE(viewlog.empty()) << errors();
    type_key(viewlog, "Return"); // Done
    end_with_result(setup, "remove_all_result");
}

TEST_F(WholeProduct, InstalledGraphicallyLikeFromTheCommandLineThenMaintainedAndRemoved)
{
    ASSERT_NO_FATAL_FAILURE(graphical_installation());
    const Tree graphical = comparable_tree(guiRoot);
    const std::string graphicalChestrc = without(read_file(home + "/.auxchestrc"), guiRoot);
    EXPECT_NE(read_file(product + "SetupFiles/setup.log").find("Installation Completed\n"), std::string::npos);

    // The same configuration from the command line, into another root.
    RunResult cmdline = qvtest::run({"/usr/bin/timeout", "120", qvtest::harness("QV_SETUP"), "-cmdline", "-noroot",
                                     "-from", cdinst, "-dest", cmdlineRoot},
                                    {{"HOME", cmdlineHome}, {"QVINST_NOROOT", std::nullopt}});
    ASSERT_EQ(cmdline.status, 0) << cmdline.err;
    EXPECT_EQ(cmdline.err, "");
    const Tree fromCommandLine = comparable_tree(cmdlineRoot);
    ASSERT_GT(graphical.size(), 30u);
    EXPECT_EQ(graphical, fromCommandLine) << qvtest::differences(graphical, fromCommandLine);
    EXPECT_EQ(graphicalChestrc, without(read_file(cmdlineHome + "/.auxchestrc"), cmdlineRoot));

    ASSERT_NO_FATAL_FAILURE(maintenance());
    for (const char *gone : {"bin/qvdemo", "bin/qvdemo-2.4", "bin/qv", "etc/site.conf", "doc/RELEASE-NOTES",
                             "doc/manual/intro.txt", "samples/hello.qv", "tools/bin/qvtool", "cdinst.dat",
                             "SetupFiles/.QuorvantaDemo.his", "SetupFiles/demo_setup.so"})
        EXPECT_FALSE(exists(product + gone)) << gone;
    EXPECT_FALSE(exists(guiRoot + "/Quorvanta/fonts/qvsans.txt"));
    const std::string log = read_file(product + "SetupFiles/setup.log");
    EXPECT_NE(log.find("Running in Maintenance mode\nRemoving All Files\n"), std::string::npos) << log;
}

} // namespace
