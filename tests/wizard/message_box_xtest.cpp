// The message boxes on a real X server: the OK/Cancel box's answers, texts
// and resources, what closing or destroying it answers, the status box, and
// a screenshot of a box as a person sees it.
#include "support/xfixture.h"


#include <X11/IntrinsicP.h>
#include <Xm/DialogS.h>
#include <Xm/MessageB.h>
#include <Xm/MwmUtil.h>
#include <Xm/PushB.h>

#include "wizard/shell.h"

namespace {

using qvtest::managed;

class MessageBoxTest : public qvtest::XTest {};

// Which buttons a box shows, and the answer each button gives.
TEST_F(MessageBoxTest, EachButtonGivesItsAnswer)
{
    struct Row {
        const char *cancel;
        const char *help;
        unsigned char press;
        int answer;
        bool cancelShown;
        bool helpShown;
    };
    const Row rows[] = {
        {nullptr, nullptr, XmDIALOG_OK_BUTTON, 0, false, false},
        {"No", nullptr, XmDIALOG_OK_BUTTON, 0, true, false},
        {"No", nullptr, XmDIALOG_CANCEL_BUTTON, 1, true, false},
        {"Browse...", "Abort", XmDIALOG_CANCEL_BUTTON, 1, true, true},
        {"Browse...", "Abort", XmDIALOG_HELP_BUTTON, 2, true, true},
        {nullptr, "Help", XmDIALOG_HELP_BUTTON, 2, false, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string("cancel=") + (row.cancel ? row.cancel : "NULL") +
                     " help=" + (row.help ? row.help : "NULL") + " press=" + std::to_string(row.press));
        bool checked = false;
        qvtest::when_found("*mbOkCancel", [&](Widget box) {
            EXPECT_TRUE(managed(qvtest::box_child(box, XmDIALOG_OK_BUTTON)));
            EXPECT_EQ(managed(qvtest::box_child(box, XmDIALOG_CANCEL_BUTTON)), row.cancelShown);
            EXPECT_EQ(managed(qvtest::box_child(box, XmDIALOG_HELP_BUTTON)), row.helpShown);
            EXPECT_FALSE(managed(qvtest::box_child(box, XmDIALOG_SEPARATOR)));
            checked = true;
            qvtest::press_box(box, row.press);
        });
        EXPECT_EQ(QV_instOkCancelMessageBox(mainShell(), "Disk full", "OK", row.cancel, row.help), row.answer);
        EXPECT_TRUE(checked);
        qvtest::pump(10);
        EXPECT_EQ(qvtest::find("*mbOkCancel"), nullptr) << "the box must be gone once answered";
    }
}

// The box's widgets, names and resources, and its texts read back from the
// screen's widgets ("::" texts in the builder syntax, others unchanged).
TEST_F(MessageBoxTest, BoxCarriesItsTextsAndResources)
{
    qvtest::when_found("*mbOkCancel", [&](Widget box) {
        Widget shell = XtParent(box);
        EXPECT_STREQ(XtName(shell), "Quorvanta Message");
        EXPECT_TRUE(XtIsSubclass(shell, xmDialogShellWidgetClass));
        EXPECT_EQ(XtParent(shell), mainShell());
        int inputMode = -1;
        XtVaGetValues(shell, XmNmwmInputMode, &inputMode, nullptr);
        EXPECT_EQ(inputMode, MWM_INPUT_FULL_APPLICATION_MODAL);

        Boolean autoUnmanage = True;
        Boolean noResize = False;
        unsigned char style = 0;
        unsigned char type = 0;
        XtVaGetValues(box, XmNautoUnmanage, &autoUnmanage, XmNnoResize, &noResize, XmNdialogStyle, &style,
                      XmNdialogType, &type, nullptr);
        EXPECT_FALSE(autoUnmanage);
        EXPECT_TRUE(noResize);
        EXPECT_EQ(style, XmDIALOG_FULL_APPLICATION_MODAL);
        EXPECT_EQ(type, XmDIALOG_INFORMATION);

        EXPECT_EQ(qvtest::label_text(qvtest::box_child(box, XmDIALOG_MESSAGE_LABEL)),
                  "Setup is not yet completed.\n\nQuit Setup?");
        EXPECT_EQ(qvtest::label_text(qvtest::box_child(box, XmDIALOG_OK_BUTTON)), "Yes");
        EXPECT_EQ(qvtest::label_text(qvtest::box_child(box, XmDIALOG_CANCEL_BUTTON)), "Do not\nquit");
        EXPECT_EQ(qvtest::label_text(qvtest::box_child(box, XmDIALOG_HELP_BUTTON)), "Abort ::t\"x\"");
        qvtest::press_box(box, XmDIALOG_OK_BUTTON);
    });
    EXPECT_EQ(QV_instOkCancelMessageBox(mainShell(), "Setup is not yet completed.\n\nQuit Setup?", "Yes",
                                        ":::t\"Do not\"\"quit\"", "Abort ::t\"x\""),
              0);
}

// A box that goes away without a button answers Cancel when it has one,
// else its first button; the wait never outlives the box.
TEST_F(MessageBoxTest, ClosedOrDestroyedBoxAnswersCancelElseFirst)
{
    struct Row {
        const char *cancel;
        const char *help;
        int answer;
    };
    const Row rows[] = {{"No", nullptr, 1}, {"Browse...", "Abort", 1}, {nullptr, nullptr, 0}, {nullptr, "Help", 0}};
    for (bool byWindowManager : {true, false}) {
        for (const Row &row : rows) {
            SCOPED_TRACE(std::string(byWindowManager ? "closed" : "destroyed") +
                         " cancel=" + (row.cancel ? row.cancel : "NULL") + " help=" + (row.help ? row.help : "NULL"));
            qvtest::when_found("*mbOkCancel", [&](Widget box) {
                Widget shell = XtParent(box);
                if (byWindowManager)
                    qvtest::close_window(shell);
                else
                    XtDestroyWidget(shell);
            });
            EXPECT_EQ(QV_instOkCancelMessageBox(mainShell(), "Disk full", "OK", row.cancel, row.help), row.answer);
            qvtest::pump(10);
            EXPECT_EQ(qvtest::find("*mbOkCancel"), nullptr);
        }
    }
}

// The parent's destruction takes the box with it; the box answers as closed.
TEST_F(MessageBoxTest, BoxEndsWhenItsParentIsDestroyed)
{
    Widget parent = XtVaCreatePopupShell("dsParent", xmDialogShellWidgetClass, mainShell(), nullptr);
    qvtest::when_found("*mbOkCancel", [parent](Widget) { XtDestroyWidget(parent); });
    EXPECT_EQ(QV_instOkCancelMessageBox(parent, "Gone?", "Yes", "No", nullptr), 1);
}

// A second box after one answered by a late destruction gets its own answer.
TEST_F(MessageBoxTest, BoxesInTurnKeepTheirOwnAnswers)
{
    for (int i = 0; i < 3; ++i) {
        qvtest::when_found("*mbOkCancel", [](Widget box) { qvtest::press_box(box, XmDIALOG_HELP_BUTTON); });
        EXPECT_EQ(QV_instOkCancelMessageBox(mainShell(), "first", "A", "B", "C"), 2);
        qvtest::when_found("*mbOkCancel", [](Widget box) { qvtest::press_box(box, XmDIALOG_OK_BUTTON); });
        EXPECT_EQ(QV_instOkCancelMessageBox(mainShell(), "second", "A", "B", "C"), 0);
    }
}

// A box opened from a timer while another waits answers for itself; the
// outer one waits on for its own answer: its button, or its destruction
// meanwhile.
TEST_F(MessageBoxTest, BoxOpenedWhileAnotherWaits)
{
    auto other_box = [this](Widget outer) -> Widget {
        for (Cardinal i = 0; i < mainShell()->core.num_popups; ++i) {
            Widget box = qvtest::find(mainShell()->core.popup_list[i], "mbOkCancel");
            if (box && box != outer && XtIsManaged(box))
                return box;
        }
        return nullptr;
    };
    for (bool destroyOuter : {false, true}) {
        SCOPED_TRACE(destroyOuter ? "outer destroyed meanwhile" : "outer answered afterwards");
        int inner = -1;
        qvtest::when_found("*mbOkCancel", [&](Widget outer) {
            qvtest::when([&] { return other_box(outer) != nullptr; },
                         [&] {
                             Widget box = other_box(outer);
                             EXPECT_EQ(qvtest::label_text(qvtest::box_child(box, XmDIALOG_MESSAGE_LABEL)), "inner");
                             if (destroyOuter)
                                 XtDestroyWidget(XtParent(outer));
                             qvtest::press_box(box, XmDIALOG_CANCEL_BUTTON);
                             if (!destroyOuter)
                                 qvtest::after(50, [outer] { qvtest::press_box(outer, XmDIALOG_HELP_BUTTON); });
                         });
            inner = QV_instOkCancelMessageBox(mainShell(), "inner", "OK", "Cancel", nullptr);
        });
        EXPECT_EQ(QV_instOkCancelMessageBox(mainShell(), "outer", "A", "B", "C"), destroyOuter ? 1 : 2);
        EXPECT_EQ(inner, 1);
        qvtest::pump(10);
        EXPECT_EQ(qvtest::find("*mbOkCancel"), nullptr);
    }
}

// Timers and other input keep running while a box waits.
TEST_F(MessageBoxTest, WaitingBoxKeepsTimersRunning)
{
    int ticks = 0;
    std::function<void()> tick = [&] {
        if (++ticks < 5)
            qvtest::after(5, tick);
    };
    qvtest::after(5, tick);
    qvtest::when([&] { return ticks >= 5 && qvtest::find("*mbOkCancel"); },
                 [] { qvtest::press_box(qvtest::find("*mbOkCancel"), XmDIALOG_OK_BUTTON); });
    EXPECT_EQ(QV_instOkCancelMessageBox(mainShell(), "wait", "OK", nullptr, nullptr), 0);
    EXPECT_EQ(ticks, 5);
}

// A real click through the X server on a mapped box, kept as a screenshot.
TEST_F(MessageBoxTest, RealClickAndScreenshot)
{
    std::string shot;
    qvtest::when_found("*mbOkCancel", [&](Widget box) {
        ASSERT_TRUE(qvtest::wait_mapped(box));
        shot = qvtest::screenshot("message_box_okcancel");
        qvtest::click(qvtest::box_child(box, XmDIALOG_CANCEL_BUTTON));
    });
    EXPECT_EQ(QV_instOkCancelMessageBox(mainShell(),
                                        ":::t\"Setup has detected an older version of Quorvanta (3.1)\""
                                        "\"Before installing, you should select Remove All.\"",
                                        "Continue", "Browse...", "Abort"),
              1);
    ASSERT_FALSE(shot.empty());
    EXPECT_GT(qvtest::image_colours(shot), 2) << "screenshot " << shot << " looks blank";
}

// The status box: shown at once, replaced by the next one, removed; a box
// whose parent died is forgotten, not destroyed twice.
TEST_F(MessageBoxTest, StatusBoxIsReplacedAndRemoved)
{
    QV_instRemoveMessageBox(); // nothing shown: nothing happens

    QV_instDisplayMessageBox(mainShell(), "Updating the system registry");
    Widget first = qvtest::find("*mbMessage");
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(qvtest::wait_mapped(first));
    EXPECT_EQ(qvtest::label_text(qvtest::box_child(first, XmDIALOG_MESSAGE_LABEL)), "Updating the system registry");
    EXPECT_STREQ(XtName(XtParent(first)), "Quorvanta Message");
    for (unsigned char button : {XmDIALOG_OK_BUTTON, XmDIALOG_CANCEL_BUTTON, XmDIALOG_HELP_BUTTON, XmDIALOG_SEPARATOR})
        EXPECT_FALSE(managed(qvtest::box_child(first, button)));

    QV_instDisplayMessageBox(mainShell(), ":::t\"Second\"\"step\"");
    qvtest::pump(10);
    std::vector<Widget> boxes;
    for (Cardinal i = 0; i < mainShell()->core.num_popups; ++i) {
        if (qvtest::find(mainShell()->core.popup_list[i], "mbMessage"))
            boxes.push_back(mainShell()->core.popup_list[i]);
    }
    ASSERT_EQ(boxes.size(), 1u) << "the second status box replaces the first";
    EXPECT_EQ(qvtest::label_text(qvtest::box_child(qvtest::find("*mbMessage"), XmDIALOG_MESSAGE_LABEL)),
              "Second\nstep");

    QV_instRemoveMessageBox();
    qvtest::pump(10);
    EXPECT_EQ(qvtest::find("*mbMessage"), nullptr);
    QV_instRemoveMessageBox();

    Widget parent = XtVaCreatePopupShell("dsParent", xmDialogShellWidgetClass, mainShell(), nullptr);
    QV_instDisplayMessageBox(parent, "under a dialog");
    XtDestroyWidget(parent);
    qvtest::pump(10);
    QV_instRemoveMessageBox();
    QV_instDisplayMessageBox(mainShell(), "again");
    EXPECT_NE(qvtest::find("*mbMessage"), nullptr);
    QV_instRemoveMessageBox();
}

// The status box cannot be closed from the window manager: it goes away
// when the work it announces is done.
TEST_F(MessageBoxTest, StatusBoxIgnoresClose)
{
    QV_instDisplayMessageBox(mainShell(), "Updating the system registry");
    Widget box = qvtest::find("*mbMessage");
    ASSERT_TRUE(qvtest::wait_mapped(box));
    qvtest::close_window(XtParent(box));
    qvtest::pump(50);
    EXPECT_TRUE(qvtest::wait_mapped(box));
    QV_instRemoveMessageBox();
}

TEST_F(MessageBoxTest, FormattedMessageShowsInABox)
{
    qvtest::when_found("*mbOkCancel", [](Widget box) {
        EXPECT_EQ(qvtest::label_text(qvtest::box_child(box, XmDIALOG_MESSAGE_LABEL)),
                  "Error: Internal error getting size of package 'core' (sizeFn)\n");
        EXPECT_EQ(qvtest::label_text(qvtest::box_child(box, XmDIALOG_OK_BUTTON)), "Exit");
        qvtest::press_box(box, XmDIALOG_OK_BUTTON);
    });
    EXPECT_EQ(QV_instDisplayMessage(mainShell(), "Exit", nullptr, nullptr,
                                    "Error: Internal error getting size of package '%s' (%s)\n", "core", "sizeFn"),
              0);
    EXPECT_EQ(QV_instDisplayMessage(mainShell(), "OK", nullptr, nullptr, nullptr), 0);
}

} // namespace
