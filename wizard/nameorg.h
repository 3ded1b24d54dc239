/* The name/organisation and reseller dialogs, with their confirmation
 * boxes. */
#ifndef QV_WIZARD_NAMEORG_H
#define QV_WIZARD_NAMEORG_H

#include <X11/Intrinsic.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The entry fields and the confirmation boxes' value labels. */
extern Widget txNameOrgName;
extern Widget txNameOrgOrg;
extern Widget laNameOrgConfirmName;
extern Widget laNameOrgConfirmOrg;
extern Widget txResellerName;
extern Widget txResellerPhone;
extern Widget txResellerEmail;
extern Widget laResellerConfirmName;
extern Widget laResellerConfirmPhone;
extern Widget laResellerConfirmEmail;

Widget CreatembNameOrg(Widget parent);
Widget CreatembNameOrgConfirm(Widget parent);
Widget CreatembReseller(Widget parent);
Widget CreatembResellerConfirm(Widget parent);

void QV_instNameOrgMapCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instNameOrgOKCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instNameOrgExitCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instNameOrgConfirmMapCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instNameOrgConfirmOKCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instNameOrgConfirmChangeCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instResellerMapCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instResellerOKCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instResellerExitCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instResellerConfirmMapCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instResellerConfirmOKCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instResellerConfirmChangeCB(Widget w, XtPointer clientData, XtPointer callData);

#ifdef __cplusplus
}
#endif

#endif
