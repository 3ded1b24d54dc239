// The graphical side of an installation run: the wizard's install action,
// the install child's own display connection, and the parent's reader that
// turns the child's protocol lines into the progress dialog, the questions
// after errors and the end of setup.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include <Xm/Xm.h>

#include "engine/cdinst.h"
#include "engine/descendants.h"
#include "engine/driver.h"
#include "engine/install.h"
#include "engine/internal.h"
#include "engine/unfinished.h"
#include "engine/util.h"
#include "wizard/glue.h"
#include "wizard/maintenance.h"
#include "wizard/startup.h"

namespace {

// How often the parent looks whether the install child is still there.
constexpr unsigned long kChildWatchMs = 250;

// Reads of the graphical reader: at most this many bytes, less the text
// carried from the previous read.
constexpr size_t kReadBuffer = 4999;

// What the graphical reader keeps between calls.
struct Reader {
    qv::LineSplitter lines;
    XtInputId input = 0;       // the input callback on the pipe, 0 when removed
    XtIntervalId watch = 0;    // the timer that looks after the child
    int busy = 0;              // inside the reader (a question may be waiting)
    bool childReaped = false;  // the child's exit status has been collected
    int childStatus = 0;       // that status, as waitpid gives it
    XtInputId stopInput = 0;   // the input callback on the stop signals' pipe
    int questions = 0;         // questions waiting ("Quit Setup?", the error question)
    qv::Descendants paused;    // the commands a question holds stopped
    bool endWaits = false;     // the final marker came while a question waited
    // The root destination, which no dialog can change once a run has begun.
    std::string root;
    bool rootKnown = false;
};

Reader &reader()
{
    static Reader r;
    return r;
}

Widget main_shell()
{
    return QV_instGetMainTopLevelShell();
}

volatile sig_atomic_t g_stopSignal = 0;
int stop_signal_fd();

// Collects the child's exit status at the end of a run. Nothing may keep
// it stopped: a Cancel question that the final marker overtook may have
// held it, and it is continued when it is seen stopped. A stop signal
// meanwhile stops the run.
void wait_for_child_end()
{
    Reader &r = reader();
    pid_t child = qv::install_run().child;
    while (!r.childReaped && child > 0) {
        if (g_stopSignal)
            qv::interrupt_run(child, 1);
        pid_t got = waitpid(child, &r.childStatus, WNOHANG | WUNTRACED);
        if (got == child && WIFSTOPPED(r.childStatus)) {
            kill(child, SIGCONT);
            continue;
        }
        if (got == child || (got < 0 && errno != EINTR)) {
            if (got < 0)
                r.childStatus = 0;
            r.childReaped = true;
            return;
        }
        // A stop signal cuts the pause short.
        struct pollfd stop = {stop_signal_fd(), POLLIN, 0};
        poll(&stop, 1, 50);
    }
}

// The stop signals stay caught meanwhile: a run that is ending still ends
// as it began to, whatever signal comes.
void stop_reading()
{
    Reader &r = reader();
    if (r.input) {
        XtRemoveInput(r.input);
        r.input = 0;
    }
    if (r.watch) {
        XtRemoveTimeOut(r.watch);
        r.watch = 0;
    }
}

void ok_box(const char *text)
{
    QV_instOkCancelMessageBox(main_shell(), text, "OK", nullptr, nullptr);
}

// During a run the wizard's stop signals are noted on a pipe, whose reader
// ends the run from the event loop as Cancel then Yes does.
using qv::kStopSignals;

struct StopPipe {
    int fds[2] = {-1, -1};
    struct sigaction old[std::size(kStopSignals)];
    bool caught[std::size(kStopSignals)] = {};
};

StopPipe &stop_pipe()
{
    static StopPipe p;
    return p;
}

int stop_signal_fd()
{
    return stop_pipe().fds[0];
}

void note_stop_signal(int sig)
{
    int saved = errno;
    g_stopSignal = sig;
    char byte = 1;
    if (write(stop_pipe().fds[1], &byte, 1) < 0) {
        // The pipe is full: a stop is noted already.
    }
    errno = saved;
}

void stop_signal_noted(XtPointer, int *, XtInputId *)
{
    qv::interrupt_run(qv::install_run().child, 1);
}

// Ends the run when the display is gone: no window can ask or tell any
// more, and the run would otherwise leave no verdict.
int display_lost(Display *)
{
    std::fputs("Error: the connection to the display was lost\n", stderr);
    qv::interrupt_run(qv::install_run().child, 1);
}

void catch_stop_signals(XtAppContext app)
{
    StopPipe &p = stop_pipe();
    if (p.fds[0] < 0 && pipe2(p.fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction sa = {};
    sigemptyset(&sa.sa_mask);
    sa.sa_handler = note_stop_signal;
    sa.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kStopSignals); ++i) {
        if (!qv::signal_ignored(kStopSignals[i]))
            p.caught[i] = sigaction(kStopSignals[i], &sa, &p.old[i]) == 0;
    }
    reader().stopInput = XtAppAddInput(app, p.fds[0], reinterpret_cast<XtPointer>(XtInputReadMask),
                                       stop_signal_noted, nullptr);
    XSetIOErrorHandler(display_lost);
}

// Once the run's verdict is written, the signals act as they did before it.
void release_stop_signals()
{
    StopPipe &p = stop_pipe();
    for (size_t i = 0; i < std::size(kStopSignals); ++i)
        if (p.caught[i])
            sigaction(kStopSignals[i], &p.old[i], nullptr);
    std::fill(std::begin(p.caught), std::end(p.caught), false);
    Reader &r = reader();
    if (r.stopInput) {
        XtRemoveInput(r.stopInput);
        r.stopInput = 0;
    }
    XSetIOErrorHandler(nullptr);
}

// The end of every run that got as far as its end: the end-of-setup
// dialogs, then the result. The child still fixes the registry's mode and
// may remove the history file after its last line; the result is shown
// once it has really finished.
[[noreturn]] void finish_run()
{
    // A stop signal that came with the end (Ctrl-C reaches the child too),
    // or before the child has exited, still stops the run.
    if (g_stopSignal)
        qv::interrupt_run(qv::install_run().child, 1);
    stop_reading();
    wait_for_child_end();
    qv::collect_adopted(qv::install_run().child, qv::install_run().childStart);
    if (g_stopSignal)
        qv::interrupt_run(qv::install_run().child, 1);
    // A child that failed after its final marker (a module's destructor
    // crashing at exit) did not end cleanly either.
    Reader &r = reader();
    if (r.childReaped && !qv::child_succeeded(r.childStatus) && !qv::install_run().errorFlag) {
        qv::install_run().errorFlag = 1;
        QV_instUpdateLogfile("%s\n", qv::death_text(r.childStatus).c_str());
    }
    qv::log_verdict();
    // A first installation that failed is not offered for maintenance at
    // the next start: that run installs it again.
    if (qv::install_run().errorFlag && qv::first_installation())
        QV_RemoveHistoryFile(QV_instGetDestinationDirectory());
    release_stop_signals();
    QV_instPopupAfterMoveDataDialogs(main_shell());
    ok_box(qv::install_run().errorFlag == 0 ? "Setup completed successfully\n"
                                            : "Setup did not complete successfully\n");
    std::exit(0);
}

// The child ended while a question waited: the question goes with the run
// (and so does the progress dialog), and no end-of-setup dialog follows.
// A stop signal, to setup or to the child (the hang-up of an orphaned
// background job), makes it an interrupted run; any other end a failed
// one. Either way setup exits with 1.
[[noreturn]] void end_during_question()
{
    Reader &r = reader();
    stop_reading();
    r.childStatus = qv::stop_install_child(qv::install_run().child);
    r.childReaped = true;
    if (g_stopSignal || qv::stopped_by_signal(r.childStatus)) {
        QV_instUpdateLogfile("Installation interrupted\n");
    } else {
        QV_instUpdateLogfile("%s\n", qv::death_text(r.childStatus).c_str());
        qv::install_run().errorFlag = 1;
        qv::log_verdict();
    }
    if (qv::first_installation())
        QV_RemoveHistoryFile(QV_instGetDestinationDirectory());
    std::exit(1);
}

// The user stopped the run after an error (or the child reported "abort").
// A first installation that stops leaves no history, so the next start
// does not offer maintenance of what is only partly there.
[[noreturn]] void stop_run()
{
    stop_reading();
    signal(SIGCHLD, SIG_IGN);
    // The history is removed only once the child can no longer write it.
    if (!reader().childReaped)
        qv::stop_install_child(qv::install_run().child);
    reader().childReaped = true;
    QV_instUpdateLogfile("Error during the installation\n");
    if (qv::first_installation())
        QV_RemoveHistoryFile(QV_instGetDestinationDirectory());
    std::exit(1);
}

// The path the progress dialog shows of a line whose words after the count
// are `words`: the second word, or the first when there is one only. Words
// are split at blanks, so a path with blanks in its name (the destination's
// or the medium's) would be shown in pieces. A word where a path below the
// root destination begins starts the shown path instead, which then runs to
// the end of the line: every line that names a destination path ends with it.
const char *shown_path(const char *words, const char *first, const char *second)
{
    Reader &r = reader();
    if (!r.rootKnown) {
        const char *root = QV_instGetRootDestinationDirectory();
        r.root = root ? root : "";
        r.rootKnown = true;
    }
    const char *root = r.root.c_str();
    const char *last = nullptr;
    if (*root) {
        for (const char *at = std::strstr(words, root); at; at = std::strstr(at + 1, root)) {
            if (at == words || at[-1] == ' ')
                last = at;
        }
    }
    return last ? last : second[0] ? second : first;
}

void progress_line(const char *line)
{
    qv::InstallRun &run = qv::install_run();
    char kind = 0;
    uint64_t count = 0;
    // A protocol line is at most kKeep bytes, so each word fits.
    char first[qv::LineSplitter::kKeep + 1];
    char second[qv::LineSplitter::kKeep + 1];
    second[0] = '\0';
    int words = 0;
    if (std::sscanf(line, "%c%" SCNu64 " %n%4094s %4094s", &kind, &count, &words, first, second) < 3)
        return;

    uint64_t percentage = 100;
    if (run.total != 0) {
        run.done += count;
        percentage = run.done * 100 / run.total;
    }
    // The dialog shows at most 100 percent; a larger value would not fit
    // in an int.
    const int shown = static_cast<int>(std::min<uint64_t>(percentage, 100));
    if (QV_instDebug >= 2)
        std::printf("s_ulTotalSize=%" PRIu64 " s_ulSize=%" PRIu64 " ulSize=%" PRIu64 " -> caSource=%s -> %d\n",
                    run.total, run.done, count, first, shown);
    if (mbProgress)
        QV_instProgressUpdate(shown, shown_path(line + words, first, second));
}

void marker_line(const char *line)
{
    if (std::strcmp(line, "# Start installation") == 0) {
        if (mbProgress)
            XtManageChild(mbProgress);
    } else if (std::strcmp(line, "# Removing files") == 0) {
        if (mbProgress)
            QV_instProgressUpdateLabel("Removing files:");
    } else if (std::strcmp(line, "# Installing files") == 0) {
        if (mbProgress)
            QV_instProgressUpdateLabel("Destination files:");
    } else if (std::strcmp(line, "# Pass Installation completed") == 0) {
        if (mbProgress)
            XtDestroyWidget(QV_instGetShell(mbProgress));
        mbProgress = nullptr;
    } else if (std::strcmp(line, "# Updating the registry") == 0) {
        QV_instDisplayMessageBox(main_shell(), "Updating the system registry");
    } else if (std::strcmp(line, "# Done updating the registry") == 0) {
        QV_instRemoveMessageBox();
    } else if (std::strcmp(line, "# Error during installation") == 0) {
        if (QV_instDebug >= 2)
            ok_box("Error 1");
        qv::install_run().errorFlag = 1;
    } else if (std::strcmp(line, "# Installation completed") == 0) {
        // While "Quit Setup?" waits, the end waits for its answer.
        Reader &r = reader();
        if (r.questions > 0) {
            r.endWaits = true;
            if (r.input)
                XtRemoveInput(r.input);
            r.input = 0;
            return;
        }
        finish_run();
    } else if (std::strncmp(line, "#Log:", 5) == 0) {
        QV_instUpdateLogfile("%s\n", line + 5);
    }
}

// An error line: the child waits, stopped, while the user decides.
void error_line(const char *line, XtInputId *id)
{
    Reader &r = reader();
    // The question's event loop must not read the pipe meanwhile.
    if (*id)
        XtRemoveInput(*id);
    *id = 0;
    r.input = 0;
    qv::pause_run(qv::install_run().child);
    qv::install_run().errorFlag = 1;
    if (QV_instDebug >= 2)
        ok_box("Error 2");

    const bool hasText = std::strlen(line) >= 4;
    const char *message = hasText ? line + 3 : line;
    if (qv::abort_line(line))
        stop_run();
    // Logged before the question, so that the log tells it whatever the
    // answer.
    if (hasText)
        QV_instUpdateLogfile("%s\n", message);
    const std::string question = std::string(message) + "\n" + "Do you wish to continue?";
    if (QV_instOkCancelMessageBox(main_shell(), question.c_str(), "Yes", "No", nullptr) != 0)
        stop_run();

    qv::resume_run(qv::install_run().child);
    *id = XtAppAddInput(XtWidgetToApplicationContext(main_shell()), qv::install_run().readFd,
                        reinterpret_cast<XtPointer>(XtInputReadMask), UpdateProgressBar, nullptr);
    r.input = *id;
}

void handle_line(const char *line, XtInputId *id)
{
    switch (line[0]) {
    case '+':
        progress_line(line);
        break;
    case '#':
        marker_line(line);
        break;
    case '-':
        error_line(line, id);
        break;
    default: // warnings and anything else
        break;
    }
}

// The child ended before its final marker (a crashing module, a signal, a
// display it could not open): the lines it wrote are still handled, what
// its commands still run is stopped as a stop does, then the run ends as
// failed instead of waiting for a line that never comes. The child lost
// while a question waits ends the run at once.
void child_watch(XtPointer, XtIntervalId *)
{
    Reader &r = reader();
    r.watch = 0;
    XtAppContext app = XtWidgetToApplicationContext(main_shell());
    const pid_t child = qv::install_run().child;
    // The end of a run whose final marker came during a question waits
    // for the answer.
    if (r.endWaits)
        return;
    // Inside the reader only a question may wait (the error question);
    // otherwise (a debugging box) look again later.
    bool ended = false;
    if (!r.childReaped && child > 0 && (r.busy == 0 || r.questions > 0))
        ended = qv::look_at_child(child);
    qv::collect_adopted_jobs();
    // The parent holds the write end too, so the pipe never ends: read
    // exactly what is waiting in it.
    int fd = qv::install_run().readFd;
    int waiting = 0;
    const bool unread = fd >= 0 && ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0;
    // What the child wrote before it ended is read first, by the reader
    // when a question waits (its final marker may be there).
    if (!ended || (r.questions > 0 && r.input && unread)) {
        r.watch = XtAppAddTimeOut(app, kChildWatchMs, child_watch, nullptr);
        return;
    }
    if (r.questions > 0)
        end_during_question();

    while (fd >= 0 && ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0) {
        XtInputId id = r.input;
        UpdateProgressBar(nullptr, &fd, &id);
    }
    stop_reading();
    r.childStatus = qv::stop_install_child(child);
    r.childReaped = true;
    qv::install_run().errorFlag = 1;
    QV_instUpdateLogfile("%s\n", qv::death_text(r.childStatus).c_str());
    if (mbProgress)
        XtDestroyWidget(QV_instGetShell(mbProgress));
    mbProgress = nullptr;
    QV_instRemoveMessageBox();
    finish_run();
}

} // namespace

namespace {

// A configuration the install action cannot take ends setup. A wizard user
// does not see standard output: the box tells why every window goes.
[[noreturn]] void cannot_move_files()
{
    const char text[] = "*** Unable to move files";
    std::puts(text);
    std::fflush(stdout);
    if (main_shell())
        ok_box(text);
    std::exit(1);
}

// The list "Add/Remove..." opened in a maintenance run: the options list
// that maintenance edits, opened with nothing current, so without a main
// dialog above it.
bool maintenance_list(const _QV_InstConfigList *config)
{
    return mbMaintenance && config->type == QV_CONFIG_CUSDLG && !config->parent &&
           config == QV_instGetConfigFromId(CDInstPtr, qv::kMaintenanceList);
}

// How often a child that waits to be stopped looks whether its parent is
// still there.
constexpr int kParentCheckMs = 500;

// In the graphical install child: the parent that reads its lines, the
// descriptor of the pipe to it and the stream the child writes its lines
// to.
struct ChildSide {
    pid_t parent = 0;
    int protocolFd = -1;
    FILE *stream = nullptr;
    qv::LineSplitter lines; // what has been written to the parent so far
};

ChildSide &child_side()
{
    static ChildSide side;
    return side;
}

// The parent continued the child (SIGCONT from the parent: Yes to an error
// question, or No to Cancel).
volatile sig_atomic_t g_parentContinued = 0;

void parent_continued(int, siginfo_t *info, void *)
{
    if (info && info->si_pid == getppid())
        g_parentContinued = 1;
}

// Waits up to kParentCheckMs, or until a signal comes, with mask in place
// meanwhile; false once the parent is gone. A parent that dies takes the
// pipe's read end with it: the wait never outlasts it, even where its
// death signal does not come.
bool parent_still_there(const sigset_t *mask)
{
    const ChildSide &side = child_side();
    if (getppid() != side.parent)
        return false;
    struct pollfd protocol = {side.protocolFd, 0, 0};
    struct timespec pause = {kParentCheckMs / 1000, (kParentCheckMs % 1000) * 1000000L};
    int ready = ppoll(&protocol, 1, &pause, mask);
    if (ready < 0 && errno != EINTR)
        return false;
    return !(ready > 0 && (protocol.revents & (POLLERR | POLLHUP | POLLNVAL)));
}

[[noreturn]] void wait_for_stop()
{
    // The parent stops the child with SIGTERM, whose handler ends it.
    while (parent_still_there(nullptr)) {
    }
    qv::end_child_without_parent();
}

// After an error line the parent stops the child, asks, and continues it
// (Yes) or ends it (No). Until then nothing more is done. A SIGCONT counts
// as the answer only once the parent has read everything (a Cancel
// question that the line overtook also ends in a SIGCONT). The SIGCONT
// handler is there only meanwhile: at any other time a stop and continue
// must not cut short a sleep of the child or of a module.
class AnswerWait {
public:
    AnswerWait()
    {
        sigset_t cont;
        sigemptyset(&cont);
        sigaddset(&cont, SIGCONT);
        sigprocmask(SIG_BLOCK, &cont, &mask_);
        g_parentContinued = 0;
        struct sigaction sa = {};
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_SIGINFO | SA_RESTART;
        sa.sa_sigaction = parent_continued;
        sigaction(SIGCONT, &sa, &old_);
    }
    ~AnswerWait()
    {
        sigaction(SIGCONT, &old_, nullptr);
        sigprocmask(SIG_SETMASK, &mask_, nullptr);
    }
    AnswerWait(const AnswerWait &) = delete;
    AnswerWait &operator=(const AnswerWait &) = delete;

    void wait() const
    {
        const ChildSide &side = child_side();
        for (;;) {
            if (g_parentContinued) {
                int waiting = 0;
                if (ioctl(side.protocolFd, FIONREAD, &waiting) == 0 && waiting == 0)
                    return;
                g_parentContinued = 0;
            }
            if (!parent_still_there(&mask_))
                qv::end_child_without_parent();
        }
    }

private:
    sigset_t mask_;
    struct sigaction old_;
};

// The child's protocol stream writes straight through to the pipe and
// looks at every line that goes out, whoever wrote it (the passes, the
// source prompt, a module): after "-1 abort" the child does nothing more,
// after any other error line nothing until the user has answered.
ssize_t write_watched(void *, const char *buf, size_t n)
{
    ChildSide &side = child_side();
    bool aborted = false;
    bool error = false;
    side.lines.feed(buf, n, [&](const char *line) {
        if (qv::abort_line(line))
            aborted = true;
        else if (line[0] == '-')
            error = true;
    });
    // Ready for the answer before the parent can read the question.
    std::optional<AnswerWait> answer;
    if (error)
        answer.emplace();
    size_t put = 0;
    while (put < n) {
        ssize_t w = write(side.protocolFd, buf + put, n - put);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return put > 0 ? static_cast<ssize_t>(put) : -1;
        put += static_cast<size_t>(w);
    }
    if (aborted)
        wait_for_stop();
    if (answer)
        answer->wait();
    return static_cast<ssize_t>(n);
}

int close_watched(void *cookie)
{
    return std::fclose(static_cast<FILE *>(cookie));
}

} // namespace

namespace qv {

bool abort_line(const char *line)
{
    return line[0] == '-' && std::strlen(line) >= 4 && std::strcmp(line + 3, "abort") == 0;
}

FILE *open_child_application(FILE *protocol)
{
    ChildSide &side = child_side();
    side.parent = getppid();
    side.protocolFd = fileno(protocol);
    // Everything buffered in protocol has been flushed before the fork.
    cookie_io_functions_t io = {nullptr, write_watched, nullptr, close_watched};
    side.stream = fopencookie(protocol, "w", io);
    if (side.stream)
        setvbuf(side.stream, nullptr, _IOLBF, BUFSIZ);
    // The parent's display connection is the parent's: held open here it
    // would keep a dead parent's windows on the screen. It is not closed
    // through the library, which would talk to the server on the parent's
    // behalf; the descriptor is only made harmless.
    if (Widget parentShell = QV_instGetMainTopLevelShell()) {
        int null = open("/dev/null", O_RDWR | O_CLOEXEC);
        if (null >= 0) {
            dup3(null, ConnectionNumber(XtDisplay(parentShell)), O_CLOEXEC);
            close(null);
        }
    }
    char name[] = "qvint Installer thread";
    char *words[] = {name};
    XtAppContext app;
    QV_instCreateMainTopLevelShell(open_application(1, words, &app));
    return side.stream ? side.stream : protocol;
}

[[noreturn]] void interrupt_run(pid_t child, int exitCode)
{
    stop_reading();
    Reader &r = reader();
    stop_install_child(child, child == install_run().child && r.childReaped);
    r.childReaped = true;
    QV_instUpdateLogfile("Installation interrupted\n");
    if (first_installation())
        QV_RemoveHistoryFile(QV_instGetDestinationDirectory());
    std::exit(exitCode);
}

void pause_run(pid_t child)
{
    Reader &r = reader();
    if (r.questions++ > 0)
        return;
    const InstallRun &run = install_run();
    if (child > 0 && !(child == run.child && r.childReaped))
        r.paused.freeze(child, true, getpid(), child == run.child ? run.childStart : 0);
}

void resume_run(pid_t child)
{
    Reader &r = reader();
    if (r.questions == 0 || --r.questions > 0)
        return;
    if (child > 0 && !(child == install_run().child && r.childReaped))
        kill(child, SIGCONT);
    r.paused.signal(SIGCONT);
    if (r.endWaits)
        finish_run();
}

void await_stop(FILE *stream)
{
    const ChildSide &side = child_side();
    if (side.parent > 0 && stream && stream == side.stream)
        wait_for_stop();
}

} // namespace qv

extern "C" {

// The install action of the wizard: checks the space and the destination,
// closes the dialog and starts the installation of the chosen suite or
// option list. Answers 0 when a check refused (the dialog stays).
int QV_instMoveFiles(Widget w, _QV_InstConfigList *config)
{
    if (!config)
        cannot_move_files();
    int enough;
    if (config->type == QV_CONFIG_SUITE) {
        enough = QV_instEnoughSpace(config, QV_instGetRootDestinationDirectory());
    } else if (config->parent && config->parent->type == QV_CONFIG_MAINDLG) {
        enough = QV_instEnoughSpace(QV_InstGetLastConfig(), QV_instGetDestinationDirectory());
    } else if (maintenance_list(config)) {
        // The changed selection of the installation the history found: its
        // destination is that installation's.
        enough = QV_instEnoughSpace(config, QV_instGetDestinationDirectory());
    } else {
        cannot_move_files();
    }
    if (!enough)
        return 0;
    if (!QV_instPreInstallCheck(CDInstPtr, config))
        return 0;
    if (Widget shell = QV_instGetShell(w))
        XtDestroyWidget(shell);
    // The dialog is gone by now: a run that cannot start (no pipe, no
    // fork, no destination or log directory) would leave setup running
    // without a window to go on from or to leave it by. It is a fatal
    // error; the driver has already said why.
    int result = QV_instCommandLineInstall(CDInstPtr, config, 0);
    if (result != 0)
        std::exit(1);
    return result;
}

// Shows the progress dialog (unmanaged until the child starts) for the
// child childPid that writes its protocol lines to readFd, and follows it.
void QV_instCreateProgressBar(Widget parent, int readFd, int childPid)
{
    qv::InstallRun &run = qv::install_run();
    Reader &r = reader();
    run.readFd = readFd;
    run.child = childPid;
    if (run.childStart == 0)
        run.childStart = qv::process_start(childPid);
    r.childReaped = false;
    mbProgress = CreatembProgress(parent);
    XtVaSetValues(mbProgress, XmNuserData, reinterpret_cast<XtPointer>(static_cast<intptr_t>(childPid)), nullptr);
    XtAppContext app = XtWidgetToApplicationContext(parent);
    r.input = XtAppAddInput(app, readFd, reinterpret_cast<XtPointer>(XtInputReadMask), UpdateProgressBar, nullptr);
    catch_stop_signals(app);
    if (!r.watch)
        r.watch = XtAppAddTimeOut(app, kChildWatchMs, child_watch, nullptr);
}

// Input callback on the pipe: handles every complete line the child has
// written so far.
void UpdateProgressBar(XtPointer, int *source, XtInputId *id)
{
    Reader &r = reader();
    char buf[kReadBuffer];
    const size_t room = kReadBuffer - r.lines.carried();
    ssize_t n = read(*source, buf, room);
    if (n < 0) {
        if (errno == EINTR || errno == EAGAIN)
            return;
        ok_box("Internal error: UpdateProgressBar");
        std::exit(1);
    }
    if (n == 0) {
        // End of file: nobody holds the write end any more. Nothing else
        // will come, and a readable end of file would call this for ever;
        // the child's watch ends the run.
        if (*id)
            XtRemoveInput(*id);
        *id = 0;
        r.input = 0;
        return;
    }
    ++r.busy;
    r.lines.feed(buf, static_cast<size_t>(n), [id](const char *line) { handle_line(line, id); });
    --r.busy;
}

} // extern "C"
