/* Welcome, agreement and exit confirmation dialogs. */
#ifndef QV_WIZARD_WELCOME_H
#define QV_WIZARD_WELCOME_H

#include <X11/Intrinsic.h>

#ifdef __cplusplus
extern "C" {
#endif

extern Widget laWelcomeTop, laWelcomeMiddle, txEULA;

Widget CreatembWelcome(Widget parent);
void QV_instWelcomeCreateLabelCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instWelcomeMapCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instWelcomeContinueCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instWelcomeExitCB(Widget w, XtPointer clientData, XtPointer callData);

Widget CreatembEULA(Widget parent);
void QV_instEULAMapCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instEULAAcceptCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instEULADeclineCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instEULADestroyCB(Widget w, XtPointer clientData, XtPointer callData);

int QV_exitSetupConfirmation(Widget parent, const char *extraText, const char *productText);
Widget CreatembExitSetup(Widget parent);
Widget CreatembExitSetupFinish(Widget parent);
Widget CreatembExitSetupComplete(Widget parent);
void ExitSetupResumeCB(Widget w, XtPointer clientData, XtPointer callData);
void ExitSetupExitCB(Widget w, XtPointer clientData, XtPointer callData);
void ExitSetupFinishCB(Widget w, XtPointer clientData, XtPointer callData);
void ExitSetupCompleteCB(Widget w, XtPointer clientData, XtPointer callData);
Widget CreatefoExit(Widget parent);
void QV_instExitExitCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instExitResumeCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instExitCB(Widget w, XtPointer clientData, XtPointer callData);

#ifdef __cplusplus
}
#endif

#endif
