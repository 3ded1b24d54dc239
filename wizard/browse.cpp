// The browse-for-source chooser: when the install child cannot open a source
// file and the user presses "Browse...", this modal folder chooser lets the
// user point at the folder that holds the file.
#include <sys/stat.h>
#include <unistd.h>

#include <Xm/DialogS.h>
#include <Xm/FileSB.h>
#include <Xm/Text.h>
#include <Xm/TextF.h>
#include <Xm/Xm.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/internal.h"
#include "engine/util.h"
#include "wizard/browse.h"
#include "wizard/dialog.h"
#include "wizard/shell.h"

namespace {

// 0 while the chooser is up; its buttons set it.
int browseDone = 0;

// Client data of the OK button: lives in QV_instBrowseForSource's frame,
// which stays alive while the chooser's loop runs.
struct BrowseRecord {
    char **newDir;
    const char *fileName;
    Widget text;
};

// Where the chooser opens: the real directory of the given start path, or
// the working directory when that cannot be resolved (a source folder that
// has gone away).
std::string start_folder(const char *startDir)
{
    qv::CStr real(startDir ? QV_instGetRealPath(startDir) : nullptr);
    if (real)
        return real.get();
    qv::CStr cwd(::getcwd(nullptr, 0));
    return cwd ? cwd.get() : "/";
}

std::string field_text(Widget text)
{
    char *value = XmIsTextField(text) ? XmTextFieldGetString(text) : XmTextGetString(text);
    std::string out = value ? value : "";
    XtFree(value);
    return out;
}

} // namespace

extern "C" {

// Lets the user pick the folder that holds fileName; *newDir receives a heap
// copy of the folder (the caller frees it), or stays as it was on Cancel.
void QV_instBrowseForSource(const char *fileName, char **newDir, const char *startDir)
{
    if (!newDir) {
        std::puts("NULL pNewDir to QV_instBrowseForSource");
        return;
    }
    Widget main = QV_instGetMainTopLevelShell();
    if (!main)
        return; // only the graphical install child browses
    std::string start = start_folder(startDir);
    std::string mask = start + "/*";
    std::vector<char> maskText(mask.begin(), mask.end());
    maskText.push_back('\0');
    QV_instRemoveExtraSlash(maskText.data());

    std::string title = std::string("Locate ") + (fileName ? fileName : "");
    Widget shell = XtVaCreatePopupShell(title.c_str(), xmDialogShellWidgetClass, main, XmNdeleteResponse,
                                        XmDO_NOTHING, NULL);
    // Closed by the window manager, the chooser ends as its Cancel ends it:
    // the question about the missing file is asked again.
    qv::on_window_close(shell, QV_BrowseSourceExitCB, nullptr);
    XmString label = XmStringCreateLocalized(const_cast<char *>("Source"));
    XmString dirMask = XmStringCreateLocalized(maskText.data());
    // autoUnmanage off: after the "Try Again" box the chooser must stay up.
    Widget fsb = XtVaCreateWidget("Browser Install Directory", xmFileSelectionBoxWidgetClass, shell,
                                  XmNfileListLabelString, label, XmNdirMask, dirMask, XmNfileTypeMask,
                                  XmFILE_DIRECTORY, XmNdialogStyle, XmDIALOG_FULL_APPLICATION_MODAL,
                                  XmNautoUnmanage, False, NULL);
    XmStringFree(label);
    XmStringFree(dirMask);

    Widget text = XmFileSelectionBoxGetChild(fsb, XmDIALOG_TEXT);
    if (XmIsTextField(text))
        XmTextFieldSetString(text, const_cast<char *>(start.c_str()));
    else
        XmTextSetString(text, const_cast<char *>(start.c_str()));

    BrowseRecord record{newDir, fileName, text};
    XtAddCallback(XmFileSelectionBoxGetChild(fsb, XmDIALOG_CANCEL_BUTTON), XmNactivateCallback,
                  QV_BrowseSourceExitCB, nullptr);
    XtAddCallback(XmFileSelectionBoxGetChild(fsb, XmDIALOG_OK_BUTTON), XmNactivateCallback, QV_BrowseSourceOkCB,
                  &record);
    XtUnmanageChild(XmFileSelectionBoxGetChild(fsb, XmDIALOG_HELP_BUTTON));
    XtManageChild(fsb);
    browseDone = 0;
    XtPopup(shell, XtGrabExclusive);

    XtAppContext app = XtWidgetToApplicationContext(main);
    while (!browseDone) {
        XEvent event;
        XtAppNextEvent(app, &event);
        XtDispatchEvent(&event);
    }
}

// OK: accepts the folder in the selection field only when it holds the file.
void QV_BrowseSourceOkCB(Widget w, XtPointer clientData, XtPointer callData)
{
    (void)w;
    (void)callData;
    auto *record = static_cast<BrowseRecord *>(clientData);
    if (!record) {
        std::puts("Invalid psbBrowse to QV_BrowseSourceOkCB");
        return;
    }
    if (!record->newDir) {
        std::puts("Invalid pNewSource to QV_BrowseSourceOkCB");
        return;
    }
    if (!record->fileName) {
        std::puts("Invalid pFile to QV_BrowseSourceOkCB");
        return;
    }
    std::string dir = field_text(record->text);
    std::string path = dir + "/" + record->fileName;
    Widget shell = QV_instGetShell(record->text);
    // The source folder goes into the install child's protocol lines, one
    // line each: a line break would split them.
    if (dir.find('\n') != std::string::npos) {
        QV_instOkCancelMessageBox(shell, "The folder path contains a line break.\nPlease choose another folder.", "OK",
                                  nullptr, nullptr);
        return;
    }
    struct stat st;
    // A folder text too long for a path fails here too and gets the same
    // answer as a folder without the file.
    if (::stat(path.c_str(), &st) != 0) {
        std::string text = std::string("File:\n     '") + record->fileName + "'\nDoes not exist in directory:\n     '" +
                           dir + "'.\nTry Again";
        QV_instOkCancelMessageBox(shell, text.c_str(), "OK", nullptr, nullptr);
        return;
    }
    *record->newDir = ::strdup(dir.c_str());
    XtDestroyWidget(shell);
    browseDone = 1;
}

// Cancel: the caller asks Continue, Browse... or Abort again.
void QV_BrowseSourceExitCB(Widget w, XtPointer clientData, XtPointer callData)
{
    (void)clientData;
    (void)callData;
    XtDestroyWidget(QV_instGetShell(w));
    browseDone = 1;
}

} // extern "C"
