// The real setup program on the test's X server, seen from outside as a
// user sees it: a running setup process, its windows found by title
// (xdotool), keys typed into them, and screenshots kept as artifacts.
#pragma once

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/testutil.h"

extern char **environ;

namespace qvtest {

// A running setup process whose standard error goes to a file (and its
// standard output too, when a file is named for it).
class SetupProcess {
public:
    SetupProcess(const std::vector<std::string> &args, const std::string &home, const std::string &errFile,
                 const std::string &outFile = "/dev/null")
    {
        std::vector<std::string> argv = {harness("QV_SETUP")};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char *> cargv;
        for (auto &a : argv)
            cargv.push_back(const_cast<char *>(a.c_str()));
        cargv.push_back(nullptr);

        std::vector<std::string> env;
        for (char **e = environ; *e; ++e) {
            if (std::strncmp(*e, "HOME=", 5) != 0 && std::strncmp(*e, "QVINST_NOROOT=", 14) != 0)
                env.emplace_back(*e);
        }
        env.push_back("HOME=" + home);
        std::vector<char *> cenv;
        for (auto &e : env)
            cenv.push_back(const_cast<char *>(e.c_str()));
        cenv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
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
    pid_t pid() const { return pid_; }

    // The exit code, or -1 when the process has not ended in time.
    int wait(int seconds = 60)
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

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

inline std::vector<std::string> windows_named(const std::string &title)
{
    RunResult r = run({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"});
    std::vector<std::string> ids;
    std::istringstream in(r.out);
    for (std::string id; in >> id;)
        ids.push_back(id);
    return ids;
}

// Waits for a visible window with this title that is not among `known`.
inline std::string wait_window(const std::string &title, const std::set<std::string> &known = {}, int seconds = 60)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        for (const std::string &id : windows_named(title)) {
            if (!known.count(id))
                return id;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "no window \"" << title << "\" appeared";
    return "";
}

// Where a window stands on the screen, and its size.
struct Geometry {
    int x = -1, y = -1, width = -1, height = -1;
    bool operator==(const Geometry &o) const
    {
        return x == o.x && y == o.y && width == o.width && height == o.height;
    }
};

inline std::ostream &operator<<(std::ostream &out, const Geometry &g)
{
    return out << g.width << "x" << g.height << "+" << g.x << "+" << g.y;
}

inline Geometry geometry_of(const std::string &window)
{
    RunResult r = run({"/usr/bin/xdotool", "getwindowgeometry", "--shell", window});
    Geometry g;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const int value = std::atoi(line.c_str() + eq + 1);
        if (key == "X")
            g.x = value;
        else if (key == "Y")
            g.y = value;
        else if (key == "WIDTH")
            g.width = value;
        else if (key == "HEIGHT")
            g.height = value;
    }
    return g;
}

// Waits for a visible window with this title and size that is not among
// `known`: dialogs of one program share their title.
inline std::string wait_window_sized(const std::string &title, int width, int height,
                                     const std::set<std::string> &known = {}, int seconds = 60)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        for (const std::string &id : windows_named(title)) {
            const Geometry g = geometry_of(id);
            if (!known.count(id) && g.width == width && g.height == height)
                return id;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "no window \"" << title << "\" of " << width << "x" << height << " appeared";
    return "";
}

// Gives the window the keyboard and types one key, as a user would.
inline void type_key(const std::string &window, const std::string &key)
{
    ASSERT_FALSE(window.empty());
    ASSERT_EQ(run({"/usr/bin/xdotool", "windowfocus", "--sync", window}).status, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(run({"/usr/bin/xdotool", "key", key}).status, 0);
}

// Waits until no visible window has this title or, when one is named, until
// that window is off the screen.
inline bool wait_gone(const std::string &title, const std::string &window = "", int seconds = 60)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        const std::vector<std::string> ids = windows_named(title);
        if (window.empty() ? ids.empty() : std::find(ids.begin(), ids.end(), window) == ids.end())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// The number of colours in an image, or in its area "WxH+X+Y".
inline int colours_in(const std::string &path, const std::string &area = "")
{
    RunResult r = area.empty() ? run({"/usr/bin/identify", "-format", "%k", path})
                               : run({"/usr/bin/convert", path, "-crop", area, "+repage", "-format", "%k", "info:"});
    return std::atoi(r.out.c_str());
}

// Captures the screen into $QV_TEST_ARTIFACTS/<name>.png. A window that has
// just appeared may not be drawn yet: the capture is taken again until the
// screen (or its area "WxH+X+Y") shows at least minColours colours, for up
// to a minute.
inline std::string screenshot(const std::string &name, const std::string &area = "", int minColours = 3)
{
    const std::string path = harness("QV_TEST_ARTIFACTS") + "/" + name + ".png";
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int colours = 0;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        RunResult r = run({"/usr/bin/import", "-window", "root", path});
        if (r.status != 0) {
            ADD_FAILURE() << "import: " << r.err;
            return path;
        }
        colours = colours_in(path, area);
        if (colours >= minColours || std::chrono::steady_clock::now() >= end)
            break;
    }
    EXPECT_GE(colours, minColours) << "the screen is blank: " << path << (area.empty() ? "" : " in " + area);
    return path;
}

} // namespace qvtest
