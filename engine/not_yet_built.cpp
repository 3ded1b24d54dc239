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

[[noreturn]] static void qv_not_yet_built(const char *name)
{
    std::fprintf(stderr, "NOT-YET-BUILT: %s\n", name);
    std::exit(1);
}

extern "C" {

// ===== engine/util.h =====

// ===== engine/cdinst.h =====

// NOT-YET-BUILT: g_cHistoryVersion
const char * g_cHistoryVersion = {};

// NOT-YET-BUILT: g_iHistoryVersion
int g_iHistoryVersion = {};

// NOT-YET-BUILT: QV_instSetSizes
int QV_instSetSizes(_QV_instCDinst *cdinst) { qv_not_yet_built("QV_instSetSizes"); }

// NOT-YET-BUILT: QV_instGetPackageSize
uint64_t QV_instGetPackageSize(_QV_InstPackage *package, uint64_t blockSize, const char *source, const char *destination) { qv_not_yet_built("QV_instGetPackageSize"); }

// NOT-YET-BUILT: QV_instGetSize
int64_t QV_instGetSize(_QV_instCDinst *cdinst, _QV_InstConfigList *config, int selector, int absolute, int phase) { qv_not_yet_built("QV_instGetSize"); }

// NOT-YET-BUILT: QV_instGetReadSize
int64_t QV_instGetReadSize(_QV_instCDinst *cdinst, _QV_InstConfigList *config, int absolute) { qv_not_yet_built("QV_instGetReadSize"); }

// NOT-YET-BUILT: QV_instGetWriteSize
int64_t QV_instGetWriteSize(_QV_instCDinst *cdinst, _QV_InstConfigList *config, int absolute) { qv_not_yet_built("QV_instGetWriteSize"); }

// NOT-YET-BUILT: QV_instCountBytesToInstall
int64_t QV_instCountBytesToInstall(_QV_instCDinst *cdinst, _QV_InstConfigList *config, int selector, int absolute) { qv_not_yet_built("QV_instCountBytesToInstall"); }

// NOT-YET-BUILT: QV_instGetTrueSize
int64_t QV_instGetTrueSize(_QV_instCDinst *cdinst, _QV_InstConfigList *config, int selector, int absolute) { qv_not_yet_built("QV_instGetTrueSize"); }

// NOT-YET-BUILT: QV_instResetPackagePasses
void QV_instResetPackagePasses(_QV_InstPackNode *list) { qv_not_yet_built("QV_instResetPackagePasses"); }

// NOT-YET-BUILT: QV_instGetAvailableSpace
int64_t QV_instGetAvailableSpace(const char *path) { qv_not_yet_built("QV_instGetAvailableSpace"); }

// NOT-YET-BUILT: QV_instGetBlockSize
int64_t QV_instGetBlockSize(const char *path) { qv_not_yet_built("QV_instGetBlockSize"); }

// NOT-YET-BUILT: QV_instTranslateBytes2Gigs
double QV_instTranslateBytes2Gigs(int64_t bytes) { qv_not_yet_built("QV_instTranslateBytes2Gigs"); }

// NOT-YET-BUILT: QV_instTranslateBytes2Megs
double QV_instTranslateBytes2Megs(int64_t bytes) { qv_not_yet_built("QV_instTranslateBytes2Megs"); }

// NOT-YET-BUILT: QV_instTranslateBytes2Ks
double QV_instTranslateBytes2Ks(int64_t bytes) { qv_not_yet_built("QV_instTranslateBytes2Ks"); }

// NOT-YET-BUILT: QV_InitHistoryFile
int QV_InitHistoryFile(const char *destination, const char *productName, const char *productVersion) { qv_not_yet_built("QV_InitHistoryFile"); }

// NOT-YET-BUILT: QV_UpdateHistoryFile
int QV_UpdateHistoryFile(const char *destination, const _QV_InstSuiteList *suite) { qv_not_yet_built("QV_UpdateHistoryFile"); }

// NOT-YET-BUILT: QV_RemoveHistoryFile
int QV_RemoveHistoryFile(const char *destination) { qv_not_yet_built("QV_RemoveHistoryFile"); }

// NOT-YET-BUILT: QV_UpdateSuiteHistory
int QV_UpdateSuiteHistory(_QV_instCDinst *cdinst, _QV_InstConfigList *config, _QV_InstSuiteList *firstSuite, const char *destination, const char *productName, const char *productVersion) { qv_not_yet_built("QV_UpdateSuiteHistory"); }

// NOT-YET-BUILT: CompareProductVersions
int CompareProductVersions(const char *productName, const char *ourVersion, const char *installedLine) { qv_not_yet_built("CompareProductVersions"); }

// ===== engine/fileops.h =====

// NOT-YET-BUILT: QV_instMkdir
int QV_instMkdir(const char *path, int mode, FILE *stream) { qv_not_yet_built("QV_instMkdir"); }

// NOT-YET-BUILT: QV_instCopyFile
int QV_instCopyFile(const char *source, const char *destination, int mode, int64_t size, FILE *stream, int remove) { qv_not_yet_built("QV_instCopyFile"); }

// NOT-YET-BUILT: QV_instUncompress
int QV_instUncompress(const char *source, const char *destination, int mode, int64_t size, FILE *stream, int remove) { qv_not_yet_built("QV_instUncompress"); }

// NOT-YET-BUILT: QV_instUntar
int QV_instUntar(const _QV_InstTar *tar, const char *sourceDir, const char *destDir, long size, int compressed, FILE *stream, QV_InstMode mode) { qv_not_yet_built("QV_instUntar"); }

// NOT-YET-BUILT: QV_instHardlink
int QV_instHardlink(const char *dir, const char *target, const char *link, int64_t size, FILE *stream, int remove) { qv_not_yet_built("QV_instHardlink"); }

// NOT-YET-BUILT: QV_instSoftlink
int QV_instSoftlink(const char *dir, const char *target, const char *link, int64_t size, FILE *stream, int remove) { qv_not_yet_built("QV_instSoftlink"); }

// NOT-YET-BUILT: QVinstDeleteFile
int QVinstDeleteFile(const char *path, FILE *stream, long size) { qv_not_yet_built("QVinstDeleteFile"); }

// NOT-YET-BUILT: QV_instAbortRetryMessageBox
int QV_instAbortRetryMessageBox(FILE *stream, const char *title, const char *source, char **newDir) { qv_not_yet_built("QV_instAbortRetryMessageBox"); }

// NOT-YET-BUILT: QV_instQueryForSource
int QV_instQueryForSource(FILE *stream, const char *title, const char *source) { qv_not_yet_built("QV_instQueryForSource"); }

// NOT-YET-BUILT: IsSetupExe
int IsSetupExe(const char *path) { qv_not_yet_built("IsSetupExe"); }

// NOT-YET-BUILT: QVinstGetFileSize
int QVinstGetFileSize(const char *path) { qv_not_yet_built("QVinstGetFileSize"); }

// NOT-YET-BUILT: QV_instGetQVLocation
char * QV_instGetQVLocation(void) { qv_not_yet_built("QV_instGetQVLocation"); }

// ===== engine/install.h =====

// NOT-YET-BUILT: QV_instRedirect
char * QV_instRedirect = {};

// NOT-YET-BUILT: QV_instMoveFiles
int QV_instMoveFiles(Widget w, _QV_InstConfigList *config) { qv_not_yet_built("QV_instMoveFiles"); }

// NOT-YET-BUILT: UpdateProgressBar
void UpdateProgressBar(XtPointer clientData, int *source, XtInputId *id) { qv_not_yet_built("UpdateProgressBar"); }

// NOT-YET-BUILT: QV_instCreateProgressBar
void QV_instCreateProgressBar(Widget parent, int readFd, int childPid) { qv_not_yet_built("QV_instCreateProgressBar"); }

// NOT-YET-BUILT: QV_instRegData
int QV_instRegData(const char *destination, const char *rootKey, const char *keyName, const char *keyValue, const char *value, FILE *stream) { qv_not_yet_built("QV_instRegData"); }

// NOT-YET-BUILT: QV_instSelfReg
int QV_instSelfReg(const char *commonDir, const char *destination, const char *module, FILE *stream, QV_CustomPass pass) { qv_not_yet_built("QV_instSelfReg"); }

// NOT-YET-BUILT: QV_instAddSinclude
int QV_instAddSinclude(char *home, char *location) { qv_not_yet_built("QV_instAddSinclude"); }

// NOT-YET-BUILT: install_shortcut
int install_shortcut(char *menuPath, char *label, char *command, char *dir) { qv_not_yet_built("install_shortcut"); }

} // extern "C"
