/* Preferences migration. */
#ifndef QV_WIZARD_MIGRATION_H
#define QV_WIZARD_MIGRATION_H

#include <X11/Intrinsic.h>

#ifdef __cplusplus
extern "C" {
#endif

int DoMigrate(Widget w);

#ifdef __cplusplus
}
#endif

#endif
