// The preferences migration that the migration dialog arranges and the end
// of setup carries out (private to the wizard).
#pragma once

#include "engine/internal.h"

namespace qv {

struct MigrationRequest {
    int requested = 0; // "Ok" with "Migrate" set; never cleared
    CStr source;       // the preferences folder to migrate from, or none
};

MigrationRequest &migration_request();

} // namespace qv
