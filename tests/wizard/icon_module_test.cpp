// The checks that stand between an icon module's exported data and libXpm,
// which reads that data without any bound.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>
#include <vector>

#include "engine/internal.h"
#include "support/testutil.h"
#include "wizard/icon_module.h"

namespace {

struct XpmCase {
    const char *what;
    std::vector<const char *> data;
    bool whole;
};

const std::vector<XpmCase> kCases = {
    {"one pixel", {"1 1 1 1", ". c #000000", "."}, true},
    {"two characters per pixel", {"2 1 2 2", "aa c #000000", "bb c #ffffff", "aabb"}, true},
    {"blanks and tabs in the header", {" 2  1\t1 1 ", ". c red", ".."}, true},
    {"a hotspot", {"1 1 1 1 0 0", ". c #000000", "."}, true},
    {"rows longer than announced", {"1 1 1 1", ". c #000000", "...."}, true},
    {"strings after the pixels", {"1 1 1 1", ". c #000000", ".", "trailing"}, true},
    {"extensions ended", {"1 1 1 1 XPMEXT", ". c #000000", ".", "XPMEXT a", "XPMENDEXT"}, true},
    {"hotspot and extensions", {"1 1 1 1 0 0 XPMEXT", ". c #000000", ".", "XPMENDEXT"}, true},

    {"no strings", {}, false},
    {"header only", {"1 1 1 1"}, false},
    {"a number missing", {"1 1 1", ". c #000000", "."}, false},
    {"not numbers", {"one one one one", ". c #000000", "."}, false},
    {"a negative size", {"-1 1 1 1", ". c #000000", "."}, false},
    {"zero width", {"0 1 1 1", ". c #000000", ""}, false},
    {"zero height", {"1 0 1 1", ". c #000000"}, false},
    {"no colours", {"1 1 0 1", "."}, false},
    {"zero characters per pixel", {"1 1 1 0", ". c #000000", "."}, false},
    {"a side beyond the limit", {"4097 1 1 1", ". c #000000", "."}, false},
    {"a number that would overflow", {"1 99999999999999999999999 1 1", ". c #000000", "."}, false},
    {"a colour missing", {"1 1 2 1", ". c #000000", "."}, false},
    {"a row missing", {"1 2 1 1", ". c #000000", "."}, false},
    {"a short row", {"3 1 1 1", ". c #000000", ".."}, false},
    {"a short row of three-character pixels", {"2 1 1 3", "abc c #000000", "abcab"}, false},
    {"a colour line shorter than a pixel", {"1 1 1 3", "ab", "abc"}, false},
    {"a null row", {"1 2 1 1", ". c #000000", ".", nullptr}, false},
    {"a null header", {nullptr, ". c #000000", "."}, false},
    {"extensions never ended", {"1 1 1 1 XPMEXT", ". c #000000", ".", "XPMEXT a"}, false},
    {"extensions ended after a null", {"1 1 1 1 XPMEXT", ". c #000000", ".", nullptr, "XPMENDEXT"}, false},
};

TEST(XpmData, IsWholeOnlyWhenEveryAnnouncedStringIsThere)
{
    for (const XpmCase &c : kCases)
        EXPECT_EQ(qv::xpm_data_is_whole(c.data.data(), c.data.size()), c.whole) << c.what;
}

TEST(XpmData, TheCountBoundsTheReading)
{
    // The strings beyond the count are never looked at, even when there.
    const char *data[] = {"1 2 1 1", ". c #000000", ".", "."};
    EXPECT_TRUE(qv::xpm_data_is_whole(data, 4));
    EXPECT_FALSE(qv::xpm_data_is_whole(data, 3));
    EXPECT_FALSE(qv::xpm_data_is_whole(nullptr, 4));
}

TEST(XpmData, TheExportedArrayLengthComesFromTheModulesSymbolTable)
{
    const std::string path = qvtest::harness("QV_TEST_MODULES") + "/test_icons.so";
    qv::DlHandle module(dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL));
    ASSERT_TRUE(module) << dlerror();

    void *red = dlsym(module.get(), "qv_red_xpm");
    ASSERT_NE(red, nullptr);
    EXPECT_EQ(qv::exported_array_length(red), 18u);
    EXPECT_EQ(qv::exported_array_length(dlsym(module.get(), "qv_short_array_xpm")), 3u);
    // An int is smaller than one pointer: no strings at all.
    EXPECT_EQ(qv::exported_array_length(dlsym(module.get(), "qv_not_an_array")), 0u);
    // An address inside the array is not the start of an exported object.
    EXPECT_EQ(qv::exported_array_length(static_cast<char **>(red) + 1), 0u);
}

} // namespace
