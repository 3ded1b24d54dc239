// How both readers of the install child cut its byte stream into protocol
// lines: lines split across reads, empty lines, and lines longer than the
// protocol allows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/driver.h"

namespace {

using Lines = std::vector<std::string>;

struct Case {
    const char *name;
    std::vector<std::string> reads; // what each read() delivers
    Lines lines;                    // what the reader is handed, in order
    size_t carried;                 // left waiting for its newline
};

Lines split(qv::LineSplitter &splitter, const std::vector<std::string> &reads)
{
    Lines out;
    for (const std::string &r : reads)
        splitter.feed(r.data(), r.size(), [&out](const char *line) { out.emplace_back(line); });
    return out;
}

TEST(LineSplitter, CutsTheStreamIntoLines)
{
    const size_t keep = qv::LineSplitter::kKeep;
    const std::string longLine(keep + 500, 'x');
    const std::vector<Case> cases = {
        {"one line per read", {"+10 a b\n", "# Removing files\n"}, {"+10 a b", "# Removing files"}, 0},
        {"several lines in one read", {"+1 mkdir /d\n+2 /f\n#Log:x\n"}, {"+1 mkdir /d", "+2 /f", "#Log:x"}, 0},
        {"a line split across reads is handed on once", {"+10 /sr", "c /d", "st\n"}, {"+10 /src /dst"}, 0},
        {"the newline alone in the next read", {"-1 oops", "\n"}, {"-1 oops"}, 0},
        {"an unfinished line waits", {"+1 a\n+2 b"}, {"+1 a"}, 4},
        {"empty lines carry nothing", {"\n\n+1 a\n\n\n", "\n+2 b\n"}, {"+1 a", "+2 b"}, 0},
        {"a line of exactly the longest length", {std::string(keep, 'y') + "\n"}, {std::string(keep, 'y')}, 0},
        {"a longer line is cut once, the rest dropped", {longLine + "\n+1 next\n"}, {longLine.substr(0, keep), "+1 next"}, 0},
        {"a longer line over many reads", {longLine.substr(0, 3000), longLine.substr(3000), "\n# Installing files\n"},
         {longLine.substr(0, keep), "# Installing files"}, 0},
        {"a longer line still unfinished carries only what is kept", {longLine}, {}, keep},
    };
    for (const Case &c : cases) {
        qv::LineSplitter splitter;
        EXPECT_EQ(split(splitter, c.reads), c.lines) << c.name;
        EXPECT_EQ(splitter.carried(), c.carried) << c.name;
    }
}

} // namespace
