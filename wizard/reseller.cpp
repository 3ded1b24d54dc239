// The reseller dialog and its confirmation box: who sold the product, shown
// later in the application's 'About' box.
#include <Xm/Form.h>
#include <Xm/Label.h>
#include <Xm/MessageB.h>

#include "wizard/dialog.h"
#include "wizard/glue.h"
#include "wizard/infodialog.h"
#include "wizard/infofile.h"

extern "C" {
Widget txResellerName = nullptr;
Widget txResellerPhone = nullptr;
Widget txResellerEmail = nullptr;
Widget laResellerConfirmName = nullptr;
Widget laResellerConfirmPhone = nullptr;
Widget laResellerConfirmEmail = nullptr;
}

namespace {

void forget_entry(Widget, XtPointer, XtPointer)
{
    txResellerName = txResellerPhone = txResellerEmail = nullptr;
}

void forget_confirmation(Widget, XtPointer, XtPointer)
{
    laResellerConfirmName = laResellerConfirmPhone = laResellerConfirmEmail = nullptr;
}

} // namespace

extern "C" {

// Asks for the reseller's name, phone number and e-mail address, filled
// with what was entered in an earlier run.
Widget CreatembReseller(Widget parent)
{
    const qv::Geometry where{4, 28, 437, 347};
    Widget shell = qv::create_dialog_shell(parent, "dsReseller", &where, "Quorvanta|QVR setup",
                                           qv::kMwmFullApplicationModal);
    qv::BoxSpec spec("mbReseller");
    spec.noResize = True;
    spec.cancelLabel = "Exit Setup";
    spec.mapCB = QV_instResellerMapCB;
    spec.okCB = QV_instResellerOKCB;
    spec.cancelCB = QV_instResellerExitCB;
    Widget box = qv::create_message_box(shell, spec);
    qv::keep_full_application_modal(shell);
    XtAddCallback(box, XmNdestroyCallback, forget_entry, nullptr);

    qv::Args formArgs(box);
    Widget form = qv::create_managed("foReseller", xmFormWidgetClass, box, formArgs);

    qv::Args labelArgs(form);
    labelArgs.set(XmNalignment, XmALIGNMENT_BEGINNING);
    labelArgs.text(XmNlabelString, ":::t\"Information about your Reseller or Dealer:\":t\"\""
                                   ":t\"Information entered in these fields will appear in the\""
                                   ":t\"'About QVR' box. Should you encounter problems with\""
                                   "\"QVR, you will want this information close at hand.\"");
    labelArgs.attach(qv::Args::Top, 10).attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    Widget laReseller = qv::create_managed("laReseller", xmLabelWidgetClass, form, labelArgs);

    qv::info_rows(form, laReseller,
                  {{"laResellerName", "Name:", "txResellerName", &txResellerName},
                   {"laResellerPhone", "Phone:", "txResellerPhone", &txResellerPhone},
                   {"laResellerEmail", "Email:", "txResellerEmail", &txResellerEmail}},
                  true);
    return box;
}

// Repeats the reseller's details for the user to check.
Widget CreatembResellerConfirm(Widget parent)
{
    const qv::ConfirmSpec spec{"dsResellerConfirm", "mbResellerConfirm", "laReseller1", QV_instResellerConfirmMapCB,
                               QV_instResellerConfirmOKCB, QV_instResellerConfirmChangeCB};
    Widget box = qv::create_confirm_box(
        parent, spec,
        {{"laResellerName2", "Name:", "laResellerConfirmName", &laResellerConfirmName},
         {"laResellerPhone1", "Phone:", "laResellerConfirmPhone", &laResellerConfirmPhone},
         {"laResellerEmail1", "Email:", "laResellerConfirmEmail", &laResellerConfirmEmail}});
    XtAddCallback(box, XmNdestroyCallback, forget_confirmation, nullptr);
    return box;
}

// The shell keeps its own title here.
void QV_instResellerMapCB(Widget, XtPointer, XtPointer)
{
    qv::load_info_fields(qv::kResellerInfoFile, {txResellerName, txResellerPhone, txResellerEmail});
}

// "OK": every field may stay empty; the values are shown for checking.
void QV_instResellerOKCB(Widget w, XtPointer, XtPointer)
{
    qv::show_confirmation(w, CreatembResellerConfirm, {txResellerName, txResellerPhone, txResellerEmail},
                          {&laResellerConfirmName, &laResellerConfirmPhone, &laResellerConfirmEmail});
}

// "Exit Setup": asks first; nothing has been written yet.
void QV_instResellerExitCB(Widget w, XtPointer, XtPointer)
{
    qv::confirm_exit_from(w);
}

void QV_instResellerConfirmMapCB(Widget w, XtPointer, XtPointer)
{
    qv::unmanage_box_children(w, {XmDIALOG_SEPARATOR, XmDIALOG_HELP_BUTTON});
    QV_instSetWindowTitle(w);
}

// "OK": keeps the values for later runs and goes on to the destination.
void QV_instResellerConfirmOKCB(Widget w, XtPointer, XtPointer)
{
    qv::store_info_fields(qv::kResellerInfoFile, {txResellerName, txResellerPhone, txResellerEmail});
    qv::wizard_step(XtParent(QV_instGetShell(w)), CreatembChangeDestination);
}

// "Change": back to the reseller dialog, as the user left it.
void QV_instResellerConfirmChangeCB(Widget w, XtPointer, XtPointer)
{
    XtDestroyWidget(QV_instGetShell(w));
}

} // extern "C"
