// Helpers shared by the test programs: scratch directories, files and
// running the real binary with a controlled environment.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qvtest {

// Value of a variable that the test harness sets (fails the test if unset).
std::string harness(const char *name);

// A fresh directory below the harness's scratch root, removed when the
// object goes out of scope (unless QV_KEEP_SCRATCH is set).
class ScratchDir {
public:
    explicit ScratchDir(const std::string &prefix = "t");
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &rel) const { return path_ + "/" + rel; }

private:
    std::string path_;
};

void remove_tree(const std::string &path);
void make_dirs(const std::string &path, mode_t mode = 0755);
std::string read_file(const std::string &path);
std::optional<std::string> try_read_file(const std::string &path);
void write_file(const std::string &path, const std::string &content, mode_t mode = 0644);
bool exists(const std::string &path);

// The state letter of a process in /proc (R, S, T for stopped, Z, ...), or
// '?' when there is no such process.
char process_state(pid_t pid);

// True when the whole text matches the POSIX extended regular expression.
bool matches_ere(const std::string &text, const std::string &pattern);

struct RunResult {
    int status = -1;      // exit status, or 128 + signal
    std::string out;      // standard output
    std::string err;      // standard error
};

// In a forked child: changes the environment by `set` (an empty optional
// value unsets the variable) and runs argv[0] (a path); never returns.
[[noreturn]] void exec_with(const std::vector<std::string> &argv,
                            const std::map<std::string, std::optional<std::string>> &set);

// Runs argv[0] (a path) with the current environment changed by `set`
// (an empty optional value unsets the variable), feeding `input` to its
// standard input, and collects its output.
RunResult run(const std::vector<std::string> &argv,
              const std::map<std::string, std::optional<std::string>> &set = {},
              const std::string &input = "", const std::string &cwd = "");

} // namespace qvtest
