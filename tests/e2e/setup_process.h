// The real setup program started in the background on the test's X server,
// its output kept in files, its exit awaited with a time limit.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/testutil.h"

extern char **environ;

namespace qvtest {

class SetupProcess {
public:
    // Runs setup with args; the environment is the test's, changed by `set`
    // (an empty value removes the variable) and without QVINST_NOROOT.
    // Standard output and error go to the two files.
    SetupProcess(const std::vector<std::string> &args, const std::map<std::string, std::optional<std::string>> &set,
                 const std::string &outFile, const std::string &errFile)
    {
        std::vector<std::string> argv = {harness("QV_SETUP")};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char *> cargv;
        for (auto &a : argv)
            cargv.push_back(const_cast<char *>(a.c_str()));
        cargv.push_back(nullptr);

        std::map<std::string, std::optional<std::string>> changes = set;
        if (!changes.count("QVINST_NOROOT"))
            changes["QVINST_NOROOT"] = std::nullopt;
        std::vector<std::string> env;
        for (char **e = environ; *e; ++e) {
            const std::string entry = *e;
            if (!changes.count(entry.substr(0, entry.find('='))))
                env.push_back(entry);
        }
        for (const auto &[name, value] : changes) {
            if (value)
                env.push_back(name + "=" + *value);
        }
        std::vector<char *> cenv;
        for (auto &e : env)
            cenv.push_back(const_cast<char *>(e.c_str()));
        cenv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        EXPECT_EQ(posix_spawn(&pid_, cargv[0], &actions, nullptr, cargv.data(), cenv.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~SetupProcess()
    {
        if (pid_ > 0 && status_ < 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    SetupProcess(const SetupProcess &) = delete;
    SetupProcess &operator=(const SetupProcess &) = delete;

    // The exit code (128 + signal for a killed process), or -1 when the
    // process has not ended in time.
    int wait(int seconds = 20)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (status_ < 0 && std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_)
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return status_;
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

} // namespace qvtest
