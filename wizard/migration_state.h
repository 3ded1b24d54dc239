// The preferences migration that the migration dialog arranges and the end
// of setup carries out (private to the wizard).
#pragma once

#include "engine/internal.h"
#include "wizard/migration.h"

namespace qv {

struct MigrationRequest {
    int requested = 0; // "Ok" with "Migrate" set; never cleared
    CStr source;       // the preferences folder to migrate from, or none
};

MigrationRequest &migration_request();

// Releases every node and string of a string list. FreeStringList, which
// setup modules call, leaves lists allocated; this is for setup's own
// lists, once it is done with them.
void release_string_list(_QV_InstStringList *list);

} // namespace qv
