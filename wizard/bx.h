/* The GUI-builder support layer: the "::" compound-string resource
 * converters, CONVERT, pictures from in-memory XPM data, widget lookup by
 * name, application defaults and a few small helpers that builder-made
 * programs carry. */
#ifndef QV_WIZARD_BX_H
#define QV_WIZARD_BX_H

#include <X11/Intrinsic.h>
#include <Xm/Xm.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One application-default record; a table ends with a record whose
 * widgetName is NULL. */
typedef struct UIAppDefault {
    char *firstName;    /* application or class name */
    char *widgetName;
    char *childName;    /* may be NULL */
    char *resourceName;
    char *value;
} UIAppDefault;

void RegisterBxConverters(XtAppContext app);
Boolean cvtStringToXmString(Display *display, XrmValuePtr args, Cardinal *numArgs, XrmValuePtr from, XrmValuePtr to,
                            XtPointer *converterData);
Boolean cvtStringToXmStringTable(Display *display, XrmValuePtr args, Cardinal *numArgs, XrmValuePtr from,
                                 XrmValuePtr to, XtPointer *converterData);
void cvtXmStringDestroy(XtAppContext app, XrmValuePtr to, XtPointer converterData, XrmValuePtr args,
                        Cardinal *numArgs);
void cvtXmStringTableDestroy(XtAppContext app, XrmValuePtr to, XtPointer converterData, XrmValuePtr args,
                             Cardinal *numArgs);
XmString cvtParseCompoundString(const char *text);
/* The value of a literal resource text in the given type. Xt keeps nothing
 * of it: an XmString (or XmStringTable) converted here belongs to the caller,
 * who frees it once the widget has taken its own copy. */
XtArgVal CONVERT(Widget w, const char *value, const char *type, int size, Boolean *ok);
Widget *BxWidgetIdsFromNames(Widget ref, const char *callbackName, const char *names);
void BxSetValuesCB(Widget w, XtPointer clientData, XtPointer callData);
Pixmap XPM_PIXMAP(Widget w, char **xpmData);
void setDefaultResources(const char *name, Widget w, const char **resources);
void InitAppDefaults(Widget w, UIAppDefault *table);
void SetAppDefaults(Widget w, UIAppDefault *table, const char *instanceName);
void MENU_POST(Widget w, XtPointer menu, XEvent *event, Boolean *continueToDispatch);
void SET_BACKGROUND_COLOR(Widget w, ArgList args, Cardinal *count, Pixel pixel);
Widget BxFindTopShell(Widget w);
float *SINGLE(float value);
double *DOUBLE(double value);

#ifdef __cplusplus
}
#endif

#endif
