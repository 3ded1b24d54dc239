/* The destination dialog and the destination folder chooser. */
#ifndef QV_WIZARD_DESTINATION_H
#define QV_WIZARD_DESTINATION_H

#include <X11/Intrinsic.h>

#ifdef __cplusplus
extern "C" {
#endif

extern Widget tfChangeDestination, laChangeDestinationAvailableSpace;

Widget CreatembChangeDestination(Widget parent);
void QV_instChangeDestinationMapCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instChangeDestinationOKCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instChangeDestinationExitCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instChangeDestinationActivateCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instChangeDestination(Widget parent);
void QV_instChangeDestinationBrowseCancelCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_instChangeDestinationBrowseOkCB(Widget w, XtPointer clientData, XtPointer callData);

#ifdef __cplusplus
}
#endif

#endif
