// State of the one installation run a process performs, shared by the
// install driver and the readers of the child's protocol lines (the
// text-mode loop of the driver and the graphical input callback).
#pragma once

#include <sys/types.h>

#include <csignal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/install.h"

namespace qv {

struct InstallRun {
    uint64_t total = 0;  // bytes the run is expected to report
    uint64_t done = 0;   // bytes the graphical parent has read back
    pid_t child = -1;    // the install child (SIGSTOP, SIGCONT, SIGKILL)
    int readFd = -1;     // read end of the pipe (input callback)
    int errorFlag = 0;   // an error line or "# Error during installation" was read
    int removeAll = 0;   // third argument of the last QV_instCommandLineInstall
    // The command-line installation found a valid history of an earlier
    // installation (the wizard marks such a run with mbMaintenance).
    bool historyFound = false;
    // Text mode: the user has been told of an error on the terminal.
    bool errorPrinted = false;
    unsigned long long childStart = 0; // the install child's start time

};

InstallRun &install_run();

// A first installation is one that no earlier installation's history
// stands behind: when it fails or is stopped its history goes, so that the
// next run installs everything again instead of offering maintenance of a
// tree that is only partly there.
bool first_installation();

// The verdict of a run that went to its end, as the last entry of the
// run's log, written once the child has ended: "Error during the
// installation" after any error (an error line or marker, a child that
// died), else "Installation Completed".
void log_verdict();

// The warning a protocol line carries, as the terminal shows it ("0 text"
// and "Warning: text" lines); empty for any other line.
std::string warning_of(const char *line);

// Ends the text-mode status line at once, so that what a stop brings (its
// messages, those of the commands it ends) starts on a line of its own.
void end_status_line();

// What the user is told of a child that ended before its final marker,
// from its wait status.
std::string death_text(int wstatus);

// Ends an install child and every command below it, the jobs adopted from
// it included: SIGTERM and SIGCONT (the child removes its unfinished
// files), then, to what is still there 2 s later and to what started
// meanwhile, SIGKILL. Returns the child's wait status once collected; what
// was killed is collected too. With collected, the child's end has been
// collected already: only what its commands left is stopped, and 0 is
// returned.
int stop_install_child(pid_t child, bool collected = false);

// Whether a wait status tells an end by one of the stop signals.
bool stopped_by_signal(int wstatus);

// The signals by which a user stops a run (Ctrl-C, kill, a closed
// terminal, Ctrl-\): both front ends stop the child and its commands on
// them and leave the verdict "Installation interrupted".
inline constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// As shells do, a signal that was ignored when setup started (nohup, a
// background job of a script) stays ignored, in the parent and in the
// child.
bool signal_ignored(int sig);

// Whether a child's wait status tells a clean end (exit status 0).
bool child_succeeded(int wstatus);

// Collects the jobs adopted from the install child that have ended since
// the last call, if SIGCHLD came meanwhile.
void collect_adopted_jobs();

// A child seen stopped by stopSignal: one that the terminal stopped
// (Ctrl-Z, or reading or writing it from the background) while its parent
// goes on is continued, so that no parent waits for it for ever; setup and
// its child share the terminal's job, so a stop of the whole job is ended
// by the shell (fg, bg) as for any other program.
void continue_if_stopped_by_terminal(pid_t child, int stopSignal);

// Looks at the child without collecting it, or taking the news of a stop
// from a later wait: a child stopped by the terminal is continued. True
// once it has ended, and can be collected.
bool look_at_child(pid_t child);

// How many packages installing or removing config changes, with the
// packages' in-use counts taken afresh first.
int packages_affected(const _QV_instCDinst *cdinst, _QV_InstConfigList *config);

// The leading number of a protocol line, as the readers see it: base 10,
// blanks and a sign allowed, 0 when the line starts with no number.
inline long long protocol_count(const char *line)
{
    return std::strtoll(line, nullptr, 10);
}

// Cuts the child's byte stream into protocol lines for both readers. Runs
// of newlines count as one separator: empty lines carry nothing. A line
// longer than the protocol allows is handed on once, cut to its first
// kKeep bytes, and the rest of it is dropped up to its newline, so no line
// can overrun the carried text or leave a reader without room to read.
class LineSplitter {
public:
    static constexpr size_t kKeep = QV_PROTOCOL_LINE_MAX - 1;

    // Hands every line that data completes to line(const char *), in order;
    // an unfinished last line is carried to the next call.
    template <typename Fn>
    void feed(const char *data, size_t n, Fn &&line)
    {
        const char *p = data;
        const char *end = data + n;
        while (p < end) {
            const char *nl = static_cast<const char *>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
            const char *stop = nl ? nl : end;
            size_t take = static_cast<size_t>(stop - p);
            if (take > kKeep - carried_.size())
                take = kKeep - carried_.size();
            carried_.append(p, take);
            if (!nl)
                break;
            p = nl + 1;
            if (carried_.empty())
                continue;
            // The handler may run a nested event loop that reads again:
            // the carried text is already clear by then.
            std::string complete;
            complete.swap(carried_);
            line(complete.c_str());
        }
    }

    size_t carried() const { return carried_.size(); }

private:
    std::string carried_;
};

// A graphical install child opens its own display connection as a second
// Xt application and makes its top-level widget the main shell, so that its
// message boxes (the source-open question) appear on screen. protocol is
// the stream on which it reports to its parent; the answer is the stream
// the child writes its lines to from then on, which holds the child after
// a "-1 abort" line until its parent stops it, and after any other error
// line until the parent has continued it (the user's Yes).
FILE *open_child_application(FILE *protocol);

// Whether a protocol line is "-1 abort" (the user's or a module's Abort).
bool abort_line(const char *line);

// The wizard's end of a run that the user stopped (Cancel then Yes, a stop
// signal, a lost display): the child and its commands are stopped, the log
// ends with "Installation interrupted", a first installation leaves no
// history; setup exits with exitCode.
[[noreturn]] void interrupt_run(pid_t child, int exitCode);

// A question waits ("Quit Setup?", the error question): the child and
// every command of the run are stopped until resume_run; questions may
// nest, and the run goes on once the last is answered. A final marker that
// came meanwhile ends the run then.
void pause_run(pid_t child);
void resume_run(pid_t child);

// After "-1 abort" was sent on stream: in the graphical install child,
// whose parent stops it on reading that line, nothing more is done until
// then; the child ends when its parent is gone. Anywhere else (text mode,
// the parent, a stream the parent does not read) nobody would stop the
// process, and it returns at once.
void await_stop(FILE *stream);

// In the install child, once its parent is gone: its unfinished files go,
// every command below it is stopped as a stop does (SIGTERM and SIGCONT,
// the grace, SIGKILL), and the child ends.
[[noreturn]] void end_child_without_parent();

} // namespace qv
