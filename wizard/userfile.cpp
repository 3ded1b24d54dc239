// Files that the installer, running as root, writes into a user's home
// folder for that user.
#include "wizard/userfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/fileops_internal.h"
#include "engine/internal.h"
#include "engine/ownership.h"

namespace qv {

std::string print_line(FILE *stream, const std::string &line)
{
    std::fprintf(stream, "%s\n", line.c_str());
    std::fflush(stream);
    return line;
}

namespace {

std::string fail(const std::string &line)
{
    return print_line(stderr, line);
}


// The whole of source, a regular file, with its permission bits; "" on
// success, else the error line naming sourceName. The environment file is
// small, and having all of it before the target is opened means that no
// failure of the source can leave the user's file emptied or half written.
std::string read_source(int source, const std::string &sourceName, std::string &content, mode_t &mode)
{
    struct stat st;
    if (fstat(source, &st) != 0)
        return fail("ERROR: Can't read " + sourceName + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return fail("ERROR: Can't read " + sourceName + ": it is not a regular file");
    mode = st.st_mode & 0777;
    content.clear();
    char buf[65536];
    for (;;) {
        ssize_t n = read_block(source, buf, sizeof buf);
        if (n < 0)
            return fail("ERROR: Can't read " + sourceName + ": " + std::strerror(errno));
        content.append(buf, static_cast<size_t>(n));
        if (n < static_cast<ssize_t>(sizeof buf))
            return "";
    }
}

} // namespace

Fd open_home(const std::string &home, uid_t uid, bool &notTheUsers)
{
    notTheUsers = false;
    const std::string path = home.empty() ? "/" : home;
    if (geteuid() != 0)
        return Fd(open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    // As root, a home that is a link the user made (to a folder of the
    // system, say) or a folder of someone else's would have root make a
    // file there and give it to the user.
    Walk walk = walk_path(path, WalkRule::Links);
    struct stat st;
    if (walk.fd.get() >= 0 && fstat(walk.fd.get(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid &&
        (st.st_mode & (S_IWGRP | S_IWOTH)) == 0)
        return std::move(walk.fd);
    notTheUsers = true;
    return Fd();
}

std::string install_user_file(int source, const std::string &sourceName, int dir, const std::string &target,
                              uid_t uid, gid_t gid)
{
    std::string content;
    mode_t mode = 0;
    std::string error = read_source(source, sourceName, content, mode);
    if (!error.empty())
        return error;

    // The user owns the folder and may have put anything at the target's
    // name: a symbolic link to /etc/shadow, a hard link of it, a FIFO. Such
    // a target is refused and left as it is.
    const std::string name = target.substr(target.rfind('/') + 1);
    struct stat st;
    if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!is_plain(st))
            return fail("ERROR: " + not_plain_text("Environment file", target));
        mode = st.st_mode & 0777;
    } else if (errno == ENOENT) {
        const mode_t mask = umask(0);
        umask(mask);
        mode &= ~mask;
    } else {
        return fail("ERROR: Can't write " + target + ": " + std::strerror(errno));
    }

    // The new content goes into a file of its own beside the target, which
    // no one else can open, given to the user before anything is written
    // (so that the user's quota counts it), and takes the target's name only
    // once it is complete and has its mode: a failed write (a full disk, a
    // quota) leaves the user's file exactly as it was, and the new file
    // goes. Whatever is put at the target's name meanwhile is replaced by
    // the rename, never written through.
    PendingFile pending;
    if (!pending.create_in(dir, name))
        return fail("ERROR: Can't write " + target + ": " + std::strerror(errno));
    if (fchown(pending.fd(), uid, gid) != 0)
        return fail("ERROR: Can't give " + target + " to its user: " + std::strerror(errno));
    if (!write_all(pending.fd(), content.data(), content.size()) || !pending.put_in_place(mode))
        return fail("ERROR: Can't write " + target + ": " + std::strerror(errno));
    return "";
}

PrivateDir::PrivateDir()
{
    // Root's TMPDIR may name a folder that others can write, where the new
    // folder could be swapped for another before it is used: as root only
    // /tmp, whose sticky bit keeps others from renaming what root made.
    const char *tmp = geteuid() == 0 ? nullptr : std::getenv("TMPDIR");
    const std::string base = tmp && *tmp ? tmp : "/tmp";
    std::string pattern = base + "/qvsetup-XXXXXX";
    if (!mkdtemp(&pattern[0]))
        return;
    path_ = pattern;
    name_ = pattern.substr(base.size() + 1);
    parent_.reset(open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    Fd folder(open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    // The folder opened must be the one just made: a folder of this
    // process's user that no one else may enter.
    struct stat st;
    if (parent_.get() >= 0 && folder.get() >= 0 && fstat(folder.get(), &st) == 0 && st.st_uid == geteuid() &&
        (st.st_mode & 077) == 0)
        fd_ = std::move(folder);
}

PrivateDir::~PrivateDir()
{
    if (fd_.get() < 0)
        return;
    // Everything goes through the descriptors taken when the folder was
    // made, never through its name again: whatever has been put at the
    // name since (a link to another folder) is not followed.
    const int listing = dup(fd_.get());
    Dir dir{listing >= 0 ? fdopendir(listing) : nullptr};
    if (!dir && listing >= 0)
        close(listing);
    if (dir) {
        while (const struct dirent *entry = readdir(dir.get())) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            if (unlinkat(fd_.get(), entry->d_name, 0) != 0)
                unlinkat(fd_.get(), entry->d_name, AT_REMOVEDIR);
        }
    }
    // The folder itself goes only while its name still leads to it.
    struct stat mine, named;
    if (fstat(fd_.get(), &mine) == 0 && fstatat(parent_.get(), name_.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        named.st_dev == mine.st_dev && named.st_ino == mine.st_ino)
        unlinkat(parent_.get(), name_.c_str(), AT_REMOVEDIR);
}

} // namespace qv
