// The default user root: the folder under which the users' preferences
// live, as the migration dialog shows it.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/internal.h"
#include "wizard/migration.h"

namespace {

// None until it is set or first asked for.
qv::CStr defaultRoot;

bool differs_from_home(const char *root)
{
    const char *home = std::getenv("HOME");
    return !home || std::strcmp(root, home) != 0;
}

// root "/" tail in buffer; null when that does not fit.
const char *join(char (&buffer)[4097], const char *root, const char *tail)
{
    int n = std::snprintf(buffer, sizeof buffer, "%s/%s", root, tail);
    return n >= 0 && static_cast<size_t>(n) < sizeof buffer ? buffer : nullptr;
}

} // namespace

extern "C" {

// Makes folder the root of the users' preferences (null forgets it).
void SetDefaultUserHome(const char *folder)
{
    if (folder == defaultRoot.get())
        return;
    // Copied before the old value goes: folder may point into it.
    defaultRoot.reset(folder ? strdup(folder) : nullptr);
}

// The folder of the user's preferences: the home folder, or a root chosen
// in the dialog followed by the user's login name. Null when neither a root
// nor HOME is known.
const char *GetDefaultUserHome(void)
{
    static char buffer[4097];
    if (defaultRoot && differs_from_home(defaultRoot.get())) {
        // Without USER the root alone is the nearest answer.
        const char *user = std::getenv("USER");
        return user ? join(buffer, defaultRoot.get(), user) : defaultRoot.get();
    }
    if (!defaultRoot) {
        const char *home = std::getenv("HOME");
        if (!home)
            return nullptr;
        defaultRoot.reset(strdup(home));
    }
    return defaultRoot.get();
}

// The same folder written for a script that runs as each user: "$HOME", or
// the chosen root followed by "/$USER".
const char *GetDefaultUserHomeWithEnvVar(void)
{
    static char buffer[4097];
    if (defaultRoot && differs_from_home(defaultRoot.get()))
        return join(buffer, defaultRoot.get(), "$USER");
    const char *home = std::getenv("HOME");
    defaultRoot.reset(home ? strdup(home) : nullptr);
    return "$HOME";
}

} // extern "C"
