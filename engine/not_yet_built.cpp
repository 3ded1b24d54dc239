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
