// The migration dialog: offers to carry the preferences of a previous
// version over to the new installation, lets the user pick them (or the
// folder under which users' preferences live), and starts the installation.
// The migration itself runs once the installation is done (DoMigrate).
#include <sys/stat.h>
#include <unistd.h>

#include <Xm/FileSB.h>
#include <Xm/Form.h>
#include <Xm/Frame.h>
#include <Xm/Label.h>
#include <Xm/List.h>
#include <Xm/PushB.h>
#include <Xm/ScrolledW.h>
#include <Xm/Separator.h>
#include <Xm/TextF.h>
#include <Xm/ToggleB.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/fileops.h"
#include "engine/install.h"
#include "engine/internal.h"
#include "engine/util.h"
#include "wizard/dialog.h"
#include "wizard/glue.h"
#include "wizard/migration_state.h"

extern "C" {
Widget textFieldUserRoot = nullptr;
Widget labelDescription2 = nullptr;
Widget toggleButtonMigrate = nullptr;
Widget migrationList = nullptr;
Widget textFieldPath = nullptr;
Widget pushButtonBrowse = nullptr;
}

namespace {

// Set when a folder chooser may close: by its Cancel, or by its OK once
// the folder is accepted.
int chooserDone = 0;

constexpr const char kPathError[] = "Internal error:\n(QV_instChangeDestinationBrowseOkCB) can't build destination path";

void forget_dialog(Widget, XtPointer, XtPointer)
{
    textFieldUserRoot = labelDescription2 = toggleButtonMigrate = nullptr;
    migrationList = textFieldPath = pushButtonBrowse = nullptr;
}

void say(Widget parent, const char *text)
{
    QV_instOkCancelMessageBox(parent, text, "OK", nullptr, nullptr);
}

std::string text_of(Widget textField)
{
    char *text = XmTextFieldGetString(textField);
    std::string out = text ? text : "";
    XtFree(text);
    return out;
}

void set_text(Widget textField, const char *text)
{
    if (textField)
        XmTextFieldSetString(textField, const_cast<char *>(text));
}

// Folder names are data, not builder texts: they are never read as "::"
// compound-string syntax.
XmString item_of(const char *text)
{
    return XmStringCreateLocalized(const_cast<char *>(text));
}

std::string text_of_item(XmString item)
{
    char *text = static_cast<char *>(
        XmStringUnparse(item, nullptr, XmCHARSET_TEXT, XmCHARSET_TEXT, nullptr, 0, XmOUTPUT_ALL));
    std::string out = text ? text : "";
    XtFree(text);
    return out;
}

std::string without_trailing_slash(std::string path)
{
    if (!path.empty() && path.back() == '/')
        path.pop_back();
    return path;
}

// path itself when it starts at the root, else joined to the current
// folder; null when that cannot be had.
char *MakeAbsolutePath(const char *path)
{
    if (path[0] == '/')
        return strdup(path);
    qv::CStr cwd(getcwd(nullptr, 0));
    if (!cwd)
        return nullptr;
    return QV_instBuildPath(cwd.get(), path, static_cast<char *>(nullptr));
}

std::string chosen_text(Widget box)
{
    return text_of(XmFileSelectionBoxGetChild(box, XmDIALOG_TEXT));
}

void OnBrowseCancel(Widget, XtPointer, XtPointer)
{
    chooserDone = 1;
}

// OK of the preferences chooser: only a folder that holds readable
// preferences is taken.
void OnBrowsePreferencesOk(Widget w, XtPointer, XtPointer)
{
    Widget shell = QV_instGetShell(w);
    qv::MigrationRequest &request = qv::migration_request();
    qv::CStr folder(MakeAbsolutePath(chosen_text(w).c_str()));
    if (!folder) {
        say(shell, kPathError);
        request.source.reset();
        return;
    }
    qv::CStr marker(QV_instBuildPath(folder.get(), "/Data/Preferences/cpm.cpm", static_cast<char *>(nullptr)));
    if (marker && IsFileExist(marker.get()) && access(marker.get(), R_OK) == 0) {
        request.source.reset(strdup(without_trailing_slash(folder.get()).c_str()));
        chooserDone = 1;
        return;
    }
    say(shell, "The selected directory does not seem to contain any valid preferences.\nPlease, choose another one.");
}

// OK of the user root chooser: a folder that does not exist yet is
// created when the user agrees.
void OnBrowseUserRootOk(Widget w, XtPointer, XtPointer)
{
    Widget shell = QV_instGetShell(w);
    qv::CStr folder(MakeAbsolutePath(chosen_text(w).c_str()));
    if (!folder) {
        say(shell, kPathError);
        return;
    }
    unsigned int mode = 0;
    if (!GetNodeMode(folder.get(), &mode)) {
        qv::CStr question(
            QV_instStrPrint("The folder:\n'%s'\ndoes not exist. Do you want to create it?", folder.get()));
        if (!question || QV_instOkCancelMessageBox(shell, question.get(), "Yes", "No", nullptr) != 0)
            return;
        if (QV_instMkdir(folder.get(), 0755, nullptr) != 0) {
            QV_instDisplayMessage(shell, "OK", nullptr, nullptr, "Unable to create directory:\n%s", folder.get());
            return;
        }
    }
    SetDefaultUserHome(folder.get());
    chooserDone = 1;
}

// A modal folder chooser over parent, opened on start (or, when that
// cannot be examined, on the current folder); returns once okCB accepted a
// folder or the user cancelled.
void BrowseForDirectory(Widget parent, const char *start, XtCallbackProc okCB)
{
    std::string folder = start ? start : "";
    struct stat st;
    if (stat(folder.c_str(), &st) != 0) {
        qv::CStr cwd(getcwd(nullptr, 0));
        folder = cwd ? cwd.get() : "/var/tmp";
    }
    const std::string mask = folder + "/*";

    Widget shell = qv::create_dialog_shell(parent, "dsChangeDestinationSelection", nullptr);
    qv::on_window_close(shell, OnBrowseCancel, nullptr);
    qv::Args args(shell);
    args.text(XmNfileListLabelString, "Destination");
    XmString dirMask = item_of(mask.c_str());
    XmString selection = item_of(start ? start : "");
    args.set(XmNdirMask, reinterpret_cast<XtArgVal>(dirMask));
    args.set(XmNfileTypeMask, XmFILE_DIRECTORY);
    args.set(XmNdialogStyle, XmDIALOG_FULL_APPLICATION_MODAL);
    args.set(XmNwidth, 500).set(XmNheight, 450);
    // The box stays up after OK: a folder that is refused keeps it open.
    args.set(XmNautoUnmanage, False);
    XtInitializeWidgetClass(xmFileSelectionBoxWidgetClass);
    Widget box = XtCreateWidget("fsbChangeDestinationSelection", xmFileSelectionBoxWidgetClass, shell, args.list(),
                                args.count());
    XtVaSetValues(box, XmNtextString, selection, nullptr);
    XmStringFree(dirMask);
    XmStringFree(selection);
    XtAddCallback(box, XmNcancelCallback, OnBrowseCancel, nullptr);
    XtAddCallback(box, XmNokCallback, okCB, nullptr);
    XtUnmanageChild(XmFileSelectionBoxGetChild(box, XmDIALOG_HELP_BUTTON));
    XtManageChild(box);

    chooserDone = 0;
    QV_instMainLoop(parent, &chooserDone);
    XtDestroyWidget(shell);
}

void set_migration_widgets_sensitive(Boolean sensitive)
{
    for (Widget w : {labelDescription2, migrationList, textFieldPath, pushButtonBrowse}) {
        if (w)
            XtSetSensitive(w, sensitive);
    }
}

} // namespace

extern "C" {

// Offers to migrate the preferences of a previous version, found under
// "Quorvanta" in the user's home folder, and starts the installation.
Widget CreatemigrationDlg(Widget parent)
{
    const qv::Geometry where{7, 31, 748, 688};
    Widget shell = qv::create_dialog_shell(parent, "migrationShell", &where);

    XtInitializeWidgetClass(xmFormWidgetClass);
    qv::Args dialogArgs(shell);
    dialogArgs.set(XmNresizePolicy, XmRESIZE_GROW);
    // The dialog stays up while "Exit Setup" asks, and when "Ok" finds too
    // little room for the installation.
    dialogArgs.set(XmNautoUnmanage, False);
    dialogArgs.set(XmNx, where.x).set(XmNy, where.y).set(XmNwidth, where.width).set(XmNheight, where.height);
    dialogArgs.set(XmNdefaultPosition, False); // where it is put, not centred
    Widget migrationDlg =
        XtCreateWidget("migrationDlg", xmFormWidgetClass, shell, dialogArgs.list(), dialogArgs.count());
    XtAddCallback(migrationDlg, XmNmapCallback, OnMigrationDlgMap, nullptr);
    XtAddCallback(migrationDlg, XmNdestroyCallback, forget_dialog, nullptr);
    // Closing the window is "Exit Setup": the dialog would vanish, leaving
    // setup without a window while it waits for "Ok".
    qv::on_window_close(shell, OnExitSetupButton, nullptr);

    qv::Args titleArgs(migrationDlg);
    titleArgs.text(XmNlabelString, "User's preferences :");
    titleArgs.attach(qv::Args::Top, 10).attach(qv::Args::Left, 10);
    Widget labelTitle = qv::create_managed("labelTitle", xmLabelWidgetClass, migrationDlg, titleArgs);

    // The user root.
    qv::Args frame1Args(migrationDlg);
    frame1Args.attach(qv::Args::Top, labelTitle, 5).attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    Widget frame1 = qv::create_managed("frame1", xmFrameWidgetClass, migrationDlg, frame1Args);
    qv::Args formArgs(frame1);
    Widget form = qv::create_managed("form", xmFormWidgetClass, frame1, formArgs);

    qv::Args browse1Args(form);
    browse1Args.text(XmNlabelString, "Browse").set(XmNwidth, 80).set(XmNrecomputeSize, False);
    browse1Args.attach(qv::Args::Top, 10).attach(qv::Args::Right, 10);
    Widget pushButtonBrowse1 = qv::create_managed("pushButtonBrowse1", xmPushButtonWidgetClass, form, browse1Args);
    XtAddCallback(pushButtonBrowse1, XmNactivateCallback, OnUserRootBrowseButton, nullptr);

    qv::Args rootArgs(form);
    rootArgs.set(XmNeditable, False).set(XmNcursorPositionVisible, False);
    rootArgs.attach(qv::Args::Top, 10).attach(qv::Args::Left, 10).attach(qv::Args::Right, pushButtonBrowse1, 10);
    textFieldUserRoot = qv::create_managed("textFieldUserRoot", xmTextFieldWidgetClass, form, rootArgs);
    OnTextFieldUserRootCreate(textFieldUserRoot, nullptr, nullptr);

    qv::Args description1Args(form);
    description1Args.set(XmNalignment, XmALIGNMENT_BEGINNING);
    description1Args.text(XmNlabelString, "Click 'Browse' to change the default location of your user's preferences.");
    description1Args.attach(qv::Args::Top, textFieldUserRoot, 10).attach(qv::Args::Left, 10);
    description1Args.attach(qv::Args::Bottom, 10);
    qv::create_managed("labelDescription1", xmLabelWidgetClass, form, description1Args);

    // The buttons at the bottom.
    qv::Args exitArgs(migrationDlg);
    exitArgs.text(XmNlabelString, "Exit Setup").set(XmNwidth, 100).set(XmNrecomputeSize, False);
    exitArgs.attach(qv::Args::Bottom, 10).attach(qv::Args::Left, 10);
    Widget pushButtonExitSetup =
        qv::create_managed("pushButtonExitSetup", xmPushButtonWidgetClass, migrationDlg, exitArgs);
    XtAddCallback(pushButtonExitSetup, XmNactivateCallback, OnExitSetupButton, nullptr);

    qv::Args okArgs(migrationDlg);
    okArgs.text(XmNlabelString, "Ok").set(XmNwidth, 100).set(XmNrecomputeSize, False);
    okArgs.attach(qv::Args::Bottom, 10).attach(qv::Args::Right, 10);
    Widget pushButtonOk = qv::create_managed("pushButtonOk", xmPushButtonWidgetClass, migrationDlg, okArgs);
    XtAddCallback(pushButtonOk, XmNactivateCallback, OnOkButton, nullptr);

    qv::Args separatorArgs(migrationDlg);
    separatorArgs.attach(qv::Args::Bottom, pushButtonExitSetup, 10);
    separatorArgs.attach(qv::Args::Left, 0).attach(qv::Args::Right, 0);
    Widget separator = qv::create_managed("separator", xmSeparatorWidgetClass, migrationDlg, separatorArgs);

    // The preferences to migrate.
    qv::Args frameArgs(migrationDlg);
    frameArgs.attach(qv::Args::Top, frame1, 10).attach(qv::Args::Bottom, separator, 10);
    frameArgs.attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    Widget frame = qv::create_managed("frame", xmFrameWidgetClass, migrationDlg, frameArgs);
    qv::Args form1Args(frame);
    Widget form1 = qv::create_managed("form1", xmFormWidgetClass, frame, form1Args);

    qv::Args description2Args(form1);
    description2Args.set(XmNalignment, XmALIGNMENT_BEGINNING);
    description2Args.text(XmNlabelString,
                          ":::t\"Setup can automatically migrate any selected preferences from a previous version \""
                          ":t\"of QUORVANTA|QVR to the current installation.\":t\"\""
                          ":t\"Please select a preferences path below or click 'Browse' to select a path from "
                          "another \"\"location.\"");
    description2Args.attach(qv::Args::Top, 10).attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    labelDescription2 = qv::create_managed("labelDescription2", xmLabelWidgetClass, form1, description2Args);

    qv::Args toggleArgs(form1);
    toggleArgs.text(XmNlabelString, "Migrate");
    toggleArgs.attach(qv::Args::Top, labelDescription2, 10).attach(qv::Args::Left, 10);
    toggleButtonMigrate = qv::create_managed("toggleButtonMigrate", xmToggleButtonWidgetClass, form1, toggleArgs);
    XtAddCallback(toggleButtonMigrate, XmNvalueChangedCallback, OnToggleMigrateValueChanged, nullptr);

    qv::Args browseArgs(form1);
    browseArgs.text(XmNlabelString, "Browse").set(XmNwidth, 80).set(XmNrecomputeSize, False);
    browseArgs.set(XmNsensitive, False);
    browseArgs.attach(qv::Args::Bottom, 10).attach(qv::Args::Right, 10);
    pushButtonBrowse = qv::create_managed("pushButtonBrowse", xmPushButtonWidgetClass, form1, browseArgs);
    XtAddCallback(pushButtonBrowse, XmNactivateCallback, OnBrowseButton, nullptr);

    qv::Args pathArgs(form1);
    pathArgs.set(XmNeditable, False).set(XmNcursorPositionVisible, False);
    pathArgs.attach(qv::Args::Bottom, 10).attach(qv::Args::Left, 10).attach(qv::Args::Right, pushButtonBrowse, 10);
    textFieldPath = qv::create_managed("textFieldPath", xmTextFieldWidgetClass, form1, pathArgs);

    qv::Args windowArgs(form1);
    windowArgs.set(XmNscrollingPolicy, XmAPPLICATION_DEFINED).set(XmNvisualPolicy, XmVARIABLE);
    windowArgs.attach(qv::Args::Top, toggleButtonMigrate, 10).attach(qv::Args::Bottom, textFieldPath, 10);
    windowArgs.attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    Widget scrolledWindow1 =
        qv::create_managed("scrolledWindow1", xmScrolledWindowWidgetClass, form1, windowArgs);

    qv::Args listArgs(scrolledWindow1);
    listArgs.set(XmNwidth, 702).set(XmNheight, 251).set(XmNselectionPolicy, XmBROWSE_SELECT);
    migrationList = qv::create_managed("migrationList", xmListWidgetClass, scrolledWindow1, listArgs);
    XtAddCallback(migrationList, XmNbrowseSelectionCallback, OnListBrowseSelect, nullptr);
    OnListCreate(migrationList, nullptr, nullptr);
    OnCreateTextFieldPathCreate(textFieldPath, nullptr, nullptr);

    return migrationDlg;
}

// The choice of preferences waits until "Migrate" is set.
void OnMigrationDlgMap(Widget, XtPointer, XtPointer)
{
    set_migration_widgets_sensitive(False);
    if (const char *source = qv::migration_request().source.get())
        set_text(textFieldPath, source);
}

// "Migrate": the choice of preferences is open while it is set.
void OnToggleMigrateValueChanged(Widget w, XtPointer, XtPointer)
{
    set_migration_widgets_sensitive(XmToggleButtonGetState(w));
}

// Lists the folders under "Quorvanta" in the home folder that hold
// preferences, the latest (by name) first and chosen.
void OnListCreate(Widget w, XtPointer, XtPointer)
{
    const char *home = std::getenv("HOME");
    if (!home)
        return;
    const std::string folder = std::string(home) + "/Quorvanta";
    _QV_InstStringList *all = FindAllDirs(folder.c_str());
    _QV_InstStringList *found = FindPreferencesDirs(all);
    for (_QV_InstStringList *node = found; node && node->string; node = node->next) {
        XmString item = item_of(node->string);
        XmListAddItemUnselected(w, item, 0);
        XmStringFree(item);
    }
    if (found && found->string) {
        XmListSelectPos(w, 1, False);
        qv::migration_request().source.reset(strdup(without_trailing_slash(found->string).c_str()));
    }
    qv::release_string_list(found);
    qv::release_string_list(all);
}

// The path field starts with the folder chosen in the list.
void OnCreateTextFieldPathCreate(Widget w, XtPointer, XtPointer)
{
    if (!migrationList)
        return;
    XmStringTable selected = nullptr;
    int count = 0;
    XtVaGetValues(migrationList, XmNselectedItems, &selected, XmNselectedItemCount, &count, nullptr);
    if (count > 0)
        set_text(w, text_of_item(selected[0]).c_str());
}

// A folder clicked in the list is shown in the path field.
void OnListBrowseSelect(Widget, XtPointer, XtPointer callData)
{
    auto *cbs = static_cast<XmListCallbackStruct *>(callData);
    if (cbs && cbs->item)
        set_text(textFieldPath, text_of_item(cbs->item).c_str());
}

// The user root field starts with the default user root.
void OnTextFieldUserRootCreate(Widget w, XtPointer, XtPointer)
{
    if (const char *root = GetDefaultUserHome())
        set_text(w, root);
}

// "Browse" beside the user root: another folder for the users'
// preferences.
void OnUserRootBrowseButton(Widget w, XtPointer, XtPointer)
{
    BrowseForDirectory(QV_instGetShell(w), GetDefaultUserHome(), OnBrowseUserRootOk);
    if (const char *root = GetDefaultUserHome())
        set_text(textFieldUserRoot, root);
}

// "Browse" beside the preferences: a folder from elsewhere, added to the
// list and chosen.
void OnBrowseButton(Widget w, XtPointer, XtPointer)
{
    qv::MigrationRequest &request = qv::migration_request();
    const std::string shown = text_of(textFieldPath);
    request.source.reset(strdup(shown.c_str()));
    BrowseForDirectory(QV_instGetShell(w), shown.c_str(), OnBrowsePreferencesOk);
    if (request.source) {
        XmString item = item_of(request.source.get());
        if (!XmListItemExists(migrationList, item)) {
            XmListAddItemUnselected(migrationList, item, 0);
            XmListSelectItem(migrationList, item, False);
            set_text(textFieldPath, request.source.get());
        }
        XmStringFree(item);
    }
    request.source.reset();
}

// "Exit Setup": asks first; nothing has been written yet.
void OnExitSetupButton(Widget w, XtPointer, XtPointer)
{
    QV_exitSetupConfirmation(QV_instGetShell(w), "Setup has not yet modified any files.", "");
}

// "Ok": remembers the preferences to migrate when "Migrate" is set, and
// installs; the migration follows the installation.
void OnOkButton(Widget w, XtPointer, XtPointer)
{
    if (XmToggleButtonGetState(toggleButtonMigrate)) {
        qv::MigrationRequest &request = qv::migration_request();
        request.source.reset(strdup(text_of(textFieldPath).c_str()));
        request.requested = 1;
    }
    QV_instMoveFiles(w, GetConfigToInstall());
}

void OnToggleMigrateCreate(Widget, XtPointer, XtPointer) {}
void OnToggleMigrate(Widget, XtPointer, XtPointer) {}
void OnMigrationShellCreate(Widget, XtPointer, XtPointer) {}
void OnMigrateButton(Widget, XtPointer, XtPointer) {}
void OnSkipButton(Widget, XtPointer, XtPointer) {}

} // extern "C"
