/* The per-user update dialog. */
#ifndef QV_WIZARD_USERUPDATE_H
#define QV_WIZARD_USERUPDATE_H

#include <X11/Intrinsic.h>

#ifdef __cplusplus
extern "C" {
#endif

void QV_instUpdateUser(Widget parent, const char *sourceDir);

#ifdef __cplusplus
}
#endif

#endif
