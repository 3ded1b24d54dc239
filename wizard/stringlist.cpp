// The folder scan behind the migration dialog's list: a small list of
// strings, the sub-folders of a folder, those that hold preferences, and
// the file tests they use.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "wizard/migration.h"
#include "wizard/migration_state.h"

namespace {

// What marks a folder as holding a version's preferences.
constexpr const char kPreferencesFile[] = "Data/Preferences/cpm.cpm";

_QV_InstStringList *new_node()
{
    return static_cast<_QV_InstStringList *>(std::calloc(1, sizeof(_QV_InstStringList)));
}

// Fills the terminator with a copy of s and puts a fresh terminator after
// it; the list is left as it was when memory runs out.
void append(_QV_InstStringList *list, const char *s)
{
    if (!list)
        return;
    while (list->string)
        list = list->next;
    _QV_InstStringList *end = new_node();
    char *copy = strdup(s);
    if (!end || !copy) {
        std::free(end);
        std::free(copy);
        return;
    }
    list->string = copy;
    list->next = end;
}

// A name with a control character in it: a line break would show it in the
// dialog's list as two lines, of which the one-line path field keeps other
// text than the folder's own name. Bytes only, whatever the locale.
bool has_control_character(const char *name)
{
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p; ++p) {
        if (*p < 0x20 || *p == 0x7f)
            return true;
    }
    return false;
}

} // namespace

namespace qv {

void release_string_list(_QV_InstStringList *list)
{
    while (list) {
        _QV_InstStringList *next = list->next;
        std::free(list->string);
        std::free(list);
        list = next;
    }
}

} // namespace qv

extern "C" {

// A new, empty list.
_QV_InstStringList *CreateStringList(void)
{
    return new_node();
}

// The first node never moves, so whoever holds the list keeps holding it:
// its contents move to a new second node.
void InsertStringList(_QV_InstStringList *list, const char *s)
{
    if (!list || !s)
        return;
    _QV_InstStringList *second = new_node();
    char *copy = strdup(s);
    if (!second || !copy) {
        std::free(second);
        std::free(copy);
        return;
    }
    *second = *list;
    list->string = copy;
    list->next = second;
}

// Releases nothing: a setup module written to this interface may go on
// reading a list after handing it here, so every list stays allocated.
// Setup's own code, which knows when it is done with a list, releases it
// with qv::release_string_list.
void FreeStringList(_QV_InstStringList *) {}

// The sub-folders of folder, as folder "/" name, in reverse alphabetical
// order; those whose names hold control characters are left out. An
// unreadable folder has none.
_QV_InstStringList *FindAllDirs(const char *folder)
{
    _QV_InstStringList *list = CreateStringList();
    struct dirent **entries = nullptr;
    int n = folder ? scandir(folder, &entries, nullptr, alphasort) : -1;
    for (int i = n - 1; i >= 0; --i) {
        const char *name = entries[i]->d_name;
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 && !has_control_character(name)) {
            const std::string path = std::string(folder) + "/" + name;
            if (IsDirExist(path.c_str()))
                append(list, path.c_str());
        }
        std::free(entries[i]);
    }
    std::free(entries);
    return list;
}

// Those of the folders that hold preferences, in the same order.
_QV_InstStringList *FindPreferencesDirs(_QV_InstStringList *list)
{
    _QV_InstStringList *found = CreateStringList();
    for (; list && list->string; list = list->next) {
        const std::string marker = std::string(list->string) + "/" + kPreferencesFile;
        if (IsFileExist(marker.c_str()))
            append(found, list->string);
    }
    return found;
}

// A copy of HOME (the caller frees it), or none when it is unset.
char *GetHomeDirectory(void)
{
    const char *home = std::getenv("HOME");
    return home ? strdup(home) : nullptr;
}

// 1 with the file mode of path (links followed) stored in *mode, 0 when
// path cannot be examined or mode is null.
int GetNodeMode(const char *path, unsigned int *mode)
{
    struct stat st;
    if (!mode || !path || stat(path, &st) != 0)
        return 0;
    *mode = st.st_mode;
    return 1;
}

// 1 when path is, or leads to, a regular file.
int IsFileExist(const char *path)
{
    unsigned int mode = 0;
    return GetNodeMode(path, &mode) && S_ISREG(mode) ? 1 : 0;
}

// 1 when path is, or leads to, a folder.
int IsDirExist(const char *path)
{
    unsigned int mode = 0;
    return GetNodeMode(path, &mode) && S_ISDIR(mode) ? 1 : 0;
}

} // extern "C"
