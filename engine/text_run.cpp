// The text-mode run: the parent hands every line of the install child to
// the terminal's progress and the log until the child is done or the user
// stops the run, then waits for the child and leaves the run's verdict.
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/descendants.h"
#include "engine/install.h"
#include "engine/run_phases.h"
#include "engine/util.h"

namespace qv {

namespace {

struct TextReader {
    uint64_t total;
    bool completed = false; // "# Installation completed" was read

    void line(const char *text)
    {
        if (protocol_count(text) < 0) {
            // The log alone must tell what failed, as it does after a
            // graphical run.
            if (std::strlen(text) >= 4)
                QV_instUpdateLogfile("%s\n", text + 3);
            install_run().errorFlag = 1;
        }
        if (std::strcmp(text, "# Error during installation") == 0)
            install_run().errorFlag = 1;
        if (std::strcmp(text, "# Installation completed") == 0)
            completed = true;
        // Text a module meant for the log reaches it in this mode too, and
        // so does every warning the terminal is shown (a step skipped for
        // want of a display, a file that could not be made).
        if (std::strncmp(text, "#Log:", 5) == 0)
            QV_instUpdateLogfile("%s\n", text + 5);
        const std::string warning = warning_of(text);
        if (!warning.empty())
            QV_instUpdateLogfile("%s\n", warning.c_str());
        QV_instProcessUpdate(const_cast<char *>(text), total);
    }
};

// Text-mode parent: hands every line of the child to the text-mode reader
// until the child closes the pipe or the user stops the run. Answers
// whether the child's final marker arrived.
bool read_child_lines(int fd, uint64_t total, pid_t child)
{
    TextReader reader{total};
    LineSplitter lines;
    char buf[4096];

    QV_instProcessUpdate(nullptr, 0);
    while (!g_interrupted) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        struct timeval timeout = {1, 0};
        int ready = select(fd + 1, &readable, nullptr, nullptr, &timeout);
        if (ready <= 0) {
            if (ready < 0 && errno != EINTR)
                break;
            // A child that stopped (SIGCHLD ends the wait) writes nothing.
            look_at_child(child);
            collect_adopted_jobs();
            continue;
        }
        if (!FD_ISSET(fd, &readable))
            continue;
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (n == 0)
            break;
        lines.feed(buf, static_cast<size_t>(n), [&](const char *line) { reader.line(line); });
    }
    return reader.completed;
}

} // namespace

void follow_text_run(pid_t pid, Pipe &p, std::optional<StopSignals> &stopSignals, const std::string &destination)
{
    InstallRun &run = install_run();
    p.close_write();
    stopSignals->catch_in_parent();
    run.readFd = fileno(p.read);
    bool completed = read_child_lines(run.readFd, run.total, pid);
    bool interrupted = g_interrupted != 0;
    // The child still removes the history or fixes the registry's mode
    // after its last line; the run is over only when it has exited. A stop
    // signal until then stops the run all the same.
    // The read end goes first: a child that still writes then learns that
    // nobody reads instead of waiting for room in the pipe.
    p.close_read();
    run.readFd = -1;
    int wstatus = 0;
    bool collected = false;
    while (completed && !interrupted && !collected) {
        pid_t got = waitpid(pid, &wstatus, WUNTRACED);
        if (got < 0 && errno == EINTR)
            interrupted = g_interrupted != 0;
        else if (got == pid && WIFSTOPPED(wstatus))
            continue_if_stopped_by_terminal(pid, WSTOPSIG(wstatus));
        else
            collected = true;
    }
    // A child that ended without its final marker leaves its commands to be
    // stopped as a stop does; so does a stop that came once it had ended.
    interrupted = interrupted || g_interrupted;
    // What the stop brings, setup's messages and those of the commands it
    // ends, starts on a line of its own.
    if (interrupted)
        end_status_line();
    if (!collected)
        wstatus = stop_install_child(pid);
    else if (interrupted)
        stop_install_child(pid, true);
    collect_adopted(pid, run.childStart);
    if (!interrupted) {
        std::fputs("\n", stdout);
        std::fflush(stdout);
    }

    // The stop signals stay caught until the verdict is written: a second
    // one changes nothing.
    if (interrupted) {
        QV_instUpdateLogfile("Installation interrupted\n");
        std::fputs("Installation interrupted\n", stderr);
        if (first_installation())
            QV_RemoveHistoryFile(destination.c_str());
        std::exit(1);
    }
    // A child that died before its final marker (a crashing module, a
    // signal) reported no error line, yet the installation did not finish;
    // one that failed after it (a module's destructor at exit) did not
    // finish cleanly either.
    if (!completed || (!child_succeeded(wstatus) && !run.errorFlag)) {
        const std::string text = death_text(wstatus);
        std::fprintf(stderr, "%s\n", text.c_str());
        QV_instUpdateLogfile("%s\n", text.c_str());
        run.errorPrinted = true;
        run.errorFlag = 1;
    }
    log_verdict();
    if (run.errorFlag && first_installation())
        QV_RemoveHistoryFile(destination.c_str());
    stopSignals.reset();
}

} // namespace qv
