// The destination dialog and the destination folder chooser: where the
// product goes, how much room there is, and a way to pick another folder
// (which may hold an earlier installation to maintain).
#include "wizard/destination.h"

#include <sys/stat.h>
#include <unistd.h>

#include <X11/IntrinsicP.h>
#include <Xm/FileSB.h>
#include <Xm/Form.h>
#include <Xm/Frame.h>
#include <Xm/Label.h>
#include <Xm/MessageB.h>
#include <Xm/PushB.h>
#include <Xm/RowColumn.h>
#include <Xm/TextF.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/fileops.h"
#include "engine/internal.h"
#include "engine/ownership.h"
#include "engine/util.h"
#include "wizard/destination_space.h"
#include "wizard/dialog.h"
#include "wizard/glue.h"

extern "C" {
Widget tfChangeDestination = nullptr;
Widget laChangeDestinationAvailableSpace = nullptr;
}

namespace {

// 0 while the destination folder chooser is up, 1 once it is to end.
int chooserDone = 0;

constexpr const char kIntroduction[] =
    ":::t\"Setup will install the program in the following destination directory.\":t\"\""
    ":t\"To install to this directory, click OK.\":t\"\""
    ":t\"To install to a different directory, click the Change Destination button.\":t\"\""
    "\"You can choose not to install, or change the destination directory later during setup.\"";

constexpr const char kNetworkHint[] =
    ":::t\"If this is a network installation,\"\"please type the network path (/MountPoint/Quorvanta)\"";

// A compound string made from a path as it is (no "::" syntax, no line
// breaks), freed on scope exit.
class PathString {
public:
    explicit PathString(const std::string &path) : s_(XmStringCreateLocalized(const_cast<char *>(path.c_str()))) {}
    ~PathString() { XmStringFree(s_); }
    PathString(const PathString &) = delete;
    PathString &operator=(const PathString &) = delete;
    XtArgVal value() const { return reinterpret_cast<XtArgVal>(s_); }

private:
    XmString s_;
};

// The chooser's own search for the folders of the "Destination" list.
XmSearchProc g_listFolders = nullptr;

// The width the "Destination" list needs to show the folder names whole:
// it holds whole paths and scrolls the folder they are in out of sight.
Dimension names_width(Widget list)
{
    XmStringTable items = nullptr;
    int count = 0;
    XmRenderTable fonts = nullptr;
    Dimension margin = 0, highlight = 0, shadow = 0;
    XtVaGetValues(list, XmNitems, &items, XmNitemCount, &count, XmNrenderTable, &fonts, XmNlistMarginWidth, &margin,
                  XmNhighlightThickness, &highlight, XmNshadowThickness, &shadow, nullptr);
    Dimension widest = 0;
    for (int i = 0; i < count; ++i) {
        char *path = static_cast<char *>(
            XmStringUnparse(items[i], nullptr, XmCHARSET_TEXT, XmCHARSET_TEXT, nullptr, 0, XmOUTPUT_ALL));
        if (!path)
            continue;
        const char *slash = std::strrchr(path, '/');
        XmString name = XmStringCreateLocalized(const_cast<char *>(slash ? slash + 1 : path));
        const Dimension width = XmStringWidth(fonts, name);
        XmStringFree(name);
        XtFree(path);
        if (width > widest)
            widest = width;
    }
    return static_cast<Dimension>(widest + 2 * (margin + highlight + shadow));
}

// Shows the folder names of the "Destination" list whole where the chooser
// has room for them. The chooser's own layout gives each of its two lists
// a share of their row by the width of their whole paths, and keeps what
// the first listing gave until the next layout ("." and ".." only, in an
// empty folder), which leaves the names cut. Laid out afresh, the boundary
// between the lists moves so that the names fit, while the "Directories"
// list keeps at least a third of the row.
void fit_destination_list(Widget box)
{
    if (!XtIsRealized(box) || !XtClass(box)->core_class.resize)
        return;
    XtClass(box)->core_class.resize(box);
    Widget list = XmFileSelectionBoxGetChild(box, XmDIALOG_LIST);
    Widget dirList = XmFileSelectionBoxGetChild(box, XmDIALOG_DIR_LIST);
    Widget label = XmFileSelectionBoxGetChild(box, XmDIALOG_LIST_LABEL);
    Widget dirLabel = XmFileSelectionBoxGetChild(box, XmDIALOG_DIR_LIST_LABEL);
    if (!list || !dirList)
        return;
    Widget pane = XtParent(list), dirPane = XtParent(dirList);
    Dimension listWidth = 0;
    XtVaGetValues(list, XmNwidth, &listWidth, nullptr);
    const Dimension needed = names_width(list);
    if (needed <= listWidth || pane->core.x <= dirPane->core.x)
        return;
    const int row = pane->core.x + pane->core.width - dirPane->core.x;
    const int spare = dirPane->core.width - row / 3;
    const int shift = std::min(static_cast<int>(needed - listWidth), spare);
    if (shift <= 0)
        return;
    XtResizeWidget(dirPane, static_cast<Dimension>(dirPane->core.width - shift), dirPane->core.height,
                   dirPane->core.border_width);
    XtConfigureWidget(pane, static_cast<Position>(pane->core.x - shift), pane->core.y,
                      static_cast<Dimension>(pane->core.width + shift), pane->core.height, pane->core.border_width);
    if (label)
        XtMoveWidget(label, static_cast<Position>(label->core.x - shift), label->core.y);
    if (dirLabel && dirLabel->core.width > dirPane->core.width)
        XtResizeWidget(dirLabel, dirPane->core.width, dirLabel->core.height, dirLabel->core.border_width);
}

// Lists the folders as the chooser always does, then fits the list to them.
void list_folders(Widget box, XtPointer searchData)
{
    if (g_listFolders)
        g_listFolders(box, searchData);
    fit_destination_list(box);
}

// The chooser shown, or resized with its window: the list is fitted again.
void chooser_configured(Widget box, XtPointer, XEvent *event, Boolean *)
{
    if (event->type == MapNotify || event->type == ConfigureNotify)
        fit_destination_list(box);
}

void show_error(Widget parent, const std::string &text)
{
    QV_instOkCancelMessageBox(parent, text.c_str(), "OK", nullptr, nullptr);
}

// The product destination below folder, the way the directory accessors
// build it; it must fit their 4096-character buffers, else every later
// path of the installation would be missing.
bool destination_fits(const std::string &folder)
{
    std::string dest = folder + "/" + (CDInstPtr && CDInstPtr->productDir ? CDInstPtr->productDir : "") + "/";
    QV_instRemoveExtraSlash(dest.data());
    return std::strlen(dest.c_str()) <= QV_PATH_MAX;
}

// The folder the chooser opens in: the root destination when it exists,
// else the current directory.
std::string start_folder()
{
    struct stat st;
    const char *root = QV_instGetRootDestinationDirectory();
    if (root && ::stat(root, &st) == 0)
        return root;
    char cwd[QV_PATH_MAX];
    if (getcwd(cwd, sizeof cwd))
        return cwd;
    return "";
}

// Puts the root destination and its free space on the destination dialog.
void show_destination()
{
    const char *root = QV_instGetRootDestinationDirectory();
    if (tfChangeDestination)
        XmTextFieldSetString(tfChangeDestination, const_cast<char *>(root ? root : ""));
    if (laChangeDestinationAvailableSpace)
        QV_instUpdateLabelString(laChangeDestinationAvailableSpace, qv::destination_free_space().c_str());
}

} // namespace

std::string qv::destination_free_space()
{
    // Without a destination the partition would be the current directory's.
    const char *dest = QV_instGetDestinationDirectory();
    if (!dest)
        return "";
    char space[QV_SIZE_STRING_MAX] = "";
    QV_instGetFreeSpaceString(dest, space);
    return space;
}

extern "C" {

// The wizard step that shows where the product will go.
Widget CreatembChangeDestination(Widget parent)
{
    const qv::Geometry where{651, 370, 561, 412};
    Widget shell = qv::create_dialog_shell(parent, "dsChangeDestination", &where);

    qv::BoxSpec opts("mbChangeDestination");
    opts.noResize = True;
    opts.dialogStyle = XmDIALOG_PRIMARY_APPLICATION_MODAL;
    opts.cancelLabel = "Exit Setup";
    opts.mapCB = QV_instChangeDestinationMapCB;
    opts.okCB = QV_instChangeDestinationOKCB;
    opts.cancelCB = QV_instChangeDestinationExitCB;
    Widget box = qv::create_message_box(shell, opts);

    qv::Args columnArgs(box);
    columnArgs.set(XmNspacing, 10);
    Widget rowColumn = qv::create_managed("rowColumn", xmRowColumnWidgetClass, box, columnArgs);

    qv::Args labelArgs(rowColumn);
    labelArgs.set(XmNalignment, XmALIGNMENT_BEGINNING).text(XmNlabelString, kIntroduction);
    qv::create_managed("label", xmLabelWidgetClass, rowColumn, labelArgs);

    qv::Args frameArgs(rowColumn);
    Widget frame = qv::create_managed("frame", xmFrameWidgetClass, rowColumn, frameArgs);
    qv::Args formArgs(frame);
    Widget form = qv::create_managed("form", xmFormWidgetClass, frame, formArgs);

    qv::Args hintArgs(form);
    hintArgs.set(XmNalignment, XmALIGNMENT_BEGINNING).text(XmNlabelString, kNetworkHint);
    hintArgs.attach(qv::Args::Top, 10).attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    Widget label2 = qv::create_managed("label2", xmLabelWidgetClass, form, hintArgs);

    qv::Args rowArgs(form);
    rowArgs.attach(qv::Args::Top, label2, 10).attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    Widget form1 = qv::create_managed("form1", xmFormWidgetClass, form, rowArgs);

    qv::Args buttonArgs(form1);
    buttonArgs.text(XmNlabelString, "Change Destination");
    buttonArgs.attach(qv::Args::Top, 0).attach(qv::Args::Right, 0);
    Widget pushButton = qv::create_managed("pushButton", xmPushButtonWidgetClass, form1, buttonArgs);
    XtAddCallback(pushButton, XmNactivateCallback, QV_instChangeDestinationActivateCB, nullptr);

    // Only the chooser changes the destination, whatever label2 says.
    qv::Args fieldArgs(form1);
    fieldArgs.set(XmNeditable, False);
    fieldArgs.attach(qv::Args::Top, 0).attach(qv::Args::Left, 0).attach(qv::Args::Right, pushButton, 10);
    tfChangeDestination = qv::create_managed("tfChangeDestination", xmTextFieldWidgetClass, form1, fieldArgs);

    qv::Args spaceArgs(form);
    spaceArgs.text(XmNlabelString, "Available space: ");
    spaceArgs.attach(qv::Args::Top, form1, 10).attach(qv::Args::Left, 10).attach(qv::Args::Bottom, 10);
    Widget label1 = qv::create_managed("label1", xmLabelWidgetClass, form, spaceArgs);

    qv::Args valueArgs(form);
    valueArgs.set(XmNalignment, XmALIGNMENT_BEGINNING).text(XmNlabelString, "0K");
    valueArgs.attach(qv::Args::Top, form1, 10).attach(qv::Args::Left, label1, 11).attach(qv::Args::Right, 10);
    laChangeDestinationAvailableSpace =
        qv::create_managed("laChangeDestinationAvailableSpace", xmLabelWidgetClass, form, valueArgs);
    qv::forget_when_destroyed(&tfChangeDestination);
    qv::forget_when_destroyed(&laChangeDestinationAvailableSpace);

    return box;
}

// Shows the current destination and its free space each time it appears.
void QV_instChangeDestinationMapCB(Widget w, XtPointer, XtPointer)
{
    qv::unmanage_box_children(w, {XmDIALOG_HELP_BUTTON});
    show_destination();
    QV_instSetWindowTitle(w);
}

// "OK": on to the first choice of installations (configuration 1).
void QV_instChangeDestinationOKCB(Widget w, XtPointer, XtPointer)
{
    Widget shell = QV_instGetShell(w);
    // The destination shown may come from the description or the command
    // line, never seen by the chooser: as root it is refused here, and the
    // user picks another.
    const std::string refusal = CDInstPtr ? qv::tree_refusal(CDInstPtr->rootDest, CDInstPtr->productDir) : "";
    if (!refusal.empty()) {
        show_error(shell, refusal);
        return;
    }
    // Looked up before this dialog goes: a box shown on a shell that is
    // being destroyed would never appear, and setup would wait for it.
    _QV_InstConfigList *first = QV_instGetConfigFromId(CDInstPtr, 1);
    if (!first) {
        QV_instOkCancelMessageBox(shell, "Error: invalid or incomplete setup configuration file", "Exit Setup",
                                  nullptr, nullptr);
        std::exit(1);
    }
    mbMainDlg = CreatembMainDlg(QV_instGetTLShell(w));
    XtDestroyWidget(shell);
    first->parent = nullptr;
    QV_instUISetMainDlg(mbMainDlg, first);
    XtManageChild(mbMainDlg);
}

// "Exit Setup": asks first; nothing has been written yet.
void QV_instChangeDestinationExitCB(Widget w, XtPointer, XtPointer)
{
    QV_exitSetupConfirmation(QV_instGetShell(w), "Setup has not yet modified any files.", "");
}

// "Change Destination": lets the user pick another folder; one that holds
// an earlier installation may turn setup into maintenance.
void QV_instChangeDestinationActivateCB(Widget w, XtPointer, XtPointer)
{
    Widget shell = QV_instGetShell(w);
    QV_instChangeDestination(shell);
    if (QV_instInstallationMode != 0) {
        mbMaintenance = CreatembMaintenance(QV_instGetTLShell(w));
        XtDestroyWidget(shell);
        QV_DisableAddButtonIfNecessary();
        XtManageChild(mbMaintenance);
        return;
    }
    show_destination();
}

// Lets the user choose the root destination among folders (creating a
// missing one on request); returns once the chooser is closed. A folder
// with an earlier installation may switch setup to maintenance mode
// (QV_instInstallationMode 1).
void QV_instChangeDestination(Widget parent)
{
    std::string mask = start_folder() + "/*";
    QV_instRemoveExtraSlash(mask.data());
    mask.resize(std::strlen(mask.c_str()));

    Widget shell = qv::create_dialog_shell(parent, "dsChangeDestinationSelection", nullptr);
    QV_instSetWindowTitle(shell);
    XtInitializeWidgetClass(xmFileSelectionBoxWidgetClass);
    PathString dirMask(mask);
    qv::Args args(shell);
    args.text(XmNfileListLabelString, "Destination");
    args.set(XmNdirMask, dirMask.value());
    args.set(XmNfileTypeMask, XmFILE_DIRECTORY);
    args.set(XmNdialogStyle, XmDIALOG_FULL_APPLICATION_MODAL);
    args.set(XmNwidth, 500).set(XmNheight, 450);
    // The callbacks decide when the chooser goes, so that a refused folder
    // leaves it open.
    args.set(XmNautoUnmanage, False);
    Widget box = XtCreateWidget("fsbChangeDestinationSelection", xmFileSelectionBoxWidgetClass, shell, args.list(),
                                args.count());
    XtVaGetValues(box, XmNfileSearchProc, &g_listFolders, nullptr);
    XtVaSetValues(box, XmNfileSearchProc, reinterpret_cast<XtArgVal>(list_folders), nullptr);
    XtAddEventHandler(box, StructureNotifyMask, False, chooser_configured, nullptr);

    // The field shows the root destination as it stands, even a folder that
    // does not exist yet.
    const char *root = QV_instGetRootDestinationDirectory();
    XmTextFieldSetString(XmFileSelectionBoxGetChild(box, XmDIALOG_TEXT), const_cast<char *>(root ? root : ""));

    XtAddCallback(XmFileSelectionBoxGetChild(box, XmDIALOG_CANCEL_BUTTON), XmNactivateCallback,
                  QV_instChangeDestinationBrowseCancelCB, nullptr);
    XtAddCallback(box, XmNokCallback, QV_instChangeDestinationBrowseOkCB, nullptr);
    XtUnmanageChild(XmFileSelectionBoxGetChild(box, XmDIALOG_HELP_BUTTON));
    // Closing the chooser's window is its Cancel: the caller waits for it.
    qv::on_window_close(shell, QV_instChangeDestinationBrowseCancelCB, nullptr);
    XtManageChild(box);

    chooserDone = 0;
    QV_instMainLoop(box, &chooserDone);
    XtDestroyWidget(shell);
}

// Cancel in the chooser: the destination stays as it was.
void QV_instChangeDestinationBrowseCancelCB(Widget, XtPointer, XtPointer)
{
    chooserDone = 1;
}

// The folder in the chooser's field becomes the root destination, once it
// is a directory (made on request). Anything refused leaves the chooser
// open with the destination unchanged.
void QV_instChangeDestinationBrowseOkCB(Widget w, XtPointer, XtPointer)
{
    Widget shell = QV_instGetShell(w);
    char *typed = XmTextFieldGetString(XmFileSelectionBoxGetChild(w, XmDIALOG_TEXT));
    std::string text = typed ? typed : "";
    XtFree(typed);

    std::string folder = text;
    if (folder.empty() || folder[0] != '/') {
        char cwd[QV_PATH_MAX + 1];
        if (!getcwd(cwd, sizeof cwd)) {
            show_error(shell, "Internal error:\n(QV_instChangeDestinationBrowseOkCB) can't get current working directory");
            return;
        }
        qv::CStr joined(QV_instBuildPath(cwd, text.c_str(), nullptr));
        if (!joined) {
            show_error(shell, "Internal error:\n(QV_instChangeDestinationBrowseOkCB) can't build destination path");
            return;
        }
        folder = joined.get();
    }
    // The destination travels in line-based formats (the menu include line,
    // the history, the install child's protocol lines): a line break would
    // split them.
    if (folder.find('\n') != std::string::npos) {
        show_error(shell, "The destination folder path contains a line break.\nPlease choose another folder.");
        return;
    }
    if (folder.size() > QV_PATH_MAX || !destination_fits(folder)) {
        show_error(shell, "The destination folder path is too long.\nPlease choose a folder with a shorter path.");
        return;
    }

    // As root, nothing is made, read or installed in a tree that another
    // user controls.
    const std::string refusal = qv::tree_refusal(folder.c_str(), CDInstPtr ? CDInstPtr->productDir : nullptr);
    if (!refusal.empty()) {
        show_error(shell, refusal);
        return;
    }

    struct stat st;
    if (::stat(folder.c_str(), &st) != 0) {
        const std::string question =
            "The destination folder:\n'" + folder + "'\ndoes not exist. Do you want to create it?";
        if (QV_instOkCancelMessageBox(shell, question.c_str(), "Yes", "No", nullptr) != 0)
            return;
        // As root made folder by folder, each checked once it is there.
        qv::Fd made;
        const std::string notMade = qv::make_checked_folder(folder, &made);
        if (!notMade.empty() || made.get() < 0) {
            show_error(shell, notMade.empty() ? "Unable to create install directory:\n" + folder : notMade);
            return;
        }
    } else if (!S_ISDIR(st.st_mode)) {
        // Installing below a file could only fail, later and less clearly.
        show_error(shell, "The destination folder:\n'" + folder + "'\nis not a directory.");
        return;
    }

    char *copy = strdup(folder.c_str());
    if (!copy) {
        show_error(shell, "Internal error:\n(QV_instChangeDestinationBrowseOkCB) can't duplicate destination path");
        return;
    }
    if (!CDInstPtr) {
        std::free(copy);
        chooserDone = 1;
        return;
    }
    std::free(CDInstPtr->rootDest);
    CDInstPtr->rootDest = copy;

    // The history is looked for from the head of the configuration list
    // (start-up starts from configuration 2); what the check marks stays,
    // whatever the user answers.
    int found = QV_UpdateSuiteHistory(CDInstPtr, CDInstPtr->configs, CDInstPtr->firstSuite,
                                      QV_instGetDestinationDirectory(), QV_instGetProductName(),
                                      QV_instGetProductVersion());
    if (found == 0) {
        chooserDone = 1;
        return;
    }
    if (QV_instOkCancelMessageBox(shell, "Previous installation found.\nDo you want to run setup in maintenance mode ?",
                                  "Yes", "No", nullptr) == 0) {
        chooserDone = 1;
        QV_instInstallationMode = 1;
    }
}

} // extern "C"
