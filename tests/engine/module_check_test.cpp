// Custom setup modules are verified when the description is read: real
// shared objects built from tests/fixtures/modules, found in the medium's
// SetupFiles directory and loaded with dlopen.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/cdinst.h"
#include "support/capture.h"
#include "support/testutil.h"

namespace {

const std::string kHeader = "SetupVersion 1\nProductName Quorvanta\nProductVersion 2.0\n"
                            "ProductDirectory qv\nLogFile setup.log\n";

// A medium whose SetupFiles directory links to every check_* test module.
class Modules : public ::testing::Test {
protected:
    qvtest::ScratchDir medium{"modules"};
    std::string path = medium / "cdinst.dat";
    std::string setupFiles = medium / "SetupFiles";

    void SetUp() override
    {
        qvtest::make_dirs(setupFiles);
        std::string built = qvtest::harness("QV_TEST_MODULES");
        for (const char *name : {"check_good", "check_float", "check_noversion", "check_noinit", "check_nofunc"}) {
            std::string so = std::string(name) + ".so";
            ASSERT_TRUE(qvtest::exists(built + "/" + so)) << so;
            ASSERT_EQ(symlink((built + "/" + so).c_str(), (setupFiles + "/" + so).c_str()), 0);
        }
    }

    _QV_instCDinst *read(const std::string &body, std::string *err)
    {
        qvtest::write_file(path, kHeader + body);
        _QV_instCDinst *cd = nullptr;
        qvtest::CaptureFd capture(STDERR_FILENO);
        cd = QV_instReadCDinst(path.c_str(), nullptr);
        *err = capture.finish();
        return cd;
    }
    std::string module(const char *name) const { return setupFiles + "/" + name; }
};

TEST_F(Modules, UsableModuleIsCheckedAndClosed)
{
    std::string err;
    _QV_instCDinst *cd = read("Package \"p\" \"\"\nFunction \"checkInstall\" \"check_good.so\" \"arg\\none\"\n"
                              "Package \"q\" \"\"\nFunction \"initModule\" \"check_good.so\" \"\"\n",
                              &err);
    ASSERT_NE(cd, nullptr);
    EXPECT_EQ(err, "");
    const _QV_InstFunction &function = cd->firstPack->package->firstOper->u.function;
    EXPECT_STREQ(function.function, "checkInstall");
    EXPECT_STREQ(function.module, "check_good.so");
    EXPECT_STREQ(function.argument, "arg\none");
    EXPECT_EQ(function.handle, nullptr); // the check does not keep modules loaded
    EXPECT_EQ(function.address, nullptr);
    EXPECT_EQ(cd->firstPack->package->firstOper->size, 1);

    // The check looks up the function that the operation names now.
    QV_InstOperation *oper = cd->lastPack->package->firstOper;
    std::free(oper->u.function.function);
    oper->u.function.function = strdup("notThere");
    qvtest::CaptureFd capture(STDERR_FILENO);
    EXPECT_EQ(validateModule(cd), 100);
    err = capture.finish();
    EXPECT_EQ(err, "Error: missing function in module\nModule: check_good.so\nPackage: q\nFunction: notThere\n");
    QV_instFreeCDinst(cd);
}

struct FailureRow {
    const char *name;
    std::string body;
    std::string err; // %M stands for the medium's SetupFiles directory
};

TEST_F(Modules, FailedChecksFailTheRead)
{
    const FailureRow rows[] = {
        {"version written as a float",
         "Package \"p\" \"\"\nFunction \"checkInstall\" \"check_float.so\" \"\"\n",
         "Error: version number of module is invalid\nModule: %M/check_float.so\nPackage: p\n"
         "Current version: 1.100000\nRequired version: 1.100000\n"},
        {"no version", "Package \"p\" \"\"\nFunction \"checkInstall\" \"check_noversion.so\" \"\"\n",
         "Error: there is no version number in module\nModule: %M/check_noversion.so\nPackage: p\n"},
        {"no initModule and no function: two messages",
         "Package \"p\" \"\"\nFunction \"notThere\" \"check_noinit.so\" \"\"\n",
         "Error: missing function in module\nModule: check_noinit.so\nPackage: p\nFunction: initModule\n"
         "Error: missing function in module\nModule: check_noinit.so\nPackage: p\nFunction: notThere\n"},
        {"named function missing", "Package \"p\" \"\"\nFunction \"checkInstall\" \"check_nofunc.so\" \"\"\n",
         "Error: missing function in module\nModule: check_nofunc.so\nPackage: p\nFunction: checkInstall\n"},
        {"empty function name", "Package \"p\" \"\"\nFunction \"\" \"check_good.so\" \"\"\n",
         "Error: missing function in module\nModule: check_good.so\nPackage: p\nFunction: \n"},
        {"every operation is checked",
         "Package \"p\" \"\"\nFunction \"checkInstall\" \"check_noversion.so\" \"\"\n"
         "Function \"checkInstall\" \"check_good.so\" \"\"\n"
         "Package \"q\" \"\"\nFunction \"checkInstall\" \"check_nofunc.so\" \"\"\n",
         "Error: there is no version number in module\nModule: %M/check_noversion.so\nPackage: p\n"
         "Error: missing function in module\nModule: check_nofunc.so\nPackage: q\nFunction: checkInstall\n"},
        {"a module that does not load stops the check",
         "Package \"p\" \"\"\nFunction \"f\" \"missing.so\" \"\"\nFunction \"f\" \"check_nofunc.so\" \"\"\n",
         "Error: unable to load %M/missing.so\n%M/missing.so: cannot open shared object file: No such file or "
         "directory\n"},
    };
    for (const FailureRow &row : rows) {
        SCOPED_TRACE(row.name);
        std::string expected = row.err;
        for (size_t at; (at = expected.find("%M")) != std::string::npos;)
            expected.replace(at, 2, setupFiles);
        std::string err;
        EXPECT_EQ(read(row.body, &err), nullptr);
        EXPECT_EQ(err, expected);
    }
}

} // namespace
