// After the demo product is installed from the command line, an account
// gets its environment file from the installed product on both roads: the
// shipped file copied, or a new one from the product's support library.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "e2e/medium.h"
#include "support/capture.h"
#include "wizard/userupdate.h"

using namespace qvtest;

namespace {

TEST(UserEnvironment, TheInstalledProductEquipsAnAccountOnBothRoads)
{
    ScratchDir scratch("userenv");
    std::string root = scratch / "root";
    std::string product = root + "/QuorvantaDemo";
    make_dirs(root);
    make_dirs(scratch / "installer-home");
    RunResult installed = install(harness("QV_DEMO_MEDIUM") + "/cdinst.dat", root, scratch / "installer-home");
    ASSERT_EQ(installed.status, 0) << installed.err;
    ASSERT_TRUE(exists(product + "/Setup/velcora.so"));

    uid_t uid = getuid() == 0 ? 4242 : getuid();
    gid_t gid = getuid() == 0 ? 4343 : getgid();
    std::string copyHome = scratch / "copy-home";
    std::string createHome = scratch / "create-home";
    for (const std::string &home : {copyHome, createHome}) {
        make_dirs(home);
        ASSERT_EQ(chown(home.c_str(), uid, gid), 0);
    }

    CaptureFd err(STDERR_FILENO);
    copy_quorvanta_file(copyHome.c_str(), product.c_str(), uid, gid);
    setenv("QV_HOME", product.c_str(), 1);
    generate_quorvanta_file(createHome.c_str(), uid, gid);
    unsetenv("QV_HOME");
    EXPECT_EQ(err.finish(), "");

    EXPECT_EQ(read_file(copyHome + "/QVR_FILE"), read_file(product + "/QVR_FILE"));
    EXPECT_NE(read_file(createHome + "/QVR_FILE").find("QV_HOME=\"" + product + "/\""), std::string::npos);
    for (const std::string &home : {copyHome, createHome}) {
        struct stat st {};
        ASSERT_EQ(stat((home + "/QVR_FILE").c_str(), &st), 0) << home;
        EXPECT_EQ(st.st_uid, uid) << home;
        EXPECT_EQ(st.st_gid, gid) << home;
    }
}

} // namespace
