// Compressed files and tar archives: bunzip2 decompresses single files, and
// archives stream block by block into tar (behind bunzip2 when compressed),
// with one progress line per member.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/cdinst.h"
#include "engine/fileops.h"
#include "engine/fileops_internal.h"
#include "engine/internal.h"
#include "engine/util.h"

extern char **environ;

namespace {

const char kTarCommand[] = "tar --no-same-owner -xBof - 2> /dev/null";
const char kBunzip2[] = "bunzip2";

struct PcloseDeleter {
    void operator()(FILE *f) const
    {
        if (f)
            ::pclose(f);
    }
};

// SIGPIPE ignored while the installer writes into a pipe whose reader may
// have died (tar refusing a damaged archive, or done at its end marker): the
// write then fails with EPIPE and is dealt with instead of killing the
// install child. Only around those writes: a protocol line that finds the
// parent gone must still end the child.
class IgnoreSigpipe {
public:
    IgnoreSigpipe()
    {
        struct sigaction ign;
        std::memset(&ign, 0, sizeof ign);
        ign.sa_handler = SIG_IGN;
        sigemptyset(&ign.sa_mask);
        ::sigaction(SIGPIPE, &ign, &old_);
    }
    ~IgnoreSigpipe() { ::sigaction(SIGPIPE, &old_, nullptr); }

private:
    struct sigaction old_;
};

// The extraction commands, each run by /bin/sh in the current working
// directory, connected by pipes: the first reads what the installer feeds,
// each later one reads the output of the one before.
class Pipeline {
public:
    ~Pipeline()
    {
        input_.reset();
        wait_all();
    }

    bool start(const std::vector<std::string> &commands)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        input_.reset(fds[1]);
        qv::Fd next_in(fds[0]);
        for (size_t i = 0; i < commands.size(); ++i) {
            qv::Fd out;
            qv::Fd following_in;
            if (i + 1 < commands.size()) {
                if (::pipe2(fds, O_CLOEXEC) != 0)
                    return false;
                following_in.reset(fds[0]);
                out.reset(fds[1]);
            }
            pid_t pid;
            if (!spawn(commands[i], next_in.get(), out.get(), &pid))
                return false;
            pids_.push_back(pid);
            next_in = std::move(following_in);
        }
        return true;
    }

    int input() const { return input_.get(); }

    // Closes the input and waits for every command. Returns -1 when a
    // command could not be waited for, 1 when the extraction failed, else 0.
    int finish()
    {
        input_.reset();
        return wait_all();
    }

private:
    static bool spawn(const std::string &command, int in, int out, pid_t *pid)
    {
        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attr;
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
        posix_spawn_file_actions_adddup2(&actions, in, 0);
        if (out >= 0)
            posix_spawn_file_actions_adddup2(&actions, out, 1);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
        // The shell is replaced by the command, so that its end (a signal
        // included) is what waitpid sees.
        std::string text = "exec " + command;
        const char *argv[] = {"sh", "-c", text.c_str(), nullptr};
        int rc = posix_spawn(pid, "/bin/sh", &actions, &attr, const_cast<char **>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        return rc == 0;
    }

    // The last command (tar) has to exit with 0, and so does each earlier
    // one (bunzip2), unless SIGPIPE ended it after tar had succeeded: tar
    // stops reading at the archive's end marker, and the padding that
    // follows it (a large blocking factor) then finds no reader.
    int wait_all()
    {
        std::vector<int> statuses;
        bool lost = false;
        for (pid_t pid : pids_) {
            int status = 0;
            pid_t r;
            do
                r = ::waitpid(pid, &status, 0);
            while (r < 0 && errno == EINTR);
            lost = lost || r < 0;
            statuses.push_back(status);
        }
        pids_.clear();
        if (lost)
            return -1;
        auto succeeded = [](int status) { return WIFEXITED(status) && WEXITSTATUS(status) == 0; };
        if (statuses.empty())
            return 0;
        if (!succeeded(statuses.back()))
            return 1;
        for (size_t i = 0; i + 1 < statuses.size(); ++i) {
            int status = statuses[i];
            if (!succeeded(status) && !(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE))
                return 1;
        }
        return 0;
    }

    qv::Fd input_;
    std::vector<pid_t> pids_;
};

// Members that already exist in the destination without owner-write
// permission are made writable so that tar can replace them. Links are
// left alone: changing a mode through a link could reach outside the
// destination, and so could a name with "..".
void make_members_writable(const _QV_InstTar *tar, const char *destDir, const char *archivePath, FILE *stream)
{
    if (!tar->names)
        return;
    for (int32_t i = 0; i < tar->count; ++i) {
        const char *name = tar->names[i];
        if (qv::empty(name) || qv::climbs_out(name))
            continue;
        qv::CStr path(QV_instBuildPath(destDir, name, nullptr));
        struct stat st;
        if (!path || ::lstat(path.get(), &st) != 0 || S_ISLNK(st.st_mode) || (st.st_mode & S_IWUSR))
            continue;
        if (::chmod(path.get(), (st.st_mode & 07777) | S_IWUSR) != 0)
            QV_instSendUpdate(stream, "-1 Untar could not make \"%s\" writable before extracting it from \"%s\"\n",
                              name, archivePath);
    }
}

// Sends the progress lines of the members after the last reported one up
// to index, each member once, in list order.
void report_members(const _QV_InstTar *tar, int64_t index, int64_t *reported, const char *archivePath,
                    const char *destDir, FILE *stream)
{
    if (tar->count <= 0 || !tar->names || !tar->sizes)
        return;
    for (; *reported < index; ++*reported) {
        int64_t i = *reported + 1;
        QV_instSendUpdate(stream, "+%" PRId64 " %s %s%s\n", tar->sizes[i], archivePath, destDir,
                          tar->names[i] ? tar->names[i] : "");
    }
}

} // namespace

extern "C" {

int QV_instUncompress(const char *source, const char *destination, int mode, int64_t size, FILE *stream, int remove)
{
    int early;
    if (qv::done_before_copying("-1 Uncompress invalid parameters\n", source, destination, size, stream, remove,
                                &early))
        return early;

    qv::CStr srcPath;
    std::unique_ptr<FILE, PcloseDeleter> command;
    for (;;) {
        srcPath.reset(QV_instBuildPath(QV_instGetSourceDirectory(), source, nullptr));
        if (!srcPath || qv::too_long(srcPath.get())) {
            QV_instSendUpdate(stream, "-1 Uncompress invalid parameters\n");
            return 1;
        }
        qv::CStr text(QV_instStrPrint("%s -c %s", kBunzip2, qv::shell_quote(srcPath.get()).c_str()));
        if (!text) {
            QV_instSendUpdate(stream, "-1 memory error\n");
            return 1;
        }
        command.reset(::popen(text.get(), "re"));
        if (command)
            break;
        if (qv::ask_for_source(stream, "Can't open compressed file", source) != qv::SourceAnswer::Chosen)
            return 1;
    }

    qv::CStr destDir(QV_instDirname(destination));
    if (!destDir || QV_instMkdir(destDir.get(), 0755, nullptr) != 0) {
        QV_instSendUpdate(stream, "-1 Uncompress can't create destination directory for: %s\n", destination);
        return 1;
    }
    // The old destination stays in place until bunzip2 has delivered the
    // whole file: a missing or damaged source must not replace a good file.
    qv::PendingFile temp;
    if (!temp.create(destDir.get(), destination)) {
        QV_instSendUpdate(stream, "0 Can't create file %s\n", destination);
        return 1;
    }

    int result = 0;
    bool writeFailed = false;
    char buffer[QV_COPY_BLOCK];
    for (;;) {
        ssize_t n = qv::read_block(fileno(command.get()), buffer, sizeof buffer);
        if (n < 0) {
            QV_instSendUpdate(stream, "-1 Uncompress couldn't read file %s\n", srcPath.get());
            result = 1;
            break;
        }
        if (n == 0)
            break;
        if (!qv::write_all(temp.fd(), buffer, static_cast<size_t>(n))) {
            // A full disk or the file size limit: the reason goes with the
            // name, since the medium is not at fault.
            QV_instSendUpdate(stream, "-1 Uncompress couldn't write to %s: %s\n", destination, std::strerror(errno));
            result = 1;
            writeFailed = true;
            break;
        }
        QV_instSendUpdate(stream, "+%d %s %s\n", static_cast<int>(n), srcPath.get(), destination);
        if (n < static_cast<ssize_t>(sizeof buffer))
            break;
    }

    // After a failed write bunzip2 fails too, on the pipe closed under it:
    // that says nothing about the compressed file.
    if (::pclose(command.release()) != 0 && !writeFailed) {
        QV_instSendUpdate(stream, "-1 Uncompress couldn't close input file %s\n", srcPath.get());
        result = 1;
    }
    if (result != 0)
        return result; // the new file goes, the old destination stays
    return temp.put_in_place(destination, static_cast<mode_t>(mode), stream,
                             {"-1 Couldn't change mode of", "-1 Uncompress couldn't close destination file",
                              "-1 Uncompress couldn't write to"});
}

int QV_instUntar(const _QV_InstTar *tar, const char *sourceDir, const char *destDir, long size, int compressed,
                 FILE *stream, QV_InstMode mode)
{
    (void)size;
    (void)mode;
    if (!tar || qv::empty(tar->file) || qv::too_long(tar->file) || qv::too_long(destDir)) {
        QV_instSendUpdate(stream, "-1 Untar invalid parameters\n");
        return 1;
    }
    std::string commandText = kTarCommand;
    std::vector<std::string> commands{kTarCommand};
    if (compressed & 1) {
        commandText = std::string(kBunzip2) + " | " + kTarCommand;
        commands.insert(commands.begin(), kBunzip2);
    }

    qv::CStr archivePath;
    qv::Fd archive;
    std::string source = sourceDir ? sourceDir : "";
    for (;;) {
        archivePath.reset(QV_instBuildPath(source.c_str(), tar->file, nullptr));
        if (!archivePath || qv::too_long(archivePath.get())) {
            QV_instSendUpdate(stream, "-1 Untar invalid parameters\n");
            return 1;
        }
        archive.reset(::open(archivePath.get(), O_RDONLY | O_CLOEXEC));
        if (archive.get() >= 0)
            break;
        if (qv::ask_for_source(stream, "Can't open tarfile", tar->file) != qv::SourceAnswer::Chosen)
            return 1;
        const char *chosen = QV_instGetSourceDirectory();
        source = chosen ? chosen : "";
    }

    struct stat st;
    if (::fstat(archive.get(), &st) != 0) {
        QV_instSendUpdate(stream, "-1 Could not get the size of %s\n", tar->file);
        return 1;
    }
    const uint64_t archiveSize = static_cast<uint64_t>(st.st_size);

    // tar extracts into its working directory; the installer's own is
    // restored right after the commands have started.
    qv::Fd saved(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (saved.get() < 0) {
        QV_instSendUpdate(stream, "-1 Can't get current working\n");
        return 1;
    }
    if (qv::empty(destDir) || ::chdir(destDir) != 0) {
        QV_instSendUpdate(stream, "-1 Can't change directory to: %s\n", destDir ? destDir : "");
        return 1;
    }
    Pipeline pipeline;
    bool started = pipeline.start(commands);
    bool back = ::fchdir(saved.get()) == 0;
    if (!started || !back) {
        QV_instSendUpdate(stream, "-1 Untar can't run '%s' on file: %s\n", commandText.c_str(), archivePath.get());
        return 1;
    }

    make_members_writable(tar, destDir, archivePath.get(), stream);

    int result = 0;
    uint64_t fed = 0;
    int64_t reported = -1;
    bool readerGone = false;
    char buffer[QV_COPY_BLOCK];
    for (;;) {
        ssize_t n = qv::read_block(archive.get(), buffer, sizeof buffer);
        if (n < 0) {
            QV_instSendUpdate(stream, "-1 Untar couldn't read file %s\n", archivePath.get());
            result = 1;
            break;
        }
        if (n == 0)
            break;
        fed += static_cast<uint64_t>(n);
        bool written;
        int error;
        {
            IgnoreSigpipe sigpipe;
            written = qv::write_all(pipeline.input(), buffer, static_cast<size_t>(n));
            error = errno;
        }
        if (!written) {
            // tar stops reading at the archive's end marker; whatever
            // follows it is not needed, and tar's exit status tells below
            // whether it was content.
            if (error == EPIPE) {
                readerGone = true;
                break;
            }
            QV_instSendUpdate(stream, "-1 Untar couldn't write to pipe\n");
            result = 1;
            break;
        }
        report_members(tar, qv::member_index(tar->count, fed, archiveSize), &reported, archivePath.get(), destDir,
                       stream);
        if (n < static_cast<ssize_t>(sizeof buffer))
            break;
    }

    if (::close(archive.release()) != 0) {
        QV_instSendUpdate(stream, "-1 Untar couldn't close tarfile %s\n", archivePath.get());
        result = 1;
    }
    int status = pipeline.finish();
    if (status < 0) {
        QV_instSendUpdate(stream, "-1 Untar couldn't close pipe for file '%s'\n", archivePath.get());
        result = 1;
    } else if (status > 0 && result == 0) {
        // tar (or bunzip2 before it) failed: a damaged, truncated or refused
        // archive is not installed. One line per failed archive is enough.
        QV_instSendUpdate(stream, "-1 Untar couldn't extract file %s\n", archivePath.get());
        result = 1;
    } else if (readerGone && result == 0) {
        // tar has extracted the whole archive: every member is in place.
        report_members(tar, tar->count - 1, &reported, archivePath.get(), destDir, stream);
    }
    return result;
}

} // extern "C"
