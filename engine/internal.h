// Private helpers of the engine and the wizard (C++ only, not exported):
// ownership wrappers for C resources, shell quoting and child-id lists.
#pragma once

#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/cdinst.h"

namespace qv {

// A malloc'ed C string owned by C++ code.
struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
using CStr = std::unique_ptr<char, FreeDeleter>;

// A stdio stream closed with fclose.
struct FileCloser {
    void operator()(FILE *f) const
    {
        if (f)
            std::fclose(f);
    }
};
using File = std::unique_ptr<FILE, FileCloser>;

struct DirCloser {
    void operator()(DIR *d) const
    {
        if (d)
            closedir(d);
    }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

// A file descriptor closed on scope exit.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd &&o) noexcept : fd_(o.release()) {}
    Fd &operator=(Fd &&o) noexcept
    {
        if (this != &o) {
            reset();
            fd_ = o.release();
        }
        return *this;
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return fd_; }
    int release()
    {
        int f = fd_;
        fd_ = -1;
        return f;
    }
    void reset(int fd = -1)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// A stream on the descriptor, which it takes over only when the stream
// could be made (else the descriptor stays with fd); null for no
// descriptor.
inline File stream_of(Fd &fd, const char *mode)
{
    File stream(fd.get() >= 0 ? fdopen(fd.get(), mode) : nullptr);
    if (stream)
        fd.release();
    return stream;
}

// A dlopen handle closed with dlclose.
struct DlCloser {
    void operator()(void *h) const
    {
        if (h)
            dlclose(h);
    }
};
using DlHandle = std::unique_ptr<void, DlCloser>;

// The text quoted for /bin/sh so that the shell passes it on as exactly one
// word, whatever it holds (blanks, quotes, $, `, \, newlines). Every text
// that goes into a shell command goes through here.
inline std::string shell_quote(const char *text)
{
    std::string out = "'";
    for (const char *p = text ? text : ""; *p; ++p) {
        if (*p == '\'')
            out += "'\\''";
        else
            out += *p;
    }
    out += '\'';
    return out;
}

// The child ids of a list configuration and how many entries its array has
// (4 for a MainDlg, 256 for a CusDlg; none for a suite or a NULL config).
// A list ends at the first id below 1 or at the end of the array.
struct ChildIds {
    const int32_t *ids = nullptr;
    int max = 0;
    const int32_t *begin() const { return ids; }
    const int32_t *end() const
    {
        int n = 0;
        while (n < max && ids[n] >= 1)
            ++n;
        return ids + n;
    }
};

inline ChildIds children(const _QV_InstConfigList *config)
{
    if (!config || !config->data.any)
        return {};
    if (config->type == QV_CONFIG_MAINDLG)
        return {config->data.main->children, QV_MAINDLG_CHILDREN};
    if (config->type == QV_CONFIG_CUSDLG)
        return {config->data.cus->children, QV_CUSDLG_CHILDREN};
    return {};
}

// The install child's history: from begin_history_draft on, the history
// functions write a temporary file beside the history, which
// commit_history_draft puts in the history's place once the run has
// finished its walk, after the destination's files are on disk. A run
// without changes leaves the old history as it was; one whose history could
// not be written says so, leaves none and answers false (history.cpp). It
// says so as an error line on errors when given (the text-mode parent then
// prints and logs it as the run's other errors), else on standard error
// and in the log.
void begin_history_draft();
bool commit_history_draft(bool changes, FILE *errors = nullptr);

// In the install child, after the walks of a run over an installation:
// the packages the history listed that this run neither removed nor
// recorded with a selected suite (their suites lie outside the walked
// configuration) stay installed, and the history says so.
void record_untouched_packages(const _QV_instCDinst *cdinst, const char *destination);

// The options list that maintenance edits: "Add/Remove..." opens it,
// "Remove all" removes what it holds.
constexpr int kMaintenanceList = 2;

// The warning of the last history read whose source folder was not taken
// (gone, not a folder, or as root another user's), for the run's log; ""
// when it was taken.
std::string history_source_warning();

// Opens (with `make`: makes first) the SetupFiles folder of destination
// through the checked walk and keeps it for the run: a removal of that
// history (QV_RemoveHistoryFile after a failed first installation) goes
// through this folder, not through the product folder as it is by then.
void hold_history_folder(const std::string &destination, bool make);

// In the install child: log entries go to the parent as "#Log:" lines on
// the protocol stream instead of straight into the log, so that the parent
// writes every line of the run in order (logfile.cpp).
void send_log_through(FILE *protocol);

} // namespace qv
