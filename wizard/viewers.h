/* The log viewer, the file viewer process and HTML help. */
#ifndef QV_WIZARD_VIEWERS_H
#define QV_WIZARD_VIEWERS_H

#include <X11/Intrinsic.h>

#ifdef __cplusplus
extern "C" {
#endif

extern char helpDirectory[4097];
extern Widget text, form;
extern XtIntervalId g_xTimer;

char *QV_instSetHelpDirectory(const char *dir);
void QV_instHtmlHelpCB(Widget w, const char *helpFile, const char *address);
int ViewLogfile(Widget parent);
int ViewFile(Widget shell, const char *path);
void QV_instCheckLogfile(XtPointer clientData, XtIntervalId *id);
void KillViewer(void);
void menuCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instFindHtmlBrowser(Widget parent);
void QV_instFindBrowserOkCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instFindBrowserCancelCB(Widget w, XtPointer clientData, XtPointer callData);
void ViewLogfileDoneCB(Widget w, XtPointer clientData, XtPointer callData);
void ViewLogfileHelpCB(Widget w, XtPointer clientData, XtPointer callData);

#ifdef __cplusplus
}
#endif

#endif
