/* The name/organisation and reseller dialogs. */
#ifndef QV_WIZARD_NAMEORG_H
#define QV_WIZARD_NAMEORG_H

#include <X11/Intrinsic.h>

#ifdef __cplusplus
extern "C" {
#endif

Widget CreatembNameOrg(Widget parent);

#ifdef __cplusplus
}
#endif

#endif
