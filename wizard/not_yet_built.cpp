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

[[noreturn]] static void qv_not_yet_built(const char *name)
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

// NOT-YET-BUILT: mbProgress
Widget mbProgress = {};

// NOT-YET-BUILT: daProgress
Widget daProgress = {};

// NOT-YET-BUILT: laProgressDestination
Widget laProgressDestination = {};

// NOT-YET-BUILT: laProgressAction
Widget laProgressAction = {};

// NOT-YET-BUILT: CreatembProgress
Widget CreatembProgress(Widget parent) { qv_not_yet_built("CreatembProgress"); }

// NOT-YET-BUILT: QV_instProgressUpdate
void QV_instProgressUpdate(int percentage, const char *file) { qv_not_yet_built("QV_instProgressUpdate"); }

// NOT-YET-BUILT: QV_instProgressUpdateLabel
void QV_instProgressUpdateLabel(const char *text) { qv_not_yet_built("QV_instProgressUpdateLabel"); }

// NOT-YET-BUILT: QV_instProgressMapCB
void QV_instProgressMapCB(Widget w, XtPointer clientData, XtPointer callData) { qv_not_yet_built("QV_instProgressMapCB"); }

// NOT-YET-BUILT: QV_instProgressExposeCB
void QV_instProgressExposeCB(Widget w, XtPointer clientData, XtPointer callData) { qv_not_yet_built("QV_instProgressExposeCB"); }

// NOT-YET-BUILT: QV_instProgressCancelCB
void QV_instProgressCancelCB(Widget w, XtPointer clientData, XtPointer callData) { qv_not_yet_built("QV_instProgressCancelCB"); }

// NOT-YET-BUILT: QV_instPopupAfterMoveDataDialogs
void QV_instPopupAfterMoveDataDialogs(Widget w) { qv_not_yet_built("QV_instPopupAfterMoveDataDialogs"); }

// NOT-YET-BUILT: QV_instPopupViewlog
void QV_instPopupViewlog(Widget parent) { qv_not_yet_built("QV_instPopupViewlog"); }

// NOT-YET-BUILT: CreatembViewlog
Widget CreatembViewlog(Widget parent) { qv_not_yet_built("CreatembViewlog"); }

// NOT-YET-BUILT: QV_instViewlogMapCB
void QV_instViewlogMapCB(Widget w, XtPointer clientData, XtPointer callData) { qv_not_yet_built("QV_instViewlogMapCB"); }

// NOT-YET-BUILT: QV_instViewlogDoneCB
void QV_instViewlogDoneCB(Widget w, XtPointer clientData, XtPointer callData) { qv_not_yet_built("QV_instViewlogDoneCB"); }

// NOT-YET-BUILT: QV_instViewlogCB
void QV_instViewlogCB(Widget w, XtPointer clientData, XtPointer callData) { qv_not_yet_built("QV_instViewlogCB"); }

// ===== wizard/viewers.h =====

// NOT-YET-BUILT: helpDirectory
char helpDirectory[4097];

// NOT-YET-BUILT: text
Widget text = {};

// NOT-YET-BUILT: form
Widget form = {};

// NOT-YET-BUILT: g_xTimer
XtIntervalId g_xTimer = {};

// NOT-YET-BUILT: QV_instSetHelpDirectory
char * QV_instSetHelpDirectory(const char *dir) { qv_not_yet_built("QV_instSetHelpDirectory"); }

// NOT-YET-BUILT: QV_instHtmlHelpCB
void QV_instHtmlHelpCB(Widget w, const char *helpFile, const char *address) { qv_not_yet_built("QV_instHtmlHelpCB"); }

// NOT-YET-BUILT: ViewLogfile
int ViewLogfile(Widget parent) { qv_not_yet_built("ViewLogfile"); }

// NOT-YET-BUILT: ViewFile
int ViewFile(Widget shell, const char *path) { qv_not_yet_built("ViewFile"); }

// NOT-YET-BUILT: QV_instCheckLogfile
void QV_instCheckLogfile(XtPointer clientData, XtIntervalId *id) { qv_not_yet_built("QV_instCheckLogfile"); }

// NOT-YET-BUILT: KillViewer
void KillViewer(void) { qv_not_yet_built("KillViewer"); }

// NOT-YET-BUILT: menuCB
void menuCB(Widget w, XtPointer clientData, XtPointer callData) { qv_not_yet_built("menuCB"); }

// NOT-YET-BUILT: QV_instFindHtmlBrowser
void QV_instFindHtmlBrowser(Widget parent) { qv_not_yet_built("QV_instFindHtmlBrowser"); }

// NOT-YET-BUILT: QV_instFindBrowserOkCB
void QV_instFindBrowserOkCB(Widget w, XtPointer clientData, XtPointer callData) { qv_not_yet_built("QV_instFindBrowserOkCB"); }

// NOT-YET-BUILT: QV_instFindBrowserCancelCB
void QV_instFindBrowserCancelCB(Widget w, XtPointer clientData, XtPointer callData) { qv_not_yet_built("QV_instFindBrowserCancelCB"); }

// NOT-YET-BUILT: ViewLogfileDoneCB
void ViewLogfileDoneCB(Widget w, XtPointer clientData, XtPointer callData) { qv_not_yet_built("ViewLogfileDoneCB"); }

// NOT-YET-BUILT: ViewLogfileHelpCB
void ViewLogfileHelpCB(Widget w, XtPointer clientData, XtPointer callData) { qv_not_yet_built("ViewLogfileHelpCB"); }

// ===== wizard/nameorg.h =====

// NOT-YET-BUILT: CreatembNameOrg
Widget CreatembNameOrg(Widget parent) { qv_not_yet_built("CreatembNameOrg"); }

// ===== wizard/migration.h =====

// NOT-YET-BUILT: DoMigrate
int DoMigrate(Widget w) { qv_not_yet_built("DoMigrate"); }

// ===== wizard/userupdate.h =====


} // extern "C"
