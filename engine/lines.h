// Whole lines of the small text files the installer reads and rewrites (the
// history file, the user's menu files), whatever their length.
#pragma once

#include <stdio.h>

#include <string>

#include "engine/internal.h"

namespace qv {

// The next line with its newline (the last line may lack one); false at the
// end of the file.
inline bool read_line(FILE *f, std::string &line)
{
    char *buf = nullptr;
    size_t cap = 0;
    ssize_t n = getline(&buf, &cap, f);
    CStr owned(buf);
    if (n < 0)
        return false;
    line.assign(buf, static_cast<size_t>(n));
    return true;
}

// The text between the first two double quotes of a line; false when the
// line has fewer than two.
inline bool first_quoted(const std::string &line, std::string &text)
{
    size_t open = line.find('"');
    size_t close = open == std::string::npos ? open : line.find('"', open + 1);
    if (close == std::string::npos)
        return false;
    text = line.substr(open + 1, close - open - 1);
    return true;
}

} // namespace qv
