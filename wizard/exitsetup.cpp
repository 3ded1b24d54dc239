// Leaving setup: the modal exit confirmation behind every "Exit Setup"
// button, the interruption box that ends the process, and two exit dialogs
// that only loaded modules create.
#include <Xm/Form.h>
#include <Xm/Label.h>
#include <Xm/MessageB.h>
#include <Xm/PushB.h>

#include <cstdlib>
#include <string>

#include "engine/internal.h"
#include "engine/util.h"
#include "wizard/dialog.h"
#include "wizard/glue.h"

namespace {

// 0 while the confirmation is up, 1 once the user chose "Resume Setup".
int resumeChosen = 0;
// The product text of the running confirmation, for the interruption box.
const char *productTextShown = "";
// The user chose "Exit Setup": the interruption box is up, over the
// confirmation, and only its "OK" remains.
bool leaving = false;

// Closing the question's window is not an answer to leave: setup resumes.
// Once the user has chosen to leave, closing it changes nothing.
void confirmation_closed(Widget w, XtPointer, XtPointer)
{
    if (!leaving)
        ExitSetupResumeCB(w, nullptr, nullptr);
}

// The picture of the exit form: an exclamation mark in a ring.
const char *kExitPicture[] = {
    "64 64 2 1",
    ". c #FFFFFF",
    "# c #000000",
    "................................................................",
    "................................................................",
    "...........................##########...........................",
    ".......................##################.......................",
    "....................########################....................",
    "..................############################..................",
    "................###########..........###########................",
    "...............########..................########...............",
    ".............########......................########.............",
    "............#######..........................#######............",
    "...........######..............................######...........",
    "..........######................................######..........",
    ".........######.............########.............######.........",
    "........######..............########..............######........",
    "........#####...............########...............#####........",
    ".......#####................########................#####.......",
    "......#####.................########.................#####......",
    "......####..................########..................####......",
    ".....#####..................########..................#####.....",
    ".....####...................########...................####.....",
    "....#####...................########...................#####....",
    "....####....................########....................####....",
    "....####....................########....................####....",
    "...####.....................########.....................####...",
    "...####.....................########.....................####...",
    "...####.....................########.....................####...",
    "...####.....................########.....................####...",
    "..####......................########......................####..",
    "..####......................########......................####..",
    "..####......................########......................####..",
    "..####......................########......................####..",
    "..####......................########......................####..",
    "..####......................########......................####..",
    "..####......................########......................####..",
    "..####......................########......................####..",
    "..####......................########......................####..",
    "..####......................########......................####..",
    "...####.....................########.....................####...",
    "...####.....................########.....................####...",
    "...####.....................########.....................####...",
    "...####..................................................####...",
    "....####................................................####....",
    "....####................................................####....",
    "....#####..............................................#####....",
    ".....####..............................................####.....",
    ".....#####..................########..................#####.....",
    "......####..................########..................####......",
    "......#####.................########.................#####......",
    ".......#####................########................#####.......",
    "........#####...............########...............#####........",
    "........######..............########..............######........",
    ".........######.............########.............######.........",
    "..........######............########............######..........",
    "...........######..............................######...........",
    "............#######..........................#######............",
    ".............########......................########.............",
    "...............########..................########...............",
    "................###########..........###########................",
    "..................############################..................",
    "....................########################....................",
    ".......................##################.......................",
    "...........................##########...........................",
    "................................................................",
    "................................................................"
};

// The small boxes of this file are titled "<product> setup" from the
// start: their shells are named so, and the name is the window title.
Widget create_named_shell(Widget parent, const qv::Geometry &where)
{
    qv::CStr name(QV_instStrPrint("%s setup", QV_instGetProductName()));
    return qv::create_dialog_shell(parent, name ? name.get() : " setup", &where, nullptr,
                                   qv::kMwmFullApplicationModal);
}

Widget message_label(Widget box)
{
    return XmMessageBoxGetChild(box, XmDIALOG_MESSAGE_LABEL);
}

} // namespace

extern "C" {

// Asks whether the user really wants to leave. Returns 1 after "Resume
// Setup"; after "Exit Setup" the process ends in the interruption box.
// The asking dialog's callback waits here, so that dialog stays as it was.
int QV_exitSetupConfirmation(Widget parent, const char *extraText, const char *productText)
{
    Widget box = CreatembExitSetup(parent);
    std::string message = "Are you sure you want to Exit?\n";
    if (extraText)
        message += extraText;
    qv::unmanage_box_children(box, {XmDIALOG_SEPARATOR, XmDIALOG_HELP_BUTTON});
    QV_instUpdateLabelString(message_label(box), message.c_str());
    resumeChosen = 0;
    leaving = false;
    productTextShown = productText ? productText : "";
    XtManageChild(box);
    QV_instMainLoop(parent, &resumeChosen);
    return resumeChosen;
}

Widget CreatembExitSetup(Widget parent)
{
    Widget shell = create_named_shell(parent, {12, 216, 391, 121});
    qv::BoxSpec opts("mbExitSetup");
    opts.noResize = True;
    opts.dialogStyle = XmDIALOG_FULL_APPLICATION_MODAL;
    opts.dialogType = XmDIALOG_INFORMATION;
    opts.okLabel = "Resume Setup";
    opts.cancelLabel = "Exit Setup";
    opts.okCB = ExitSetupResumeCB;
    opts.cancelCB = ExitSetupExitCB;
    Widget box = qv::create_message_box(shell, opts);
    qv::on_window_close(shell, confirmation_closed, nullptr);
    return box;
}

Widget CreatembExitSetupFinish(Widget parent)
{
    Widget shell = create_named_shell(parent, {26, 389, 244, 121});
    qv::BoxSpec opts("mbExitSetupFinish");
    opts.noResize = True;
    opts.dialogStyle = XmDIALOG_FULL_APPLICATION_MODAL;
    opts.dialogType = XmDIALOG_INFORMATION;
    opts.okCB = ExitSetupFinishCB;
    return qv::create_message_box(shell, opts);
}

// "Resume Setup": back to the dialog that asked.
void ExitSetupResumeCB(Widget w, XtPointer, XtPointer)
{
    XtDestroyWidget(QV_instGetShell(w));
    resumeChosen = 1;
}

// "Exit Setup": the interruption box opens over the confirmation, which
// keeps waiting underneath until the process ends.
void ExitSetupExitCB(Widget w, XtPointer, XtPointer)
{
    leaving = true;
    Widget finish = CreatembExitSetupFinish(QV_instGetShell(w));
    qv::CStr text(QV_instStrPrint("%s Setup was interrupted before your\nnew software was fully installed",
                                  productTextShown));
    qv::unmanage_box_children(finish, {XmDIALOG_HELP_BUTTON, XmDIALOG_CANCEL_BUTTON, XmDIALOG_SEPARATOR});
    if (text)
        QV_instUpdateLabelString(message_label(finish), text.get());
    XtManageChild(finish);
}

// "OK" of the interruption box: the user leaves setup (exit code 10);
// nothing is removed or written.
void ExitSetupFinishCB(Widget w, XtPointer, XtPointer)
{
    XtDestroyWidget(QV_instGetShell(w));
    std::exit(10);
}

// A closing box for modules; nothing in the installer opens it.
Widget CreatembExitSetupComplete(Widget parent)
{
    Widget shell = create_named_shell(parent, {7, 31, 244, 121});
    qv::BoxSpec opts("mbExitSetupComplete");
    opts.dialogStyle = XmDIALOG_FULL_APPLICATION_MODAL;
    opts.dialogType = XmDIALOG_INFORMATION;
    opts.okCB = ExitSetupCompleteCB;
    return qv::create_message_box(shell, opts);
}

void ExitSetupCompleteCB(Widget, XtPointer, XtPointer) {}

// An exit question laid out on a form, for modules; nothing in the
// installer creates it and its buttons do nothing.
Widget CreatefoExit(Widget parent)
{
    RegisterBxConverters(XtWidgetToApplicationContext(parent));
    XtInitializeWidgetClass(xmFormWidgetClass);

    qv::Args exitArgs(parent);
    exitArgs.set(XmNresizePolicy, XmRESIZE_NONE).set(XmNnoResize, True);
    Widget foExit = XtCreateWidget("foExit", xmFormWidgetClass, parent, exitArgs.list(), exitArgs.count());

    qv::Args labelsArgs(foExit);
    labelsArgs.attach(qv::Args::Top, 10).attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    Widget foExitLabels = qv::create_managed("foExitLabels", xmFormWidgetClass, foExit, labelsArgs);

    qv::Args pictureArgs(foExitLabels);
    pictureArgs.set(XmNlabelType, XmPIXMAP);
    pictureArgs.attach(qv::Args::Top, 10).attach(qv::Args::Left, 10).attach(qv::Args::Bottom, 10);
    Widget laExitPicture = qv::create_managed("laExitPicture", xmLabelWidgetClass, foExitLabels, pictureArgs);
    XtVaSetValues(laExitPicture, XmNlabelPixmap, XPM_PIXMAP(laExitPicture, const_cast<char **>(kExitPicture)),
                  nullptr);

    qv::Args statusArgs(foExitLabels);
    statusArgs.text(XmNlabelString, "Setup status");
    statusArgs.set(XmNalignment, XmALIGNMENT_BEGINNING);
    statusArgs.attach(qv::Args::Top, 10).attach(qv::Args::Left, laExitPicture, 10).attach(qv::Args::Right, 10);
    Widget laExitStatus = qv::create_managed("laExitStatus", xmLabelWidgetClass, foExitLabels, statusArgs);

    qv::Args messageArgs(foExitLabels);
    messageArgs.text(XmNlabelString, "Are you sure you want to Exit?");
    messageArgs.set(XmNalignment, XmALIGNMENT_BEGINNING);
    messageArgs.attach(qv::Args::Top, laExitStatus, 10).attach(qv::Args::Left, laExitPicture, 10);
    messageArgs.attach(qv::Args::Right, 10);
    qv::create_managed("laExitMessage", xmLabelWidgetClass, foExitLabels, messageArgs);

    qv::Args buttonsArgs(foExit);
    buttonsArgs.attach(qv::Args::Top, foExitLabels, 10).attach(qv::Args::Bottom, 10);
    buttonsArgs.attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    Widget foExitButtons = qv::create_managed("foExitButtons", xmFormWidgetClass, foExit, buttonsArgs);

    qv::Args exitButtonArgs(foExitButtons);
    exitButtonArgs.text(XmNlabelString, "Exit Setup");
    exitButtonArgs.attach(qv::Args::Top, 0).attach(qv::Args::Bottom, 0).attach(qv::Args::Left, 0);
    Widget pbExitExit = qv::create_managed("pbExitExit", xmPushButtonWidgetClass, foExitButtons, exitButtonArgs);
    XtAddCallback(pbExitExit, XmNactivateCallback, QV_instExitExitCB, nullptr);

    qv::Args resumeButtonArgs(foExitButtons);
    resumeButtonArgs.text(XmNlabelString, "Resume Setup");
    resumeButtonArgs.attach(qv::Args::Top, 0).attach(qv::Args::Bottom, 0).attach(qv::Args::Right, 0);
    Widget pbExitResume =
        qv::create_managed("pbExitResume", xmPushButtonWidgetClass, foExitButtons, resumeButtonArgs);
    XtAddCallback(pbExitResume, XmNactivateCallback, QV_instExitResumeCB, nullptr);

    return foExit;
}

void QV_instExitExitCB(Widget, XtPointer, XtPointer) {}
void QV_instExitResumeCB(Widget, XtPointer, XtPointer) {}
void QV_instExitCB(Widget, XtPointer, XtPointer) {}

} // extern "C"
