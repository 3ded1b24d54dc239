// File operations of the install child: directories, plain copies, links,
// deletions, the source prompt, and the small helpers exported to modules.
// Every step is reported to the parent as one protocol line.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/cdinst.h"
#include "engine/driver.h"
#include "engine/fileops.h"
#include "engine/fileops_internal.h"
#include "engine/internal.h"
#include "engine/unfinished.h"
#include "engine/util.h"
#include "wizard/browse.h"
#include "wizard/shell.h"

namespace qv {

SourceAnswer ask_for_source(FILE *stream, const char *title, const char *name)
{
    for (;;) {
        char *dir = nullptr;
        int answer = QV_instAbortRetryMessageBox(stream, title, name, &dir);
        if (answer == 1) {
            if (!dir)
                continue; // the chooser was cancelled: ask again
            QV_instSetSourceDirectory(dir);
            std::free(dir);
            return SourceAnswer::Chosen;
        }
        if (answer == 2) {
            QV_instSendUpdate(stream, "-1 abort\n");
            // The user's Abort holds from here: the install child does
            // nothing more until its parent has stopped it.
            await_stop(stream);
            return SourceAnswer::Abort;
        }
        return SourceAnswer::Continue;
    }
}

bool done_before_copying(const char *invalidLine, const char *source, const char *destination, int64_t size,
                         FILE *stream, int remove, int *result)
{
    if (empty(source) || empty(destination) || too_long(source) || too_long(destination)) {
        QV_instSendUpdate(stream, "%s", invalidLine);
        *result = 1;
        return true;
    }
    if (remove == 1) {
        QVinstDeleteFile(destination, stream, static_cast<long>(size));
        *result = 0;
        return true;
    }
    return false;
}

ssize_t read_block(int fd, char *buf, size_t n)
{
    size_t got = 0;
    while (got < n) {
        ssize_t r = ::read(fd, buf + got, n - got);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (r == 0)
            break;
        got += static_cast<size_t>(r);
    }
    return static_cast<ssize_t>(got);
}

bool write_all(int fd, const char *buf, size_t n)
{
    while (n > 0) {
        ssize_t w = ::write(fd, buf, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (w == 0) {
            errno = EIO;
            return false;
        }
        buf += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool is_plain(const struct stat &st, PlainAllows allows)
{
    if (S_ISDIR(st.st_mode))
        return allows == PlainAllows::Folder;
    return S_ISREG(st.st_mode) && (st.st_nlink == 1 || allows == PlainAllows::OtherNames);
}

std::string not_plain_text(const char *what, const std::string &path)
{
    return std::string(what) + " is a link or not a plain file, left as it is: " + path;
}

int open_plain(int dir, const char *name, int flags, mode_t mode, const char *what, const std::string &shown,
               bool &notPlain, PlainAllows allows)
{
    // A file is emptied only once it is known to be plain: truncating on
    // open would empty a hard link of a system file before it is refused.
    const bool truncate = flags & O_TRUNC;
    Fd fd(::openat(dir, name, (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode));
    struct stat st;
    if (fd.get() < 0 && errno != ELOOP)
        return -1;
    if (fd.get() >= 0 && ::fstat(fd.get(), &st) != 0)
        return -1;
    if (fd.get() < 0 || !is_plain(st, allows)) {
        std::fprintf(stderr, "%s\n", not_plain_text(what, shown).c_str());
        notPlain = true;
        return -1;
    }
    if (S_ISREG(st.st_mode)) {
        ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
        if (truncate && ::ftruncate(fd.get(), 0) != 0)
            return -1;
    }
    return fd.release();
}

namespace {

// A name for the new file of base: the name hidden behind a dot, cut so
// that ".<name>.XXXXXX" stays within the file systems' limit of 255 bytes,
// and six random letters and digits.
std::string temporary_name(const std::string &base)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static uint64_t counter = 0;
    uint64_t value;
    // Before the kernel has random bytes, the process id and a count do:
    // a name that is taken is simply tried again.
    if (::getrandom(&value, sizeof value, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof value))
        value = (static_cast<uint64_t>(::getpid()) << 24) + ++counter;
    std::string name = "." + base.substr(0, 255 - 8) + ".";
    for (int i = 0; i < 6; ++i, value /= sizeof letters - 1)
        name += letters[value % (sizeof letters - 1)];
    return name;
}

} // namespace

PendingFile::~PendingFile()
{
    if (!named_.empty()) {
        mark_unfinished(Unfinished::Copy, nullptr);
        ::unlinkat(dir_, named_.c_str(), 0);
    }
}

// Tries make(name) with fresh temporary names until one is free: neither
// way of making the entry replaces an existing one, so a taken name fails
// with EEXIST and the next is tried.
template <typename Make> bool PendingFile::claim_name(Make make)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = temporary_name(base_);
        if (make(name.c_str())) {
            named_ = name;
            if (!shown_.empty())
                mark_unfinished(Unfinished::Copy, (shown_ + name).c_str());
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool PendingFile::create(const char *dir, const char *destination)
{
    const char *slash = std::strrchr(destination, '/');
    ownDir_.reset(::open(dir, O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (ownDir_.get() < 0)
        return false;
    shown_ = dir;
    if (!shown_.empty() && shown_.back() != '/')
        shown_ += '/';
    return create_in(ownDir_.get(), slash ? slash + 1 : destination);
}

bool PendingFile::create_in(int dir, const std::string &name)
{
    dir_ = dir;
    base_ = name;
    // The unnamed file is named through /proc when it is complete; without
    // /proc it could not be, so the named stand-in is taken from the start.
    static const bool procFds = ::access("/proc/self/fd", X_OK) == 0;
    if (procFds) {
        int f = ::openat(dir_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (f >= 0) {
            fd_.reset(f);
            return true;
        }
    }
    return claim_name([this](const char *temp) {
        fd_.reset(::openat(dir_, temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        return fd_.get() >= 0;
    });
}

// Links the unnamed file to a free temporary name beside the destination.
bool PendingFile::name_it()
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
    return claim_name([this, &self](const char *temp) {
        return ::linkat(AT_FDCWD, self.c_str(), dir_, temp, AT_SYMLINK_FOLLOW) == 0;
    });
}

PendingFile::Step PendingFile::finish(mode_t mode)
{
    if (::fchmod(fd_.get(), mode) != 0)
        return Step::Mode;
    if (named_.empty() && !name_it())
        return Step::Name;
    if (::close(fd_.release()) != 0)
        return Step::Close;
    if (::renameat(dir_, named_.c_str(), dir_, base_.c_str()) != 0)
        return Step::Name;
    named_.clear();
    mark_unfinished(Unfinished::Copy, nullptr);
    return Step::Done;
}

int PendingFile::put_in_place(const char *destination, mode_t mode, FILE *stream, const FailureTexts &texts)
{
    const Step failed = finish(mode);
    if (failed == Step::Done)
        return 0;
    QV_instSendUpdate(stream, "%s %s\n",
                      failed == Step::Mode ? texts.mode : failed == Step::Close ? texts.close : texts.name,
                      destination);
    return 1;
}

bool PendingFile::put_in_place(mode_t mode)
{
    return finish(mode) == Step::Done;
}

} // namespace qv

namespace {

// The working directory, kept as a descriptor so that it can be restored
// whatever the length of its path.
struct SavedCwd {
    qv::Fd fd{::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    bool ok() const { return fd.get() >= 0; }
    bool restore() const { return ::fchdir(fd.get()) == 0; }
    // Text of the directory for messages only.
    static std::string text()
    {
        qv::CStr cwd(::getcwd(nullptr, 0));
        return cwd ? cwd.get() : ".";
    }
};

// Hard and symbolic links differ only in the call and the word in the lines.
int make_link(bool hard, const char *dir, const char *target, const char *link, int64_t size, FILE *stream,
              int remove)
{
    const char *word = hard ? "Hardlink" : "Softlink";
    if (qv::empty(dir) || qv::empty(target) || qv::empty(link) || qv::too_long(dir) || qv::too_long(target) ||
        qv::too_long(link)) {
        QV_instSendUpdate(stream, "-1 %s invalid parameters\n", word);
        return 1;
    }
    if (remove == 1) {
        std::string path = std::string(dir) + "/" + link;
        QVinstDeleteFile(path.c_str(), stream, static_cast<long>(size));
        return 0;
    }
    SavedCwd saved;
    if (!saved.ok()) {
        QV_instSendUpdate(stream, "-1 %s can't get current working directory\n", word);
        return 1;
    }
    std::string previous = SavedCwd::text();
    if (::chdir(dir) != 0) {
        QV_instSendUpdate(stream, "-1 %s can't change directory to: %s:%s->%s\n", word, dir, target, link);
        return 1;
    }
    qv::CStr linkDir(QV_instDirname(link));
    if (!linkDir || QV_instMkdir(linkDir.get(), 0755, nullptr) != 0) {
        QV_instSendUpdate(stream, "-1 %s can't create the directory of %s\n", word, link);
        if (!saved.restore())
            QV_instSendUpdate(stream, "-1 %s can't change directory back to: %s\n", word, previous.c_str());
        return 1;
    }
    int result = 0;
    ::unlink(link);
    if ((hard ? ::link(target, link) : ::symlink(target, link)) != 0) {
        QV_instSendUpdate(stream, "-1 %s linking file %s to %s\n", word, target, link);
        result = 1;
    }
    if (!saved.restore()) {
        QV_instSendUpdate(stream, "-1 %s can't change directory back to: %s\n", word, previous.c_str());
        return 1;
    }
    QV_instSendUpdate(stream, "+1 %s %s\n", word, link);
    return result;
}

// Bytes the kernel copies in one call; the progress lines stay per block.
constexpr size_t kKernelChunk = size_t{1} << 20;

// The progress lines of a copy: one per block of QV_COPY_BLOCK bytes, and a
// last one for what is left at end of file, 0 bytes when the size is a
// multiple of the block (end of file shows only on the read after it).
struct BlockLines {
    BlockLines(FILE *to, const char *from, const char *into) : stream(to), source(from), destination(into) {}

    FILE *stream;
    const char *source;
    const char *destination;
    size_t pending = 0;
    std::string wholeBlock; // the line of a whole block, made once
    std::string batch;
    // The lines of the blocks of one chunk leave in one write: the parent
    // reads the same lines in the same order, without a system call per
    // block (a third of the copy's time for large files otherwise).
    void copied(size_t n)
    {
        if (!stream) {
            pending = (pending + n) % QV_COPY_BLOCK;
            return;
        }
        if (wholeBlock.empty())
            wholeBlock = line(QV_COPY_BLOCK);
        batch.clear();
        for (pending += n; pending >= QV_COPY_BLOCK; pending -= QV_COPY_BLOCK)
            batch += wholeBlock;
        if (!batch.empty())
            QV_instSendUpdate(stream, "%s", batch.c_str());
    }
    void finish() { QV_instSendUpdate(stream, "%s", line(pending).c_str()); }
    std::string line(size_t n) const
    {
        return "+" + std::to_string(n) + " " + source + " " + destination + "\n";
    }
};

// The installer's own copy in the product destination, formatted once on
// first use: a later change of the destination does not move it.
const std::string *setup_copy_name()
{
    static std::string name;
    static bool known = false;
    if (!known) {
        const char *dest = QV_instGetDestinationDirectory();
        if (!dest)
            return nullptr;
        name = std::string(dest) + "setup";
        known = true;
    }
    return &name;
}

// Makes every missing folder of path, from the top down, and reports each
// folder it makes with a "+N mkdir" line: N is 1 when units is negative;
// otherwise the call reports exactly `units`, on the first folder it makes
// (the folders below it get 0), or on the path when nothing was missing.
int make_dirs(const char *path, int mode, FILE *stream, int64_t units)
{
    if (qv::empty(path) || std::strlen(path) > QV_PATH_MAX) {
        QV_instSendUpdate(stream, "-1 Mkdir invalid parameter\n");
        return -1;
    }
    // Most calls are for a folder that is already there (every file of a
    // package asks for its own): one look answers them.
    struct stat whole;
    if (::stat(path, &whole) == 0 && S_ISDIR(whole.st_mode)) {
        if (units >= 0)
            QV_instSendUpdate(stream, "+%lld mkdir %s\n", static_cast<long long>(units), path);
        return 0;
    }
    std::string copy = path;
    // The first character is never a cut, so a leading "/" does not make
    // the root directory a prefix to examine.
    size_t cursor = 0;
    for (;;) {
        size_t cut = copy.find('/', cursor + 1);
        std::string prefix = copy.substr(0, cut);
        struct stat st;
        if (::stat(prefix.c_str(), &st) != 0) {
            if (::mkdir(prefix.c_str(), static_cast<mode_t>(mode)) != 0) {
                QV_instSendUpdate(stream, "-1 Mkdir could not create %s\n", prefix.c_str());
                return -1;
            }
            if (::stat(prefix.c_str(), &st) != 0) {
                QV_instSendUpdate(stream, "-1 Mkdir stating %s\n", prefix.c_str());
                return -1;
            }
            if (units < 0) {
                QV_instSendUpdate(stream, "+1 mkdir %s\n", prefix.c_str());
            } else {
                QV_instSendUpdate(stream, "+%lld mkdir %s\n", static_cast<long long>(units), prefix.c_str());
                units = 0;
            }
        } else if (!S_ISDIR(st.st_mode)) {
            QV_instSendUpdate(stream, "-1 Mkdir file already exists %s\n", prefix.c_str());
            return -1;
        }
        if (cut == std::string::npos) {
            // Nothing was missing after all (someone else made the path
            // since the first look): the units go on the path.
            if (units > 0)
                QV_instSendUpdate(stream, "+%lld mkdir %s\n", static_cast<long long>(units), path);
            return 0;
        }
        cursor = cut;
    }
}

} // namespace

namespace qv {

int make_directory(const char *path, int mode, FILE *stream, int64_t units)
{
    return make_dirs(path, mode, stream, units < 0 ? 0 : units);
}

} // namespace qv

extern "C" {

int QV_instMkdir(const char *path, int mode, FILE *stream)
{
    return make_dirs(path, mode, stream, -1);
}

int QV_instCopyFile(const char *source, const char *destination, int mode, int64_t size, FILE *stream, int remove)
{
    int early;
    if (qv::done_before_copying("-1 Copyfile invalid parameters\n", source, destination, size, stream, remove, &early))
        return early;

    qv::CStr srcPath;
    qv::Fd in;
    for (;;) {
        srcPath.reset(QV_instBuildPath(QV_instGetSourceDirectory(), source, nullptr));
        if (!srcPath || qv::too_long(srcPath.get())) {
            QV_instSendUpdate(stream, "-1 Copyfile invalid parameters\n");
            return 1;
        }
        in.reset(::open(srcPath.get(), O_RDONLY | O_CLOEXEC));
        if (in.get() >= 0)
            break;
        if (qv::ask_for_source(stream, "Copyfile can't open file", source) != qv::SourceAnswer::Chosen)
            return 1;
    }

    // The source may already be the destination itself (the installer run
    // from the installed product, its medium gone, reads from the product
    // directory; or a hard link of it): replacing the destination would lose
    // the source. The file is in place; only its mode is set, and its
    // progress is reported as a copy would report it.
    struct stat from, to;
    const bool present = ::stat(destination, &to) == 0;
    if (present && ::fstat(in.get(), &from) == 0 && from.st_dev == to.st_dev && from.st_ino == to.st_ino) {
        BlockLines lines{stream, srcPath.get(), destination};
        lines.copied(static_cast<size_t>(from.st_size));
        lines.finish();
        if (::chmod(destination, static_cast<mode_t>(mode)) != 0) {
            QV_instSendUpdate(stream, "-1 Changing mode of %s\n", destination);
            return 1;
        }
        return 0;
    }

    qv::CStr destDir(QV_instDirname(destination));
    if (!destDir || QV_instMkdir(destDir.get(), 0755, nullptr) != 0) {
        QV_instSendUpdate(stream, "-1 Copyfile can't create destination directory for: %s\n", destination);
        return 1;
    }
    // The data goes into a new file that replaces the destination only once
    // it is complete and has its mode: a file installed 0600 is never
    // readable by others on the way, and a failed copy keeps the old file.
    // A folder (or a link to one) at the destination is not replaced.
    qv::PendingFile out;
    if ((present && S_ISDIR(to.st_mode)) || !out.create(destDir.get(), destination)) {
        QV_instSendUpdate(stream, "-1 Copyfile can't create file %s\n", destination);
        return 1;
    }

    int result = 0;
    BlockLines lines{stream, srcPath.get(), destination};
    // The kernel copies large chunks between the files; the lines still
    // report the data block by block. Where it cannot (another file system
    // type, a special file) the data goes through a buffer.
    bool inKernel = true;
    for (;;) {
        if (inKernel) {
            ssize_t n = ::copy_file_range(in.get(), nullptr, out.fd(), nullptr, kKernelChunk, 0);
            if (n > 0) {
                lines.copied(static_cast<size_t>(n));
                continue;
            }
            if (n == 0) {
                lines.finish();
                break;
            }
            inKernel = false; // the buffered copy goes on from the same offsets
        }
        char buffer[QV_COPY_BLOCK];
        ssize_t n = qv::read_block(in.get(), buffer, sizeof buffer);
        if (n < 0) {
            QV_instSendUpdate(stream, "-1 Copyfile failed reading file %s\n", srcPath.get());
            result = 1;
            break;
        }
        if (!qv::write_all(out.fd(), buffer, static_cast<size_t>(n))) {
            QV_instSendUpdate(stream, "-1 Copyfile writing file %s\n", destination);
            result = 1;
            break;
        }
        lines.copied(static_cast<size_t>(n));
        if (n < static_cast<ssize_t>(sizeof buffer)) {
            lines.finish();
            break;
        }
    }

    if (::close(in.release()) != 0) {
        QV_instSendUpdate(stream, "-1 Copyfile closing src file %s\n", srcPath.get());
        result = 1;
    }
    if (result != 0)
        return result; // the new file goes, the old destination stays
    return out.put_in_place(destination, static_cast<mode_t>(mode), stream,
                            {"-1 Changing mode of", "-1 Copyfile closing dst file", "-1 Copyfile can't create file"});
}

int QV_instHardlink(const char *dir, const char *target, const char *link, int64_t size, FILE *stream, int remove)
{
    return make_link(true, dir, target, link, size, stream, remove);
}

int QV_instSoftlink(const char *dir, const char *target, const char *link, int64_t size, FILE *stream, int remove)
{
    return make_link(false, dir, target, link, size, stream, remove);
}

int QVinstDeleteFile(const char *path, FILE *stream, long size)
{
    if (!path)
        return -1;
    // Removal never deletes a loaded module or the installer's own copy.
    if (InModuleList(path) || IsSetupExe(path))
        return 1;
    QV_instSendUpdate(stream, "+%ld %s\n", size, path);
    return std::remove(path) == 0 ? 0 : -1;
}

int IsSetupExe(const char *path)
{
    const std::string *name = setup_copy_name();
    return path && name && *name == path ? 1 : 0;
}

int QV_instAbortRetryMessageBox(FILE *stream, const char *title, const char *source, char **newDir)
{
    (void)stream;
    if (!newDir) {
        std::puts("NULL pSource passed to QV_instAbortRetryMessageBox");
        return 0;
    }
    std::string text = std::string(title ? title : "") + ": " + (source ? source : "");
    // Once the box has closed, only the log can still tell which file was
    // missing. Without a display the box logs its own text.
    if (QV_instGetMainTopLevelShell())
        QV_instUpdateLogfile("%s\n", text.c_str());
    int answer = QV_instOkCancelMessageBox(QV_instGetMainTopLevelShell(), text.c_str(), "Continue", "Browse...",
                                           "Abort");
    if (answer == 1) {
        // The chooser opens in the directory part of the path it is given,
        // so it is given a path inside the source directory.
        const char *current = QV_instGetSourceDirectory();
        std::string start = current ? std::string(current) + "/." : std::string();
        QV_instBrowseForSource(source, newDir, current ? start.c_str() : nullptr);
    }
    return answer;
}

int QV_instQueryForSource(FILE *stream, const char *title, const char *source)
{
    return qv::ask_for_source(stream, title, source) == qv::SourceAnswer::Chosen ? 1 : 0;
}

int QVinstGetFileSize(const char *path)
{
    struct stat st;
    if (!path || ::lstat(path, &st) != 0)
        return 0;
    return static_cast<int>(static_cast<uint32_t>(st.st_size));
}

char *QV_instGetQVLocation(void)
{
    char *location = std::getenv("QV_LOCATION");
    if (!location) {
        std::printf("Unable to get %s environment variable\n", "QV_LOCATION");
        return nullptr;
    }
    ::mkdir(location, 0700); // an existing directory is fine
    return location;
}

} // extern "C"
