// Pressing a push button the way a pointer click does. Shared by the test
// programs (support/xfixture.cpp) and by the driver module that setup itself
// loads (fixtures/modules/gui_driver.cpp), so it is header-only and needs
// nothing but Xt and Motif.
//
// The button press and the release in the middle of the button are handed
// to XtDispatchEvent, as the toolkit hands on a real click: the button's own
// translations arm and activate it (a gadget's through its manager), and the
// activate callbacks run inside an event dispatch. That matters when a
// callback destroys its dialog: Xt destroys a widget at the end of the
// dispatch that asked for it, so the callbacks that follow still see live
// widgets. Calling the callbacks outside any dispatch (from a timer, or
// straight from a test) frees the widgets at once, which never happens to a
// user. As with a click, nothing happens to an insensitive button or to one
// outside the grab of a modal dialog.
#pragma once

#include <X11/IntrinsicP.h>
#include <X11/Xatom.h>
#include <Xm/Xm.h>

#include <utility>
#include <vector>

namespace qvclick {

// The X server's current time, from the PropertyNotify of an empty change
// on a window of our own (one per display, never mapped): a click carries a
// real time stamp, which the toolkit passes on to focus changes and grabs.
inline Time server_time(Display *display)
{
    static std::vector<std::pair<Display *, Window>> windows;
    Window window = None;
    for (const auto &[d, w] : windows) {
        if (d == display)
            window = w;
    }
    if (window == None) {
        XSetWindowAttributes attributes{};
        attributes.event_mask = PropertyChangeMask;
        window = XCreateWindow(display, DefaultRootWindow(display), -10, -10, 1, 1, 0, 0, InputOnly,
                               CopyFromParent, CWEventMask, &attributes);
        windows.emplace_back(display, window);
    }
    XChangeProperty(display, window, XA_WM_NAME, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XEvent event;
    XWindowEvent(display, window, PropertyChangeMask, &event);
    return event.xproperty.time;
}

// Clicks button 1 in the middle of button. Answers nullptr once the click
// was delivered, else why it could not be.
inline const char *click(Widget button)
{
    if (!button)
        return "no button to click";
    if (button->core.being_destroyed)
        return "the button is being destroyed";
    // A gadget has no window: its manager receives the click and hands it
    // to the gadget under the pointer.
    Widget windowed = XtIsWidget(button) ? button : XtParent(button);
    if (!XtIsRealized(windowed))
        return "the button has no window yet (not realized)";
    Display *display = XtDisplay(windowed);
    Dimension width = 0;
    Dimension height = 0;
    XtVaGetValues(button, XmNwidth, &width, XmNheight, &height, nullptr);
    Position x = static_cast<Position>(width / 2);
    Position y = static_cast<Position>(height / 2);
    Position rootX = 0;
    Position rootY = 0;
    XtTranslateCoords(button, x, y, &rootX, &rootY);
    if (windowed != button) {
        x = static_cast<Position>(x + button->core.x);
        y = static_cast<Position>(y + button->core.y);
    }

    XEvent event{};
    XButtonEvent &b = event.xbutton;
    b.type = ButtonPress;
    b.serial = LastKnownRequestProcessed(display);
    b.display = display;
    b.window = XtWindow(windowed);
    b.root = RootWindowOfScreen(XtScreen(windowed));
    b.subwindow = None;
    b.time = server_time(display);
    b.x = x;
    b.y = y;
    b.x_root = rootX;
    b.y_root = rootY;
    b.state = 0;
    b.button = Button1;
    b.same_screen = True;
    XtDispatchEvent(&event);
    // The press may have ended the dialog; the release goes nowhere then.
    if (XtWindowToWidget(display, b.window) != windowed)
        return nullptr;
    b.type = ButtonRelease;
    b.state = Button1Mask;
    XtDispatchEvent(&event);
    return nullptr;
}

} // namespace qvclick
