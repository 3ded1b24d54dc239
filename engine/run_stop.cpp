// Stopping a run: the install child and every command below it end with
// their grace, adopted jobs are collected, a child the terminal stopped is
// continued, and the signals that stop a run are caught.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "engine/descendants.h"
#include "engine/run_phases.h"

namespace qv {

// A child of setup ended since the last look (SIGCHLD).
volatile sig_atomic_t g_childSignalled = 0;

namespace {

// Looked at without collecting it: its process id stays its own until the
// commands below it have been dealt with.
bool child_ended(pid_t child)
{
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return errno != EINTR; // already collected (SIGCHLD ignored)
    return info.si_pid == child;
}

} // namespace

int stop_install_child(pid_t child, bool collected)
{
    if (child <= 0)
        return 0;
    // The child and every command below it, the jobs adopted from it
    // included, are held still, so that none starts another while they are
    // told to end. The child removes its unfinished files on SIGTERM and
    // dies of it; a stopped one must run to act on it. A child collected
    // already is left alone (its number may be another's by now): what
    // its commands left is found among the jobs adopted since it started.
    const InstallRun &run = install_run();
    const unsigned long long since = collected || child == run.child ? run.childStart : process_start(child);
    Descendants below;
    below.freeze(collected ? -1 : child, !collected, getpid(), since);
    for (int sig : {SIGTERM, SIGCONT}) {
        if (!collected)
            kill(child, sig);
        below.signal(sig);
    }
    // Every one of them has the whole grace to clean up, even when the
    // child ends at once. The grace is measured on the clock, so that
    // signals that cut the pauses short do not shorten it.
    const long long deadline = now_ms() + kStopGraceMs;
    bool ended = collected || child_ended(child);
    while (now_ms() < deadline && !(ended && !below.any_running())) {
        poll(nullptr, 0, 10);
        ended = ended || child_ended(child);
    }
    // What they started meanwhile (a helper started on SIGTERM) goes too.
    below.look_again();
    if (!ended)
        kill(child, SIGKILL);
    below.signal(SIGKILL);
    int wstatus = 0;
    while (!collected && waitpid(child, &wstatus, 0) < 0 && errno == EINTR) {
    }
    below.collect();
    return wstatus;
}

bool stopped_by_signal(int wstatus)
{
    if (!WIFSIGNALED(wstatus))
        return false;
    for (int sig : kStopSignals)
        if (WTERMSIG(wstatus) == sig)
            return true;
    return false;
}

bool signal_ignored(int sig)
{
    struct sigaction now;
    return sigaction(sig, nullptr, &now) == 0 && now.sa_handler == SIG_IGN;
}

bool child_succeeded(int wstatus)
{
    return WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0;
}

void collect_adopted_jobs()
{
    if (!g_childSignalled)
        return;
    g_childSignalled = 0;
    const InstallRun &run = install_run();
    collect_adopted(run.child, run.childStart);
}

void continue_if_stopped_by_terminal(pid_t child, int stopSignal)
{
    if (stopSignal == SIGTSTP || stopSignal == SIGTTIN || stopSignal == SIGTTOU)
        kill(child, SIGCONT);
}

bool look_at_child(pid_t child)
{
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WSTOPPED | WNOHANG | WNOWAIT) != 0)
        return errno == ECHILD; // collected already
    if (info.si_pid != child)
        return false;
    if (info.si_code == CLD_STOPPED) {
        continue_if_stopped_by_terminal(child, info.si_status);
        return false;
    }
    return true;
}

volatile sig_atomic_t g_interrupted = 0;

void note_interruption(int)
{
    g_interrupted = 1;
}

namespace {

// The write fails with EFBIG instead.
void file_too_large(int) {}

} // namespace

void catch_file_too_large()
{
    if (signal_ignored(SIGXFSZ))
        return;
    struct sigaction sa = {};
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sa.sa_handler = file_too_large;
    sigaction(SIGXFSZ, &sa, nullptr);
}

} // namespace qv
