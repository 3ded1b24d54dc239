// The processes below an install child: the commands it started (tar,
// bunzip2, the registry tools, a module's own commands) and what they
// started in turn. They share setup's process group, and with it the
// terminal, so a stopped run finds them by their parents in /proc and ends
// them by their own process ids. The install child is the subreaper of its
// commands, and setup's parent process of what outlives the child: a job
// whose own parent has ended (`cmd &` in a shell that exits) comes to one
// of them instead of init, and is found below it.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace qv {

class Descendants {
public:
    Descendants() = default;
    ~Descendants();
    Descendants(const Descendants &) = delete;
    Descendants &operator=(const Descendants &) = delete;

    // Takes the memory for capacity processes now and never more: a search
    // that runs in a signal handler must not allocate. A process found
    // once that memory is full is killed at once (SIGKILL) instead of
    // being kept.
    void reserve(size_t capacity);

    // Finds every process below top, stopping each one as it is found so
    // that none can start another meanwhile; top itself is stopped first
    // when stopTop is set. With an adopter (a subreaper), the adopter's
    // children that started no earlier than since (top's start when since
    // is 0) count as below top too: they are its commands' jobs, adopted
    // when their parents ended. A top of -1 stands for a top that has been
    // collected already: then only the adopted ones and what is below them
    // are found. The search goes on until it finds nothing new, however
    // many there are (up to the reserved memory, when there is some).
    // Without /proc nothing is found. Once reserve() has given it its
    // memory, it uses system calls only and is safe in a signal handler.
    void freeze(pid_t top, bool stopTop, pid_t adopter = 0, unsigned long long since = 0);

    // Searches again as the last freeze did, keeping what was found and
    // adding (and stopping) what has started since: a process that one
    // found started while being told to end.
    void look_again();

    // Sends sig to every process found that is still the one found (a
    // process id taken again by another process since is left alone).
    void signal(int sig) const;

    // Whether any process found is still running (an ended one waiting to
    // be collected does not count).
    bool any_running() const;

    // Collects those of the processes found that ended as children of this
    // process, waiting at most a short while for the others to end.
    void collect() const;

    size_t size() const { return count_; }

private:
    struct Entry {
        pid_t pid;
        unsigned long long start; // start time, in clock ticks after boot
    };

    bool known(pid_t pid) const;
    bool add(pid_t pid, unsigned long long start);
    bool scan();
    void search();

    Entry *found_ = nullptr;
    size_t count_ = 0;
    size_t capacity_ = 0;
    bool fixed_ = false; // the memory is what reserve() took
    pid_t top_ = -1;
    pid_t adopter_ = 0;
    unsigned long long since_ = 0;
};

// When a process started, in clock ticks after boot; 0 when it cannot be
// told.
unsigned long long process_start(pid_t pid);

// In the subreaper: collects its children that ended and started no earlier
// than the install child, which started at since (the adopted jobs of its
// commands). The install child and every process the subreaper started
// before it are left to their own waits (a popen's pclose, the driver's).
void collect_adopted(pid_t child, unsigned long long since);

// Makes the calling process the subreaper of its descendants.
void become_subreaper();

} // namespace qv
