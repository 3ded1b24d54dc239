// The graphical parent's reader of the install child's protocol lines, on a
// real display: a stand-in child process writes into a real pipe, and the
// progress dialog, the status box, the error question, the log and the ways
// the run ends are observed. The reader keeps its state for the whole
// process, so every case runs in a fresh copy of the test program.
#include "support/xfixture.h"
#include "support/fresh_process.h"

#include <signal.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <Xm/Form.h>
#include <Xm/MessageB.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "engine/descendants.h"
#include "engine/driver.h"
#include "engine/install.h"
#include "engine/util.h"
#include "support/capture.h"
#include "wizard/glue.h"
#include "wizard/wizard_medium.h"

namespace {

using qvtest::box_child;
using qvtest::find;
using qvtest::label_text;
using qvtest::press_box;

// A stand-in install child and the pipe it would write to. The test holds
// the write end as the real parent does (and writes the child's lines
// itself, unless the child's body does).
class StandInRun {
public:
    explicit StandInRun(Widget mainShell, std::function<void(int)> body = {})
    {
        if (pipe(fds_) != 0)
            ADD_FAILURE() << "pipe";
        child_ = fork();
        if (child_ == 0) {
            close(fds_[0]);
            if (body)
                body(fds_[1]);
            else
                for (;;)
                    pause();
            _exit(0);
        }
        QV_instCreateProgressBar(mainShell, fds_[0], child_);
    }
    ~StandInRun()
    {
        kill(child_, SIGKILL);
        waitpid(child_, nullptr, 0);
    }
    void send(const std::string &lines) const
    {
        if (write(fds_[1], lines.data(), lines.size()) != static_cast<ssize_t>(lines.size()))
            ADD_FAILURE() << "write";
    }
    pid_t child() const { return child_; }

private:
    int fds_[2] = {-1, -1};
    pid_t child_ = -1;
};

// Where the current copy of the test program keeps its history file and
// log: a copy that ends through exit reports on them from an atexit handler.
std::string g_history;
std::string g_log;

void report_history_at_exit()
{
    std::atexit([] { std::fprintf(stderr, "history %s\n", qvtest::exists(g_history) ? "kept" : "removed"); });
}

void report_log_at_exit()
{
    std::atexit([] { std::fprintf(stderr, "log:\n%s", qvtest::try_read_file(g_log).value_or("").c_str()); });
}

// The verdict a run leaves: the log's last line, reported at exit.
void report_verdict_at_exit()
{
    std::atexit([] {
        std::string log = qvtest::try_read_file(g_log).value_or("");
        if (!log.empty() && log.back() == '\n')
            log.pop_back();
        std::fprintf(stderr, "verdict: %s\n", log.substr(log.rfind('\n') + 1).c_str());
    });
}

// A stand-in child that writes lines, then ends.
std::function<void(int)> writes(std::string lines)
{
    return [lines](int fd) {
        if (write(fd, lines.data(), lines.size()) < 0)
            _exit(2);
    };
}

class ProgressReader : public qvtest::XTest {
protected:
    void SetUp() override
    {
        XTest::SetUp();
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        medium.load_simple();
        qvtest::make_dirs(destination() + "/SetupFiles");
        qvtest::write_file(history(), "history\n");
        QV_instInitLogfile(log().c_str());
        g_history = history();
        g_log = log();
    }
    std::string destination() const { return medium.root() + "/QvTest"; }
    std::string history() const { return destination() + "/SetupFiles/.QvTest.his"; }
    std::string log() const { return medium.root() + "/install.log"; }
    std::string log_text() const { return qvtest::try_read_file(log()).value_or(""); }

    qvtest::WizardMedium medium;
};

// Answers the next OK/Cancel box from the event loop, after printing its
// message and buttons on stderr as "[message][ok][cancel]".
void answer_box(unsigned char button)
{
    qvtest::when_found("*mbOkCancel", [button](Widget box) {
        std::fprintf(stderr, "[%s][%s][%s]\n", label_text(box_child(box, XmDIALOG_MESSAGE_LABEL)).c_str(),
                     label_text(box_child(box, XmDIALOG_OK_BUTTON)).c_str(),
                     XtIsManaged(box_child(box, XmDIALOG_CANCEL_BUTTON))
                         ? label_text(box_child(box, XmDIALOG_CANCEL_BUTTON)).c_str()
                         : "");
        press_box(box, button);
    });
}

TEST_F(ProgressReader, MarkersAndProgressLinesDriveTheDialog)
{
    QV_IN_FRESH_PROCESS([&] {
        SetProgressBarTotalSize(200);
        QV_instDebug = 2; // the reader then prints each progress line's arithmetic
        StandInRun run(mainShell());
        ASSERT_NE(mbProgress, nullptr);
        XtPointer data = nullptr;
        XtVaGetValues(mbProgress, XmNuserData, &data, nullptr);
        EXPECT_EQ(reinterpret_cast<intptr_t>(data), run.child());

        qvtest::CaptureFd out(STDOUT_FILENO);
        // Directories made before the fork arrive before the dialog shows.
        run.send("+1 mkdir /dst/SetupFiles\n");
        qvtest::pump(100);
        EXPECT_FALSE(XtIsManaged(mbProgress));

        run.send("# Start installation\n# Removing files\n");
        ASSERT_TRUE(qvtest::wait_until([] { return XtIsManaged(mbProgress); }));
        EXPECT_EQ(label_text(laProgressAction), "Removing files:");

        run.send("+49 /src/a /dst/a\n");
        ASSERT_TRUE(qvtest::wait_until([] { return label_text(laProgressDestination) == "/dst/a"; }));
        run.send("+50 /dst/removed\n");
        ASSERT_TRUE(qvtest::wait_until([] { return label_text(laProgressDestination) == "/dst/removed"; }));

        // A line split across two reads is acted on once, when complete;
        // empty lines are nothing.
        run.send("\n\n# Installing files\n+10 /src/b");
        qvtest::pump(100);
        EXPECT_EQ(label_text(laProgressAction), "Destination files:");
        EXPECT_EQ(label_text(laProgressDestination), "/dst/removed");
        run.send(" /dst/b\n\n");
        ASSERT_TRUE(qvtest::wait_until([] { return label_text(laProgressDestination) == "/dst/b"; }));
        qvtest::screenshot("progress_reader_dialog");

        // A line far beyond the protocol's length neither overruns nor
        // stalls the reader: the registry markers after it still work.
        run.send("#" + std::string(20000, 'x') + "\n# Updating the registry\n");
        ASSERT_TRUE(qvtest::wait_until([] { return find("*mbMessage") != nullptr; }));
        EXPECT_EQ(label_text(box_child(find("*mbMessage"), XmDIALOG_MESSAGE_LABEL)), "Updating the system registry");
        run.send("# Done updating the registry\n");
        ASSERT_TRUE(qvtest::wait_until([] { return find("*mbMessage") == nullptr; }));

        run.send("# Pass Installation completed\n");
        ASSERT_TRUE(qvtest::wait_until([] { return find("*dsProgress") == nullptr; }));
        EXPECT_EQ(mbProgress, nullptr);
        // What a module reports later counts, with nothing to draw on.
        run.send("+41 /dst/late\n0 Can't create file /dst/c\n#Log:a module's note\n");
        qvtest::pump(200);
        EXPECT_EQ(out.finish(), "s_ulTotalSize=200 s_ulSize=1 ulSize=1 -> caSource=mkdir -> 0\n"
                                "s_ulTotalSize=200 s_ulSize=50 ulSize=49 -> caSource=/src/a -> 25\n"
                                "s_ulTotalSize=200 s_ulSize=100 ulSize=50 -> caSource=/dst/removed -> 50\n"
                                "s_ulTotalSize=200 s_ulSize=110 ulSize=10 -> caSource=/src/b -> 55\n"
                                "s_ulTotalSize=200 s_ulSize=151 ulSize=41 -> caSource=/dst/late -> 75\n");
        EXPECT_NE(log_text().find("a module's note\n"), std::string::npos) << log_text();
    });
}

TEST_F(ProgressReader, WithoutATotalEveryLineShowsAHundredPercent)
{
    QV_IN_FRESH_PROCESS([&] {
        SetProgressBarTotalSize(0);
        QV_instDebug = 2;
        StandInRun run(mainShell());
        qvtest::CaptureFd out(STDOUT_FILENO);
        run.send("+10 /a /b\n+20 /c\n");
        qvtest::pump(200);
        EXPECT_EQ(out.finish(), "s_ulTotalSize=0 s_ulSize=0 ulSize=10 -> caSource=/a -> 100\n"
                                "s_ulTotalSize=0 s_ulSize=0 ulSize=20 -> caSource=/c -> 100\n");
    });
}

// A destination (or medium) with blanks in its name: the dialog shows the
// destination path whole, not the word after the first blank.
TEST_F(ProgressReader, PathsWithBlanksAreShownWhole)
{
    QV_IN_FRESH_PROCESS([&] {
        std::free(CDInstPtr->rootDest);
        CDInstPtr->rootDest = strdup("/my disk/apps");
        SetProgressBarTotalSize(1000);
        StandInRun run(mainShell());
        run.send("# Start installation\n# Installing files\n");
        ASSERT_TRUE(qvtest::wait_until([] { return XtIsManaged(mbProgress); }));
        const struct {
            const char *line;
            const char *shown;
        } rows[] = {
            {"+10 /cd/bin/qv /my disk/apps/Qv/bin/qv\n", "/my disk/apps/Qv/bin/qv"},
            {"+10 /my cd/read me /my disk/apps/Qv/read me\n", "/my disk/apps/Qv/read me"},
            {"+10 /cd/docs.tar /my disk/apps/Qv/doc/a b.txt\n", "/my disk/apps/Qv/doc/a b.txt"},
            {"+10 /cd/common.tar /my disk/apps/Quorvanta/fonts\n", "/my disk/apps/Quorvanta/fonts"},
            {"+1 mkdir /my disk/apps/Qv/var log\n", "/my disk/apps/Qv/var log"},
            {"+10 /my disk/apps/Qv/old file\n", "/my disk/apps/Qv/old file"},
            // Nothing below the destination: the second word, else the first.
            {"+1 Softlink qv\n", "qv"},
            {"+10 /cd/x /elsewhere/x\n", "/elsewhere/x"},
            {"+10 /elsewhere/y\n", "/elsewhere/y"},
        };
        for (const auto &row : rows) {
            run.send(row.line);
            EXPECT_TRUE(qvtest::wait_until([&] { return label_text(laProgressDestination) == row.shown; }))
                << row.line << "shows " << label_text(laProgressDestination);
        }
    });
}

// While the question waits the child is stopped and the pipe is not read;
// "Yes" logs the message, resumes the child and reads on.
TEST_F(ProgressReader, AnErrorStopsTheChildUntilYes)
{
    QV_IN_FRESH_PROCESS([&] {
        StandInRun run(mainShell());
        run.send("# Start installation\n# Removing files\n-1 Disk full\n");
        bool asked = false;
        qvtest::when_found("*mbOkCancel", [&](Widget box) {
            asked = true;
            EXPECT_EQ(label_text(box_child(box, XmDIALOG_MESSAGE_LABEL)), "Disk full\nDo you wish to continue?");
            EXPECT_EQ(label_text(box_child(box, XmDIALOG_OK_BUTTON)), "Yes");
            EXPECT_EQ(label_text(box_child(box, XmDIALOG_CANCEL_BUTTON)), "No");
            EXPECT_EQ(qvtest::process_state(run.child()), 'T');
            run.send("# Installing files\n");
            qvtest::pump(200);
            EXPECT_EQ(label_text(laProgressAction), "Removing files:") << "the pipe was read during the question";
            qvtest::screenshot("progress_reader_error_question");
            press_box(box, XmDIALOG_OK_BUTTON);
        });
        ASSERT_TRUE(qvtest::wait_until([&] { return asked && label_text(laProgressAction) == "Destination files:"; }));
        EXPECT_NE(qvtest::process_state(run.child()), 'T');
        EXPECT_NE(log_text().find("Disk full\n"), std::string::npos) << log_text();

        // A bare "-1" is its own message and is not logged.
        const std::string before = log_text();
        answer_box(XmDIALOG_OK_BUTTON);
        run.send("-1\n# Removing files\n");
        ASSERT_TRUE(qvtest::wait_until([] { return label_text(laProgressAction) == "Removing files:"; }));
        EXPECT_EQ(log_text(), before);
    });
}

TEST_F(ProgressReader, AbortOrNoKillsTheChildAndForgetsAFirstInstallation)
{
    EXPECT_EXIT(
        {
            report_verdict_at_exit();
            report_history_at_exit();
            StandInRun run(mainShell());
            run.send("-1 abort\n");
            XtAppMainLoop(app());
        },
        ::testing::ExitedWithCode(1), "^history removed\nverdict: Error during the installation\n$");
    EXPECT_EXIT(
        {
            report_verdict_at_exit();
            report_history_at_exit();
            answer_box(XmDIALOG_CANCEL_BUTTON);
            StandInRun run(mainShell());
            run.send("-1 Disk full\n");
            XtAppMainLoop(app());
        },
        ::testing::ExitedWithCode(1), "^\\[Disk full\nDo you wish to continue\\?\\]\\[Yes\\]\\[No\\]\nhistory removed\n"
                                      "verdict: Error during the installation\n$");
}

TEST_F(ProgressReader, AStoppedMaintenanceOrRemoveAllRunKeepsTheHistory)
{
    for (const char *kind : {"maintenance", "remove all"}) {
        EXPECT_EXIT(
            {
                report_history_at_exit();
                if (std::string(kind) == "maintenance")
                    mbMaintenance = mainShell();
                else
                    qv::install_run().removeAll = 1;
                StandInRun run(mainShell());
                run.send("-1 abort\n");
                XtAppMainLoop(app());
            },
            ::testing::ExitedWithCode(1), "^history kept\n$")
            << kind;
    }
}

// The end of the run: the offer to view the log (unless the description
// turns it off), then the result, then exit code 0 whatever the outcome.
TEST_F(ProgressReader, TheFinalMarkerEndsWithTheResult)
{
    struct Row {
        const char *lines;
        bool displayLog;
        const char *output;
    };
    const Row rows[] = {
        {"# Installation completed\n", false,
         "^\\[Setup completed successfully\n\\]\\[OK\\]\\[\\]\nverdict: Installation Completed\n$"},
        {"-1 Disk full\n# Error during installation\n# Installation completed\n", false,
         "^\\[Disk full\nDo you wish to continue\\?\\]\\[Yes\\]\\[No\\]\n"
         "\\[Setup did not complete successfully\n\\]\\[OK\\]\\[\\]\nverdict: Error during the installation\n$"},
        // An error line of a module that then returned 0: no error marker.
        {"-1 Disk full\n# Installation completed\n", false,
         "^\\[Disk full\nDo you wish to continue\\?\\]\\[Yes\\]\\[No\\]\n"
         "\\[Setup did not complete successfully\n\\]\\[OK\\]\\[\\]\nverdict: Error during the installation\n$"},
        {"# Error during installation\n# Installation completed\n", true,
         "^view log offered\n\\[Setup did not complete successfully\n\\]\\[OK\\]\\[\\]\n"
         "verdict: Error during the installation\n$"},
    };
    for (const Row &row : rows) {
        EXPECT_EXIT(
            {
                CDInstPtr->displayLog = row.displayLog;
                report_verdict_at_exit();
                qvtest::when_found("*mbViewlog", [](Widget offer) {
                    std::fputs("view log offered\n", stderr);
                    press_box(offer, XmDIALOG_OK_BUTTON);
                });
                answer_box(XmDIALOG_OK_BUTTON);
                answer_box(XmDIALOG_OK_BUTTON);
                StandInRun run(mainShell(), writes(row.lines));
                XtAppMainLoop(app());
            },
            ::testing::ExitedWithCode(0), row.output)
            << row.lines;
    }
}

// The child still works after its final marker, or was stopped there (the
// Cancel question stops it, and it is let go once seen stopped): the
// result waits for its end.
TEST_F(ProgressReader, TheResultWaitsForTheChildToEnd)
{
    const std::string finished = medium.root() + "/child-finished";
    // What the child does after its final marker; the last row stops it
    // before the marker is read, long enough for the watch to see it.
    struct Row {
        void (*pause)();
        bool stoppedBeforeTheMarker;
    } rows[] = {{[] { usleep(500 * 1000); }, false}, {[] { raise(SIGSTOP); }, false}, {[] { raise(SIGSTOP); }, true}};
    for (const Row &row : rows) {
        qvtest::remove_tree(finished);
        EXPECT_EXIT(
            {
                CDInstPtr->displayLog = 0;
                qvtest::when_found("*mbOkCancel", [&](Widget box) {
                    std::fprintf(stderr, "child finished: %s\n", qvtest::exists(finished) ? "yes" : "no");
                    press_box(box, XmDIALOG_OK_BUTTON);
                });
                StandInRun run(mainShell(), [&](int fd) {
                    const char last[] = "# Installation completed\n";
                    if (!row.stoppedBeforeTheMarker && write(fd, last, sizeof last - 1) < 0)
                        _exit(2);
                    row.pause();
                    qvtest::write_file(finished, "");
                });
                if (row.stoppedBeforeTheMarker) {
                    qvtest::pump(1000);
                    run.send("# Installation completed\n");
                }
                XtAppMainLoop(app());
            },
            ::testing::ExitedWithCode(0), "^child finished: yes\n$");
    }
    // A stop signal meanwhile stops the run.
    EXPECT_EXIT(
        {
            report_verdict_at_exit();
            StandInRun run(mainShell(), [](int fd) {
                writes("# Installation completed\n")(fd);
                // Once the parent catches SIGTERM (bit 15 of its mask).
                for (unsigned long caught = 0; !(caught & (1ul << (SIGTERM - 1))); usleep(10 * 1000)) {
                    std::ifstream status("/proc/" + std::to_string(getppid()) + "/status");
                    for (std::string line; std::getline(status, line);)
                        if (line.rfind("SigCgt:", 0) == 0)
                            caught = std::stoul(line.substr(7), nullptr, 16);
                }
                kill(getppid(), SIGTERM);
                for (;;)
                    pause();
            });
            XtAppMainLoop(app());
        },
        ::testing::ExitedWithCode(1), "^verdict: Installation interrupted\n$");
}

// A child that dies without its final marker (killed, crashed) does not
// leave setup waiting: what it wrote is still handled, then the run ends
// as failed.
TEST_F(ProgressReader, AChildThatDiesEndsTheRunAsFailed)
{
    EXPECT_EXIT(
        {
            CDInstPtr->displayLog = 0;
            report_log_at_exit();
            answer_box(XmDIALOG_OK_BUTTON);
            StandInRun run(mainShell(), [](int fd) {
                writes("# Start installation\n#Log:last words\n")(fd);
                raise(SIGKILL);
            });
            XtAppMainLoop(app());
        },
        ::testing::ExitedWithCode(0), "^\\[Setup did not complete successfully\n\\]\\[OK\\]\\[\\]\nlog:\nlast words\n"
                                      "Error: the installation did not complete \\(the install child was killed by "
                                      "signal 9\\)\nError during the installation\n$");
    // Lost while "Quit Setup?" or the error question waits, which holds
    // the command below it stopped too: the question goes with the run, no
    // end-of-setup dialog follows, and setup exits with 1.
    for (const char *lines : {"# Start installation\n", "# Start installation\n-1 Disk full\n"}) {
        EXPECT_EXIT(
            {
                qv::become_subreaper(); // as the driver makes setup, for the command
                report_verdict_at_exit();
                qvtest::when_found("*mbViewlog", [](Widget) {
                    std::fputs("view-log offered\n", stderr);
                    std::exit(0);
                });
                StandInRun run(mainShell(), [](int) { // it and its command wait
                    fork();
                    for (;;)
                        pause();
                });
                run.send(lines);
                qvtest::when_found("*mbOkCancel", [&run](Widget) {
                    const std::string self = std::to_string(run.child());
                    std::ifstream children("/proc/" + self + "/task/" + self + "/children");
                    pid_t command = 0;
                    children >> command;
                    std::fprintf(stderr, "command %c\n", qvtest::process_state(command));
                    kill(run.child(), SIGKILL);
                });
                qvtest::when_found("*mbProgress", [](Widget box) { press_box(box, XmDIALOG_CANCEL_BUTTON); });
                XtAppMainLoop(app());
            },
            ::testing::ExitedWithCode(1), "^command T\nverdict: Error during the installation\n$")
            << lines;
    }
}

TEST_F(ProgressReader, AReadErrorIsFatal)
{
    EXPECT_EXIT(
        {
            answer_box(XmDIALOG_OK_BUTTON);
            int closed = -1;
            XtInputId id = 0;
            UpdateProgressBar(nullptr, &closed, &id);
        },
        ::testing::ExitedWithCode(1), "^\\[Internal error: UpdateProgressBar\\]\\[OK\\]\\[\\]\n$");
}

// The install action ends setup for a configuration it cannot take (with a
// box, which a wizard user sees), and leaves the dialog in place when a
// check refuses.
TEST_F(ProgressReader, TheInstallActionRefusesWhatItCannotInstall)
{
    _QV_InstConfigList list{};
    list.type = QV_CONFIG_CUSDLG;
    _QV_InstConfigList nested{};
    nested.type = QV_CONFIG_CUSDLG;
    nested.parent = &list;
    for (_QV_InstConfigList *config : {static_cast<_QV_InstConfigList *>(nullptr), &list, &nested}) {
        EXPECT_EXIT(
            {
                dup2(STDERR_FILENO, STDOUT_FILENO);
                answer_box(XmDIALOG_OK_BUTTON);
                QV_instMoveFiles(nullptr, config);
            },
            ::testing::ExitedWithCode(1),
            "\\*\\*\\* Unable to move files\n\\[\\*\\*\\* Unable to move files\\]\\[OK\\]\\[\\]\n$");
    }

    // The suite is installed and stays selected: nothing to do.
    _QV_InstConfigList *suite = QV_instGetConfigFromId(CDInstPtr, 3);
    ASSERT_NE(suite, nullptr);
    suite->installed = 1;
    suite->selected = 1;
    Widget dialog = XtVaCreatePopupShell("dsSomeDialog", topLevelShellWidgetClass, mainShell(), nullptr);
    Widget inside = XtVaCreateManagedWidget("form", xmFormWidgetClass, dialog, nullptr);
    std::string said;
    qvtest::when_found("*mbOkCancel", [&](Widget box) {
        said = label_text(box_child(box, XmDIALOG_MESSAGE_LABEL));
        press_box(box, XmDIALOG_OK_BUTTON);
    });
    EXPECT_EQ(QV_instMoveFiles(inside, suite), 0);
    EXPECT_EQ(said, "Nothing to Install/Remove");
    qvtest::pump(50);
    EXPECT_EQ(find("*dsSomeDialog"), dialog) << "the dialog must stay";
    EXPECT_EQ(mbProgress, nullptr);
}

// Once the checks have passed the dialog is destroyed; a run that then
// cannot start (here: no descriptor left for the pipe) ends setup instead
// of leaving it without any window.
TEST_F(ProgressReader, ARunThatCannotStartEndsSetup)
{
    _QV_InstConfigList *suite = QV_instGetConfigFromId(CDInstPtr, 3);
    ASSERT_NE(suite, nullptr);
    EXPECT_EXIT(
        {
            Widget dialog = XtVaCreatePopupShell("dsSomeDialog", topLevelShellWidgetClass, mainShell(), nullptr);
            Widget inside = XtVaCreateManagedWidget("form", xmFormWidgetClass, dialog, nullptr);
            int lowest = open("/dev/null", O_RDONLY);
            close(lowest);
            struct rlimit none;
            none.rlim_cur = none.rlim_max = static_cast<rlim_t>(lowest);
            setrlimit(RLIMIT_NOFILE, &none);
            QV_instMoveFiles(inside, suite);
        },
        ::testing::ExitedWithCode(1), "Error creating pipe\n");
}

} // namespace
