// As root, whether an installation tree is root's alone: every folder from
// "/" to the root destination, the product folder and the common folder,
// reached through descriptors with links resolved one component at a time
// the way the system does, so that what is checked is what is then used.
#include "engine/ownership.h"

#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <deque>
#include <vector>

#include "engine/cdinst.h"
#include "engine/fileops.h"

namespace {

// As many links as the system follows in one lookup: a longer chain makes
// every path through it fail, so nothing below it can be read or written.
constexpr int kMaxLinks = 40;

const char kHowOnOwner[] = "choose a folder root owns, or run setup as that user with -noroot";

std::string name_text(const char *name, const char *idWord, unsigned id)
{
    // An id without a name stands for its name too.
    const std::string number = std::to_string(id);
    return (name ? std::string(name) : number) + " (" + idWord + " " + number;
}

std::string user_text(uid_t uid)
{
    std::vector<char> buf(16384);
    struct passwd pw;
    struct passwd *found = nullptr;
    const bool known = getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_name;
    return name_text(known ? found->pw_name : nullptr, "uid", uid);
}

std::string group_text(gid_t gid)
{
    std::vector<char> buf(16384);
    struct group gr;
    struct group *found = nullptr;
    const bool known = getgrgid_r(gid, &gr, buf.data(), buf.size(), &found) == 0 && found && found->gr_name;
    return name_text(known ? found->gr_name : nullptr, "gid", gid);
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

// Who controls st at path, which others_control has found: "<path>, a
// folder owned by nobody (uid 65534, mode 0755)", "..., a folder writable
// by group staff (gid 50, mode 0775)", "..., a folder writable by others
// (mode 0777)".
std::string control_text(const std::string &path, const struct stat &st)
{
    const char *kind = S_ISDIR(st.st_mode) ? "folder" : S_ISLNK(st.st_mode) ? "link" : "file";
    char mode[16];
    std::snprintf(mode, sizeof mode, "mode %04o)", static_cast<unsigned>(st.st_mode & 07777));
    std::string who;
    if (st.st_uid != 0) {
        who = "owned by " + user_text(st.st_uid) + ", " + mode;
    } else {
        const bool group = st.st_mode & S_IWGRP, others = st.st_mode & S_IWOTH;
        if (group)
            who = "writable by group " + group_text(st.st_gid) + (others ? ") and by others (" : ", ");
        else
            who = "writable by others (";
        who += mode;
    }
    return path + ", a " + kind + " " + who;
}

// The refusal of st at path: who controls it, and what to do.
std::string refusal_text(const std::string &path, const struct stat &st)
{
    return "Setup runs as root and will not use " + control_text(path, st) + ":\n" +
           (st.st_uid != 0 ? kHowOnOwner : "choose a folder only root may write to, or run setup with -noroot");
}

// Refuses the walk w at path for st.
void refuse(qv::Walk &w, const std::string &path, const struct stat &st)
{
    w.refusal = refusal_text(path, st);
    w.controlled = control_text(path, st);
}

// path, from the working folder when it is relative.
std::string absolute(const std::string &path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    qv::CStr cwd(getcwd(nullptr, 0));
    return cwd ? std::string(cwd.get()) + "/" + path : std::string();
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

std::string joined(const std::string &at, const std::string &name)
{
    return at == "/" ? "/" + name : at + "/" + name;
}

// The line of warn_of_medium.
std::string &kept_medium_warning()
{
    static std::string text;
    return text;
}

qv::Fd open_root()
{
    return qv::Fd(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
}

// make_checked_folder, for a folder that is itself on the way to another
// one when endOnTheWay (it may then be sticky and writable by everyone).
std::string make_folder(const std::string &folder, qv::Fd *into, bool endOnTheWay)
{
    // A relative name is made from the working folder, so that every
    // folder on the way is made here too, never by its name.
    std::string path = absolute(folder);
    if (path.empty())
        return "";
    qv::Walk w = qv::walk_path(path, qv::WalkRule::Tree, endOnTheWay);
    if (w.missing) {
        // Made in its parent, itself made and checked first: a folder root
        // makes in a folder that is root's (or sticky) stays root's.
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        const size_t slash = path.rfind('/');
        if (slash + 1 >= path.size())
            return "";
        qv::Fd parent;
        const std::string refusal = make_folder(slash == 0 ? "/" : path.substr(0, slash), &parent, true);
        if (!refusal.empty() || parent.get() < 0)
            return refusal;
        if (mkdirat(parent.get(), path.c_str() + slash + 1, 0755) != 0 && errno != EEXIST)
            return "";
        w = qv::walk_path(path, qv::WalkRule::Tree, endOnTheWay);
    }
    if (w.refusal.empty() && w.fd.get() >= 0 && into) {
        struct stat st;
        if (fstat(w.fd.get(), &st) == 0 && S_ISDIR(st.st_mode))
            *into = std::move(w.fd);
        else
            errno = ENOTDIR;
    }
    return w.refusal;
}

} // namespace

namespace qv {

std::string refusal_of(const std::string &path, const struct stat &st)
{
    if (geteuid() != 0 || !others_control(st, false))
        return "";
    return refusal_text(path, st);
}

Walk walk_path(const std::string &path, WalkRule rule, bool endOnTheWay)
{
    Walk w;
    const std::string full = path.empty() ? "/" : absolute(path);
    if (full.empty())
        return w;
    const bool tree = rule == WalkRule::Tree;

    w.at = "/";
    Fd cur = open_root();
    struct stat st;
    if (cur.get() < 0 || fstat(cur.get(), &st) != 0)
        return w;
    if (tree && others_control(st, true)) {
        refuse(w, w.at, st);
        return w;
    }
    std::deque<std::string> rest;
    walk_first(rest, full);
    int links = 0;
    while (!rest.empty()) {
        const std::string name = rest.front();
        rest.pop_front();
        if (name == ".")
            continue;
        if (name == "..") {
            // cur was reached from "/" through folders only, so its parent
            // is the one walked before it, and was checked then.
            cur.reset(openat(cur.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
            if (cur.get() < 0)
                return w;
            const size_t slash = w.at.rfind('/');
            w.at = slash == 0 ? "/" : w.at.substr(0, slash);
            continue;
        }
        const std::string next = joined(w.at, name);
        // The entry itself, a link included, so that what is checked is
        // what is then followed.
        Fd entry(openat(cur.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (entry.get() < 0) {
            if (errno != ENOENT)
                return w;
            // Where ".." would lead from a folder still to be made depends on
            // what is made at its name: refused, the path names no folder yet.
            for (const std::string &later : rest) {
                if (later == "..") {
                    w.refusal = "Setup runs as root and will not use " + full + ", a path that goes up (\"..\") from " +
                                next + ", which does not exist:\ngive the folder's path without \"..\"";
                    return w;
                }
            }
            w.at = next;
            w.missing = true;
            errno = ENOENT;
            return w;
        }
        if (fstat(entry.get(), &st) != 0)
            return w;
        if (S_ISLNK(st.st_mode)) {
            if (st.st_uid != 0) {
                refuse(w, next, st);
                return w;
            }
            // Root's own link: the walk goes on where it leads.
            char target[PATH_MAX];
            const ssize_t n = ++links <= kMaxLinks ? readlinkat(entry.get(), "", target, sizeof target) : -1;
            if (n <= 0 || static_cast<size_t>(n) >= sizeof target) {
                errno = ELOOP;
                return w;
            }
            const std::string to(target, static_cast<size_t>(n));
            walk_first(rest, to);
            if (to[0] == '/') {
                cur = open_root();
                w.at = "/";
            }
            continue;
        }
        if (tree && others_control(st, true)) {
            refuse(w, next, st);
            return w;
        }
        // Nothing can be reached below a file.
        if (!S_ISDIR(st.st_mode) && !rest.empty()) {
            errno = ENOTDIR;
            return w;
        }
        cur = std::move(entry);
        w.at = next;
    }
    // What the path names gets no exception for being sticky, unless it is
    // itself on the way to what is wanted.
    if (fstat(cur.get(), &st) != 0)
        return w;
    if (tree && others_control(st, endOnTheWay)) {
        refuse(w, w.at, st);
        return w;
    }
    w.fd = std::move(cur);
    return w;
}

std::string folder_refusal(const std::string &folder)
{
    if (geteuid() != 0 || folder.empty())
        return "";
    return walk_path(folder, WalkRule::Tree).refusal;
}

std::string tree_refusal(const char *root, const char *productDir)
{
    if (geteuid() != 0 || !root || !*root)
        return "";
    if (!productDir)
        return folder_refusal(root);
    // The root destination, on the way to all the others, is a folder of
    // its own too: root writes into it (the menu include line names its
    // .title, an archive may go there), so a sticky one that everyone may
    // write to is refused. The history and its folder are what the next run
    // reads.
    const std::string product = std::string(root) + "/" + productDir;
    std::vector<std::string> paths = {root, product, std::string(root) + "/Quorvanta", product + "/SetupFiles"};
    if (const char *history = QV_instGetHistoryFile())
        paths.push_back(product + "/SetupFiles/" + history);
    for (const std::string &path : paths) {
        std::string refusal = folder_refusal(path);
        if (!refusal.empty())
            return refusal;
    }
    return "";
}

std::string make_checked_folder(const std::string &folder, Fd *into)
{
    if (geteuid() != 0) {
        if (QV_instMkdir(folder.c_str(), 0755, nullptr) != 0)
            return "";
        Fd fd(open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (into)
            *into = std::move(fd);
        return "";
    }
    return make_folder(folder, into, false);
}

std::string make_destination(const char *root, const char *productDir, const std::string &destination, bool &made)
{
    made = false;
    errno = 0;
    if (geteuid() != 0 || destination.empty()) {
        made = QV_instMkdir(destination.empty() ? nullptr : destination.c_str(), 0755, nullptr) == 0;
        return "";
    }
    std::string refusal = tree_refusal(root, productDir);
    if (!refusal.empty())
        return refusal;
    Fd folder;
    refusal = make_checked_folder(destination, &folder);
    // Where the walk could not go on without finding anything refused (no
    // descriptor left, a file on the way), the plain mkdir says why.
    made = refusal.empty() && (folder.get() >= 0 || QV_instMkdir(destination.c_str(), 0755, nullptr) == 0);
    return refusal;
}

const std::string &medium_warning()
{
    return kept_medium_warning();
}

void warn_of_medium(const char *descriptionPath)
{
    std::string &kept = kept_medium_warning();
    kept.clear();
    if (geteuid() != 0 || !descriptionPath || !*descriptionPath)
        return;
    const std::string path = descriptionPath;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    Walk w = walk_path(folder, WalkRule::Tree);
    if (w.controlled.empty())
        w = walk_path(folder + "/SetupFiles", WalkRule::Tree);
    if (w.controlled.empty())
        return;
    kept = "Warning: setup runs as root from a medium that another user controls: " + w.controlled +
           "; the medium's files and modules run as root";
    std::fprintf(stderr, "%s\n", kept.c_str());
}

} // namespace qv
