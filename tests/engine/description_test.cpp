// Reading whole setup descriptions: the header, package, operation and
// suite lines, the configuration section, the exact messages on their
// streams, the debug output, and the lookups and frees of the model.
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>

#include "engine/cdinst.h"
#include "engine/internal.h"
#include "support/capture.h"
#include "support/testutil.h"

namespace {

struct Output {
    std::string out, err;
};

Output capture(const std::function<void()> &f)
{
    qvtest::CaptureFd out(STDOUT_FILENO), err(STDERR_FILENO);
    f();
    return {out.finish(), err.finish()};
}

std::string show(const char *s)
{
    if (!s)
        return "NULL";
    std::string out = "'";
    for (; *s; ++s)
        out += *s == '\n' ? std::string("<NL>") : std::string(1, *s);
    return out + "'";
}

// The body of a loaded description as text, one record a line.
std::string dump(const _QV_instCDinst *cd)
{
    std::ostringstream o;
    for (_QV_InstPackNode *node = cd->firstPack; node; node = node->next) {
        const _QV_InstPackage *p = node->package;
        o << "Package " << show(p->name) << ' ' << show(p->info) << '\n';
        for (QV_InstOperation *op = p->firstOper; op; op = op->next) {
            o << "  " << QVInstOperTkList[op->type] << ' ';
            switch (op->type) {
            case QV_OPER_COPY:
            case QV_OPER_COPYZ:
                o << show(op->u.copy.source) << ' ' << show(op->u.copy.dest) << " mode=" << op->u.copy.mode
                  << " extra=" << op->u.copy.extra1 << ',' << op->u.copy.extra2;
                break;
            case QV_OPER_UNTAR:
            case QV_OPER_UNTARZ:
            case QV_OPER_UNTAR2:
            case QV_OPER_UNTARZ2:
                o << show(op->u.tar.dest) << ' ' << show(op->u.tar.file) << " [";
                for (int i = 0; i < op->u.tar.count; ++i)
                    o << (i ? " " : "") << show(op->u.tar.names[i]) << ':' << op->u.tar.sizes[i];
                o << ']';
                break;
            case QV_OPER_MKDIR:
                o << show(op->u.mkdir.dir) << " mode=" << op->u.mkdir.mode << " extra=" << op->u.mkdir.extra1 << ','
                  << op->u.mkdir.extra2;
                break;
            case QV_OPER_HARDLINK:
            case QV_OPER_SOFTLINK:
                o << show(op->u.link.dir) << ' ' << show(op->u.link.target) << ' ' << show(op->u.link.link)
                  << " hard=" << op->u.link.hard;
                break;
            case QV_OPER_FUNCTION:
                o << show(op->u.function.function) << ' ' << show(op->u.function.module) << ' '
                  << show(op->u.function.argument);
                break;
            case QV_OPER_SHORTCUT:
                o << show(op->u.shortcut.s1) << ' ' << show(op->u.shortcut.s2) << ' ' << show(op->u.shortcut.s3)
                  << ' ' << show(op->u.shortcut.s4);
                break;
            case QV_OPER_REGDATA:
                o << show(op->u.regdata.rootKey) << ' ' << show(op->u.regdata.keyName) << ' '
                  << show(op->u.regdata.keyValue) << ' ' << show(op->u.regdata.value);
                break;
            case QV_OPER_SELFREG:
                o << show(op->u.selfreg.module);
                break;
            }
            o << " size=" << op->size << '\n';
        }
    }
    for (_QV_InstSuiteList *s = cd->firstSuite; s; s = s->next) {
        o << "Suite " << show(s->name) << " hidden=" << s->hidden << " vital=" << s->vital << " [";
        for (_QV_InstPackNode *n = s->firstPack; n; n = n->next)
            o << (n == s->firstPack ? "" : " ") << n->package->name;
        o << "]\n";
    }
    for (_QV_InstConfigList *c = cd->configs; c; c = c->next) {
        o << "Config " << c->id << ' ' << QVInstConfigTkList[c->type] << " sel=" << c->selected
          << " parent=" << (c->parent ? std::to_string(c->parent->id) : "-");
        if (c->icon)
            o << " icon=" << show(c->icon->module) << ',' << show(c->icon->symbol);
        const int32_t *children = nullptr;
        int max = 0;
        if (c->type == QV_CONFIG_SUITE) {
            o << ' ' << c->data.suite->suite->name << ' ' << show(c->data.suite->description);
        } else if (c->type == QV_CONFIG_MAINDLG) {
            o << ' ' << show(c->data.main->title) << ' ' << show(c->data.main->description);
            children = c->data.main->children;
            max = QV_MAINDLG_CHILDREN;
        } else {
            o << ' ' << show(c->data.cus->title) << ' ' << show(c->data.cus->description);
            children = c->data.cus->children;
            max = QV_CUSDLG_CHILDREN;
        }
        if (children) {
            o << " [";
            for (int i = 0; i < max && children[i] >= 1; ++i)
                o << (i ? " " : "") << children[i];
            o << ']';
        }
        o << '\n';
    }
    return o.str();
}

const std::string kHeader = "SetupVersion 1\nProductName Quorvanta\nProductVersion 2.0\n"
                            "ProductDirectory qv\nLogFile setup.log\n";

class Reader : public ::testing::Test {
protected:
    qvtest::ScratchDir dir{"reader"};
    std::string path = dir / "cdinst.dat";

    void TearDown() override
    {
        QV_instDebug = 0;
        unsetenv("QVINST_DEBUG");
    }

    // Reads `text` as the description; the model (or NULL) and the output.
    _QV_instCDinst *read(const std::string &text, Output *output = nullptr)
    {
        qvtest::write_file(path, text);
        _QV_instCDinst *cd = nullptr;
        Output got = capture([&] { cd = QV_instReadCDinst(path.c_str(), nullptr); });
        if (output)
            *output = got;
        return cd;
    }
    std::string invalid() const { return "Invalid .dat file " + path + "\n"; }
};

// --- header --------------------------------------------------------------------

struct HeaderRow {
    const char *name;
    std::string text;
    bool ok;
    std::string err;                                       // standard error
    std::function<void(const _QV_instCDinst *)> check = {}; // on the model
};

TEST_F(Reader, Header)
{
    const std::string h4 = "SetupVersion 1\nProductName Quorvanta\nProductVersion 2.0\nProductDirectory qv\n";
    const HeaderRow rows[] = {
        {"mandatory keys only", kHeader, true, "",
         [](const _QV_instCDinst *cd) {
             EXPECT_STREQ(cd->productName, "Quorvanta");
             EXPECT_STREQ(cd->productVersion, "2.0");
             EXPECT_STREQ(cd->productDir, "qv");
             EXPECT_STREQ(cd->logFile, "SetupFiles/setup.log");
             EXPECT_EQ(cd->historyFile, nullptr);
             EXPECT_EQ(cd->rootDest, nullptr);
             EXPECT_EQ(cd->menuInclude, 1);
             EXPECT_EQ(cd->userInfo, 0);
             EXPECT_EQ(cd->displayLog, 1);
             EXPECT_EQ(cd->firstPack, nullptr);
             EXPECT_EQ(cd->firstSuite, nullptr);
             EXPECT_EQ(cd->configs, nullptr);
         }},
        {"every optional key", kHeader + "HistoryFile qvhist\nInstallDirectory   /opt/q v  \t\nNoChestRC\n"
                                         "NoUserOrgRes yes\nNoDisplayLog 0\n",
         true, "",
         [](const _QV_instCDinst *cd) {
             EXPECT_STREQ(cd->historyFile, "qvhist");
             EXPECT_STREQ(cd->rootDest, "/opt/q v");
             EXPECT_EQ(cd->menuInclude, 0);
             EXPECT_EQ(cd->userInfo, 0);
             EXPECT_EQ(cd->displayLog, 0);
         }},
        {"empty LogFile is no log", h4 + "LogFile\n", true, "",
         [](const _QV_instCDinst *cd) { EXPECT_STREQ(cd->logFile, ""); }},
        {"product name with blanks", "SetupVersion 1\nProductName   The  Suite \nProductVersion 2\n"
                                     "ProductDirectory qv\nLogFile l\n",
         true, "", [](const _QV_instCDinst *cd) { EXPECT_STREQ(cd->productName, "The  Suite"); }},
        {"a comment ends the header", kHeader + "# body\nInstallDirectory /x\n", false, ""},
        {"comment then body", kHeader + "# body\nPackage \"p\" \"\"\n", true, "",
         [](const _QV_instCDinst *cd) {
             EXPECT_EQ(cd->rootDest, nullptr);
             ASSERT_NE(cd->firstPack, nullptr);
         }},
        {"optional keys out of order", kHeader + "NoChestRC\nInstallDirectory /x\n", false, ""},
        {"SetupVersion 1.0", "SetupVersion 1.0\nProductName Q\nProductVersion 2\nProductDirectory qv\nLogFile l\n",
         false, ""},
        {"SetupVersion 2", "SetupVersion 2\nProductName Q\nProductVersion 2\nProductDirectory qv\nLogFile l\n", false,
         ""},
        {"mandatory key missing", "SetupVersion 1\nProductVersion 2\nProductDirectory qv\nLogFile l\n", false,
         "Invalid header line, expecting: ProductName\n"},
        {"key glued to more text", "SetupVersion 1\nProductNameX Q\n", false,
         "Invalid header line, expecting: ProductName\n"},
        {"key must start the line", "SetupVersion 1\n ProductName Q\n", false,
         "Invalid header line, expecting: ProductName\n"},
        {"blank line inside the mandatory keys", "SetupVersion 1\n\nProductName Q\n", false,
         "Invalid header line, expecting: ProductName\n"},
        {"ends after the last newline", h4, false, "Invalid header line, expecting: LogFile\n"},
        {"ends without a newline", h4 + "LogFile l", true, ""},
        {"empty file", "", false, "Invalid header line, expecting: SetupVersion\n"},
    };
    for (const HeaderRow &row : rows) {
        SCOPED_TRACE(row.name);
        Output output;
        _QV_instCDinst *cd = read(row.text, &output);
        EXPECT_EQ(cd != nullptr, row.ok);
        EXPECT_EQ(output.err, row.err);
        bool headerFailed = !row.ok && (row.err != "" || row.text.rfind("SetupVersion 1\n", 0) != 0);
        EXPECT_EQ(output.out, headerFailed ? invalid() : "");
        if (cd) {
            EXPECT_STREQ(cd->cdinstPath, path.c_str());
            EXPECT_EQ(std::string(cd->sourceDir), dir.path() + "/");
            if (row.check)
                row.check(cd);
        }
        QV_instFreeCDinst(cd);
    }
}

// Key words and values are limited to 511 characters; longer ones are
// refused without overrunning the header buffers.
TEST_F(Reader, HeaderFieldLimits)
{
    const std::string fits(QV_HEADER_FIELD_MAX, 'v');
    const std::string over(QV_HEADER_FIELD_MAX + 1, 'v');
    const std::string h4 = "SetupVersion 1\nProductName Q\nProductVersion 2\nProductDirectory qv\n";
    Output output;

    _QV_instCDinst *cd = read(h4 + "LogFile l\nHistoryFile " + fits + "\n", &output);
    ASSERT_NE(cd, nullptr);
    EXPECT_EQ(std::string(cd->historyFile), fits);
    QV_instFreeCDinst(cd);

    const std::string longValues[] = {
        "SetupVersion 1\nProductName " + over + "\nProductVersion 2\nProductDirectory qv\nLogFile l\n",
        h4 + "LogFile l\nHistoryFile " + over + "\n",
        h4 + "LogFile l\nInstallDirectory  " + std::string(4000, '/') + " \n",
    };
    for (const std::string &text : longValues) {
        EXPECT_EQ(read(text, &output), nullptr);
        EXPECT_EQ(output.out, invalid());
        EXPECT_EQ(output.err, "");
    }

    EXPECT_EQ(read(h4 + std::string(5000, 'L') + " l\n", &output), nullptr);
    EXPECT_EQ(output.out, invalid());
    EXPECT_EQ(output.err, "Invalid header line, expecting: LogFile\n");

    // A long comment where optional keys may come is the first body line.
    cd = read(kHeader + "#" + std::string(3000, '-') + "\n", &output);
    EXPECT_NE(cd, nullptr);
    QV_instFreeCDinst(cd);
}

TEST_F(Reader, MissingFile)
{
    Output output = capture([&] { EXPECT_EQ(QV_instReadCDinst(path.c_str(), nullptr), nullptr); });
    EXPECT_EQ(output.out, invalid());
    output = capture([&] {
        EXPECT_EQ(QV_instReadCDinst("", nullptr), nullptr);
        EXPECT_EQ(QV_instReadCDinst(nullptr, nullptr), nullptr);
    });
    EXPECT_EQ(output.out + output.err, "");
}

// --- body ------------------------------------------------------------------------

struct BodyRow {
    const char *name;
    std::string body;
    const char *dump; // nullptr: the read fails
    std::string err = "";
};

TEST_F(Reader, Body)
{
    const BodyRow rows[] = {
        {"copy fields", "Package \"base\" \"Base files\"\nCopy \"bin/a\" \"\" 10 0644 1 2\nCopyZ \"b.bz2\" \"b\"\n",
         "Package 'base' 'Base files'\n"
         "  Copy 'bin/a' NULL mode=420 extra=1,2 size=10\n"
         "  CopyZ 'b.bz2' 'b' mode=0 extra=0,0 size=1\n"},
        {"copy size 0 and 08", "Package \"p\" \"\"\nCopy \"a\" \"\" 0 0644\nCopy \"b\" \"\" 08 0644\n",
         "Package 'p' ''\n  Copy 'a' NULL mode=420 extra=0,0 size=1\n  Copy 'b' NULL mode=420 extra=0,0 size=1\n"},
        {"continued copy line", "Package \"p\" \"\"\nCopy \"a\" \\\n\"b\" 5\n",
         "Package 'p' ''\n  Copy 'a' 'b' mode=0 extra=0,0 size=5\n"},
        {"archives", "Package \"p\" \"\"\nUntar \"a.tar\" 0\nUntarZ \"b.tbz\" 30 \"m1\" 10 \"m2\" 0 \"m3\"\n"
                     "Untar2 \"<RootDest>\" \"c.tar\" 5 \"x\" 5 \nUntarZ2 \"/opt\" \"d.tbz\"\n",
         "Package 'p' ''\n"
         "  Untar NULL 'a.tar' [] size=0\n"
         "  UntarZ NULL 'b.tbz' ['m1':10 'm2':1 'm3':1] size=30\n"
         "  Untar2 '<RootDest>' 'c.tar' ['x':5 '':1] size=5\n"
         "  UntarZ2 '/opt' 'd.tbz' [] size=0\n"},
        {"other operations", "Package \"p\" \"\"\nMkdir \"lib\" 0755 3 4\nHardLink \"bin\" \"a\" \"b\"\n"
                             "SoftLink \"bin\" \"../a\" \"c\"\n"
                             "Shortcut \"1\" \"2\" \"3\"\nShortcut \"1\" \"2\" \"3\" \"4\"\n"
                             "RegData \"HKLM\" \"Soft\\\\Q\" \"k\" \"v\"\nSelfReg \"c.dll\"\n",
         "Package 'p' ''\n"
         "  Mkdir 'lib' mode=493 extra=3,4 size=1\n"
         "  HardLink 'bin' 'a' 'b' hard=1 size=1\n"
         "  SoftLink 'bin' '../a' 'c' hard=0 size=1\n"
         "  Shortcut '1' '2' '3' NULL size=1\n"
         "  Shortcut '1' '2' '3' '4' size=1\n"
         "  RegData 'HKLM' 'Soft\\\\Q' 'k' 'v' size=1\n"
         "  SelfReg 'c.dll' size=1\n"},
        {"keyword after skipped characters; extra fields ignored", "  ::Package \"p\" \"\" \"x\" 12\n",
         "Package 'p' ''\n"},
        {"suites", "Package \"a\" \"\"\nPackage \"b\" \"\"\nPackage \"Hidden\" \"\"\nPackage \"a\" \"second a\"\n"
                   "Suite \"S1\" \"a\" b Vital a\nSuite \"S2\" Hidden, b\nSuite \"S3\" Hidden\nSuite \"S4\"\n",
         "Package 'a' ''\nPackage 'b' ''\nPackage 'Hidden' ''\nPackage 'a' 'second a'\n"
         "Suite 'S1' hidden=0 vital=1 [a b a]\n"
         "Suite 'S2' hidden=0 vital=0 [Hidden b]\n"
         "Suite 'S3' hidden=0 vital=0 [Hidden]\n"
         "Suite 'S4' hidden=0 vital=0 []\n"},
        {"flags of a suite", "Suite \"S\" Hidden Vital\n", "Suite 'S' hidden=1 vital=1 []\n"},
        {"blank and comment lines", "\n   \n# Package \"x\"\n\t# c\nPackage \"p\" \"\"\n", "Package 'p' ''\n"},
        {"ConfigEnd outside a section", "ConfigEnd\nPackage \"p\" \"\"\n", "Package 'p' ''\n"},
        {"configurations",
         "Package \"p\" \"\"\nSuite \"Core\" p\nSuite \"Docs\"\nConfigBegin anything\n"
         "1 MainDlg \"Top\" \"Choose\" \"icons.so,top_xpm\" 2 3 4 5 6\n"
         "2 CusDlg \"Custom\" \"Pick\" \"\" 1 3 4\n"
         "3 Suite \"Core\" \"Core files\" \"\" 1\n"
         "010 Suite \"Docs\" \"Manuals\"\n"
         "5 CusDlg \"Sub\" \"\" \"\"\n"
         "6 MainDlg \"Last\" \"\" \"\"\n"
         "ConfigEnd\n",
         "Package 'p' ''\nSuite 'Core' hidden=0 vital=0 [p]\nSuite 'Docs' hidden=0 vital=0 []\n"
         "Config 1 MainDlg sel=0 parent=- icon='icons.so','top_xpm' 'Top' 'Choose' [2 3 4 5]\n"
         "Config 2 CusDlg sel=1 parent=1 'Custom' 'Pick' [3 4]\n"
         "Config 3 Suite sel=1 parent=2 Core 'Core files'\n"
         "Config 8 Suite sel=0 parent=2 Docs 'Manuals'\n"
         "Config 5 CusDlg sel=0 parent=2 'Sub' '' []\n"
         "Config 6 MainDlg sel=0 parent=5 'Last' '' []\n"},
        {"child id not above the own id", "ConfigBegin\n3 MainDlg \"t\" \"d\" \"\" 4 2 5\n7 CusDlg \"\" \"\" \"\" 0 7\n",
         "Config 3 MainDlg sel=0 parent=- 't' 'd' [4]\nConfig 7 CusDlg sel=0 parent=3 '' '' []\n",
         "Error: config id 2 must be greater than 3\nError: config id 7 must be greater than 7\n"},
        {"a file may end inside a section", "ConfigBegin\n1 MainDlg \"t\" \"\" \"\"\n",
         "Config 1 MainDlg sel=0 parent=- 't' '' []\n"},

        {"unknown keyword", "Pakage \"p\" \"\"\n", nullptr},
        {"reserved keyword", "Package \"p\" \"\"\nEnv \"A\" \"b\"\n", nullptr},
        {"operation before any package", "Copy \"a\" \"b\" 1\n", nullptr},
        {"unclosed package name", "Package \"p\n", nullptr},
        {"unclosed copy source", "Package \"p\" \"\"\nCopy \"a 1 2\n", nullptr},
        {"unknown package in a suite", "Package \"a.b\" \"\"\nSuite \"S\" \"a.b\"\n", nullptr,
         "Error: there is no package named 'a'\n"},
        {"package defined after the suite", "Suite \"S\" late\nPackage \"late\" \"\"\n", nullptr,
         "Error: there is no package named 'late'\n"},
        {"unclosed tar member", "Package \"p\" \"\"\nUntar \"a.tar\" 3 \"m1\" 1 \"m2\n", nullptr,
         "Error: invalid tar line\n"},
        {"ConfigBegin inside a section", "ConfigBegin\nConfigBegin\n", nullptr,
         "Error: invalid configuration line: ConfigBegin\n"},
        {"Suite without an id", "Suite \"S\"\nConfigBegin\nSuite \"S\" \"\" \"\"\n", nullptr,
         "Error: invalid configuration line: Suite \"S\" \"\" \"\"\n"},
        {"unknown configuration type", "ConfigBegin\n1 Dialog \"t\"\n", nullptr,
         "Error: invalid configuration line: 1 Dialog \"t\"\n"},
        {"configuration id 0", "ConfigBegin\n0 MainDlg \"t\" \"\" \"\"\n", nullptr},
        {"configuration id missing", "ConfigBegin\nMainDlg \"t\" \"\" \"\"\n", nullptr},
        {"unknown suite in a configuration", "ConfigBegin\n3 Suite \"Nope\" \"\" \"\"\n", nullptr,
         "Error: invalid suite name 'Nope'\n"},
        {"icon without a comma", "ConfigBegin\n1 MainDlg \"t\" \"d\" \"icons.so\"\n", nullptr},
        {"unclosed title", "ConfigBegin\n1 CusDlg \"t\n", nullptr},
    };
    for (const BodyRow &row : rows) {
        SCOPED_TRACE(row.name);
        Output output;
        _QV_instCDinst *cd = read(kHeader + row.body, &output);
        EXPECT_EQ(output.out, "");
        EXPECT_EQ(output.err, row.err);
        if (!row.dump) {
            EXPECT_EQ(cd, nullptr);
            continue;
        }
        ASSERT_NE(cd, nullptr);
        EXPECT_EQ(dump(cd), row.dump);
        QV_instFreeCDinst(cd);
    }
}

TEST_F(Reader, ArchiveMembersGrowInSteps)
{
    std::string line = "Package \"p\" \"\"\nUntar \"a.tar\" 0";
    for (int i = 0; i < 250; ++i)
        line += " \"m" + std::to_string(i) + "\" " + std::to_string(i + 1);
    _QV_instCDinst *cd = read(kHeader + line + "\n");
    ASSERT_NE(cd, nullptr);
    const _QV_InstTar &tar = cd->firstPack->package->firstOper->u.tar;
    ASSERT_EQ(tar.count, 250);
    EXPECT_STREQ(tar.names[249], "m249");
    EXPECT_EQ(tar.sizes[249], 250);
    EXPECT_GE(malloc_usable_size(tar.names), 300 * sizeof(char *));
    EXPECT_GE(malloc_usable_size(tar.sizes), 300 * sizeof(int64_t));
    for (int i = 250; i < 300; ++i)
        EXPECT_EQ(tar.names[i], nullptr);
    QV_instFreeCDinst(cd);

    // A long line of numbers without names reads as many unnamed members.
    line = "Package \"p\" \"\"\nUntar \"a.tar\" 7";
    for (int i = 0; i < 20000; ++i)
        line += " 1";
    cd = read(kHeader + line + "\n");
    ASSERT_NE(cd, nullptr);
    EXPECT_EQ(cd->firstPack->package->firstOper->u.tar.count, 20000);
    QV_instFreeCDinst(cd);
}

TEST_F(Reader, NumbersAboveTheRangeAreClamped)
{
    _QV_instCDinst *cd = read(kHeader + "Package \"p\" \"\"\nCopy \"a\" \"\" 4294967296 99999999999\n"
                                        "ConfigBegin\n3000000000 MainDlg \"t\" \"\" \"\" 5000000000\n");
    ASSERT_NE(cd, nullptr);
    EXPECT_EQ(cd->firstPack->package->firstOper->size, INT_MAX);
    EXPECT_EQ(cd->firstPack->package->firstOper->u.copy.mode, INT_MAX);
    EXPECT_EQ(cd->configs->id, INT_MAX);
    EXPECT_EQ(cd->configs->data.main->children[0], 0); // not above the own id
    QV_instFreeCDinst(cd);
}

TEST_F(Reader, DebugOutput)
{
    const std::string text = kHeader + "Package \"p\" \"\"\n\nCopy \"a\" \\\n \"b\nPackage \"q\" \"\"\n";
    Output output;
    EXPECT_EQ(read(text, &output), nullptr);
    EXPECT_EQ(output.err, "");

    QV_instDebug = 1;
    EXPECT_EQ(read(text, &output), nullptr);
    EXPECT_EQ(output.err, "Error: AddLineToCDinst\nLine=Copy \"a\"   \"b\n");

    setenv("QVINST_DEBUG", "", 1);
    EXPECT_EQ(read(text, &output), nullptr);
    EXPECT_EQ(output.err, "Error: AddLineToCDinst\nLine=Copy \"a\"   \"b\nError at line 9\n");

    QV_instDebug = 0;
    EXPECT_EQ(read(kHeader + "ConfigBegin\n# x\n1 Other\n", &output), nullptr);
    EXPECT_EQ(output.err, "Error: invalid configuration line: 1 Other\nError at line 8\n");
    QV_instDebug = 1;
    EXPECT_EQ(read(kHeader + "ConfigBegin\n# x\n1 Other\n", &output), nullptr);
    EXPECT_EQ(output.err,
              "Error: invalid configuration line: 1 Other\nError: AddLineToConfig\nLine=1 Other\nError at line 8\n");
    EXPECT_EQ(output.out, "");
}

int g_perLineCalls = 0;

TEST_F(Reader, PerLineCallbackAndFreshSectionState)
{
    qvtest::write_file(path, kHeader + "# c\n\nPackage \"p\" \"\"\nConfigBegin\n");
    g_perLineCalls = 0;
    _QV_instCDinst *cd = QV_instReadCDinst(path.c_str(), [] { ++g_perLineCalls; });
    ASSERT_NE(cd, nullptr);
    EXPECT_EQ(g_perLineCalls, 5); // every body line, the last empty one included
    EXPECT_EQ(QV_instParsingConfiguration, 1);
    QV_instFreeCDinst(cd);

    // The next read starts outside any section again.
    cd = read(kHeader + "Package \"q\" \"\"\n");
    ASSERT_NE(cd, nullptr);
    EXPECT_EQ(dump(cd), "Package 'q' ''\n");
    QV_instFreeCDinst(cd);
}

// --- lookups and the functions modules call ---------------------------------------------

TEST_F(Reader, LookupsFindTheFirstMatch)
{
    _QV_instCDinst *cd = read(kHeader + "Package \"a\" \"1\"\nPackage \"a\" \"2\"\nSuite \"S\" a\nSuite \"S\"\n"
                                        "ConfigBegin\n4 MainDlg \"first\" \"\" \"\"\n4 MainDlg \"second\" \"\" \"\"\n");
    ASSERT_NE(cd, nullptr);
    EXPECT_STREQ(QV_instGetPackageFromName(cd, "a")->info, "1");
    EXPECT_EQ(QV_instGetPackageFromName(cd, "A"), nullptr);
    EXPECT_EQ(QV_instGetSuiteFromName(cd, "S"), cd->firstSuite);
    EXPECT_EQ(QV_instGetSuiteFromName(cd, nullptr), nullptr);
    EXPECT_STREQ(QV_instGetConfigFromId(cd, 4)->data.main->title, "first");
    EXPECT_EQ(QV_instGetConfigFromId(cd, 5), nullptr);
    EXPECT_EQ(QV_instGetConfigFromId(nullptr, 4), nullptr);

    // The line functions work on a loaded description outside a read too.
    char suite[] = "Suite \"Late\" a Vital";
    EXPECT_EQ(AddLineToCDinst(suite, cd), 0);
    EXPECT_EQ(cd->lastSuite->firstPack->package, QV_instGetPackageFromName(cd, "a"));
    char config[] = "9 Suite \"Late\" \"\" \"\" 1";
    EXPECT_EQ(AddLineToConfig(config, cd), 0);
    EXPECT_EQ(QV_instGetConfigFromId(cd, 9)->data.suite->suite, cd->lastSuite);

    QV_InstOperation *oper = newOper(cd);
    ASSERT_NE(oper, nullptr);
    EXPECT_EQ(cd->lastPack->package->lastOper, oper);
    EXPECT_EQ(oper->size, 0);
    QV_instFreeCDinst(cd);
    QV_instFreeCDinst(nullptr);

    _QV_instCDinst empty{};
    EXPECT_EQ(newOper(&empty), nullptr);
    EXPECT_EQ(newOper(nullptr), nullptr);
}

// A stream that fails to read (a damaged medium; here a directory, whose
// reads fail with EISDIR) ends the read as a failure. An empty line for
// every failed read would keep the body reader going for ever.
TEST(ReadError, EndsTheLinesAndFailsTheRead)
{
    qvtest::ScratchDir dir("read-error");
    qv::File stream(std::fopen(dir.path().c_str(), "r"));
    ASSERT_TRUE(stream);
    int lineNo = 0;
    EXPECT_EQ(QV_instGetline(stream.get(), &lineNo), nullptr);
    EXPECT_EQ(lineNo, 0);

    _QV_instCDinst cd{};
    EXPECT_EQ(readCdinst(stream.get(), &cd, nullptr, &lineNo), -1);
}

TEST(AddPackage2Suite, NullArguments)
{
    _QV_InstPackage package{};
    Output output = capture([&] { QV_instAddPackage2Suite(nullptr, &package); });
    EXPECT_EQ(output.err, "Error: adding package to suite\n");
    _QV_InstSuiteList suite{};
    output = capture([&] { QV_instAddPackage2Suite(&suite, nullptr); });
    EXPECT_EQ(output.err, "");
    EXPECT_EQ(suite.firstPack, nullptr);
}

} // namespace
