// The progress dialog on a real display: its make-up, the file label's
// shortening, the bar as drawn on the screen, and Cancel with a stand-in
// install child.
#include "support/xfixture.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/IntrinsicP.h>
#include <X11/Xutil.h>
#include <Xm/MessageB.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <string>

#include "wizard/glue.h"
#include "wizard_medium.h"

namespace {

using qvtest::box_child;
using qvtest::find;
using qvtest::label_text;
using qvtest::press_box;

// The colour on the screen at (x, y) of w's window.
unsigned long pixel_at(Widget w, int x, int y)
{
    XSync(XtDisplay(w), False);
    XImage *image = XGetImage(XtDisplay(w), XtWindow(w), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image)
        return ~0ul;
    unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return pixel;
}

class ProgressDialog : public qvtest::XTest {
protected:
    void SetUp() override
    {
        XTest::SetUp();
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        medium.load_simple();
    }
    // The dialog, managed and on screen.
    Widget shown()
    {
        Widget box = CreatembProgress(mainShell());
        XtManageChild(box);
        EXPECT_TRUE(qvtest::wait_mapped(daProgress));
        return box;
    }
    qvtest::WizardMedium medium;
};

TEST_F(ProgressDialog, OffersOnlyCancelAndTitlesItselfOnceShown)
{
    Widget box = CreatembProgress(mainShell());
    EXPECT_EQ(box, mbProgress);
    EXPECT_STREQ(XtName(box), "mbProgress");
    EXPECT_STREQ(XtName(QV_instGetShell(box)), "dsProgress");
    EXPECT_FALSE(XtIsManaged(box)) << "the engine shows it when the child starts";
    EXPECT_EQ(qvtest::window_title(box), "QUORVANTA|Setup");
    EXPECT_EQ(find(box, "form.frame.form1.frame1.daProgress"), daProgress);
    EXPECT_EQ(find(box, "form.frame.form1.laProgressAction"), laProgressAction);
    EXPECT_EQ(label_text(laProgressAction), "Destination Files: ");
    EXPECT_EQ(label_text(laProgressDestination), std::string(59, 'R'));

    XtManageChild(box);
    ASSERT_TRUE(qvtest::wait_mapped(box));
    EXPECT_EQ(qvtest::window_title(box), "Quorvanta Test setup");
    EXPECT_FALSE(qvtest::managed(box_child(box, XmDIALOG_OK_BUTTON)));
    EXPECT_FALSE(qvtest::managed(box_child(box, XmDIALOG_HELP_BUTTON)));
    EXPECT_EQ(label_text(box_child(box, XmDIALOG_CANCEL_BUTTON)), "Cancel");
    EXPECT_EQ(label_text(laProgressDestination), "");
    // The label keeps the width of its 59 capitals: the longest shortened
    // name (61 characters) fits in it.
    QV_instProgressUpdate(-1, ("/" + std::string(70, 'd') + "/" + std::string(56, 'W')).c_str());
    Dimension labelWidth = 0;
    XtVaGetValues(laProgressDestination, XmNwidth, &labelWidth, nullptr);
    XmFontList fonts = nullptr;
    XmString text = nullptr;
    XtVaGetValues(laProgressDestination, XmNfontList, &fonts, XmNlabelString, &text, nullptr);
    EXPECT_GE(labelWidth, XmStringWidth(fonts, text));
    XmStringFree(text);

    QV_instProgressUpdateLabel("Removing files:");
    EXPECT_EQ(label_text(laProgressAction), "Removing files:");

    XtDestroyWidget(QV_instGetShell(box));
    qvtest::pump(50);
    EXPECT_EQ(mbProgress, nullptr);
    EXPECT_EQ(daProgress, nullptr);
    EXPECT_EQ(laProgressDestination, nullptr);
    QV_instProgressUpdate(30, "/no/dialog"); // nothing to draw on: nothing happens
}

TEST_F(ProgressDialog, LongFileNamesShowTheirTail)
{
    shown();
    const std::string d58 = std::string(57, 'd') + "/"; // the tail's only '/' is its last character
    struct Row {
        std::string file, shown;
    };
    const Row rows[] = {
        {"/short/path", "/short/path"},
        {std::string(60, 'a'), std::string(60, 'a')},
        {"/x/" + std::string(30, 'b') + "/" + std::string(27, 'c'), ".../" + std::string(27, 'c')},
        {"/top" + std::string(57, 'e'), "...p" + std::string(57, 'e')},
        {"/top/" + std::string(20, 'f') + "/" + std::string(37, 'g'), ".../" + std::string(37, 'g')},
        {"/abc/" + std::string(60, 'h'), "..." + std::string(58, 'h')},
        {"/abc" + d58, "..." + d58},
    };
    for (const Row &row : rows) {
        QV_instProgressUpdate(-1, row.file.c_str());
        EXPECT_EQ(label_text(laProgressDestination), row.shown) << row.file;
    }
}

TEST_F(ProgressDialog, TheBarFollowsThePercentageAndRedrawsOnExpose)
{
    shown();
    Dimension width = 0;
    Dimension height = 0;
    Pixel foreground = 0;
    Pixel background = 0;
    XtVaGetValues(daProgress, XmNwidth, &width, XmNheight, &height, XmNforeground, &foreground, XmNbackground,
                  &background, nullptr);
    ASSERT_GT(width, 100);
    const int row = 1; // above the text
    auto filled_to = [&](int x) { return pixel_at(daProgress, x, row) == foreground; };

    QV_instProgressUpdate(40, nullptr);
    EXPECT_TRUE(filled_to(2));
    EXPECT_TRUE(filled_to(width * 40 / 100 - 2));
    EXPECT_EQ(pixel_at(daProgress, width * 40 / 100 + 2, row), background);
    qvtest::screenshot("progress_dialog_40");

    // Wiped by the server, then redrawn by the expose callback alone.
    XClearArea(XtDisplay(daProgress), XtWindow(daProgress), 0, 0, 0, 0, True);
    qvtest::pump(100);
    EXPECT_TRUE(filled_to(width * 40 / 100 - 2));

    QV_instProgressUpdate(25, nullptr);
    EXPECT_EQ(pixel_at(daProgress, width * 40 / 100 - 2, row), background) << "what lay right of 25% is cleared";

    QV_instProgressUpdate(250, nullptr);
    EXPECT_TRUE(filled_to(width - 2));
    // The text is drawn across the middle, where it changes the colours.
    bool textDrawn = false;
    for (int x = width / 2 - 20; x < width / 2 + 20 && !textDrawn; ++x)
        textDrawn = pixel_at(daProgress, x, height / 2) != foreground;
    EXPECT_TRUE(textDrawn);
}

// A stand-in install child waits while the user decides.
class StandInChild {
public:
    StandInChild()
    {
        pid_ = fork();
        if (pid_ == 0) {
            for (;;)
                pause();
        }
    }
    ~StandInChild()
    {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_;
};

TEST_F(ProgressDialog, CancelStopsTheChildAndNoResumesIt)
{
    StandInChild child;
    Widget box = shown();
    XtVaSetValues(box, XmNuserData, reinterpret_cast<XtPointer>(static_cast<intptr_t>(child.pid())), nullptr);
    bool asked = false;
    qvtest::when_found("*mbOkCancel", [&](Widget question) {
        asked = true;
        EXPECT_EQ(label_text(box_child(question, XmDIALOG_MESSAGE_LABEL)),
                  "Setup is not yet completed.\n\nIf you quit now, the product will not be installed\nproperly.\n\n"
                  "Quit Setup?");
        EXPECT_EQ(label_text(box_child(question, XmDIALOG_OK_BUTTON)), "Yes");
        EXPECT_EQ(label_text(box_child(question, XmDIALOG_CANCEL_BUTTON)), "No");
        EXPECT_EQ(qvtest::process_state(child.pid()), 'T');
        qvtest::screenshot("progress_cancel_question");
        press_box(question, XmDIALOG_CANCEL_BUTTON);
    });
    press_box(box, XmDIALOG_CANCEL_BUTTON);
    EXPECT_TRUE(asked);
    EXPECT_NE(qvtest::process_state(child.pid()), 'T');
    EXPECT_TRUE(qvtest::managed(box)) << "the run goes on";
}

// The question still waiting for its answer: an answered one lingers,
// being destroyed, until the event that opened it has been dispatched.
Widget open_question()
{
    Widget main = QV_instGetMainTopLevelShell();
    for (Cardinal i = 0; i < main->core.num_popups; ++i) {
        Widget shell = main->core.popup_list[i];
        Widget question = shell->core.being_destroyed ? nullptr : find(shell, "mbOkCancel");
        if (question && XtIsManaged(question))
            return question;
    }
    return nullptr;
}

TEST_F(ProgressDialog, ClosingTheWindowAsksOnce)
{
    StandInChild child;
    Widget box = shown();
    XtVaSetValues(box, XmNuserData, reinterpret_cast<XtPointer>(static_cast<intptr_t>(child.pid())), nullptr);
    // Every question that comes is answered "No", and counted.
    int questions = 0;
    std::function<void()> answer = [&] {
        qvtest::when([] { return open_question() != nullptr; },
                     [&] {
                         ++questions;
                         press_box(open_question(), XmDIALOG_CANCEL_BUTTON);
                         answer();
                     },
                     60000);
    };
    answer();
    qvtest::close_window(QV_instGetShell(box));
    qvtest::pump(500);
    EXPECT_EQ(questions, 1);
    EXPECT_NE(qvtest::process_state(child.pid()), 'T');
    EXPECT_TRUE(qvtest::managed(box)) << "the run goes on";
}

TEST_F(ProgressDialog, CancelThenYesQuitsWithTen)
{
    EXPECT_EXIT(
        {
            StandInChild child;
            Widget box = shown();
            XtVaSetValues(box, XmNuserData, reinterpret_cast<XtPointer>(static_cast<intptr_t>(child.pid())),
                          nullptr);
            qvtest::when_found("*mbOkCancel", [](Widget question) { press_box(question, XmDIALOG_OK_BUTTON); });
            static pid_t s_pid;
            s_pid = child.pid();
            std::atexit([] { std::fprintf(stderr, "child %s\n", kill(s_pid, 0) == 0 ? "alive" : "gone"); });
            press_box(box, XmDIALOG_CANCEL_BUTTON);
        },
        ::testing::ExitedWithCode(10), "^child gone\n$");
}

} // namespace
