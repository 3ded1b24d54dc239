// The history file: what an installation leaves in SetupFiles of the product
// destination so that a later run can open in maintenance mode, its writer,
// its reader and the comparison of product versions.
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/cdinst.h"
#include "engine/fileops.h"
#include "engine/fileops_internal.h"
#include "engine/internal.h"
#include "engine/lines.h"
#include "engine/ownership.h"
#include "engine/unfinished.h"
#include "engine/util.h"
#include "wizard/shell.h"

extern "C" {
const char *g_cHistoryVersion = "HistoryFileVersion";
int g_iHistoryVersion = 2;
}

namespace {

const char kSetupFiles[] = "SetupFiles";

// Longest source directory line 4 may hold: one real path.
const size_t kSourceLineMax = PATH_MAX - 1;

// File name of the history (".<name>.his"), "" when it cannot be formed.
std::string history_name()
{
    const char *name = QV_instGetHistoryFile();
    return name ? name : "";
}

// "<dir>/<name>" with one slash between them, though dir may end in one (the
// destination does), so that no message shows a doubled slash.
std::string path_below(const std::string &dir, const std::string &name)
{
    qv::CStr path(QV_instBuildPath(dir.c_str(), name.c_str(), static_cast<const char *>(nullptr)));
    return path ? std::string(path.get()) : dir + "/" + name;
}

// "<dir>/SetupFiles/<history name>", for messages. Paths are not cut to any
// fixed length: whatever the system can open is used, and a longer one
// fails at its open and is reported there instead of being written
// somewhere else.
std::string history_path(const char *dir)
{
    return path_below(path_below(dir, kSetupFiles), history_name());
}

// A folder of the history, opened once: its files are then opened, made,
// renamed and removed relative to this descriptor, never again by name. As
// root it is reached through the checked walk of the tree (and, with
// `make`, made first when missing), so that nothing another user puts at a
// name on the way is followed; why it was refused goes to refusal. An
// invalid Fd when it cannot be opened or is refused.
qv::Fd history_folder(const std::string &folder, bool make, std::string &refusal)
{
    qv::Fd found;
    if (make) {
        refusal = qv::make_checked_folder(folder, &found);
    } else if (::geteuid() == 0) {
        qv::Walk walk = qv::walk_path(folder, qv::WalkRule::Tree);
        refusal = walk.refusal;
        found = std::move(walk.fd);
    } else {
        found.reset(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    if (found.get() < 0)
        return qv::Fd();
    // Readable, so that the renames in it can be synced. A folder that may
    // be searched but not listed (mode 0311) cannot be opened for reading;
    // its files are opened, renamed and removed all the same, only the
    // sync of the rename is left out.
    qv::Fd readable(::openat(found.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return readable.get() >= 0 ? std::move(readable) : std::move(found);
}

// As root: the SetupFiles folder of the run's product folder (destination),
// checked before the run (hold_history_folder).
struct HeldFolder {
    std::string destination;
    qv::Fd folder;
};

HeldFolder &held_folder()
{
    static HeldFolder held;
    return held;
}

// The history an install run writes. It is made under a temporary name
// beside the history and replaces it only once the run has finished its
// walk, so a run that dies half way (killed, out of memory, a power cut)
// leaves the earlier history as it was, or none, instead of one that lists
// what was never installed.
struct Draft {
    bool active = false;     // the install child writes its history here
    std::string destination; // the product folder
    std::string path;        // the temporary file
    std::string history;     // the history it becomes
    std::string failure;     // why it could not be written ("" while it could)
    qv::Fd folder;           // SetupFiles, where both names are
    qv::Fd fd;

    std::string name() const { return history.substr(history.rfind('/') + 1); }
    std::string draft_name() const { return path.substr(path.rfind('/') + 1); }

    void fail(const std::string &file)
    {
        if (failure.empty())
            failure = file + ": " + std::strerror(errno);
    }
};

Draft &draft()
{
    static Draft d;
    return d;
}

std::string draft_path(const std::string &history)
{
    return history + ".tmp";
}

std::string header_lines(const char *productName, const char *productVersion)
{
    const char *source = QV_instGetSourceDirectory();
    std::string text = std::string(g_cHistoryVersion) + " " + std::to_string(g_iHistoryVersion) + "\n";
    text += std::string(productName ? productName : "") + "\n";
    text += std::string(productVersion ? productVersion : "") + "\n";
    text += std::string(source ? source : "") + "\n";
    return text;
}

std::string package_line(const _QV_InstPackage *package)
{
    return std::string("Package \"") + (package->name ? package->name : "") + "\" Installed\n";
}

std::string package_lines(const _QV_InstSuiteList *suite)
{
    std::string text;
    for (const _QV_InstPackNode *n = suite->firstPack; n; n = n->next)
        if (n->package)
            text += package_line(n->package);
    return text;
}

// Opens the history name in the folder dir (history_folder) with the open
// flags given; path names it in messages. As root it is taken only as a
// plain file (a history that is only read may have other names): a link
// put there would make root write or read elsewhere.
qv::File open_history(int dir, const std::string &name, const std::string &path, int flags, const char *mode)
{
    qv::Fd fd;
    if (dir < 0) {
        errno = ENOENT;
    } else if (::geteuid() == 0) {
        bool notPlain = false;
        const bool writing = (flags & O_ACCMODE) != O_RDONLY;
        fd.reset(qv::open_plain(dir, name.c_str(), flags, 0644, "History file", path, notPlain,
                                writing ? qv::PlainAllows::FileOnly : qv::PlainAllows::OtherNames));
    } else {
        fd.reset(::openat(dir, name.c_str(), flags | O_CLOEXEC, 0644));
    }
    return qv::stream_of(fd, mode);
}

// Writes text to the history of destination, opened with flags (the
// history's folder made when `make`); false after "Unable to open" when it
// cannot be opened.
bool write_history(const char *destination, bool make, int flags, const std::string &text)
{
    std::string refusal;
    qv::Fd dir = history_folder(path_below(destination, kSetupFiles), make, refusal);
    const std::string path = history_path(destination);
    qv::File f = open_history(dir.get(), history_name(), path, flags, "w");
    if (!f) {
        if (!refusal.empty())
            std::fprintf(stderr, "%s\n", refusal.c_str());
        std::printf("Unable to open %s\n", path.c_str());
        return false;
    }
    bool written = std::fputs(text.c_str(), f.get()) >= 0;
    return std::fclose(f.release()) == 0 && written;
}

// One line without its newline; false at the end of the file.
bool read_bare_line(FILE *f, std::string &line)
{
    if (!qv::read_line(f, line, qv::kKeptLineMax))
        return false;
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    return true;
}

// Leading whole number of a version text, the way atoi reads it.
long version_number(const char *text)
{
    return text ? std::strtol(text, nullptr, 10) : 0;
}

// Line 1 must be the format word and the current format number (a blank
// between them; the number read the way "%d" reads it).
bool valid_format_line(const std::string &line)
{
    const char *blank = " \t\n\v\f\r";
    const char *word = line.c_str() + std::strspn(line.c_str(), blank);
    size_t length = std::strcspn(word, blank);
    char *end = nullptr;
    long number = std::strtol(word + length, &end, 10);
    return length > 0 && end != word + length && std::string(word, length) == g_cHistoryVersion &&
           number == g_iHistoryVersion;
}

// A source directory line that QV_instSetSourceDirectory accepts without
// ending the program: non-empty, and when relative, still resolvable.
bool usable_source_line(const std::string &line)
{
    if (line.empty() || line.size() > kSourceLineMax)
        return false;
    if (line[0] == '/')
        return true;
    qv::CStr resolved(realpath(line.c_str(), nullptr));
    return resolved != nullptr;
}

bool same_folder(const struct stat &st, const char *other)
{
    struct stat o;
    return other && ::stat(other, &o) == 0 && o.st_dev == st.st_dev && o.st_ino == st.st_ino;
}

// Why the source folder a history names does not become this run's source;
// "" when it does. A medium that was moved or removed leaves a folder that
// is gone (or, reused, something else). As root, a folder that another
// user controls would have root install and run whatever that user put
// there; this run's own medium and the folder setup runs from are root's
// own choice wherever they are.
std::string source_not_taken(const std::string &source)
{
    struct stat st;
    if (::stat(source.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return "it is not an existing folder";
    if (::geteuid() != 0 || same_folder(st, QV_instGetSourceDirectory()) ||
        same_folder(st, QV_instGetRunningDirectory()))
        return "";
    return qv::folder_refusal(source);
}

// The warning of the last history read whose source folder was not taken,
// for the log of the run that follows (the log is opened only then).
std::string &source_warning()
{
    static std::string text;
    return text;
}

// The name between the first two double quotes of a "Package" line; false
// when the line is not one.
bool package_name(const std::string &line, std::string &name)
{
    std::string first(line.size() + 1, '\0'), second(line.size() + 1, '\0');
    if (std::sscanf(line.c_str(), "%s %s", &first[0], &second[0]) != 2)
        return false;
    return std::strcmp(first.c_str(), "Package") == 0 && qv::first_quoted(line, name);
}

// The packages not yet installed, by name (a description may give two
// packages one name), built once per read so that each package line is one
// look-up however many packages the description has.
class PackagesToMark {
public:
    explicit PackagesToMark(_QV_instCDinst *cdinst)
    {
        for (_QV_InstPackNode *n = cdinst->firstPack; n; n = n->next)
            if (n->package && n->package->installed == 0 && n->package->name)
                byName_.emplace(n->package->name, n->package);
    }

    // Every package of that name becomes installed; they leave the map, as
    // a later line naming them again changes nothing.
    void mark_installed(const std::string &name)
    {
        auto range = byName_.equal_range(name);
        for (auto it = range.first; it != range.second; ++it)
            it->second->installed = 1;
        byName_.erase(range.first, range.second);
    }

private:
    std::unordered_multimap<std::string_view, _QV_InstPackage *> byName_;
};

bool all_packages_installed(const _QV_InstSuiteList *suite)
{
    for (const _QV_InstPackNode *n = suite->firstPack; n; n = n->next)
        if (n->package && !n->package->installed)
            return false;
    return true;
}

// The refusal not_read told last in this read of the history.
std::string &told_not_read()
{
    static std::string text;
    return text;
}

// Says why a history is not read (once, though the same tree may be looked
// at in more than one place); returns nothing to read.
qv::File not_read(const std::string &refusal)
{
    if (refusal != told_not_read())
        std::fprintf(stderr, "History file not read: %s\n", refusal.c_str());
    told_not_read() = refusal;
    return nullptr;
}

// As root, the history of a tree that another user controls is not read:
// that user could have written it to make root take files from anywhere.
// Such a tree counts as having none, and standard error says why. The
// history is opened through the folder that was checked, and must itself
// be root's and closed to others. Opened for reading and writing: a
// history the user may not write counts as missing.
qv::File open_checked_history(const char *root, const char *productDir, const std::string &folder,
                              const std::string &historyFolder)
{
    std::string refusal = qv::tree_refusal(root, productDir);
    if (refusal.empty())
        refusal = qv::folder_refusal(folder);
    if (!refusal.empty())
        return not_read(refusal);
    qv::Fd dir = history_folder(historyFolder, false, refusal);
    if (!refusal.empty())
        return not_read(refusal);
    const std::string path = path_below(historyFolder, history_name());
    qv::File f = open_history(dir.get(), history_name(), path, O_RDWR, "r+");
    struct stat st;
    if (f && ::fstat(fileno(f.get()), &st) == 0 && !(refusal = qv::refusal_of(path, st)).empty())
        return not_read(refusal);
    return f;
}

// When the history is not below the destination: the installation may be the
// one the installer runs from. The candidate is two levels above the source
// directory, or else the running directory, provided ProductDirectory occurs
// in it; the root destination becomes the text before that occurrence.
qv::File open_outside_destination(_QV_instCDinst *cdinst)
{
    // Without a ProductDirectory text there is nothing to cut the root at
    // (an empty one would match at the start and leave an empty root).
    const char *product = cdinst->productDir;
    if (!product || !*product)
        return nullptr;

    std::string candidate;
    qv::CStr parent(QV_instDirname(cdinst->sourceDir));
    qv::CStr above(parent ? QV_instGetRealPath(parent.get()) : nullptr);
    if (above && std::strstr(above.get(), product))
        candidate = above.get();
    else {
        const char *running = QV_instGetRunningDirectory();
        if (!running || !std::strstr(running, product))
            return nullptr;
        candidate = running;
    }

    const std::string candidateRoot = candidate.substr(0, candidate.find(product));
    qv::File f = open_checked_history(candidateRoot.c_str(), product, candidate, path_below(candidate, kSetupFiles));
    if (!f)
        f = open_checked_history(candidateRoot.c_str(), product, candidate, candidate);
    if (!f)
        return nullptr;

    char *root = strdup(candidateRoot.c_str());
    if (root) {
        std::free(cdinst->rootDest);
        cdinst->rootDest = root;
    }
    return f;
}

} // namespace

extern "C" {

// Starts the history of an installation run: the format, the product and the
// source directory the package files come from. Any earlier history goes
// (in an install run: once the run has finished its walk).
int QV_InitHistoryFile(const char *destination, const char *productName, const char *productVersion)
{
    if (!destination)
        return 1;
    Draft &d = draft();
    if (!d.active)
        return write_history(destination, true, O_WRONLY | O_CREAT | O_TRUNC,
                             header_lines(productName, productVersion))
                   ? 0
                   : 1;

    // A temporary file left by a run that died is replaced; the new one is
    // made afresh, so nothing that stands at its name is written through.
    d.destination = destination;
    d.history = history_path(destination);
    d.path = draft_path(d.history);
    d.failure.clear();
    std::string refusal;
    d.folder = history_folder(path_below(d.destination, kSetupFiles), true, refusal);
    if (d.folder.get() >= 0) {
        ::unlinkat(d.folder.get(), d.draft_name().c_str(), 0);
        d.fd.reset(::openat(d.folder.get(), d.draft_name().c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    }
    if (d.fd.get() < 0) {
        if (refusal.empty())
            d.fail(d.path);
        else
            d.failure = refusal;
        std::printf("Unable to open %s\n", d.path.c_str());
        return 1;
    }
    qv::mark_unfinished(qv::Unfinished::History, d.path.c_str());
    const std::string header = header_lines(productName, productVersion);
    if (qv::write_all(d.fd.get(), header.data(), header.size()))
        return 0;
    d.fail(d.path);
    return 1;
}

// Records the packages of one installed suite.
int QV_UpdateHistoryFile(const char *destination, const _QV_InstSuiteList *suite)
{
    if (!destination || !suite)
        return 1;
    std::string path = history_path(destination);
    Draft &d = draft();
    if (d.active && path == d.history) {
        if (d.fd.get() < 0) {
            std::printf("Unable to open %s\n", d.path.c_str());
            return 1;
        }
        const std::string lines = package_lines(suite);
        if (qv::write_all(d.fd.get(), lines.data(), lines.size()))
            return 0;
        d.fail(d.path);
        return 1;
    }
    return write_history(destination, false, O_WRONLY | O_CREAT | O_APPEND, package_lines(suite)) ? 0 : 1;
}

// Forgets the installation (remove all, or a stopped failed run), and the
// temporary history of a run that never finished.
int QV_RemoveHistoryFile(const char *destination)
{
    if (!destination)
        return -1;
    std::string refusal;
    const HeldFolder &held = held_folder();
    const bool isHeld =
        held.folder.get() >= 0 && path_below(destination, kSetupFiles) == path_below(held.destination, kSetupFiles);
    qv::Fd found = isHeld ? qv::Fd() : history_folder(path_below(destination, kSetupFiles), false, refusal);
    const int dir = isHeld ? held.folder.get() : found.get();
    if (dir < 0)
        return -1;
    ::unlinkat(dir, draft_path(history_name()).c_str(), 0);
    return ::unlinkat(dir, history_name().c_str(), 0);
}

// Looks for the history of an earlier installation and, when a valid one is
// found, takes back its source directory and marks what it installed.
// 1 when a history was applied, 0 when none was found or it was not valid.
int QV_UpdateSuiteHistory(_QV_instCDinst *cdinst, _QV_InstConfigList *config, _QV_InstSuiteList *firstSuite,
                          const char *destination, const char *productName, const char *productVersion)
{
    source_warning().clear();
    told_not_read().clear();
    if (!cdinst || !firstSuite || !destination || !*destination)
        return 0;

    qv::File f = open_checked_history(cdinst->rootDest, cdinst->productDir, destination,
                                      path_below(destination, kSetupFiles));
    if (!f)
        f = open_outside_destination(cdinst);
    if (!f)
        return 0;

    std::string format, name, version, source;
    bool valid = read_bare_line(f.get(), format) && valid_format_line(format) && read_bare_line(f.get(), name) &&
                 std::strstr(name.c_str(), productName ? productName : "") != nullptr &&
                 read_bare_line(f.get(), version);
    if (valid)
        CompareProductVersions(productName, productVersion, version.c_str());
    valid = valid && read_bare_line(f.get(), source) && usable_source_line(source);
    if (!valid) {
        std::puts("History file empty, corrupt, or out-of-date");
        return 0;
    }

    const std::string why = source_not_taken(source);
    if (why.empty()) {
        QV_instSetSourceDirectory(&source[0]);
    } else {
        const char *own = QV_instGetSourceDirectory();
        source_warning() = "Warning: the history's source folder " + source + " is not used, files are read from " +
                           (own ? own : "") + ": " + why;
        std::fprintf(stderr, "%s\n", source_warning().c_str());
    }
    QV_instResetAllConfig(cdinst, config, QV_instStateOff);

    PackagesToMark packages(cdinst);
    std::string line, package;
    while (read_bare_line(f.get(), line))
        if (package_name(line, package))
            packages.mark_installed(package);

    for (_QV_InstSuiteList *s = firstSuite; s; s = s->next) {
        if (all_packages_installed(s)) {
            s->installed = 1;
            UpdateInstalledFlag(cdinst, config, s, 1);
        }
    }
    return 1;
}

// Warns when the installed product's major version differs from ours; the
// user decides, setup always goes on (result 1).
int CompareProductVersions(const char *productName, const char *ourVersion, const char *installedLine)
{
    long ours = version_number(ourVersion);
    long installed = version_number(installedLine);
    if (ours == installed)
        return 1;

    std::string text = installedLine ? installedLine : "";
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    const char *format = ours > installed
                             ? "Setup has detected an older version of %s (%s)\nBefore installing, you should select "
                               "Remove All."
                             : "Setup has detected a newer version of %s (%s)\nIt is highly recommended that you not "
                               "continue.";
    qv::CStr message(QV_instStrPrint(format, productName ? productName : "", text.c_str()));
    if (message)
        QV_instOkCancelMessageBox(QV_instGetMainTopLevelShell(), message.get(), "OK", nullptr, nullptr);
    return 1;
}

} // extern "C"

namespace qv {

void begin_history_draft()
{
    draft().active = true;
}

namespace {

// Puts every file the run wrote on disk: the product folder's file system,
// and the common folder's where it is another one.
void sync_destination(const std::string &destination)
{
    struct stat product;
    qv::Fd dir(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0 || ::fstat(dir.get(), &product) != 0)
        return;
    ::syncfs(dir.get());
    const char *common = QV_instGetCommonDestinationDirectory();
    struct stat st;
    if (!common)
        return;
    qv::Fd other(::open(common, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (other.get() >= 0 && ::fstat(other.get(), &st) == 0 && st.st_dev != product.st_dev)
        ::syncfs(other.get());
}

// Puts the draft in the history's place; false, with the reason, when it
// could not be.
bool put_in_place(Draft &d)
{
    // The installed files, then the history that lists them, must be on
    // disk before it takes the old one's place: after a power cut the
    // history lists nothing whose data was lost, and is never empty.
    sync_destination(d.destination);
    if (::fdatasync(d.fd.get()) != 0) {
        d.fail(d.path);
        return false;
    }
    // Put in place only if the name still holds the file written here.
    struct stat own, named;
    const int dir = d.folder.get();
    if (::fstat(d.fd.get(), &own) != 0 || ::fstatat(dir, d.draft_name().c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        own.st_dev != named.st_dev || own.st_ino != named.st_ino) {
        d.failure = d.path + ": replaced while it was written";
        d.fd.reset(); // what stands at that name now is not ours to remove
        return false;
    }
    if (::close(d.fd.release()) != 0 || ::renameat(dir, d.draft_name().c_str(), dir, d.name().c_str()) != 0) {
        d.fail(d.history);
        ::unlinkat(dir, d.draft_name().c_str(), 0);
        return false;
    }
    // The rename itself is made durable with its folder.
    ::fsync(dir);
    return true;
}

} // namespace

bool commit_history_draft(bool changes, FILE *errors)
{
    Draft &d = draft();
    if (!d.active)
        return true;
    bool written = true;
    d.active = false;
    if (!changes) {
        // Nothing was installed or removed: the history stays byte for
        // byte as it was.
        if (d.fd.get() >= 0) {
            d.fd.reset();
            ::unlinkat(d.folder.get(), d.draft_name().c_str(), 0);
        }
    } else if (d.failure.empty() && d.fd.get() >= 0 && put_in_place(d)) {
        d.fd.reset();
    } else {
        // An old history would now tell less than the truth: it goes too,
        // and the next run installs everything again.
        if (d.fd.get() >= 0) {
            d.fd.reset();
            ::unlinkat(d.folder.get(), d.draft_name().c_str(), 0);
        }
        if (d.folder.get() >= 0)
            ::unlinkat(d.folder.get(), d.name().c_str(), 0);
        std::string text = "Error: the history file " + d.history + " was not written (" + d.failure +
                           "); the next run will install everything again";
        QV_instRemoveExtraSlash(&text[0]);
        text.resize(std::strlen(text.c_str()));
        if (errors) {
            QV_instSendUpdate(errors, "-1 %s\n", text.c_str());
        } else {
            std::fprintf(stderr, "%s\n", text.c_str());
            QV_instUpdateLogfile("%s\n", text.c_str());
        }
        written = false;
    }
    d.folder.reset();
    qv::mark_unfinished(qv::Unfinished::History, nullptr);
    return written;
}

void record_untouched_packages(const _QV_instCDinst *cdinst, const char *destination)
{
    Draft &d = draft();
    if (!cdinst || !destination || !d.active || d.fd.get() < 0 || history_path(destination) != d.history)
        return;
    // The installation walk passes over installed packages and the removal
    // walk marks every package it runs with its pass: one installed,
    // untouched and held by no selected suite was installed outside this
    // run's configuration, and is still there.
    std::string lines;
    for (const _QV_InstPackNode *n = cdinst->firstPack; n; n = n->next) {
        const _QV_InstPackage *p = n->package;
        if (p && p->installed == 1 && p->inUse == 0 && p->lastPass == 0)
            lines += package_line(p);
    }
    if (!lines.empty() && !qv::write_all(d.fd.get(), lines.data(), lines.size()))
        d.fail(d.path);
}

std::string history_source_warning()
{
    return source_warning();
}

void hold_history_folder(const std::string &destination, bool make)
{
    std::string refusal;
    HeldFolder &held = held_folder();
    held.destination = destination;
    held.folder = history_folder(path_below(destination, kSetupFiles), make, refusal);
}

} // namespace qv
