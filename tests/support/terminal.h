// A program run as the foreground job of a terminal of its own (a new
// pseudo-terminal and session), as an administrator starts setup from a
// shell: what it writes there can be read and answers typed.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qvtest {

class TerminalRun {
public:
    // Starts argv with the environment changed by `set`; with tostop, the
    // terminal stops background writers (stty tostop).
    TerminalRun(const std::vector<std::string> &argv,
                const std::map<std::string, std::optional<std::string>> &set = {}, bool tostop = false);
    ~TerminalRun();
    TerminalRun(const TerminalRun &) = delete;
    TerminalRun &operator=(const TerminalRun &) = delete;

    // Waits up to `seconds` for the terminal to have shown text.
    bool wait_for(const std::string &text, int seconds = 60);
    // Types text at the terminal.
    void type(const std::string &text);
    // The exit code (128 + signal when killed), or -1 when the program has
    // not ended in time; it is then killed.
    int wait(int seconds = 60);
    // Everything the terminal has shown so far.
    const std::string &shown() const { return shown_; }

private:
    void drain(int timeoutMs);

    int master_ = -1;
    pid_t pid_ = -1;
    int status_ = -1;
    std::string shown_;
};

} // namespace qvtest
