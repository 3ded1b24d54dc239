// The progress dialog: a bar with the percentage across it, the file being
// handled and what is being done, while the install child works; Cancel
// stops the child and offers to quit.
#include "wizard/progress.h"

#include <signal.h>
#include <sys/wait.h>

#include <Xm/DrawingA.h>
#include <Xm/Form.h>
#include <Xm/Frame.h>
#include <Xm/Label.h>
#include <Xm/MessageB.h>
#include <Xm/XmP.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/cdinst.h"
#include "engine/driver.h"
#include "engine/util.h"
#include "wizard/dialog.h"
#include "wizard/glue.h"

extern "C" {
Widget mbProgress = nullptr;
Widget daProgress = nullptr;
Widget laProgressDestination = nullptr;
Widget laProgressAction = nullptr;
}

namespace {

// What the bar shows now; both last for the whole process.
int lastPercentage = 0;
std::string lastFile;

// The bar's graphics context, made for the drawing area's window.
GC barGC = nullptr;
Display *barDisplay = nullptr;

// File names longer than this are shown by their tail.
constexpr size_t kFileShownWhole = 60;
constexpr size_t kFileTail = 58;

// The label's text: 59 capitals fix its width before the first file.
constexpr const char kDestinationWidth[] = "RRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRR";

std::string shortened(const std::string &file)
{
    if (file.size() <= kFileShownWhole)
        return file;
    std::string tail = file.substr(file.size() - kFileTail);
    // Start the tail at a directory boundary when there is one to start at.
    size_t slash = tail.find('/');
    if (slash != std::string::npos && slash != tail.size() - 1)
        tail.erase(0, slash);
    return "..." + tail;
}

void dialog_destroyed(Widget, XtPointer, XtPointer)
{
    if (barGC)
        XFreeGC(barDisplay, barGC);
    barGC = nullptr;
    mbProgress = nullptr;
    daProgress = nullptr;
    laProgressDestination = nullptr;
    laProgressAction = nullptr;
}

// Closing the window asks the Cancel question.
void window_closed(Widget, XtPointer, XtPointer)
{
    if (mbProgress)
        QV_instProgressCancelCB(mbProgress, nullptr, nullptr);
}

void draw_bar(int percentage)
{
    if (!daProgress || !laProgressDestination || !XtIsRealized(daProgress))
        return;
    Display *display = XtDisplay(daProgress);
    Window window = XtWindow(daProgress);
    Dimension width = 0;
    Dimension height = 0;
    Pixel foreground = 0;
    Pixel background = 0;
    XtVaGetValues(daProgress, XmNwidth, &width, XmNheight, &height, XmNforeground, &foreground, XmNbackground,
                  &background, nullptr);
    Pixel labelBackground = 0;
    XmFontList fontList = nullptr;
    XtVaGetValues(laProgressDestination, XmNbackground, &labelBackground, XmNfontList, &fontList, nullptr);
    // The bar takes the label's background where that stands out from the
    // area's own, else the area's foreground.
    const Pixel fill = labelBackground == background ? foreground : labelBackground;

    if (!barGC) {
        barGC = XCreateGC(display, window, 0, nullptr);
        barDisplay = display;
    }
    XSetFunction(display, barGC, GXcopy);
    XSetForeground(display, barGC, fill);
    const int filled = percentage * width / 100;
    if (filled < width)
        XClearArea(display, window, filled, 0, width - filled, height, False);
    if (filled > 0)
        XFillRectangle(display, window, barGC, 0, 0, filled, height);

    char text[32];
    std::snprintf(text, sizeof text, "%d%% completed", percentage);
    // Drawn in xor: the text shows in the background's colour over the bar
    // and in the bar's colour over the rest.
    XSetFunction(display, barGC, GXxor);
    XSetForeground(display, barGC, fill ^ background);
    Dimension textWidth = 0;
    Dimension textHeight = 0;
    XFontStruct *font = nullptr;
    if (fontList && XmeRenderTableGetDefaultFont(fontList, &font) && font) {
        XSetFont(display, barGC, font->fid);
        XmString measured = XmStringCreate(text, const_cast<char *>(XmFONTLIST_DEFAULT_TAG));
        XmStringExtent(fontList, measured, &textWidth, &textHeight);
        XmStringFree(measured);
    } else if (XFontStruct *gcFont = XQueryFont(display, XGContextFromGC(barGC))) {
        // No core font in the label's font list (a client-side font): the
        // text is measured in the font it is drawn with.
        textWidth = static_cast<Dimension>(XTextWidth(gcFont, text, static_cast<int>(std::strlen(text))));
        textHeight = static_cast<Dimension>(gcFont->ascent + gcFont->descent);
        XFreeFontInfo(nullptr, gcFont, 0);
    }
    XDrawString(display, window, barGC, width / 2 - textWidth / 2, height / 2 + textHeight / 2, text,
                static_cast<int>(std::strlen(text)));
}

} // namespace

extern "C" {

Widget CreatembProgress(Widget parent)
{
    const qv::Geometry where{347, 91, 662, 253};
    Widget shell = qv::create_dialog_shell(parent, "dsProgress", &where);
    XtVaSetValues(shell, XmNallowShellResize, False, nullptr);

    qv::BoxSpec opts("mbProgress");
    opts.noResize = True;
    opts.mapCB = QV_instProgressMapCB;
    opts.cancelCB = QV_instProgressCancelCB;
    Widget box = qv::create_message_box(shell, opts);
    // After the box: its own close handler replaces the one the box
    // arranges, so that one close asks one question.
    qv::on_window_close(shell, window_closed, nullptr);
    XtAddCallback(box, XmNdestroyCallback, dialog_destroyed, nullptr);

    qv::Args formArgs(box);
    Widget form = qv::create_managed("form", xmFormWidgetClass, box, formArgs);
    qv::Args frameArgs(form);
    frameArgs.attach(qv::Args::Top, 10).attach(qv::Args::Bottom, 10);
    frameArgs.attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    Widget frame = qv::create_managed("frame", xmFrameWidgetClass, form, frameArgs);
    qv::Args form1Args(frame);
    Widget form1 = qv::create_managed("form1", xmFormWidgetClass, frame, form1Args);

    qv::Args actionArgs(form1);
    actionArgs.set(XmNalignment, XmALIGNMENT_BEGINNING);
    actionArgs.text(XmNlabelString, "Destination Files: ");
    actionArgs.attach(qv::Args::Top, 10).attach(qv::Args::Left, 10);
    laProgressAction = qv::create_managed("laProgressAction", xmLabelWidgetClass, form1, actionArgs);

    qv::Args destinationArgs(form1);
    destinationArgs.set(XmNalignment, XmALIGNMENT_BEGINNING);
    destinationArgs.text(XmNlabelString, kDestinationWidth);
    destinationArgs.set(XmNrecomputeSize, False);
    destinationArgs.attach(qv::Args::Top, laProgressAction, 10);
    destinationArgs.attach(qv::Args::Left, 10).attach(qv::Args::Right, 10);
    laProgressDestination = qv::create_managed("laProgressDestination", xmLabelWidgetClass, form1, destinationArgs);

    qv::Args frame1Args(form1);
    frame1Args.attach(qv::Args::Top, laProgressDestination, 10);
    frame1Args.attach(qv::Args::Left, 10).attach(qv::Args::Right, 10).attach(qv::Args::Bottom, 10);
    Widget frame1 = qv::create_managed("frame1", xmFrameWidgetClass, form1, frame1Args);

    qv::Args barArgs(frame1);
    barArgs.set(XmNheight, 28);
    daProgress = qv::create_managed("daProgress", xmDrawingAreaWidgetClass, frame1, barArgs);
    XtAddCallback(daProgress, XmNexposeCallback, QV_instProgressExposeCB, nullptr);

    mbProgress = box;
    return box;
}

// Moves the bar to percentage (-1 draws the last one again) and shows the
// file being handled.
void QV_instProgressUpdate(int percentage, const char *file)
{
    if (percentage > 100)
        percentage = 100;
    if (file && laProgressDestination && lastFile != file) {
        QV_instUpdateLabelString(laProgressDestination, shortened(file).c_str());
        lastFile = file;
    }
    if (percentage < 0) {
        percentage = lastPercentage;
    } else {
        if (percentage == lastPercentage)
            return;
        lastPercentage = percentage;
    }
    draw_bar(percentage);
}

// Says what the child is doing: removing or installing files.
void QV_instProgressUpdateLabel(const char *text)
{
    if (laProgressAction && text)
        QV_instUpdateLabelString(laProgressAction, text);
}

void QV_instProgressMapCB(Widget w, XtPointer, XtPointer)
{
    qv::unmanage_box_children(w, {XmDIALOG_HELP_BUTTON, XmDIALOG_OK_BUTTON});
    QV_instUpdateLabelString(laProgressDestination, "");
    QV_instSetWindowTitle(w);
}

void QV_instProgressExposeCB(Widget, XtPointer, XtPointer)
{
    QV_instProgressUpdate(-1, nullptr);
}

// "Cancel": the child and every command of the run wait while the user
// decides. Quitting leaves what is installed so far (exit code 10); like
// every interrupted first installation, it leaves no history that would
// offer maintenance of a product that is only partly there.
void QV_instProgressCancelCB(Widget w, XtPointer, XtPointer)
{
    XtPointer data = nullptr;
    XtVaGetValues(w, XmNuserData, &data, nullptr);
    const pid_t child = static_cast<pid_t>(reinterpret_cast<intptr_t>(data));
    // Without a child (0 or less) only the question waits.
    qv::pause_run(child);
    int answer = QV_instOkCancelMessageBox(QV_instGetMainTopLevelShell(),
                                           "Setup is not yet completed.\n\nIf you quit now, the product will not "
                                           "be installed\nproperly.\n\nQuit Setup?",
                                           "Yes", "No", nullptr);
    if (answer == 0)
        qv::interrupt_run(child, 10);
    qv::resume_run(child);
}

} // extern "C"
