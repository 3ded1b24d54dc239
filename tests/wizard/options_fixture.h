// What the options-dialog and maintenance-dialog tests share: a fresh start
// of the wizard's state for each test (no maintenance run, an empty config
// store, a description read and sized), and answering a modal box.
#pragma once

#include "support/xfixture.h"

#include <unistd.h>

#include <Xm/MessageB.h>

#include <string>

#include "support/capture.h"
#include "wizard/glue.h"
#include "wizard_medium.h"

namespace qvtest {

class OptionsFixture : public XTest {
protected:
    // Loads the description, sized, into a wizard that has shown nothing yet.
    void start(const char *description)
    {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        mbMaintenance = nullptr;
        QV_instInstallationMode = 0;
        // More pops than the store can hold leave it empty, with nothing
        // current.
        CaptureFd quiet(STDOUT_FILENO);
        for (int i = 0; i <= 100; ++i)
            QV_instRestoreLastDlg();
        quiet.finish();
        medium.load(description);
        ASSERT_EQ(QV_instSetSizes(CDInstPtr), 0);
    }
    void TearDown() override
    {
        mbMaintenance = nullptr;
        QV_instInstallationMode = 0;
        XTest::TearDown();
    }

    _QV_InstConfigList *config(int id) { return QV_instGetConfigFromId(CDInstPtr, id); }

    WizardMedium medium;
};

// A description whose list 2 names `count` suite configurations, ids 10 on
// (the reader keeps at most 256 of them).
inline std::string list_of_suites(int count)
{
    std::string body = "Package \"p\" \"p\"\nMkdir \"d\" 0755 0 0\nSuite \"S\" p\nConfigBegin\n"
                       "1 MainDlg \"Top\" \"\" \"\" 2\n2 CusDlg \"Many\" \"\" \"\" 1";
    for (int id = 10; id < 10 + count; ++id)
        body += " " + std::to_string(id);
    body += "\n";
    for (int id = 10; id < 10 + count; ++id)
        body += std::to_string(id) + " Suite \"S\" \"one of many\" \"\" 1\n";
    return body + "ConfigEnd\n";
}

// Once the box named name is up, keeps its message in *message and presses
// the given button of it.
inline void answer(const std::string &name, unsigned char button, std::string *message)
{
    when_found(name, [button, message](Widget box) {
        *message = label_text(box_child(box, XmDIALOG_MESSAGE_LABEL));
        press_box(box, button);
    });
}

} // namespace qvtest
