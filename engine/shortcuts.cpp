// The user's desktop menu files: the "sinclude" line of an installation in
// ~/.auxchestrc, and command entries in nested menus of a .shortcuts file.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/install.h"
#include "engine/internal.h"
#include "engine/lines.h"
#include "engine/util.h"

namespace {

// Limits of install_shortcut: input beyond them is refused, never cut.
const size_t kMaxComponents = 20;
const size_t kMaxComponentLength = 19;
const size_t kMaxCommandLength = 1023;
const size_t kMaxWrittenLine = 511;

const char kRootMenu[] = "ToolChest";

// A variable of the environment, NULL when unset or empty.
const char *env_value(const char *name)
{
    const char *v = std::getenv(name);
    return v && *v ? v : nullptr;
}

// The words of a menu line, split at blanks, tabs and newlines.
std::vector<std::string> words(const std::string &line, size_t max)
{
    std::vector<std::string> out;
    size_t i = 0;
    while (out.size() < max) {
        i = line.find_first_not_of(" \t\n", i);
        if (i == std::string::npos)
            break;
        size_t end = line.find_first_of(" \t\n", i);
        out.push_back(line.substr(i, end == std::string::npos ? std::string::npos : end - i));
        i = end;
    }
    return out;
}

// The components of a menu path, split at '/', empty ones dropped. The
// caller's string is left as it is.
std::vector<std::string> menu_components(const char *path)
{
    std::vector<std::string> out;
    for (const char *p = path; *p;) {
        size_t len = std::strcspn(p, "/");
        if (len)
            out.emplace_back(p, len);
        p += len;
        if (*p)
            ++p;
    }
    return out;
}

// The command format is filled with one empty string. It may therefore hold
// at most one conversion that takes an argument, and that one must be a
// string; anything else would read arguments that were never given.
// Conversions are recognised the way QV_instStrPrint recognises them.
bool takes_only_one_string(const char *format)
{
    int strings = 0;
    for (const char *p = std::strchr(format, '%'); p; p = std::strchr(p, '%')) {
        ++p;
        while (*p && std::strchr("-+# 0", *p))
            ++p;
        if (*p >= '1' && *p <= '9')
            while (std::isdigit(static_cast<unsigned char>(*p)))
                ++p;
        if (p[0] == '.' && p[1] >= '1' && p[1] <= '9') {
            ++p;
            while (std::isdigit(static_cast<unsigned char>(*p)))
                ++p;
        }
        if (!*p)
            break;
        if (*p == 's')
            ++strings;
        else if (std::strchr("diouxXceEfgG", *p))
            return false;
        ++p;
    }
    return strings <= 1;
}

std::string command_entry(const std::string &label, const std::string &command)
{
    return "\t\"" + label + "\"\tf.checkexec \"" + command + "\"\n";
}

std::string submenu_entry(const std::string &name)
{
    return "\t\"" + name + "\"\tf.menu \"" + name + "\"\n}\n";
}

std::string last_menu(const std::string &menu, const std::string &label, const std::string &command)
{
    return "\nMenu " + menu + "\n{\n" + command_entry(label, command) + "}\n";
}

std::string intermediate_menu(const std::string &menu, const std::string &next)
{
    return "\nMenu " + menu + "\n{\n\t\"" + next + "\"\tf.menu " + next + "\n}\n";
}

// As root, the menu files live in a user's folder, where the user may have
// planted a link to any file of the system: they are opened only as regular
// files of their own, never through a link (and without waiting on a FIFO).
// A link or anything other than a regular file: message naming the file,
// `refused` set, -1.
int open_no_link(int dirFd, const char *name, const std::string &shown, int flags, bool &refused)
{
    int fd = openat(dirFd, name, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno != ELOOP)
        return -1;
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        return fd;
    if (fd >= 0)
        close(fd);
    std::fprintf(stderr, "Shortcut file is a link or not a regular file, left as it is: %s\n", shown.c_str());
    refused = true;
    return -1;
}

// ~/.auxchestrc for root: never through a link; a new one is created 0644
// and given to the owner of the home folder, whose file it is.
qv::Fd open_auxchestrc_as_root(const char *home, const std::string &shown, bool &refused)
{
    qv::Fd homeFd(open(home, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat folder;
    if (homeFd.get() < 0 || fstat(homeFd.get(), &folder) != 0)
        return qv::Fd();
    const char name[] = ".auxchestrc";
    qv::Fd fd(openat(homeFd.get(), name, O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd.get() < 0)
        return errno == EEXIST ? qv::Fd(open_no_link(homeFd.get(), name, shown, O_RDWR | O_APPEND, refused))
                               : qv::Fd();
    if (fchown(fd.get(), folder.st_uid, folder.st_gid) != 0 || fchmod(fd.get(), 0644) != 0) {
        unlinkat(homeFd.get(), name, 0);
        return qv::Fd();
    }
    return fd;
}

// Writes one line of the new menu file; false (after the message) when the
// write failed.
bool put(const std::string &text, FILE *out, const char *failure)
{
    if (std::fputs(text.c_str(), out) >= 0)
        return true;
    std::fputs(failure, stdout);
    return false;
}

} // namespace

extern "C" {

// Makes sure the user's ~/.auxchestrc includes the .title file of the
// installation at `location`. 0 present or added, 1 on failure.
int QV_instAddSinclude(char *home, char *location)
{
    const char *homeDir = home && *home ? home : env_value("HOME");
    if (!homeDir) {
        std::fputs("Unable to get Home env var for sinclude\n", stderr);
        return 1;
    }
    const char *where = location && *location ? location : env_value("QV_LOCATION");
    if (!where) {
        std::fprintf(stderr, "Unable to get %s env var for sinclude\n", "QV_LOCATION");
        return 1;
    }

    qv::CStr rcPath(QV_instBuildPath(homeDir, ".auxchestrc", nullptr));
    qv::CStr titlePath(QV_instBuildPath(where, ".title", nullptr));
    qv::CStr include(titlePath ? QV_instStrPrint("sinclude %s", titlePath.get()) : nullptr);
    if (!rcPath || !include) {
        std::fputs("Internal memory error in QV_instAddSinclude\n", stderr);
        return 1;
    }

    qv::File rc;
    if (geteuid() != 0) {
        // A user's own linked dotfiles are followed, as any program does.
        rc.reset(std::fopen(rcPath.get(), "a+"));
    } else {
        bool refused = false;
        qv::Fd fd = open_auxchestrc_as_root(homeDir, rcPath.get(), refused);
        if (refused)
            return 1;
        rc = qv::stream_of(fd, "a+");
    }
    if (!rc) {
        std::fprintf(stderr, "Unable to open shortcut file: %s\n", rcPath.get());
        return 1;
    }
    std::string line;
    while (qv::read_line(rc.get(), line))
        if (line.find(include.get()) != std::string::npos)
            return 0;
    std::fseek(rc.get(), 0, SEEK_END);
    std::fprintf(rc.get(), "\n%s\n", include.get());
    return std::fclose(rc.release()) == 0 ? 0 : 1;
}

// Adds (or updates) the entry `label` running `command` in the menu named
// by the last component of `menuPath` ("ToolChest/Apps/Tools"), creating the
// menus on the way, in <dir>/.shortcuts. 0 written, 1 on failure.
int install_shortcut(char *menuPath, char *label, char *command, char *dir)
{
    // A line break in any text would put part of it on a line of its own,
    // outside the entry it belongs to.
    if (!menuPath || !label || !command || !dir || !*menuPath || !*label || !*command ||
        std::strchr(menuPath, '\n') || std::strchr(label, '\n') || std::strchr(command, '\n') ||
        !takes_only_one_string(command)) {
        std::fputs("Shortcut invalid parameters\n", stderr);
        return 1;
    }

    std::vector<std::string> menus = menu_components(menuPath);
    qv::CStr formatted(QV_instStrPrint(command, ""));
    std::string newCommand = formatted ? formatted.get() : "";
    std::string newLabel(label);
    bool tooLong = !formatted || newCommand.size() > kMaxCommandLength || menus.empty();
    for (const std::string &m : menus)
        tooLong = tooLong || m.size() > kMaxComponentLength;
    if (!tooLong && menus.size() <= kMaxComponents)
        tooLong = last_menu(menus.back(), newLabel, newCommand).size() > kMaxWrittenLine;
    if (tooLong) {
        std::fputs("Shortcut invalid parameters\n", stderr);
        return 1;
    }

    // The folder is opened once, so that the menu file read, the temporary
    // file and the rename all happen in the same folder.
    const bool asRoot = geteuid() == 0;
    const std::string menuFile = std::string(dir) + "/.shortcuts";
    qv::Fd dirFd(open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // A missing menu file is an empty one; one that exists but cannot be
    // read must not be replaced by a file without its menus.
    qv::File in;
    bool readable = false, refused = false;
    if (dirFd.get() >= 0) {
        qv::Fd inFd(asRoot ? open_no_link(dirFd.get(), ".shortcuts", menuFile, O_RDONLY, refused)
                           : openat(dirFd.get(), ".shortcuts", O_RDONLY | O_CLOEXEC));
        if (refused)
            return 1;
        readable = inFd.get() >= 0 || errno == ENOENT;
        if (inFd.get() >= 0) {
            in = qv::stream_of(inFd, "r");
            readable = in != nullptr;
        }
    }

    // The new file's owner and mode: those of the file it replaces, or for
    // a new one the folder's owner and 0644, so that root leaves the user's
    // menus the user's.
    struct stat like;
    bool haveOwner = false;
    if (asRoot && readable) {
        haveOwner = in ? fstat(fileno(in.get()), &like) == 0 : fstat(dirFd.get(), &like) == 0;
        if (!in)
            like.st_mode = 0644;
    }

    // A stale temporary entry, perhaps a link planted there, is removed
    // first (that never touches a link's target); the new one must be a
    // file created here and now.
    qv::Fd outFd;
    if (readable && (!asRoot || haveOwner)) {
        unlinkat(dirFd.get(), "QUORRC", 0);
        outFd.reset(openat(dirFd.get(), "QUORRC", O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           asRoot ? 0600 : 0666));
        if (outFd.get() >= 0 && asRoot &&
            (fchown(outFd.get(), like.st_uid, like.st_gid) != 0 || fchmod(outFd.get(), like.st_mode & 07777) != 0)) {
            outFd.reset();
            unlinkat(dirFd.get(), "QUORRC", 0);
        }
    }
    qv::File out = qv::stream_of(outFd, "w");
    if (!out) {
        std::puts("Unable to open Shortcut file");
        return 1;
    }
    if (menus.size() > kMaxComponents) {
        std::fputs("Overload in Shortcut menu parser", stdout);
        return 1;
    }

    const size_t n = menus.size();
    size_t level = 0;  // deepest component already present
    long current = -1; // component whose menu is being read, -1 none
    bool inRoot = false, inLast = false, rootAdded = false, written = true;
    std::string line;
    while (in && qv::read_line(in.get(), line)) {
        std::vector<std::string> w = words(line, 2);
        if (w.empty()) {
            // a blank line passes unchanged
        } else if (w[0] == "Menu") {
            current = -1;
            inRoot = inLast = false;
            if (w.size() > 1 && w[1] == kRootMenu) {
                inRoot = true;
                current = 0;
            } else if (w.size() > 1) {
                for (size_t j = level; j < n; ++j) {
                    if (menus[j] == w[1]) {
                        level = j;
                        current = static_cast<long>(j);
                        inLast = j == n - 1;
                        break;
                    }
                }
            }
        } else if (w[0] == "}") {
            if (inRoot && level == 0 && n > 1) {
                line = submenu_entry(menus[1]);
                rootAdded = true;
            }
            // The menu ends here: lines up to the next "Menu" belong to none.
            current = -1;
            inRoot = inLast = false;
        } else {
            std::string entry;
            if (qv::first_quoted(line, entry)) {
                if (inLast && entry == newLabel) {
                    line = command_entry(newLabel, newCommand);
                    level = n;
                } else if (current >= 0 && static_cast<size_t>(current) + 1 < n && entry == menus[current + 1]) {
                    level = static_cast<size_t>(current) + 1;
                }
            }
        }
        written = put(line, out.get(), "fputs failed writing shortcut") && written;
    }

    for (size_t i = level; i < n; ++i) {
        if (i == n - 1)
            written = put(last_menu(menus[i], newLabel, newCommand), out.get(), "fputs failed writin shortcut\n") &&
                      written;
        else if (i == 0 && rootAdded && menus[0] == kRootMenu)
            continue;
        else
            written = put(intermediate_menu(menus[i], menus[i + 1]), out.get(), "fputs failed writing shortcut") &&
                      written;
    }

    // A menu file that could not be written whole must not replace the
    // user's menus: the temporary file stays and .shortcuts is untouched.
    if (in && std::ferror(in.get()))
        written = false;
    in.reset();
    if (std::fclose(out.release()) != 0 || !written)
        return 1;
    return renameat(dirFd.get(), "QUORRC", dirFd.get(), ".shortcuts") == 0 ? 0 : 1;
}

} // extern "C"
