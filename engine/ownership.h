// Whether root may use an installation tree: as root, setup neither reads
// from nor writes into folders that another user controls, where that user
// could plant or swap what root then reads, writes or runs. What is checked
// is reached through descriptors, one component at a time, and what root
// then opens is opened through the descriptor that was checked.
#pragma once

#include <sys/stat.h>

#include <string>

#include "engine/internal.h"

namespace qv {

// What a walk along a path asks of what it passes.
enum class WalkRule {
    // Root's own tree: every folder root's and writable by no one else
    // (a sticky folder on the way may be writable by everyone), and what
    // the path names too.
    Tree,
    // Only the links: one is followed only when root owns it.
    Links,
};

// Where a walk ended.
struct Walk {
    Fd fd;               // what the path names (O_PATH), when it was reached
    std::string refusal; // why root must not use it; "" when nothing was refused
    std::string controlled; // what was refused and who controls it, "<path>, a folder owned by ..."
    std::string at;      // the path walked so far, without links, for messages
    bool missing = false; // a component does not exist (errno ENOENT)
};

// Walks path (relative paths from the working folder) from "/" one
// component at a time, following a link only when root owns it, at most as
// many links as the system follows. The rule says what else refuses the
// walk. A ".." after a component that does not exist is refused: whoever
// may make that component decides where ".." leads. Without fd, refusal
// and missing, errno says why the path could not be followed. What the path
// names is itself on the way to something when endOnTheWay (a folder of
// files root makes): it may then be sticky and writable by everyone.
Walk walk_path(const std::string &path, WalkRule rule, bool endOnTheWay = false);

// As root: why st, found at path, must not be used by root (owned by
// another user, or writable by group or others; a link's mode means
// nothing); "" when it may, and always "" for anyone else.
std::string refusal_of(const std::string &path, const struct stat &st);

// As root: why the tree of root destination root must not be used (its
// product folder root/productDir with its SetupFiles folder and history,
// its common folder root/Quorvanta and every folder on the way to them),
// "" when it may. Always "" when setup does not run as root. Without a
// product folder only root is looked at.
std::string tree_refusal(const char *root, const char *productDir);

// The same for one folder (or file) and the folders on the way to it.
std::string folder_refusal(const std::string &folder);

// A folder root makes and then writes into: the product folder, SetupFiles,
// the common folder, the log's folder. As root it is made (mode 0755, with
// the folders on the way that are missing, a relative name from the working
// folder) when missing, then walked and checked; the refusal is returned,
// and `into` (when given) is left open on the folder that was checked. For
// anyone else the folder is made and opened as any program would. "" with
// no descriptor and errno set when it can be neither made nor opened.
std::string make_checked_folder(const std::string &folder, Fd *into = nullptr);

// Makes destination, the product folder of the tree of root, before an
// installation: as root once tree_refusal has passed and through
// make_checked_folder, else as any program would. Returns the refusal;
// made tells whether the folder is there (errno set when it is not).
std::string make_destination(const char *root, const char *productDir, const std::string &destination, bool &made);

// As root: says on standard error when the medium of the description at
// descriptionPath lies in a folder that another user controls (the
// description's folder, its SetupFiles folder or a folder on the way to
// them): that user can change what root reads and runs from it. Setup goes
// on, as that choice is root's; the line is kept for the run's log.
void warn_of_medium(const char *descriptionPath);

// The line warn_of_medium gave for the description read last; "" when none.
const std::string &medium_warning();

} // namespace qv
