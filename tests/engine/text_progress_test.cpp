// The text-mode reader of the install child's lines and the parse spinner.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/install.h"

namespace {

struct Line {
    const char *text;    // nullptr: the reset a run starts with
    uint64_t total;
    std::string out;     // standard output it causes
    std::string err;     // standard error it causes
};

struct ProgressCase {
    const char *name;
    std::vector<Line> lines;
};

class TextProgress : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(TextProgress, PrintsStatusErrorsAndWarnings)
{
    QV_instProcessUpdate(nullptr, 0);
    for (const Line &l : GetParam().lines) {
        SCOPED_TRACE(l.text ? l.text : "(reset)");
        std::string copy = l.text ? l.text : "";
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        QV_instProcessUpdate(l.text ? &copy[0] : nullptr, l.total);
        std::string out = testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(out, l.out);
        EXPECT_EQ(err, l.err);
    }
}

constexpr uint64_t kGiB = 1ull << 30;

INSTANTIATE_TEST_SUITE_P(
    Lines, TextProgress,
    ::testing::Values(
        ProgressCase{"progress_adds_up",
                     {{"+50 /src/a /dst/a", 200, "Status: 25.00%\r", ""},
                      {"+1 mkdir /dst/b", 200, "Status: 25.50%\r", ""},
                      {"+149 /dst/c", 200, "Status:100.00%\r", ""}}},
        ProgressCase{"markers_and_log_lines_repeat_the_figure",
                     {{"+10 x", 40, "Status: 25.00%\r", ""},
                      {"# Installing files", 40, "Status: 25.00%\r", ""},
                      {"#Log:module text", 40, "Status: 25.00%\r", ""}}},
        ProgressCase{"total_of_zero_is_complete",
                     {{"+5 x", 0, "Status:100.00%\r", ""}, {"# Start installation", 0, "Status:100.00%\r", ""}}},
        ProgressCase{"totals_beyond_4_GiB",
                     {{"+4294967296 big", 8 * kGiB, "Status: 50.00%\r", ""},
                      {"+1073741824 big", 8 * kGiB, "Status: 62.50%\r", ""},
                      {"+3 tail", 8 * kGiB, "Status: 62.50%\r", ""}}},
        ProgressCase{"errors_go_to_stderr_and_count_nothing",
                     {{"+10 x", 100, "Status: 10.00%\r", ""},
                      {"-1 Copyfile can't create file /d/x", 100, "", "Error: Copyfile can't create file /d/x\n"},
                      {"-1 abort", 100, "", "Error: abort\n"},
                      {"-1", 100, "", "Error: \n"},
                      {"+10 y", 100, "Status: 20.00%\r", ""}}},
        ProgressCase{"warnings_are_shown",
                     {{"0 Can't create file /d/x", 10, "Status:  0.00%\r", "Warning: Can't create file /d/x\n"},
                      {"Warning: (no display) can't add data to registry", 10, "Status:  0.00%\r",
                       "Warning: (no display) can't add data to registry\n"}}},
        ProgressCase{"empty_line_starts_over",
                     {{"+30 x", 60, "Status: 50.00%\r", ""}, {"", 60, "", ""}, {"+30 x", 60, "Status: 50.00%\r", ""}}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ParseSpinner, TurnsOncePerLine)
{
    testing::internal::CaptureStdout();
    for (int i = 0; i < 5; ++i)
        QV_instShowParseProgress();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Parsing config file [|]\rParsing config file [/]\rParsing config file [-]\r"
              "Parsing config file [\\]\rParsing config file [|]\r");
}

} // namespace
