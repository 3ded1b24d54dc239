/* The main installation choice dialog and icon modules. */
#ifndef QV_WIZARD_MAINDLG_H
#define QV_WIZARD_MAINDLG_H

#include <X11/Intrinsic.h>
#include "engine/cdinst.h"

#ifdef __cplusplus
extern "C" {
#endif

extern Widget mbMainDlg, laMainDlg, pbMainDlg1, laMainDlg1Product, laMainDlg1Description, laMainDlgAvailableSpace,
    txMainDlgFolder;

Widget CreatembMainDlg(Widget parent);
void QV_instUISetMainDlg(Widget box, _QV_InstConfigList *config);
void QV_instSetPixmapOnWidget(Widget button, _QV_InstIcon *icon);
void QV_instMainDlgMapCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instMainDlgExitCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instMainDlgInstallationCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instMainDlgChangeFolderCB(Widget w, XtPointer clientData, XtPointer callData);

#ifdef __cplusplus
}
#endif

#endif
