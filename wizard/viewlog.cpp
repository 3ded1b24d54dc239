// The end of setup: the preferences migration when one was asked for, then
// the small dialog that offers to view the installation log.
#include <Xm/Form.h>
#include <Xm/Frame.h>
#include <Xm/Label.h>
#include <Xm/MessageB.h>
#include <Xm/PushB.h>

#include "engine/cdinst.h"
#include "wizard/dialog.h"
#include "wizard/glue.h"

namespace {

// Set by "Done" and never cleared: the offer comes once per process.
int viewlogDone = 0;

} // namespace

extern "C" {

Widget CreatembViewlog(Widget parent)
{
    const qv::Geometry where{7, 31, 425, 248};
    Widget shell = qv::create_dialog_shell(parent, "dsViewlog", &where);

    qv::BoxSpec opts("mbViewlog");
    opts.noResize = True;
    opts.okLabel = "Done";
    opts.mapCB = QV_instViewlogMapCB;
    opts.okCB = QV_instViewlogDoneCB;
    Widget box = qv::create_message_box(shell, opts);
    // Closing the window is "Done": the end of setup must not wait for a
    // dialog that is gone.
    qv::on_window_close(shell, QV_instViewlogDoneCB, nullptr);

    qv::Args frameArgs(box);
    Widget frame = qv::create_managed("frame", xmFrameWidgetClass, box, frameArgs);
    qv::Args formArgs(frame);
    Widget form = qv::create_managed("form", xmFormWidgetClass, frame, formArgs);

    qv::Args labelArgs(form);
    labelArgs.text(XmNlabelString, "Installation Setup Log");
    labelArgs.attach(qv::Args::Top, 10).attach(qv::Args::Left, 10);
    Widget label = qv::create_managed("label", xmLabelWidgetClass, form, labelArgs);

    qv::Args form1Args(form);
    form1Args.attach(qv::Args::Top, label, 30).attach(qv::Args::Left, 30).attach(qv::Args::Right, 10);
    Widget form1 = qv::create_managed("form1", xmFormWidgetClass, form, form1Args);

    qv::Args buttonArgs(form1);
    buttonArgs.text(XmNlabelString, "View Log");
    buttonArgs.set(XmNmarginWidth, 10);
    buttonArgs.attach(qv::Args::Top, 0).attach(qv::Args::Left, 0);
    Widget pushButton = qv::create_managed("pushButton", xmPushButtonWidgetClass, form1, buttonArgs);
    XtAddCallback(pushButton, XmNactivateCallback, QV_instViewlogCB, nullptr);

    qv::Args textArgs(form1);
    textArgs.set(XmNalignment, XmALIGNMENT_BEGINNING);
    textArgs.text(XmNlabelString, ":::t\"View information about events that occur\"\"during setup.\"");
    textArgs.attach(qv::Args::Top, 0).attach(qv::Args::Left, pushButton, 10);
    qv::create_managed("label1", xmLabelWidgetClass, form1, textArgs);

    return box;
}

// After the installation: the preferences migration (when the migration
// dialog asked for one), then the offer to view the log unless the
// description turned it off.
void QV_instPopupAfterMoveDataDialogs(Widget w)
{
    DoMigrate(w);
    if (CDInstPtr && CDInstPtr->displayLog)
        QV_instPopupViewlog(w);
}

// Offers to view the log and waits for "Done".
void QV_instPopupViewlog(Widget parent)
{
    // Once done, the offer has been made for this process.
    if (viewlogDone)
        return;
    Widget box = CreatembViewlog(parent);
    XtManageChild(box);
    QV_instMainLoop(parent, &viewlogDone);
    XtDestroyWidget(QV_instGetShell(box));
}

void QV_instViewlogMapCB(Widget w, XtPointer, XtPointer)
{
    qv::unmanage_box_children(w, {XmDIALOG_CANCEL_BUTTON, XmDIALOG_HELP_BUTTON, XmDIALOG_SEPARATOR});
    QV_instSetWindowTitle(w);
}

// "View Log": the log viewer over this dialog; the offer stays until "Done".
void QV_instViewlogCB(Widget w, XtPointer, XtPointer)
{
    ViewLogfile(QV_instGetShell(w));
}

// "Done".
void QV_instViewlogDoneCB(Widget, XtPointer, XtPointer)
{
    viewlogDone = 1;
}

} // extern "C"
