// Finding and signalling the processes below an install child through
// /proc, with system calls and fixed buffers only: the child's own stop
// handler uses it.
#include "engine/descendants.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <ctime>

namespace {

// "/proc/<pid>/stat" into buf (at least 32 bytes).
void stat_path(pid_t pid, char *buf)
{
    char digits[16];
    int n = 0;
    for (unsigned long v = static_cast<unsigned long>(pid); n == 0 || v > 0; v /= 10)
        digits[n++] = static_cast<char>('0' + v % 10);
    const char prefix[] = "/proc/";
    int at = 0;
    for (const char *p = prefix; *p; ++p)
        buf[at++] = *p;
    while (n > 0)
        buf[at++] = digits[--n];
    for (const char *p = "/stat"; *p; ++p)
        buf[at++] = *p;
    buf[at] = '\0';
}

// The parent and the start time of a process from its stat line: the
// fields after the command name (which may hold blanks and parentheses,
// hence the last ')') are the state, the parent, ... and, 20th, the start
// time.
bool read_stat(pid_t pid, pid_t *parent, unsigned long long *start)
{
    char path[32];
    stat_path(pid, path);
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buf[1024];
    ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n <= 0)
        return false;
    buf[n] = '\0';
    const char *p = nullptr;
    for (ssize_t i = n - 1; i >= 0 && !p; --i)
        if (buf[i] == ')')
            p = buf + i + 1;
    if (!p)
        return false;
    unsigned long long field[20] = {};
    for (int f = 0; f < 20; ++f) {
        while (*p == ' ')
            ++p;
        if (!*p)
            return false;
        if (f > 0) { // the state (field 0) is a letter
            for (; *p >= '0' && *p <= '9'; ++p)
                field[f] = field[f] * 10 + static_cast<unsigned>(*p - '0');
        }
        while (*p && *p != ' ')
            ++p;
    }
    *parent = static_cast<pid_t>(field[1]);
    *start = field[19];
    return true;
}

void pause_briefly()
{
    struct timespec t = {0, 5 * 1000 * 1000};
    ::nanosleep(&t, nullptr);
}

} // namespace

namespace qv {

bool Descendants::known(pid_t pid) const
{
    for (size_t i = 0; i < count_; ++i)
        if (found_[i].pid == pid)
            return true;
    return false;
}

// One pass over /proc; answers whether it found a process not seen before.
bool Descendants::scan(pid_t top)
{
    int dir = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return false;
    bool added = false;
    alignas(8) char buf[4096];
    while (count_ < kMax) {
        ssize_t n = ::getdents64(dir, buf, sizeof buf);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n && count_ < kMax;) {
            const auto *entry = reinterpret_cast<const struct dirent64 *>(buf + at);
            at += entry->d_reclen;
            pid_t pid = 0;
            const char *name = entry->d_name;
            for (; *name >= '0' && *name <= '9'; ++name)
                pid = pid * 10 + (*name - '0');
            if (*name || pid <= 0 || pid == top || known(pid))
                continue;
            pid_t parent = 0;
            unsigned long long start = 0;
            if (!read_stat(pid, &parent, &start) || (parent != top && !known(parent)))
                continue;
            found_[count_++] = {pid, start};
            ::kill(pid, SIGSTOP);
            added = true;
        }
    }
    ::close(dir);
    return added;
}

void Descendants::freeze(pid_t top, bool stopTop)
{
    count_ = 0;
    if (stopTop)
        ::kill(top, SIGSTOP);
    // A process found late may have started another before its stop took
    // effect: the search ends only after two passes in a row found
    // nothing new.
    int quiet = 0;
    for (int pass = 0; pass < 100 && quiet < 2; ++pass) {
        if (scan(top)) {
            quiet = 0;
        } else {
            ++quiet;
            pause_briefly();
        }
    }
}

void Descendants::signal(int sig) const
{
    for (size_t i = 0; i < count_; ++i) {
        pid_t parent = 0;
        unsigned long long start = 0;
        if (read_stat(found_[i].pid, &parent, &start) && start == found_[i].start)
            ::kill(found_[i].pid, sig);
    }
}

} // namespace qv
