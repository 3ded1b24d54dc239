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
#include <string_view>
#include <vector>

#include "engine/install.h"
#include "engine/fileops_internal.h"
#include "engine/internal.h"
#include "engine/lines.h"
#include "engine/ownership.h"
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

// A menu file of another user is read (and .shortcuts copied) whole by
// root; a sparse file of any size costs that user nothing, so past this
// size it is left alone. Real menu files are a few KiB.
const off_t kMaxOthersMenuFile = off_t{1} << 20;

// The message for a menu file of another user that is larger than root
// reads; result 1.
int too_large(const std::string &shown)
{
    std::fprintf(stderr, "Shortcut file is larger than 1 MiB and another user's, left as it is: %s\n", shown.c_str());
    return 1;
}

// How much of the menu file open on fd root reads: kMaxOthersMenuFile of
// another user's file, all of one's own.
uint64_t read_limit(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && st.st_uid == geteuid() ? UINT64_MAX : static_cast<uint64_t>(kMaxOthersMenuFile);
}

// As root, the menu files live in a user's folder, where the user may have
// planted a link to any file of the system: they are opened only as plain
// files. A file that is only read (oneLink false) may have other names; one
// that is written in place, not replaced, would otherwise write into
// whatever other file the user linked it to. Another user's file already
// larger than kMaxOthersMenuFile is left alone at once; one that grows
// meanwhile is stopped by the reader's limit (read_limit). A file left alone:
// message naming it, `leftAlone` set, -1.
int open_no_link(int dirFd, const char *name, const std::string &shown, int flags, bool oneLink, bool &leftAlone)
{
    qv::Fd fd(qv::open_plain(dirFd, name, flags, 0, "Shortcut file", shown, leftAlone,
                             oneLink ? qv::PlainAllows::FileOnly : qv::PlainAllows::OtherNames));
    struct stat st;
    if (fd.get() >= 0 && fstat(fd.get(), &st) == 0 && st.st_uid != geteuid() && st.st_size > kMaxOthersMenuFile) {
        too_large(shown);
        leftAlone = true;
        return -1;
    }
    return fd.release();
}

// A folder of menu files opened as root: through no link that root does
// not own, so that a user's link to a folder of the system (HOME reaching
// /etc) does not have root's files made there.
qv::Fd open_menu_folder(const char *dir)
{
    if (geteuid() != 0)
        return qv::Fd(open(dir, O_PATH | O_DIRECTORY | O_CLOEXEC));
    qv::Walk walk = qv::walk_path(dir, qv::WalkRule::Links);
    struct stat st;
    if (walk.fd.get() >= 0 && fstat(walk.fd.get(), &st) == 0 && S_ISDIR(st.st_mode))
        return std::move(walk.fd);
    if (!walk.refusal.empty())
        std::fprintf(stderr, "%s\n", walk.refusal.c_str());
    return qv::Fd();
}

// ~/.auxchestrc for root: never through a link, nor into a file with other
// links (it is appended to in place); a new one is created 0644 and given to
// the owner of the home folder, whose file it is.
qv::Fd open_auxchestrc_as_root(const char *home, const std::string &shown, bool &leftAlone)
{
    qv::Fd homeFd = open_menu_folder(home);
    struct stat folder;
    if (homeFd.get() < 0 || fstat(homeFd.get(), &folder) != 0)
        return qv::Fd();
    const char name[] = ".auxchestrc";
    qv::Fd fd(openat(homeFd.get(), name, O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd.get() < 0)
        return errno == EEXIST ? qv::Fd(open_no_link(homeFd.get(), name, shown, O_RDWR | O_APPEND, true, leftAlone))
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

// What install_shortcut looks at in a line of a menu file, gathered piece by
// piece so that a line of any length costs bounded memory: its first two
// words (split at blanks, tabs and newlines) and the text between its first
// two double quotes. Each text is kept to kMaxWrittenLine + 1 characters: it
// is only ever compared with texts of at most kMaxWrittenLine, to which a
// longer one is unequal, cut or whole.
struct LineScan {
    size_t words = 0; // words begun, counted up to 3
    bool inWord = false;
    std::string word[2];
    int quotes = 0; // double quotes seen, counted up to 2
    std::string quoted;

    static void keep(std::string &text, char c)
    {
        if (text.size() <= kMaxWrittenLine)
            text.push_back(c);
    }

    void feed(std::string_view piece)
    {
        for (char c : piece) {
            if (c == ' ' || c == '\t' || c == '\n') {
                inWord = false;
            } else {
                if (!inWord) {
                    inWord = true;
                    words += words < 3;
                }
                if (words <= 2)
                    keep(word[words - 1], c);
            }
            if (c == '"')
                quotes += quotes < 2;
            else if (quotes == 1)
                keep(quoted, c);
        }
    }
};

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
        bool leftAlone = false;
        qv::Fd fd = open_auxchestrc_as_root(homeDir, rcPath.get(), leftAlone);
        if (leftAlone)
            return 1;
        rc = qv::stream_of(fd, "a+");
    }
    if (!rc) {
        std::fprintf(stderr, "Unable to open shortcut file: %s\n", rcPath.get());
        return 1;
    }
    // The line is looked for piece by piece: the file is the user's and may
    // be of any size. Only the tail of the current line that could begin
    // the line looked for is kept from one piece to the next.
    const std::string_view wanted(include.get());
    std::string window;
    qv::LinePieces pieces(rc.get(), geteuid() == 0 ? read_limit(fileno(rc.get())) : UINT64_MAX);
    std::string_view piece;
    bool lineEnds = false;
    while (pieces.next(piece, lineEnds)) {
        window.append(piece);
        if (window.find(wanted) != std::string::npos)
            return 0;
        if (lineEnds)
            window.clear();
        else if (window.size() >= wanted.size())
            window.erase(0, window.size() - (wanted.size() - 1));
    }
    if (pieces.over_limit())
        return too_large(rcPath.get());
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
    // O_PATH: the folder is only searched and written, never listed, so it
    // needs no read permission.
    qv::Fd dirFd = open_menu_folder(dir);
    // A missing menu file is an empty one; one that exists but cannot be
    // read must not be replaced by a file without its menus.
    qv::File in;
    bool readable = false, leftAlone = false;
    if (dirFd.get() >= 0) {
        qv::Fd inFd(asRoot ? open_no_link(dirFd.get(), ".shortcuts", menuFile, O_RDONLY, false, leftAlone)
                           : openat(dirFd.get(), ".shortcuts", O_RDONLY | O_CLOEXEC));
        if (leftAlone)
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

    // Each line is copied as it is read, in pieces, so that a menu file of
    // any size costs bounded memory; a line that is to be replaced is then
    // overwritten from its start, and whatever of it is left beyond the end
    // of the new file is cut off at the end.
    LineScan scan;
    bool inLine = false;
    off_t lineStart = 0; // where the current line began in the new file
    bool lineWritten = true;
    auto end_of_line = [&]() {
        std::string replacement;
        if (scan.words == 0) {
            // a blank line passes unchanged
        } else if (scan.word[0] == "Menu") {
            current = -1;
            inRoot = inLast = false;
            if (scan.words > 1 && scan.word[1] == kRootMenu) {
                inRoot = true;
                current = 0;
            } else if (scan.words > 1) {
                for (size_t j = level; j < n; ++j) {
                    if (menus[j] == scan.word[1]) {
                        level = j;
                        current = static_cast<long>(j);
                        inLast = j == n - 1;
                        break;
                    }
                }
            }
        } else if (scan.word[0] == "}") {
            if (inRoot && level == 0 && n > 1) {
                replacement = submenu_entry(menus[1]);
                rootAdded = true;
            }
            // The menu ends here: lines up to the next "Menu" belong to none.
            current = -1;
            inRoot = inLast = false;
        } else if (scan.quotes == 2) {
            const std::string &entry = scan.quoted;
            if (inLast && entry == newLabel) {
                replacement = command_entry(newLabel, newCommand);
                level = n;
            } else if (current >= 0 && static_cast<size_t>(current) + 1 < n && entry == menus[current + 1]) {
                level = static_cast<size_t>(current) + 1;
            }
        }
        if (!replacement.empty())
            lineWritten = lineWritten && fseeko(out.get(), lineStart, SEEK_SET) == 0 &&
                          std::fputs(replacement.c_str(), out.get()) >= 0;
        if (!lineWritten)
            std::fputs("fputs failed writing shortcut", stdout);
        written = lineWritten && written;
        scan = LineScan();
        inLine = false;
    };
    if (in) {
        qv::LinePieces pieces(in.get(), asRoot ? read_limit(fileno(in.get())) : UINT64_MAX);
        std::string_view piece;
        bool lineEnds = false;
        while (pieces.next(piece, lineEnds)) {
            if (!inLine) {
                inLine = true;
                lineStart = ftello(out.get());
                lineWritten = lineStart >= 0;
            }
            scan.feed(piece);
            lineWritten = std::fwrite(piece.data(), 1, piece.size(), out.get()) == piece.size() && lineWritten;
            if (lineEnds)
                end_of_line();
        }
        if (inLine)
            end_of_line(); // a last line without its newline
        if (pieces.over_limit()) {
            out.reset();
            unlinkat(dirFd.get(), "QUORRC", 0);
            return too_large(menuFile);
        }
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
    const off_t size = ftello(out.get());
    if (size < 0 || std::fflush(out.get()) != 0 || ftruncate(fileno(out.get()), size) != 0)
        written = false;
    if (std::fclose(out.release()) != 0 || !written)
        return 1;
    return renameat(dirFd.get(), "QUORRC", dirFd.get(), ".shortcuts") == 0 ? 0 : 1;
}

} // extern "C"
