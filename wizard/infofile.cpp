// Reading and writing the information files without letting anything that
// another user planted in the shared folder redirect or feed them.
#include "wizard/infofile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "engine/fileops_internal.h"
#include "engine/internal.h"

namespace qv {

std::string &info_file_folder()
{
    static std::string folder = "/usr/tmp";
    return folder;
}

namespace {

std::string path_of(const char *name)
{
    return info_file_folder() + "/" + name;
}

// Opens path as a plain file (never through a link at its name, without
// waiting on a FIFO) and keeps it only when it is owned by the user that
// setup runs as. The checks are made on the open descriptor, so the name
// cannot be swapped in between.
Fd open_own_info_file(const std::string &path, int flags, mode_t mode = 0)
{
    bool notPlain = false;
    Fd fd(qv::open_plain(AT_FDCWD, path.c_str(), flags, mode, "Information file", path, notPlain));
    struct stat st;
    if (fd.get() < 0 || fstat(fd.get(), &st) != 0)
        return Fd();
    if (st.st_uid != geteuid()) {
        std::fprintf(stderr, "Information file is another user's, left as it is: %s\n", path.c_str());
        return Fd();
    }
    // No other user may change what the next run reads back.
    if ((flags & O_ACCMODE) != O_RDONLY && (st.st_mode & 07777 & ~0644) != 0 &&
        fchmod(fd.get(), st.st_mode & 0644) != 0)
        return Fd();
    return fd;
}

} // namespace

std::optional<std::vector<std::string>> read_info_file(const char *name, std::size_t count)
{
    Fd fd = open_own_info_file(path_of(name), O_RDONLY);
    if (fd.get() < 0)
        return std::nullopt;
    std::string text;
    char buf[4096];
    for (;;) {
        ssize_t n = read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    // Whole lines, however long: a long value must not spill into the
    // fields after it.
    std::vector<std::string> values(count);
    std::size_t start = 0;
    for (std::size_t i = 0; i < count && start < text.size(); ++i) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        values[i] = text.substr(start, end - start);
        start = end + 1;
    }
    return values;
}

bool write_info_file(const char *name, const std::vector<std::string> &values)
{
    // Not O_TRUNC: a file that is refused must be left as it was.
    Fd fd = open_own_info_file(path_of(name), O_WRONLY | O_CREAT, 0644);
    if (fd.get() < 0 || ftruncate(fd.get(), 0) != 0)
        return false;
    std::string text;
    for (std::string value : values) {
        // One line a value: a line break pasted into a field is written as
        // a blank, so the values after it stay in their own lines.
        std::replace(value.begin(), value.end(), '\n', ' ');
        text += value + "\n";
    }
    File stream = stream_of(fd, "w");
    if (!stream)
        return false;
    const bool written = std::fputs(text.c_str(), stream.get()) >= 0;
    return std::fclose(stream.release()) == 0 && written;
}

} // namespace qv
