/* The custom options dialog: a scrolled list of optional components. */
#ifndef QV_WIZARD_CUSTOM_H
#define QV_WIZARD_CUSTOM_H

#include <X11/Intrinsic.h>
#include "engine/cdinst.h"

#ifdef __cplusplus
extern "C" {
#endif

extern Widget mbCustom, foCustom, foCustomComponentCount, laCustomAvailableValue1, laCustomRequiredValue1,
    laCustomAvailableValue, laCustomRequiredValue, laCustomFolderPath, pbCustomChangeOption, laCustomDescriptionItem,
    swCustomOptions, rcCustomOptions;

Widget CreatembCustom(Widget parent);
void QV_instUISetCustomDlg(_QV_InstConfigList *config);
void QV_instCustomMapCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instCustomOKCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instCustomCancelCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instCustomReturnToParent(Widget w);
void QV_instCustomItemFocusCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instCustomPBChangeOptionsCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instCustomTBChangeCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instCustomSelectAllCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instCustomUpdate(_QV_InstConfigList *node, _QV_InstConfigList *changed);
void QV_instCustomAddRemoveUpdate(_QV_InstConfigList *config);
void QV_instCustomUpdateSpaceFields(void);
void QV_instCustomUpdateReset(void);
void QV_instCustomContinueCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instCustomOptionsChangeCB(Widget w, XtPointer clientData, XtPointer callData);

#ifdef __cplusplus
}
#endif

#endif
