/* The progress dialog and the end-of-setup dialogs. */
#ifndef QV_WIZARD_PROGRESS_H
#define QV_WIZARD_PROGRESS_H

#include <X11/Intrinsic.h>

#ifdef __cplusplus
extern "C" {
#endif

extern Widget mbProgress, daProgress, laProgressDestination, laProgressAction;

Widget CreatembProgress(Widget parent);
void QV_instProgressUpdate(int percentage, const char *file);
void QV_instProgressUpdateLabel(const char *text);
void QV_instProgressMapCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instProgressExposeCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instProgressCancelCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instPopupAfterMoveDataDialogs(Widget w);
void QV_instPopupViewlog(Widget parent);
Widget CreatembViewlog(Widget parent);
void QV_instViewlogMapCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instViewlogDoneCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instViewlogCB(Widget w, XtPointer clientData, XtPointer callData);

#ifdef __cplusplus
}
#endif

#endif
