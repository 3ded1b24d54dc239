// The custom options dialog: the optional components of one options list,
// one row each (toggle, name, size), with their description, sub-groups,
// the destination and the disk space; in maintenance mode also how many
// components the changes add and remove.
#include "wizard/custom.h"

#include <Xm/Form.h>
#include <Xm/Frame.h>
#include <Xm/Label.h>
#include <Xm/MessageB.h>
#include <Xm/PushB.h>
#include <Xm/RowColumn.h>
#include <Xm/ScrolledW.h>
#include <Xm/ToggleB.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/install.h"
#include "engine/internal.h"
#include "engine/util.h"
#include "wizard/dialog.h"
#include "wizard/glue.h"

extern "C" {
Widget mbCustom = nullptr;
Widget foCustom = nullptr;
Widget foCustomComponentCount = nullptr;
Widget laCustomAvailableValue1 = nullptr; // the remove count
Widget laCustomRequiredValue1 = nullptr;  // the add count
Widget laCustomAvailableValue = nullptr;
Widget laCustomRequiredValue = nullptr;
Widget laCustomFolderPath = nullptr;
Widget pbCustomChangeOption = nullptr;
Widget laCustomDescriptionItem = nullptr;
Widget swCustomOptions = nullptr;
Widget rcCustomOptions = nullptr;
}

namespace {

// Components that the shown changes add and remove (maintenance mode).
int addCount = 0;
int removeCount = 0;

constexpr const char kInstruction[] =
    ":::t\"In the Options list, select the items you want installed; clear the items you do not want installed.\""
    ":t\"\""
    ":t\"If the Change Option button is present, it indicated that only part of the component will be installed. To\""
    "\"select all components in the Options list. click Select All.\"";

constexpr const char kVitalWarning[] = "This component is an essential part of the\n"
                                       "application. If it is not installed, the application\n"
                                       "will not run properly";

// Shown for a space that cannot be determined: the destination has no
// partition to examine, or the list names a menu.
constexpr const char kUnknownSpace[] = "Unknown";

// The text as a compound string for a label; a text that does not convert
// gives an empty one, so the label shows nothing rather than its own name.
XmString label_xmstring(Widget ref, const char *text)
{
    Boolean ok = False;
    XtArgVal value = CONVERT(ref, text ? text : "", XmRXmString, 0, &ok);
    if (ok && value)
        return reinterpret_cast<XmString>(value);
    return XmStringCreateLocalized(const_cast<char *>(""));
}

void set_label(Widget label, const char *text)
{
    if (!label)
        return;
    XmString s = label_xmstring(label, text);
    XtVaSetValues(label, XmNlabelString, s, nullptr);
    XmStringFree(s);
}

void show_number(Widget label, int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    set_label(label, text);
}

// A copy of the record that counts as wanted and not yet installed: its
// write size is the room the component takes. The record is not touched.
_QV_InstConfigList as_new_installation(const _QV_InstConfigList &config)
{
    _QV_InstConfigList copy = config;
    copy.installed = 1;
    copy.selected = 1;
    return copy;
}

const char *row_name(const _QV_InstConfigList *config)
{
    if (config->type == QV_CONFIG_SUITE)
        return config->data.suite && config->data.suite->suite ? config->data.suite->suite->name : nullptr;
    return config->type == QV_CONFIG_CUSDLG && config->data.cus ? config->data.cus->title : nullptr;
}

const char *description_of(const _QV_InstConfigList *config)
{
    if (!config->data.any)
        return nullptr;
    switch (config->type) {
    case QV_CONFIG_SUITE:
        return config->data.suite->description;
    case QV_CONFIG_CUSDLG:
        return config->data.cus->description;
    default:
        return config->data.main->description;
    }
}

bool is_hidden_suite(const _QV_InstConfigList *config)
{
    return config->type == QV_CONFIG_SUITE && config->data.suite && config->data.suite->suite &&
           config->data.suite->suite->hidden;
}

bool is_vital_suite(const _QV_InstConfigList *config)
{
    return config->type == QV_CONFIG_SUITE && config->data.suite && config->data.suite->suite &&
           config->data.suite->suite->vital;
}

// An installed list that the user has deselected: everything installed
// below it goes.
bool is_list_being_removed(const _QV_InstConfigList *config)
{
    return config && config->type == QV_CONFIG_CUSDLG && config->installed != config->selected &&
           config->selected != 1;
}

// The rows offer suites and lists. An id that names nothing, and a menu
// (whose record holds only 4 ids and cannot be sized), get no row.
_QV_InstConfigList *listed_child(int32_t id)
{
    _QV_InstConfigList *child = QV_instGetConfigFromId(CDInstPtr, id);
    if (child && (child->type == QV_CONFIG_SUITE || child->type == QV_CONFIG_CUSDLG))
        return child;
    return nullptr;
}

// The size walks end the program at a menu, and a list may name one (the
// reader allows it): such a list is shown without a size.
bool can_be_sized(const _QV_InstConfigList *config)
{
    if (config->type == QV_CONFIG_MAINDLG)
        return false;
    for (int32_t id : qv::children(config)) {
        const _QV_InstConfigList *child = QV_instGetConfigFromId(CDInstPtr, id);
        if (child && !can_be_sized(child))
            return false;
    }
    return true;
}

void show_counters()
{
    show_number(laCustomRequiredValue1, addCount);
    show_number(laCustomAvailableValue1, removeCount);
}

// Counts the changes below node: a suite inside an installed list that is
// being deselected counts as removed when installed; any other suite by its
// own states. So deselecting one list row counts the suites of that list
// only, not those of its siblings.
void count_suite(const _QV_InstConfigList *suite, bool insideRemovedList)
{
    if (insideRemovedList) {
        if (suite->installed == 1)
            ++removeCount;
    } else if (suite->installed != suite->selected) {
        ++(suite->selected != 0 ? addCount : removeCount);
    }
}

void count_changes(const _QV_InstConfigList *node, bool insideRemovedList)
{
    if (node->type == QV_CONFIG_CUSDLG) {
        const bool removed = insideRemovedList || is_list_being_removed(node);
        for (int32_t id : qv::children(node)) {
            if (const _QV_InstConfigList *child = QV_instGetConfigFromId(CDInstPtr, id))
                count_changes(child, removed);
        }
    } else if (node->type == QV_CONFIG_SUITE) {
        count_suite(node, insideRemovedList);
    }
}

// The counters for everything the shown list changes.
void show_changes_of(const _QV_InstConfigList *list)
{
    QV_instCustomUpdateReset();
    if (!list || list->type != QV_CONFIG_CUSDLG)
        return;
    count_changes(list, false);
    show_counters();
}

// One row of the list: toggle, name and size of a component.
void add_row(_QV_InstConfigList *child)
{
    qv::Args rowArgs(rcCustomOptions);
    Widget row = qv::create_managed("foCustomOptionsItem", xmFormWidgetClass, rcCustomOptions, rowArgs);
    XtAddCallback(row, XmNfocusCallback, QV_instCustomItemFocusCB, child);

    XmString empty = label_xmstring(row, "");
    qv::Args toggleArgs(row);
    toggleArgs.attach(qv::Args::Top, 0).attach(qv::Args::Bottom, 0).attach(qv::Args::Left, 5);
    toggleArgs.set(XmNalignment, XmALIGNMENT_BEGINNING);
    toggleArgs.set(XmNlabelString, reinterpret_cast<XtArgVal>(empty));
    toggleArgs.set(XmNset, child->selected == 1 ? XmSET : XmUNSET);
    // Motif sizes the indicator after the label's text, and there is none.
    toggleArgs.set(XmNindicatorSize, 15);
    // A check mark: Motif's default fill of a set box is a grey barely
    // darker than an empty one, so the user could not tell what is chosen.
    toggleArgs.set(XmNindicatorOn, XmINDICATOR_CHECK_BOX);
    Widget toggle = qv::create_managed("tbCustomItem", xmToggleButtonWidgetClass, row, toggleArgs);
    XmStringFree(empty);
    XtAddCallback(toggle, XmNvalueChangedCallback, QV_instCustomTBChangeCB, child);

    XmString name = label_xmstring(row, row_name(child));
    qv::Args nameArgs(row);
    nameArgs.attach(qv::Args::Top, 0).attach(qv::Args::Bottom, 0).attach(qv::Args::Left, toggle, 5);
    nameArgs.set(XmNalignment, XmALIGNMENT_END);
    nameArgs.set(XmNlabelString, reinterpret_cast<XtArgVal>(name));
    // A list is greyed when some list below it has been deselected.
    nameArgs.set(XmNsensitive, QV_instIsAllConfigSelected(child, 0) ? True : False);
    qv::create_managed("laCustomItemName", xmLabelWidgetClass, row, nameArgs);
    XmStringFree(name);

    _QV_InstConfigList asNew = as_new_installation(*child);
    char sizeText[QV_SIZE_STRING_MAX] = "";
    if (can_be_sized(child))
        QV_instFormatSizeString(QV_instGetWriteSize(CDInstPtr, &asNew, 0), sizeText);
    XmString size = label_xmstring(row, sizeText);
    qv::Args sizeArgs(row);
    sizeArgs.attach(qv::Args::Top, 0).attach(qv::Args::Bottom, 0).attach(qv::Args::Right, 5);
    sizeArgs.set(XmNalignment, XmALIGNMENT_END);
    sizeArgs.set(XmNlabelString, reinterpret_cast<XtArgVal>(size));
    qv::create_managed("laCustomItemSize", xmLabelWidgetClass, row, sizeArgs);
    XmStringFree(size);
}

void remove_rows()
{
    WidgetList children = nullptr;
    Cardinal count = 0;
    XtVaGetValues(rcCustomOptions, XmNchildren, &children, XmNnumChildren, &count, nullptr);
    // Destroying a child edits the row-column's child list: work on a copy.
    std::vector<Widget> rows(children, children + count);
    for (Widget row : rows)
        XtDestroyWidget(row);
}

// The widgets die with the dialog; forgetting them keeps a later call from
// a module from touching freed widgets.
void forget_widgets(Widget w, XtPointer, XtPointer)
{
    if (w != mbCustom)
        return;
    for (Widget *global : {&mbCustom, &foCustom, &foCustomComponentCount, &laCustomAvailableValue1,
                           &laCustomRequiredValue1, &laCustomAvailableValue, &laCustomRequiredValue,
                           &laCustomFolderPath, &pbCustomChangeOption, &laCustomDescriptionItem, &swCustomOptions,
                           &rcCustomOptions})
        *global = nullptr;
}

// The title at the top left of one of the two areas side by side.
Widget heading(Widget form, const char *name, const char *text)
{
    qv::Args args(form);
    args.text(XmNlabelString, text);
    args.set(XmNalignment, XmALIGNMENT_BEGINNING);
    args.attach(qv::Args::Top, 0).attach(qv::Args::Left, 0);
    return qv::create_managed(name, xmLabelWidgetClass, form, args);
}

// A label and its value side by side in a form, below `above` (or at the
// top), the value right-aligned; returns the value label, and the label in
// *label.
Widget labelled_value(Widget form, const char *name, const char *text, Widget above, const char *valueName,
                      const char *value, Widget *labelOut = nullptr)
{
    qv::Args args(form);
    args.text(XmNlabelString, text);
    args.set(XmNalignment, XmALIGNMENT_BEGINNING);
    args.attach(qv::Args::Left, 10);
    if (above)
        args.attach(qv::Args::Top, above, 5);
    else
        args.attach(qv::Args::Top, 5);
    Widget label = qv::create_managed(name, xmLabelWidgetClass, form, args);
    if (labelOut)
        *labelOut = label;

    qv::Args valueArgs(form);
    valueArgs.text(XmNlabelString, value);
    valueArgs.set(XmNalignment, XmALIGNMENT_END);
    valueArgs.attach(qv::Args::Left, label, 10).attach(qv::Args::Right, 10);
    valueArgs.set(XmNtopAttachment, XmATTACH_OPPOSITE_WIDGET).set(XmNtopWidget, reinterpret_cast<XtArgVal>(label));
    return qv::create_managed(valueName, xmLabelWidgetClass, form, valueArgs);
}

// Back to the dialog the list was opened from; see QV_instCustomReturnToParent.
void leave_list(Widget w, _QV_InstConfigList *list)
{
    QV_instCustomReturnToParent(w);
    list->parent = nullptr;
}

} // namespace

extern "C" {

Widget CreatembCustom(Widget parent)
{
    const qv::Geometry where{4, 28, 852, 635};
    Widget shell = qv::create_dialog_shell(parent, "dsCustomDlg", &where);

    qv::BoxSpec opts("mbCustom");
    opts.noResize = True;
    opts.okLabel = "Continue";
    opts.mapCB = QV_instCustomMapCB;
    opts.okCB = QV_instCustomOKCB;
    opts.cancelCB = QV_instCustomCancelCB;
    mbCustom = qv::create_message_box(shell, opts);
    XtAddCallback(mbCustom, XmNdestroyCallback, forget_widgets, nullptr);

    qv::Args formArgs(mbCustom);
    formArgs.set(XmNy, 25);
    foCustom = qv::create_managed("foCustom", xmFormWidgetClass, mbCustom, formArgs);

    qv::Args instructionArgs(foCustom);
    instructionArgs.text(XmNlabelString, kInstruction);
    instructionArgs.set(XmNalignment, XmALIGNMENT_BEGINNING);
    instructionArgs.attach(qv::Args::Top, 10).attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    Widget laCustom = qv::create_managed("laCustom", xmLabelWidgetClass, foCustom, instructionArgs);

    // The options (left) beside the description (right).
    qv::Args optionsArgs(foCustom);
    optionsArgs.set(XmNwidth, 400).set(XmNheight, 260);
    optionsArgs.attach(qv::Args::Top, laCustom, 10).attach(qv::Args::Left, 10);
    Widget foCustomOptions = qv::create_managed("foCustomOptions", xmFormWidgetClass, foCustom, optionsArgs);

    Widget laCustomOptions = heading(foCustomOptions, "laCustomOptions", "Options:");

    qv::Args scrolledArgs(foCustomOptions);
    scrolledArgs.set(XmNscrollingPolicy, XmAUTOMATIC);
    scrolledArgs.attach(qv::Args::Top, laCustomOptions, 5).attach(qv::Args::Left, 0);
    scrolledArgs.attach(qv::Args::Right, 0).attach(qv::Args::Bottom, 0);
    swCustomOptions = qv::create_managed("swCustomOptions", xmScrolledWindowWidgetClass, foCustomOptions,
                                         scrolledArgs);

    qv::Args rowsArgs(swCustomOptions);
    rowsArgs.set(XmNresizeWidth, False).set(XmNwidth, 375);
    rcCustomOptions = qv::create_managed("rcCustomOptions", xmRowColumnWidgetClass, swCustomOptions, rowsArgs);
    XtVaSetValues(swCustomOptions, XmNworkWindow, rcCustomOptions, nullptr);

    qv::Args descriptionArgs(foCustom);
    descriptionArgs.set(XmNwidth, 400).set(XmNheight, 260);
    descriptionArgs.attach(qv::Args::Top, laCustom, 10).attach(qv::Args::Left, foCustomOptions, 10);
    Widget foCustomDescription = qv::create_managed("foCustomDescription", xmFormWidgetClass, foCustom,
                                                    descriptionArgs);

    Widget laCustomDescription = heading(foCustomDescription, "laCustomDescription", "Description:");

    qv::Args frameArgs(foCustomDescription);
    frameArgs.attach(qv::Args::Top, laCustomDescription, 5).attach(qv::Args::Left, 0);
    frameArgs.attach(qv::Args::Right, 0).attach(qv::Args::Bottom, 0);
    Widget frCustomDescription = qv::create_managed("frCustomDescription", xmFrameWidgetClass, foCustomDescription,
                                                    frameArgs);

    qv::Args itemArgs(frCustomDescription);
    itemArgs.set(XmNresizePolicy, XmRESIZE_NONE);
    Widget foCustomDescriptionItem = qv::create_managed("foCustomDescriptionItem", xmFormWidgetClass,
                                                        frCustomDescription, itemArgs);

    qv::Args itemLabelArgs(foCustomDescriptionItem);
    XmString empty = label_xmstring(foCustomDescriptionItem, "");
    itemLabelArgs.set(XmNlabelString, reinterpret_cast<XtArgVal>(empty));
    itemLabelArgs.set(XmNalignment, XmALIGNMENT_BEGINNING);
    itemLabelArgs.attach(qv::Args::Top, 10).attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    laCustomDescriptionItem = qv::create_managed("laCustomDescriptionItem", xmLabelWidgetClass,
                                                 foCustomDescriptionItem, itemLabelArgs);
    XmStringFree(empty);

    qv::Args selectAllArgs(foCustomDescriptionItem);
    selectAllArgs.text(XmNlabelString, "Select All");
    selectAllArgs.attach(qv::Args::Bottom, 10).attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    Widget pbCustomDescriptionItem = qv::create_managed("pbCustomDescriptionItem", xmPushButtonWidgetClass,
                                                        foCustomDescriptionItem, selectAllArgs);
    XtAddCallback(pbCustomDescriptionItem, XmNactivateCallback, QV_instCustomSelectAllCB, nullptr);

    qv::Args changeArgs(foCustomDescriptionItem);
    changeArgs.text(XmNlabelString, "Change Option");
    changeArgs.set(XmNsensitive, False);
    changeArgs.attach(qv::Args::Bottom, pbCustomDescriptionItem, 5);
    changeArgs.attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    pbCustomChangeOption = qv::create_managed("pbCustomChangeOption", xmPushButtonWidgetClass,
                                              foCustomDescriptionItem, changeArgs);

    // The destination across the whole width.
    qv::Args folderLabelArgs(foCustom);
    folderLabelArgs.text(XmNlabelString, "Folder for Currently Selected Options:");
    folderLabelArgs.set(XmNalignment, XmALIGNMENT_BEGINNING);
    folderLabelArgs.attach(qv::Args::Top, foCustomOptions, 10).attach(qv::Args::Left, 10);
    Widget laCustomFolder = qv::create_managed("laCustomFolder", xmLabelWidgetClass, foCustom, folderLabelArgs);

    qv::Args folderFrameArgs(foCustom);
    folderFrameArgs.attach(qv::Args::Top, laCustomFolder, 5).attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    Widget frCustomFolder = qv::create_managed("frCustomFolder", xmFrameWidgetClass, foCustom, folderFrameArgs);
    qv::Args folderFormArgs(frCustomFolder);
    Widget foCustomFolder = qv::create_managed("foCustomFolder", xmFormWidgetClass, frCustomFolder, folderFormArgs);
    qv::Args pathArgs(foCustomFolder);
    pathArgs.text(XmNlabelString, "Destination path");
    pathArgs.set(XmNalignment, XmALIGNMENT_BEGINNING);
    pathArgs.attach(qv::Args::Top, 5).attach(qv::Args::Bottom, 5).attach(qv::Args::Left, 5).attach(qv::Args::Right, 5);
    laCustomFolderPath = qv::create_managed("laCustomFolderPath", xmLabelWidgetClass, foCustomFolder, pathArgs);

    // The space (left, its right edge 410 pixels from the form's left edge)
    // beside the counters (right).
    qv::Args spaceArgs(foCustom);
    spaceArgs.attach(qv::Args::Top, frCustomFolder, 10).attach(qv::Args::Left, 10);
    spaceArgs.set(XmNrightAttachment, XmATTACH_OPPOSITE_FORM).set(XmNrightOffset, -410);
    Widget foCustomSpace = qv::create_managed("foCustomSpace", xmFormWidgetClass, foCustom, spaceArgs);
    Widget laCustomAvailable = nullptr;
    laCustomAvailableValue = labelled_value(foCustomSpace, "laCustomAvailable", "Space available:", nullptr,
                                            "laCustomAvailableValue", "0K", &laCustomAvailable);
    laCustomRequiredValue = labelled_value(foCustomSpace, "laCustomRequired", "Space required:", laCustomAvailable,
                                           "laCustomRequiredValue", "0K");

    qv::Args countArgs(foCustom);
    // A form shrinks to its children when a counter's label is set again,
    // which would pull the counters away from the dialog's right edge.
    countArgs.set(XmNwidth, 400).set(XmNresizePolicy, XmRESIZE_GROW);
    countArgs.attach(qv::Args::Top, frCustomFolder, 10).attach(qv::Args::Left, foCustomSpace, 10);
    foCustomComponentCount = qv::create_managed("foCustomComponentCount", xmFormWidgetClass, foCustom, countArgs);
    Widget laCustomRequired1 = nullptr;
    laCustomRequiredValue1 = labelled_value(foCustomComponentCount, "laCustomRequired1", "Components to Add:", nullptr,
                                            "laCustomRequiredValue1", "0", &laCustomRequired1);
    laCustomAvailableValue1 = labelled_value(foCustomComponentCount, "laCustomAvailable1", "Components to Remove:",
                                             laCustomRequired1, "laCustomAvailableValue1", "0");

    // Layout anchors only.
    qv::Args buttonsArgs(foCustom);
    buttonsArgs.set(XmNresizePolicy, XmRESIZE_NONE).set(XmNwidth, 1).set(XmNheight, 1);
    buttonsArgs.attach(qv::Args::Top, foCustomSpace, 0).attach(qv::Args::Right, 10);
    qv::create_managed("foCustomButtons", xmFormWidgetClass, foCustom, buttonsArgs);
    qv::Args selectedArgs(foCustom);
    selectedArgs.set(XmNwidth, 1).set(XmNheight, 1);
    selectedArgs.attach(qv::Args::Top, foCustomSpace, 0).attach(qv::Args::Left, 10);
    qv::create_managed("foCustomSelected", xmFormWidgetClass, foCustom, selectedArgs);

    return mbCustom;
}

// Shows the components of an options list: one row per component, with
// the first one described, the destination and the disk space.
void QV_instUISetCustomDlg(_QV_InstConfigList *config)
{
    QV_instSetLastDlg(config);
    if (!rcCustomOptions)
        return;
    remove_rows();
    set_label(laCustomDescriptionItem, "");
    // Until a row of this list is described, "Change Option" has nothing
    // to open: it must not keep acting on a row of the list shown before.
    XtSetSensitive(pbCustomChangeOption, False);
    XtRemoveAllCallbacks(pbCustomChangeOption, XmNactivateCallback);

    bool anyList = false;
    bool first = true;
    for (int32_t id : qv::children(config)) {
        _QV_InstConfigList *child = listed_child(id);
        if (child) {
            QV_instResetPackagePasses(CDInstPtr ? CDInstPtr->firstPack : nullptr);
            if (!is_hidden_suite(child))
                add_row(child);
            anyList = anyList || child->type == QV_CONFIG_CUSDLG;
        }
        // The first component is described even when it has no row.
        if (first)
            QV_instCustomItemFocusCB(nullptr, child, nullptr);
        first = false;
    }
    if (anyList)
        XtManageChild(pbCustomChangeOption);
    else
        XtUnmanageChild(pbCustomChangeOption);

    qv::unmanage_box_children(mbCustom, {XmDIALOG_HELP_BUTTON});
    QV_instUpdateLabelString(XmMessageBoxGetChild(mbCustom, XmDIALOG_OK_BUTTON), "Continue");
    const char *root = QV_instGetRootDestinationDirectory();
    set_label(laCustomFolderPath, root ? root : "");
    QV_instCustomUpdateSpaceFields();
    show_changes_of(config);
}

void QV_instCustomMapCB(Widget w, XtPointer, XtPointer)
{
    QV_instSetWindowTitle(w);
}

// "Continue": back from a sub-group to its list, or install the list.
void QV_instCustomOKCB(Widget w, XtPointer, XtPointer)
{
    _QV_InstConfigList *list = QV_InstGetLastConfig();
    if (!list)
        std::exit(1);
    if (list->parent && list->parent->type != QV_CONFIG_MAINDLG) {
        // The choices made in the sub-group stay.
        leave_list(w, list);
        return;
    }
    SetConfigToInstall(list);
    if (!QV_instEnoughSpace(list, QV_instGetDestinationDirectory()))
        return;
    if (!QV_instPreInstallCheck(CDInstPtr, list))
        return;
    // Destroying is completed when this callback's dispatch ends, so w
    // stays valid for the install action, which destroys the same shell.
    XtDestroyWidget(QV_instGetShell(w));
    QV_instMoveFiles(w, GetConfigToInstall());
}

// "Cancel": back to where the list was opened from. In a maintenance run
// the list's choices go back to what is installed.
void QV_instCustomCancelCB(Widget w, XtPointer, XtPointer)
{
    _QV_InstConfigList *list = QV_InstGetLastConfig();
    if (!list)
        std::exit(1);
    if (mbMaintenance) {
        for (int32_t id : qv::children(list)) {
            if (_QV_InstConfigList *child = QV_instGetConfigFromId(CDInstPtr, id))
                child->selected = child->installed;
        }
    }
    if (list->parent) {
        leave_list(w, list);
        return;
    }
    // Opened from the maintenance dialog: a new one takes its place.
    mbMaintenance = CreatembMaintenance(QV_instGetMainTopLevelShell());
    XtDestroyWidget(QV_instGetShell(w));
    XtManageChild(mbMaintenance);
    QV_instRestoreLastDlg();
}

// Shows the dialog the current list was opened from: the main dialog of a
// menu, or the same dialog refilled with the parent list.
void QV_instCustomReturnToParent(Widget w)
{
    _QV_InstConfigList *current = QV_InstGetLastConfig();
    _QV_InstConfigList *parent = current ? current->parent : nullptr;
    if (!parent)
        return;
    if (parent->type == QV_CONFIG_MAINDLG) {
        Widget dialog = w ? w : mbCustom;
        Widget topLevel = QV_instGetTLShell(dialog);
        if (!topLevel)
            topLevel = QV_instGetMainTopLevelShell();
        if (Widget shell = QV_instGetShell(dialog))
            XtDestroyWidget(shell);
        mbMainDlg = CreatembMainDlg(topLevel);
        QV_instUISetMainDlg(mbMainDlg, parent);
        XtManageChild(mbMainDlg);
    } else if (parent->type == QV_CONFIG_CUSDLG) {
        QV_instUISetCustomDlg(parent);
    }
}

// A row got the focus: its description is shown, and "Change Option" now
// opens it when it is a sub-group.
void QV_instCustomItemFocusCB(Widget, XtPointer clientData, XtPointer)
{
    auto *config = static_cast<_QV_InstConfigList *>(clientData);
    if (!config || !pbCustomChangeOption)
        return;
    set_label(laCustomDescriptionItem, description_of(config));
    XtSetSensitive(pbCustomChangeOption, config->type != QV_CONFIG_SUITE ? True : False);
    XtRemoveAllCallbacks(pbCustomChangeOption, XmNactivateCallback);
    XtAddCallback(pbCustomChangeOption, XmNactivateCallback, QV_instCustomPBChangeOptionsCB, config);
}

// "Change Option": the same dialog shows the sub-group's components.
void QV_instCustomPBChangeOptionsCB(Widget, XtPointer clientData, XtPointer)
{
    auto *config = static_cast<_QV_InstConfigList *>(clientData);
    // A menu cannot be shown as a list (nor sized).
    if (!config || config->type == QV_CONFIG_MAINDLG)
        return;
    config->parent = QV_InstGetLastConfig();
    QV_instUISetCustomDlg(config);
}

// A component chosen or cleared: the choice is kept (an essential one is
// warned about, not refused) and the counts and space are shown anew.
void QV_instCustomTBChangeCB(Widget w, XtPointer clientData, XtPointer callData)
{
    auto *config = static_cast<_QV_InstConfigList *>(clientData);
    if (!config)
        return;
    auto *change = static_cast<XmToggleButtonCallbackStruct *>(callData);
    const bool set = change ? change->set == XmSET : XmToggleButtonGetState(w) == True;
    config->selected = set ? 1 : 0;
    if (!set && is_vital_suite(config))
        QV_instOkCancelMessageBox(QV_instGetShell(w), kVitalWarning, "OK", nullptr, nullptr);
    show_changes_of(QV_InstGetLastConfig());
    QV_instCustomUpdateSpaceFields();
}

// "Select All": the list and everything below it chosen.
void QV_instCustomSelectAllCB(Widget, XtPointer, XtPointer)
{
    _QV_InstConfigList *list = QV_InstGetLastConfig();
    if (!list)
        return;
    QV_instMarkAllConfig(list, 1);
    // Refilling pushes the list once more and shows the new counts.
    QV_instUISetCustomDlg(list);
}

void QV_instCustomUpdate(_QV_InstConfigList *node, _QV_InstConfigList *changed)
{
    if (!node)
        return;
    if (node->type == QV_CONFIG_CUSDLG) {
        for (int32_t id : qv::children(node))
            QV_instCustomUpdate(QV_instGetConfigFromId(CDInstPtr, id), changed);
        show_counters();
    } else if (node->type == QV_CONFIG_SUITE) {
        count_suite(node, is_list_being_removed(changed));
    }
}

void QV_instCustomAddRemoveUpdate(_QV_InstConfigList *config)
{
    QV_instCustomUpdateReset();
    QV_instCustomUpdate(config, config);
}

// The free space of the destination's partition and the room the shown
// list takes.
void QV_instCustomUpdateSpaceFields(void)
{
    const char *destination = QV_instGetDestinationDirectory();
    char available[QV_SIZE_STRING_MAX] = "";
    qv::CStr partition(destination ? QV_instGetPartitionDirectory(destination) : nullptr);
    if (partition && QV_instGetAvailableSpace(partition.get()) >= 0)
        QV_instGetFreeSpaceString(destination, available);
    set_label(laCustomAvailableValue, available[0] ? available : kUnknownSpace);

    _QV_InstConfigList *current = QV_InstGetLastConfig();
    if (!current || !CDInstPtr)
        return;
    _QV_InstConfigList asNew = as_new_installation(*current);
    char required[QV_SIZE_STRING_MAX] = "";
    if (can_be_sized(current))
        QV_instGetRequiredSpaceString(CDInstPtr->firstPack, &asNew, required);
    set_label(laCustomRequiredValue, required[0] ? required : kUnknownSpace);
}

void QV_instCustomUpdateReset(void)
{
    addCount = 0;
    removeCount = 0;
}

void QV_instCustomContinueCB(Widget, XtPointer, XtPointer) {}

void QV_instCustomOptionsChangeCB(Widget, XtPointer, XtPointer) {}

} // extern "C"
