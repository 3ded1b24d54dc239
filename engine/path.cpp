// Path helpers: slash collapsing, joining, last component, directory part,
// canonical directory and the nearest existing directory of a path.
#include "engine/util.h"
#include "engine/internal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

// Paths longer than the installer's path buffers are refused, not cut.
bool too_long(const char *path)
{
    return strnlen(path, QV_PATH_MAX + 1) > QV_PATH_MAX;
}

// An object that the path names. A directory with no links left is the
// removed working directory seen through "."; it counts as missing, so that
// a climb from a relative path in a deleted directory ends instead of
// offering a directory that no longer exists anywhere.
enum class Kind { missing, directory, other };

Kind kind_of(const char *path)
{
    struct stat st;
    if (stat(path, &st) != 0)
        return Kind::missing;
    if (S_ISDIR(st.st_mode))
        return st.st_nlink == 0 ? Kind::missing : Kind::directory;
    return Kind::other;
}

} // namespace

extern "C" {

int QV_instRemoveExtraSlash(char *path)
{
    if (!path)
        return 1;
    // The output never runs ahead of the input, so the collapse is done in
    // place.
    char *out = path;
    for (const char *in = path; *in; ++in) {
        if (*in == '/' && out > path && out[-1] == '/')
            continue;
        *out++ = *in;
    }
    *out = '\0';
    return 0;
}

char *QV_instBuildPath(const char *first, ...)
{
    if (!first)
        return nullptr;

    // Measure first, so that the path is allocated once at its final size;
    // at most one '/' goes in front of each further part.
    size_t total = std::strlen(first);
    va_list ap;
    va_start(ap, first);
    for (const char *part; (part = va_arg(ap, const char *));)
        total += std::strlen(part) + 1;
    va_end(ap);

    char *path = static_cast<char *>(std::malloc(total + 1));
    if (!path)
        return nullptr;
    size_t len = std::strlen(first);
    std::memcpy(path, first, len);
    va_start(ap, first);
    for (const char *part; (part = va_arg(ap, const char *));) {
        if (len == 0 || path[len - 1] != '/')
            path[len++] = '/';
        size_t n = std::strlen(part);
        std::memcpy(path + len, part, n);
        len += n;
    }
    va_end(ap);
    path[len] = '\0';
    QV_instRemoveExtraSlash(path);
    return path;
}

char *QV_instBasename(const char *path)
{
    if (!path || too_long(path))
        return nullptr;
    const char *slash = std::strrchr(path, '/');
    return strdup(slash ? slash + 1 : path);
}

char *QV_instDirname(const char *path)
{
    if (!path || too_long(path))
        return nullptr;
    char *dir = strdup(path);
    if (!dir)
        return nullptr;
    QV_instRemoveExtraSlash(dir);
    size_t len = std::strlen(dir);
    while (len > 0 && dir[len - 1] == '/')
        dir[--len] = '\0';
    char *slash = std::strrchr(dir, '/');
    if (!slash) {
        std::free(dir);
        return strdup("./");
    }
    slash[1] = '\0';
    return dir;
}

char *QV_instGetRealPath(const char *path)
{
    if (!path)
        return nullptr;
    qv::CStr dir(QV_instDirname(path));
    if (!dir)
        return nullptr;
    qv::CStr real(realpath(dir.get(), nullptr));
    if (!real) {
        std::fprintf(stderr, "Error: can't obtain realpath of <%s>\n", dir.get());
        return nullptr;
    }
    size_t len = std::strlen(real.get());
    if (len > 0 && real.get()[len - 1] == '/')
        return real.release();
    char *out = static_cast<char *>(std::malloc(len + 2));
    if (!out)
        return nullptr;
    std::memcpy(out, real.get(), len);
    out[len] = '/';
    out[len + 1] = '\0';
    return out;
}

char *QV_instGetPartitionDirectory(const char *path)
{
    qv::CStr cur;
    if (!path || !*path) {
        cur.reset(static_cast<char *>(std::malloc(QV_PATH_MAX)));
        if (!cur || !getcwd(cur.get(), QV_PATH_MAX))
            return nullptr;
    } else {
        cur.reset(strdup(path));
        if (!cur)
            return nullptr;
    }

    // Each step shortens the text by at least one component, and "./" and
    // "/" end the climb, so the loop always stops.
    for (;;) {
        switch (kind_of(cur.get())) {
        case Kind::directory:
            return cur.release();
        case Kind::other:
            return nullptr;
        case Kind::missing:
            break;
        }
        if (std::strcmp(cur.get(), "./") == 0 || std::strcmp(cur.get(), "/") == 0)
            return nullptr;
        cur.reset(QV_instDirname(cur.get()));
        if (!cur)
            return nullptr;
    }
}

} // extern "C"
