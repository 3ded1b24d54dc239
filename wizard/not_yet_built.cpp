// Loud placeholders for the public functions and globals that are not built
// yet: each prints the missing name on stderr and ends the program with 1.
// Building a function means deleting its placeholder here.
#include "wizard/shell.h"
#include "wizard/bx.h"
#include "wizard/glue.h"
#include "wizard/welcome.h"
#include "wizard/destination.h"
#include "wizard/browse.h"
#include "wizard/maindlg.h"
#include "wizard/custom.h"
#include "wizard/maintenance.h"
#include "wizard/progress.h"
#include "wizard/viewers.h"
#include "wizard/nameorg.h"
#include "wizard/migration.h"
#include "wizard/userupdate.h"
#include <cstdio>
#include <cstdlib>

#pragma GCC diagnostic ignored "-Wunused-parameter"

[[noreturn, maybe_unused]] static void qv_not_yet_built(const char *name)
{
    std::fprintf(stderr, "NOT-YET-BUILT: %s\n", name);
    std::exit(1);
}

extern "C" {

// ===== wizard/glue.h =====

// ===== wizard/welcome.h =====

// ===== wizard/destination.h =====

// ===== wizard/browse.h =====

// ===== wizard/maindlg.h =====

// ===== wizard/custom.h =====

// ===== wizard/maintenance.h =====

// ===== wizard/progress.h =====

// ===== wizard/viewers.h =====

// ===== wizard/nameorg.h =====

// ===== wizard/migration.h =====

// ===== wizard/userupdate.h =====


} // extern "C"
