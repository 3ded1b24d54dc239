// The log viewer, modal over the end-of-setup dialog, and the file viewer
// that setup modules open in a process of its own.
#include "wizard/viewers.h"

#include <sys/stat.h>
#include <unistd.h>

#include <Xm/CascadeB.h>
#include <Xm/Form.h>
#include <Xm/MessageB.h>
#include <Xm/PushB.h>
#include <Xm/RowColumn.h>
#include <Xm/Text.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/internal.h"
#include "engine/util.h"
#include "wizard/dialog.h"
#include "wizard/glue.h"

extern "C" {
Widget text = nullptr;
Widget form = nullptr;
XtIntervalId g_xTimer = 0;
}

namespace {

// The setup page of the product's help web site.
constexpr const char kSetupHelpAddress[] = "http://www.quorvanta.com/index.php/Category:Setup";

// Both viewers read their file in pieces of at most 511 bytes; a longer
// line arrives in several pieces, each appended after the last.
constexpr int kReadPiece = 512;

// Set by the log viewer's "Done".
int logViewerDone = 0;

// The file viewer's last load: characters shown, and the size and time of
// the file then.
XmTextPosition viewerLength = 0;
off_t viewerSize = 0;
time_t viewerTime = 0;

// Appends the file's contents to the text at *position; false when the
// file cannot be opened.
bool append_file(Widget textWidget, const char *path, XmTextPosition *position)
{
    qv::File file(std::fopen(path, "r"));
    if (!file)
        return false;
    char piece[kReadPiece];
    while (std::fgets(piece, sizeof piece, file.get())) {
        XmTextInsert(textWidget, *position, piece);
        *position += static_cast<XmTextPosition>(std::strlen(piece));
    }
    return true;
}

// A managed read-only multi-line scrolled text "text" in a form, its
// scrolled window attached to the form's left, right and bottom.
Widget read_only_text(Widget parentForm)
{
    Arg args[2];
    XtSetArg(args[0], XmNeditable, False);
    XtSetArg(args[1], XmNeditMode, XmMULTI_LINE_EDIT);
    Widget scrolled = XmCreateScrolledText(parentForm, const_cast<char *>("text"), args, 2);
    XtVaSetValues(XtParent(scrolled), XmNleftAttachment, XmATTACH_FORM, XmNrightAttachment, XmATTACH_FORM,
                  XmNbottomAttachment, XmATTACH_FORM, nullptr);
    XtManageChild(scrolled);
    return scrolled;
}

// The viewer process: its own connection to the caller's display (sharing
// the caller's connection between two processes would mix their requests),
// a window with a File menu and a read-only text, filled once after 1.5 s.
[[noreturn]] void run_file_viewer(Widget callerShell, const char *path)
{
    Display *callerDisplay = XtDisplay(callerShell);
    XtToolkitInitialize();
    XtAppContext app = XtCreateApplicationContext();
    int argc = 0;
    Display *display = XtOpenDisplay(app, DisplayString(callerDisplay), XtName(callerShell), "QUORVANTA Setup",
                                     nullptr, 0, &argc, nullptr);
    if (!display) {
        std::printf("Can't open display %s\n", DisplayString(callerDisplay));
        std::exit(1);
    }
    RegisterBxConverters(app);
    char *title = nullptr;
    XtVaGetValues(callerShell, XmNtitle, &title, nullptr);
    Widget shell = XtVaAppCreateShell(XtName(callerShell), "QUORVANTA Setup", applicationShellWidgetClass, display,
                                      XmNtitle, title ? title : XtName(callerShell), XmNwidth, 400, XmNheight, 400,
                                      nullptr);

    Widget viewerForm = XtVaCreateManagedWidget("form", xmFormWidgetClass, shell, nullptr);
    Widget menuBar = XmCreateMenuBar(viewerForm, const_cast<char *>("menu_bar"), nullptr, 0);
    XtVaSetValues(menuBar, XmNtopAttachment, XmATTACH_FORM, XmNleftAttachment, XmATTACH_FORM, XmNrightAttachment,
                  XmATTACH_FORM, nullptr);
    XtManageChild(menuBar);

    text = read_only_text(viewerForm);
    XtVaSetValues(XtParent(text), XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, menuBar, nullptr);
    XtSetSensitive(text, False);

    Widget pulldown = XmCreatePulldownMenu(menuBar, const_cast<char *>("File"), nullptr, 0);
    XmString fileLabel = XmStringCreateLtoR(const_cast<char *>("File"), const_cast<char *>(""));
    XtVaCreateManagedWidget("File", xmCascadeButtonWidgetClass, menuBar, XmNsubMenuId, pulldown, XmNlabelString,
                            fileLabel, nullptr);
    XmStringFree(fileLabel);
    XmString quitLabel = XmStringCreateLtoR(const_cast<char *>("Quit"), const_cast<char *>(""));
    Widget quit = XtVaCreateManagedWidget("Quit", xmPushButtonWidgetClass, pulldown, XmNlabelString, quitLabel,
                                          nullptr);
    XmStringFree(quitLabel);
    XtAddCallback(quit, XmNactivateCallback, menuCB, reinterpret_cast<XtPointer>(3));

    XtPopup(shell, XtGrabNone);
    XtSetSensitive(text, True);
    // The path is kept as long as the viewer process lives.
    static std::string viewed;
    viewed = path ? path : "";
    g_xTimer = XtAppAddTimeOut(app, 1500, QV_instCheckLogfile, const_cast<char *>(viewed.c_str()));
    for (;;)
        XtAppProcessEvent(app, XtIMAll);
}

} // namespace

extern "C" {

// Shows the installation log of this run, read-only, until "Done".
int ViewLogfile(Widget parent)
{
    logViewerDone = 0;
    const char *path = QV_instGetLogfileName();
    // The shell is named by the log's path, which is what its title shows.
    Widget shell = qv::create_dialog_shell(parent, path, nullptr, nullptr, qv::kMwmFullApplicationModal);

    qv::BoxSpec opts("Interactive Message");
    opts.noResize = True;
    opts.dialogStyle = XmDIALOG_FULL_APPLICATION_MODAL;
    Widget box = qv::create_message_box(shell, opts);
    // Closing the window is Done, once: registered after the box, it
    // replaces the close handler that the box arranges.
    qv::on_window_close(shell, ViewLogfileDoneCB, reinterpret_cast<XtPointer>(1));
    XtVaSetValues(box, XmNwidth, 600, XmNheight, 600, nullptr);
    qv::unmanage_box_children(box, {XmDIALOG_SEPARATOR, XmDIALOG_CANCEL_BUTTON});
    QV_instUpdateLabelString(XmMessageBoxGetChild(box, XmDIALOG_HELP_BUTTON), "Help");
    XtAddCallback(box, XmNhelpCallback, ViewLogfileHelpCB, nullptr);
    QV_instUpdateLabelString(XmMessageBoxGetChild(box, XmDIALOG_OK_BUTTON), "Done");
    XtAddCallback(box, XmNokCallback, ViewLogfileDoneCB, reinterpret_cast<XtPointer>(1));
    QV_instUpdateLabelString(XmMessageBoxGetChild(box, XmDIALOG_MESSAGE_LABEL), path);

    qv::Args formArgs(box);
    Widget logForm = qv::create_managed("form", xmFormWidgetClass, box, formArgs);
    Widget logText = read_only_text(logForm);
    XtVaSetValues(XtParent(logText), XmNtopAttachment, XmATTACH_FORM, nullptr);
    XtSetSensitive(logText, True);
    XtManageChild(box);

    XmTextPosition end = 0;
    if (append_file(logText, path, &end))
        XmTextSetHighlight(logText, 0, end, XmHIGHLIGHT_NORMAL);
    else
        std::printf("Unable to open %s\n", path);

    QV_instMainLoop(parent, &logViewerDone);
    return logViewerDone;
}

// "Done" of the log viewer.
void ViewLogfileDoneCB(Widget w, XtPointer clientData, XtPointer)
{
    XtDestroyWidget(QV_instGetShell(w));
    logViewerDone = static_cast<int>(reinterpret_cast<intptr_t>(clientData));
}

// "Help" of the log viewer: the setup page of the help web site.
void ViewLogfileHelpCB(Widget w, XtPointer, XtPointer)
{
    QV_instHtmlHelpCB(w, nullptr, kSetupHelpAddress);
}

// Shows a file in a window of its own, run by a new process; answers that
// process's id at once (-1 when it cannot be started).
int ViewFile(Widget shell, const char *path)
{
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid == 0)
        run_file_viewer(shell, path);
    return pid;
}

// The file viewer's load, once, a moment after its window appeared.
void QV_instCheckLogfile(XtPointer clientData, XtIntervalId *id)
{
    if (!id || *id != g_xTimer)
        return;
    // Fired: nothing is pending any more.
    g_xTimer = 0;
    const char *path = static_cast<const char *>(clientData);
    struct stat st;
    if (stat(path, &st) != 0) {
        std::printf("Can't stat %s\n", path);
        return;
    }
    if (st.st_size == viewerSize || st.st_mtime == viewerTime)
        return;
    if (!append_file(text, path, &viewerLength)) {
        std::printf("Unable to open %s\n", path);
        return;
    }
    viewerSize = st.st_size;
    viewerTime = st.st_mtime;
}

// Ends the file viewer process.
void KillViewer(void)
{
    if (g_xTimer)
        XtRemoveTimeOut(g_xTimer);
    g_xTimer = 0;
    std::exit(0);
}

// The file viewer's menu: entry 3 is Quit.
void menuCB(Widget, XtPointer clientData, XtPointer)
{
    if (reinterpret_cast<intptr_t>(clientData) == 3)
        KillViewer();
}

} // extern "C"
