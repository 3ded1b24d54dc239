// The run's log file in the destination. It is never held open: every entry
// opens it for appending, writes and closes it again, so the parent and the
// forked install child can both add entries, each landing at the end.
#include "engine/util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "engine/fileops_internal.h"
#include "engine/internal.h"
#include "engine/ownership.h"

namespace {

// The current log file name; empty means that this run keeps no log. The
// install child inherits it with the rest of the parent's memory.
char g_logname[QV_LOGNAME_MAX + 1];

// As root: the log's folder, reached through the checked walk when the log
// was named, and the log's name in it. Every entry opens the log relative
// to this folder, never again by its path, so that a folder another user
// puts at a name on the way afterwards is not followed. The install child
// inherits it.
qv::Fd g_logdir;
std::string g_logbase;
int g_logdirError = 0;      // why g_logdir could not be opened
bool g_logdirRefused = false; // the walk refused it, and said why

// In the install child: the protocol stream that carries its log entries to
// the parent, so that they land in the log in the order of the run.
FILE *g_protocol = nullptr;

// Longest piece of an entry one "#Log:" line carries, well within a
// protocol line.
constexpr size_t kLogPiece = 4000;

// Each line of text as a "#Log:" line; a longer line goes in pieces.
void send_log_lines(FILE *protocol, const char *text)
{
    const char *p = text;
    while (*p) {
        size_t length = std::strcspn(p, "\n");
        do {
            size_t piece = length < kLogPiece ? length : kLogPiece;
            std::fputs("#Log:", protocol);
            std::fwrite(p, 1, piece, protocol);
            std::fputc('\n', protocol);
            p += piece;
            length -= piece;
        } while (length > 0);
        if (*p == '\n')
            ++p;
    }
    std::fflush(protocol);
}

// As root: opens the folder of the log named g_logname through the
// checked walk, or says why it is not used. It must be root's and closed to
// others like the tree's folders: in a sticky folder such as /tmp, another
// user could have made the file at the log's name first.
void open_log_folder()
{
    std::string name = g_logname;
    const size_t slash = name.rfind('/');
    g_logbase = slash == std::string::npos ? name : name.substr(slash + 1);
    qv::Walk walk = qv::walk_path(slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash),
                                  qv::WalkRule::Tree);
    g_logdirRefused = !walk.refusal.empty();
    g_logdirError = g_logdirRefused ? EACCES : errno;
    if (!walk.refusal.empty())
        std::fprintf(stderr, "%s\n", walk.refusal.c_str());
    g_logdir = std::move(walk.fd);
}

// Every open of the log goes through here: the log opened for appending,
// created when missing, or NULL. As root it is opened in the folder that
// was checked (open_log_folder), and only as a plain file root owns: a
// user who may write there could have put at its name a link to any file
// of the system, and root writes nothing into another user's file.
// *saidWhy is set when such a refusal has been printed.
FILE *open_log(bool *saidWhy = nullptr)
{
    const int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC;
    qv::Fd fd;
    if (geteuid() == 0) {
        bool notPlain = false;
        struct stat st;
        if (g_logdir.get() >= 0)
            fd.reset(qv::open_plain(g_logdir.get(), g_logbase.c_str(), flags, 0666, "Log file", g_logname, notPlain));
        else
            errno = g_logdirError;
        if (fd.get() >= 0 && (fstat(fd.get(), &st) != 0 || st.st_uid != 0)) {
            fd.reset();
            errno = EACCES;
        }
        if (saidWhy)
            *saidWhy = notPlain || (g_logdir.get() < 0 && g_logdirRefused);
    } else {
        fd.reset(open(g_logname, flags, 0666));
    }
    return qv::stream_of(fd, "a").release();
}

} // namespace

namespace qv {

void send_log_through(FILE *protocol)
{
    g_protocol = protocol;
}

} // namespace qv

extern "C" {

const char *QV_instGetLogfileName(void)
{
    return g_logname;
}

int QV_instInitLogfile(const char *name)
{
    if (!name || !*name)
        return -1;
    // A longer name is refused rather than cut short: a cut name would send
    // the log to a different file.
    size_t len = strnlen(name, QV_LOGNAME_MAX + 1);
    if (len > QV_LOGNAME_MAX)
        return -1;
    std::memcpy(g_logname, name, len + 1);
    if (geteuid() == 0)
        open_log_folder();
    // The name stays set even when the file cannot be created, so that each
    // later entry tries again and reports why it is lost.
    FILE *f = open_log();
    if (!f)
        return -1;
    std::fclose(f);
    return 0;
}

int QV_instInitLogfileAndTimeStamp(const char *name)
{
    const int made = QV_instInitLogfile(name);
    // Without a name set there is no log, and nothing to lose.
    if (made != 0 && (!name || std::strcmp(name, g_logname) != 0))
        return -1;
    // A log that cannot be opened loses the banner's two entries as it does
    // every later one, and each of them says so.
    char banner[256];
    std::time_t now = std::time(nullptr);
    std::tm local;
    localtime_r(&now, &local);
    // Later runs and the log viewer look for this exact banner line.
    if (std::strftime(banner, sizeof banner, "\n>>>>>>> SETUP Log File created on %Y-%m-%d-%Hh%M <<<<<<<\n", &local) ==
        0)
        banner[0] = '\0';
    QV_instUpdateLogfile("%s", banner);
    QV_instUpdateLogfile("Starting Installation\n");
    return made;
}

FILE *QV_instOpenLogfile(void)
{
    if (!g_logname[0])
        return nullptr;
    bool saidWhy = false;
    FILE *f = open_log(&saidWhy);
    // A refused link has been named with its reason already.
    if (!f && !saidWhy)
        std::fprintf(stderr, "Error: (QV_instUpdateLogfile) can't open '%s': %s; the log entry is lost\n", g_logname,
                     std::strerror(errno));
    return f;
}

int QV_instUpdateLogfile(const char *format, ...)
{
    if (!format)
        return -1;
    if (g_protocol && g_logname[0]) {
        va_list ap;
        va_start(ap, format);
        char *text = nullptr;
        int length = vasprintf(&text, format, ap);
        va_end(ap);
        if (length >= 0) {
            qv::CStr owned(text);
            send_log_lines(g_protocol, text);
        }
        return 0;
    }
    FILE *f = QV_instOpenLogfile();
    if (!f)
        return 0;
    va_list ap;
    va_start(ap, format);
    std::vfprintf(f, format, ap);
    va_end(ap);
    // A log past the file size limit or on a full disk loses the entry;
    // the run goes on, and the user learns it from here.
    const bool failed = std::ferror(f) != 0;
    if (std::fclose(f) != 0 || failed)
        std::fprintf(stderr, "Error: (QV_instUpdateLogfile) can't write '%s'\n", g_logname);
    return 0;
}

} // extern "C"
