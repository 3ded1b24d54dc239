// The maintenance dialog: shown instead of the wizard when the product is
// already installed; its components can be added or removed, or all of it
// removed. Also the two walks that set selected and installed states below
// a configuration.
#include "wizard/maintenance.h"

#include <Xm/Form.h>
#include <Xm/Frame.h>
#include <Xm/Label.h>
#include <Xm/MessageB.h>
#include <Xm/PushB.h>
#include <Xm/RowColumn.h>

#include <cstdio>

#include "engine/install.h"
#include "engine/internal.h"
#include "engine/util.h"
#include "wizard/dialog.h"
#include "wizard/glue.h"

extern "C" {
// Stays set once created, also after the dialog is gone: it marks the run as
// a maintenance run for the install driver and the options dialog.
Widget mbMaintenance = nullptr;
Widget laMaintenanceWelcome = nullptr;
Widget rcMaintenanceAddRemove = nullptr;
Widget pbMaintenanceAddRemove = nullptr;
Widget pbMaintenanceRemoveall = nullptr;
}

namespace {

using qv::kMaintenanceList;

// Shown when the description has no options list to maintain.
constexpr const char kNoMaintenanceList[] = "Error: invalid or incomplete setup configuration file";

// The other widgets die with the dialog (mbMaintenance itself is kept as
// the mark of a maintenance run).
void forget_widgets(Widget w, XtPointer, XtPointer)
{
    if (w != mbMaintenance)
        return;
    laMaintenanceWelcome = rcMaintenanceAddRemove = pbMaintenanceAddRemove = pbMaintenanceRemoveall = nullptr;
}

// A push button beside its explanation, in a horizontal row-column.
Widget action_row(Widget parent, const char *rowName, const char *buttonName, const char *buttonText,
                  XtCallbackProc activate, const char *explanationRow, const char *explanationName,
                  const char *explanation, Widget *rowOut = nullptr)
{
    qv::Args rowArgs(parent);
    rowArgs.set(XmNorientation, XmHORIZONTAL).set(XmNspacing, 15).set(XmNentryAlignment, XmALIGNMENT_CENTER);
    Widget row = qv::create_managed(rowName, xmRowColumnWidgetClass, parent, rowArgs);
    if (rowOut)
        *rowOut = row;

    qv::Args buttonArgs(row);
    buttonArgs.set(XmNalignment, XmALIGNMENT_CENTER);
    buttonArgs.text(XmNlabelString, buttonText);
    Widget button = qv::create_managed(buttonName, xmPushButtonWidgetClass, row, buttonArgs);
    XtAddCallback(button, XmNactivateCallback, activate, nullptr);

    qv::Args textRowArgs(row);
    Widget textRow = qv::create_managed(explanationRow, xmRowColumnWidgetClass, row, textRowArgs);
    qv::Args textArgs(textRow);
    textArgs.text(XmNlabelString, explanation);
    qv::create_managed(explanationName, xmLabelWidgetClass, textRow, textArgs);
    return button;
}

// Asks on the main shell; true for "Yes".
bool confirmed(const char *question)
{
    return QV_instOkCancelMessageBox(QV_instGetMainTopLevelShell(), question, "Yes", "No", nullptr) == 0;
}

// Starts the run on list; the progress dialog then takes over. A run that
// cannot start brings the maintenance dialog back, so setup keeps a window
// to be left from, and says why when there is no list.
void run_or_come_back(_QV_InstConfigList *list, int removeAll)
{
    if (QV_instCommandLineInstall(CDInstPtr, list, removeAll) == 0)
        return;
    mbMaintenance = CreatembMaintenance(QV_instGetMainTopLevelShell());
    QV_DisableAddButtonIfNecessary();
    XtManageChild(mbMaintenance);
    if (!list)
        QV_instOkCancelMessageBox(QV_instGetMainTopLevelShell(), kNoMaintenanceList, "OK", nullptr, nullptr);
}

} // namespace

extern "C" {

Widget CreatembMaintenance(Widget parent)
{
    const qv::Geometry where{4, 28, 516, 340};
    Widget shell = qv::create_dialog_shell(parent, "dsMaintenance", &where);

    qv::BoxSpec opts("mbMaintenance");
    opts.noResize = True;
    opts.cancelLabel = "Exit Setup";
    opts.mapCB = QV_instMaintenanceMapCB;
    opts.cancelCB = QV_instMaintenaceExitCB;
    mbMaintenance = qv::create_message_box(shell, opts);
    XtAddCallback(mbMaintenance, XmNdestroyCallback, forget_widgets, nullptr);

    qv::Args workArgs(mbMaintenance);
    workArgs.set(XmNspacing, 10);
    Widget rowColumn = qv::create_managed("rowColumn", xmRowColumnWidgetClass, mbMaintenance, workArgs);

    qv::Args frameArgs(rowColumn);
    Widget frame = qv::create_managed("frame", xmFrameWidgetClass, rowColumn, frameArgs);
    qv::Args formArgs(frame);
    Widget form = qv::create_managed("form", xmFormWidgetClass, frame, formArgs);

    qv::Args welcomeArgs(form);
    welcomeArgs.set(XmNalignment, XmALIGNMENT_BEGINNING);
    welcomeArgs.attach(qv::Args::Top, 10).attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    laMaintenanceWelcome = qv::create_managed("laMaintenanceWelcome", xmLabelWidgetClass, form, welcomeArgs);
    QV_instMaintenanceWelcomeCreateCB(laMaintenanceWelcome, nullptr, nullptr);

    qv::Args introArgs(form);
    introArgs.set(XmNalignment, XmALIGNMENT_BEGINNING);
    introArgs.text(XmNlabelString, ":::t\"This program lets you make changes to the current installation. Click one\""
                                   "\"of the following options:\"");
    introArgs.attach(qv::Args::Top, laMaintenanceWelcome, 10).attach(qv::Args::Left, 10);
    introArgs.attach(qv::Args::Right, 10).attach(qv::Args::Bottom, 10);
    qv::create_managed("label1", xmLabelWidgetClass, form, introArgs);

    pbMaintenanceAddRemove = action_row(
        rowColumn, "rcMaintenanceAddRemove", "pbMaintenanceAddRemove", "Add/Remove...", QV_instMaintenanceAddRemoveCB,
        "rowColumn4", "label",
        ":::t\"Add new components or remove installed \"\"components from the current installation.\"",
        &rcMaintenanceAddRemove);
    pbMaintenanceRemoveall =
        action_row(rowColumn, "rowColumn3", "pbMaintenanceRemoveall", "Remove all", QV_instMaintenanceRemoveallCB,
                   "rowColumn6", "label3", ":::t\"Remove all previous installed components\"");
    return mbMaintenance;
}

// The greeting names the product.
void QV_instMaintenanceWelcomeCreateCB(Widget w, XtPointer, XtPointer)
{
    qv::CStr text(QV_instStrPrint("Welcome to the %s installation maintenance program.", QV_instGetProductName()));
    if (text)
        QV_instUpdateLabelString(w, text.get());
}

void QV_instMaintenanceMapCB(Widget w, XtPointer, XtPointer)
{
    qv::unmanage_box_children(w, {XmDIALOG_OK_BUTTON, XmDIALOG_HELP_BUTTON});
    if (pbMaintenanceAddRemove && pbMaintenanceRemoveall)
        QV_makeAllWidgetSameMaxWidth(pbMaintenanceAddRemove, pbMaintenanceRemoveall, static_cast<Widget>(nullptr));
    QV_instSetWindowTitle(w);
}

// "Exit Setup": asks first; maintenance has changed nothing yet.
void QV_instMaintenaceExitCB(Widget w, XtPointer, XtPointer)
{
    QV_exitSetupConfirmation(QV_instGetShell(w), "Setup has not yet modified any files", "");
}

// "Add/Remove...": the product's options list with what is installed
// chosen, in maintenance mode.
void QV_instMaintenanceAddRemoveCB(Widget w, XtPointer, XtPointer)
{
    _QV_InstConfigList *list = QV_instGetConfigFromId(CDInstPtr, kMaintenanceList);
    // Only an options list can be shown (and sized) in the options dialog.
    if (!list || list->type != QV_CONFIG_CUSDLG) {
        QV_instOkCancelMessageBox(QV_instGetMainTopLevelShell(), kNoMaintenanceList, "OK", nullptr, nullptr);
        return;
    }
    XtDestroyWidget(QV_instGetShell(w));
    QV_instInstallationMode = 1;
    for (int32_t id : qv::children(list)) {
        if (_QV_InstConfigList *child = QV_instGetConfigFromId(CDInstPtr, id))
            child->selected = child->installed;
    }
    QV_instConfigureCustomDlgCB(nullptr, list, nullptr);
}

// "Remove all": after a confirmation, every component is removed.
void QV_instMaintenanceRemoveallCB(Widget w, XtPointer, XtPointer)
{
    _QV_InstConfigList *list = QV_instGetConfigFromId(CDInstPtr, kMaintenanceList);
    if (!confirmed("Remove all files - are you sure ?"))
        return;
    XtDestroyWidget(QV_instGetShell(w));
    SetSelectedFlags(list, 0);
    run_or_come_back(list, 1);
}

// Installs every chosen component again, as if none were installed. No
// button offers it; modules can.
void QV_instMaintenanceReinstallCB(Widget w, XtPointer, XtPointer)
{
    _QV_InstConfigList *list = QV_instGetConfigFromId(CDInstPtr, kMaintenanceList);
    if (!confirmed("Reinstall files - are you sure ?"))
        return;
    XtDestroyWidget(QV_instGetShell(w));
    if (!list) {
        std::puts("Error in SetInstalledFlags");
    } else if (list->type == QV_CONFIG_SUITE) {
        if (list->data.suite && list->data.suite->suite)
            list->data.suite->suite->installed = 0;
    } else if (list->type == QV_CONFIG_CUSDLG) {
        for (int32_t id : qv::children(list))
            SetInstalledFlags(QV_instGetConfigFromId(CDInstPtr, id), 0);
    }
    run_or_come_back(list, 0);
}

// Sets the selected state of config and of everything in the lists below
// it; a list also counts as installed, so that its deselection removes.
void SetSelectedFlags(_QV_InstConfigList *config, int value)
{
    if (!config) {
        std::puts("Error in SetSelectedFlafs");
        return;
    }
    config->selected = value;
    if (config->type != QV_CONFIG_CUSDLG)
        return;
    config->installed = 1;
    for (int32_t id : qv::children(config)) {
        _QV_InstConfigList *child = QV_instGetConfigFromId(CDInstPtr, id);
        if (!child)
            std::puts("Error in SetSelectedFlafs");
        else
            SetSelectedFlags(child, value);
    }
}

// Sets the installed state of the suites below config (their suite
// records; the configurations' own states stay).
void SetInstalledFlags(_QV_InstConfigList *config, int value)
{
    if (!config) {
        std::puts("Error in SetInstalledFlags");
        return;
    }
    if (config->type == QV_CONFIG_SUITE) {
        if (config->data.suite && config->data.suite->suite)
            config->data.suite->suite->installed = value;
    } else if (config->type == QV_CONFIG_CUSDLG) {
        for (int32_t id : qv::children(config))
            SetInstalledFlags(QV_instGetConfigFromId(CDInstPtr, id), value);
    }
}

} // extern "C"
