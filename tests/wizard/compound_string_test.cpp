// The "::" compound-string syntax: what each text turns into, component by
// component, and the segment scanner underneath.
#include <clocale>
#include <string>

#include <gtest/gtest.h>

#include "support/xfixture.h"
#include "wizard/bx.h"
#include "wizard/bx_segment.h"

namespace {

struct Row {
    const char *text;   // after the leading "::"
    const char *layout; // see qvtest::xmstring_layout
};

// One row per rule: segments, tags, separators, directions, escapes and
// unclosed quotes.
const Row kRows[] = {
    {"", "L"},
    {":t\"Remove all previous installed components\"", "L \"Remove all previous installed components\" |"},
    {":t\"This program lets you make changes to the current installation. Click one\""
     "\"of the following options:\"",
     "L \"This program lets you make changes to the current installation. Click one\" | "
     "\"of the following options:\""},
    // separator letters and the "no separator" letters
    // (Motif joins neighbouring texts of one tag into one.)
    {":T\"a\":1\"b\":f\"c\":F\"d\":0\"e\"", "L \"a\" | \"b\" | \"cde\""},
    // a group without text gives an empty line
    {":t:t\"abc\"", "L | \"abc\" |"},
    {":t", "L |"},
    // separator and direction in one group; a direction alone
    {":t:r\"x\"", "L R \"x\" |"},
    {":0:R\"x\"", "L R \"x\""},
    {":T:L\"x\"", "L \"x\" |"},
    {":r:t", "L R L |"},
    {":r\"a\"\"b\"", "L R \"a\" L \"b\""},
    {":R\"a\":l\"b\"", "L R \"a\" L \"b\""},
    // tags: one per segment, a second one starts the next segment, an empty
    // tag is none, a tag alone adds nothing, tags keep their backslashes
    {"#bold\"x\"", "L #bold\"x\""},
    {"#a#b\"x\"", "L #b\"x\""},
    {"#\"x\"", "L \"x\""},
    {"#only", "L"},
    {"#a\\:b\"x\"", "L #a\\:b\"x\""},
    {"#big:t\"Title\"\"body\"", "L #big\"Title\" | \"body\""},
    // characters between groups are skipped; a letter that is no group
    // letter is not consumed
    {":t junk \"x\"", "L \"x\" |"},
    {":x\"a\"", "L \"a\""},
    // escapes in texts
    {"\"a\\\"b\"", "L \"a\\\"b\""},
    {"\"\\t\\n\\r\\f\\v\\\\\\q\"", "L \"\\t\\n\\r\\f\\v\\\\q\""},
    {"\"ab\\", "L \"ab\\\\\""},
    {"\"\"", "L"},
    // unclosed quote: the text runs to the end
    {":t\"unclosed", "L \"unclosed\" |"},
    {"\"end\\\"", "L \"end\\\"\""},
    // text that opens with none of the markers is one plain segment
    {"hello", "L \"hello\""},
    {"\\\"x", "L \"\\\"x\""},
    {"\"a\" b", "L \"a b\""},
    {"\"a\":t\"b\"", "L \"ab\" |"},
};

TEST(CompoundString, EachTextGivesItsComponents)
{
    for (const Row &row : kRows) {
        XmString s = cvtParseCompoundString(row.text);
        EXPECT_EQ(qvtest::xmstring_layout(s), row.layout) << "text: ::" << row.text;
        XmStringFree(s);
    }
    EXPECT_EQ(cvtParseCompoundString(nullptr), nullptr);
}

TEST(CompoundString, ScannerReportsWhatFollows)
{
    const std::wstring text = L":t:r#tag\"one\"#next";
    const wchar_t *pos = text.c_str();
    BxSegment seg;
    EXPECT_TRUE(cvtNextSegment(&pos, &seg));
    EXPECT_EQ(std::wstring(seg.tag, seg.tagLength), L"tag");
    EXPECT_EQ(std::wstring(seg.text, seg.textLength), L"one");
    EXPECT_TRUE(seg.separator);
    EXPECT_EQ(seg.direction, 1);
    EXPECT_EQ(std::wstring(pos), L"#next");

    EXPECT_FALSE(cvtNextSegment(&pos, &seg));
    EXPECT_EQ(std::wstring(seg.tag, seg.tagLength), L"next");
    EXPECT_EQ(seg.text, nullptr);
    EXPECT_EQ(*pos, L'\0');

    // A backslash at the very end must not carry the scan past the text.
    const std::wstring tail = L"#t\\";
    pos = tail.c_str();
    EXPECT_FALSE(cvtNextSegment(&pos, &seg));
    EXPECT_EQ(pos, tail.c_str() + tail.size());
}

// Texts far longer than any buffer a converter might keep.
TEST(CompoundString, LongTextsConvertWhole)
{
    const std::string body(100 * 1024, 'x');
    const std::string tag(100 * 1024, 'g');

    XmString quoted = cvtParseCompoundString(("#" + tag + ":t\"" + body + "\"").c_str());
    EXPECT_EQ(qvtest::xmstring_layout(quoted), "L #" + tag + "\"" + body + "\" |");
    XmStringFree(quoted);

    std::string escapes;
    for (int i = 0; i < 25 * 1024; ++i)
        escapes += "\\n\\\\";
    XmString unescaped = cvtParseCompoundString(("\"" + escapes + "\"").c_str());
    std::string expected;
    for (int i = 0; i < 25 * 1024; ++i)
        expected += "\n\\";
    EXPECT_EQ(qvtest::xmstring_text(unescaped), expected);
    XmStringFree(unescaped);

    std::string many;
    for (int i = 0; i < 5000; ++i)
        many += ":t\"line\"";
    XmString lines = cvtParseCompoundString(many.c_str());
    std::string text = qvtest::xmstring_text(lines);
    EXPECT_EQ(text.size(), 5000u * 5);
    XmStringFree(lines);
}

// Multibyte texts: characters of several bytes survive the round trip
// through wide characters, and bytes that are no character of the locale
// pass through unchanged.
TEST(CompoundString, MultibyteAndInvalidBytes)
{
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    std::string wide;
    for (int i = 0; i < 30000; ++i)
        wide += "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"; // é € 😀
    XmString s = cvtParseCompoundString((":t\"" + wide + "\"").c_str());
    EXPECT_EQ(qvtest::xmstring_text(s), wide + "\n");
    XmStringFree(s);

    XmString invalid = cvtParseCompoundString("\"caf\xe9 \\\"\xff\"");
    EXPECT_EQ(qvtest::xmstring_text(invalid), "caf\xe9 \"\xff");
    XmStringFree(invalid);

    std::setlocale(LC_CTYPE, "C");
    XmString latin = cvtParseCompoundString("#t\xe9g\"d\xe9j\xe0\"");
    EXPECT_EQ(qvtest::xmstring_layout(latin), "L #t\xe9g\"d\xe9j\xe0\"");
    XmStringFree(latin);
    std::setlocale(LC_CTYPE, saved.c_str());
}

} // namespace
