/* The install driver and its child-to-parent line protocol, the package
 * passes, the registry and self-registration commands, the user menu files
 * and the command line.
 *
 * Protocol lines (child to parent, one newline-terminated line each, at most
 * 4095 bytes): '+' and a count report progress, '-' an error ("-1 <text>"),
 * '#' a phase marker or "#Log:<text>" for the log, '0 ' and "Warning:" a
 * warning. */
#ifndef QV_ENGINE_INSTALL_H
#define QV_ENGINE_INSTALL_H

#include <stdint.h>
#include <stdio.h>
#include <X11/Intrinsic.h>
#include "engine/cdinst.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Longest protocol line, newline included. */
#define QV_PROTOCOL_LINE_MAX 4095

/* --- install driver ------------------------------------------------------------ */
int QV_instMoveFiles(Widget w, _QV_InstConfigList *config);
int QV_instPreInstallCheck(_QV_instCDinst *cdinst, _QV_InstConfigList *config);
int QV_instCommandLineInstall(_QV_instCDinst *cdinst, _QV_InstConfigList *config, int removeAll);
void UpdateProgressBar(XtPointer clientData, int *source, XtInputId *id);
void QV_instChildHandler(int sig);
uint64_t GetProgressBarTotalSize(void);
void SetProgressBarTotalSize(uint64_t total);
void QV_instCreateProgressBar(Widget parent, int readFd, int childPid);
void QV_instChangeResgitryPermission(char *installDir);
int QV_instInterfaceInstall(const _QV_instCDinst *cdinst, const char *unused);

/* --- package passes ------------------------------------------------------------ */
int QV_instInstallConfig(_QV_instCDinst *cdinst, _QV_InstConfigList *config, const char *destination, FILE *stream,
                         int pass, int removal);
int QV_instInstallPackList(_QV_InstPackNode *list, const char *source, const char *destination, FILE *stream,
                           int pass, int removal, const char *suiteName);
int QV_instRemoveTarMembers(const _QV_InstTar *tar, const char *dir, FILE *stream);

/* --- registry and self-registration ------------------------------------------------ */
extern char *QV_instRedirect;

int QV_instRegData(const char *destination, const char *rootKey, const char *keyName, const char *keyValue,
                   const char *value, FILE *stream);
int QV_instSelfReg(const char *commonDir, const char *destination, const char *module, FILE *stream,
                   QV_CustomPass pass);

/* --- user menu files ------------------------------------------------------------- */
int QV_instAddSinclude(char *home, char *location);
int install_shortcut(char *menuPath, char *label, char *command, char *dir);

/* --- command line -------------------------------------------------------------- */
extern const char *QV_instVersionStamp;

void QV_instProcessArgs(int argc, char **argv, char **cdinstPath, char **rootDest);
void QV_instProcessUpdate(char *line, uint64_t total);
void QV_instShowParseProgress(void);

#ifdef __cplusplus
}
#endif

#endif
