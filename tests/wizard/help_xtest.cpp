// HTML help on a real display, with a stand-in browser (a script that
// records what it was asked to open) in place of the default browser, which
// this machine does not have. The chosen browser lasts for the process, so
// each case runs in a fresh copy of the test program.
#include "support/xfixture.h"
#include "support/fresh_process.h"

#include <sys/stat.h>
#include <unistd.h>

#include <Xm/FileSB.h>
#include <Xm/MessageB.h>
#include <Xm/TextF.h>

#include <algorithm>
#include <functional>
#include <string>

#include "support/testutil.h"
#include "wizard/glue.h"

namespace {

using qvtest::box_child;
using qvtest::find;
using qvtest::label_text;
using qvtest::press_box;

constexpr const char kMissingBrowser[] =
    "The HTML Browser (/usr/bin/firefox) was not found.\nA browser is required to open help files.\n"
    "Select Find to locate the browser yourself.";

class Help : public qvtest::XTest {
protected:
    void SetUp() override
    {
        struct stat st;
        if (stat("/usr/bin/firefox", &st) == 0)
            GTEST_SKIP() << "the default browser is installed here; these cases need it missing";
        XTest::SetUp();
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        qvtest::make_dirs(scratch / "help");
        qvtest::write_file(browser, "#!/bin/sh\nprintf '%s\\n' \"$*\" >> \"" + opened + "\"\n", 0755);
    }
    // Every address the stand-in browser was started on, one per line.
    std::string opened_so_far(size_t lines)
    {
        qvtest::wait_until([&] {
            std::string text = qvtest::try_read_file(opened).value_or("");
            return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) >= lines;
        });
        return qvtest::try_read_file(opened).value_or("");
    }

    qvtest::ScratchDir scratch{"help"};
    std::string browser = scratch / "browser";
    std::string opened = scratch / "opened";
};

// Answers the browser question, then does what `chooser` says in the
// chooser: "pick" the stand-in, "cancel", or nothing when not asked to find.
void answer_missing_browser(bool find, std::function<void(Widget)> chooser = {})
{
    qvtest::when_found("*mbOkCancel", [find, chooser](Widget box) {
        EXPECT_EQ(label_text(box_child(box, XmDIALOG_MESSAGE_LABEL)), kMissingBrowser);
        EXPECT_EQ(label_text(box_child(box, XmDIALOG_OK_BUTTON)), "Find...");
        EXPECT_EQ(label_text(box_child(box, XmDIALOG_CANCEL_BUTTON)), "Cancel");
        if (find && chooser)
            qvtest::when_found("*fsbHtmlBrowser", chooser);
        press_box(box, find ? XmDIALOG_OK_BUTTON : XmDIALOG_CANCEL_BUTTON);
    });
}

void type_selection(Widget chooser, const std::string &path)
{
    XmTextFieldSetString(XmFileSelectionBoxGetChild(chooser, XmDIALOG_TEXT), const_cast<char *>(path.c_str()));
}

TEST_F(Help, TheBrowserFoundOnceServesEveryLaterRequest)
{
    QV_IN_FRESH_PROCESS([&] {
        // A help folder that ends in a slash joins the page with one slash.
        QV_instSetHelpDirectory((scratch / "help/").c_str());
        answer_missing_browser(true, [this](Widget chooser) {
            EXPECT_STREQ(XtName(QV_instGetShell(chooser)), "Find HTML Browser");
            EXPECT_FALSE(XtIsManaged(XmFileSelectionBoxGetChild(chooser, XmDIALOG_HELP_BUTTON)));
            qvtest::screenshot("help_find_browser");
            // A name that is no file keeps the chooser open.
            type_selection(chooser, scratch / "no-browser");
            qvtest::when_found("*mbOkCancel", [this](Widget box) {
                EXPECT_EQ(label_text(box_child(box, XmDIALOG_MESSAGE_LABEL)),
                          "The file '" + scratch / "no-browser" + "' does not exist");
                press_box(box, XmDIALOG_OK_BUTTON);
            });
            qvtest::press(XmFileSelectionBoxGetChild(chooser, XmDIALOG_OK_BUTTON));
            EXPECT_TRUE(XtIsManaged(chooser));
            type_selection(chooser, browser);
            qvtest::press(XmFileSelectionBoxGetChild(chooser, XmDIALOG_OK_BUTTON));
        });
        QV_instHtmlHelpCB(mainShell(), "setup/index.html", "http://ignored.example/");
        EXPECT_EQ(find("*fsbHtmlBrowser"), nullptr);
        EXPECT_EQ(opened_so_far(1), scratch / "help/setup/index.html\n");

        // No question any more: the address, then the product's home page.
        // Each browser is a process of its own that nobody waits for, so
        // the next one starts only once the first has written its line.
        QV_instHtmlHelpCB(mainShell(), nullptr, "http://help.example/page");
        EXPECT_EQ(opened_so_far(2), scratch / "help/setup/index.html\nhttp://help.example/page\n");
        QV_instHtmlHelpCB(mainShell(), nullptr, nullptr);
        EXPECT_EQ(opened_so_far(3),
                  scratch / "help/setup/index.html\nhttp://help.example/page\nhttp://www.quorvanta.com/\n");
        EXPECT_EQ(find("*mbOkCancel"), nullptr);
    });
}

// Cancel in the question or in the chooser opens nothing, and the next
// request starts again from the default browser.
TEST_F(Help, GivingUpOpensNothingAndAsksAgainNextTime)
{
    QV_IN_FRESH_PROCESS([&] {
        answer_missing_browser(true, [](Widget chooser) {
            qvtest::press(XmFileSelectionBoxGetChild(chooser, XmDIALOG_CANCEL_BUTTON));
        });
        QV_instHtmlHelpCB(mainShell(), "index.html", nullptr);
        answer_missing_browser(false);
        QV_instHtmlHelpCB(mainShell(), "index.html", nullptr);
        qvtest::pump(300);
        EXPECT_FALSE(qvtest::exists(opened));
    });
}

// The log viewer's Help opens the setup page of the help web site.
TEST_F(Help, TheLogViewersHelpOpensTheSetupPage)
{
    QV_IN_FRESH_PROCESS([&] {
        answer_missing_browser(true, [this](Widget chooser) {
            type_selection(chooser, browser);
            qvtest::press(XmFileSelectionBoxGetChild(chooser, XmDIALOG_OK_BUTTON));
        });
        ViewLogfileHelpCB(mainShell(), nullptr, nullptr);
        EXPECT_EQ(opened_so_far(1), "http://www.quorvanta.com/index.php/Category:Setup\n");
    });
}

TEST_F(Help, TheHelpFolderIsKeptAsGiven)
{
    EXPECT_EQ(QV_instSetHelpDirectory("/cd/Setup/Help/"), helpDirectory);
    EXPECT_STREQ(helpDirectory, "/cd/Setup/Help/");
    // Longer than the folder's 4096 characters: cut, never overrun.
    const std::string tooLong(5000, 'h');
    QV_instSetHelpDirectory(tooLong.c_str());
    EXPECT_EQ(std::string(helpDirectory), tooLong.substr(0, 4096));
}

} // namespace
