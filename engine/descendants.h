// The processes below an install child: the commands it started (tar,
// bunzip2, the registry tools, a module's own commands) and what they
// started in turn. They share setup's process group, and with it the
// terminal, so a stopped run finds them by their parents in /proc and ends
// them by their own process ids.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace qv {

class Descendants {
public:
    // Finds every process below top, stopping each one as it is found so
    // that none can start another meanwhile; top itself is stopped first
    // when stopTop is set. Safe in a signal handler. Without /proc nothing
    // is found.
    void freeze(pid_t top, bool stopTop);

    // Sends sig to every process found that is still the one found (a
    // process id taken again by another process since is left alone).
    void signal(int sig) const;

    size_t size() const { return count_; }

private:
    struct Entry {
        pid_t pid;
        unsigned long long start; // start time, in clock ticks after boot
    };
    static constexpr size_t kMax = 512;

    bool known(pid_t pid) const;
    bool scan(pid_t top);

    Entry found_[kMax];
    size_t count_ = 0;
};

} // namespace qv
