#include "support/capture.h"

#include <unistd.h>

#include <cstdio>

namespace qvtest {

namespace {

std::string slurp(FILE *file)
{
    std::string text;
    std::rewind(file);
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, file)) > 0;)
        text.append(buf, n);
    std::fclose(file);
    return text;
}

} // namespace

Output capture(const std::function<void()> &f)
{
    std::fflush(stdout);
    std::fflush(stderr);
    FILE *out = std::tmpfile(), *err = std::tmpfile();
    if (!out || !err)
        return {"capture: no temporary file", "capture: no temporary file"};
    int savedOut = dup(1), savedErr = dup(2);
    dup2(fileno(out), 1);
    dup2(fileno(err), 2);
    f();
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(savedOut, 1);
    dup2(savedErr, 2);
    close(savedOut);
    close(savedErr);
    return {slurp(out), slurp(err)};
}

} // namespace qvtest
