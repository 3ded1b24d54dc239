#include "support/capture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace qvtest {

CaptureFd::CaptureFd(int fd) : fd_(fd)
{
    std::fflush(stdout);
    std::fflush(stderr);
    char name[] = "/tmp/qvcapture-XXXXXX";
    file_ = mkstemp(name);
    if (file_ < 0)
        throw std::runtime_error("mkstemp failed");
    unlink(name);
    saved_ = dup(fd_);
    dup2(file_, fd_);
}

CaptureFd::~CaptureFd()
{
    finish();
}

std::string CaptureFd::finish()
{
    if (saved_ < 0)
        return text_;
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(saved_, fd_);
    close(saved_);
    saved_ = -1;
    lseek(file_, 0, SEEK_SET);
    char buf[4096];
    ssize_t n;
    while ((n = read(file_, buf, sizeof buf)) > 0)
        text_.append(buf, static_cast<size_t>(n));
    close(file_);
    file_ = -1;
    return text_;
}

} // namespace qvtest
