// Pieces shared by the file operations (fileops.cpp, archive.cpp): the
// source prompt loop and whole-block reads and writes.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/internal.h"
#include "engine/util.h"

namespace qv {

// How the source prompt ended: a new source folder was chosen (retry the
// open there), Continue (skip the file, no error line), or Abort ("-1 abort"
// has been sent).
enum class SourceAnswer { Chosen, Continue, Abort };

// Asks Continue / Browse... / Abort about a source file that cannot be
// opened until the user picks a folder, continues or aborts. A chosen folder
// becomes the source directory of every later operation.
SourceAnswer ask_for_source(FILE *stream, const char *title, const char *name);

// The common start of a copy and a decompression: missing or over-long
// names get the operation's invalid-parameters line (result 1), and in
// removal mode the target is deleted (result 0, whatever the deletion did).
// Returns true when the operation ends there, with *result set.
bool done_before_copying(const char *invalidLine, const char *source, const char *destination, int64_t size,
                         FILE *stream, int remove, int *result);

// A new file written beside its destination and put in its place only when
// it is complete and has its mode: until then the old file stays, and no
// one can open the new one. It is made without a name (O_TMPFILE), so that
// nothing is left behind whatever ends the process; where the file system
// cannot do that (or /proc is missing, through which it is named), a hidden
// ".<name>.XXXXXX" of mode 0600 beside the destination stands in for it and
// is removed unless it was put in place. Every step is taken relative to
// the destination's folder, opened once.
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile();
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    // dir is the destination's folder as QV_instDirname gives it.
    bool create(const char *dir, const char *destination);
    // The new file `name` in the folder that dir is open on (the caller
    // keeps it open until the file is in place); errno set on failure.
    bool create_in(int dir, const std::string &name);
    int fd() const { return fd_.get(); }

    // What the operation says when a step of put_in_place fails: the text,
    // a blank and the destination.
    struct FailureTexts {
        const char *mode;
        const char *close;
        const char *name;
    };
    // Sets the mode, closes the file and gives it the destination's name.
    // Returns 0, or 1 after the failed step's line; the old destination
    // then stays.
    int put_in_place(const char *destination, mode_t mode, FILE *stream, const FailureTexts &texts);
    // The same without a line: false (errno set) when a step failed.
    bool put_in_place(mode_t mode);

private:
    enum class Step { Done, Mode, Close, Name };
    Step finish(mode_t mode);
    bool name_it();
    template <typename Make> bool claim_name(Make make);

    Fd ownDir_;         // the folder, when create opened it
    int dir_ = -1;      // the folder the file is made in
    std::string shown_; // the folder's path, for the unfinished file's name
    std::string base_;  // the destination's last component
    std::string named_; // the file's temporary name, once it has one
    Fd fd_;
};

// The Mkdir operation: makes the missing folders of path like QV_instMkdir
// and with its lines, but reports exactly `units` progress units, the units
// the size walk counted for the operation, however many folders it makes:
// "+<units> mkdir" for the first folder made and "+0 mkdir" for those below
// it, or one "+<units> mkdir" line for the path when it was all there.
// 0, or -1 after an error line.
int make_directory(const char *path, int mode, FILE *stream, int64_t units);

// Fills buf with up to n bytes, stopping early only at end of file.
// Returns the count, or -1 on a read error.
ssize_t read_block(int fd, char *buf, size_t n);

// Writes all n bytes; false on any error.
bool write_all(int fd, const char *buf, size_t n);

// What may stand at the name of a file that is opened where someone else
// may have put something there (a user's folder, for root): a link to any
// file of the system, a hard link of one, a FIFO. Only a plain file is
// taken: a regular file with no other name. A file that is only read may
// have other names; where a folder is wanted, a folder is taken too.
enum class PlainAllows { FileOnly, OtherNames, Folder };

bool is_plain(const struct stat &st, PlainAllows allows = PlainAllows::FileOnly);

// The one text that names such a file left alone: "<what> is a link or not
// a plain file, left as it is: <path>".
std::string not_plain_text(const char *what, const std::string &path);

// Opens name (relative to the folder dir, or to the working folder with
// AT_FDCWD) never through a link at its own name and without waiting on a
// FIFO, and keeps it only when is_plain says so. Anything else is left as
// it is: standard error names it with not_plain_text (what, shown),
// `notPlain` is set and the result is -1. A name that cannot be opened at
// all gives -1 with errno set and `notPlain` left unset.
int open_plain(int dir, const char *name, int flags, mode_t mode, const char *what, const std::string &shown,
               bool &notPlain, PlainAllows allows = PlainAllows::FileOnly);

// Paths longer than the installer's path limit are refused with the
// operation's own error line instead of being cut.
inline bool too_long(const char *path)
{
    return path && std::strlen(path) > QV_PATH_MAX;
}

inline bool empty(const char *text)
{
    return !text || !*text;
}

// Archive member names with a ".." component climb out of the directory
// they are joined to. tar never extracts such a member, so nothing that an
// installation put in place can have one.
inline bool climbs_out(const char *name)
{
    for (const char *p = name; p && *p;) {
        const char *end = std::strchr(p, '/');
        size_t len = end ? static_cast<size_t>(end - p) : std::strlen(p);
        if (len == 2 && p[0] == '.' && p[1] == '.')
            return true;
        if (!end)
            break;
        p = end + 1;
    }
    return false;
}

// The index of the last archive member whose data has been fed, when
// members are spread over the archive in proportion to its bytes: count *
// fed / size, at most count - 1. 128-bit arithmetic so that neither archives
// of 4 GiB and more nor huge member counts wrap.
inline int64_t member_index(int64_t count, uint64_t fed, uint64_t size)
{
    if (count <= 0)
        return -1;
    if (size == 0)
        return count - 1;
    unsigned __int128 idx = static_cast<unsigned __int128>(count) * fed / size;
    return idx >= static_cast<unsigned __int128>(count) ? count - 1 : static_cast<int64_t>(idx);
}

} // namespace qv
