// Runs a part of a test in a fresh copy of the test program (a death test
// in the "threadsafe" style re-executes the program), for code that keeps
// process-wide state or ends the process. The body's failures are reported
// on standard error, where the death test shows them.
//
//   QV_IN_FRESH_PROCESS([&] {
//       EXPECT_EQ(ViewLogfile(mainShell()), 1);
//   });
#pragma once

#include <cstdio>
#include <cstdlib>
#include <functional>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace qvtest {

// Runs body, then ends the process: 0 when the body recorded no failure,
// 1 after printing each failure on stderr.
[[noreturn]] inline void run_then_exit(const std::function<void()> &body)
{
    ::testing::TestPartResultArray failures;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &failures);
        body();
    }
    int failed = 0;
    for (int i = 0; i < failures.size(); ++i) {
        const ::testing::TestPartResult &r = failures.GetTestPartResult(i);
        if (r.failed()) {
            ++failed;
            std::fprintf(stderr, "%s:%d: %s\n", r.file_name() ? r.file_name() : "?", r.line_number(), r.message());
        }
    }
    std::fflush(stdout);
    std::exit(failed ? 1 : 0);
}

} // namespace qvtest

#define QV_IN_FRESH_PROCESS(...)                                                                                   \
    do {                                                                                                           \
        GTEST_FLAG_SET(death_test_style, "threadsafe");                                                            \
        const std::function<void()> qvFreshBody = __VA_ARGS__;                                                     \
        EXPECT_EXIT(qvtest::run_then_exit(qvFreshBody), ::testing::ExitedWithCode(0), "");                         \
    } while (0)
