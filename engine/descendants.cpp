// Finding and signalling the processes below an install child through
// /proc, with system calls only: the child's own stop handler uses it.
#include "engine/descendants.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

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

struct Stat {
    char state;               // 'Z' once ended and not yet collected
    pid_t parent;
    unsigned long long start; // in clock ticks after boot
};

// The state, the parent and the start time of a process from its stat
// line: the fields after the command name (which may hold blanks and
// parentheses, hence the last ')') are the state, the parent, ... and,
// 20th, the start time.
bool read_stat(pid_t pid, Stat *st)
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
        if (f == 0)
            st->state = *p;
        else
            for (; *p >= '0' && *p <= '9'; ++p)
                field[f] = field[f] * 10 + static_cast<unsigned>(*p - '0');
        while (*p && *p != ' ')
            ++p;
    }
    st->parent = static_cast<pid_t>(field[1]);
    st->start = field[19];
    return true;
}

// poll, unlike nanosleep, may be called in a signal handler.
void pause_briefly()
{
    ::poll(nullptr, 0, 5);
}

// Calls fn(pid, stat) for every process in /proc; fn answers whether to go
// on.
template <typename Fn>
void each_process(Fn &&fn)
{
    int dir = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return;
    alignas(8) char buf[4096];
    bool more = true;
    while (more) {
        ssize_t n = ::getdents64(dir, buf, sizeof buf);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n && more;) {
            const auto *entry = reinterpret_cast<const struct dirent64 *>(buf + at);
            at += entry->d_reclen;
            pid_t pid = 0;
            const char *name = entry->d_name;
            for (; *name >= '0' && *name <= '9'; ++name)
                pid = pid * 10 + (*name - '0');
            Stat st;
            if (!*name && pid > 0 && read_stat(pid, &st))
                more = fn(pid, st);
        }
    }
    ::close(dir);
}

unsigned long long start_of(pid_t pid)
{
    Stat st;
    return read_stat(pid, &st) ? st.start : 0;
}

} // namespace

namespace qv {

Descendants::~Descendants()
{
    if (found_)
        ::munmap(found_, capacity_ * sizeof(Entry));
}

bool Descendants::known(pid_t pid) const
{
    for (size_t i = 0; i < count_; ++i)
        if (found_[i].pid == pid)
            return true;
    return false;
}

void Descendants::reserve(size_t capacity)
{
    if (capacity <= capacity_)
        return;
    void *more = ::mmap(nullptr, capacity * sizeof(Entry), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (more == MAP_FAILED)
        return;
    if (found_) {
        std::memcpy(more, found_, count_ * sizeof(Entry));
        ::munmap(found_, capacity_ * sizeof(Entry));
    }
    found_ = static_cast<Entry *>(more);
    capacity_ = capacity;
    fixed_ = true;
}

// Keeps a process found; false when no memory is left for it.
bool Descendants::add(pid_t pid, unsigned long long start)
{
    if (count_ == capacity_) {
        if (fixed_)
            return false;
        const size_t capacity = capacity_ ? capacity_ * 2 : 512;
        void *more = ::mmap(nullptr, capacity * sizeof(Entry), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                            -1, 0);
        if (more == MAP_FAILED)
            return false;
        if (found_) {
            std::memcpy(more, found_, count_ * sizeof(Entry));
            ::munmap(found_, capacity_ * sizeof(Entry));
        }
        found_ = static_cast<Entry *>(more);
        capacity_ = capacity;
    }
    found_[count_++] = {pid, start};
    return true;
}

// One pass over /proc; answers whether it found a process not seen before.
// One that cannot be kept is killed: it could not be reached later.
bool Descendants::scan()
{
    bool added = false;
    each_process([&](pid_t pid, const Stat &st) {
        if (pid == top_ || known(pid))
            return true;
        const bool adopted = adopter_ > 0 && st.parent == adopter_ && st.start >= since_;
        if ((top_ <= 0 || st.parent != top_) && !adopted && !known(st.parent))
            return true;
        if (!add(pid, st.start)) {
            ::kill(pid, SIGKILL);
            return true;
        }
        ::kill(pid, SIGSTOP);
        added = true;
        return true;
    });
    return added;
}

// A process found late may have started another before its stop took
// effect: the search ends only after two passes in a row found nothing
// new.
void Descendants::search()
{
    int quiet = 0;
    while (quiet < 2) {
        if (scan()) {
            quiet = 0;
        } else {
            ++quiet;
            pause_briefly();
        }
    }
}

void Descendants::freeze(pid_t top, bool stopTop, pid_t adopter, unsigned long long since)
{
    count_ = 0;
    top_ = top;
    adopter_ = adopter;
    since_ = adopter > 0 && since == 0 && top > 0 ? start_of(top) : since;
    if (stopTop && top > 0)
        ::kill(top, SIGSTOP);
    search();
}

void Descendants::look_again()
{
    search();
}

void Descendants::signal(int sig) const
{
    for (size_t i = 0; i < count_; ++i) {
        Stat st;
        if (read_stat(found_[i].pid, &st) && st.start == found_[i].start)
            ::kill(found_[i].pid, sig);
    }
}

bool Descendants::any_running() const
{
    for (size_t i = 0; i < count_; ++i) {
        Stat st;
        if (read_stat(found_[i].pid, &st) && st.start == found_[i].start && st.state != 'Z')
            return true;
    }
    return false;
}

void Descendants::collect() const
{
    const pid_t self = ::getpid();
    // A process killed just now may take a moment to end, and its own
    // children come to the subreaper only once it has.
    for (int round = 0; round < 200; ++round) {
        bool waiting = false;
        for (size_t i = 0; i < count_; ++i) {
            Stat st;
            if (!read_stat(found_[i].pid, &st) || st.start != found_[i].start)
                continue;
            if (st.parent == self && st.state == 'Z')
                ::waitpid(found_[i].pid, nullptr, WNOHANG);
            else
                waiting = true;
        }
        if (!waiting)
            return;
        pause_briefly();
    }
}

unsigned long long process_start(pid_t pid)
{
    return start_of(pid);
}

void collect_adopted(pid_t child, unsigned long long since)
{
    const pid_t self = ::getpid();
    if (since == 0)
        return;
    each_process([&](pid_t pid, const Stat &st) {
        if (pid != child && st.parent == self && st.state == 'Z' && st.start >= since)
            ::waitpid(pid, nullptr, WNOHANG);
        return true;
    });
}

void become_subreaper()
{
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
}

} // namespace qv
