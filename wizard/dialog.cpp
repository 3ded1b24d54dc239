// The building blocks that every wizard dialog is made of (see dialog.h).
#include "wizard/dialog.h"

#include <Xm/DialogS.h>
#include <Xm/Form.h>
#include <Xm/MessageB.h>
#include <Xm/Protocols.h>

#include <algorithm>

#include "wizard/bx.h"
#include "wizard/shell.h"

namespace qv {

Args::~Args()
{
    for (XmString s : owned_)
        XmStringFree(s);
}

Args &Args::set(const char *resource, XtArgVal value)
{
    Arg arg;
    XtSetArg(arg, const_cast<char *>(resource), value);
    args_.push_back(arg);
    return *this;
}

Args &Args::text(const char *resource, const char *text)
{
    if (!text)
        return *this;
    Boolean ok = False;
    XtArgVal value = CONVERT(ref_, text, XmRXmString, 0, &ok);
    if (!ok)
        return *this;
    // The converter hands over a new compound string each time (it keeps
    // none in a cache), and the widget copies it.
    owned_.push_back(reinterpret_cast<XmString>(value));
    return set(resource, value);
}

namespace {

struct SideResources {
    const char *attachment, *widget, *offset;
};

const SideResources &resources_of(Args::Side side)
{
    static const SideResources table[] = {
        {XmNtopAttachment, XmNtopWidget, XmNtopOffset},
        {XmNbottomAttachment, XmNbottomWidget, XmNbottomOffset},
        {XmNleftAttachment, XmNleftWidget, XmNleftOffset},
        {XmNrightAttachment, XmNrightWidget, XmNrightOffset},
    };
    return table[side];
}

Atom wm_delete_window(Widget shell)
{
    return XmInternAtom(XtDisplay(shell), const_cast<char *>("WM_DELETE_WINDOW"), False);
}

// The window manager closes a dialog: a dialog shell's own answer would be
// to unmanage the box, and the dialog would vanish while setup went on
// waiting for one of its buttons, with no window left to answer in. The
// box's Cancel (its way back or out) is pressed instead, or its OK when it
// has no Cancel.
void close_as_button(Widget shell, XtPointer, XtPointer)
{
    WidgetList children = nullptr;
    Cardinal count = 0;
    XtVaGetValues(shell, XmNchildren, &children, XmNnumChildren, &count, nullptr);
    for (Cardinal i = 0; i < count; ++i) {
        Widget box = children[i];
        if (!XmIsMessageBox(box))
            continue;
        const bool cancel = XtHasCallbacks(box, XmNcancelCallback) == XtCallbackHasSome;
        XmAnyCallbackStruct press{};
        press.reason = cancel ? XmCR_CANCEL : XmCR_OK;
        XtCallCallbacks(box, cancel ? XmNcancelCallback : XmNokCallback, &press);
        return;
    }
}

// A dialog's given size was chosen for other fonts than the ones it may
// be shown in: it is the least size, and a box whose texts need more room
// grows to fit them as it comes on screen (after its map callbacks have
// set those texts), never beyond the screen. Only the size changes: the
// window stays where it was put.
void grow_to_fit(Widget shell, XtPointer clientData, XtPointer)
{
    Widget box = static_cast<Widget>(clientData);
    XtWidgetGeometry wanted{};
    XtQueryGeometry(box, nullptr, &wanted);
    Dimension width = 0, height = 0, border = 0;
    XtVaGetValues(box, XmNwidth, &width, XmNheight, &height, XmNborderWidth, &border, nullptr);
    Screen *screen = XtScreen(shell);
    const auto within = [](Dimension now, Dimension needed, int most) {
        return static_cast<Dimension>(std::max<int>(now, std::min<int>(needed, most)));
    };
    const Dimension newWidth = (wanted.request_mode & CWWidth)
                                   ? within(width, wanted.width, WidthOfScreen(screen) - 2 * border)
                                   : width;
    const Dimension newHeight = (wanted.request_mode & CWHeight)
                                    ? within(height, wanted.height, HeightOfScreen(screen) - 2 * border)
                                    : height;
    if (newWidth == width && newHeight == height)
        return;
    // Set on the shell, which then sizes the box: a shell that refuses its
    // child's requests (allowShellResize False) still takes its own size.
    XtVaSetValues(shell, XmNwidth, newWidth + 2 * border, XmNheight, newHeight + 2 * border, nullptr);
}

void forget_global(Widget w, XtPointer clientData, XtPointer)
{
    auto *global = static_cast<Widget *>(clientData);
    if (*global == w)
        *global = nullptr;
}

} // namespace

Args &Args::attach(Side side, int offset)
{
    const SideResources &r = resources_of(side);
    return set(r.attachment, XmATTACH_FORM).set(r.offset, offset);
}

Args &Args::attach(Side side, Widget sibling, int offset)
{
    const SideResources &r = resources_of(side);
    return set(r.attachment, XmATTACH_WIDGET).set(r.widget, reinterpret_cast<XtArgVal>(sibling)).set(r.offset, offset);
}

Widget create_dialog_shell(Widget parent, const char *name, const Geometry *geometry, const char *title,
                           int mwmInputMode)
{
    RegisterBxConverters(XtWidgetToApplicationContext(parent));
    XtInitializeWidgetClass(xmDialogShellWidgetClass);
    XtInitializeWidgetClass(xmMessageBoxWidgetClass);
    Args args(parent);
    if (title)
        args.set(XmNtitle, reinterpret_cast<XtArgVal>(title));
    if (mwmInputMode >= 0)
        args.set(XmNmwmInputMode, mwmInputMode);
    if (geometry) {
        args.set(XmNx, geometry->x);
        args.set(XmNy, geometry->y);
        args.set(XmNwidth, geometry->width);
        args.set(XmNheight, geometry->height);
    }
    return XtCreatePopupShell(name, xmDialogShellWidgetClass, parent, args.list(), args.count());
}

Widget create_message_box(Widget shell, const BoxSpec &opts)
{
    Args args(shell);
    args.set(XmNautoUnmanage, False);
    args.set(XmNnoResize, opts.noResize);
    if (opts.dialogStyle >= 0)
        args.set(XmNdialogStyle, opts.dialogStyle);
    if (opts.dialogType >= 0)
        args.set(XmNdialogType, opts.dialogType);
    args.text(XmNokLabelString, opts.okLabel);
    args.text(XmNcancelLabelString, opts.cancelLabel);
    // A dialog shell takes the size of its child when the child is managed
    // and, by default, centres itself over its parent: a dialog whose shell
    // was given a geometry keeps its place by giving the same size to its
    // box and asking for no centring; the size is the least it takes (see
    // grow_to_fit).
    Dimension width = 0, height = 0;
    XtVaGetValues(shell, XmNwidth, &width, XmNheight, &height, nullptr);
    if (width > 0 && height > 0) {
        args.set(XmNwidth, width);
        args.set(XmNheight, height);
        args.set(XmNdefaultPosition, False);
    }
    Widget box = XtCreateWidget(opts.name, xmMessageBoxWidgetClass, shell, args.list(), args.count());
    if (opts.mapCB)
        XtAddCallback(box, XmNmapCallback, opts.mapCB, nullptr);
    if (opts.okCB)
        XtAddCallback(box, XmNokCallback, opts.okCB, nullptr);
    if (opts.cancelCB)
        XtAddCallback(box, XmNcancelCallback, opts.cancelCB, nullptr);
    XtAddCallback(shell, XmNpopupCallback, grow_to_fit, box);
    XtVaSetValues(shell, XmNdeleteResponse, XmDO_NOTHING, nullptr);
    XmAddWMProtocolCallback(shell, wm_delete_window(shell), close_as_button, nullptr);
    return box;
}

Widget create_managed(const char *name, WidgetClass widgetClass, Widget parent, Args &args)
{
    XtInitializeWidgetClass(widgetClass);
    return XtCreateManagedWidget(name, widgetClass, parent, args.list(), args.count());
}

void unmanage_box_children(Widget box, std::initializer_list<unsigned char> children)
{
    for (unsigned char child : children) {
        if (Widget w = XmMessageBoxGetChild(box, child))
            XtUnmanageChild(w);
    }
}

void on_window_close(Widget shell, XtCallbackProc cb, XtPointer data)
{
    XtVaSetValues(shell, XmNdeleteResponse, XmDO_NOTHING, nullptr);
    const Atom close = wm_delete_window(shell);
    XmRemoveWMProtocolCallback(shell, close, close_as_button, nullptr);
    XmAddWMProtocolCallback(shell, close, cb, data);
}

void forget_when_destroyed(Widget *global)
{
    if (global && *global)
        XtAddCallback(*global, XtNdestroyCallback, forget_global, global);
}

Widget wizard_step(Widget w, Widget (*create)(Widget parent))
{
    // The main shell is looked up before the dialog goes: the destruction
    // is only completed at the end of the current dispatch, but nothing of
    // the old dialog is touched after this point.
    Widget mainShell = QV_instGetTLShell(w);
    if (Widget shell = QV_instGetShell(w))
        XtDestroyWidget(shell);
    Widget next = create(mainShell);
    XtManageChild(next);
    return next;
}

} // namespace qv
