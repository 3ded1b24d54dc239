// A graphical install child serves its own display connection between
// operations without ever waiting for an X event.
#include <unistd.h>

#include <gtest/gtest.h>

#include <X11/Intrinsic.h>

#include "e2e/medium.h"
#include "engine/cdinst.h"
#include "engine/install.h"
#include "wizard/shell.h"

namespace {

void fired(XtPointer data, XtIntervalId *)
{
    ++*static_cast<int *>(data);
}

TEST(PassEvents, ATimerAloneDoesNotBlockTheNextOperation)
{
    int argc = 1;
    char name[] = "passes_events_xtest";
    char *argv[] = {name, nullptr};
    XtAppContext app;
    Widget top = XtAppInitialize(&app, "QUORVANTA Setup", nullptr, 0, &argc, argv, nullptr, nullptr, 0);
    ASSERT_NE(top, nullptr);
    QV_instCreateMainTopLevelShell(top);
    ASSERT_NE(QV_instGetMainTopLevelShell(), nullptr);

    // Two operations that touch nothing; the events are served before each.
    QV_InstOperation second{};
    second.type = QV_OPER_SHORTCUT;
    QV_InstOperation first{};
    first.type = QV_OPER_SHORTCUT;
    first.next = &second;
    _QV_InstPackage package{};
    package.name = const_cast<char *>("p");
    package.firstOper = &first;
    package.lastOper = &second;
    _QV_InstPackNode node{&package, nullptr};

    int count = 0;
    XtAppAddTimeOut(app, 0, fired, &count);
    XSync(XtDisplay(top), False);
    usleep(20 * 1000);

    // A dispatch that waited for an X event would hang here; the alarm
    // turns such a hang into a failure.
    alarm(60);
    EXPECT_EQ(QV_instInstallPackList(&node, "/", "/nonexistent/", nullptr, QV_PassFiles, 0, "S"), 0);
    alarm(0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(package.lastPass, QV_PassFiles);
}

} // namespace
