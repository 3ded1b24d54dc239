// The rest of the installer's view of the loaded description: product name
// and version, the directories every operation works with, the history file
// name and the configuration chosen for installation.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/cdinst.h"
#include "engine/internal.h"
#include "engine/util.h"

namespace {

// Each directory accessor returns a pointer into a buffer of its own that
// the next call of the same accessor overwrites; callers (modules among
// them) rely on results of up to 4096 characters staying valid that long.
constexpr size_t kResultSize = QV_PATH_MAX + 1;

char commonBuf[kResultSize];
char rootArgBuf[kResultSize];
char rootBuf[kResultSize];
char destArgBuf[kResultSize];
char destBuf[kResultSize];
char sourceBuf[kResultSize]; // shared by both source accessors
char runningBuf[kResultSize];
char historyBuf[kResultSize];
char cdinstDirBuf[kResultSize] = ".";

_QV_InstConfigList *configToInstall;

// Copies a result into buf, repeated slashes collapsed. A result that does
// not fit gives NULL: a cut path would name another directory, and every
// caller already treats NULL as "no such directory".
char *storeResult(char *buf, std::string text, bool collapse = true)
{
    if (collapse) {
        QV_instRemoveExtraSlash(text.data());
        text.resize(std::strlen(text.c_str()));
    }
    if (text.size() >= kResultSize)
        return nullptr;
    std::memcpy(buf, text.c_str(), text.size() + 1);
    return buf;
}

int fillBuffer(char *buf, const char *text)
{
    if (!text)
        return -1;
    size_t len = std::strlen(text);
    if (len >= kResultSize)
        return -1;
    std::memcpy(buf, text, len + 1);
    return 0;
}

bool hasRoot(const _QV_instCDinst *cdinst) { return cdinst && cdinst->rootDest && *cdinst->rootDest; }

char *rootOf(char *buf, const _QV_instCDinst *cdinst)
{
    if (!hasRoot(cdinst))
        return nullptr;
    return storeResult(buf, std::string(cdinst->rootDest) + "/");
}

char *destinationOf(char *buf, const _QV_instCDinst *cdinst)
{
    if (!hasRoot(cdinst) || !cdinst->productDir)
        return nullptr;
    return storeResult(buf, std::string(cdinst->rootDest) + "/" + cdinst->productDir + "/");
}

// The real path of the source directory. A source directory that no longer
// exists falls back to the directory holding the program; one whose real
// path is too long to form gives NULL rather than that fallback, which
// would quietly read the files from somewhere else.
char *sourceOf(const _QV_instCDinst *cdinst)
{
    if (!cdinst)
        return nullptr;
    errno = 0;
    qv::CStr real(cdinst->sourceDir ? realpath(cdinst->sourceDir, nullptr) : nullptr);
    if (!real) {
        if (errno == ENAMETOOLONG)
            return nullptr;
        return runningBuf;
    }
    return storeResult(sourceBuf, real.get());
}

} // namespace

extern "C" {

const char *QV_instGetProductName(void) { return GetProductName(CDInstPtr); }

const char *GetProductName(const _QV_instCDinst *cdinst)
{
    return cdinst && cdinst->productName ? cdinst->productName : "";
}

const char *QV_instGetProductVersion(void) { return GetProductVersion(CDInstPtr); }

const char *GetProductVersion(const _QV_instCDinst *cdinst)
{
    return cdinst && cdinst->productVersion ? cdinst->productVersion : "";
}

char *QV_instGetRootDestinationDirectory(void) { return rootOf(rootBuf, CDInstPtr); }

char *GetRootDestinationDirectory(const _QV_instCDinst *cdinst) { return rootOf(rootArgBuf, cdinst); }

char *QV_instGetDestinationDirectory(void) { return destinationOf(destBuf, CDInstPtr); }

char *GetDestinationDirectory(const _QV_instCDinst *cdinst) { return destinationOf(destArgBuf, cdinst); }

// The directory shared by every product of the suite, beside the product
// destination; a description without ProductDirectory has none.
char *QV_instGetCommonDestinationDirectory(void)
{
    const _QV_instCDinst *cdinst = CDInstPtr;
    if (!hasRoot(cdinst) || !cdinst->productDir)
        return nullptr;
    return storeResult(commonBuf, std::string(cdinst->rootDest) + "/Quorvanta/");
}

char *QV_instGetSourceDirectory(void) { return sourceOf(CDInstPtr); }

char *GetSourceDirectory(const _QV_instCDinst *cdinst) { return sourceOf(cdinst); }

char *QV_instGetRunningDirectory(void) { return runningBuf; }

char *QV_instGetCdinstDirectory(void) { return cdinstDirBuf; }

int QV_instSetRunningDirectory(const char *dir) { return fillBuffer(runningBuf, dir); }

int QV_instSetCdinstDirectory(const char *dir) { return fillBuffer(cdinstDirBuf, dir); }

// File name of the history file in the destination's SetupFiles directory.
// Without a loaded description there is no name to give: NULL.
char *QV_instGetHistoryFile(void)
{
    const _QV_instCDinst *cdinst = CDInstPtr;
    if (!cdinst)
        return nullptr;
    const char *name = cdinst->historyFile ? cdinst->historyFile : cdinst->productName ? cdinst->productName : "";
    return storeResult(historyBuf, std::string(".") + name + ".his", false);
}

// Makes path the description's source directory for every later file
// operation (the user browsed to another medium, or the history named the
// original one). There is no sensible way on without a source, so the
// three failures end the program.
char *QV_instSetSourceDirectory(char *path)
{
    if (!CDInstPtr || !path || !*path) {
        std::fputs("Internal error (input) while setting source directory\n", stderr);
        std::exit(1);
    }
    qv::CStr real;
    const char *chosen = path;
    if (path[0] != '/') {
        real.reset(realpath(path, nullptr));
        if (!real) {
            std::fputs("Internal error (realpath) while setting source directory\n", stderr);
            std::exit(1);
        }
        chosen = real.get();
    }
    char *copy = strdup(chosen);
    if (!copy) {
        std::fputs("Internal error (memory allocation) while setting source directory\n", stderr);
        std::exit(1);
    }
    std::free(CDInstPtr->sourceDir);
    CDInstPtr->sourceDir = copy;
    return copy;
}

void SetConfigToInstall(_QV_InstConfigList *config) { configToInstall = config; }

_QV_InstConfigList *GetConfigToInstall(void) { return configToInstall; }

} // extern "C"
