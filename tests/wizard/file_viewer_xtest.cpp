// The file viewer that modules open: a window in a process of its own,
// filled once, shortly after it appears; its Quit ends that process.
#include "support/xfixture.h"
#include "support/fresh_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <Xm/Text.h>

#include <set>
#include <string>
#include <thread>

#include "support/capture.h"
#include "support/testutil.h"
#include "wizard/glue.h"

namespace {

class FileViewer : public qvtest::XTest {
protected:
    void SetUp() override
    {
        XTest::SetUp();
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
    qvtest::ScratchDir scratch{"viewer"};
};

// Visible windows with this title on the test's display.
std::string windows_named(const std::string &title)
{
    return qvtest::run({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}).out;
}

int ignore_x_errors(Display *, XErrorEvent *)
{
    return 0;
}

// The pop-up windows on the screen (menus once posted): windows of the
// root that the window manager is not asked about. A window that goes
// while it is looked at is left out.
std::set<Window> popups_on_screen(Display *display)
{
    std::set<Window> popups;
    XSync(display, False);
    XErrorHandler previous = XSetErrorHandler(ignore_x_errors);
    Window root = 0;
    Window parent = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(display, children[i], &attributes) && attributes.override_redirect &&
                attributes.map_state == IsViewable)
                popups.insert(children[i]);
        }
        XFree(children);
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    return popups;
}

TEST_F(FileViewer, OpensAWindowOfItsOwnAndAnswersAtOnce)
{
    const std::string file = scratch / "notes.txt";
    qvtest::write_file(file, "line one\nline two\n");
    XtVaSetValues(mainShell(), XmNtitle, "Viewer Test", nullptr);
    const int pid = ViewFile(mainShell(), file.c_str());
    ASSERT_GT(pid, 0);
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "the answer comes while the viewer runs";
    // The caller's own connection goes on working meanwhile.
    EXPECT_TRUE(qvtest::wait_until([] { return !windows_named("Viewer Test").empty(); }));
    qvtest::pump(2000);
    qvtest::screenshot("file_viewer");
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "the viewer runs until Quit";

    // File > Quit, clicked as a user would, ends the viewer with 0.
    std::string window = windows_named("Viewer Test");
    window = window.substr(0, window.find('\n'));
    const std::set<Window> before = popups_on_screen(display());
    qvtest::run({"/usr/bin/xdotool", "mousemove", "--window", window, "--sync", "20", "12", "click", "1"});
    EXPECT_TRUE(qvtest::wait_until([&] {
        for (Window w : popups_on_screen(display())) {
            if (!before.count(w))
                return true;
        }
        return false;
    })) << "the File menu did not open";
    qvtest::run({"/usr/bin/xdotool", "mousemove", "--window", window, "--sync", "25", "42", "click", "1"});
    int status = -1;
    EXPECT_TRUE(qvtest::wait_until([&] { return waitpid(pid, &status, WNOHANG) == pid; }));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    if (!WIFEXITED(status)) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

// The load: once, after its timer, and only when the file's size and time
// both changed since the last load (an empty file is never loaded).
TEST_F(FileViewer, LoadsTheFileOnceFromItsTimer)
{
    QV_IN_FRESH_PROCESS([&] {
        const std::string file = scratch / "log.txt";
        qvtest::write_file(file, "");
        text = XmCreateScrolledText(mainShell(), const_cast<char *>("text"), nullptr, 0);
        XtIntervalId id = 77;
        g_xTimer = id;
        QV_instCheckLogfile(const_cast<char *>(file.c_str()), &id);
        EXPECT_EQ(XmTextGetLastPosition(text), 0) << "an empty file is not loaded";

        const std::string content = std::string(600, 'x') + "\nsecond\n";
        qvtest::write_file(file, content);
        XtIntervalId other = 78;
        QV_instCheckLogfile(const_cast<char *>(file.c_str()), &other);
        EXPECT_EQ(XmTextGetLastPosition(text), 0) << "not this viewer's timer";
        g_xTimer = id;
        QV_instCheckLogfile(const_cast<char *>(file.c_str()), &id);
        EXPECT_EQ(qvtest::text_of(text), content);

        qvtest::CaptureFd out(STDOUT_FILENO);
        g_xTimer = id;
        QV_instCheckLogfile(const_cast<char *>((scratch / "gone").c_str()), &id);
        EXPECT_EQ(out.finish(), "Can't stat " + scratch / "gone" + "\n");
    });
}

TEST_F(FileViewer, QuitEndsTheViewerWithZero)
{
    EXPECT_EXIT(
        {
            menuCB(nullptr, reinterpret_cast<XtPointer>(1), nullptr);
            std::fputs("other entries do nothing\n", stderr);
            menuCB(nullptr, reinterpret_cast<XtPointer>(3), nullptr);
            std::fputs("still running\n", stderr);
        },
        ::testing::ExitedWithCode(0), "^other entries do nothing\n$");
}

} // namespace
