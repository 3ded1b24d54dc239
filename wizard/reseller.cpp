// The reseller dialog and its confirmation box: who sold the product, shown
// later in the application's 'About' box.
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
    const qv::EntrySpec opts{"dsReseller",
                             {4, 28, 437, 347},
                             "Quorvanta|QVR setup",
                             "mbReseller",
                             "foReseller",
                             "laReseller",
                             ":::t\"Information about your Reseller or Dealer:\":t\"\""
                             ":t\"Information entered in these fields will appear in the\""
                             ":t\"'About QVR' box. Should you encounter problems with\""
                             "\"QVR, you will want this information close at hand.\"",
                             QV_instResellerMapCB,
                             QV_instResellerOKCB,
                             QV_instResellerExitCB};
    Widget box = qv::create_entry_box(parent, opts,
                                      {{"laResellerName", "Name:", "txResellerName", &txResellerName},
                                       {"laResellerPhone", "Phone:", "txResellerPhone", &txResellerPhone},
                                       {"laResellerEmail", "Email:", "txResellerEmail", &txResellerEmail}});
    XtAddCallback(box, XmNdestroyCallback, forget_entry, nullptr);
    return box;
}

// Repeats the reseller's details for the user to check.
Widget CreatembResellerConfirm(Widget parent)
{
    const qv::ConfirmSpec opts{"dsResellerConfirm", "mbResellerConfirm", "laReseller1", QV_instResellerConfirmMapCB,
                               QV_instResellerConfirmOKCB, QV_instResellerConfirmChangeCB};
    Widget box = qv::create_confirm_box(
        parent, opts,
        {{"laResellerName2", "Name:", "laResellerConfirmName", &laResellerConfirmName},
         {"laResellerPhone1", "Phone:", "laResellerConfirmPhone", &laResellerConfirmPhone},
         {"laResellerEmail1", "Email:", "laResellerConfirmEmail", &laResellerConfirmEmail}});
    XtAddCallback(box, XmNdestroyCallback, forget_confirmation, nullptr);
    return box;
}

// Shown: filled with the stored values; the shell keeps its own title.
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

// Shown: titled with the product.
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
