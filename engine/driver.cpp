// The install driver: prepares a run, forks the install child that runs
// the passes, and in text mode reads the child's protocol lines until the
// child is done.
#include "engine/driver.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>

#include "engine/cdinst.h"
#include "engine/descendants.h"
#include "engine/fileops.h"
#include "engine/fileops_internal.h"
#include "engine/install.h"
#include "engine/internal.h"
#include "engine/ownership.h"
#include "engine/unfinished.h"
#include "engine/util.h"
#include "wizard/maintenance.h"
#include "wizard/shell.h"

namespace qv {

InstallRun &install_run()
{
    static InstallRun run;
    return run;
}

bool first_installation()
{
    const InstallRun &run = install_run();
    return !run.removeAll && !run.historyFound && !mbMaintenance;
}

int packages_affected(const _QV_instCDinst *cdinst, _QV_InstConfigList *config)
{
    UpdateNumInUseFlag(cdinst, config, 1);
    UpdateNumInUseFlag(cdinst, config, 0);
    return NumPackagesAffected(cdinst, config);
}

// A child of setup ended since the last look (SIGCHLD).
volatile sig_atomic_t g_childSignalled = 0;

// How long an interrupted child has to end by itself before it is killed.
constexpr int kStopGraceMs = 2000;

void log_verdict()
{
    QV_instUpdateLogfile(install_run().errorFlag ? "Error during the installation\n" : "Installation Completed\n");
}

std::string death_text(int wstatus)
{
    if (WIFSIGNALED(wstatus))
        return "Error: the installation did not complete (the install child was killed by signal " +
               std::to_string(WTERMSIG(wstatus)) + ")";
    return "Error: the installation did not complete";
}

namespace {

long long now_ms()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

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

int stop_install_child(pid_t child)
{
    if (child <= 0)
        return 0;
    // The child and every command below it, the jobs adopted from it
    // included, are held still, so that none starts another while they are
    // told to end. The child removes its unfinished files on SIGTERM and
    // dies of it; a stopped one must run to act on it.
    Descendants below;
    below.freeze(child, true, getpid());
    for (int sig : {SIGTERM, SIGCONT}) {
        kill(child, sig);
        below.signal(sig);
    }
    // Every one of them has the whole grace to clean up, even when the
    // child ends at once. The grace is measured on the clock, so that
    // signals that cut the pauses short do not shorten it.
    const long long deadline = now_ms() + kStopGraceMs;
    bool ended = child_ended(child);
    while (now_ms() < deadline && !(ended && !below.any_running())) {
        struct timespec pause = {0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
        ended = ended || child_ended(child);
    }
    if (!ended)
        kill(child, SIGKILL);
    below.signal(SIGKILL);
    int wstatus = 0;
    while (waitpid(child, &wstatus, 0) < 0 && errno == EINTR) {
    }
    below.collect();
    return wstatus;
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

} // namespace qv

namespace {

void box(const char *text)
{
    QV_instOkCancelMessageBox(QV_instGetMainTopLevelShell(), text, "OK", nullptr, nullptr);
}

struct Pipe {
    FILE *read = nullptr;
    FILE *write = nullptr;
    void close_read()
    {
        if (read)
            std::fclose(read);
        read = nullptr;
    }
    void close_write()
    {
        if (write)
            std::fclose(write);
        write = nullptr;
    }
    void close_both()
    {
        close_read();
        close_write();
    }
};

struct TextReader {
    uint64_t total;
    bool completed = false; // "# Installation completed" was read

    void line(const char *text)
    {
        if (qv::protocol_count(text) < 0) {
            // The log alone must tell what failed, as it does after a
            // graphical run.
            if (std::strlen(text) >= 4)
                QV_instUpdateLogfile("%s\n", text + 3);
            qv::install_run().errorFlag = 1;
        }
        if (std::strcmp(text, "# Error during installation") == 0)
            qv::install_run().errorFlag = 1;
        if (std::strcmp(text, "# Installation completed") == 0)
            completed = true;
        // Text a module meant for the log reaches it in this mode too, and
        // so does every warning the terminal is shown (a step skipped for
        // want of a display, a file that could not be made).
        if (std::strncmp(text, "#Log:", 5) == 0)
            QV_instUpdateLogfile("%s\n", text + 5);
        const std::string warning = qv::warning_of(text);
        if (!warning.empty())
            QV_instUpdateLogfile("%s\n", warning.c_str());
        QV_instProcessUpdate(const_cast<char *>(text), total);
    }
};

volatile sig_atomic_t g_interrupted = 0;

void note_interruption(int)
{
    g_interrupted = 1;
}

using qv::kStopSignals;

bool ignored(int sig)
{
    return qv::signal_ignored(sig);
}

// The text-mode parent catches the stop signals to stop the child and
// leave the destination fit for the next run. They are held back from
// before the fork until both processes have their handlers in place.
class StopSignals {
public:
    StopSignals()
    {
        sigemptyset(&set_);
        for (int sig : kStopSignals)
            sigaddset(&set_, sig);
        sigprocmask(SIG_BLOCK, &set_, &mask_);
    }
    ~StopSignals()
    {
        for (size_t i = 0; i < std::size(kStopSignals); ++i)
            if (caught_[i])
                sigaction(kStopSignals[i], &old_[i], nullptr);
        sigprocmask(SIG_SETMASK, &mask_, nullptr);
    }
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    void catch_in_parent()
    {
        g_interrupted = 0;
        struct sigaction sa = {};
        sa.sa_handler = note_interruption;
        sigemptyset(&sa.sa_mask);
        // No SA_RESTART: the wait for the child's next line ends at once.
        for (size_t i = 0; i < std::size(kStopSignals); ++i)
            if (!ignored(kStopSignals[i]))
                caught_[i] = sigaction(kStopSignals[i], &sa, &old_[i]) == 0;
        sigprocmask(SIG_SETMASK, &mask_, nullptr);
    }

    // The child has set its own handlers.
    void release_in_child() { sigprocmask(SIG_SETMASK, &mask_, nullptr); }

private:
    sigset_t set_;
    sigset_t mask_;
    struct sigaction old_[std::size(kStopSignals)];
    bool caught_[std::size(kStopSignals)] = {};
};

// The install child's write end of the pipe, for its SIGPIPE handler.
volatile sig_atomic_t g_protocolFd = -1;

// A stop signal ends the child, but its unfinished files go first, and the
// commands it started get the same signal. Those that ignore it outlive
// the child only until the parent stops the run (it got the same Ctrl-C,
// or sent this SIGTERM itself): what is still there after the grace is
// killed.
void child_stopped(int sig)
{
    qv::remove_unfinished();
    qv::Descendants below;
    below.freeze(getpid(), false);
    below.signal(sig);
    below.signal(SIGCONT);
    signal(sig, SIG_DFL);
    raise(sig);
}

// A write to a reader that is gone. When that reader is the parent, nobody
// would see what the child reports, nor could anyone stop it: the child
// ends. Any other reader (the terminal's pipe that `| head` closed) only
// makes that write fail, and the installation goes on.
void child_broken_pipe(int)
{
    int saved = errno;
    struct pollfd protocol = {g_protocolFd, 0, 0};
    if (poll(&protocol, 1, 0) == 1 && (protocol.revents & POLLERR)) {
        qv::remove_unfinished();
        signal(SIGPIPE, SIG_DFL);
        raise(SIGPIPE);
    }
    errno = saved;
}

// A file grown past the file size limit (ulimit -f): the write fails with
// EFBIG and that one file fails (or, in the parent, that one log entry),
// instead of the process dying with the run.
void file_too_large(int) {}

// Both processes of a run catch SIGXFSZ; the child gets the handler with
// the fork.
void catch_file_too_large()
{
    if (ignored(SIGXFSZ))
        return;
    struct sigaction sa = {};
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sa.sa_handler = file_too_large;
    sigaction(SIGXFSZ, &sa, nullptr);
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
    struct sigaction sa = {};
    sigemptyset(&sa.sa_mask);
    sa.sa_handler = child_stopped;
    for (int sig : kStopSignals)
        if (!ignored(sig))
            sigaction(sig, &sa, nullptr);
    sa.sa_flags = SA_RESTART;
    sa.sa_handler = child_broken_pipe;
    sigaction(SIGPIPE, &sa, nullptr);
}

// Text-mode parent: hands every line of the child to the text-mode reader
// until the child closes the pipe or the user stops the run. Answers
// whether the child's final marker arrived.
bool read_child_lines(int fd, uint64_t total, pid_t child)
{
    TextReader reader{total};
    qv::LineSplitter lines;
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
            qv::look_at_child(child);
            qv::collect_adopted_jobs();
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

// Makes the folders of dir that are missing and answers the protocol lines
// that report them.
std::string early_mkdir(const char *dir)
{
    char *text = nullptr;
    size_t size = 0;
    FILE *lines = open_memstream(&text, &size);
    QV_instMkdir(dir, 0755, lines);
    if (lines)
        std::fclose(lines);
    qv::CStr owned(text);
    return text ? std::string(text, size) : std::string();
}

// The progress units that protocol lines report, one line after the other.
uint64_t units_of(const std::string &lines)
{
    uint64_t units = 0;
    size_t at = 0;
    while (at < lines.size()) {
        long long count = qv::protocol_count(lines.c_str() + at);
        if (count > 0)
            units += static_cast<uint64_t>(count);
        size_t newline = lines.find('\n', at);
        if (newline == std::string::npos)
            break;
        at = newline + 1;
    }
    return units;
}

// What the child is given besides the description and the configuration.
struct ChildRun {
    int removeAll;
    std::string destination;
    int cdinstMode;
    int64_t cdinstSize;
    pid_t parent;
    // Protocol lines of what the parent did before the fork (the log's
    // folders), which the child sends first.
    std::string early;
};

// What the install child does, start to end; it never returns.
[[noreturn]] void run_child(_QV_instCDinst *cdinst, _QV_InstConfigList *config, Pipe &pipe, const ChildRun &job,
                           std::optional<StopSignals> &stopSignals)
{
    // Nobody would read what the child reports once the parent is gone,
    // nor could anyone stop it (a child stopped while its parent asked a
    // question would wait for ever). SIGTERM lets it remove its unfinished
    // files on its way out, unless SIGTERM is ignored.
    prctl(PR_SET_PDEATHSIG, ignored(SIGTERM) ? SIGKILL : SIGTERM);
    if (getppid() != job.parent)
        _exit(1);
    pipe.close_read();
    signal(SIGCHLD, SIG_DFL);
    set_child_signals(fileno(pipe.write));
    if (stopSignals)
        stopSignals->release_in_child();

    if (QV_instGetMainTopLevelShell())
        pipe.write = qv::open_child_application(pipe.write);

    FILE *out = pipe.write;
    qv::send_log_through(out);
    const int removeAll = job.removeAll;
    const std::string &destination = job.destination;
    const char *dest = destination.c_str();
    std::fputs(job.early.c_str(), out);
    // A run that neither installs nor removes a package (a newer medium
    // over a complete installation) leaves the history as it was.
    bool changes = false;
    if (!removeAll) {
        qv::begin_history_draft();
        QV_InitHistoryFile(dest, GetProductName(cdinst), GetProductVersion(cdinst));
        changes = qv::packages_affected(cdinst, config) != 0;
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
        qv::CStr name(QV_instBasename(cdinst->cdinstPath));
        qv::CStr target(name ? QV_instBuildPath(dest, name.get(), nullptr) : nullptr);
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
    // this run did. A history that could not be written fails the run.
    if (!qv::commit_history_draft(changes))
        status |= 1;

    // The parent writes the verdict into the log once the child has ended,
    // after every line of the run.
    if (status != 0)
        std::fputs("# Error during installation\n", out);
    std::fputs("# Installation completed\n", out);
    pipe.close_write();
    // What is logged from here on (a module's destructor at exit) goes
    // straight into the log, not into the closed stream.
    qv::send_log_through(nullptr);

    if (!destination.empty())
        QV_instChangeResgitryPermission(const_cast<char *>(dest));
    if (removeAll)
        QV_RemoveHistoryFile(dest);
    std::exit(status);
}

} // namespace

extern "C" {

// Checks made before an installation starts: something must change, and
// the destination must be a writable directory. Shows a box and answers 0
// when the run must not start.
int QV_instPreInstallCheck(_QV_instCDinst *cdinst, _QV_InstConfigList *config)
{
    if (qv::packages_affected(cdinst, config) == 0) {
        box("Nothing to Install/Remove");
        return 0;
    }

    std::string destination;
    if (const char *d = QV_instGetDestinationDirectory())
        destination = d;
    bool made = false;
    const std::string refusal = qv::make_destination(CDInstPtr ? CDInstPtr->rootDest : nullptr,
                                                     CDInstPtr ? CDInstPtr->productDir : nullptr, destination, made);
    if (!refusal.empty()) {
        box(("Unable to create install directory:\n" + destination + "\n" + refusal).c_str());
        return 0;
    }
    if (!made) {
        qv::CStr text(QV_instStrPrint("Unable to create install directory:\n%s", destination.c_str()));
        box(text ? text.get() : "Unable to create install directory:\n");
        return 0;
    }

    std::string root;
    if (const char *r = QV_instGetRootDestinationDirectory())
        root = r;
    struct stat st;
    if (root.empty() || stat(root.c_str(), &st) != 0)
        return 1;
    const char *problem = nullptr;
    if (!S_ISDIR(st.st_mode))
        problem = "Install path is not a directory:\n%s";
    else if ((st.st_mode & 0600) != 0600)
        problem = "Install path does not have read/write permissions:\n%s";
    if (problem) {
        qv::CStr text(QV_instStrPrint(problem, root.c_str()));
        box(text ? text.get() : problem);
        return 0;
    }
    return 1;
}

// Starts an installation (or, with removeAll, the removal of everything)
// of a configuration. In text mode it returns once the child has finished;
// in graphical mode it returns at once and the progress dialog follows the
// child.
int QV_instCommandLineInstall(_QV_instCDinst *cdinst, _QV_InstConfigList *config, int removeAll)
{
    qv::InstallRun &run = qv::install_run();
    run.removeAll = removeAll;
    if (!cdinst || !cdinst->rootDest || !*cdinst->rootDest || !config) {
        std::fputs("Invalid arguments to CommandLineInstall\n", stderr);
        return 1;
    }

    catch_file_too_large();
    run.total = static_cast<uint64_t>(QV_instGetTrueSize(cdinst, config, 1, 1));
    if (QV_instDebug >= 1)
        std::fprintf(stderr, "Total size=%llu\n", static_cast<unsigned long long>(run.total));
    // A description that cannot be examined now is still copied later if it
    // can be read then; it gets the mode of an ordinary product file.
    int cdinstMode = 0644;
    int64_t cdinstSize = 0;
    struct stat st;
    if (cdinst->cdinstPath && stat(cdinst->cdinstPath, &st) == 0) {
        run.total += static_cast<uint64_t>(st.st_size);
        if (QV_instDebug >= 1)
            std::fprintf(stderr, "Total size +  cdinst=%llu\n", static_cast<unsigned long long>(run.total));
        cdinstMode = static_cast<int>(st.st_mode & 07777);
        cdinstSize = st.st_size;
    }

    // Only the install child writes to the pipe: the programs it runs (tar,
    // bunzip2, the registry tools, module commands) do not get it. One that
    // stays running, a service a tool starts, would otherwise hold the write
    // end open and the text-mode parent would wait for its end for ever.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        std::fputs("Error creating pipe\n", stderr);
        return 1;
    }
    Pipe p;
    p.read = fdopen(fds[0], "r");
    p.write = fdopen(fds[1], "w");
    if (!p.read || !p.write) {
        std::fputs("Could not convert pipe to stream\n", stderr);
        if (p.read)
            std::fclose(p.read);
        else
            close(fds[0]);
        if (p.write)
            std::fclose(p.write);
        else
            close(fds[1]);
        return 1;
    }

    signal(SIGCHLD, QV_instChildHandler);

    ChildRun job{removeAll, "", cdinstMode, cdinstSize, getpid(), ""};
    if (const char *d = GetDestinationDirectory(cdinst))
        job.destination = d;
    const std::string &destination = job.destination;
    // As root, the tree must be root's alone before anything is made in it,
    // and the product folder is then made by root folder by folder, each
    // checked once it is there: one a user made in between is refused too.
    bool made = false;
    const std::string refusal = qv::make_destination(cdinst->rootDest, cdinst->productDir, destination, made);
    if (!refusal.empty()) {
        // On a terminal, a refusal is an error of its own on standard error.
        if (QV_instGetMainTopLevelShell())
            box(("Unable to create install directory\n" + refusal).c_str());
        else
            std::fprintf(stderr, "Error: %s\n", refusal.c_str());
        p.close_both();
        return 1;
    }
    if (!made) {
        // On a terminal the user also needs to know which folder and why;
        // a folder that exists as a file sets no error number.
        int err = errno ? errno : ENOTDIR;
        qv::CStr text(QV_instGetMainTopLevelShell()
                          ? nullptr
                          : QV_instStrPrint("Unable to create install directory\n%s: %s\n", destination.c_str(),
                                            std::strerror(err)));
        box(text ? text.get() : "Unable to create install directory");
        p.close_both();
        return 1;
    }

    if (cdinst->logFile && *cdinst->logFile) {
        qv::CStr path(QV_instBuildPath(destination.c_str(), cdinst->logFile, nullptr));
        qv::CStr dir(path ? QV_instDirname(path.get()) : nullptr);
        if (!path || !dir) {
            box("Error while setting up logfile");
            p.close_both();
            return 1;
        }
        // Nothing reads the pipe before the fork, and a deep log folder
        // could fill it: the "+1 mkdir" lines are kept and the child sends
        // them first. They count towards the progress total.
        job.early = early_mkdir(dir.get());
        run.total += units_of(job.early);
        QV_instInitLogfileAndTimeStamp(path.get());
        const std::string warning = qv::history_source_warning();
        if (!warning.empty())
            QV_instUpdateLogfile("%s\n", warning.c_str());
    }

    if (mbMaintenance)
        QV_instUpdateLogfile("Running in Maintenance mode\n");
    if (removeAll) {
        QV_instUpdateLogfile("Removing All Files\n");
    } else if (cdinst->menuInclude) {
        std::string root;
        if (const char *r = GetRootDestinationDirectory(cdinst))
            root = r;
        QV_instAddSinclude(nullptr, root.empty() ? nullptr : &root[0]);
    }

    // Whatever sits in a stdio buffer now would be written by both
    // processes after the fork.
    std::fflush(stdout);
    std::fflush(stderr);
    std::fflush(p.write);

    // Jobs that the child's commands leave behind when they end come to
    // this process, so that a stop still finds them.
    qv::become_subreaper();
    Widget shell = QV_instGetMainTopLevelShell();
    std::optional<StopSignals> stopSignals;
    if (!shell)
        stopSignals.emplace();
    pid_t pid = fork();
    if (pid < 0) {
        std::fputs("Can't fork\n", stderr);
        p.close_both();
        return 1;
    }
    if (pid == 0)
        run_child(cdinst, config, p, job, stopSignals);

    run.child = pid;
    run.errorFlag = 0;
    run.childStart = qv::process_start(pid);
    if (shell) {
        // The parent keeps the write end open for the rest of the process,
        // so its reader never sees end of file: the run ends at the final
        // marker, an error answer or Cancel.
        run.readFd = fileno(p.read);
        QV_instCreateProgressBar(shell, run.readFd, pid);
        return 0;
    }

    p.close_write();
    stopSignals->catch_in_parent();
    run.readFd = fileno(p.read);
    bool completed = read_child_lines(run.readFd, run.total, pid);
    const bool interrupted = g_interrupted && !completed;
    // The child still removes the history or fixes the registry's mode
    // after its last line; the run is over only when it has exited.
    // The read end goes first: a child that still writes then learns that
    // nobody reads instead of waiting for room in the pipe.
    p.close_read();
    run.readFd = -1;
    int wstatus = 0;
    if (interrupted) {
        wstatus = qv::stop_install_child(pid);
    } else {
        for (;;) {
            pid_t got = waitpid(pid, &wstatus, WUNTRACED);
            if (got < 0 && errno == EINTR)
                continue;
            if (got == pid && WIFSTOPPED(wstatus)) {
                qv::continue_if_stopped_by_terminal(pid, WSTOPSIG(wstatus));
                continue;
            }
            break;
        }
    }
    qv::collect_adopted(pid, run.childStart);
    std::fputs("\n", stdout);
    std::fflush(stdout);
    stopSignals.reset();

    if (interrupted) {
        QV_instUpdateLogfile("Installation interrupted\n");
        std::fputs("Installation interrupted\n", stderr);
        if (qv::first_installation())
            QV_RemoveHistoryFile(destination.c_str());
        std::exit(1);
    }
    // A child that died before its final marker (a crashing module, a
    // signal) reported no error line, yet the installation did not finish;
    // one that failed after it (a module's destructor at exit) did not
    // finish cleanly either.
    if (!completed || (!qv::child_succeeded(wstatus) && !run.errorFlag)) {
        const std::string text = qv::death_text(wstatus);
        std::fprintf(stderr, "%s\n", text.c_str());
        QV_instUpdateLogfile("%s\n", text.c_str());
        run.errorPrinted = true;
        run.errorFlag = 1;
    }
    qv::log_verdict();
    if (run.errorFlag && qv::first_installation())
        QV_RemoveHistoryFile(destination.c_str());
    return 0;
}

// SIGCHLD handler of the installer: it only notes that a child ended (an
// adopted job, collected by the run's readers) and stays installed; the
// text-mode driver reaps its child itself.
void QV_instChildHandler(int sig)
{
    (void)sig;
    qv::g_childSignalled = 1;
    signal(SIGCHLD, QV_instChildHandler);
}

uint64_t GetProgressBarTotalSize(void)
{
    return qv::install_run().total;
}

void SetProgressBarTotalSize(uint64_t total)
{
    qv::install_run().total = total;
}

// The product's registry stays readable by every user and writable by its
// owner; a directory also keeps its search bits, or nobody but root could
// reach the entries in it.
void QV_instChangeResgitryPermission(char *installDir)
{
    if (!installDir)
        return;
    qv::CStr path(QV_instStrPrint("%s/Application/registry", installDir));
    if (!path)
        return;
    QV_instRemoveExtraSlash(path.get()); // the folder given ends in a slash
    struct stat st;
    if (geteuid() != 0) {
        chmod(path.get(), (stat(path.get(), &st) == 0 && S_ISDIR(st.st_mode)) ? 0755 : 0644);
        return;
    }
    // As root the destination may be a folder that a user can write, where
    // a link put at the registry's name would hand the new mode to any file
    // of the system: the mode is set on what was opened as a plain file or
    // folder.
    bool notPlain = false;
    qv::Fd fd(qv::open_plain(AT_FDCWD, path.get(), O_RDONLY, 0, "Registry", path.get(), notPlain,
                             qv::PlainAllows::Folder));
    if (fd.get() >= 0 && fstat(fd.get(), &st) == 0)
        fchmod(fd.get(), S_ISDIR(st.st_mode) ? 0755 : 0644);
}

// A bare pipe-and-fork for modules that run work of their own in a child.
int QV_instInterfaceInstall(const _QV_instCDinst *cdinst, const char *unused)
{
    (void)cdinst;
    (void)unused;
    int fds[2];
    if (pipe(fds) != 0) {
        std::fputs("Could not create a pipe\n", stderr);
        std::exit(1);
    }
    FILE *in = fdopen(fds[0], "r");
    FILE *out = fdopen(fds[1], "w");
    if (!in || !out) {
        std::fputs("Could not convert pipe to stream\n", stderr);
        std::exit(1);
    }
    signal(SIGCHLD, QV_instChildHandler);
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0)
        std::fclose(in);
    else
        std::fclose(out);
    return 0;
}

} // extern "C"
