// Writing a file into another user's home folder as root, and giving it to
// that user, without letting anything the user planted there redirect it.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>

#include "engine/internal.h"

namespace qv {

// Writes line and a line break on stream at once; returns line.
std::string print_line(FILE *stream, const std::string &line);

// The home folder of the account uid, opened once: the files of the
// account are then made in it through this descriptor, so that nothing put
// at its path meanwhile is followed. As root it must be the account's own
// folder: reached through no link that root does not own, owned by uid and
// writable by no one else; when it is not, `notTheUsers` is set. An empty home
// is "/". Other users open it as any program would. An invalid Fd when the
// folder cannot be opened (errno set) or is not the user's own.
Fd open_home(const std::string &home, uid_t uid, bool &notTheUsers);

// Writes the whole of source, a regular file, into target, the path of a
// file in the folder dir (open_home) that is made there by its last
// component, and gives it to uid:gid. Source is read whole first: when it
// is no regular file or cannot be read, target is left as it was (or not
// created), and the error line names sourceName. Links are never followed:
// a target that is a symbolic link, a hard link of another file or no
// regular file at all is refused and left as it is. The new content is
// written into a temporary file in dir that replaces target only once it
// is complete, so any failure leaves target exactly as it was. A new file
// takes the mode of source (less the umask); an existing one keeps its
// mode. Returns "" on success, else the error line (without its newline),
// which has also been written on standard error.
std::string install_user_file(int source, const std::string &sourceName, int dir, const std::string &target,
                              uid_t uid, gid_t gid);

// A private folder (mode 0700), under /tmp as root, else under $TMPDIR or
// /tmp, removed with what it holds when the object goes. It is worked on
// through its descriptor (fd()), never again by name, so that nothing put
// at its name meanwhile is followed.
class PrivateDir {
public:
    PrivateDir();
    ~PrivateDir();
    PrivateDir(const PrivateDir &) = delete;
    PrivateDir &operator=(const PrivateDir &) = delete;
    bool ok() const { return fd_.get() >= 0; }
    int fd() const { return fd_.get(); }
    // Where it was made; for messages.
    const std::string &path() const { return path_; }

private:
    std::string path_;
    std::string name_; // its name in parent_
    Fd parent_;        // the folder it was made in
    Fd fd_;            // the folder itself
};

} // namespace qv
