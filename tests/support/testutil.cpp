#include "support/testutil.h"

#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <regex.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

extern char **environ;

namespace qvtest {

std::string harness(const char *name)
{
    const char *v = std::getenv(name);
    if (!v || !*v) {
        ADD_FAILURE() << "the test harness did not set " << name;
        return "";
    }
    return v;
}

ScratchDir::ScratchDir(const std::string &prefix)
{
    std::string root = harness("QV_TEST_SCRATCH");
    if (root.empty())
        root = "/tmp";
    make_dirs(root);
    std::string tmpl = root + "/" + prefix + "-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("mkdtemp failed: " + tmpl);
    path_ = buf.data();
}

ScratchDir::~ScratchDir()
{
    if (!std::getenv("QV_KEEP_SCRATCH"))
        remove_tree(path_);
}

void remove_tree(const std::string &path)
{
    nftw(
        path.c_str(),
        [](const char *p, const struct stat *, int flag, struct FTW *) {
            if (flag == FTW_DP)
                rmdir(p);
            else
                unlink(p);
            return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
}

void make_dirs(const std::string &path, mode_t mode)
{
    std::string cur;
    std::stringstream ss(path);
    std::string part;
    if (!path.empty() && path[0] == '/')
        cur = "/";
    while (std::getline(ss, part, '/')) {
        if (part.empty())
            continue;
        cur += part + "/";
        mkdir(cur.c_str(), mode);
    }
}

std::optional<std::string> try_read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string read_file(const std::string &path)
{
    auto c = try_read_file(path);
    if (!c)
        ADD_FAILURE() << "cannot read " << path;
    return c.value_or("");
}

void write_file(const std::string &path, const std::string &content, mode_t mode)
{
    auto slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0)
        make_dirs(path.substr(0, slash));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    chmod(path.c_str(), mode);
}

char process_state(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    // The name in parentheses may hold blanks; the state follows it.
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() ? line[close + 2] : '?';
}

bool exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool matches_ere(const std::string &text, const std::string &pattern)
{
    regex_t re;
    if (regcomp(&re, ("^(" + pattern + ")$").c_str(), REG_EXTENDED | REG_NOSUB) != 0) {
        ADD_FAILURE() << "bad pattern: " << pattern;
        return false;
    }
    bool ok = regexec(&re, text.c_str(), 0, nullptr, 0) == 0;
    regfree(&re);
    return ok;
}

void exec_with(const std::vector<std::string> &argv, const std::map<std::string, std::optional<std::string>> &set)
{
    for (const auto &[k, v] : set) {
        if (v)
            setenv(k.c_str(), v->c_str(), 1);
        else
            unsetenv(k.c_str());
    }
    std::vector<char *> args;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

RunResult run(const std::vector<std::string> &argv, const std::map<std::string, std::optional<std::string>> &set,
              const std::string &input, const std::string &cwd)
{
    RunResult r;
    int in[2], out[2], err[2];
    if (pipe(in) || pipe(out) || pipe(err))
        throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
            close(fd);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(126);
        exec_with(argv, set);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    size_t written = 0;
    if (input.empty()) {
        close(in[1]);
        in[1] = -1;
    } else {
        fcntl(in[1], F_SETFL, O_NONBLOCK);
    }
    bool outOpen = true, errOpen = true;
    char buf[65536];
    while (outOpen || errOpen) {
        struct pollfd fds[3];
        int n = 0;
        int iOut = -1, iErr = -1, iIn = -1;
        if (outOpen) { fds[n] = {out[0], POLLIN, 0}; iOut = n++; }
        if (errOpen) { fds[n] = {err[0], POLLIN, 0}; iErr = n++; }
        if (in[1] >= 0) { fds[n] = {in[1], POLLOUT, 0}; iIn = n++; }
        if (poll(fds, n, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        auto drain = [&](int idx, int fd, std::string &dst, bool &open) {
            if (idx >= 0 && fds[idx].revents) {
                ssize_t k = read(fd, buf, sizeof buf);
                if (k > 0)
                    dst.append(buf, k);
                else if (k == 0 || errno != EINTR)
                    open = false;
            }
        };
        drain(iOut, out[0], r.out, outOpen);
        drain(iErr, err[0], r.err, errOpen);
        if (iIn >= 0 && fds[iIn].revents) {
            ssize_t k = write(in[1], input.data() + written, input.size() - written);
            if (k > 0)
                written += k;
            if (k < 0 || written == input.size()) {
                close(in[1]);
                in[1] = -1;
            }
        }
    }
    if (in[1] >= 0)
        close(in[1]);
    close(out[0]);
    close(err[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

} // namespace qvtest
