/* The maintenance dialog: Add/Remove and Remove all on an installed product. */
#ifndef QV_WIZARD_MAINTENANCE_H
#define QV_WIZARD_MAINTENANCE_H

#include <X11/Intrinsic.h>
#include "engine/cdinst.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Non-NULL once the maintenance dialog has been created: marks the run as a
 * maintenance run for the rest of the process. */
extern Widget mbMaintenance;
extern Widget laMaintenanceWelcome, rcMaintenanceAddRemove, pbMaintenanceAddRemove, pbMaintenanceRemoveall;

Widget CreatembMaintenance(Widget parent);
void QV_instMaintenanceWelcomeCreateCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instMaintenanceMapCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instMaintenaceExitCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instMaintenanceAddRemoveCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instMaintenanceRemoveallCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instMaintenanceReinstallCB(Widget w, XtPointer clientData, XtPointer callData);
void SetSelectedFlags(_QV_InstConfigList *config, int value);
void SetInstalledFlags(_QV_InstConfigList *config, int value);

#ifdef __cplusplus
}
#endif

#endif
