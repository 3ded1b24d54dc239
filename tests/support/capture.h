// Catching what code run inside the test program writes on its standard
// output and standard error (file descriptors 1 and 2, so printf, fputs and
// code that writes to the descriptors directly are all caught).
#pragma once

#include <functional>
#include <string>

namespace qvtest {

struct Output {
    std::string out; // standard output
    std::string err; // standard error
};

Output capture(const std::function<void()> &f);

} // namespace qvtest
