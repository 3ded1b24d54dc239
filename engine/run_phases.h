// The phases of an installation run, one file each, which the driver
// (driver.cpp) goes through in order: checking and preparing the tree
// (run_prepare.cpp), the install child (install_child.cpp), stopping a run
// (run_stop.cpp) and, in text mode, following the child to the run's end
// (text_run.cpp).
#pragma once

#include <signal.h>
#include <sys/types.h>
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <optional>
#include <string>

#include "engine/cdinst.h"
#include "engine/driver.h"
#include "wizard/shell.h"

namespace qv {

// Shows text in a box with one OK button (on standard output without a
// display).
inline void box(const char *text)
{
    QV_instOkCancelMessageBox(QV_instGetMainTopLevelShell(), text, "OK", nullptr, nullptr);
}

// The protocol pipe's two ends as streams.
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

// A child of setup ended since the last look (SIGCHLD).
extern volatile sig_atomic_t g_childSignalled;

// A stop signal has come to the text-mode parent.
extern volatile sig_atomic_t g_interrupted;
void note_interruption(int);

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
            if (!signal_ignored(kStopSignals[i]))
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

// How long the commands of a stopped run have to end by themselves before
// they are killed: the parent gives them this at a stop, and so does the
// child when its parent is gone.
constexpr int kStopGraceMs = 2000;

// The monotonic clock in milliseconds, which a pause cut short by a signal
// does not fool. Safe in a signal handler.
inline long long now_ms()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

// Both processes of a run catch SIGXFSZ: a file grown past the file size
// limit (ulimit -f) then fails alone (or, in the parent, that one log
// entry), instead of the process dying with the run. The child gets the
// handler with the fork.
void catch_file_too_large();

// The sizes of the run before it starts: the progress total, and the mode
// and size the description's copy gets.
void size_run(_QV_instCDinst *cdinst, _QV_InstConfigList *config, ChildRun &job);

// Checks and makes the product folder (as root: the tree must be root's),
// opens the log and writes the run's first entries. False, after telling
// the user why, when the run must not start.
bool prepare_tree(_QV_instCDinst *cdinst, ChildRun &job);

// What the install child does, start to end; it never returns.
[[noreturn]] void run_child(_QV_instCDinst *cdinst, _QV_InstConfigList *config, Pipe &pipe, const ChildRun &job,
                           std::optional<StopSignals> &stopSignals);

// Text mode: follows the child started as pid to the end of the run, or
// stops it on a stop signal (then setup exits with 1), and leaves the
// verdict.
void follow_text_run(pid_t pid, Pipe &p, std::optional<StopSignals> &stopSignals, const std::string &destination);

} // namespace qv
