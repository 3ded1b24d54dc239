// The end of setup on a real display: the offer to view the log, the log
// viewer, and the order of the end-of-setup steps. The offer is made once
// per process, so each case runs in a fresh copy of the test program.
#include "support/xfixture.h"
#include "support/fresh_process.h"

#include <unistd.h>

#include <Xm/MessageB.h>
#include <Xm/Text.h>

#include <string>

#include "engine/util.h"
#include "support/capture.h"
#include "wizard/glue.h"
#include "wizard/migration_state.h"
#include "wizard_medium.h"

namespace {

using qvtest::box_child;
using qvtest::find;
using qvtest::label_text;
using qvtest::press;
using qvtest::press_box;
using qvtest::text_of;

class EndOfSetup : public qvtest::XTest {
protected:
    void SetUp() override
    {
        XTest::SetUp();
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        medium.load_simple();
        logText = "first line\n" + std::string(700, 'L') + "\nlast line\n";
        qvtest::make_dirs(medium.root());
        qvtest::write_file(logPath(), logText);
        QV_instInitLogfile(logPath().c_str());
    }
    std::string logPath() const { return medium.root() + "/setup.log"; }

    qvtest::WizardMedium medium;
    std::string logText;
};

TEST_F(EndOfSetup, TheOfferOpensTheLogAsOftenAsAskedUntilDone)
{
    QV_IN_FRESH_PROCESS([&] {
        int viewed = 0;
        qvtest::when_found("*mbViewlog", [&](Widget offer) {
            EXPECT_STREQ(XtName(QV_instGetShell(offer)), "dsViewlog");
            EXPECT_EQ(qvtest::window_title(offer), "Quorvanta Test setup");
            EXPECT_EQ(label_text(box_child(offer, XmDIALOG_OK_BUTTON)), "Done");
            EXPECT_FALSE(qvtest::managed(box_child(offer, XmDIALOG_CANCEL_BUTTON)));
            EXPECT_FALSE(qvtest::managed(box_child(offer, XmDIALOG_HELP_BUTTON)));
            EXPECT_FALSE(qvtest::managed(box_child(offer, XmDIALOG_SEPARATOR)));
            EXPECT_EQ(label_text(find(offer, "*label")), "Installation Setup Log");
            EXPECT_EQ(label_text(find(offer, "*pushButton")), "View Log");
            EXPECT_EQ(label_text(find(offer, "*label1")), "View information about events that occur\nduring setup.");
            qvtest::screenshot("viewlog_offer");

            // "View Log" twice; each time the viewer waits for its Done.
            for (int i = 0; i < 2; ++i) {
                qvtest::when_found("*Interactive Message", [&](Widget viewer) {
                    ++viewed;
                    EXPECT_STREQ(XtName(QV_instGetShell(viewer)), logPath().c_str());
                    EXPECT_EQ(qvtest::window_title(viewer), logPath());
                    EXPECT_EQ(label_text(box_child(viewer, XmDIALOG_MESSAGE_LABEL)), logPath());
                    EXPECT_EQ(label_text(box_child(viewer, XmDIALOG_OK_BUTTON)), "Done");
                    EXPECT_EQ(label_text(box_child(viewer, XmDIALOG_HELP_BUTTON)), "Help");
                    EXPECT_FALSE(qvtest::managed(box_child(viewer, XmDIALOG_CANCEL_BUTTON)));
                    // In file order from the top, the long line whole.
                    EXPECT_EQ(text_of(find(viewer, "*text")), logText);
                    if (viewed == 1)
                        qvtest::screenshot("log_viewer");
                    press_box(viewer, XmDIALOG_OK_BUTTON);
                });
                press(find(offer, "*pushButton"));
                EXPECT_EQ(find("*Interactive Message"), nullptr);
            }
            press_box(offer, XmDIALOG_OK_BUTTON);
        });
        QV_instPopupAfterMoveDataDialogs(mainShell());
        EXPECT_EQ(viewed, 2);
        qvtest::pump(50);
        EXPECT_EQ(find("*dsViewlog"), nullptr);

        // Once done, the offer is not made again: no dialog, no wait.
        bool offeredAgain = false;
        qvtest::when_found("*mbViewlog", [&](Widget offer) {
            offeredAgain = true;
            press_box(offer, XmDIALOG_OK_BUTTON);
        });
        QV_instPopupViewlog(mainShell());
        EXPECT_FALSE(offeredAgain);
    });
}

// "NoDisplayLog": the result follows the run directly.
TEST_F(EndOfSetup, NoOfferWhenTheDescriptionTurnsItOff)
{
    QV_IN_FRESH_PROCESS([&] {
        CDInstPtr->displayLog = 0;
        QV_instPopupAfterMoveDataDialogs(mainShell());
        EXPECT_EQ(find("*mbViewlog"), nullptr);
    });
}

// A migration the migration dialog asked for runs first, then the offer.
TEST_F(EndOfSetup, TheMigrationComesBeforeTheOffer)
{
    QV_IN_FRESH_PROCESS([&] {
        const std::string destination = QV_instGetDestinationDirectory();
        qvtest::make_dirs(destination + "/Application/bin");
        qvtest::write_file(destination + "/Application/bin/qvr", "#!/bin/sh\nexit 0\n", 0755);
        qv::migration_request().requested = 1;
        qv::migration_request().source.reset(strdup("/prefs"));
        std::string order;
        qvtest::when_found("*mbOkCancel", [&](Widget box) {
            order += "[" + label_text(box_child(box, XmDIALOG_MESSAGE_LABEL)) + "]";
            press_box(box, XmDIALOG_OK_BUTTON);
        });
        qvtest::when_found("*mbViewlog", [&](Widget offer) {
            order += "[offer]";
            press_box(offer, XmDIALOG_OK_BUTTON);
        });
        qvtest::CaptureFd out(STDOUT_FILENO);
        QV_instPopupAfterMoveDataDialogs(mainShell());
        out.finish();
        EXPECT_EQ(order, "[Preferences migrated successfully.\n][offer]");
    });
}

TEST_F(EndOfSetup, AMissingLogShowsAnEmptyViewer)
{
    QV_instInitLogfile((medium.root() + "/no-such-folder/setup.log").c_str());
    std::string seen = "<viewer not shown>";
    qvtest::when_found("*Interactive Message", [&](Widget viewer) {
        seen = text_of(find(viewer, "*text"));
        press_box(viewer, XmDIALOG_OK_BUTTON);
    });
    qvtest::CaptureFd out(STDOUT_FILENO);
    EXPECT_EQ(ViewLogfile(mainShell()), 1);
    EXPECT_EQ(out.finish(), "Unable to open " + medium.root() + "/no-such-folder/setup.log\n");
    EXPECT_EQ(seen, "");
}

// Closing the viewer's window ends it as Done does: the end of setup never
// waits for a window that is gone.
TEST_F(EndOfSetup, ClosingTheViewerWindowIsDone)
{
    qvtest::when_found("*Interactive Message", [](Widget viewer) { qvtest::close_window(QV_instGetShell(viewer)); });
    EXPECT_EQ(ViewLogfile(mainShell()), 1);
    qvtest::pump(50);
    EXPECT_EQ(find("*Interactive Message"), nullptr);
}

} // namespace
