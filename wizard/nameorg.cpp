// The name/organisation dialog and its confirmation box: the user's full
// name and organisation, kept for later installations of the product.
#include "wizard/nameorg.h"

#include <Xm/MessageB.h>
#include <Xm/TextF.h>

#include <cctype>

#include "wizard/dialog.h"
#include "wizard/glue.h"
#include "wizard/infodialog.h"
#include "wizard/infofile.h"

extern "C" {
Widget txNameOrgName = nullptr;
Widget txNameOrgOrg = nullptr;
Widget laNameOrgConfirmName = nullptr;
Widget laNameOrgConfirmOrg = nullptr;
}

namespace {

// The globals point at live widgets only: a module may build the dialogs
// again after they are gone.
void forget_entry(Widget, XtPointer, XtPointer)
{
    txNameOrgName = txNameOrgOrg = nullptr;
}

void forget_confirmation(Widget, XtPointer, XtPointer)
{
    laNameOrgConfirmName = laNameOrgConfirmOrg = nullptr;
}

bool has_visible_character(const char *text)
{
    for (const char *p = text; *p; ++p) {
        if (!std::isspace(static_cast<unsigned char>(*p)))
            return true;
    }
    return false;
}

} // namespace

extern "C" {

// Asks for the user's name and organisation, filled with what was
// entered in an earlier run.
Widget CreatembNameOrg(Widget parent)
{
    const qv::EntrySpec opts{"dsNameOrg",
                             {4, 28, 422, 275},
                             qv::kSetupTitle,
                             "mbNameOrg",
                             "foNameOrg",
                             "laNameOrg",
                             ":::t\"Enter your full name in the box below. You may also enter\""
                             ":t\"the name of your organization. Setup will use this information\""
                             "\"for subsequent installations of the product.\"",
                             QV_instNameOrgMapCB,
                             QV_instNameOrgOKCB,
                             QV_instNameOrgExitCB};
    Widget box = qv::create_entry_box(parent, opts,
                                      {{"laNameOrgName", "Name:", "txNameOrgName", &txNameOrgName},
                                       {"laNameOrgOrg", "Organization:", "txNameOrgOrg", &txNameOrgOrg}});
    XtAddCallback(box, XmNdestroyCallback, forget_entry, nullptr);
    return box;
}

// Repeats the name and organisation for the user to check.
Widget CreatembNameOrgConfirm(Widget parent)
{
    const qv::ConfirmSpec opts{"dsNameOrgConfirm", "mbNameOrgConfirm", "laNameOrg1", QV_instNameOrgConfirmMapCB,
                               QV_instNameOrgConfirmOKCB, QV_instNameOrgConfirmChangeCB};
    Widget box = qv::create_confirm_box(
        parent, opts,
        {{"laNameOrgName2", "Name:", "laNameOrgConfirmName", &laNameOrgConfirmName},
         {"laNameOrgOrg1", "Organization:", "laNameOrgConfirmOrg", &laNameOrgConfirmOrg}});
    XtAddCallback(box, XmNdestroyCallback, forget_confirmation, nullptr);
    return box;
}

// Shown: titled with the product, filled with the stored values.
void QV_instNameOrgMapCB(Widget w, XtPointer, XtPointer)
{
    qv::unmanage_box_children(w, {XmDIALOG_SEPARATOR, XmDIALOG_HELP_BUTTON});
    QV_instSetWindowTitle(w);
    qv::load_info_fields(qv::kUserInfoFile, {txNameOrgName, txNameOrgOrg});
}

// "OK": a name is required; the values are then shown for checking, over
// this dialog.
void QV_instNameOrgOKCB(Widget w, XtPointer, XtPointer)
{
    char *name = XmTextFieldGetString(txNameOrgName);
    const bool named = name && has_visible_character(name);
    XtFree(name);
    if (!named) {
        QV_instOkCancelMessageBox(QV_instGetShell(w), "A name is required", "OK", nullptr, nullptr);
        return;
    }
    qv::show_confirmation(w, CreatembNameOrgConfirm, {txNameOrgName, txNameOrgOrg},
                          {&laNameOrgConfirmName, &laNameOrgConfirmOrg});
}

// "Exit Setup": asks first; nothing has been written yet.
void QV_instNameOrgExitCB(Widget w, XtPointer, XtPointer)
{
    qv::confirm_exit_from(w);
}

// Shown: titled with the product.
void QV_instNameOrgConfirmMapCB(Widget w, XtPointer, XtPointer)
{
    qv::unmanage_box_children(w, {XmDIALOG_SEPARATOR, XmDIALOG_HELP_BUTTON});
    QV_instSetWindowTitle(w);
}

// "OK": keeps the values for later runs and goes on to the reseller.
void QV_instNameOrgConfirmOKCB(Widget w, XtPointer, XtPointer)
{
    qv::store_info_fields(qv::kUserInfoFile, {txNameOrgName, txNameOrgOrg});
    // The confirmation lives in the entry dialog's shell: both go.
    Widget next = qv::wizard_step(XtParent(QV_instGetShell(w)), CreatembReseller);
    qv::unmanage_box_children(next, {XmDIALOG_HELP_BUTTON});
}

// "Change": back to the entry dialog, as the user left it.
void QV_instNameOrgConfirmChangeCB(Widget w, XtPointer, XtPointer)
{
    XtDestroyWidget(QV_instGetShell(w));
}

} // extern "C"
