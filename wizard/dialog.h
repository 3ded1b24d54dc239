// How a wizard dialog is built: the helpers every dialog file uses, so that
// all dialogs are named, titled, labelled and chained the same way.
//
// A dialog file (wizard/<dialog>.cpp) holds its exported widgets, then its
// Createmb<Name>(parent) builder, its map callback and its button callbacks.
// The builder goes like this:
//
//     Widget CreatembExample(Widget parent)
//     {
//         const qv::Geometry where{7, 31, 553, 368};
//         Widget shell = qv::create_dialog_shell(parent, "dsExample", &where);
//         qv::BoxSpec opts("mbExample");
//         opts.okLabel = "Continue";
//         opts.cancelLabel = "Exit Setup";
//         opts.mapCB = QV_instExampleMapCB;
//         opts.okCB = QV_instExampleContinueCB;
//         opts.cancelCB = QV_instExampleExitCB;
//         Widget box = qv::create_message_box(shell, opts);
//         qv::Args formArgs(box);
//         Widget form = qv::create_managed("foExample", xmFormWidgetClass, box, formArgs);
//         qv::Args args(form);
//         args.text(XmNlabelString, ":::t\"First line\"\"Second line\"");
//         args.attach(qv::Args::Top, 10).attach(qv::Args::Left, 10);
//         qv::create_managed("laExample", xmLabelWidgetClass, form, args);
//         return box;                      // unmanaged: the caller manages it
//     }
//
// - create_dialog_shell registers the builder's converters for the parent's
//   application context, initialises the dialog shell class and creates the
//   shell as a popup child of the parent. Its window title is
//   "QUORVANTA|Setup" until the map callback calls QV_instSetWindowTitle; a
//   shell created with a null title shows its own name instead (boxes named
//   "<product> setup").
// - create_message_box creates the message box with autoUnmanage False (a
//   button never closes the dialog by itself: its callback does) and its
//   button labels converted from text; callbacks are registered on the box.
// - Args collects a widget's resources. Texts (plain, or "::" compound-string
//   syntax) are converted with CONVERT; a resource whose conversion fails is
//   left out, so the widget keeps its default. The converted compound
//   strings are freed when the Args goes away: the widget keeps copies.
// - The map callback calls unmanage_box_children for the parts of the box
//   the dialog does not use (always the Help button), fills the texts that
//   depend on the description and calls QV_instSetWindowTitle on the box.
// - A button that moves on calls wizard_step(w, Createmb<Next>): the current
//   dialog's shell is destroyed and the next dialog is created on the main
//   shell and managed, so one wizard dialog is on screen at a time.
// - Leaving setup goes through QV_exitSetupConfirmation with the dialog's
//   shell (QV_instGetShell of the callback's widget).
// - Closing a dialog's window from the window manager presses its Cancel
//   button (its OK when it has no Cancel callback); on_window_close gives a
//   dialog another meaning for it.
// - An exported widget global is cleared when its widget is destroyed
//   (forget_when_destroyed), so it never names a dead widget.
#pragma once

#include <X11/Intrinsic.h>
#include <Xm/Xm.h>

#include <initializer_list>
#include <vector>

namespace qv {

// Window title of every wizard dialog until its map callback renames it.
inline constexpr const char kSetupTitle[] = "QUORVANTA|Setup";

// The Motif value of mwmInputMode for a full application modal window.
inline constexpr int kMwmFullApplicationModal = 3;

// The resources of one widget being created.
class Args {
public:
    // ref is the widget whose application context and display convert
    // the texts (the parent of the widget being created will do).
    explicit Args(Widget ref) : ref_(ref) {}
    ~Args();
    Args(const Args &) = delete;
    Args &operator=(const Args &) = delete;

    Args &set(const char *resource, XtArgVal value);
    // An XmString resource from plain or "::" text; left out when the text
    // does not convert (or is null).
    Args &text(const char *resource, const char *text);

    // Form attachments: a side attached to the form, or to a sibling
    // widget (the side of the sibling facing this one), with its offset.
    enum Side { Top, Bottom, Left, Right };
    Args &attach(Side side, int offset);
    Args &attach(Side side, Widget sibling, int offset);

    ArgList list() { return args_.data(); }
    Cardinal count() const { return static_cast<Cardinal>(args_.size()); }

private:
    Widget ref_;
    std::vector<Arg> args_;
    std::vector<XmString> owned_;
};

struct Geometry {
    Position x, y;
    Dimension width, height;
};

// A dialog shell named `name`, popup child of parent. geometry may be null
// (the toolkit places and sizes it); title null leaves the window title at
// the shell's name; mwmInputMode below 0 leaves that resource unset.
Widget create_dialog_shell(Widget parent, const char *name, const Geometry *geometry, const char *title = kSetupTitle,
                           int mwmInputMode = -1);

// What a dialog's message box looks like. Members left at their defaults
// are not set on the widget.
struct BoxSpec {
    explicit BoxSpec(const char *boxName) : name(boxName) {}
    const char *name;
    Boolean noResize = False;
    int dialogStyle = -1;             // XmDIALOG_*; below 0: the toolkit's default
    int dialogType = -1;              // XmDIALOG_*; below 0: the toolkit's default
    const char *okLabel = nullptr;    // null: the toolkit's "OK"
    const char *cancelLabel = nullptr;
    XtCallbackProc mapCB = nullptr;
    XtCallbackProc okCB = nullptr;
    XtCallbackProc cancelCB = nullptr;
};

// The message box of a dialog, created unmanaged in its shell with
// autoUnmanage False.
Widget create_message_box(Widget shell, const BoxSpec &opts);

// A child widget, created and managed.
Widget create_managed(const char *name, WidgetClass widgetClass, Widget parent, Args &args);

// Unmanages the given children (XmDIALOG_HELP_BUTTON, XmDIALOG_SEPARATOR,
// ...) of a message box.
void unmanage_box_children(Widget box, std::initializer_list<unsigned char> children);

// What closing a dialog's window (the window manager's close button) does:
// calls cb(shell, data, nullptr) instead of destroying the dialog, so that a
// dialog waited for ends the way one of its buttons ends it. Replaces the
// Cancel press that create_message_box arranges, so call it after that:
// called before, both would run on one close.
void on_window_close(Widget shell, XtCallbackProc cb, XtPointer data);

// Sets *global to null when the widget it names now is destroyed (a later
// dialog of the same kind may have taken the global over by then: it is
// left as it is).
void forget_when_destroyed(Widget *global);

// The wizard step: destroys the dialog that w belongs to and manages the
// next dialog, created by `create` on the main shell. Returns the new box.
Widget wizard_step(Widget w, Widget (*create)(Widget parent));

} // namespace qv
