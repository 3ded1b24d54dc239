// The main shell, shell lookups, equal widths, centring, popping shells up
// and down, label texts and command output in a text widget.
#include "support/xfixture.h"

#include <sys/wait.h>

#include <X11/Shell.h>
#include <Xm/DialogS.h>
#include <Xm/Form.h>
#include <Xm/Label.h>
#include <Xm/MessageB.h>
#include <Xm/PushB.h>
#include <Xm/Text.h>

#include "wizard/shell.h"

namespace {

class ShellTest : public qvtest::XTest {};

Position x_of(Widget w)
{
    Position x = 0;
    XtVaGetValues(w, XmNx, &x, nullptr);
    return x;
}

Position y_of(Widget w)
{
    Position y = 0;
    XtVaGetValues(w, XmNy, &y, nullptr);
    return y;
}

Dimension width_of(Widget w)
{
    Dimension width = 0;
    XtVaGetValues(w, XmNwidth, &width, nullptr);
    return width;
}

TEST_F(ShellTest, MainShellIsCentredAndKept)
{
    Widget main = QV_instGetMainTopLevelShell();
    ASSERT_EQ(main, mainShell());
    EXPECT_STREQ(XtName(main), "TopLevelShell");
    EXPECT_TRUE(XtIsTopLevelShell(main));
    EXPECT_TRUE(XtIsRealized(main));
    EXPECT_EQ(XtParent(main), qvtest::xapp().top);
    Dimension width = 0;
    Dimension height = 0;
    XtVaGetValues(main, XmNwidth, &width, XmNheight, &height, nullptr);
    Screen *screen = XtScreen(main);
    EXPECT_EQ(x_of(main), WidthOfScreen(screen) / 2 - width / 2);
    EXPECT_EQ(y_of(main), HeightOfScreen(screen) / 2 - height / 2);
}

// A button inside a wizard dialog: its own shell is the dialog's, its
// top-level shell the main shell, its top manager the message box.
TEST_F(ShellTest, LookupsFromAWidgetInADialog)
{
    Widget dialog = XtVaCreatePopupShell("dsLookup", xmDialogShellWidgetClass, mainShell(), nullptr);
    Widget box = XtVaCreateWidget("mbLookup", xmMessageBoxWidgetClass, dialog, nullptr);
    Widget form = XtVaCreateManagedWidget("foLookup", xmFormWidgetClass, box, nullptr);
    Widget button = XtVaCreateManagedWidget("pbLookup", xmPushButtonWidgetClass, form, nullptr);

    EXPECT_EQ(QV_instGetShell(button), dialog);
    EXPECT_EQ(QV_instGetShell(dialog), dialog);
    EXPECT_EQ(QV_instGetTLShell(button), mainShell());
    EXPECT_EQ(QV_instGetTLShell(dialog), mainShell());
    EXPECT_EQ(QV_instGetTLShell(mainShell()), mainShell());
    EXPECT_EQ(QV_instGetTLShell(qvtest::xapp().top), qvtest::xapp().top);
    EXPECT_EQ(QV_instGetTopManager(button), box);
    EXPECT_EQ(QV_instGetTopManager(box), box);
    EXPECT_EQ(QV_instGetTopManager(dialog), dialog);
    EXPECT_EQ(QV_instGetShell(nullptr), nullptr);
    EXPECT_EQ(QV_instGetTLShell(nullptr), nullptr);
    EXPECT_EQ(QV_instGetTopManager(nullptr), nullptr);
}

TEST_F(ShellTest, SameMaxWidth)
{
    Widget form = XtVaCreateManagedWidget("foWidths", xmFormWidgetClass, mainShell(), nullptr);
    Widget a = XtVaCreateManagedWidget("pbA", xmPushButtonWidgetClass, form, XmNwidth, 60, XmNrecomputeSize, False,
                                       nullptr);
    Widget b = XtVaCreateManagedWidget("pbB", xmPushButtonWidgetClass, form, XmNwidth, 80, XmNrecomputeSize, False,
                                       nullptr);
    Widget c = XtVaCreateManagedWidget("pbC", xmPushButtonWidgetClass, form, XmNwidth, 70, XmNrecomputeSize, False,
                                       nullptr);
    ASSERT_EQ(width_of(b), 80);
    QV_makeAllWidgetSameMaxWidth(a, b, c, nullptr);
    EXPECT_EQ(width_of(a), 80);
    EXPECT_EQ(width_of(b), 80);
    EXPECT_EQ(width_of(c), 80);
    QV_makeAllWidgetSameMaxWidth(nullptr);
}

TEST_F(ShellTest, PopupCentresAndPopdownHides)
{
    Widget shell = XtVaCreatePopupShell("tlPopup", topLevelShellWidgetClass, mainShell(), nullptr);
    Widget form = XtVaCreateWidget("foPopup", xmFormWidgetClass, shell, XmNwidth, 200, XmNheight, 100, nullptr);
    QV_instPopup(form, "Popup title", "popup icon");
    ASSERT_TRUE(qvtest::wait_mapped(form));
    EXPECT_TRUE(XtIsManaged(form));
    char *title = nullptr;
    char *iconName = nullptr;
    XtVaGetValues(shell, XmNtitle, &title, XmNiconName, &iconName, nullptr);
    EXPECT_STREQ(title, "Popup title");
    EXPECT_STREQ(iconName, "popup icon");
    Screen *screen = XtScreen(shell);
    EXPECT_EQ(x_of(shell), WidthOfScreen(screen) / 2 - 100);
    EXPECT_EQ(y_of(shell), HeightOfScreen(screen) / 2 - 50);

    QV_instPopdown(form);
    EXPECT_TRUE(qvtest::wait_until([form] {
        XWindowAttributes attributes;
        XGetWindowAttributes(XtDisplay(form), XtWindow(form), &attributes);
        return attributes.map_state != IsViewable;
    }));
    QV_instPopdown(nullptr);
}

Widget make_panel(Widget parent)
{
    return XtVaCreateWidget("foPanel", xmFormWidgetClass, parent, XmNwidth, 300, XmNheight, 120, nullptr);
}

TEST_F(ShellTest, CreateAndPopupShowsTheMainShell)
{
    QV_instCreateAndPopup(make_panel);
    Widget panel = qvtest::find(mainShell(), "foPanel");
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(qvtest::wait_mapped(panel));
    // The main shell is realised (and tiny) long before: it must still take
    // the panel's size instead of squeezing the panel into itself.
    EXPECT_EQ(width_of(panel), 300);
    EXPECT_EQ(width_of(mainShell()), 300);
    Screen *screen = XtScreen(mainShell());
    EXPECT_EQ(x_of(mainShell()), WidthOfScreen(screen) / 2 - 150);
    EXPECT_EQ(y_of(mainShell()), HeightOfScreen(screen) / 2 - 60);
}

TEST_F(ShellTest, UpdateLabelStringReadsTheBuilderSyntax)
{
    Widget label = XtVaCreateManagedWidget("laText", xmLabelWidgetClass, mainShell(), nullptr);
    QV_instUpdateLabelString(label, "Exit Setup");
    EXPECT_EQ(qvtest::label_text(label), "Exit Setup");
    QV_instUpdateLabelString(label, "first line\nsecond line");
    EXPECT_EQ(qvtest::label_text(label), "first line\nsecond line");
    QV_instUpdateLabelString(label, ":::t\"Remove all previous installed components\"");
    EXPECT_EQ(qvtest::label_text(label), "Remove all previous installed components\n");
    const std::string big(100 * 1024, 'w');
    QV_instUpdateLabelString(label, (":::t\"" + big + "\"").c_str());
    EXPECT_EQ(qvtest::label_text(label), big + "\n");
}

// Command output goes to the end of the text, chunk by chunk; the status is the
// command's own.
TEST_F(ShellTest, CommandOutputInATextWidget)
{
    Widget text = XtVaCreateManagedWidget("text", xmTextWidgetClass, mainShell(), XmNeditMode, XmMULTI_LINE_EDIT,
                                          nullptr);
    XmTextSetString(text, const_cast<char *>("before\n"));
    int status = QV_instOutputCmdInTextWidget(text, "printf 'one\\ntwo\\n'; head -c 25000 /dev/zero | tr '\\0' x; "
                                                    "echo; exit 3");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(qvtest::text_of(text), "before\none\ntwo\n" + std::string(25000, 'x') + "\n");

    status = QV_instOutputCmdInTextWidget(text, "/nonexistent/command 2>/dev/null");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 127);
}

} // namespace
