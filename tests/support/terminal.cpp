// Pseudo-terminal sessions for the tests that run setup as from a shell.
#include "support/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

#include <gtest/gtest.h>

#include "support/testutil.h"

namespace qvtest {

TerminalRun::TerminalRun(const std::vector<std::string> &argv,
                         const std::map<std::string, std::optional<std::string>> &set, bool tostop)
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        return;
    }
    const std::string slave = ptsname(master_);
    pid_ = fork();
    if (pid_ == 0) {
        // A session of its own, whose first terminal becomes its controlling
        // terminal, with this process group in the foreground.
        setsid();
        int tty = open(slave.c_str(), O_RDWR);
        if (tty < 0)
            _exit(126);
        struct termios mode;
        tcgetattr(tty, &mode);
        if (tostop)
            mode.c_lflag |= TOSTOP;
        tcsetattr(tty, TCSANOW, &mode);
        for (int fd = 0; fd < 3; ++fd)
            dup2(tty, fd);
        if (tty > 2)
            close(tty);
        exec_with(argv, set);
    }
}

TerminalRun::~TerminalRun()
{
    if (pid_ > 0 && status_ < 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0)
        close(master_);
}

void TerminalRun::drain(int timeoutMs)
{
    struct pollfd in = {master_, POLLIN, 0};
    while (poll(&in, 1, timeoutMs) == 1) {
        char buf[4096];
        ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0)
            break;
        shown_.append(buf, static_cast<size_t>(n));
        timeoutMs = 0;
    }
}

bool TerminalRun::wait_for(const std::string &text, int seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (shown_.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        drain(50);
    }
    return true;
}

void TerminalRun::type(const std::string &text)
{
    if (write(master_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        ADD_FAILURE() << "typing at the terminal";
}

int TerminalRun::wait(int seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (status_ < 0 && pid_ > 0) {
        // Read on: a terminal nobody reads would stop its writers.
        drain(50);
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_)
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        else if (std::chrono::steady_clock::now() >= end)
            break;
    }
    drain(0);
    return status_;
}

} // namespace qvtest
