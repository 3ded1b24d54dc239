// State of the one installation run a process performs, shared by the
// install driver and the readers of the child's protocol lines (the
// text-mode loop of the driver and the graphical input callback).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdlib>

namespace qv {

struct InstallRun {
    uint64_t total = 0;  // bytes the run is expected to report
    uint64_t done = 0;   // bytes the graphical parent has read back
    pid_t child = -1;    // the install child (SIGSTOP, SIGCONT, SIGKILL)
    int readFd = -1;     // read end of the pipe (input callback)
    int errorFlag = 0;   // an error line or "# Error during installation" was read
    int removeAll = 0;   // third argument of the last QV_instCommandLineInstall
};

InstallRun &install_run();

// The leading number of a protocol line, as the readers see it: base 10,
// blanks and a sign allowed, 0 when the line starts with no number.
inline long long protocol_count(const char *line)
{
    return std::strtoll(line, nullptr, 10);
}

} // namespace qv
