// The demo medium that the build assembles installs cleanly from the
// command line, and a second run finds the first one's history.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "e2e/medium.h"

using namespace qvtest;

namespace {

TEST(DemoMedium, InstallsAndIsFoundAgain)
{
    ScratchDir scratch("demo");
    std::string root = scratch / "root";
    std::string home = scratch / "home";
    make_dirs(root);
    make_dirs(home);
    std::string cdinst = harness("QV_DEMO_MEDIUM") + "/cdinst.dat";
    std::string product = root + "/QuorvantaDemo/";

    RunResult first = install(cdinst, root, home);
    ASSERT_EQ(first.status, 0) << first.err;
    // Every step, the setup module's included, reports what the size
    // computation counted for it: the progress ends at 100%.
    size_t last = first.out.rfind("Status:");
    ASSERT_NE(last, std::string::npos) << first.out;
    EXPECT_EQ(first.out.substr(last, 14), "Status:100.00%") << first.out;
    EXPECT_EQ(mode_of(product + "bin/qvdemo"), 0755);
    EXPECT_EQ(mode_of(product + "etc/license.key"), 0600);
    EXPECT_EQ(mode_of(product + "var/spool"), 0700);
    EXPECT_NE(read_file(product + "doc/RELEASE-NOTES").find("release notes"), std::string::npos);
    EXPECT_TRUE(exists(product + "doc/manual/images/logo.txt"));
    EXPECT_TRUE(exists(product + "samples/data/points.csv"));
    EXPECT_TRUE(exists(root + "/Quorvanta/fonts/qvsans.txt"));
    EXPECT_NE(read_file(product + "etc/site.conf").find("install.product = " + product + "\n"), std::string::npos);
    EXPECT_EQ(read_file(product + "bin/qvdemo-2.4"), read_file(product + "bin/qvdemo"));

    // Run from the installed copy of the description: the history in the
    // product directory is found again, and nothing is left to do.
    RunResult second = install(product + "cdinst.dat", root, home);
    ASSERT_EQ(second.status, 0) << second.err;
    std::string history = read_file(product + "SetupFiles/.QuorvantaDemo.his");
    EXPECT_EQ(history.rfind("HistoryFileVersion 2\nQuorvanta Demo\n2.4\n", 0), 0u) << history;
}

// The setup module writes its file the way the installer's own copies are
// written: a link found at the file's name is replaced, never written
// through, and what it pointed at stays as it was.
TEST(DemoMedium, TheSiteConfigurationReplacesALinkAtItsName)
{
    ScratchDir scratch("demo");
    std::string root = scratch / "root";
    std::string home = scratch / "home";
    std::string product = root + "/QuorvantaDemo/";
    make_dirs(product + "etc");
    make_dirs(home);
    write_file(scratch / "victim", "root:secret\n", 0600);
    ASSERT_EQ(symlink((scratch / "victim").c_str(), (product + "etc/site.conf").c_str()), 0);

    RunResult run = install(harness("QV_DEMO_MEDIUM") + "/cdinst.dat", root, home);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_file(scratch / "victim"), "root:secret\n");
    EXPECT_EQ(mode_of(scratch / "victim"), 0600);
    struct stat st {};
    ASSERT_EQ(lstat((product + "etc/site.conf").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_NE(read_file(product + "etc/site.conf").find("install.product = " + product + "\n"), std::string::npos);
}

} // namespace
