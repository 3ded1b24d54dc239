/* The main top-level shell, the modal local event loop, shell lookups and
 * the message boxes. Every box also works without a display: it then prints
 * its text and answers as if its first button had been pressed. */
#ifndef QV_WIZARD_SHELL_H
#define QV_WIZARD_SHELL_H

#include <X11/Intrinsic.h>

#ifdef __cplusplus
extern "C" {
#endif

Widget QV_instGetMainTopLevelShell(void);
Widget QV_instCreateMainTopLevelShell(Widget parent);
void QV_instMainLoop(Widget w, int *flag);
Widget QV_instGetShell(Widget w);
Widget QV_instGetTLShell(Widget w);
Widget QV_instGetTopManager(Widget w);
void QV_makeAllWidgetSameMaxWidth(Widget first, ...); /* widgets, then a NULL pointer */
void QV_instPopup(Widget w, const char *title, const char *iconName);
void QV_instCreateAndPopup(Widget (*create)(Widget parent));
void QV_instPopdown(Widget w);
void QV_instUpdateLabelString(Widget w, const char *text);
void QV_instDisplayMessageBox(Widget parent, const char *text);
void QV_instRemoveMessageBox(void);
int QV_instOkCancelMessageBox(Widget parent, const char *text, const char *ok, const char *cancel, const char *help);
int QV_instDisplayMessage(Widget parent, const char *ok, const char *cancel, const char *help, const char *format, ...);
int QV_instOutputCmdInTextWidget(Widget text, const char *command);
void QV_instOkCancelAnswerCB(Widget w, XtPointer clientData, XtPointer callData);

#ifdef __cplusplus
}
#endif

#endif
