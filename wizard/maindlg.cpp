// The main dialog: up to four large picture buttons, each a way to install
// (a nested choice, an options list or one suite), with the destination
// folder and its free space below them.
#include "wizard/maindlg.h"

#include <Xm/Form.h>
#include <Xm/Frame.h>
#include <Xm/Label.h>
#include <Xm/MessageB.h>
#include <Xm/PushB.h>
#include <Xm/RowColumn.h>
#include <Xm/TextF.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/install.h"
#include "engine/internal.h"
#include "engine/util.h"
#include "wizard/destination_space.h"
#include "wizard/dialog.h"
#include "wizard/icon_module.h"
#include "wizard/glue.h"

extern "C" {
Widget mbMainDlg = nullptr;
Widget laMainDlg = nullptr;
Widget pbMainDlg1 = nullptr;
Widget laMainDlg1Product = nullptr;
Widget laMainDlg1Description = nullptr;
Widget laMainDlgAvailableSpace = nullptr;
Widget txMainDlgFolder = nullptr;
}

namespace {

constexpr int kSlots = 4;

// The picture of a choice whose configuration brings none of its own: two
// peaks drawn in black on white.
const char *kDefaultPicture[] = {
    "64 64 2 1",
    ". c #ffffffffffff",
    "X c #000",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
    "......................X.........................................",
    "......................XX........................................",
    ".....................X.X........................................",
    ".....................X..X.......................................",
    "....................X...X.......................................",
    "....................X....X......................................",
    "...................X.....X......................................",
    "...................X......X.....................................",
    "..................X.......X................X....................",
    "..................X........X..............X.X...................",
    "..................X.........X............X..X...................",
    ".................X..........X............X...X..................",
    ".................X.....X.....X..........X....X..................",
    "................X.....X.X....X.........X......X.................",
    "................XX....X..X....X.......X.......X.................",
    "...............X..XX.X....X...X......X.........X................",
    "...............X....X......X...X....X..........X................",
    "..............X................X....X...........X...............",
    "..............X.................X..X............X...............",
    ".............X..................X.X..............X..............",
    ".............X...................X...............X..............",
    ".............X....................................X.............",
    "............X.....................................X.............",
    "............X......................................X............",
    "...........X.......................................X............",
    "...........X........................................X...........",
    "..........X.........................................X...........",
    "..........X..........................................X..........",
    ".........X...........................................X..........",
    ".........X............................................X.........",
    ".........X............................................X.........",
    "........X..............................................X........",
    "........X..............................................X........",
    ".......X................................................X.......",
    ".......X................................................X.......",
    "......X..................................................X......",
    "......X..................................................X......",
    ".....X....................................................X.....",
    ".....X....................................................X.....",
    "....X......................................................X....",
    "....XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX....",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
};

// The vertical row-columns of the four slots, named as the builder made them.
constexpr const char *kSlotColumns[kSlots] = {"rowColumn2", "rowColumn4", "rowColumn6", "rowColumn8"};

Widget slot_widget(Widget box, const char *pattern, int slot)
{
    char name[64];
    std::snprintf(name, sizeof name, pattern, slot);
    return XtNameToWidget(box, name);
}

// The message box a widget of the dialog belongs to.
Widget box_of(Widget w)
{
    while (w && !XmIsMessageBox(w))
        w = XtParent(w);
    return w;
}

// The destination folder and its free space, as the dialog shows them.
void show_destination(Widget box)
{
    if (Widget space = XtNameToWidget(box, "*laMainDlgAvailableSpace"))
        QV_instUpdateLabelString(space, qv::destination_free_space().c_str());
    if (Widget folder = XtNameToWidget(box, "*txMainDlgFolder")) {
        const char *root = QV_instGetRootDestinationDirectory();
        XmTextFieldSetString(folder, const_cast<char *>(root ? root : ""));
    }
}

// Fills one slot for the configuration it offers, or exits on a kind of
// configuration that cannot be offered.
void fill_slot(Widget box, int slot, _QV_InstConfigList *child)
{
    XtCallbackProc action = nullptr;
    const char *product = nullptr;
    const char *description = nullptr;
    switch (child->type) {
    case QV_CONFIG_MAINDLG:
        action = QV_instConfigureMainDlgCB;
        product = child->data.main ? child->data.main->title : nullptr;
        description = child->data.main ? child->data.main->description : nullptr;
        break;
    case QV_CONFIG_CUSDLG:
        action = QV_instConfigureCustomDlgCB;
        product = child->data.cus ? child->data.cus->title : nullptr;
        description = child->data.cus ? child->data.cus->description : nullptr;
        break;
    case QV_CONFIG_SUITE:
        action = QV_instMainDlgInstallationCB;
        product = child->data.suite && child->data.suite->suite ? child->data.suite->suite->name : nullptr;
        description = child->data.suite ? child->data.suite->description : nullptr;
        break;
    default:
        std::fputs("Error: bad configuration file\n", stderr);
        std::exit(1);
    }
    Widget button = slot_widget(box, "*.pbMainDlg%d", slot);
    XtAddCallback(button, XmNactivateCallback, action, child);
    QV_instSetPixmapOnWidget(button, child->icon);
    QV_instUpdateLabelString(slot_widget(box, "*.laMainDlg%dProduct", slot), product ? product : "");
    QV_instUpdateLabelString(slot_widget(box, "*.laMainDlg%dDescription", slot), description ? description : "");
}

// The i-th child id of a list configuration (0 where there is none).
int child_id(const _QV_InstConfigList *config, int i)
{
    qv::ChildIds ids = qv::children(config);
    return i < ids.max ? ids.ids[i] : 0;
}

} // namespace

extern "C" {

// The dialog of installation choices, still empty: QV_instUISetMainDlg
// fills it for one menu.
Widget CreatembMainDlg(Widget parent)
{
    const qv::Geometry where{215, 59, 538, 617};
    Widget shell = qv::create_dialog_shell(parent, "dsMainDlg", &where);

    qv::BoxSpec opts("mbMainDlg");
    opts.noResize = True;
    opts.mapCB = QV_instMainDlgMapCB;
    opts.cancelCB = QV_instMainDlgExitCB;
    Widget box = qv::create_message_box(shell, opts);
    mbMainDlg = box;

    // One picture for the four buttons, freed with the dialog.
    Pixmap picture = XPM_PIXMAP(parent, const_cast<char **>(kDefaultPicture));
    if (picture != XmUNSPECIFIED_PIXMAP)
        qv::free_pixmap_with(shell, picture);

    qv::Args columnArgs(box);
    columnArgs.set(XmNspacing, 10);
    Widget rowColumn = qv::create_managed("rowColumn", xmRowColumnWidgetClass, box, columnArgs);

    qv::Args instructionArgs(rowColumn);
    instructionArgs.set(XmNalignment, XmALIGNMENT_BEGINNING);
    instructionArgs.text(XmNlabelString, "To choose the installation you want, click on the following buttons");
    laMainDlg = qv::create_managed("laMainDlg", xmLabelWidgetClass, rowColumn, instructionArgs);

    for (int slot = 1; slot <= kSlots; ++slot) {
        const std::string n = std::to_string(slot);
        qv::Args rowArgs(rowColumn);
        rowArgs.set(XmNorientation, XmHORIZONTAL);
        Widget row = qv::create_managed(("rcMainDlg" + n).c_str(), xmRowColumnWidgetClass, rowColumn, rowArgs);

        qv::Args buttonArgs(row);
        buttonArgs.set(XmNlabelType, XmPIXMAP).set(XmNlabelPixmap, picture);
        Widget button = qv::create_managed(("pbMainDlg" + n).c_str(), xmPushButtonWidgetClass, row, buttonArgs);

        qv::Args textsArgs(row);
        textsArgs.set(XmNorientation, XmVERTICAL);
        Widget texts = qv::create_managed(kSlotColumns[slot - 1], xmRowColumnWidgetClass, row, textsArgs);

        qv::Args productArgs(texts);
        productArgs.set(XmNalignment, XmALIGNMENT_BEGINNING).text(XmNlabelString, "Product");
        Widget product = qv::create_managed(("laMainDlg" + n + "Product").c_str(), xmLabelWidgetClass, texts,
                                            productArgs);
        qv::Args descriptionArgs(texts);
        descriptionArgs.set(XmNalignment, XmALIGNMENT_BEGINNING).text(XmNlabelString, "");
        Widget description = qv::create_managed(("laMainDlg" + n + "Description").c_str(), xmLabelWidgetClass,
                                                texts, descriptionArgs);
        if (slot == 1) {
            pbMainDlg1 = button;
            laMainDlg1Product = product;
            laMainDlg1Description = description;
        }
    }

    qv::Args frameArgs(rowColumn);
    Widget frame1 = qv::create_managed("frame1", xmFrameWidgetClass, rowColumn, frameArgs);
    qv::Args formArgs(frame1);
    formArgs.set(XmNresizePolicy, XmRESIZE_GROW);
    Widget form = qv::create_managed("form", xmFormWidgetClass, frame1, formArgs);

    qv::Args folderRowArgs(form);
    folderRowArgs.set(XmNorientation, XmHORIZONTAL);
    folderRowArgs.attach(qv::Args::Top, 10).attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    Widget rowColumn9 = qv::create_managed("rowColumn9", xmRowColumnWidgetClass, form, folderRowArgs);

    qv::Args folderArgs(rowColumn9);
    folderArgs.set(XmNcolumns, 40).set(XmNeditable, False);
    txMainDlgFolder = qv::create_managed("txMainDlgFolder", xmTextFieldWidgetClass, rowColumn9, folderArgs);
    qv::Args changeArgs(rowColumn9);
    changeArgs.text(XmNlabelString, "Change Destination");
    Widget change = qv::create_managed("pbMainDlgFolder", xmPushButtonWidgetClass, rowColumn9, changeArgs);
    XtAddCallback(change, XmNactivateCallback, QV_instMainDlgChangeFolderCB, nullptr);

    qv::Args labelArgs(form);
    labelArgs.text(XmNlabelString, "Available space:");
    labelArgs.attach(qv::Args::Top, rowColumn9, 10).attach(qv::Args::Left, 10).attach(qv::Args::Bottom, 10);
    Widget label = qv::create_managed("label", xmLabelWidgetClass, form, labelArgs);
    qv::Args spaceArgs(form);
    spaceArgs.set(XmNalignment, XmALIGNMENT_BEGINNING).text(XmNlabelString, "0KB");
    spaceArgs.attach(qv::Args::Top, rowColumn9, 10).attach(qv::Args::Left, label, 10).attach(qv::Args::Right, 10);
    laMainDlgAvailableSpace = qv::create_managed("laMainDlgAvailableSpace", xmLabelWidgetClass, form, spaceArgs);

    for (Widget *global : {&mbMainDlg, &laMainDlg, &pbMainDlg1, &laMainDlg1Product, &laMainDlg1Description,
                           &laMainDlgAvailableSpace, &txMainDlgFolder})
        qv::forget_when_destroyed(global);
    return box;
}

// Offers the choices of a menu configuration: one slot per child, empty
// slots hidden; the configuration becomes the current one.
void QV_instUISetMainDlg(Widget box, _QV_InstConfigList *config)
{
    // The buttons are those of the dialog in mbMainDlg; every caller hands
    // in that same box.
    Widget dialog = mbMainDlg ? mbMainDlg : box;
    qv::unmanage_box_children(dialog, {XmDIALOG_OK_BUTTON, XmDIALOG_HELP_BUTTON});
    QV_instSetLastDlg(config);
    if (!config)
        return;
    QV_instUpdateLabelString(XmMessageBoxGetChild(dialog, XmDIALOG_CANCEL_BUTTON),
                             config->parent ? "Cancel" : "Exit Setup");

    for (int slot = 1; slot <= kSlots; ++slot) {
        const int id = child_id(config, slot - 1);
        _QV_InstConfigList *child = id >= 1 ? QV_instGetConfigFromId(CDInstPtr, id) : nullptr;
        if (id >= 1 && !child)
            std::fprintf(stderr, "Error: configuration %d is not in the setup configuration file\n", id);
        if (child) {
            fill_slot(box, slot, child);
            continue;
        }
        // An empty slot does not end the list: the next one is still read.
        if (Widget row = slot_widget(box, "*.rcMainDlg%d", slot))
            XtUnmanageChild(row);
        if (slot == 2) {
            Widget instruction = XtNameToWidget(box, "*laMainDlg");
            QV_instUpdateLabelString(instruction ? instruction : laMainDlg,
                                     "To start intallation, click the large button");
        }
    }
}

// Shows the destination and its free space each time the dialog appears.
void QV_instMainDlgMapCB(Widget w, XtPointer, XtPointer)
{
    show_destination(w);
    QV_instSetWindowTitle(w);
}

// "Cancel" goes back to the menu this one was opened from; on the first
// menu the button reads "Exit Setup" and asks whether to leave setup.
void QV_instMainDlgExitCB(Widget w, XtPointer, XtPointer)
{
    _QV_InstConfigList *shown = QV_InstGetLastConfig();
    if (!shown)
        std::exit(1);
    if (!shown->parent) {
        QV_exitSetupConfirmation(QV_instGetShell(w), "Setup has not yet modified any files", "");
        return;
    }
    Widget topLevel = QV_instGetTLShell(w);
    XtDestroyWidget(QV_instGetShell(w));
    mbMainDlg = CreatembMainDlg(topLevel);
    QV_instUISetMainDlg(mbMainDlg, shown->parent);
    shown->parent = nullptr;
    XtManageChild(mbMainDlg);
}

// A suite's button: installs that suite. The install action checks room
// and destination first; when a check fails this dialog stays.
void QV_instMainDlgInstallationCB(Widget w, XtPointer clientData, XtPointer)
{
    auto *config = static_cast<_QV_InstConfigList *>(clientData);
    if (!config || config->type != QV_CONFIG_SUITE) {
        std::fputs("Error: can only install suites\n", stderr);
        std::exit(1);
    }
    SetConfigToInstall(config);
    QV_instMoveFiles(w, GetConfigToInstall());
}

// "Change Destination": another folder for the installation; one holding
// an earlier installation may turn setup into maintenance.
void QV_instMainDlgChangeFolderCB(Widget w, XtPointer, XtPointer)
{
    QV_instChangeDestination(QV_instGetShell(w));
    if (QV_instInstallationMode == 0) {
        show_destination(box_of(w));
        return;
    }
    mbMaintenance = CreatembMaintenance(QV_instGetTLShell(w));
    // The way down to this menu is forgotten: one pop for the menu shown
    // and one for each menu above it.
    for (_QV_InstConfigList *c = QV_InstGetLastConfig(); c; c = c->parent)
        QV_instRestoreLastDlg();
    XtDestroyWidget(QV_instGetShell(w));
    QV_DisableAddButtonIfNecessary();
    XtManageChild(mbMaintenance);
}

} // extern "C"
