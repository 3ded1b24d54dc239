// What an installed tree holds, for comparing two installations file by
// file: for each path below the root its mode and kind, a file's contents,
// a symbolic link's target, and the other names of a file with hard links.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/testutil.h"

namespace qvtest {

// Path below the root (starting with '/') -> "<mode> <kind> <what>".
using Tree = std::map<std::string, std::string>;

// What is compared of a file: given its path below the root and its
// contents; the contents themselves when no filter is given.
using ContentFilter = std::function<std::string(const std::string &rel, const std::string &content)>;

inline Tree tree_of(const std::string &root, const ContentFilter &filter = nullptr)
{
    namespace fs = std::filesystem;
    Tree tree;
    std::map<std::pair<dev_t, ino_t>, std::vector<std::string>> linked;
    std::error_code ec;
    // The iterator does not descend into symbolic links to directories.
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string path = it->path().string();
        const std::string rel = path.substr(root.size());
        struct stat st;
        if (lstat(path.c_str(), &st) != 0)
            continue;
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o ", static_cast<unsigned>(st.st_mode & 07777));
        std::string entry = mode;
        if (S_ISLNK(st.st_mode)) {
            std::error_code linkError;
            entry += "link " + fs::read_symlink(path, linkError).string();
        } else if (S_ISDIR(st.st_mode)) {
            entry += "dir";
        } else {
            const std::string content = read_file(path);
            entry += "file " + (filter ? filter(rel, content) : content);
            if (st.st_nlink > 1)
                linked[{st.st_dev, st.st_ino}].push_back(rel);
        }
        tree[rel] = entry;
    }
    for (auto &[inode, names] : linked) {
        std::sort(names.begin(), names.end());
        for (const std::string &name : names) {
            tree[name] += "\nhard links:";
            for (const std::string &other : names)
                tree[name] += " " + other;
        }
    }
    return tree;
}

// The paths on which two trees differ, for a failure message.
inline std::string differences(const Tree &a, const Tree &b)
{
    std::string out;
    for (const auto &[path, entry] : a) {
        auto it = b.find(path);
        if (it == b.end())
            out += "  only in the first: " + path + "\n";
        else if (it->second != entry)
            out += "  differs: " + path + "\n    first:  " + entry.substr(0, 200) + "\n    second: " +
                   it->second.substr(0, 200) + "\n";
    }
    for (const auto &[path, entry] : b) {
        if (!a.count(path))
            out += "  only in the second: " + path + "\n";
    }
    return out;
}

} // namespace qvtest
