// Small installation media for the end-to-end tests of the command-line
// installer: files with modes, bzip2 files and tar archives made with the
// real tools, test modules, and a description written by the test.
#pragma once

#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/testutil.h"

namespace qvtest {

class Medium {
public:
    explicit Medium(const std::string &dir) : dir_(dir) { make_dirs(dir_ + "/SetupFiles"); }

    const std::string &dir() const { return dir_; }
    std::string cdinst() const { return dir_ + "/cdinst.dat"; }

    // A plain file; returns its size for the description.
    size_t file(const std::string &rel, const std::string &content, mode_t mode = 0644)
    {
        make_dirs(parent(dir_ + "/" + rel));
        write_file(dir_ + "/" + rel, content, mode);
        return content.size();
    }

    // A bzip2-compressed file; returns the uncompressed size.
    size_t bz2(const std::string &rel, const std::string &content)
    {
        std::string path = dir_ + "/" + rel;
        make_dirs(parent(path));
        RunResult r = run({"/bin/sh", "-c", "bzip2 -c > \"$0\"", path}, {}, content);
        EXPECT_EQ(r.status, 0) << r.err;
        return content.size();
    }

    // A tar archive (bzip2-compressed when the name ends in .bz2) of the
    // given members, directories first; returns the description's fields
    // after the archive name: total, then each member with its size.
    std::string tar(const std::string &rel, const std::vector<std::pair<std::string, std::string>> &files,
                    const std::vector<std::string> &dirs = {})
    {
        std::string stage = dir_ + "/.stage-" + std::to_string(stages_++);
        std::vector<std::string> names;
        std::string fields;
        size_t total = 0;
        for (const auto &d : dirs) {
            make_dirs(stage + "/" + d);
            names.push_back(d);
            fields += " \"" + d + "\" 0";
        }
        for (const auto &[name, content] : files) {
            make_dirs(parent(stage + "/" + name));
            write_file(stage + "/" + name, content);
            names.push_back(name);
            fields += " \"" + name + "\" " + std::to_string(content.size());
            total += content.size();
        }
        std::string path = dir_ + "/" + rel;
        make_dirs(parent(path));
        std::string cmd = "cd \"$0\" && tar --no-recursion -cf - \"$@\"";
        if (rel.size() > 4 && rel.compare(rel.size() - 4, 4, ".bz2") == 0)
            cmd += " | bzip2 -c";
        cmd += " > \"" + path + "\"";
        std::vector<std::string> argv = {"/bin/sh", "-c", cmd, stage};
        argv.insert(argv.end(), names.begin(), names.end());
        RunResult r = run(argv);
        EXPECT_EQ(r.status, 0) << r.err;
        remove_tree(stage);
        return std::to_string(total) + fields;
    }

    // Copies a module built from tests/fixtures/modules into SetupFiles.
    void module(const std::string &name)
    {
        std::string from = harness("QV_TEST_MODULES") + "/" + name + ".so";
        RunResult r = run({"/bin/cp", from, dir_ + "/SetupFiles/" + name + ".so"});
        EXPECT_EQ(r.status, 0) << r.err;
    }

    // The description: a standard header for product "Quorvanta Test" in
    // directory "QvTest", then the body given.
    void description(const std::string &body, const std::string &extraHeader = "")
    {
        write_file(cdinst(), "SetupVersion 1\n"
                             "ProductName Quorvanta Test\n"
                             "ProductVersion 1.0\n"
                             "ProductDirectory QvTest\n"
                             "LogFile install.log\n"
                             "HistoryFile QvTest\n" +
                                 extraHeader + body);
    }

private:
    static std::string parent(const std::string &path) { return path.substr(0, path.rfind('/')); }

    std::string dir_;
    int stages_ = 0;
};

// Runs the installer with -cmdline -noroot on a medium, HOME and DISPLAY
// under the test's control.
inline RunResult install(const std::string &cdinst, const std::string &root, const std::string &home,
                         std::vector<std::string> extra = {})
{
    std::vector<std::string> argv = {harness("QV_SETUP"), "-cmdline", "-noroot", "-from", cdinst, "-dest", root};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return run(argv, {{"HOME", home}, {"DISPLAY", std::nullopt}, {"QVINST_NOROOT", std::nullopt}});
}

inline mode_t mode_of(const std::string &path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

inline std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos)
            nl = text.size();
        out.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return out;
}

} // namespace qvtest
