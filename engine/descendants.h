// The processes below an install child: the commands it started (tar,
// bunzip2, the registry tools, a module's own commands) and what they
// started in turn. They share setup's process group, and with it the
// terminal, so a stopped run finds them by their parents in /proc and ends
// them by their own process ids. Setup's parent process is the subreaper of
// its descendants: a job whose own parent has ended (`cmd &` in a shell
// that exits) comes to it instead of init, and is found below it.
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

    // Finds every process below top, stopping each one as it is found so
    // that none can start another meanwhile; top itself is stopped first
    // when stopTop is set. With an adopter (the subreaper), the adopter's
    // children that started no earlier than top count as below top too:
    // they are its commands' jobs, adopted when their parents ended. The
    // search goes on until it finds nothing new, however many there are.
    // Safe in a signal handler (its memory comes from mmap). Without /proc
    // nothing is found.
    void freeze(pid_t top, bool stopTop, pid_t adopter = 0);

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
    bool scan(pid_t top, pid_t adopter, unsigned long long since);

    Entry *found_ = nullptr;
    size_t count_ = 0;
    size_t capacity_ = 0;
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
