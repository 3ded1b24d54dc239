// The agreement dialog: shows eula.txt from the medium's SetupFiles folder;
// accepting goes on with the installation, declining ends setup.
#include <Xm/MessageB.h>
#include <Xm/ScrolledW.h>
#include <Xm/Text.h>

#include <cstdlib>

#include "engine/internal.h"
#include "engine/util.h"
#include "wizard/dialog.h"
#include "wizard/glue.h"

extern "C" {
Widget txEULA = nullptr;
}

extern "C" {

Widget CreatembEULA(Widget parent)
{
    const qv::Geometry where{4, 28, 659, 723};
    // This dialog keeps its own title; its map callback does not rename it.
    Widget shell = qv::create_dialog_shell(parent, "dsEULA", &where, "End User License Agreement");

    qv::BoxSpec opts("mbEULA");
    opts.noResize = True;
    opts.dialogStyle = XmDIALOG_FULL_APPLICATION_MODAL;
    opts.okLabel = "I ACCEPT";
    opts.cancelLabel = "I DECLINE";
    opts.mapCB = QV_instEULAMapCB;
    opts.okCB = QV_instEULAAcceptCB;
    opts.cancelCB = QV_instEULADeclineCB;
    Widget box = qv::create_message_box(shell, opts);

    qv::Args windowArgs(box);
    windowArgs.set(XmNscrollingPolicy, XmAPPLICATION_DEFINED);
    windowArgs.set(XmNx, 11).set(XmNy, 25).set(XmNwidth, 637).set(XmNheight, 618);
    Widget scrolledWindow = qv::create_managed("scrolledWindow", xmScrolledWindowWidgetClass, box, windowArgs);

    qv::Args textArgs(scrolledWindow);
    textArgs.set(XmNeditMode, XmMULTI_LINE_EDIT).set(XmNeditable, False);
    textArgs.set(XmNwordWrap, True).set(XmNcolumns, 75).set(XmNrows, 30);
    textArgs.set(XmNscrollHorizontal, False);
    txEULA = qv::create_managed("txEULA", xmTextWidgetClass, scrolledWindow, textArgs);
    qv::forget_when_destroyed(&txEULA);

    return box;
}

// Loads the agreement each time the dialog is mapped. Without it the user
// cannot agree to anything, so an unreadable file ends setup (exit 1).
void QV_instEULAMapCB(Widget w, XtPointer, XtPointer)
{
    qv::CStr path(QV_instBuildPath(QV_instGetCdinstDirectory(), "SetupFiles", "eula.txt", nullptr));
    qv::CStr content(path ? QV_instReadFileContent(path.get()) : nullptr);
    if (!content) {
        qv::CStr message(QV_instStrPrint("Error: could not read <%s>", path ? path.get() : "SetupFiles/eula.txt"));
        QV_instOkCancelMessageBox(QV_instGetShell(w), message ? message.get() : "Error: could not read the agreement",
                                  "Exit setup", nullptr, nullptr);
        std::exit(1);
    }
    XmTextSetString(txEULA, content.get());
    qv::unmanage_box_children(w, {XmDIALOG_HELP_BUTTON, XmDIALOG_SEPARATOR});
}

// "I ACCEPT": on to the user information when the description asks for it,
// else to the destination.
void QV_instEULAAcceptCB(Widget w, XtPointer, XtPointer)
{
    if (CDInstPtr && CDInstPtr->userInfo)
        qv::wizard_step(w, CreatembNameOrg);
    else
        qv::wizard_step(w, CreatembChangeDestination);
}

// "I DECLINE": nothing has been written, so setup ends at once with 0.
void QV_instEULADeclineCB(Widget, XtPointer, XtPointer)
{
    std::exit(0);
}

// Registered by nothing; kept for the modules that reach it.
void QV_instEULADestroyCB(Widget, XtPointer, XtPointer) {}

} // extern "C"
