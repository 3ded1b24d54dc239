// Driving the real Motif dialogs in-process on the test's X server.
//
// GUI tests are tests/<group>/<name>_xtest.cpp files; CTest runs them
// through tests/run-with-xvfb.sh, which starts a private Xvfb and sets
// DISPLAY. Derive the test class from qvtest::XTest: its SetUp opens the one
// Xt application of the test program (class "QUORVANTA Setup", the builder
// converters registered, the program's main shell created with
// QV_instCreateMainTopLevelShell), exactly as start-up does, and arms a
// watchdog that ends a test stuck in a modal loop; its TearDown destroys
// whatever dialogs the test left and cancels its pending timers.
//
//   #include "support/xfixture.h"
//   class WelcomeTest : public qvtest::XTest {};
//
//   TEST_F(WelcomeTest, ContinueOpensTheAgreement) {
//       Widget box = CreatembWelcome(mainShell());
//       XtManageChild(box);
//       ASSERT_TRUE(qvtest::wait_mapped(box));
//       EXPECT_EQ(qvtest::label_text(qvtest::find(box, "*laWelcomeTop")), "Welcome to ...");
//       qvtest::press(qvtest::find(box, "*pbContinue"));
//       EXPECT_NE(qvtest::find("*mbEULA"), nullptr);
//   }
//
// Modal calls (QV_instOkCancelMessageBox, a dialog running QV_instMainLoop)
// return only once answered, so schedule the answer before making the call;
// the scheduled step runs from the modal loop itself:
//
//   qvtest::when_found("*mbOkCancel", [](Widget box) {
//       EXPECT_EQ(qvtest::label_text(qvtest::box_child(box, XmDIALOG_MESSAGE_LABEL)), "Quit Setup?");
//       qvtest::press_box(box, XmDIALOG_CANCEL_BUTTON);
//   });
//   EXPECT_EQ(QV_instOkCancelMessageBox(mainShell(), "Quit Setup?", "Yes", "No", nullptr), 1);
//
// Include this header (or gtest/gtest.h) before any X or Motif header:
// Xlib defines macros (None, Bool) that break GoogleTest's headers.
//
// Keep a screenshot of each key dialog as an artifact:
//
//   EXPECT_GT(qvtest::image_colours(qvtest::screenshot("welcome")), 2);
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

// GoogleTest first: Xlib's macros None and Bool break its headers.
#include <gtest/gtest.h>

#include <X11/Intrinsic.h>
#include <Xm/Xm.h>

namespace qvtest {

// The Xt application of the test program, opened once on first use.
struct XApp {
    XtAppContext app = nullptr;
    Widget top = nullptr;  // the application shell
    Widget main = nullptr; // the program's main top-level shell
    Display *display = nullptr;
};
XApp &xapp();

class XTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    Widget mainShell() const { return xapp().main; }
    XtAppContext app() const { return xapp().app; }
    Display *display() const { return xapp().display; }
};

// --- the event loop -------------------------------------------------------
// Runs step from the event loop after ms milliseconds.
void after(unsigned long ms, std::function<void()> step);
// Runs step once ready() holds (checked every 10 ms from the event loop); a
// failure is recorded when that does not happen within timeout_ms. The
// limits of these waits are generous: a loaded machine is slow, and a wait
// ends as soon as its condition holds.
void when(std::function<bool()> ready, std::function<void()> step, unsigned long timeout_ms = 60000);
// Runs step with the widget named name (found from the application shell,
// popups included) once it exists and is managed.
void when_found(const std::string &name, std::function<void(Widget)> step, unsigned long timeout_ms = 60000);
// Dispatches what is waiting, then everything that arrives during ms
// milliseconds.
void pump(unsigned long ms);
// Dispatches events until done() holds; false after timeout_ms.
bool wait_until(const std::function<bool()> &done, unsigned long timeout_ms = 60000);
// Waits until w's window is viewable on the screen.
bool wait_mapped(Widget w, unsigned long timeout_ms = 60000);

// --- widgets ----------------------------------------------------------------
// XtNameToWidget from the application shell (popups included), e.g. "*mbOkCancel".
Widget find(const std::string &name);
Widget find(Widget root, const std::string &name);
Widget box_child(Widget messageBox, unsigned char child); // XmDIALOG_OK_BUTTON, ...
// Presses a push button the way a click does: a button press and release
// delivered through the toolkit's event dispatch (support/click.h), so a
// dialog that destroys itself in the callback goes at the end of it, as in
// real use. Returns once the callbacks have returned.
void press(Widget button);
// Presses a message box's OK, Cancel or Help button.
void press_box(Widget messageBox, unsigned char child);
// A real pointer click in the middle of w, through the X server (xdotool).
void click(Widget w);
// Asks shell to close, as a window manager's close button does.
void close_window(Widget shell);
// Tells whether a widget has been destroyed since the watch began. A
// destroyed widget's address says nothing: a new dialog may be given the
// same memory, so tests never compare it.
class DestroyWatch {
public:
    explicit DestroyWatch(Widget w);
    bool destroyed() const { return *destroyed_; }

private:
    std::shared_ptr<bool> destroyed_;
};

// --- texts ------------------------------------------------------------------
// A label's or button's text, line separators as "\n".
std::string label_text(Widget w);
std::string xmstring_text(XmString s);
// The window title of w's shell (w itself when it is one).
std::string window_title(Widget w);
// Whether w exists and is managed.
bool managed(Widget w);
// The text of a text or text-field widget.
std::string text_of(Widget w);
// The items of a list widget, as text.
std::vector<std::string> list_items(Widget list);
// The components of a compound string, space separated: L and R for a
// direction, | for a separator, "text" for text in the default tag and
// #tag"text" in another; control characters, quotes and backslashes in
// texts are written as C escapes.
std::string xmstring_layout(XmString s);

// --- Xt warnings ------------------------------------------------------------
// Collects the Xt warnings issued while it lives (instead of printing them).
class WarningCapture {
public:
    WarningCapture();
    ~WarningCapture();
    WarningCapture(const WarningCapture &) = delete;
    WarningCapture &operator=(const WarningCapture &) = delete;
    const std::vector<std::string> &messages() const;
};

// --- screenshots ------------------------------------------------------------
// Captures the whole screen into $QV_TEST_ARTIFACTS/<name>.png; returns the path.
std::string screenshot(const std::string &name);
// Number of distinct colours in an image (1 for a blank screen); 0 on error.
int image_colours(const std::string &path);

} // namespace qvtest
