// The unfinished files of the install child, in fixed buffers that a signal
// handler may read while the child's own code changes them.
#include "engine/unfinished.h"

#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

namespace {

struct Slot {
    volatile sig_atomic_t set = 0;
    char path[PATH_MAX];
};

Slot g_slots[2];

Slot &slot(qv::Unfinished kind)
{
    return g_slots[kind == qv::Unfinished::Copy ? 0 : 1];
}

} // namespace

namespace qv {

void mark_unfinished(Unfinished kind, const char *path)
{
    Slot &s = slot(kind);
    // The handler reads the buffer only while it is marked as set, so it is
    // never seen half written.
    s.set = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (!path || std::strlen(path) >= sizeof s.path)
        return;
    std::memcpy(s.path, path, std::strlen(path) + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    s.set = 1;
}

void remove_unfinished()
{
    for (Slot &s : g_slots)
        if (s.set)
            ::unlink(s.path);
}

} // namespace qv
