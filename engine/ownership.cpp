// As root, whether an installation tree is root's alone: every folder from
// "/" to the root destination, the product folder and the common folder,
// with links resolved one component at a time the way the system does.
#include "engine/ownership.h"

#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <vector>

#include "engine/internal.h"

namespace {

// As many links as the system follows in one lookup: a longer chain makes
// every path through it fail, so nothing below it can be read or written.
constexpr int kMaxLinks = 40;

std::string owner_text(uid_t uid)
{
    const std::string id = "uid " + std::to_string(uid);
    std::vector<char> buf(16384);
    struct passwd pw;
    struct passwd *found = nullptr;
    if (getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_name)
        return std::string(found->pw_name) + ", " + id;
    return id;
}

std::string refusal_text(const std::string &path, const struct stat &st)
{
    const char *kind = S_ISDIR(st.st_mode) ? "folder" : S_ISLNK(st.st_mode) ? "link" : "file";
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return "Setup runs as root and will not use " + path + ", a " + kind + " that another user controls (owner " +
           owner_text(st.st_uid) + ", mode " + mode +
           "):\nchoose a folder root owns, or run setup as that user with -noroot";
}

// Whether someone other than root decides what st stands for: its owner
// when that is not root, or whoever may write to it besides its owner (the
// mode of a link means nothing). A folder on the way may be writable by
// everyone when it is sticky, like /tmp: nobody else may then remove or
// rename what root keeps in it, and the next folder is looked at in turn.
bool others_control(const struct stat &st, bool onTheWay)
{
    if (st.st_uid != 0)
        return true;
    if (S_ISLNK(st.st_mode) || (st.st_mode & (S_IWGRP | S_IWOTH)) == 0)
        return false;
    return !(onTheWay && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX));
}

// Puts the components of path in front of those still to walk.
void walk_first(std::deque<std::string> &rest, const std::string &path)
{
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= path.size()) {
        size_t slash = path.find('/', at);
        if (slash == std::string::npos)
            slash = path.size();
        if (slash > at)
            parts.push_back(path.substr(at, slash - at));
        at = slash + 1;
    }
    rest.insert(rest.begin(), parts.begin(), parts.end());
}

std::string read_link(const std::string &path)
{
    std::vector<char> buf(PATH_MAX + 1);
    ssize_t n = readlink(path.c_str(), buf.data(), buf.size());
    if (n <= 0 || static_cast<size_t>(n) >= buf.size())
        return "";
    return std::string(buf.data(), static_cast<size_t>(n));
}

} // namespace

namespace qv {

std::string folder_refusal(const std::string &folder)
{
    if (geteuid() != 0 || folder.empty())
        return "";
    std::string path = folder;
    if (path[0] != '/') {
        CStr cwd(getcwd(nullptr, 0));
        if (!cwd)
            return "";
        path = std::string(cwd.get()) + "/" + path;
    }

    // at is where the walk stands, a path without links; rest what is left
    // to walk from there.
    std::string at = "/";
    std::deque<std::string> rest;
    walk_first(rest, path);
    struct stat st;
    if (lstat(at.c_str(), &st) != 0)
        return "";
    if (others_control(st, true))
        return refusal_text(at, st);
    int links = 0;
    while (!rest.empty()) {
        const std::string name = rest.front();
        rest.pop_front();
        if (name == ".")
            continue;
        if (name == "..") {
            // at holds no link, so its parent is the one the system takes.
            size_t slash = at.rfind('/');
            at = slash == 0 ? "/" : at.substr(0, slash);
            continue;
        }
        const std::string next = at == "/" ? "/" + name : at + "/" + name;
        // What does not exist yet is made by root, and so is all below it.
        if (lstat(next.c_str(), &st) != 0)
            return "";
        if (others_control(st, true))
            return refusal_text(next, st);
        if (S_ISLNK(st.st_mode)) {
            // Root's own link: the walk goes on where it leads.
            const std::string target = read_link(next);
            if (++links > kMaxLinks || target.empty())
                return "";
            walk_first(rest, target);
            if (target[0] == '/')
                at = "/";
            continue;
        }
        // Nothing can be reached below a file.
        if (!S_ISDIR(st.st_mode) && !rest.empty())
            return "";
        at = next;
    }
    // The folder itself gets no exception.
    if (lstat(at.c_str(), &st) != 0)
        return "";
    return others_control(st, false) ? refusal_text(at, st) : "";
}

std::string tree_refusal(const char *root, const char *productDir)
{
    if (geteuid() != 0 || !root || !*root)
        return "";
    if (!productDir)
        return folder_refusal(root);
    // The root destination is on the way to both.
    std::string refusal = folder_refusal(std::string(root) + "/" + productDir);
    if (refusal.empty())
        refusal = folder_refusal(std::string(root) + "/Quorvanta");
    return refusal;
}

} // namespace qv
