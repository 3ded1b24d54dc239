// A destination the user picks in the folder chooser, with blanks, quotes
// and shell characters in its name, carries a whole graphical installation:
// plain files and an archive unpacked through tar land below it.
#include "support/xfixture.h"

#include <sys/stat.h>

#include <Xm/FileSB.h>
#include <Xm/MessageB.h>
#include <Xm/TextF.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "e2e/medium.h"
#include "wizard/glue.h"
#include "wizard/wizard_medium.h"

namespace {

using qvtest::box_child;
using qvtest::label_text;
using qvtest::press;
using qvtest::press_box;

// Answers every question box with its first button, printing its text.
void answer_every_box()
{
    qvtest::when_found(
        "*mbOkCancel",
        [](Widget box) {
            std::fprintf(stderr, "[%s]\n", label_text(box_child(box, XmDIALOG_MESSAGE_LABEL)).c_str());
            press_box(box, XmDIALOG_OK_BUTTON);
            qvtest::after(50, answer_every_box);
        },
        60000);
}

class ChosenDestination : public qvtest::XTest {
protected:
    void SetUp() override
    {
        XTest::SetUp();
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
    void TearDown() override
    {
        if (CDInstPtr) {
            QV_instFreeCDinst(CDInstPtr);
            CDInstPtr = nullptr;
        }
        XTest::TearDown();
    }
    // The death test's process runs this test again from its start, so the
    // folders both processes use have a fixed name.
    struct FixedScratch {
        FixedScratch() : path_(qvtest::harness("QV_TEST_SCRATCH") + "/chosen-destination")
        {
            qvtest::remove_tree(path_);
            qvtest::make_dirs(path_);
        }
        ~FixedScratch() { qvtest::remove_tree(path_); }
        std::string operator/(const std::string &rel) const { return path_ + "/" + rel; }
        std::string path_;
    } scratch;
};

TEST_F(ChosenDestination, ABlankQuotedFolderChosenInTheWizardHoldsTheInstallation)
{
    qvtest::Medium medium(scratch / "cd");
    const size_t size = medium.file("files/read me.txt", "hello\n");
    const std::string archive = medium.tar("arc/data.tar", {{"data/one.txt", "one\n"}}, {"data"});
    medium.description("Package \"core\" \"core\"\n"
                       "Copy \"files/read me.txt\" \"\" " + std::to_string(size) + " 0644 0 0\n"
                       "Untar \"arc/data.tar\" " + archive + "\n"
                       "Suite \"Main\" core\n"
                       "ConfigBegin\n1 MainDlg \"Test\" \"\" \"\" 3\n3 Suite \"Main\" \"\" \"\" 1\nConfigEnd\n",
                       "InstallDirectory " + (scratch / "root") + "\nNoChestRC\nNoDisplayLog\n");
    const std::string folder = scratch / "my dest/it's $HOME `x` \"q\"";

    EXPECT_EXIT(
        {
            CDInstPtr = QV_instReadCDinst(medium.cdinst().c_str(), nullptr);
            if (!CDInstPtr)
                std::exit(4);
            if (QV_instSetCdinstDirectory(medium.dir().c_str()) != 0 || QV_instSetSizes(CDInstPtr) == -1)
                std::exit(5);
            Widget destination = CreatembChangeDestination(mainShell());
            XtManageChild(destination);
            qvtest::wait_mapped(destination);

            // Change Destination: the new folder, made on "Yes".
            qvtest::when_found("*fsbChangeDestinationSelection", [folder](Widget chooser) {
                XmTextFieldSetString(XmFileSelectionBoxGetChild(chooser, XmDIALOG_TEXT),
                                     const_cast<char *>(folder.c_str()));
                qvtest::when_found("*mbOkCancel", [](Widget box) { press_box(box, XmDIALOG_OK_BUTTON); });
                press(XmFileSelectionBoxGetChild(chooser, XmDIALOG_OK_BUTTON));
            });
            press(qvtest::find(destination, "*pushButton"));
            press_box(destination, XmDIALOG_OK_BUTTON);
            qvtest::pump(50);

            // The suite's button installs; the run ends with exit 0.
            answer_every_box();
            press(qvtest::find(mbMainDlg, "*pbMainDlg1"));
            XtAppMainLoop(app());
        },
        ::testing::ExitedWithCode(0), "\\[Setup completed successfully\n\\]");

    const std::string product = folder + "/QvTest/";
    EXPECT_EQ(qvtest::read_file(product + "files/read me.txt"), "hello\n");
    EXPECT_EQ(qvtest::read_file(product + "data/one.txt"), "one\n");
    EXPECT_TRUE(qvtest::exists(product + "SetupFiles/.QvTest.his"));
    EXPECT_FALSE(qvtest::exists(scratch / "root")) << "nothing went to the first root";
}

} // namespace
