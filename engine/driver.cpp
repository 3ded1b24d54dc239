// The install driver: prepares a run, forks the install child that runs
// the passes, and hands the child to the front end that follows it (the
// progress dialog, or the text-mode run). Each phase has its file
// (run_phases.h).
#include "engine/driver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "engine/cdinst.h"
#include "engine/descendants.h"
#include "engine/fileops.h"
#include "engine/fileops_internal.h"
#include "engine/install.h"
#include "engine/internal.h"
#include "engine/ownership.h"
#include "engine/run_phases.h"
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

} // namespace qv

extern "C" {

// Checks made before an installation starts: something must change, and
// the destination must be a writable directory. Shows a box and answers 0
// when the run must not start.
int QV_instPreInstallCheck(_QV_instCDinst *cdinst, _QV_InstConfigList *config)
{
    if (qv::packages_affected(cdinst, config) == 0) {
        qv::box("Nothing to Install/Remove");
        return 0;
    }

    std::string destination;
    if (const char *d = QV_instGetDestinationDirectory())
        destination = d;
    bool made = false;
    const std::string refusal = qv::make_destination(CDInstPtr ? CDInstPtr->rootDest : nullptr,
                                                     CDInstPtr ? CDInstPtr->productDir : nullptr, destination, made);
    if (!refusal.empty()) {
        qv::box(("Unable to create install directory:\n" + destination + "\n" + refusal).c_str());
        return 0;
    }
    if (!made) {
        qv::CStr text(QV_instStrPrint("Unable to create install directory:\n%s", destination.c_str()));
        qv::box(text ? text.get() : "Unable to create install directory:\n");
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
        qv::box(text ? text.get() : problem);
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

    qv::catch_file_too_large();
    qv::ChildRun job{removeAll, "", 0644, 0, getpid(), ""};
    qv::size_run(cdinst, config, job);

    // Only the install child writes to the pipe: the programs it runs (tar,
    // bunzip2, the registry tools, module commands) do not get it. One that
    // stays running, a service a tool starts, would otherwise hold the write
    // end open and the text-mode parent would wait for its end for ever.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        std::fputs("Error creating pipe\n", stderr);
        return 1;
    }
    qv::Pipe p;
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

    if (const char *d = GetDestinationDirectory(cdinst))
        job.destination = d;
    if (!qv::prepare_tree(cdinst, job)) {
        p.close_both();
        return 1;
    }

    // Whatever sits in a stdio buffer now would be written by both
    // processes after the fork.
    std::fflush(stdout);
    std::fflush(stderr);
    std::fflush(p.write);

    // Jobs that the child's commands leave behind when they end come to
    // the child, which is their subreaper, and to this process once the
    // child has ended, so that a stop still finds them.
    qv::become_subreaper();
    Widget shell = QV_instGetMainTopLevelShell();
    std::optional<qv::StopSignals> stopSignals;
    if (!shell)
        stopSignals.emplace();
    pid_t pid = fork();
    if (pid < 0) {
        std::fputs("Can't fork\n", stderr);
        p.close_both();
        return 1;
    }
    if (pid == 0)
        qv::run_child(cdinst, config, p, job, stopSignals);

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
    qv::follow_text_run(pid, p, stopSignals, job.destination);
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
