/* The wizard's glue: start-up helpers, the config store, window titles,
 * size texts, the disk-space check, the Add/Remove rule and the two
 * callbacks that open nested dialogs. It also gathers the headers of every
 * dialog, so a dialog file includes this one header to reach the others. */
#ifndef QV_WIZARD_GLUE_H
#define QV_WIZARD_GLUE_H

#include <stdint.h>
#include <X11/Intrinsic.h>
#include "engine/cdinst.h"
#include "wizard/shell.h"
#include "wizard/bx.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Size texts are written into caller buffers of at least this many bytes. */
#define QV_SIZE_STRING_MAX 80

/* 1 in maintenance mode (set by the destination chooser and Add/Remove). */
extern int QV_instInstallationMode;

char **QV_instNewArgv(int *argc, char **argv);
void QV_instFreeArgv(int argc, char **argv);
void QV_instSetLastDlg(_QV_InstConfigList *config);
_QV_InstConfigList *QV_instRestoreLastDlg(void);
_QV_InstConfigList *QV_InstGetLastConfig(void);
void QV_instSetWindowTitle(Widget w);
void QV_instFormatSizeString(int64_t bytes, char *buffer);
void QV_instGetFreeSpaceString(const char *path, char *buffer);
void QV_instGetRequiredSpaceString(_QV_InstPackNode *list, _QV_InstConfigList *config, char *buffer);
int QV_instEnoughSpace(_QV_InstConfigList *config, const char *destination);
void QV_DisableAddButtonIfNecessary(void);
void QV_instConfigureCustomDlgCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instConfigureMainDlgCB(Widget w, XtPointer clientData, XtPointer callData);

#ifdef __cplusplus
}
#endif

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

#endif
