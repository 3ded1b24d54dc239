// The main top-level shell, the modal local event loop, shell lookups,
// centring and the message boxes (status box and OK/Cancel box).
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <X11/Shell.h>
#include <Xm/DialogS.h>
#include <Xm/MessageB.h>
#include <Xm/MwmUtil.h>
#include <Xm/Protocols.h>
#include <Xm/Text.h>
#include <Xm/Xm.h>

#include "engine/internal.h"
#include "engine/util.h"
#include "wizard/bx.h"
#include "wizard/shell.h"

namespace {

Widget g_mainShell; // NULL in command-line mode and before start-up creates it
Widget g_statusBox; // message box of the status box on screen, if any

// The OK/Cancel boxes waiting for their answer (0 until a button is pressed,
// then 1, 2 or 3), the innermost last: a box may be opened from a timer or
// an input callback while another one waits, and each keeps its own answer.
struct Waiting {
    Widget shell;
    int *answer;
};
std::vector<Waiting> g_waiting;

int *answer_of(Widget shell)
{
    for (Waiting &w : g_waiting) {
        if (w.shell == shell)
            return w.answer;
    }
    return nullptr;
}

// Moves shell so that a window of w's size sits in the middle of the screen.
void centre_on_screen(Widget shell, Widget w)
{
    Screen *screen = XtScreen(shell);
    Dimension width = 0;
    Dimension height = 0;
    XtVaGetValues(w, XmNwidth, &width, XmNheight, &height, nullptr);
    const int x = WidthOfScreen(screen) / 2 - width / 2;
    const int y = HeightOfScreen(screen) / 2 - height / 2;
    XtVaSetValues(shell, XmNx, x, XmNy, y, nullptr);
}

// A "Quorvanta Message" dialog shell holding a full application modal
// information box without separator. Closing it through the window manager
// does nothing by itself: the box decides what a close means.
Widget create_message_box(Widget parent, const char *name)
{
    XtInitializeWidgetClass(xmDialogShellWidgetClass);
    XtInitializeWidgetClass(xmMessageBoxWidgetClass);
    Widget shell = XtVaCreatePopupShell("Quorvanta Message", xmDialogShellWidgetClass, parent, XmNmwmInputMode,
                                        MWM_INPUT_FULL_APPLICATION_MODAL, XmNdeleteResponse, XmDO_NOTHING, nullptr);
    Widget box = XtVaCreateWidget(name, xmMessageBoxWidgetClass, shell, XmNautoUnmanage, False, XmNnoResize, True,
                                  XmNdialogStyle, XmDIALOG_FULL_APPLICATION_MODAL, XmNdialogType,
                                  XmDIALOG_INFORMATION, nullptr);
    XtUnmanageChild(XmMessageBoxGetChild(box, XmDIALOG_SEPARATOR));
    return box;
}

// Someone else (the parent's destruction, a module) destroyed the status
// box: forget it so that removing it later does not touch a dead widget.
void status_box_destroyed(Widget w, XtPointer, XtPointer)
{
    if (g_statusBox == w)
        g_statusBox = nullptr;
}

// The OK/Cancel box's shell went away without a button answering (its
// parent was destroyed, or anyone else destroyed it): the wait ends as if
// the closing button (the client data) had been pressed.
void ok_cancel_box_destroyed(Widget shell, XtPointer clientData, XtPointer)
{
    int *answer = answer_of(shell);
    if (answer && *answer == 0)
        *answer = static_cast<int>(reinterpret_cast<intptr_t>(clientData));
}

// The OK/Cancel box's second or third button: labelled and answering with
// its number, or hidden when the caller gives it no label.
void optional_button(Widget box, unsigned char child, const char *callback, const char *label, intptr_t answer)
{
    Widget button = XmMessageBoxGetChild(box, child);
    if (!label) {
        XtUnmanageChild(button);
        return;
    }
    QV_instUpdateLabelString(button, label);
    XtAddCallback(box, callback, QV_instOkCancelAnswerCB, reinterpret_cast<XtPointer>(answer));
}

// The text of a box shown without a display, as an entry of its own in the
// run's log (nothing when no log is open).
void log_box_text(const char *text)
{
    if (!text || !QV_instGetLogfileName()[0])
        return;
    size_t length = std::strlen(text);
    QV_instUpdateLogfile(length && text[length - 1] == '\n' ? "%s" : "%s\n", text);
}

} // namespace

extern "C" {

Widget QV_instGetMainTopLevelShell(void)
{
    return g_mainShell;
}

Widget QV_instCreateMainTopLevelShell(Widget parent)
{
    Screen *screen = XtScreen(parent);
    g_mainShell = XtVaCreatePopupShell("TopLevelShell", topLevelShellWidgetClass, parent, XmNtitle, "",
                                       XmNiconName, "", XmNx, WidthOfScreen(screen) / 2, XmNy,
                                       HeightOfScreen(screen) / 2, nullptr);
    XtManageChild(g_mainShell);
    XtRealizeWidget(g_mainShell);
    centre_on_screen(g_mainShell, g_mainShell);
    return g_mainShell;
}

// Dispatches every kind of input of the application (X events, timers,
// input callbacks) until *flag is set, so a timer or the pipe's input
// callback that sets the flag ends the wait too.
void QV_instMainLoop(Widget w, int *flag)
{
    if (!flag)
        return;
    XtAppContext app = XtWidgetToApplicationContext(w);
    while (*flag == 0)
        XtAppProcessEvent(app, XtIMAll);
}

Widget QV_instGetShell(Widget w)
{
    while (w && !XtIsShell(w))
        w = XtParent(w);
    return w;
}

Widget QV_instGetTLShell(Widget w)
{
    while (w && !XtIsTopLevelShell(w))
        w = XtParent(w);
    return w;
}

Widget QV_instGetTopManager(Widget w)
{
    if (!w || XtIsShell(w))
        return w;
    for (; XtParent(w); w = XtParent(w)) {
        if (XtIsShell(XtParent(w)))
            return w;
    }
    return nullptr;
}

void QV_makeAllWidgetSameMaxWidth(Widget first, ...)
{
    std::vector<Widget> widgets;
    va_list args;
    va_start(args, first);
    for (Widget w = first; w; w = va_arg(args, Widget))
        widgets.push_back(w);
    va_end(args);

    Dimension widest = 0;
    for (Widget w : widgets) {
        Dimension width = 0;
        XtVaGetValues(w, XmNwidth, &width, nullptr);
        if (width > widest)
            widest = width;
    }
    for (Widget w : widgets)
        XtVaSetValues(w, XmNwidth, widest, nullptr);
}

void QV_instPopup(Widget w, const char *title, const char *iconName)
{
    Widget shell = QV_instGetShell(w);
    if (!shell)
        return;
    XtVaSetValues(shell, XmNtitle, title, XmNiconName, iconName, nullptr);
    if (!XtIsManaged(w))
        XtManageChild(w);
    if (!XtIsRealized(shell))
        XtRealizeWidget(shell);
    centre_on_screen(shell, w);
    XtPopup(shell, XtGrabNone);
}

void QV_instCreateAndPopup(Widget (*create)(Widget parent))
{
    Widget main = g_mainShell;
    if (!main || !create)
        return;
    Widget w = create(main);
    if (!w)
        return;
    // The main shell is realised since start-up, and a realised shell forces
    // its size on a child it gets: it takes the new child's size first.
    Dimension width = 0;
    Dimension height = 0;
    XtVaGetValues(w, XmNwidth, &width, XmNheight, &height, nullptr);
    if (width > 0 && height > 0)
        XtVaSetValues(main, XmNwidth, width, XmNheight, height, nullptr);
    XtManageChild(w);
    XtRealizeWidget(main);
    centre_on_screen(main, w);
    XtPopup(main, XtGrabNone);
}

void QV_instPopdown(Widget w)
{
    if (Widget shell = QV_instGetShell(w))
        XtPopdown(shell);
}

// Sets a label's or button's text; a text that begins with "::" is read in
// the builder's compound-string syntax.
void QV_instUpdateLabelString(Widget w, const char *text)
{
    Boolean ok = False;
    auto label = reinterpret_cast<XmString>(CONVERT(w, text, XmRXmString, 0, &ok));
    XtVaSetValues(w, XmNlabelString, label, nullptr);
    // The label keeps a copy of its own.
    if (ok && label)
        XmStringFree(label);
}

// Shows a status box without buttons (replacing any other) and returns at
// once; it is drawn before returning, so long work may follow.
void QV_instDisplayMessageBox(Widget parent, const char *text)
{
    if (g_statusBox)
        QV_instRemoveMessageBox();
    // Without a display the status is told on the terminal, on a line of
    // its own, and in the log, as the text of every other box is.
    if (!parent) {
        if (text && *text) {
            const size_t length = std::strlen(text);
            std::printf(text[length - 1] == '\n' ? "%s" : "%s\n", text);
            std::fflush(stdout);
            log_box_text(text);
        }
        return;
    }
    Widget box = create_message_box(parent, "mbMessage");
    g_statusBox = box;
    XtAddCallback(box, XmNdestroyCallback, status_box_destroyed, nullptr);
    XtUnmanageChild(XmMessageBoxGetChild(box, XmDIALOG_OK_BUTTON));
    XtUnmanageChild(XmMessageBoxGetChild(box, XmDIALOG_CANCEL_BUTTON));
    XtUnmanageChild(XmMessageBoxGetChild(box, XmDIALOG_HELP_BUTTON));
    Widget message = XmMessageBoxGetChild(box, XmDIALOG_MESSAGE_LABEL);
    QV_instUpdateLabelString(message, text ? text : "");
    XtManageChild(box);

    XmUpdateDisplay(parent);
    XmUpdateDisplay(box);
    XmUpdateDisplay(message);
    XmUpdateDisplay(XmMessageBoxGetChild(box, XmDIALOG_SYMBOL_LABEL));
}

void QV_instRemoveMessageBox(void)
{
    Widget box = g_statusBox;
    g_statusBox = nullptr;
    if (box)
        XtDestroyWidget(QV_instGetShell(box));
}

// Asks a question with one to three buttons and waits for the answer:
// 0 for the first, 1 for the second (Cancel), 2 for the third (Help).
// Closing the box any other way counts as Cancel when it has one, else as
// the first button, which is also what every box answers without a display.
int QV_instOkCancelMessageBox(Widget parent, const char *text, const char *ok, const char *cancel, const char *help)
{
    if (!parent) {
        std::printf("%s", text);
        std::printf("Returning %s\n", ok);
        // The install child may end with _exit: the answer must be out.
        std::fflush(stdout);
        // Whoever kept only the log (or sent the output away) still learns
        // what the box said.
        log_box_text(text);
        return 0;
    }

    Widget box = create_message_box(parent, "mbOkCancel");
    Widget shell = XtParent(box);
    XtAddCallback(box, XmNokCallback, QV_instOkCancelAnswerCB, reinterpret_cast<XtPointer>(1));
    optional_button(box, XmDIALOG_CANCEL_BUTTON, XmNcancelCallback, cancel, 2);
    optional_button(box, XmDIALOG_HELP_BUTTON, XmNhelpCallback, help, 3);
    QV_instUpdateLabelString(XmMessageBoxGetChild(box, XmDIALOG_OK_BUTTON), ok);
    QV_instUpdateLabelString(XmMessageBoxGetChild(box, XmDIALOG_MESSAGE_LABEL), text);

    const intptr_t closeAnswer = cancel ? 2 : 1;
    XtAddCallback(shell, XmNdestroyCallback, ok_cancel_box_destroyed, reinterpret_cast<XtPointer>(closeAnswer));
    XmAddWMProtocolCallback(shell, XmInternAtom(XtDisplay(shell), const_cast<char *>("WM_DELETE_WINDOW"), False),
                            QV_instOkCancelAnswerCB, reinterpret_cast<XtPointer>(closeAnswer));

    int answer = 0;
    g_waiting.push_back({shell, &answer});
    XtManageChild(box);
    QV_instMainLoop(box, &answer);
    g_waiting.pop_back();
    return answer - 1;
}

void QV_instOkCancelAnswerCB(Widget w, XtPointer clientData, XtPointer)
{
    Widget shell = QV_instGetShell(w);
    if (shell)
        XtDestroyWidget(shell);
    // Set after the destruction, which may already have answered "closed".
    if (int *answer = answer_of(shell))
        *answer = static_cast<int>(reinterpret_cast<intptr_t>(clientData));
}

int QV_instDisplayMessage(Widget parent, const char *ok, const char *cancel, const char *help, const char *format, ...)
{
    if (!format)
        return 0;
    va_list args;
    va_start(args, format);
    qv::CStr text(QV_instVStrprint(format, args));
    va_end(args);
    if (!text) {
        std::fputs("Error: (QV_instError) can't build error message\n", stderr);
        std::exit(1);
    }
    if (parent)
        return QV_instOkCancelMessageBox(parent, text.get(), ok, cancel, help);
    // On the terminal the text ends its line, so that whatever is printed
    // next does not run on after it.
    const size_t length = std::strlen(text.get());
    std::fputs(text.get(), stderr);
    if (length > 0 && text.get()[length - 1] != '\n')
        std::fputc('\n', stderr);
    log_box_text(text.get());
    return 0;
}

// Runs a shell command and appends its output to an XmText widget.
int QV_instOutputCmdInTextWidget(Widget text, const char *command)
{
    if (!command)
        return -1;
    FILE *pipe = popen(command, "r");
    if (!pipe)
        return -1;
    char buffer[10240];
    while (std::fgets(buffer, sizeof buffer, pipe))
        XmTextInsert(text, XmTextGetLastPosition(text), buffer);
    return pclose(pipe);
}

} // extern "C"
