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

#include "engine/internal.h"

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

std::string not_plain(const std::string &target, const struct stat &st)
{
    if (!S_ISREG(st.st_mode))
        return fail("ERROR: " + target + " is not a regular file; it was left as it is.");
    return fail("ERROR: " + target + " has other links; it was left as it is.");
}

bool plain(const struct stat &st)
{
    return S_ISREG(st.st_mode) && st.st_nlink == 1;
}

bool write_all(int fd, const char *data, size_t size)
{
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::string install_user_file(int source, const std::string &target, uid_t uid, gid_t gid)
{
    // The user owns the folder and may have put anything at the target's
    // name: a symbolic link to /etc/shadow, a hard link of it, a FIFO that
    // would block the open. Such a target is refused before it is opened,
    // and checked again on the open descriptor, since it may change in
    // between. No O_TRUNC: a hard-linked file must be seen before it is
    // emptied.
    struct stat st;
    if (lstat(target.c_str(), &st) == 0) {
        if (!plain(st))
            return not_plain(target, st);
    } else if (errno != ENOENT) {
        return fail("ERROR: Can't write " + target + ": " + std::strerror(errno));
    }

    struct stat from;
    if (fstat(source, &from) != 0)
        return fail("ERROR: Can't read the file for " + target + ": " + std::strerror(errno));

    Fd out(open(target.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC,
                from.st_mode & 0777));
    if (out.get() < 0) {
        if (errno == ELOOP && lstat(target.c_str(), &st) == 0)
            return not_plain(target, st);
        return fail("ERROR: Can't write " + target + ": " + std::strerror(errno));
    }
    if (fstat(out.get(), &st) != 0)
        return fail("ERROR: Can't write " + target + ": " + std::strerror(errno));
    if (!plain(st))
        return not_plain(target, st);
    if (ftruncate(out.get(), 0) != 0)
        return fail("ERROR: Can't write " + target + ": " + std::strerror(errno));

    char buf[65536];
    for (;;) {
        ssize_t n = read(source, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail("ERROR: Can't read the file for " + target + ": " + std::strerror(errno));
        if (n == 0)
            break;
        if (!write_all(out.get(), buf, static_cast<size_t>(n)))
            return fail("ERROR: Can't write " + target + ": " + std::strerror(errno));
    }

    // The owner changes last, on the descriptor: the file the user gets is
    // the one just written, whatever happened to the name meanwhile.
    if (fchown(out.get(), uid, gid) != 0)
        return fail("ERROR: Can't give " + target + " to its user: " + std::strerror(errno));
    if (close(out.release()) != 0)
        return fail("ERROR: Can't write " + target + ": " + std::strerror(errno));
    return "";
}

PrivateDir::PrivateDir()
{
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/qvsetup-XXXXXX";
    if (mkdtemp(&pattern[0]))
        path_ = pattern;
}

PrivateDir::~PrivateDir()
{
    if (path_.empty())
        return;
    if (Dir dir{opendir(path_.c_str())}) {
        while (const struct dirent *entry = readdir(dir.get())) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            if (unlinkat(dirfd(dir.get()), entry->d_name, 0) != 0)
                unlinkat(dirfd(dir.get()), entry->d_name, AT_REMOVEDIR);
        }
    }
    rmdir(path_.c_str());
}

} // namespace qv
