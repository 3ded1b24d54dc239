// The field readers of the setup description (word, quoted string, integer,
// icon) and the reading of logical lines with backslash continuation.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/cdinst.h"
#include "engine/internal.h"
#include "support/testutil.h"

namespace {

// A mutable copy of a literal for the char* readers.
struct Text {
    explicit Text(const std::string &s) : buf(s.begin(), s.end()) { buf.push_back('\0'); }
    char *get() { return buf.data(); }
    size_t offset(const char *p) const { return size_t(p - buf.data()); }
    std::vector<char> buf;
};

struct QuotedRow {
    const char *input;
    const char *value; // nullptr: not closed
    size_t rest;       // offset where the next field starts
};

TEST(QuotedString, ValueAndRest)
{
    const QuotedRow rows[] = {
        {R"("abc" x)", "abc", 5},
        {R"(  "a b"  )", "a b", 7},
        {R"("")", "", 2},
        {R"(no quote here)", "", 0},                // missing: empty, nothing consumed
        {"", "", 0},
        {R"("open)", nullptr, 0},                   // unclosed
        {R"(x\"y "z")", "z", 8},                    // an escaped quote opens nothing
        {R"("a\"b" c)", R"(a\"b)", 6},              // nor closes; the backslash stays
        {R"("line1\nline2")", "line1\nline2", 14},
        {R"("a\\nb")", "a\\\nb", 7},                // every backslash before an n
        {R"("a\tb")", R"(a\tb)", 6},                // other escapes stay as written
        {"\"ends in backslash\\", nullptr, 0},
        {"\\", "", 0},
    };
    for (const QuotedRow &row : rows) {
        SCOPED_TRACE(row.input);
        Text text(row.input);
        char *rest = nullptr;
        qv::CStr value(getQuotedString(text.get(), &rest));
        if (!row.value) {
            EXPECT_EQ(value, nullptr);
            continue;
        }
        ASSERT_NE(value, nullptr);
        EXPECT_STREQ(value.get(), row.value);
        EXPECT_EQ(text.offset(rest), row.rest);
    }
    char *rest = reinterpret_cast<char *>(1);
    EXPECT_EQ(getQuotedString(nullptr, &rest), nullptr);
}

struct IntegerRow {
    const char *input;
    int value;
    size_t rest;
};

TEST(Integer, ValueBaseAndRest)
{
    const IntegerRow rows[] = {
        {"42 7", 42, 2},
        {"  \"x\" -17", 17, 9},          // signs, quotes and letters are skipped
        {"0755", 493, 4},
        {"08 5", 0, 2},                  // octal stops at the 8; the whole run is the field
        {"0789", 7, 4},
        {"010", 8, 3},
        {"0", 0, 1},
        {"0x1F", 0, 1},                  // no hexadecimal: the run of digits is "0"
        {"abc", 0, 3},                   // missing: the rest of the line is consumed
        {"", 0, 0},
        {"2147483647", INT_MAX, 10},
        {"2147483648", INT_MAX, 10},     // above the format's range: clamped
        {"99999999999999999999999 1", INT_MAX, 23},
        {"037777777777", INT_MAX, 12},   // 2^32 - 1 in octal
        {"017777777777", INT_MAX, 12},
    };
    for (const IntegerRow &row : rows) {
        SCOPED_TRACE(row.input);
        Text text(row.input);
        char *rest = nullptr;
        EXPECT_EQ(getInteger(text.get(), &rest), row.value);
        EXPECT_EQ(text.offset(rest), row.rest);
    }
}

TEST(Words, TokenAndTokenList)
{
    Text text("  ++Copy-1_x.Untar2 rest");
    char *rest = nullptr;
    qv::CStr word(getToken(text.get(), nullptr, &rest, 1));
    EXPECT_STREQ(word.get(), "Copy-1_x");
    EXPECT_EQ(text.offset(rest), 12u);

    // Not in the list: NULL, but the word was still examined.
    EXPECT_EQ(getToken(text.get(), QVInstOperTkList, &rest, 1), nullptr);
    EXPECT_EQ(text.offset(rest), 12u);
    word.reset(getToken(rest, QVInstOperTkList, &rest, 1));
    EXPECT_STREQ(word.get(), "Untar2");

    Text none(" .,;! ");
    EXPECT_EQ(getToken(none.get(), nullptr, &rest, 1), nullptr);
    EXPECT_EQ(*rest, '\0');

    const char *empty[] = {nullptr};
    Text any("Whatever");
    word.reset(getToken(any.get(), empty, &rest, 1));
    EXPECT_STREQ(word.get(), "Whatever");

    Text words("\"Base\" Hidden, Docs.txt Vital");
    char **list = getTokenList(words.get(), nullptr, 1);
    ASSERT_NE(list, nullptr);
    std::vector<std::string> got;
    for (char **p = list; *p; ++p)
        got.push_back(*p);
    freeTokenList(list);
    EXPECT_EQ(got, (std::vector<std::string>{"Base", "Hidden", "Docs", "txt", "Vital"}));

    const char *flags[] = {"hidden", "vital", nullptr};
    list = getTokenList(words.get(), flags, 0);
    ASSERT_NE(list, nullptr);
    got.clear();
    for (char **p = list; *p; ++p)
        got.push_back(*p);
    freeTokenList(list);
    EXPECT_EQ(got, (std::vector<std::string>{"Hidden", "Vital"}));

    list = getTokenList(nullptr, nullptr, 1);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list[0], nullptr);
    freeTokenList(list);
    freeTokenList(nullptr);
}

TEST(Words, KeywordTablesAndLineKinds)
{
    EXPECT_EQ(getOperType("Suite"), 0);
    EXPECT_EQ(getOperType("UntarZ2"), QV_OPER_UNTARZ2);
    EXPECT_EQ(getOperType("SelfReg"), 19);
    EXPECT_EQ(getOperType("copy"), -1);
    EXPECT_EQ(getOperType(""), -1);
    EXPECT_EQ(getOperType(nullptr), -1);
    EXPECT_EQ(getConfigType("MainDlg"), 0);
    EXPECT_EQ(getConfigType("CusDlg"), 1);
    EXPECT_EQ(getConfigType("Suite"), 2);
    EXPECT_EQ(getConfigType("Package"), -1);

    EXPECT_EQ(checkToken(nullptr, QVInstOperTkList, 1), 0);
    EXPECT_EQ(checkToken("x", nullptr, 1), 1);
    EXPECT_EQ(checkToken("mkdir", QVInstOperTkList, 1), 0);
    EXPECT_EQ(checkToken("mkdir", QVInstOperTkList, 0), 1);

    EXPECT_EQ(isWhiteOrCommentLine(nullptr), 1);
    EXPECT_EQ(isWhiteOrCommentLine(""), 1);
    EXPECT_EQ(isWhiteOrCommentLine(" \t "), 1);
    EXPECT_EQ(isWhiteOrCommentLine("  # note"), 1);
    EXPECT_EQ(isWhiteOrCommentLine("Copy # not a comment"), 0);
}

TEST(Icon, SplitAtFirstComma)
{
    _QV_InstConfigList config{};
    char *rest = nullptr;
    Text icon(R"("icons.so,pic,two" 3)");
    ASSERT_EQ(getIconInfo(&config, icon.get(), &rest), 0);
    ASSERT_NE(config.icon, nullptr);
    EXPECT_STREQ(config.icon->module, "icons.so");
    EXPECT_STREQ(config.icon->symbol, "pic,two");
    EXPECT_EQ(icon.offset(rest), 18u);

    Text none(R"("" 3)");
    _QV_InstConfigList plain{};
    EXPECT_EQ(getIconInfo(&plain, none.get(), &rest), 0);
    EXPECT_EQ(plain.icon, nullptr);
    Text noComma(R"("icons.so")");
    EXPECT_EQ(getIconInfo(&plain, noComma.get(), &rest), -1);
    Text open(R"("icons.so,x)");
    EXPECT_EQ(getIconInfo(&plain, open.get(), &rest), -1);
    EXPECT_EQ(plain.icon, nullptr);

    std::free(config.icon->module);
    std::free(config.icon->symbol);
    std::free(config.icon);
}

// Logical lines of a file: each expected line, then NULL; the line number
// after each read.
struct GetlineRow {
    const char *name;
    std::string content;
    std::vector<std::string> lines;
    std::vector<int> numbers;
};

TEST(Getline, LogicalLines)
{
    const std::string longLine(250000, 'x');
    const GetlineRow rows[] = {
        {"final newline gives one empty line", "a\nb\n", {"a", "b", ""}, {1, 2, 2}},
        {"no final newline", "a\nb", {"a", "b"}, {1, 2}},
        {"empty file", "", {""}, {0}},
        {"continuation becomes a blank", "Copy \"a\" \\\n\"b\" 1\nx\n", {"Copy \"a\"  \"b\" 1", "x", ""},
         {2, 3, 3}},
        {"continued over three lines", "a\\\nb\\\nc\n", {"a b c", ""}, {3, 3}},
        {"backslash on the last line is dropped", "a\nb\\\n", {"a"}, {1}},
        {"backslash at the very end stays", "a\nb\\", {"a", "b\\"}, {1, 2}},
        {"lines longer than any buffer", longLine + "\nend\n", {longLine, "end", ""}, {1, 2, 2}},
        {"a NUL ends the line's text", std::string("ab\0cd\nx\n", 8), {"ab", "x", ""}, {1, 2, 2}},
    };
    qvtest::ScratchDir dir("getline");
    for (const GetlineRow &row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::write_file(dir / "f", row.content);
        qv::File file(std::fopen((dir / "f").c_str(), "r"));
        ASSERT_TRUE(file);
        int lineNo = 0;
        for (size_t i = 0; i < row.lines.size(); ++i) {
            qv::CStr line(QV_instGetline(file.get(), &lineNo));
            ASSERT_NE(line, nullptr) << "line " << i;
            EXPECT_EQ(std::string(line.get()), row.lines[i]);
            EXPECT_EQ(lineNo, row.numbers[i]);
        }
        EXPECT_EQ(QV_instGetline(file.get(), &lineNo), nullptr);
    }
    EXPECT_EQ(QV_instGetline(nullptr, nullptr), nullptr);
}

} // namespace
