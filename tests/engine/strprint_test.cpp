// The allocating formatter: conversions, dropping rules, exact allocation,
// oversized fields, and the concatenation, popen and system wrappers.
// gtest goes first: the X11 headers that engine/internal.h brings in define None.
#include <gtest/gtest.h>

#include "engine/util.h"
#include "engine/internal.h"

#include <sys/wait.h>

#include <cstdarg>
#include <cstring>
#include <optional>
#include <string>


namespace {

// What one format call gave: the length the measuring pass found and the
// text the full call returned (nullopt for NULL).
struct Formatted {
    int measure_rc;
    uint32_t measured;
    std::optional<std::string> text;
};

Formatted fmt(const char *format, ...)
{
    Formatted r{};
    va_list ap, copy;
    va_start(ap, format);

    QV_instStrMeasure rec{0, nullptr};
    va_copy(copy, ap);
    r.measure_rc = QV_instStrFormatPass(copy, format, &rec, 0);
    va_end(copy);
    r.measured = rec.length;

    va_copy(copy, ap);
    qv::CStr s(QV_instVStrprint(format, copy));
    va_end(copy);
    va_end(ap);
    if (s)
        r.text = std::string(s.get());
    return r;
}

struct Row {
    int line;
    Formatted got;
    const char *want; // nullptr: the call must fail
};

TEST(StrPrint, ConversionsAndDroppingRules)
{
    const char *null_str = nullptr;
    const Row rows[] = {
        {__LINE__, fmt("Total: %d%%", 42), "Total: 42%"},
        {__LINE__, fmt("no conversions at all"), "no conversions at all"},
        {__LINE__, fmt(""), ""},
        // A '%' at the end is lost; before a line break it swallows it.
        {__LINE__, fmt("100%"), "100"},
        {__LINE__, fmt("50%\n"), "50"},
        {__LINE__, fmt("abc%-5"), "abc"},
        // Strings: width and flags apply, precision never cuts.
        {__LINE__, fmt("%5s|", "ab"), "   ab|"},
        {__LINE__, fmt("%-5s|", "ab"), "ab   |"},
        {__LINE__, fmt("%.1s", "abc"), "abc"},
        {__LINE__, fmt("%s|%s", "", "x"), "|x"},
        {__LINE__, fmt("%s", null_str), "(null)"},
        {__LINE__, fmt("%10s|%-10s|", null_str, null_str), "(null)|(null)|"},
        // Numbers by the printf rules.
        {__LINE__, fmt("%5.2f", 3.14159), " 3.14"},
        {__LINE__, fmt("%d %i %u", -7, 12, -1), "-7 12 4294967295"},
        {__LINE__, fmt("%x %X %#x %o %#o", 255, 255, 255, 8, 8), "ff FF 0xff 10 010"},
        {__LINE__, fmt("[%+d][% d][%05d][%-5d][%.3d]", 3, 3, 3, 3, 3), "[+3][ 3][00003][3    ][003]"},
        {__LINE__, fmt("%e|%E|%g|%G|%10.3e|", 1234.5, 1234.5, 100000.0, 0.00001, 2.5), "1.234500e+03|1.234500E+03|100000|1E-05| 2.500e+00|"},
        // Characters: the low byte of the int; a NUL keeps only its padding.
        {__LINE__, fmt("%3c", 'A'), "  A"},
        {__LINE__, fmt("%-3c|%c", 'A', 'A' + 256), "A  |A"},
        {__LINE__, fmt("[%3c][%-3c][%c]", 0, 0, 0), "[  ][  ][]"},
        {__LINE__, fmt("%.5c", 'z'), "z"},
        // '%%' ignores its fields and takes no argument.
        {__LINE__, fmt("%5%|%-.3%|%d", 9), "%|%|9"},
        // Unsupported conversions disappear with their fields and leave
        // their argument to the next conversion.
        {__LINE__, fmt("%ld %d", 7, 8), "d 7"},
        {__LINE__, fmt("%q%s", "x"), "x"},
        {__LINE__, fmt("%.0f%d", 5), "0f5"},
        {__LINE__, fmt("%.05d", 5), "05d"},
        {__LINE__, fmt("%-5hd|%d", 1), "d|1"},
        // Long runs of flags are formatted as printf would.
        {__LINE__, fmt("%-------+5d|", 3), "+3   |"},
        {__LINE__, fmt("%0000000000000000007d", 42), "0000042"},
        // Widths and precisions no one could mean fail the string instead of
        // asking for gigabytes (or overflowing printf's int).
        {__LINE__, fmt("%999999999d", 1), nullptr},
        {__LINE__, fmt("%65536d", 1), nullptr},
        {__LINE__, fmt("%.65536d", 1), nullptr},
        {__LINE__, fmt("%1234567890123456789012345678901234d", 1), nullptr},
        {__LINE__, fmt("%.12345678901234567f", 1.0), nullptr},
        {__LINE__, fmt("%99999999999s", null_str), "(null)"},
        {__LINE__, fmt("%.99999999999s|%99999999999%", "abc"), "abc|%"},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE("table row at line " + std::to_string(r.line));
        if (!r.want) {
            EXPECT_FALSE(r.got.text.has_value()) << *r.got.text;
            continue;
        }
        ASSERT_TRUE(r.got.text.has_value());
        EXPECT_EQ(*r.got.text, r.want);
        EXPECT_EQ(r.got.measure_rc, 0);
        EXPECT_EQ(r.got.measured, r.got.text->size()) << "measured length differs from the written text";
    }
}

TEST(StrPrint, LargestFieldsAreHonoured)
{
    Formatted w = fmt("%65535d|", 7);
    ASSERT_TRUE(w.text.has_value());
    EXPECT_EQ(w.text->size(), 65536u);
    EXPECT_EQ(w.measured, 65536u);
    EXPECT_EQ(w.text->substr(65532), "  7|");

    Formatted p = fmt("%.65535d", 7);
    ASSERT_TRUE(p.text.has_value());
    EXPECT_EQ(p.text->size(), 65535u);
    EXPECT_EQ(p.text->back(), '7');

    std::string big(100000, 'x');
    Formatted s = fmt("<%s>", big.c_str());
    ASSERT_TRUE(s.text.has_value());
    EXPECT_EQ(*s.text, "<" + big + ">");
}

// The writing pass trusts nothing: a record whose length does not match
// what the arguments produce is refused without writing past the buffer.
void write_pass(QV_instStrMeasure *rec, int pass, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int rc = QV_instStrFormatPass(ap, format, rec, pass);
    va_end(ap);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(rec->buffer, nullptr);
    EXPECT_EQ(rec->length, 0u);
}

TEST(StrPrint, PassRefusesBadRequests)
{
    QV_instStrMeasure short_rec{3, nullptr};
    write_pass(&short_rec, 1, "%s-%d", "abcdef", 12345);
    QV_instStrMeasure long_rec{40, nullptr};
    write_pass(&long_rec, 1, "%s", "abc");
    QV_instStrMeasure any{5, nullptr};
    write_pass(&any, 1, "%3c", 0);

    va_list none{};
    QV_instStrMeasure rec{0, nullptr};
    EXPECT_EQ(QV_instStrFormatPass(none, "x", &rec, 2), 1);
    EXPECT_EQ(QV_instStrFormatPass(none, nullptr, &rec, 0), 1);
    EXPECT_EQ(QV_instStrFormatPass(none, "x", nullptr, 0), 1);
    EXPECT_EQ(QV_instStrPrint(nullptr), nullptr);
}

TEST(StrPrint, EmptyResultIsAHeapString)
{
    for (const char *f : {"", "%q", "%"}) {
        char *s = QV_instStrPrint(f);
        ASSERT_NE(s, nullptr) << f;
        EXPECT_STREQ(s, "");
        std::free(s);
    }
}

std::string twice(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    qv::CStr a(QV_instVStrprint(format, ap));
    qv::CStr b(QV_instVStrprint(format, ap));
    va_end(ap);
    return std::string(a.get()) + "/" + b.get();
}

TEST(StrPrint, CallersArgumentListStaysUsable)
{
    EXPECT_EQ(twice("%s=%d", "k", 5), "k=5/k=5");
}

TEST(StrConcat, AppendsToBaseOrStartsFresh)
{
    qv::CStr fresh(QV_instStrConcat(nullptr, "a", "b", (char *)nullptr));
    EXPECT_STREQ(fresh.get(), "ab");

    qv::CStr empty(QV_instStrConcat(nullptr, (char *)nullptr));
    EXPECT_STREQ(empty.get(), "");

    char *base = strdup("x");
    base = QV_instStrConcat(base, "", "yy", "zzz", (char *)nullptr);
    EXPECT_STREQ(base, "xyyzzz");
    base = QV_instStrConcat(base, (char *)nullptr);
    EXPECT_STREQ(base, "xyyzzz");
    std::free(base);
}

TEST(StrCommand, PopenAndSystemRunTheFormattedCommand)
{
    std::string quoted = qv::shell_quote("it's $HOME");
    FILE *p = QV_instStrPopen("printf '%%s|%%d' %s %d", "r", quoted.c_str(), 42);
    ASSERT_NE(p, nullptr);
    char buf[64] = {};
    size_t n = fread(buf, 1, sizeof buf - 1, p);
    EXPECT_EQ(pclose(p), 0);
    EXPECT_EQ(std::string(buf, n), "it's $HOME|42");

    int status = QV_instStrSystem("exit %d", 3);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);

    EXPECT_EQ(QV_instStrSystem(nullptr), 1);
    EXPECT_EQ(QV_instStrSystem("exit %999999999d", 1), 1);
    EXPECT_EQ(QV_instStrPopen(nullptr, "r"), nullptr);
}

} // namespace
