/* Preferences migration: the dialog that offers to carry the preferences of
 * a previous version over, the migration run after the installation, the
 * default user root, and the folder scan with its string list and file
 * tests. */
#ifndef QV_WIZARD_MIGRATION_H
#define QV_WIZARD_MIGRATION_H

#include <X11/Intrinsic.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A list of strings, handed around as its first node. It always ends in a
 * terminator node whose string and next are NULL; an empty list is a lone
 * terminator. */
typedef struct _QV_InstStringList {
    char *string;
    struct _QV_InstStringList *next;
} _QV_InstStringList;

/* The dialog's widgets that its callbacks touch. */
extern Widget textFieldUserRoot;
extern Widget labelDescription2;
extern Widget toggleButtonMigrate;
extern Widget migrationList;
extern Widget textFieldPath;
extern Widget pushButtonBrowse;

int DoMigrate(Widget w);

void SetDefaultUserHome(const char *folder);
const char *GetDefaultUserHome(void);
const char *GetDefaultUserHomeWithEnvVar(void);

Widget CreatemigrationDlg(Widget parent);
void OnMigrationDlgMap(Widget w, XtPointer clientData, XtPointer callData);
void OnToggleMigrateValueChanged(Widget w, XtPointer clientData, XtPointer callData);
void OnListCreate(Widget w, XtPointer clientData, XtPointer callData);
void OnCreateTextFieldPathCreate(Widget w, XtPointer clientData, XtPointer callData);
void OnListBrowseSelect(Widget w, XtPointer clientData, XtPointer callData);
void OnTextFieldUserRootCreate(Widget w, XtPointer clientData, XtPointer callData);
void OnUserRootBrowseButton(Widget w, XtPointer clientData, XtPointer callData);
void OnBrowseButton(Widget w, XtPointer clientData, XtPointer callData);
void OnExitSetupButton(Widget w, XtPointer clientData, XtPointer callData);
void OnOkButton(Widget w, XtPointer clientData, XtPointer callData);
/* Callbacks that nothing registers; they do nothing. */
void OnToggleMigrateCreate(Widget w, XtPointer clientData, XtPointer callData);
void OnToggleMigrate(Widget w, XtPointer clientData, XtPointer callData);
void OnMigrationShellCreate(Widget w, XtPointer clientData, XtPointer callData);
void OnMigrateButton(Widget w, XtPointer clientData, XtPointer callData);
void OnSkipButton(Widget w, XtPointer clientData, XtPointer callData);

_QV_InstStringList *CreateStringList(void);
void InsertStringList(_QV_InstStringList *list, const char *s);
void FreeStringList(_QV_InstStringList *list);
_QV_InstStringList *FindAllDirs(const char *folder);
_QV_InstStringList *FindPreferencesDirs(_QV_InstStringList *list);
char *GetHomeDirectory(void);
int GetNodeMode(const char *path, unsigned int *mode);
int IsFileExist(const char *path);
int IsDirExist(const char *path);

#ifdef __cplusplus
}
#endif

#endif
