// The welcome dialog: the first step of a new installation, greeting the
// user with the product name and the legal notice.
#include "wizard/welcome.h"

#include <Xm/Form.h>
#include <Xm/Frame.h>
#include <Xm/Label.h>
#include <Xm/MessageB.h>

#include "engine/internal.h"
#include "engine/util.h"
#include "wizard/dialog.h"
#include "wizard/glue.h"

extern "C" {
Widget laWelcomeTop = nullptr;
Widget laWelcomeMiddle = nullptr;
}

namespace {

// The legal notice, one line per segment. The text given at creation names
// the edition; the one the user sees once the dialog is mapped says "this
// software" instead.
constexpr const char kNoticeAtCreation[] =
    ":::t\"WARNING: This program is protected by copyright law and international treaties.\""
    ":t\"\""
    ":t\"You may install Pellura on a single computer.\""
    ":t\"Some products of its maker carry additional rights, which are stated in the\""
    ":t\"End User License Agreement included with the software.\""
    ":t\"\""
    ":t\"Please take a moment to read the End User License Agreement now. It contains\""
    "\"all the terms and conditions; by choosing to continue you accept them.\"";

constexpr const char kNoticeWhenMapped[] =
    ":::t\"WARNING: This program is protected by copyright law and international treaties.\""
    ":t\"\""
    ":t\"You may install this software on a single computer.\""
    ":t\"Some products of its maker carry additional rights, which are stated in the\""
    ":t\"End User License Agreement included with the software.\""
    ":t\"\""
    ":t\"Please take a moment to read the End User License Agreement now. It contains\""
    "\"all the terms and conditions; by choosing to continue you accept them.\"";

} // namespace

extern "C" {

Widget CreatembWelcome(Widget parent)
{
    const qv::Geometry where{7, 31, 553, 368};
    // The welcome shell keeps the toolkit's default name for dialog shells.
    Widget shell = qv::create_dialog_shell(parent, "xmDialogShell", &where);

    qv::BoxSpec opts("mbWelcome");
    opts.noResize = False;
    opts.okLabel = "Continue";
    opts.cancelLabel = "Exit Setup";
    opts.mapCB = QV_instWelcomeMapCB;
    opts.okCB = QV_instWelcomeContinueCB;
    opts.cancelCB = QV_instWelcomeExitCB;
    Widget box = qv::create_message_box(shell, opts);

    qv::Args formArgs(box);
    Widget foWelcome = qv::create_managed("foWelcome", xmFormWidgetClass, box, formArgs);

    qv::Args frameArgs(foWelcome);
    frameArgs.attach(qv::Args::Top, 10).attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    Widget frWelcomeTop = qv::create_managed("frWelcomeTop", xmFrameWidgetClass, foWelcome, frameArgs);

    qv::Args innerArgs(frWelcomeTop);
    innerArgs.set(XmNresizePolicy, XmRESIZE_GROW);
    Widget form = qv::create_managed("form", xmFormWidgetClass, frWelcomeTop, innerArgs);

    qv::Args topArgs(form);
    topArgs.set(XmNalignment, XmALIGNMENT_BEGINNING);
    topArgs.text(XmNlabelString, ":::t\"Welcome to the Pellura installation program.\"");
    topArgs.attach(qv::Args::Top, 10).attach(qv::Args::Bottom, 10);
    topArgs.attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    laWelcomeTop = qv::create_managed("laWelcomeTop", xmLabelWidgetClass, form, topArgs);
    QV_instWelcomeCreateLabelCB(laWelcomeTop, nullptr, nullptr);

    qv::Args middleArgs(foWelcome);
    middleArgs.set(XmNalignment, XmALIGNMENT_BEGINNING);
    middleArgs.text(XmNlabelString, kNoticeAtCreation);
    middleArgs.attach(qv::Args::Top, frWelcomeTop, 10);
    middleArgs.attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    laWelcomeMiddle = qv::create_managed("laWelcomeMiddle", xmLabelWidgetClass, foWelcome, middleArgs);
    qv::forget_when_destroyed(&laWelcomeTop);
    qv::forget_when_destroyed(&laWelcomeMiddle);

    return box;
}

// The first line: the product name between double quotes.
void QV_instWelcomeCreateLabelCB(Widget, XtPointer, XtPointer)
{
    qv::CStr text(QV_instStrPrint("Welcome to the \"%s\" setup program.", QV_instGetProductName()));
    if (text)
        QV_instUpdateLabelString(laWelcomeTop, text.get());
}

void QV_instWelcomeMapCB(Widget w, XtPointer, XtPointer)
{
    QV_instUpdateLabelString(laWelcomeMiddle, kNoticeWhenMapped);
    QV_instSetWindowTitle(w);
    qv::unmanage_box_children(w, {XmDIALOG_HELP_BUTTON});
}

// "Continue": on to the agreement.
void QV_instWelcomeContinueCB(Widget w, XtPointer, XtPointer)
{
    qv::wizard_step(w, CreatembEULA);
}

// "Exit Setup": asks first; nothing has been written yet.
void QV_instWelcomeExitCB(Widget w, XtPointer, XtPointer)
{
    QV_exitSetupConfirmation(QV_instGetShell(w), "Setup has not yet modified any files.", "");
}

} // extern "C"
