// Without a display (command-line mode) every box prints and answers with
// its first button; nothing touches X.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include "support/capture.h"
#include "wizard/shell.h"

namespace {

class NoDisplay : public ::testing::Test {
protected:
    void SetUp() override { unsetenv("DISPLAY"); }
};

TEST_F(NoDisplay, NoMainShell)
{
    EXPECT_EQ(QV_instGetMainTopLevelShell(), nullptr);
}

TEST_F(NoDisplay, OkCancelBoxPrintsAndAnswersFirstButton)
{
    struct Row {
        const char *text;
        const char *ok;
        const char *cancel;
        const char *help;
        const char *out;
    };
    const Row rows[] = {
        {"Disk full\n", "OK", nullptr, nullptr, "Disk full\nReturning OK\n"},
        {"Disk full\n", "OK", "Cancel", nullptr, "Disk full\nReturning OK\n"},
        {"Quit Setup?", "Yes", "No", nullptr, "Quit Setup?Returning Yes\n"},
        {"x: /src/file", "Continue", "Browse...", "Abort", "x: /src/fileReturning Continue\n"},
        {":::t\"as typed\"", "OK", nullptr, nullptr, ":::t\"as typed\"Returning OK\n"},
        {"100%s %d", "OK", nullptr, nullptr, "100%s %dReturning OK\n"},
    };
    for (const Row &row : rows) {
        qvtest::CaptureFd out(STDOUT_FILENO);
        qvtest::CaptureFd err(STDERR_FILENO);
        const int answer = QV_instOkCancelMessageBox(nullptr, row.text, row.ok, row.cancel, row.help);
        const std::string printedErr = err.finish();
        EXPECT_EQ(out.finish(), row.out);
        EXPECT_EQ(printedErr, "");
        EXPECT_EQ(answer, 0);
    }
}

TEST_F(NoDisplay, StatusBoxPrintsItsTextOnALineOfItsOwn)
{
    qvtest::CaptureFd out(STDOUT_FILENO);
    qvtest::CaptureFd err(STDERR_FILENO);
    QV_instDisplayMessageBox(nullptr, "Updating the system registry");
    QV_instRemoveMessageBox();
    QV_instDisplayMessageBox(nullptr, "Done\n");
    QV_instDisplayMessageBox(nullptr, "");
    EXPECT_EQ(err.finish(), "");
    EXPECT_EQ(out.finish(), "Updating the system registry\nDone\n");
}

TEST_F(NoDisplay, FormattedMessageGoesToStderr)
{
    {
        qvtest::CaptureFd out(STDOUT_FILENO);
        qvtest::CaptureFd err(STDERR_FILENO);
        EXPECT_EQ(QV_instDisplayMessage(nullptr, "OK", nullptr, nullptr, nullptr), 0);
        EXPECT_EQ(err.finish(), "");
        EXPECT_EQ(out.finish(), "");
    }
    qvtest::CaptureFd out(STDOUT_FILENO);
    qvtest::CaptureFd err(STDERR_FILENO);
    EXPECT_EQ(QV_instDisplayMessage(nullptr, "Exit", "No", nullptr,
                                    "Error: Internal error getting size of package '%s' (%s)\n", "core", "sizeFn"),
              0);
    EXPECT_EQ(QV_instDisplayMessage(nullptr, "OK", nullptr, nullptr, "no newline %d%%", 50), 0);
    const std::string printedOut = out.finish();
    EXPECT_EQ(err.finish(), "Error: Internal error getting size of package 'core' (sizeFn)\nno newline 50%\n");
    EXPECT_EQ(printedOut, "");
}

} // namespace
