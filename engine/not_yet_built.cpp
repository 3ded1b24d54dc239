// Loud placeholders for the public functions and globals that are not built
// yet: each prints the missing name on stderr and ends the program with 1.
// Building a function means deleting its placeholder here.
#include "engine/util.h"
#include "engine/cdinst.h"
#include "engine/fileops.h"
#include "engine/install.h"
#include <cstdio>
#include <cstdlib>

#pragma GCC diagnostic ignored "-Wunused-parameter"

[[noreturn, maybe_unused]] static void qv_not_yet_built(const char *name)
{
    std::fprintf(stderr, "NOT-YET-BUILT: %s\n", name);
    std::exit(1);
}

extern "C" {

// ===== engine/util.h =====

// ===== engine/cdinst.h =====

// ===== engine/fileops.h =====

// ===== engine/install.h =====


} // extern "C"
