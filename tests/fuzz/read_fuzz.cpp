// Any bytes as a setup description: the reader must neither crash, leak
// nor hang, whatever the file holds.
//
// The input is written to cdinst.dat in a private directory that has no
// SetupFiles directory, so a Function line can never make the reader load a
// shared object from anywhere (module paths always go through SetupFiles).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/cdinst.h"

namespace {

std::string g_dir;
std::string g_path;

void remove_scratch()
{
    unlink(g_path.c_str());
    rmdir(g_dir.c_str());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const char *tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/qv-read-fuzz-XXXXXX";
    if (!mkdtemp(tmpl.data())) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    g_dir = tmpl;
    g_path = g_dir + "/cdinst.dat";
    std::atexit(remove_scratch);
    // Exercise the diagnostics as well.
    QV_instDebug = 1;
    setenv("QVINST_DEBUG", "1", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *file = std::fopen(g_path.c_str(), "wb");
    if (!file)
        std::abort();
    if (size && std::fwrite(data, 1, size, file) != size)
        std::abort();
    std::fclose(file);
    QV_instFreeCDinst(QV_instReadCDinst(g_path.c_str(), nullptr));
    return 0;
}
