// The builder layer's support functions: conversion of literal resource
// texts, pictures from XPM data, widget lookup by name, resources set from
// text, application defaults and a few helpers builder-made code relies on.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <X11/Xresource.h>
#include <X11/xpm.h>
#include <Xm/RowColumn.h>
#include <Xm/Xm.h>

#include "wizard/bx.h"

namespace {

std::string trimmed(const std::string &text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

std::vector<std::string> split(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return parts;
        start = at + 1;
    }
}

// Merges resource lines into the display's database; entries already there
// win, so the user's own resources are never overridden.
void merge_lines(Widget w, const std::vector<std::string> &lines)
{
    XrmDatabase added = nullptr;
    for (const std::string &line : lines)
        XrmPutLineResource(&added, line.c_str());
    if (!added)
        return;
    XrmDatabase target = XtDatabase(XtDisplayOfObject(w));
    XrmCombineDatabase(added, &target, False);
}

} // namespace

extern "C" {

XtArgVal CONVERT(Widget w, const char *value, const char *type, int, Boolean *ok)
{
    Boolean dummy;
    if (!ok)
        ok = &dummy;
    *ok = False;
    if (!w || !value || !type)
        return 0;
    XrmValue from{static_cast<unsigned int>(std::strlen(value) + 1), const_cast<char *>(value)};
    XrmValue to{0, nullptr};
    if (!XtConvertAndStore(w, XtRString, &from, type, &to))
        return 0;

    XtArgVal result = 0;
    if (!std::strcmp(type, "String") || !std::strcmp(type, "Double") || !std::strcmp(type, "Float")) {
        result = reinterpret_cast<XtArgVal>(to.addr);
    } else if (to.size == 1) {
        result = *reinterpret_cast<signed char *>(to.addr);
    } else if (to.size == 2) {
        short v;
        std::memcpy(&v, to.addr, sizeof v);
        result = v;
    } else if (to.size == 4) {
        int v;
        std::memcpy(&v, to.addr, sizeof v);
        result = v;
    } else {
        // A whole word; a value of an odd size is copied as far as it goes,
        // never read beyond the size the conversion reports.
        std::memcpy(&result, to.addr, to.size < sizeof result ? to.size : sizeof result);
    }
    *ok = True;
    return result;
}

Pixmap XPM_PIXMAP(Widget w, char **xpmData)
{
    Display *display = XtDisplayOfObject(w);
    const int screen = DefaultScreen(display);
    // Gadgets have no depth or colormap of their own: the screen's defaults
    // stand in for them.
    int depth = DefaultDepth(display, screen);
    Colormap colormap = DefaultColormap(display, screen);
    if (XtIsWidget(w))
        XtVaGetValues(w, XmNdepth, &depth, XmNcolormap, &colormap, nullptr);

    XpmAttributes attributes;
    std::memset(&attributes, 0, sizeof attributes);
    attributes.valuemask = XpmVisual | XpmColormap | XpmDepth;
    attributes.visual = DefaultVisual(display, screen);
    attributes.colormap = colormap;
    attributes.depth = static_cast<unsigned int>(depth);

    Pixmap pixmap = 0;
    Pixmap shapeMask = 0;
    const int status = xpmData ? XpmCreatePixmapFromData(display, RootWindow(display, screen), xpmData, &pixmap,
                                                         &shapeMask, &attributes)
                               : XpmFileInvalid;
    if (shapeMask)
        XFreePixmap(display, shapeMask);
    // XpmColorError (a colour had to be approximated) still gives a picture.
    if (status < XpmSuccess) {
        if (pixmap)
            XFreePixmap(display, pixmap);
        XtWarning("Could not create pixmap.");
        return XmUNSPECIFIED_PIXMAP;
    }
    return pixmap;
}

Widget *BxWidgetIdsFromNames(Widget ref, const char *callbackName, const char *names)
{
    std::string list = names ? names : "";
    const size_t open = list.find('[');
    if (open != std::string::npos)
        list.erase(0, open + 1);
    const size_t close = list.rfind(']');
    if (close != std::string::npos)
        list.erase(close);

    std::vector<Widget> found;
    for (const std::string &entry : split(trimmed(list), ',')) {
        const std::string name = trimmed(entry);
        if (name.empty())
            continue;
        const std::string pattern = "*" + name;
        Widget widget = nullptr;
        for (Widget from = ref; from && !widget; from = XtParent(from))
            widget = XtNameToWidget(from, pattern.c_str());
        if (widget)
            found.push_back(widget);
        else
            std::printf("Callback Error (%s):\n\tCannot find widget %s\n", callbackName ? callbackName : "",
                        pattern.c_str());
    }

    auto ids = reinterpret_cast<Widget *>(XtMalloc(static_cast<Cardinal>((found.size() + 1) * sizeof(Widget))));
    for (size_t i = 0; i < found.size(); ++i)
        ids[i] = found[i];
    ids[found.size()] = nullptr;
    return ids;
}

// Client data: lines "<widget name>.<resource> = <value>". The resource is
// the part between the last '.' before the first '=' and that '='; the
// value, which may itself hold dots, is everything after the '='.
void BxSetValuesCB(Widget w, XtPointer clientData, XtPointer)
{
    if (!clientData)
        return;
    constexpr size_t kMaxLines = 1024;
    size_t handled = 0;
    for (const std::string &line : split(static_cast<const char *>(clientData), '\n')) {
        if (line.empty())
            continue;
        if (handled++ == kMaxLines)
            break;
        const size_t equals = line.find('=');
        const size_t dot = equals == std::string::npos ? std::string::npos : line.rfind('.', equals);
        if (dot == std::string::npos) {
            std::printf("Callback Error (BxSetValuesCB):\n\tSyntax Error - specify BxSetValuesCB data as\n"
                        "\t    <Widget Name>.<Resource> = <Value>\n");
            continue;
        }
        const std::string widgetName = trimmed(line.substr(0, dot));
        const std::string resource = trimmed(line.substr(dot + 1, equals - dot - 1));
        const std::string value = trimmed(line.substr(equals + 1));

        Widget *ids = BxWidgetIdsFromNames(w, "BxSetValuesCB", widgetName.c_str());
        if (ids[0])
            XtVaSetValues(ids[0], XtVaTypedArg, resource.c_str(), XtRString, value.c_str(),
                          static_cast<int>(value.size() + 1), nullptr);
        XtFree(reinterpret_cast<char *>(ids));
    }
}

void setDefaultResources(const char *name, Widget w, const char **resources)
{
    std::vector<std::string> lines;
    for (const char **line = resources; line && *line; ++line)
        lines.push_back(std::string("*") + (name ? name : "") + *line);
    merge_lines(w, lines);
}

void InitAppDefaults(Widget w, UIAppDefault *table)
{
    XrmDatabase database = XrmGetDatabase(XtDisplayOfObject(w));
    if (!database || !table)
        return;
    for (UIAppDefault *rec = table; rec->widgetName; ++rec) {
        XrmQuark quarks[5];
        int n = 0;
        quarks[n++] = XrmStringToQuark(rec->firstName);
        quarks[n++] = XrmStringToQuark(rec->widgetName[0] ? rec->widgetName : rec->firstName);
        if (rec->childName && rec->childName[0])
            quarks[n++] = XrmStringToQuark(rec->childName);
        quarks[n++] = XrmStringToQuark(rec->resourceName);
        quarks[n] = NULLQUARK;
        XrmRepresentation type;
        XrmValue value;
        if (XrmQGetResource(database, quarks, quarks, &type, &value) && value.addr)
            rec->value = strdup(value.addr);
    }
}

void SetAppDefaults(Widget w, UIAppDefault *table, const char *instanceName)
{
    if (!instanceName || !table)
        return;
    // "*name" for each widget from the top down to w; the application shell
    // itself is left out (resource lines name it by their first component).
    std::vector<Widget> chain;
    for (Widget cur = w; cur && !XtIsApplicationShell(cur); cur = XtParent(cur))
        chain.push_back(cur);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        path += std::string("*") + XtName(*it);

    std::vector<std::string> lines;
    for (UIAppDefault *rec = table; rec->widgetName; ++rec) {
        if (!rec->value)
            continue;
        std::string line = path;
        if (rec->childName && rec->childName[0])
            line += std::string(".") + rec->widgetName + "*" + rec->childName;
        else if (rec->childName)
            line += std::string(".") + rec->widgetName;
        else if (rec->widgetName[0])
            line += std::string("*") + instanceName + "*" + rec->widgetName;
        else
            line += std::string("*") + instanceName;
        line += std::string(".") + rec->resourceName + ": " + rec->value;
        lines.push_back(line);
    }
    merge_lines(w, lines);
}

void MENU_POST(Widget, XtPointer menu, XEvent *event, Boolean *)
{
    if (!menu || !event || (event->type != ButtonPress && event->type != ButtonRelease))
        return;
    Widget popup = static_cast<Widget>(menu);
    unsigned int whichButton = 0;
    XtVaGetValues(popup, XmNwhichButton, &whichButton, nullptr);
    if (event->xbutton.button != whichButton)
        return;
    XmMenuPosition(popup, &event->xbutton);
    XtManageChild(popup);
}

void SET_BACKGROUND_COLOR(Widget, ArgList args, Cardinal *count, Pixel pixel)
{
    XtSetArg(args[*count], XmNbackground, pixel);
    ++*count;
}

Widget BxFindTopShell(Widget w)
{
    while (w && XtParent(w))
        w = XtParent(w);
    return w;
}

float *SINGLE(float value)
{
    auto copy = reinterpret_cast<float *>(XtMalloc(sizeof(float)));
    *copy = value;
    return copy;
}

double *DOUBLE(double value)
{
    auto copy = reinterpret_cast<double *>(XtMalloc(sizeof(double)));
    *copy = value;
    return copy;
}

} // extern "C"
