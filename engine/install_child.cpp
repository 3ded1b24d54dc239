// The install child: it runs the passes over the configuration, reports
// each step on the protocol pipe, writes the history, and ends with its
// verdict marker.
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "engine/descendants.h"
#include "engine/fileops.h"
#include "engine/install.h"
#include "engine/internal.h"
#include "engine/run_phases.h"
#include "engine/unfinished.h"
#include "engine/util.h"
#include "wizard/maintenance.h"

namespace qv {

namespace {

// How many processes below the child its handlers can find and keep; one
// found beyond that is killed at once.
constexpr size_t kHandlerSearchCapacity = 8192;

// The install child's write end of the pipe, for its SIGPIPE handler.
volatile sig_atomic_t g_protocolFd = -1;

// The parent the child reports to; once getppid() answers another, the
// parent is gone.
pid_t g_parent = 0;

// Set once a handler has begun to end the child: a second signal then ends
// it at once.
volatile sig_atomic_t g_ending = 0;

// The search of the handlers, whose memory is taken before any of them can
// run; never freed, since a handler may run while the child exits.
Descendants &handler_search()
{
    static Descendants *search = new Descendants;
    return *search;
}

// Every process below the child gets sig and SIGCONT. While the parent is
// there it goes on to stop the run (it got the same Ctrl-C, or sent the
// signal itself) and kills what is left after the grace; once it is gone,
// the child does that itself before it ends. The child is the subreaper
// of its commands, so the jobs they left behind are below it too. System
// calls only: it runs in the child's signal handlers.
void end_commands(int sig)
{
    Descendants &below = handler_search();
    below.freeze(getpid(), false);
    below.signal(sig);
    below.signal(SIGCONT);
    if (getppid() == g_parent)
        return;
    if (sig != SIGTERM)
        below.signal(SIGTERM);
    const long long deadline = now_ms() + kStopGraceMs;
    while (below.any_running() && now_ms() < deadline)
        poll(nullptr, 0, 10);
    below.look_again();
    below.signal(SIGKILL);
}

// A stop signal ends the child, but its unfinished files go first, and the
// commands it started get the same signal (see end_commands).
void child_stopped(int sig)
{
    if (!g_ending) {
        g_ending = 1;
        remove_unfinished();
        end_commands(sig);
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

// A write to a reader that is gone. When that reader is the parent, nobody
// would see what the child reports, nor could anyone stop it: the child
// ends, and with it its commands. Any other reader (the terminal's pipe
// that `| head` closed) only makes that write fail, and the installation
// goes on.
void child_broken_pipe(int)
{
    int saved = errno;
    struct pollfd protocol = {g_protocolFd, 0, 0};
    if (poll(&protocol, 1, 0) == 1 && (protocol.revents & POLLERR)) {
        if (!g_ending) {
            g_ending = 1;
            remove_unfinished();
            if (getppid() != g_parent)
                end_commands(SIGTERM);
        }
        signal(SIGPIPE, SIG_DFL);
        raise(SIGPIPE);
    }
    errno = saved;
}

// The install child's own signal handling. Handlers, not SIG_IGN: the
// programs the child runs (tar, bunzip2, the registry commands) get the
// default actions back when they start, as they expect. The child stays in
// setup's process group: a run in the foreground of a terminal keeps it,
// and what the child and its commands read from it or write to it works as
// for setup itself.
void set_child_signals(int protocolFd)
{
    g_protocolFd = protocolFd;
    g_parent = getppid();
    handler_search().reserve(kHandlerSearchCapacity);
    // One handler at a time: each of them may end the child.
    struct sigaction sa = {};
    sigemptyset(&sa.sa_mask);
    for (int sig : kStopSignals)
        sigaddset(&sa.sa_mask, sig);
    sigaddset(&sa.sa_mask, SIGPIPE);
    sa.sa_handler = child_stopped;
    for (int sig : kStopSignals)
        if (!signal_ignored(sig))
            sigaction(sig, &sa, nullptr);
    sa.sa_flags = SA_RESTART;
    sa.sa_handler = child_broken_pipe;
    sigaction(SIGPIPE, &sa, nullptr);
}

} // namespace

[[noreturn]] void end_child_without_parent()
{
    sigset_t held;
    sigemptyset(&held);
    for (int sig : kStopSignals)
        sigaddset(&held, sig);
    sigaddset(&held, SIGPIPE);
    sigprocmask(SIG_BLOCK, &held, nullptr);
    g_ending = 1;
    remove_unfinished();
    end_commands(SIGTERM);
    _exit(1);
}

// What the install child does, start to end; it never returns.
[[noreturn]] void run_child(_QV_instCDinst *cdinst, _QV_InstConfigList *config, Pipe &pipe, const ChildRun &job,
                           std::optional<StopSignals> &stopSignals)
{
    // Nobody would read what the child reports once the parent is gone,
    // nor could anyone stop it. SIGTERM lets it remove its unfinished
    // files and end its commands on its way out, unless SIGTERM is
    // ignored. The jobs its commands leave behind come to the child, so
    // that it finds them then too.
    prctl(PR_SET_PDEATHSIG, signal_ignored(SIGTERM) ? SIGKILL : SIGTERM);
    if (getppid() != job.parent)
        _exit(1);
    become_subreaper();
    pipe.close_read();
    signal(SIGCHLD, SIG_DFL);
    set_child_signals(fileno(pipe.write));
    if (stopSignals)
        stopSignals->release_in_child();

    if (QV_instGetMainTopLevelShell())
        pipe.write = open_child_application(pipe.write);

    FILE *out = pipe.write;
    send_log_through(out);
    const int removeAll = job.removeAll;
    const std::string &destination = job.destination;
    const char *dest = destination.c_str();
    std::fputs(job.early.c_str(), out);
    // A run that neither installs nor removes a package (a newer medium
    // over a complete installation) leaves the history as it was.
    bool changes = false;
    if (!removeAll) {
        begin_history_draft();
        QV_InitHistoryFile(dest, GetProductName(cdinst), GetProductVersion(cdinst));
        changes = packages_affected(cdinst, config) != 0;
    }

    std::fputs("# Start installation\n", out);
    std::fputs("# Removing files\n", out);
    int status = 0;
    status |= QV_instInstallConfig(cdinst, config, dest, out, QV_PassBeforeFiles, 1);
    status |= QV_instInstallConfig(cdinst, config, dest, out, QV_PassFiles, 1);
    status |= QV_instInstallConfig(cdinst, config, dest, out, QV_PassAfterFiles, 1);

    std::fputs("# Installing files\n", out);
    status |= QV_instInstallConfig(cdinst, config, dest, out, QV_PassBeforeFiles, 0);
    status |= QV_instInstallConfig(cdinst, config, dest, out, QV_PassFiles, 0);

    // The installed product keeps a copy of its description, so that the
    // installer run from the product directory finds the installation; a
    // copy that fails is a failure of the run.
    {
        CStr name(QV_instBasename(cdinst->cdinstPath));
        CStr target(name ? QV_instBuildPath(dest, name.get(), nullptr) : nullptr);
        status |= QV_instCopyFile(name.get(), target.get(), job.cdinstMode, job.cdinstSize, out, removeAll ? 1 : 0);
    }

    std::fputs("# Pass Installation completed\n", out);
    std::fflush(out);
    std::fputs("# Updating the registry\n", out);
    std::fflush(out);
    status |= QV_instInstallConfig(cdinst, config, dest, out, QV_PassRegistry, 0);
    std::fputs("# Done updating the registry\n", out);
    std::fflush(out);
    status |= QV_instInstallConfig(cdinst, config, dest, out, QV_PassAfterFiles, 0);

    // The walk is over, whatever its errors: the history now tells what
    // this run did. A history that could not be written fails the run. In
    // text mode that is an error line, which the parent prints and logs as
    // it does the run's other errors; the wizard's parent would ask whether
    // to go on, so there it is told straight away. A maintenance run that
    // failed keeps the history it started from: what it changed is only
    // partly done, and the same change made again completes it.
    if (!removeAll)
        record_untouched_packages(cdinst, dest);
    if (!commit_history_draft(changes && !(mbMaintenance && status != 0),
                              QV_instGetMainTopLevelShell() ? nullptr : out))
        status |= 1;

    // The parent writes the verdict into the log once the child has ended,
    // after every line of the run.
    if (status != 0)
        std::fputs("# Error during installation\n", out);
    std::fputs("# Installation completed\n", out);
    pipe.close_write();
    // What is logged from here on (a module's destructor at exit) goes
    // straight into the log, not into the closed stream.
    send_log_through(nullptr);

    if (!destination.empty())
        QV_instChangeResgitryPermission(const_cast<char *>(dest));
    if (removeAll)
        QV_RemoveHistoryFile(dest);
    std::exit(status);
}

} // namespace qv
