#include "support/xfixture.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include <X11/IntrinsicP.h>
#include <X11/Xatom.h>
#include <Xm/MessageB.h>
#include <Xm/Text.h>
#include <Xm/TextF.h>

#include "support/click.h"
#include "support/testutil.h"
#include "wizard/bx.h"
#include "wizard/shell.h"

namespace qvtest {

namespace {

// A test that has not finished after this long is stuck (a modal loop that
// never ends): the program stops with a message instead of hanging. It is
// longer than any wait of a test (a minute), whose own failure says more. A
// copy of the program running a death test gives up earlier than the copy
// waiting for it, so that its own message, with the stack where it was
// stuck, is the one reported.
constexpr unsigned kWatchdogSeconds = 180;
constexpr unsigned kFreshCopyWatchdogSeconds = 150;
char g_currentTest[512];
// The standard error the program started with: a death test redirects fd 2
// into a capture file while it waits for its child.
int g_startStderr = -1;

} // namespace
} // namespace qvtest

// Provided by the sanitizer runtime when the tests are built with one.
extern "C" void __sanitizer_print_stack_trace() __attribute__((weak));

namespace qvtest {
namespace {

void watchdog_fired(int)
{
    if (g_startStderr >= 0 && ::testing::GTEST_FLAG(internal_run_death_test).empty())
        dup2(g_startStderr, STDERR_FILENO);
    const char head[] = "\n*** watchdog: test stuck (a modal loop never ended?): ";
    ssize_t ignored = write(STDERR_FILENO, head, sizeof head - 1);
    ignored = write(STDERR_FILENO, g_currentTest, std::strlen(g_currentTest));
    ignored = write(STDERR_FILENO, "\n", 1);
    (void)ignored;
    // Not safe in a signal handler in general, but the program ends here and
    // the stack is what tells where it was stuck.
    if (__sanitizer_print_stack_trace)
        __sanitizer_print_stack_trace();
    _exit(3);
}

// Timers scheduled by the test, cancelled when it ends.
std::map<XtIntervalId, std::function<void()> *> g_timers;

void timer_fired(XtPointer closure, XtIntervalId *id)
{
    auto *step = static_cast<std::function<void()> *>(closure);
    g_timers.erase(*id);
    (*step)();
    delete step;
}

std::vector<std::string> g_warnings;

void record_warning(String message)
{
    g_warnings.emplace_back(message ? message : "");
}

void destroy_popups(Widget w, Widget keep)
{
    std::vector<Widget> popups(w->core.popup_list, w->core.popup_list + w->core.num_popups);
    for (Widget p : popups) {
        if (p != keep)
            XtDestroyWidget(p);
    }
}

std::string escaped(const char *text, size_t length)
{
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\f': out += "\\f"; break;
        case '\v': out += "\\v"; break;
        default:
            if (c < 0x20 || c == 0x7f) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02x", c);
                out += hex;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

// Walks the components of s; each callback gets the component's type and value.
template <typename Fn>
void for_each_component(XmString s, Fn fn)
{
    if (!s)
        return;
    XmStringContext context;
    if (!XmStringInitContext(&context, s))
        return;
    for (;;) {
        unsigned int length = 0;
        XtPointer value = nullptr;
        const XmStringComponentType type = XmStringGetNextTriple(context, &length, &value);
        if (type == XmSTRING_COMPONENT_END)
            break;
        fn(type, static_cast<const char *>(value), length);
        XtFree(static_cast<char *>(value));
    }
    XmStringFreeContext(context);
}

// The tag that texts converted with the empty tag carry (Motif names the
// locale's charset there).
const std::string &default_tag()
{
    static std::string tag = [] {
        std::string found;
        XmString probe = XmStringCreate(const_cast<char *>("x"), const_cast<char *>(""));
        for_each_component(probe, [&](XmStringComponentType type, const char *value, unsigned length) {
            if (type == XmSTRING_COMPONENT_TAG && found.empty())
                found.assign(value, length);
        });
        XmStringFree(probe);
        return found;
    }();
    return tag;
}

} // namespace

XApp &xapp()
{
    static XApp x;
    if (!x.app) {
        if (!std::getenv("DISPLAY")) {
            std::fprintf(stderr, "xfixture: DISPLAY is not set (run GUI tests through run-with-xvfb.sh)\n");
            std::exit(2);
        }
        static char name[] = "xtest";
        static char *argv[] = {name, nullptr};
        int argc = 1;
        x.top = XtVaAppInitialize(&x.app, "QUORVANTA Setup", nullptr, 0, &argc, argv, nullptr, nullptr);
        x.display = XtDisplay(x.top);
        RegisterBxConverters(x.app);
        x.main = QV_instCreateMainTopLevelShell(x.top);
    }
    return x;
}

void XTest::SetUp()
{
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::snprintf(g_currentTest, sizeof g_currentTest, "%s.%s", info->test_suite_name(), info->name());
    if (g_startStderr < 0)
        g_startStderr = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 10);
    signal(SIGALRM, watchdog_fired);
    const bool freshCopy = !::testing::GTEST_FLAG(internal_run_death_test).empty();
    alarm(freshCopy ? kFreshCopyWatchdogSeconds : kWatchdogSeconds);
    xapp();
}

void XTest::TearDown()
{
    for (auto &[id, step] : g_timers) {
        XtRemoveTimeOut(id);
        delete step;
    }
    g_timers.clear();
    QV_instRemoveMessageBox();
    XApp &x = xapp();
    XtPopdown(x.main);
    destroy_popups(x.main, nullptr);
    destroy_popups(x.top, x.main);
    std::vector<Widget> children(reinterpret_cast<CompositeWidget>(x.main)->composite.children,
                                 reinterpret_cast<CompositeWidget>(x.main)->composite.children +
                                     reinterpret_cast<CompositeWidget>(x.main)->composite.num_children);
    for (Widget c : children)
        XtDestroyWidget(c);
    pump(20);
    alarm(0);
}

void after(unsigned long ms, std::function<void()> step)
{
    auto *closure = new std::function<void()>(std::move(step));
    const XtIntervalId id = XtAppAddTimeOut(xapp().app, ms, timer_fired, closure);
    g_timers[id] = closure;
}

void when(std::function<bool()> ready, std::function<void()> step, unsigned long timeout_ms)
{
    if (ready()) {
        step();
        return;
    }
    if (timeout_ms < 10) {
        ADD_FAILURE() << "qvtest::when: the awaited state never came";
        return;
    }
    after(10, [ready = std::move(ready), step = std::move(step), timeout_ms]() mutable {
        when(std::move(ready), std::move(step), timeout_ms - 10);
    });
}

void when_found(const std::string &name, std::function<void(Widget)> step, unsigned long timeout_ms)
{
    auto ready = [name] {
        Widget w = find(name);
        return w && XtIsManaged(w);
    };
    when(ready, [name, step = std::move(step)] { step(find(name)); }, timeout_ms);
}

void pump(unsigned long ms)
{
    XtAppContext app = xapp().app;
    XSync(xapp().display, False);
    // The events and input already there are handled first: on a loaded
    // machine the timer below may be due before the loop has looked at
    // them. (A source that is always ready is not waited on for ever.)
    const XtInputMask waiting = XtIMXEvent | XtIMAlternateInput;
    for (int i = 0; i < 1000 && (XtAppPending(app) & waiting); ++i)
        XtAppProcessEvent(app, waiting);
    bool done = false;
    XtIntervalId id = XtAppAddTimeOut(app, ms, [](XtPointer flag, XtIntervalId *) { *static_cast<bool *>(flag) = true; },
                                      &done);
    (void)id;
    while (!done)
        XtAppProcessEvent(app, XtIMAll);
}

bool wait_until(const std::function<bool()> &done, unsigned long timeout_ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        pump(10);
    }
    return true;
}

bool wait_mapped(Widget w, unsigned long timeout_ms)
{
    return wait_until(
        [w] {
            if (!XtIsRealized(w))
                return false;
            XWindowAttributes attributes;
            return XGetWindowAttributes(XtDisplayOfObject(w), XtWindowOfObject(w), &attributes) &&
                   attributes.map_state == IsViewable;
        },
        timeout_ms);
}

Widget find(const std::string &name)
{
    return XtNameToWidget(xapp().top, name.c_str());
}

Widget find(Widget root, const std::string &name)
{
    return root ? XtNameToWidget(root, name.c_str()) : nullptr;
}

Widget box_child(Widget messageBox, unsigned char child)
{
    return messageBox ? XmMessageBoxGetChild(messageBox, child) : nullptr;
}

void press(Widget button)
{
    ASSERT_NE(button, nullptr) << "no button to press";
    if (const char *why = qvclick::click(button))
        ADD_FAILURE() << "cannot press " << XtName(button) << ": " << why;
}

void press_box(Widget messageBox, unsigned char child)
{
    press(box_child(messageBox, child));
}

void click(Widget w)
{
    ASSERT_NE(w, nullptr) << "nothing to click";
    Dimension width = 0;
    Dimension height = 0;
    XtVaGetValues(w, XmNwidth, &width, XmNheight, &height, nullptr);
    Position x = 0;
    Position y = 0;
    XtTranslateCoords(w, static_cast<Position>(width / 2), static_cast<Position>(height / 2), &x, &y);
    XSync(xapp().display, False);
    RunResult r = run({"/usr/bin/xdotool", "mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"});
    EXPECT_EQ(r.status, 0) << "xdotool: " << r.err;
}

void close_window(Widget shell)
{
    ASSERT_TRUE(shell && XtIsRealized(shell)) << "no window to close";
    Display *display = XtDisplay(shell);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = XtWindow(shell);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, XtWindow(shell), False, NoEventMask, &event);
    XFlush(display);
}

DestroyWatch::DestroyWatch(Widget w) : destroyed_(std::make_shared<bool>(false))
{
    if (!w) {
        ADD_FAILURE() << "no widget to watch";
        return;
    }
    // The callback owns its own reference: the widget may outlive the watch.
    auto *flag = new std::shared_ptr<bool>(destroyed_);
    XtAddCallback(
        w, XmNdestroyCallback,
        [](Widget, XtPointer closure, XtPointer) {
            auto *held = static_cast<std::shared_ptr<bool> *>(closure);
            **held = true;
            delete held;
        },
        flag);
}

std::string label_text(Widget w)
{
    if (!w)
        return "<no widget>";
    XmString s = nullptr;
    XtVaGetValues(w, XmNlabelString, &s, nullptr);
    std::string text = xmstring_text(s);
    if (s)
        XmStringFree(s);
    return text;
}

std::string window_title(Widget w)
{
    while (w && !XtIsShell(w))
        w = XtParent(w);
    char *title = nullptr;
    if (w)
        XtVaGetValues(w, XmNtitle, &title, nullptr);
    return title ? title : "<none>";
}

bool managed(Widget w)
{
    return w && XtIsManaged(w);
}

std::vector<std::string> list_items(Widget list)
{
    XmStringTable items = nullptr;
    int count = 0;
    XtVaGetValues(list, XmNitems, &items, XmNitemCount, &count, nullptr);
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i)
        texts.push_back(xmstring_text(items[i]));
    return texts;
}

std::string text_of(Widget w)
{
    char *value = XmIsTextField(w) ? XmTextFieldGetString(w) : XmTextGetString(w);
    std::string text = value ? value : "";
    XtFree(value);
    return text;
}

std::string xmstring_text(XmString s)
{
    std::string text;
    for_each_component(s, [&](XmStringComponentType type, const char *value, unsigned length) {
        if (type == XmSTRING_COMPONENT_TEXT || type == XmSTRING_COMPONENT_LOCALE_TEXT)
            text.append(value, length);
        else if (type == XmSTRING_COMPONENT_SEPARATOR)
            text += '\n';
    });
    return text;
}

std::string xmstring_layout(XmString s)
{
    if (!s)
        return "<null>";
    std::string layout;
    std::string tag;
    auto add = [&layout](const std::string &token) {
        if (!layout.empty())
            layout += ' ';
        layout += token;
    };
    for_each_component(s, [&](XmStringComponentType type, const char *value, unsigned length) {
        switch (type) {
        case XmSTRING_COMPONENT_TAG:
            tag.assign(value, length);
            break;
        case XmSTRING_COMPONENT_DIRECTION:
            add(*reinterpret_cast<const unsigned char *>(value) == XmSTRING_DIRECTION_R_TO_L ? "R" : "L");
            break;
        case XmSTRING_COMPONENT_SEPARATOR:
            add("|");
            break;
        case XmSTRING_COMPONENT_TEXT:
        case XmSTRING_COMPONENT_LOCALE_TEXT:
            add((tag == default_tag() || tag.empty() ? std::string() : "#" + tag) + "\"" + escaped(value, length) +
                "\"");
            break;
        default:
            add("?" + std::to_string(type));
        }
    });
    return layout;
}

WarningCapture::WarningCapture()
{
    g_warnings.clear();
    XtAppSetWarningHandler(xapp().app, record_warning);
    XtSetWarningHandler(record_warning);
}

WarningCapture::~WarningCapture()
{
    XtAppSetWarningHandler(xapp().app, nullptr);
    XtSetWarningHandler(nullptr);
}

const std::vector<std::string> &WarningCapture::messages() const
{
    return g_warnings;
}

std::string screenshot(const std::string &name)
{
    pump(200);
    // What was drawn meanwhile is on the screen before another client reads it.
    XSync(xapp().display, False);
    std::string dir = harness("QV_TEST_ARTIFACTS");
    if (dir.empty())
        dir = "/tmp";
    const std::string path = dir + "/" + name + ".png";
    const char *display = std::getenv("DISPLAY");
    RunResult r = run({"/usr/bin/import", "-display", display ? display : "", "-window", "root", path});
    EXPECT_EQ(r.status, 0) << "import: " << r.err;
    return path;
}

int image_colours(const std::string &path)
{
    RunResult r = run({"/usr/bin/identify", "-format", "%k", path});
    if (r.status != 0)
        return 0;
    return std::atoi(r.out.c_str());
}

} // namespace qvtest
