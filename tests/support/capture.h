// Captures what the code under test writes on standard output or standard
// error (the real file descriptor, so printf, fputs and child processes are
// all caught):
//
//   qvtest::CaptureFd out(STDOUT_FILENO);
//   QV_instOkCancelMessageBox(nullptr, "Disk full\n", "OK", nullptr, nullptr);
//   EXPECT_EQ(out.finish(), "Disk full\nReturning OK\n");
#pragma once

#include <string>

namespace qvtest {

class CaptureFd {
public:
    explicit CaptureFd(int fd);
    ~CaptureFd();
    CaptureFd(const CaptureFd &) = delete;
    CaptureFd &operator=(const CaptureFd &) = delete;
    // Ends the capture (the descriptor writes where it did before) and
    // returns everything written meanwhile.
    std::string finish();

private:
    int fd_;
    int saved_ = -1;
    int file_ = -1;
    std::string text_;
};

} // namespace qvtest
