// The user accounts of the per-user update dialog: the names offered in its
// list and the lookup of the chosen one.
#include "wizard/useraccounts.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "engine/internal.h"
#include "wizard/userupdate.h"

namespace qv {

namespace {

constexpr const char kSystemPasswd[] = "/etc/passwd";
constexpr const char kBlanks[] = " \t\n\v\f\r";

bool read_text(const std::string &path, std::string &text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
    return true;
}

} // namespace

AccountSources &account_sources()
{
    static AccountSources sources;
    return sources;
}

bool find_account(const char *name, Account &account)
{
    if (!name || !*name)
        return false;
    const AccountSources &sources = account_sources();
    const struct passwd *pw = nullptr;
    File file;
    if (sources.passwdFile.empty()) {
        pw = getpwnam(name);
    } else {
        file.reset(std::fopen(sources.passwdFile.c_str(), "r"));
        if (!file)
            return false;
        while ((pw = fgetpwent(file.get())) && std::strcmp(pw->pw_name, name) != 0) {
        }
    }
    if (!pw)
        return false;
    // The entry lives in the C library's static storage: it is copied before
    // anything else can look an account up.
    account.name = pw->pw_name;
    account.home = sources.homeRoot + (pw->pw_dir ? pw->pw_dir : "");
    account.uid = pw->pw_uid;
    account.gid = pw->pw_gid;
    return true;
}

void collect_account_names(const std::string &passwdText, std::vector<std::string> &names)
{
    std::istringstream lines(passwdText);
    std::string line;
    while (std::getline(lines, line)) {
        for (char cut : {'#', ':', '+'}) {
            std::string::size_type at = line.find(cut);
            if (at != std::string::npos)
                line.erase(at);
        }
        std::string::size_type start = line.find_first_not_of(kBlanks);
        while (start != std::string::npos) {
            std::string::size_type end = line.find_first_of(kBlanks, start);
            names.push_back(line.substr(start, end == std::string::npos ? end : end - start));
            start = end == std::string::npos ? end : line.find_first_not_of(kBlanks, end);
        }
    }
}

std::vector<std::string> account_names()
{
    const AccountSources &sources = account_sources();
    std::vector<std::string> names;

    const std::string local = sources.passwdFile.empty() ? kSystemPasswd : sources.passwdFile;
    std::string text;
    if (read_text(local, text))
        collect_account_names(text, names);
    else
        std::fprintf(stderr, "ERROR: Can't read %s: %s\n", local.c_str(), std::strerror(errno));

    if (check_if_yp() == 1 && check_if_file_exist(sources.ypcat.c_str()) == 0) {
        // Only the map's standard output holds names; its complaints go to
        // the terminal as they come.
        std::string map;
        if (program_output(sources.ypcat, {sources.ypcat, "passwd"}, false, map))
            collect_account_names(map, names);
    }

    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

bool program_output(const std::string &path, const std::vector<std::string> &argv, bool withStderr,
                    std::string &out)
{
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    Fd readEnd(fds[0]), writeEnd(fds[1]);
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec: the parent may
        // hold the X connection and the allocator's locks.
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0)
            dup2(devnull, STDIN_FILENO);
        dup2(writeEnd.get(), STDOUT_FILENO);
        if (withStderr)
            dup2(writeEnd.get(), STDERR_FILENO);
        execv(path.c_str(), args.data());
        _exit(127);
    }
    writeEnd.reset();
    char buf[4096];
    for (;;) {
        ssize_t n = read(readEnd.get(), buf, sizeof buf);
        if (n > 0)
            out.append(buf, static_cast<size_t>(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    // ECHILD (SIGCHLD ignored after an aborted installation) only means the
    // child has been reaped already.
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

} // namespace qv
