// String, line and file helpers: key expansion, splitting, the final
// newline test, protocol line output and whole-file reads.
// gtest goes first: the X11 headers that engine/internal.h brings in define None.
#include <gtest/gtest.h>

#include "engine/util.h"
#include "engine/internal.h"

#include <unistd.h>

#include <optional>
#include <string>
#include <vector>


#include "support/testutil.h"

namespace {

std::optional<std::string> expand(const char *text, const QV_instExpandKey *table)
{
    qv::CStr s(QV_instExpandString(text, table));
    return s ? std::optional<std::string>(s.get()) : std::nullopt;
}

TEST(ExpandString, ReplacesKnownKeysAndDropsTheRest)
{
    const QV_instExpandKey dest[] = {{'d', "/opt/"}, {0, nullptr}};
    const QV_instExpandKey percent[] = {{'%', "%"}, {'d', "D"}, {'d', "second"}, {'e', ""}, {0, nullptr}};
    const QV_instExpandKey empty[] = {{'d', nullptr}, {'x', "never looked at"}};
    std::string long_value(10000, 'v');
    const QV_instExpandKey grow[] = {{'v', long_value.c_str()}, {0, nullptr}};

    struct Row {
        int line;
        const char *text;
        const QV_instExpandKey *table;
        const char *want;
    } rows[] = {
        {__LINE__, "x=%d%%", dest, "x=/opt/"},
        {__LINE__, "%d", dest, "/opt/"},
        {__LINE__, "at the end %d", dest, "at the end /opt/"},
        {__LINE__, "%d%d", dest, "/opt//opt/"},
        {__LINE__, "trailing %", dest, "trailing "},
        {__LINE__, "[%q]", dest, "[]"},
        {__LINE__, "plain", dest, "plain"},
        {__LINE__, "", dest, ""},
        {__LINE__, "100%%", percent, "100%"},
        {__LINE__, "%d", percent, "D"},
        {__LINE__, "[%e]", percent, "[]"},
        {__LINE__, "%d%x", empty, ""},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE("table row at line " + std::to_string(r.line));
        EXPECT_EQ(expand(r.text, r.table), r.want);
    }
    EXPECT_EQ(expand("<%v%v>", grow), "<" + long_value + long_value + ">");
    EXPECT_EQ(expand(nullptr, dest), std::nullopt);
    EXPECT_EQ(expand("x", nullptr), std::nullopt);
}

TEST(SplitStringOn, KeepsEmptyFields)
{
    struct Row {
        int line;
        const char *text;
        char sep;
        std::vector<std::string> want;
    } rows[] = {
        {__LINE__, "a:b", ':', {"a", "b"}},
        {__LINE__, "a,,b", ',', {"a", "", "b"}},
        {__LINE__, ",a", ',', {"", "a"}},
        {__LINE__, "a,", ',', {"a", ""}},
        {__LINE__, ",", ',', {"", ""}},
        {__LINE__, "", ',', {""}},
        {__LINE__, "no separator", ',', {"no separator"}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE("table row at line " + std::to_string(r.line));
        int count = -1;
        char **arr = QV_instSplitStringOn(r.text, r.sep, &count);
        ASSERT_NE(arr, nullptr);
        std::vector<std::string> got;
        for (char **p = arr; *p; ++p)
            got.emplace_back(*p);
        EXPECT_EQ(got, r.want);
        EXPECT_EQ(count, static_cast<int>(r.want.size()));
        QV_instFreeStringArray(arr);
    }

    int count = 7;
    EXPECT_EQ(QV_instSplitStringOn("a:b", '\0', &count), nullptr);
    EXPECT_EQ(count, 0);
    count = 7;
    EXPECT_EQ(QV_instSplitStringOn(nullptr, ':', &count), nullptr);
    EXPECT_EQ(count, 0);
    QV_instFreeStringArray(nullptr);
}

TEST(NeedNewline, TellsFromLastByteAndKeepsPosition)
{
    qvtest::ScratchDir tmp("newline");
    struct Row {
        const char *content;
        int want;
    } rows[] = {{"", 1}, {"abc", 1}, {"abc\n", 0}, {"\n", 0}, {"a\nb", 1}};
    for (const Row &r : rows) {
        SCOPED_TRACE(std::string("content '") + r.content + "'");
        std::string path = tmp / "f";
        qvtest::write_file(path, r.content);
        qv::File f(fopen(path.c_str(), "r+"));
        ASSERT_TRUE(f);
        long len = static_cast<long>(strlen(r.content));
        for (long pos : {0L, len / 2, len}) {
            ASSERT_EQ(fseek(f.get(), pos, SEEK_SET), 0);
            EXPECT_EQ(QV_instNeedNewline(f.get()), r.want);
            EXPECT_EQ(ftell(f.get()), pos);
        }
    }

    // A stream opened only for appending cannot show its last byte; the
    // answer is "needs one", and the stream stays fit for writing.
    std::string path = tmp / "append";
    qvtest::write_file(path, "line\n");
    qv::File f(fopen(path.c_str(), "a"));
    ASSERT_TRUE(f);
    EXPECT_EQ(QV_instNeedNewline(f.get()), 1);
    EXPECT_FALSE(ferror(f.get()));
    EXPECT_EQ(fputs("more\n", f.get()), 1);
    f.reset();
    EXPECT_EQ(qvtest::read_file(path), "line\nmore\n");

    EXPECT_EQ(QV_instNeedNewline(nullptr), 0);
}

TEST(SendUpdate, LineReachesTheReaderAtOnce)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    qv::Fd rd(fds[0]);
    qv::File w(fdopen(fds[1], "w"));
    ASSERT_TRUE(w);
    QV_instSendUpdate(w.get(), "%d %s\n", 12, "copying");
    char buf[64];
    ssize_t n = read(rd.get(), buf, sizeof buf);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buf, n), "12 copying\n");
    QV_instSendUpdate(nullptr, "%d\n", 1);
    QV_instSendUpdate(w.get(), nullptr);
}

TEST(ReadFileContent, WholeFileOrNothing)
{
    qvtest::ScratchDir tmp("read");
    std::string bytes("ab\0cd\n", 6);
    qvtest::write_file(tmp / "bin", bytes);
    qvtest::write_file(tmp / "empty", "");
    qvtest::make_dirs(tmp / "dir");

    qv::CStr bin(QV_instReadFileContent((tmp / "bin").c_str()));
    ASSERT_TRUE(bin);
    EXPECT_EQ(std::string(bin.get(), 7), bytes + '\0');

    qv::CStr empty(QV_instReadFileContent((tmp / "empty").c_str()));
    ASSERT_TRUE(empty);
    EXPECT_STREQ(empty.get(), "");

    EXPECT_EQ(QV_instReadFileContent((tmp / "dir").c_str()), nullptr);
    EXPECT_EQ(QV_instReadFileContent((tmp / "missing").c_str()), nullptr);
    EXPECT_EQ(QV_instReadFileContent(""), nullptr);
    EXPECT_EQ(QV_instReadFileContent(nullptr), nullptr);
}

} // namespace
