/* The browse-for-source folder chooser the install child opens when a
 * source file cannot be found. */
#ifndef QV_WIZARD_BROWSE_H
#define QV_WIZARD_BROWSE_H

#include <X11/Intrinsic.h>

#ifdef __cplusplus
extern "C" {
#endif

void QV_instBrowseForSource(const char *fileName, char **newDir, const char *startDir);
void QV_BrowseSourceOkCB(Widget w, XtPointer clientData, XtPointer callData);
void QV_BrowseSourceExitCB(Widget w, XtPointer clientData, XtPointer callData);

#ifdef __cplusplus
}
#endif

#endif
